// Point and matrix arithmetic, to the evaluation order that positions rely on.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "arithmetic.h"
#include "shape_access.h"
#include "support.h"

namespace {

mat4 translation(float x, float y, float z) { return mat4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1); }

void expect_near(mat4 const& a, mat4 const& b, float tolerance)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "[" << r << "][" << c << "]";
}

TEST(Arithmetic, PointTimesAffineMatrixAddsTheTranslation)
{
    mat4 const m(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1);
    vec3 const p = vec3{1, 1, 1} * m;
    EXPECT_EQ(p.x, 3);
    EXPECT_EQ(p.y, 5);
    EXPECT_EQ(p.z, 7);
}

TEST(Arithmetic, PointDividesByTheLastElementAloneUnlessItIsOne)
{
    // m[0][3] to m[2][3] play no part, m[3][3] = 2 halves the result.
    mat4 const m(1, 0, 0, 9, 0, 1, 0, 9, 0, 0, 1, 9, 2, 4, 6, 2);
    vec3 const p = vec3{2, 4, 6} * m;
    EXPECT_EQ(p.x, 2);
    EXPECT_EQ(p.y, 4);
    EXPECT_EQ(p.z, 6);
    mat4 nan_w = mat4::identity;
    nan_w.m[3][3] = std::nanf("");
    vec3 const q = vec3{1, 2, 3} * nan_w;
    EXPECT_TRUE(std::isnan(q.x) && std::isnan(q.y) && std::isnan(q.z));
}

TEST(Arithmetic, ProductAppliesTheLeftMatrixFirst)
{
    mat4 const scale(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1);
    mat4 const move = translation(1, 0, 0);
    vec3 const p = vec3{1, 0, 0} * (scale * move);
    EXPECT_EQ(p.x, 3);  // scaled to 2, then moved
    vec3 const q = vec3{1, 0, 0} * (move * scale);
    EXPECT_EQ(q.x, 4);  // moved to 2, then scaled
}

TEST(Arithmetic, InverseOfTranslationScaleAndSingularMatrices)
{
    expect_near(reverse_matrix(translation(1, 2, 3)), translation(-1, -2, -3), 0);
    mat4 const scale(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1);
    expect_near(reverse_matrix(scale), mat4(0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1), 0);
    mat4 const flat(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 6, 7, 1);
    expect_near(reverse_matrix(flat), mat4::identity, 0);
    // A tiny determinant is still inverted: there is no tolerance.
    mat4 const tiny(1e-3f, 0, 0, 0, 0, 1e-3f, 0, 0, 0, 0, 1e-3f, 0, 0, 0, 0, 1);
    EXPECT_NEAR(reverse_matrix(tiny).m[0][0], 1000.0f, 0.01f);
}

TEST(Arithmetic, InverseIgnoresColumnThree)
{
    mat4 a(1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 3, 0, 4, 5, 6, 1);
    mat4 b = a;
    b.m[0][3] = 7;
    b.m[1][3] = -2;
    b.m[3][3] = 9;
    mat4 const ia = reverse_matrix(a), ib = reverse_matrix(b);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(ia.m[r][c], ib.m[r][c]);
    EXPECT_EQ(ib.m[0][3], 0);
    EXPECT_EQ(ib.m[3][3], 1);
}

TEST(Arithmetic, MatrixTimesItsInverseIsTheIdentityOverRandomAffineMatrices)
{
    std::mt19937 random(20261208);
    std::uniform_real_distribution<float> value(-3, 3);
    for (int trial = 0; trial < 500; ++trial) {
        mat4 m = mat4::identity;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                m.m[r][c] = value(random);
        float const det = m.m[0][0] * (m.m[1][1] * m.m[2][2] - m.m[1][2] * m.m[2][1]) -
                          m.m[0][1] * (m.m[1][0] * m.m[2][2] - m.m[1][2] * m.m[2][0]) +
                          m.m[0][2] * (m.m[1][0] * m.m[2][1] - m.m[1][1] * m.m[2][0]);
        if (std::fabs(det) < 0.05f)
            continue;  // near-singular matrices amplify rounding beyond a fixed tolerance
        expect_near(m * reverse_matrix(m), mat4::identity, 2e-3f);
    }
}

TEST(Arithmetic, SurfacePointMovesAllFiveVectorsAndKeepsItsFlags)
{
    Surface_point p;
    p.position = {1, 1, 1};
    p.in_handle = {0, 1, 1};
    p.out_handle = {2, 1, 1};
    p.inner_handle = {1, 0, 1};
    p.outer_handle = {1, 2, 1};
    p.first_flag = true;
    p.second_flag = false;
    Surface_point const moved = p * translation(10, 20, 30);
    EXPECT_EQ(p.position.x, 1);  // the operand is untouched
    EXPECT_EQ(moved.position.x, 11);
    EXPECT_EQ(moved.in_handle.x, 10);
    EXPECT_EQ(moved.out_handle.y, 21);
    EXPECT_EQ(moved.inner_handle.z, 31);
    EXPECT_EQ(moved.outer_handle.y, 22);
    EXPECT_TRUE(moved.first_flag);
    EXPECT_FALSE(moved.second_flag);
    p *= translation(1, 0, 0);
    EXPECT_EQ(p.outer_handle.x, 2);
}

TEST(Arithmetic, WorldMatrixOfAPointFollowsItsOwnSkinOnly)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "j", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 5,0,0,1]},
        {"kind": "polygon", "name": "mesh", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,7,0,1],
         "skin": [{"joint": "root/j", "weight": 1}],
         "vertices": [{"position": [0,0,0]}, {"position": [0,0,0], "skin": [{"joint": "root/j", "weight": 1}]}]}]}})");
    host::Model_shape& mesh = session.shape("root/mesh");
    Shape_class wrapper(&mesh);
    // The unbound vertex uses the shape's world matrix even though the shape's own skin is bound.
    mat4 const world0 = wrapper.get_world(mesh, mesh.vertices[0]);
    mat4 const shape_world = mesh.get_world_matrix();
    EXPECT_EQ(world0.m[3][0], shape_world.m[3][0]);
    EXPECT_EQ(world0.m[3][1], shape_world.m[3][1]);
    mat4 const world1 = wrapper.get_world(mesh, mesh.vertices[1]);
    EXPECT_EQ(world1.m[3][0], 5);
    EXPECT_EQ(world1.m[3][1], 0);
    // The one-argument form looks at the shape's own skin.
    EXPECT_EQ(wrapper.get_world(mesh).m[3][0], 5);
    EXPECT_EQ(wrapper.get_local(mesh).m[3][0], -5);
    EXPECT_EQ(wrapper.get_local(mesh, mesh.vertices[0]).m[3][1], -shape_world.m[3][1]);
}

}  // namespace

// Adding and removing skin bindings, with points held in place on request.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "shape_access.h"
#include "skin.h"
#include "support.h"

namespace {

using test::Bindings;
using test::bindings_of;

constexpr char const skinned[] = R"({"root": {"kind": "part", "name": "root", "children": [
    {"kind": "rotator", "name": "A", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0.04,0,0,1]},
    {"kind": "rotator", "name": "B", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0.05,0,0,1]},
    {"kind": "rotator", "name": "C", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 2,0,0,1]},
    {"kind": "polygon", "name": "mesh",
     "vertices": [[0,0,0], [1,0,0], [0,1,0]]},
    {"kind": "line", "name": "line", "points": [{"position": [1,1,1], "out_handle": [2,1,1]}]},
    {"kind": "rotator", "name": "J"}]}})";

TEST(SkinPrimitives, AddingAJointAgainReplacesItsWeightInPlace)
{
    test::Session session;
    session.load_scene(skinned);
    auto* a = &session.shape("root/A");
    auto* b = &session.shape("root/B");
    host::Model_skin& skin = session.shape("root/mesh").vertices[0].skin;
    append_skin(skin, a, 0.3f);
    append_skin(skin, b, 0.5f);
    append_skin(skin, a, 0.7f);
    EXPECT_EQ(bindings_of(skin), (Bindings{{"A", 0.7f}, {"B", 0.5f}}));
    append_skin(skin, b, 0.0f);  // a weight of 0 is a binding like any other
    EXPECT_EQ(bindings_of(skin), (Bindings{{"A", 0.7f}, {"B", 0.0f}}));
}

TEST(SkinPrimitives, APairListIsAppliedInOrder)
{
    test::Session session;
    session.load_scene(skinned);
    Skin_bindings list{{&session.shape("root/A"), 0.5f}, {&session.shape("root/B"), 0.5f}, {&session.shape("root/A"), 0.2f}};
    Shape_class mesh(&session.shape("root/mesh"));
    EXPECT_EQ(mesh.append_skin(1, list, false), 0);
    EXPECT_EQ(bindings_of(session.shape("root/mesh").vertices[1].skin), (Bindings{{"A", 0.2f}, {"B", 0.5f}}));
}

TEST(SkinPrimitives, RemovingAJointTakesOnlyItsHighestIndexedBinding)
{
    test::Session session;
    session.load_scene(skinned);
    host::Model_skin& skin = session.shape("root/mesh").vertices[0].skin;
    auto* a = &session.shape("root/A");
    auto* b = &session.shape("root/B");
    skin.add(b, 0.1f);
    skin.add(a, 0.2f);
    skin.add(b, 0.3f);
    skin.add(a, 0.4f);
    clear_skin(skin, a);
    EXPECT_EQ(bindings_of(skin), (Bindings{{"B", 0.1f}, {"A", 0.2f}, {"B", 0.3f}}));
    clear_skin(skin, &session.shape("root/C"));
    EXPECT_EQ(skin.bindings().size(), 3u);
    clear_skin(skin, nullptr);
    EXPECT_TRUE(skin.bindings().empty());
    clear_skin(skin);
    EXPECT_TRUE(skin.bindings().empty());
}

TEST(SkinPrimitives, WhichSkinAPointHas)
{
    test::Session session;
    session.load_scene(skinned);
    Shape_class mesh(&session.shape("root/mesh"));
    EXPECT_EQ(mesh.get_skin(-1), nullptr);
    EXPECT_EQ(mesh.get_skin(2), &session.shape("root/mesh").vertices[2].skin);
    Shape_class line(&session.shape("root/line"));
    EXPECT_EQ(line.get_skin(-1), nullptr);
    EXPECT_EQ(line.get_skin(0), &session.shape("root/line").points[0].skin);
    Shape_class joint(&session.shape("root/J"));
    EXPECT_EQ(joint.get_skin(-1), &session.shape("root/J").skin);
    EXPECT_EQ(joint.get_skin(5), &session.shape("root/J").skin);
}

TEST(SkinPrimitives, BindingMovesAVertexAndHoldKeepsItInPlace)
{
    test::Session session;
    session.load_scene(skinned);
    Shape_class mesh(&session.shape("root/mesh"));
    Skin_bindings to_c{{&session.shape("root/C"), 1.0f}};
    vec3 const before = mesh.get_position(1, true);
    mesh.append_skin(1, to_c, false);
    EXPECT_FLOAT_EQ(mesh.get_position(1, true).x, before.x + 2);  // the skin moved it
    mesh.append_skin(2, to_c, true);
    vec3 const held = mesh.get_position(2, true);
    EXPECT_NEAR(held.x, 0, 1e-6);
    EXPECT_NEAR(held.y, 1, 1e-6);
    EXPECT_NEAR(session.shape("root/mesh").vertices[2].position.x, -2, 1e-6);  // stored relative to the skin
}

TEST(SkinPrimitives, HoldToleranceIsOnTheSquaredDistance)
{
    test::Session session;
    session.load_scene(skinned);
    Shape_class mesh(&session.shape("root/mesh"));
    // A moves a vertex by 0.04 (squared 0.0016): left where the skin puts it.
    Skin_bindings to_a{{&session.shape("root/A"), 1.0f}};
    mesh.append_skin(0, to_a, true);
    EXPECT_FLOAT_EQ(mesh.get_position(0, true).x, 0.04f);
    // B moves one by 0.05 (squared 0.0025): put back.
    Skin_bindings to_b{{&session.shape("root/B"), 1.0f}};
    mesh.append_skin(1, to_b, true);
    EXPECT_NEAR(mesh.get_position(1, true).x, 1.0f, 1e-6);
}

TEST(SkinPrimitives, HoldToleranceOfAWholeShapeIsPerMatrixEntry)
{
    for (auto const& [offset, moves] : {std::pair{0.002f, false}, std::pair{0.0021f, true}}) {
        test::Session session;
        session.load_scene(skinned);
        session.shape("root/C").set_local(3, 0, offset);
        session.scene.matrices_changed();
        Shape_class joint(&session.shape("root/J"));
        Skin_bindings to_c{{&session.shape("root/C"), 1.0f}};
        joint.append_skin(0, to_c, true);
        EXPECT_EQ(session.shape("root/J").get_world_matrix().m[3][0] == 0.0f, moves) << offset;
    }
}

TEST(SkinPrimitives, HoldOnAControlPointRestoresItsHandles)
{
    test::Session session;
    session.load_scene(skinned);
    Shape_class line(&session.shape("root/line"));
    Skin_bindings to_c{{&session.shape("root/C"), 1.0f}};
    line.append_skin(0, to_c, true);
    Surface_point p;
    ASSERT_TRUE(line.get_surface_point(0, p, true));
    EXPECT_NEAR(p.position.x, 1, 1e-6);
    EXPECT_NEAR(p.out_handle.x, 2, 1e-6);
    EXPECT_EQ(bindings_of(session.shape("root/line").points[0].skin), (Bindings{{"C", 1.0f}}));
}

TEST(SkinPrimitives, ClearingWholeShapesAndListedPoints)
{
    test::Session session;
    session.load_scene(skinned);
    host::Model_shape& mesh = session.shape("root/mesh");
    mesh.skin.add(&session.shape("root/A"), 1.0f);
    for (auto& v : mesh.vertices)
        v.skin.add(&session.shape("root/C"), 1.0f);
    Shape_class wrapper(&mesh);
    EXPECT_EQ(wrapper.clear_points_skin({}, false, nullptr), 1);
    EXPECT_EQ(mesh.vertices[0].skin.bindings().size(), 1u);
    EXPECT_EQ(wrapper.clear_points_skin({1}, false, nullptr), 0);
    EXPECT_TRUE(mesh.vertices[1].skin.bindings().empty());
    EXPECT_FALSE(mesh.vertices[0].skin.bindings().empty());
    EXPECT_FALSE(mesh.skin.bindings().empty());
    EXPECT_EQ(wrapper.clear_shape_skin(false, nullptr), 0);
    for (auto& v : mesh.vertices)
        EXPECT_TRUE(v.skin.bindings().empty());
    EXPECT_TRUE(mesh.skin.bindings().empty());

    // A shape without per-point skins clears its own skin, whatever the indices say.
    host::Model_shape& joint = session.shape("root/J");
    joint.skin.add(&session.shape("root/C"), 1.0f);
    EXPECT_EQ(Shape_class(&joint).clear_points_skin({42}, false, nullptr), 0);
    EXPECT_TRUE(joint.skin.bindings().empty());
}

TEST(SkinPrimitives, AMoveOfExactlyTheToleranceIsNoMove)
{
    // d squared is 0.002f to the bit: not more than the tolerance, so the
    // vertex stays where the skin puts it.
    uint32_t const bits = 0x3d372dbf;
    float d;
    std::memcpy(&d, &bits, 4);
    volatile float squared = d * d;
    ASSERT_EQ(squared, 0.002f);
    test::Session session;
    session.load_scene(skinned);
    session.shape("root/A").set_local(3, 0, d);
    session.scene.matrices_changed();
    Shape_class mesh(&session.shape("root/mesh"));
    Skin_bindings to_a{{&session.shape("root/A"), 1.0f}};
    EXPECT_EQ(mesh.append_skin(0, to_a, true), 0);
    EXPECT_EQ(mesh.get_position(0, true).x, d);
    EXPECT_EQ(session.shape("root/mesh").vertices[0].position.x, 0.0f);
}

TEST(SkinPrimitives, ShapesWithoutPointsReportFailureAndChangeNothing)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "C"},
        {"kind": "polygon", "name": "empty", "skin": [{"joint": "root/C", "weight": 1}]}]}})");
    Shape_class empty(&session.shape("root/empty"));
    EXPECT_EQ(empty.clear_shape_skin(false, nullptr), 1);
    EXPECT_EQ(empty.clear_points_skin({0}, false, nullptr), 1);
    EXPECT_EQ(session.shape("root/empty").skin.bindings().size(), 1u);
    // Adding to it binds the mesh's own skin, a success.
    Skin_bindings to_j{{&session.shape("root/C"), 0.5f}};
    session.shape("root/empty").skin.clear();
    EXPECT_EQ(empty.append_skin(0, to_j, false), 0);
    EXPECT_EQ(bindings_of(session.shape("root/empty").skin), (Bindings{{"C", 0.5f}}));
}

TEST(SkinPrimitives, FailuresUnderWayBecomeResultsExceptTheFirstCount)
{
    test::Session session;
    session.load_scene(skinned);
    Shape_class mesh(&session.shape("root/mesh"));
    Skin_bindings list{{&session.shape("root/A"), 0.5f}, {&session.shape("root/B"), 0.5f}};
    host::faults().arm("skin.append_binding", 1);
    EXPECT_EQ(mesh.append_skin(0, list, true), 1);
    EXPECT_EQ(bindings_of(session.shape("root/mesh").vertices[0].skin), (Bindings{{"A", 0.5f}}));  // what was added stays
    host::faults().arm("skin.remove_binding");
    EXPECT_EQ(mesh.clear_shape_skin(false, nullptr), 1);
    host::faults().arm("shape.get_number_of_points");
    EXPECT_THROW(mesh.clear_shape_skin(false, nullptr), host::host_error);
    host::faults().arm("shape.get_number_of_points");
    EXPECT_THROW(mesh.clear_points_skin({0}, false, nullptr), host::host_error);
}

}  // namespace

namespace {

// Shapes for the rules that hold points while skins change: C moves what it
// binds by (2, 0, 0), R turns it a quarter round the z axis and moves it.
constexpr char const held[] = R"({"root": {"kind": "part", "name": "root", "children": [
    {"kind": "rotator", "name": "C", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 2,0,0,1]},
    {"kind": "rotator", "name": "R", "matrix": [0,1,0,0, -1,0,0,0, 0,0,1,0, 1,2,3,1]},
    {"kind": "rotator", "name": "N", "matrix": ["nan",0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1]},
    {"kind": "rotator", "name": "W", "matrix": [1,0,0,0.5, 0,1,0,0, 0,0,1,0, 0,0,0,1]},
    {"kind": "rotator", "name": "J", "matrix": [1,0,0,0, 0,2,0,0, 0,0,1,0, 5,6,7,1]},
    {"kind": "rotator", "name": "Z", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0.05,1]},
    {"kind": "polygon", "name": "mesh", "vertices": [
        {"position": [0.5,0.25,0], "skin": [{"joint": "root/N"}]},
        {"position": [1,0,0], "skin": [{"joint": "root/C"}]},
        [2,0,0]]},
    {"kind": "polygon", "name": "empty"},
    {"kind": "line", "name": "line", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,10,1],
     "points": [{"position": [1,0,0], "out_handle": [1,1,0], "skin": [{"joint": "root/C"}]},
                {"position": [3,0,0]}]},
    {"kind": "surface", "name": "surf", "children": [
        {"kind": "line", "name": "l1", "points": [{"position": [0,0,0]}]},
        {"kind": "line", "name": "l2", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,10,1],
         "points": [{"position": [6,0,-10]}, {"position": [4,0,0], "skin": [{"joint": "root/C"}]}]}]}]}})";

struct Held : ::testing::Test {
    void SetUp() override { session.load_scene(held); }
    host::Model_shape& shape(char const* reference) { return session.shape(reference); }
    Skin_bindings to(char const* joint, float weight = 1.0f) { return {{&shape(joint), weight}}; }
    test::Session session;
};

void expect_near(vec3 const& p, vec3 const& q, float tolerance = 1e-5f)
{
    EXPECT_NEAR(p.x, q.x, tolerance);
    EXPECT_NEAR(p.y, q.y, tolerance);
    EXPECT_NEAR(p.z, q.z, tolerance);
}

std::size_t count(std::vector<std::string> const& calls, std::string const& name)
{
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), name));
}

TEST_F(Held, ANegativeIndexIsAFailedPointNotACrash)
{
    Skin_bindings list = to("root/C");
    for (char const* reference : {"root/mesh", "root/line", "root/surf"}) {
        Shape_class wrapper(&shape(reference));
        EXPECT_EQ(wrapper.append_skin(-1, list, false), 1) << reference;
        EXPECT_EQ(wrapper.append_skin(-1, list, true), 1) << reference;
        EXPECT_EQ(wrapper.clear_points_skin({-1}, true, nullptr), 1) << reference;
        EXPECT_EQ(wrapper.clear_points_skin({-1}, false, &shape("root/C")), 1) << reference;
    }
    EXPECT_TRUE(shape("root/mesh").skin.bindings().empty());
    EXPECT_EQ(bindings_of(shape("root/mesh").vertices[1].skin), (Bindings{{"C", 1.0f}}));
    EXPECT_EQ(bindings_of(shape("root/line").points[0].skin), (Bindings{{"C", 1.0f}}));
    // The rule reads the kind's flag, not whether the shape has points now.
    EXPECT_EQ(Shape_class(&shape("root/empty")).get_skin(-1), nullptr);
}

TEST_F(Held, AFailedPointCountIsAFailureNotTheWholeShapePath)
{
    Skin_bindings list = to("root/J");
    Shape_class mesh(&shape("root/mesh"));
    host::faults().arm("shape.get_number_of_all_points");
    EXPECT_EQ(mesh.append_skin(2, list, false), 1);
    EXPECT_TRUE(shape("root/mesh").skin.bindings().empty());
    EXPECT_TRUE(shape("root/mesh").vertices[2].skin.bindings().empty());

    shape("root/mesh").skin.add(&shape("root/J"), 1.0f);
    host::faults().arm("shape.get_number_of_all_points");
    EXPECT_EQ(mesh.clear_points_skin({1}, false, nullptr), 1);
    EXPECT_EQ(bindings_of(shape("root/mesh").skin), (Bindings{{"J", 1.0f}}));  // promised to stay
    EXPECT_EQ(bindings_of(shape("root/mesh").vertices[1].skin), (Bindings{{"C", 1.0f}}));
    host::faults().arm("shape.get_number_of_all_points");
    EXPECT_EQ(mesh.clear_shape_skin(false, nullptr), 1);
    EXPECT_EQ(bindings_of(shape("root/mesh").skin), (Bindings{{"J", 1.0f}}));
}

TEST_F(Held, AnUnreadableOldPositionIsNeverWrittenBack)
{
    // Vertex 0 is bound to N, whose matrix holds a NaN: its world position
    // cannot be read, and clearing with hold must keep what is stored.
    Shape_class mesh(&shape("root/mesh"));
    EXPECT_EQ(mesh.clear_points_skin({0}, true, nullptr), 0);
    EXPECT_TRUE(shape("root/mesh").vertices[0].skin.bindings().empty());
    expect_near(shape("root/mesh").vertices[0].position, vec3{0.5f, 0.25f, 0});

    // A control point whose old world position cannot be read (the line's
    // matrix is not there) keeps its stored coordinates.
    Shape_class line(&shape("root/line"));
    host::faults().arm("shape.get_world_matrix");
    Skin_bindings list = to("root/C");
    EXPECT_EQ(line.append_skin(1, list, true), 0);
    expect_near(shape("root/line").points[1].position, vec3{3, 0, 0});
}

TEST_F(Held, APositionThatIsNotFiniteIsNeverWritten)
{
    // Bound to N, whose matrix holds a NaN, a point has no position to be
    // held at: it keeps its stored coordinates and the call fails.
    Skin_bindings list = to("root/N");
    Shape_class mesh(&shape("root/mesh")), line(&shape("root/line"));
    EXPECT_EQ(mesh.append_skin(2, list, true), 1);
    expect_near(shape("root/mesh").vertices[2].position, vec3{2, 0, 0});
    EXPECT_EQ(line.append_skin(1, list, true), 1);
    expect_near(shape("root/line").points[1].position, vec3{3, 0, 0});
    expect_near(shape("root/line").points[1].out_handle, vec3{0, 0, 0});
    // Cleared with hold, a vertex bound to C goes back to its mesh's own
    // matrix, whose w is NaN: its stored coordinates stay.
    test::Session nan_mesh;
    nan_mesh.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "C", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 2,0,0,1]},
        {"kind": "polygon", "name": "mesh", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,"nan"],
         "vertices": [{"position": [1,2,3], "skin": [{"joint": "root/C"}]}]}]}})");
    Shape_class wrapped(&nan_mesh.shape("root/mesh"));
    EXPECT_EQ(wrapped.clear_points_skin({0}, true, nullptr), 1);
    expect_near(nan_mesh.shape("root/mesh").vertices[0].position, vec3{1, 2, 3});
    // Through "Load skin", Newly with hold: the vertex is not written either.
    test::Session load;
    load.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "N", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, "nan",0,0,1]},
        {"kind": "polygon", "name": "mesh", "vertices": [[1,2,3]]}]}})");
    load.scene.active.clear();
    load.load(std::string("<skinfile>\npolygon:mesh:1\n0:1:1/root/N/:\n<end>\n"), {{11, 1}});
    expect_near(load.shape("root/mesh").vertices[0].position, vec3{1, 2, 3});
    load.expect_balanced();
}

TEST_F(Held, EveryAxisCountsInTheDistance)
{
    Shape_class mesh(&shape("root/mesh"));
    Skin_bindings list = to("root/Z");  // a move of 0.05 along z alone
    EXPECT_EQ(mesh.append_skin(2, list, true), 0);
    expect_near(mesh.get_position(2, true), vec3{2, 0, 0});
}

TEST_F(Held, AnUnreadableNewPositionCountsAsMoved)
{
    Shape_class mesh(&shape("root/mesh"));
    vec3 const before = mesh.get_position(2, true);
    host::faults().arm("vertex.get_position", 1);  // the read after the change fails
    Skin_bindings list = to("root/C");
    EXPECT_EQ(mesh.append_skin(2, list, true), 0);
    expect_near(mesh.get_position(2, true), before);
    expect_near(shape("root/mesh").vertices[2].position, vec3{0, 0, 0});  // stored relative to C
}

TEST_F(Held, ControlPointsOfLinesAndSurfacesAreClearedAndHeld)
{
    Shape_class line(&shape("root/line"));
    Surface_point before;
    ASSERT_TRUE(line.get_surface_point(0, before, true));
    EXPECT_EQ(line.clear_shape_skin(true, nullptr), 0);
    EXPECT_TRUE(shape("root/line").points[0].skin.bindings().empty());
    Surface_point after;
    ASSERT_TRUE(line.get_surface_point(0, after, true));
    expect_near(after.position, before.position);
    expect_near(after.out_handle, before.out_handle);

    // A surface part: its points are the control points of its lines; the
    // second line has a matrix of its own, through which the point is held.
    Shape_class surf(&shape("root/surf"));
    EXPECT_EQ(surf.get_skin(2), &shape("root/surf/l2").points[1].skin);
    Surface_point on_surface;
    ASSERT_TRUE(surf.get_surface_point(2, on_surface, true));
    expect_near(on_surface.position, vec3{6, 0, 0});  // (4,0,0) through C
    EXPECT_EQ(surf.clear_shape_skin(true, nullptr), 0);
    EXPECT_TRUE(shape("root/surf/l2").points[1].skin.bindings().empty());
    ASSERT_TRUE(surf.get_surface_point(2, on_surface, true));
    expect_near(on_surface.position, vec3{6, 0, 0});
    expect_near(shape("root/surf/l2").points[1].position, vec3{6, 0, -10});
}

TEST_F(Held, BindingASurfacePointWithHoldKeepsItInWorldSpace)
{
    Shape_class surf(&shape("root/surf"));
    Skin_bindings list = to("root/J");
    vec3 const before = surf.get_position(1, true);
    expect_near(before, vec3{6, 0, 0});
    EXPECT_EQ(surf.append_skin(1, list, true), 0);
    EXPECT_EQ(bindings_of(shape("root/surf/l2").points[0].skin), (Bindings{{"J", 1.0f}}));
    expect_near(surf.get_position(1, true), before);
    // Then cleared again with hold: back to the line's own matrix, same place.
    EXPECT_EQ(surf.clear_points_skin({1}, true, nullptr), 0);
    expect_near(surf.get_position(1, true), before);
    expect_near(shape("root/surf/l2").points[0].position, vec3{6, 0, -10});
}

TEST_F(Held, AWholeShapeIsPutBackThroughOldTimesInverseOfNew)
{
    // J has a scale and a translation of its own; binding it to the turned
    // and moved R changes its world matrix, and hold must bring back exactly
    // the old one (the product the other way round does not).
    host::Model_shape& j = shape("root/J");
    mat4 const before = j.get_world_matrix();
    Shape_class wrapper(&j);
    Skin_bindings list = to("root/R");
    EXPECT_EQ(wrapper.append_skin(0, list, true), 0);
    mat4 const after = j.get_world_matrix();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(after.m[r][c], before.m[r][c], 1e-5) << r << c;
    EXPECT_EQ(bindings_of(j.skin), (Bindings{{"R", 1.0f}}));
}

TEST_F(Held, AWholeShapeLooksOnlyAtTheFirstThreeColumnsAndNotAtNaN)
{
    host::Model_shape& j = shape("root/J");
    j.set_local(mat4::identity);
    session.scene.matrices_changed();
    Shape_class wrapper(&j);
    // How often binding J alone to a joint, with hold, transforms it back.
    auto transforms_after_binding_to = [&](char const* joint) {
        j.skin.clear();
        session.scene.matrices_changed();
        Skin_bindings list = to(joint);
        host::calls().start();
        EXPECT_EQ(wrapper.append_skin(0, list, true), 0);
        return count(host::calls().stop(), "shape.transform");
    };
    EXPECT_EQ(transforms_after_binding_to("root/W"), 0u);  // W differs only in column 3: not a move
    EXPECT_EQ(transforms_after_binding_to("root/N"), 0u);  // N's NaN entry counts as unchanged
    EXPECT_EQ(transforms_after_binding_to("root/C"), 1u);  // a real move is put back once
}

TEST_F(Held, AWholeShapeIsNeverGivenAMatrixThatIsNotFinite)
{
    // Bound as a whole shape to a joint whose matrix holds an infinity, or
    // cleared of such a binding, a sphere cannot be held: it keeps its
    // matrix and the call fails.
    test::Session infinite;
    infinite.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "I", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, "inf",0,0,1]},
        {"kind": "sphere", "name": "ball"},
        {"kind": "sphere", "name": "bound", "skin": [{"joint": "root/I"}]}]}})");
    auto finite = [](mat4 const& m) {
        for (auto const& row : m.m)
            for (float v : row)
                if (!std::isfinite(v))
                    return false;
        return true;
    };
    host::Model_shape& ball = infinite.shape("root/ball");
    Shape_class wrapped(&ball);
    Skin_bindings list{{&infinite.shape("root/I"), 1.0f}};
    EXPECT_EQ(wrapped.append_skin(0, list, true), 1);
    EXPECT_TRUE(finite(ball.local()));
    host::Model_shape& bound = infinite.shape("root/bound");
    Shape_class held(&bound);
    EXPECT_EQ(held.clear_shape_skin(true, nullptr), 1);
    EXPECT_TRUE(finite(bound.local()));
}

TEST_F(Held, AddingABindingIsAllOrNothing)
{
    host::Model_skin& skin = shape("root/mesh").vertices[2].skin;
    for (char const* step : {"skin.get_binding", "skin_entry.set_weight", "skin_entry.set_joint"}) {
        host::faults().arm(step);
        EXPECT_THROW(append_skin(skin, &shape("root/C"), 0.5f), host::host_error) << step;
        EXPECT_TRUE(skin.bindings().empty()) << step;
    }
    // Through a point: the result says so and nothing is left half made.
    Shape_class mesh(&shape("root/mesh"));
    Skin_bindings list = to("root/C");
    host::faults().arm("skin_entry.set_joint");
    EXPECT_EQ(mesh.append_skin(2, list, true), 1);
    EXPECT_TRUE(skin.bindings().empty());
    expect_near(shape("root/mesh").vertices[2].position, vec3{2, 0, 0});
    // The order of a new binding: appended, then weight, then joint.
    host::calls().start();
    append_skin(skin, &shape("root/C"), 0.5f);
    std::vector<std::string> const calls = host::calls().stop();
    EXPECT_EQ(calls, (std::vector<std::string>{"skin.get_number_of_bindings", "skin.append_binding",
                                                "skin.get_binding", "skin_entry.set_weight",
                                                "skin_entry.set_joint"}));
}

TEST_F(Held, FailuresOfTheWholeShapePath)
{
    host::Model_shape& j = shape("root/J");
    Shape_class wrapper(&j);
    Skin_bindings list = to("root/C");
    host::faults().arm("shape.transform");
    EXPECT_EQ(wrapper.append_skin(0, list, true), 1);  // bound, but not put back
    EXPECT_EQ(bindings_of(j.skin), (Bindings{{"C", 1.0f}}));
    // The whole-shape clear without a joint is the host's remove_skin.
    host::calls().start();
    EXPECT_EQ(wrapper.clear_shape_skin(false, nullptr), 0);
    std::vector<std::string> calls = host::calls().stop();
    EXPECT_EQ(count(calls, "shape.remove_skin"), 1u);
    EXPECT_EQ(count(calls, "skin.remove_binding"), 0u);
    EXPECT_TRUE(j.skin.bindings().empty());
    // With a joint it removes that joint's binding from the own skin.
    j.skin.add(&shape("root/C"), 0.5f);
    j.skin.add(&shape("root/R"), 0.5f);
    host::calls().start();
    EXPECT_EQ(wrapper.clear_shape_skin(false, &shape("root/C")), 0);
    calls = host::calls().stop();
    EXPECT_EQ(count(calls, "shape.remove_skin"), 0u);
    EXPECT_EQ(bindings_of(j.skin), (Bindings{{"R", 0.5f}}));
}

}  // namespace

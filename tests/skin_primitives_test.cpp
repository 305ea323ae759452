// Adding and removing skin bindings, with points held in place on request.
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
        session.shape("root/C").local.m[3][0] = offset;
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

// Shape kinds and point positions through Shape_class, on the host's model.
#include <cmath>

#include "shape_access.h"
#include "support.h"
#include "vantelids.h"

namespace {

void expect_point(vec3 const& p, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(p.x, x, tolerance);
    EXPECT_NEAR(p.y, y, tolerance);
    EXPECT_NEAR(p.z, z, tolerance);
}

TEST(ShapeKinds, ClassificationOfEveryShapeAndPartType)
{
    struct Case {
        int type, part_type, object_type;
        bool variable;
        int fixed;
    } const cases[] = {
        {2, 0, 0, false, 0},    {2, 1, 1, true, 0},     {2, 2, 2, false, 2},   {2, 3, 3, false, 2},
        {2, 4, 4, false, 2},    {2, 5, 5, false, 1},    {2, 6, 6, false, 0},   {2, 7, 7, false, 0},
        {2, 8, 8, false, 0},    {2, 13, 9, false, 0},   {2, 9, 10, false, 0},  {2, 10, 11, false, 1},
        {2, 11, 12, false, 2},  {2, 101, 13, false, 0}, {3, -1, 14, false, 1}, {4, -1, 15, true, 0},
        {5, -1, 16, false, 1},  {6, -1, 17, false, 1},  {7, -1, 18, true, 0},  {8, -1, 19, false, 0},
        {2, 100, 21, false, 0}, {2, 12, 23, false, 0},  {2, 55, 24, false, 0}, {9, -1, 24, false, 0},
    };
    test::Session session;
    for (Case const& c : cases) {
        host::Model_shape shape(&session.scene, c.type, c.part_type, "s");
        Shape_class wrapper(&shape);
        EXPECT_EQ(wrapper.object_type, c.object_type) << c.type << "/" << c.part_type;
        EXPECT_EQ(wrapper.variable_points, c.variable) << c.object_type;
        EXPECT_EQ(wrapper.fixed_point_count, c.fixed) << c.object_type;
    }
    Shape_class none(nullptr);
    EXPECT_EQ(none.object_type, -1);
    EXPECT_FALSE(none.variable_points);
    EXPECT_EQ(none.fixed_point_count, 0);
    EXPECT_FALSE(none.has_variable_points());
}

TEST(ShapeKinds, AnEmptyMeshHasVariablePointsButNoneToShow)
{
    test::Session session;
    host::Model_shape mesh(&session.scene, shape_type_polygon_mesh, -1, "m");
    Shape_class wrapper(&mesh);
    EXPECT_TRUE(wrapper.variable_points);
    EXPECT_FALSE(wrapper.has_variable_points());
}

constexpr char const mixed_part[] = R"({"root": {"kind": "part", "name": "root", "children": [
    {"kind": "part", "name": "p", "children": [
        {"kind": "line", "name": "l", "points": [{"position": [0,0,0]}, {"position": [1,0,0]},
                                                {"position": [2,0,0]}, {"position": [3,0,0]}]},
        {"kind": "polygon", "name": "m", "vertices": [[0,10,0],[1,10,0],[2,10,0],[3,10,0],[4,10,0],
                                                     [5,10,0],[6,10,0],[7,10,0],[8,10,0],[9,10,0]]},
        {"kind": "sphere", "name": "s", "center": [0,0,5]}]}]}})";

TEST(ShapePositions, PointsOfAPartAreNumberedThroughItsChildren)
{
    test::Session session;
    session.load_scene(mixed_part);
    Shape_class part(&session.shape("root/p"));
    int index = 5;
    EXPECT_EQ(part.substance_shape(&index), &session.shape("root/p/m"));
    EXPECT_EQ(index, 1);
    expect_point(part.get_position(5, false), 1, 10, 0);
    expect_point(part.get_position(2, false), 2, 0, 0);
    // Index 14 is the sphere's: it counts, but only lines and meshes are read through a part.
    index = 14;
    EXPECT_EQ(part.substance_shape(&index), &session.shape("root/p/s"));
    EXPECT_TRUE(is_no_position(part.get_position(14, false)));
    EXPECT_TRUE(is_no_position(part.get_position(15, false)));
    EXPECT_TRUE(is_no_position(part.get_position(-1, false)));
    index = -1;
    EXPECT_EQ(part.substance_shape(&index), nullptr);
    EXPECT_EQ(index, -1);
}

TEST(ShapePositions, NoPositionIsThreeSignallingNans)
{
    vec3 const p = no_position();
    EXPECT_TRUE(std::isnan(p.x) && std::isnan(p.y) && std::isnan(p.z));
    EXPECT_FALSE(p.x == p.x);
}

constexpr char const fixed_points[] = R"({"root": {"kind": "part", "name": "root",
  "matrix": [0,1,0,0, -1,0,0,0, 0,0,1,0, 1,2,3,1], "children": [
    {"kind": "rotator", "name": "rot", "center": [1,1,1], "axis": [0,1,0]},
    {"kind": "scale", "name": "sca", "center": [0,0,0], "axis": [2,0,0]},
    {"kind": "slider", "name": "sli", "start": [0,0,0], "end": [0,0,4]},
    {"kind": "uniscale", "name": "uni", "center": [1,2,3]},
    {"kind": "ball", "name": "bal", "center": [3,2,1]},
    {"kind": "light", "name": "lig", "position": [9,9,9]},
    {"kind": "sphere", "name": "sph", "center": [1,0,0]},
    {"kind": "disk", "name": "dis", "center": [0,1,0]},
    {"kind": "camera", "name": "cam", "eye": [0,0,10], "target": [0,0,0]},
    {"kind": "camera", "name": "cam2", "eye": [5,5,5], "target": [1,1,1]},
    {"kind": "polygon", "name": "mesh", "matrix": [2,0,0,0, 0,2,0,0, 0,0,2,0, 0,0,1,1],
     "vertices": [[1,1,1],[2,2,2]]},
    {"kind": "line", "name": "line", "points": [{"position": [1,0,0]}, {"position": [0,1,0]}]}]}})";

TEST(ShapePositions, FixedPointsOfJointsAndViews)
{
    test::Session session;
    session.load_scene(fixed_points);
    expect_point(Shape_class(&session.shape("root/rot")).get_position(1, false), 1, 2, 1);
    expect_point(Shape_class(&session.shape("root/sca")).get_position(7, false), 2, 0, 0);
    expect_point(Shape_class(&session.shape("root/sli")).get_position(1, false), 0, 0, 4);
    for (char const* one_point : {"root/uni", "root/bal", "root/lig", "root/sph", "root/dis"}) {
        Shape_class wrapper(&session.shape(one_point));
        vec3 const p0 = wrapper.get_position(0, false);
        vec3 const p7 = wrapper.get_position(7, false);
        EXPECT_EQ(p0.x, p7.x) << one_point;
        EXPECT_EQ(p0.z, p7.z) << one_point;
    }
    session.expect_balanced();
}

TEST(ShapePositions, SetThenGetInWorldCoordinatesForEveryPointKind)
{
    test::Session session;
    session.load_scene(fixed_points);
    struct Case {
        char const* shape;
        int index;
    } const cases[] = {{"root/rot", 0}, {"root/rot", 1}, {"root/sca", 0}, {"root/sca", 1}, {"root/sli", 0},
                       {"root/sli", 1}, {"root/uni", 0}, {"root/bal", 0}, {"root/lig", 0}, {"root/sph", 0},
                       {"root/dis", 0}, {"root/cam", 0}, {"root/cam", 1}, {"root/mesh", 1}, {"root/line", 0}};
    for (Case const& c : cases) {
        Shape_class wrapper(&session.shape(c.shape));
        vec3 const target{0.25f, -4.5f, 7.0f};
        wrapper.set_position(c.index, target, true);
        expect_point(wrapper.get_position(c.index, true), target.x, target.y, target.z, 1e-4f);
    }
    session.expect_balanced();
}

TEST(ShapePositions, RotatorAndSliderFixedPointRules)
{
    test::Session session;
    session.load_scene(fixed_points);
    Shape_class rot(&session.shape("root/rot"));
    rot.set_position(0, vec3{5, 5, 5}, false);
    expect_point(rot.get_position(0, false), 5, 5, 5);
    expect_point(rot.get_position(1, false), 1, 2, 1);  // the second point stays
    rot.set_position(1, vec3{6, 5, 5}, false);
    expect_point(rot.get_position(0, false), 5, 5, 5);  // the centre stays
    expect_point(rot.get_position(1, false), 6, 5, 5);
    Shape_class sli(&session.shape("root/sli"));
    sli.set_position(1, vec3{1, 1, 1}, false);
    expect_point(session.shape("root/sli").end, 1, 1, 1);
    expect_point(session.shape("root/sli").start, 0, 0, 0);
}

TEST(ShapePositions, CameraPointsKeepTheSceneCameraAndEditMode)
{
    test::Session session;
    session.load_scene(fixed_points);
    session.scene.edit_mode = true;
    session.scene.current_camera = 1;
    Shape_class cam(&session.shape("root/cam"));
    expect_point(cam.get_position(0, false), 0, 0, 10);
    expect_point(cam.get_position(1, false), 0, 0, 0);
    cam.set_position(1, vec3{1, 2, 3}, false);
    expect_point(session.shape("root/cam").target, 1, 2, 3);
    expect_point(session.shape("root/cam2").target, 1, 1, 1);
    EXPECT_EQ(session.scene.current_camera, 1);
    EXPECT_TRUE(session.scene.edit_mode);
    EXPECT_EQ(session.scene.updates, 2);  // reading updates, writing does not
    session.expect_balanced();
}

TEST(ShapePositions, AttachedShapesMoveByTheOffsetOfPointZero)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "slider", "name": "s", "start": [1,0,0], "end": [2,0,0],
         "attached": {"joint_window": ["root/a"], "skin_window": ["root/g"]}},
        {"kind": "polygon", "name": "a", "vertices": [[0,0,0]]},
        {"kind": "part", "name": "g", "children": [{"kind": "polygon", "name": "c", "vertices": [[0,0,0]]}]}]}})");
    Shape_class slider(&session.shape("root/s"));
    slider.set_position(1, vec3{5, 3, 0}, false);
    // Offset from the current point 0 (1,0,0), not from the point being set.
    EXPECT_EQ(session.shape("root/a").local().m[3][0], 4);
    EXPECT_EQ(session.shape("root/a").local().m[3][1], 3);
    // A part in the skin window list is not moved itself; its children are.
    EXPECT_EQ(session.shape("root/g").local().m[3][0], 0);
    EXPECT_EQ(session.shape("root/g/c").local().m[3][0], 4);
}

TEST(ShapePositions, FailuresReadAsNoPositionAndLeaveNoReference)
{
    test::Session session;
    session.load_scene(fixed_points);
    for (char const* operation : {"joint.get_axis", "shape.get_rotator_joint", "shape.get_world_matrix"}) {
        host::faults().arm(operation);
        EXPECT_TRUE(is_no_position(Shape_class(&session.shape("root/rot")).get_position(1, true))) << operation;
    }
    host::faults().arm("part.make_current_camera");
    EXPECT_TRUE(is_no_position(Shape_class(&session.shape("root/cam")).get_position(0, false)));
    host::faults().arm("joint.set_axis");
    Shape_class(&session.shape("root/rot")).set_position(0, vec3{8, 8, 8}, false);
    EXPECT_EQ(session.shape("root/rot").center.x, 8);  // changes made before the failure stay
    session.expect_balanced();
}

TEST(ShapePositions, SurfacePointsCarryTheirHandles)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "line", "name": "l", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,10,1],
         "points": [{"position": [1,0,0], "in_handle": [0,0,0], "out_handle": [2,0,0],
                     "inner_handle": [1,1,0], "outer_handle": [1,-1,0], "first_flag": true}]}]}})");
    Shape_class line(&session.shape("root/l"));
    Surface_point p;
    ASSERT_TRUE(line.get_surface_point(0, p, true));
    expect_point(p.out_handle, 2, 0, 10);
    EXPECT_TRUE(p.first_flag);
    p *= mat4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1);
    ASSERT_TRUE(line.set_surface_point(0, p, true));
    expect_point(session.shape("root/l").points[0].inner_handle, 2, 1, 0);
    EXPECT_FALSE(line.get_surface_point(3, p, false));
}

TEST(ShapeQueries, ActivePointsSecretShapesAndSwitchedSurfaces)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "polygon", "name": "m", "vertices": [[0,0,0],[1,0,0],[2,0,0]], "active_points": [2, 0]},
        {"kind": "line", "name": "secret", "points": [{"position": [0,0,0]}], "attached": {"joint_window": ["root/m"]}},
        {"kind": "line", "name": "plain", "points": [{"position": [0,0,0]}]},
        {"kind": "surface", "name": "empty", "attached": {"skin_window": ["root/m"]}},
        {"kind": "rotator", "name": "j", "attached": {"joint_window": ["root/m"]}},
        {"kind": "part", "name": "outer", "children": [
            {"kind": "part", "name": "inner", "children": [
                {"kind": "surface", "name": "on", "switched": true, "children": [
                    {"kind": "surface", "name": "deep", "switched": true}]},
                {"kind": "surface", "name": "off"}]}]}]}})");
    std::vector<int> points{7, 7, 7, 7};
    EXPECT_EQ(Shape_class(&session.shape("root/m")).get_active_points(points), 2);
    EXPECT_EQ(points, (std::vector<int>{2, 0}));
    EXPECT_EQ(Shape_class(&session.shape("root/plain")).get_active_points(points), 0);
    EXPECT_TRUE(points.empty());

    EXPECT_TRUE(Shape_class(&session.shape("root/secret")).is_secret_shape());
    EXPECT_FALSE(Shape_class(&session.shape("root/plain")).is_secret_shape());
    EXPECT_TRUE(Shape_class(&session.shape("root/empty")).is_secret_shape());
    EXPECT_FALSE(Shape_class(&session.shape("root/j")).is_secret_shape());

    adjust_switch(session.shape("root/outer"));
    EXPECT_FALSE(session.shape("root/outer/inner/on").switched);
    EXPECT_TRUE(session.shape("root/outer/inner/on/deep").switched);  // not visited inside a surface
    EXPECT_FALSE(session.shape("root/outer/inner/off").switched);
}

TEST(ShapeQueries, AFailureInOneBranchOfTheSwitchWalkLeavesTheOthers)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "surface", "name": "a", "switched": true},
        {"kind": "surface", "name": "b", "switched": true}]}})");
    host::faults().arm("part.is_switched");
    adjust_switch(session.shape("root"));
    EXPECT_TRUE(session.shape("root/a").switched);
    EXPECT_FALSE(session.shape("root/b").switched);
}

}  // namespace

namespace {

TEST(ShapePositions, ACameraThatFailsMidwayStillGivesBackTheSceneCameraAndEditMode)
{
    for (char const* step : {"camera.get_eye", "scene.get_camera", "camera.set_target", "part.make_current_camera"}) {
        test::Session session;
        session.load_scene(fixed_points);
        session.scene.edit_mode = true;
        session.scene.current_camera = 1;
        Shape_class cam(&session.shape("root/cam"));
        host::faults().arm(step);
        cam.get_position(0, false);
        cam.set_position(1, vec3{1, 2, 3}, false);
        EXPECT_EQ(host::faults().fired(), 1) << step;
        EXPECT_EQ(session.scene.current_camera, 1) << step;
        EXPECT_TRUE(session.scene.edit_mode) << step;
        session.expect_balanced();
    }
}

constexpr char const attached_scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
    {"kind": "slider", "name": "s", "start": [1,0,0], "end": [2,0,0],
     "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1],
     "attached": {"joint_window": ["root/a"]}},
    {"kind": "ball", "name": "b", "center": [1,1,1], "attached": {"skin_window": ["root/a"]}},
    {"kind": "polygon", "name": "a", "vertices": [[0,0,0]]}]}})";

TEST(ShapePositions, AttachedShapesMoveByTheLocalOffsetAndNotByAnUnreadablePoint)
{
    test::Session session;
    session.load_scene(attached_scene);
    host::Model_shape& a = session.shape("root/a");
    // In world coordinates: point 0 is compared in the slider's local space,
    // (5,3,0) against its start (1,0,0), not its world start (11,0,0).
    Shape_class slider(&session.shape("root/s"));
    slider.set_position(1, vec3{15, 3, 0}, true);
    expect_point(session.shape("root/s").end, 5, 3, 0);
    EXPECT_EQ(a.local().m[3][0], 4);
    EXPECT_EQ(a.local().m[3][1], 3);
    // A skin-window list alone is enough to run the step.
    Shape_class ball(&session.shape("root/b"));
    ball.set_position(0, vec3{2, 1, 1}, false);
    EXPECT_EQ(a.local().m[3][0], 5);
    // Point 0 cannot be read: the attached shapes stay, the point still moves.
    host::faults().arm("shape.get_ball_joint");
    ball.set_position(0, vec3{9, 9, 9}, false);
    EXPECT_EQ(host::faults().fired(), 1);
    EXPECT_EQ(a.local().m[3][0], 5);
    EXPECT_EQ(a.local().m[3][1], 3);
    EXPECT_EQ(a.local().m[3][2], 0);
    expect_point(session.shape("root/b").center, 9, 9, 9);
}

TEST(ShapePositions, WorldPositionsThroughSkinsSubPartsAndLinks)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "C", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 2,0,0,1]},
        {"kind": "sphere", "name": "sph", "center": [1,0,0], "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,50,0,1],
         "skin": [{"joint": "root/C"}]},
        {"kind": "part", "name": "p", "children": [
            {"kind": "part", "name": "q", "children": [
                {"kind": "line", "name": "l", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,10,1],
                 "points": [{"position": [0,0,0]}, {"position": [1,0,0]}]}]},
            {"kind": "polygon", "name": "m", "vertices": [[0,5,0], [1,5,0], [2,5,0]]}]},
        {"kind": "link", "name": "k", "children": [
            {"kind": "polygon", "name": "lm", "vertices": [[7,7,7]]}]}]}})");
    // A fixed point whose own skin is bound is read through the skin's matrix
    // (C), not through the shape's own.
    Shape_class sphere(&session.shape("root/sph"));
    expect_point(sphere.get_position(0, true), 3, 0, 0);
    sphere.set_position(0, vec3{4, 0, 0}, true);
    expect_point(session.shape("root/sph").center, 2, 0, 0);
    // Numbering through a nested part: the line's two points, then the mesh.
    Shape_class p(&session.shape("root/p"));
    expect_point(p.get_position(3, false), 1, 5, 0);
    expect_point(p.get_position(1, true), 1, 0, 10);  // through the line's own matrix
    p.set_position(1, vec3{1, 0, 0}, true);
    expect_point(session.shape("root/p/q/l").points[1].position, 1, 0, -10);
    EXPECT_TRUE(is_no_position(p.get_position(5, false)));
    // A link part is read through its own children.
    Shape_class link(&session.shape("root/k"));
    EXPECT_EQ(link.object_type, 13);
    expect_point(link.get_position(0, false), 7, 7, 7);
}

}  // namespace

TEST(ShapeMatrices, ALocalMatrixSetIsSeenInWorldMatricesWorkedOutBefore)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "part", "name": "a", "children": [{"kind": "part", "name": "b"}]}]}})");
    host::Model_shape& a = session.shape("root/a");
    host::Model_shape& b = session.shape("root/a/b");
    EXPECT_EQ(b.world().m[3][0], 0);  // worked out, and kept
    a.set_local(3, 0, 4);
    EXPECT_EQ(b.world().m[3][0], 4);
    mat4 m = mat4::identity;
    m.m[3][1] = 2;
    b.set_local(m);
    EXPECT_EQ(b.world().m[3][1], 2);
    EXPECT_EQ(b.world().m[3][0], 4);
}

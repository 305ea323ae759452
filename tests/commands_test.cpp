// The three menu commands on the host's scene.
#include <algorithm>
#include <cmath>
#include <iostream>

#include "array.h"
#include "shape_access.h"
#include "support.h"
#include "vantelids.h"

namespace {

using test::Bindings;
using test::bindings_of;

constexpr int clear_skin = 0, joint_clear = 1, reset_matrix = 2;

constexpr char const scene_json[] = R"({"root": {"kind": "part", "name": "root", "children": [
  {"kind": "part", "name": "rig", "children": [
    {"kind": "rotator", "name": "A", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 3,0,0,1]},
    {"kind": "rotator", "name": "B", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,3,0,1]}]},
  {"kind": "part", "name": "grp", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,1,1], "children": [
    {"kind": "polygon", "name": "mesh", "active_points": [1],
     "skin": [{"joint": "root/rig/A", "weight": 1}],
     "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,2,1],
     "vertices": [
      {"position": [0,0,0], "skin": [{"joint": "root/rig/A", "weight": 0.6}, {"joint": "root/rig/B", "weight": 0.4}]},
      {"position": [1,0,0], "skin": [{"joint": "root/rig/A", "weight": 0.5}, {"joint": "root/rig/B", "weight": 0.2},
                                     {"joint": "root/rig/A", "weight": 0.3}]},
      {"position": [2,0,0], "skin": [{"joint": "root/rig/B", "weight": 1}]}]},
    {"kind": "rotator", "name": "J", "active_points": [0], "skin": [{"joint": "root/rig/A", "weight": 1}]},
    {"kind": "rotator", "name": "K", "skin": [{"joint": "root/rig/A", "weight": 1}]}]}]}})";

struct Commands : ::testing::Test {
    void SetUp() override { session.load_scene(scene_json); }
    host::Model_shape& mesh() { return session.shape("root/grp/mesh"); }
    void select(std::vector<std::string> const& references)
    {
        session.scene.active.clear();
        for (auto const& r : references)
            session.scene.active.push_back(&session.shape(r));
    }
    test::Session session;
};

TEST_F(Commands, ClearSkinReachesTheWholeSubtreeOfASelectedPart)
{
    select({"root/grp"});
    session.scene.edit_mode = true;
    EXPECT_TRUE(session.command(clear_skin));
    for (auto const& v : mesh().vertices)
        EXPECT_TRUE(v.skin.bindings().empty());
    EXPECT_TRUE(mesh().skin.bindings().empty());
    EXPECT_TRUE(session.shape("root/grp/J").skin.bindings().empty());
    EXPECT_FALSE(session.scene.edit_mode);  // left and not restored
    EXPECT_EQ(session.scene.updates, 1);
    EXPECT_EQ(session.scene.changes, 1);
    // The option dialog, built in code.
    ASSERT_EQ(session.services.dialogs.size(), 1u);
    auto const& dialog = session.services.dialogs[0];
    EXPECT_EQ(dialog.title, "skin clear mode");
    EXPECT_EQ(dialog.id, test::plugin().get_uuid(browser_iid, 0, nullptr));
    ASSERT_EQ(dialog.items.size(), 2u);
    EXPECT_EQ(dialog.items[0].label, "hold points position.");
    EXPECT_EQ(dialog.items[1].label, "clear only active points.");
    session.expect_balanced();
}

TEST_F(Commands, ClearingTwiceThroughAnAncestorFindsNothingTheSecondTime)
{
    select({"root/grp/mesh", "root/grp"});
    EXPECT_TRUE(session.command(clear_skin));
    EXPECT_TRUE(mesh().vertices[0].skin.bindings().empty());
    EXPECT_TRUE(session.shape("root/grp/K").skin.bindings().empty());
}

TEST_F(Commands, ActivePointsOnlyOnAMeshAndOnAJoint)
{
    select({"root/grp"});
    EXPECT_TRUE(session.command(clear_skin, {{1, 1}}));
    EXPECT_EQ(mesh().vertices[0].skin.bindings().size(), 2u);
    EXPECT_TRUE(mesh().vertices[1].skin.bindings().empty());
    EXPECT_FALSE(mesh().skin.bindings().empty());  // the mesh's own skin stays
    EXPECT_TRUE(session.shape("root/grp/J").skin.bindings().empty());  // one active point: cleared whole
    EXPECT_FALSE(session.shape("root/grp/K").skin.bindings().empty());  // no active point
}

TEST_F(Commands, HoldPointsKeepsClearedVerticesInPlace)
{
    select({"root/grp/mesh"});
    Shape_class wrapper(&mesh());
    vec3 const before = wrapper.get_position(2, true);
    EXPECT_TRUE(session.command(clear_skin, {{0, 1}}));
    vec3 const after = wrapper.get_position(2, true);
    EXPECT_NEAR(after.x, before.x, 1e-5);
    EXPECT_NEAR(after.y, before.y, 1e-5);
    EXPECT_NEAR(after.z, before.z, 1e-5);

    session.load_scene(scene_json);
    select({"root/grp/mesh"});
    Shape_class unheld(&mesh());
    vec3 const moved_before = unheld.get_position(2, true);
    EXPECT_TRUE(session.command(clear_skin));
    EXPECT_GT(std::fabs(unheld.get_position(2, true).y - moved_before.y), 1.0f);
}

TEST_F(Commands, CancellingChangesNothing)
{
    select({"root/grp"});
    auto const before = bindings_of(mesh().vertices[0].skin);
    EXPECT_FALSE(session.command(clear_skin, {}, false));
    session.scene.memorised = {&session.shape("root/rig/A")};
    EXPECT_FALSE(session.command(joint_clear, {}, false));
    // Each cancelled dialog was shown, and answered by its own script entry.
    EXPECT_EQ(session.services.dialogs.size(), 2u);
    EXPECT_TRUE(session.services.dialog_answers.empty());
    session.services.message_box_answers.push_back(false);
    EXPECT_FALSE(host::run_command(test::plugin(), session.services, session.scene, reset_matrix));
    EXPECT_EQ(bindings_of(mesh().vertices[0].skin), before);
    EXPECT_EQ(session.scene.changes, 0);
    EXPECT_EQ(mesh().local().m[3][2], 2);
    session.expect_balanced();
}

TEST_F(Commands, AFailureMidWalkStillClosesTheBracket)
{
    select({"root/rig", "root/grp"});
    host::faults().arm("shape.get_first_child", 4);
    EXPECT_TRUE(session.command(clear_skin));
    EXPECT_EQ(host::faults().fired(), 1);
    EXPECT_EQ(session.scene.changes, 1);
    EXPECT_FALSE(mesh().vertices[0].skin.bindings().empty());  // not reached
    session.expect_balanced();
}

TEST_F(Commands, JointClearRemovesOnlyTheMemorisedJoint)
{
    select({"root/grp"});
    session.scene.memorised = {&session.shape("root/rig/A")};
    EXPECT_TRUE(session.command(joint_clear));
    EXPECT_EQ(bindings_of(mesh().vertices[0].skin), (Bindings{{"B", 0.4f}}));  // not rescaled
    EXPECT_EQ(bindings_of(mesh().vertices[1].skin), (Bindings{{"A", 0.5f}, {"B", 0.2f}}));  // the higher index goes
    EXPECT_EQ(bindings_of(mesh().vertices[2].skin), (Bindings{{"B", 1.0f}}));
    EXPECT_TRUE(mesh().skin.bindings().empty());
    EXPECT_EQ(session.services.dialogs.at(0).id, component_id{});  // the all-zero id
    EXPECT_TRUE(session.command(joint_clear));
    EXPECT_EQ(bindings_of(mesh().vertices[1].skin), (Bindings{{"B", 0.2f}}));
    session.expect_balanced();
}

TEST_F(Commands, JointClearWithActivePointsOnly)
{
    select({"root/grp/mesh"});
    session.scene.memorised = {&session.shape("root/rig/B")};
    EXPECT_TRUE(session.command(joint_clear, {{1, 1}, {0, 1}}));
    EXPECT_EQ(bindings_of(mesh().vertices[0].skin).size(), 2u);
    EXPECT_EQ(bindings_of(mesh().vertices[1].skin), (Bindings{{"A", 0.5f}, {"A", 0.3f}}));
    EXPECT_EQ(bindings_of(mesh().vertices[2].skin).size(), 1u);
}

TEST_F(Commands, JointClearRefusesWhatIsNotAJoint)
{
    struct Case {
        std::vector<std::string> memory;
        char const* message;
    } const cases[] = {{{}, "Can't get joint."}, {{"root/grp/mesh"}, "Can't get joint."}, {{"root/grp"}, "Invalide joint."}};
    for (Case const& c : cases) {
        test::Session session;
        session.load_scene(scene_json);
        for (auto const& r : c.memory)
            session.scene.memorised.push_back(&session.shape(r));
        EXPECT_FALSE(session.command(joint_clear));
        ASSERT_EQ(session.services.message_boxes.size(), 1u);
        EXPECT_EQ(session.services.message_boxes[0].text, c.message);
        EXPECT_TRUE(session.services.dialogs.empty());
        EXPECT_EQ(session.scene.changes, 0);
    }
    test::Session japanese(host::language_japanese);
    japanese.load_scene(scene_json);
    EXPECT_FALSE(japanese.command(joint_clear));
    EXPECT_EQ(japanese.services.message_boxes.at(0).text, "ジョイントが取得できませんでした。");
}

TEST_F(Commands, ResetKeepsMemorisedShapesButResetsTheirChildren)
{
    select({"root/grp"});
    session.scene.memorised = {&session.shape("root/grp")};
    session.shape("root/grp/J").set_local(3, 0, 5);
    EXPECT_TRUE(host::run_command(test::plugin(), session.services, session.scene, reset_matrix));
    EXPECT_EQ(session.shape("root/grp").local().m[3][2], 1);
    EXPECT_EQ(mesh().local().m[3][2], 0);
    EXPECT_EQ(session.shape("root/grp/J").local().m[3][0], 0);
    EXPECT_EQ(session.shape("root/rig/A").local().m[3][0], 3);  // outside the selection
    EXPECT_FALSE(mesh().vertices[0].skin.bindings().empty());  // no skin is touched
    ASSERT_EQ(session.services.message_boxes.size(), 1u);
    EXPECT_TRUE(session.services.message_boxes[0].with_cancel);
    EXPECT_EQ(session.services.message_boxes[0].text.substr(0, 51), "Clear transformation matrix of all selected shapes.");
    EXPECT_EQ(session.scene.refreshes, 1);
    session.expect_balanced();
}

TEST_F(Commands, ResetPassesOverAFailingShapeAndEndsOnOtherFailures)
{
    select({"root/grp"});
    host::faults().arm("shape.clear_transformation");
    EXPECT_TRUE(host::run_command(test::plugin(), session.services, session.scene, reset_matrix));
    EXPECT_EQ(session.shape("root/grp").local().m[3][2], 1);  // the failing one keeps its matrix
    EXPECT_EQ(mesh().local().m[3][2], 0);                     // its children are still reset

    session.load_scene(scene_json);
    select({"root/rig", "root/grp"});
    host::faults().arm("shape.get_next_sibling");
    EXPECT_TRUE(host::run_command(test::plugin(), session.services, session.scene, reset_matrix));
    EXPECT_EQ(mesh().local().m[3][2], 2);  // the walk ended before it
    EXPECT_EQ(session.scene.refreshes, 2);
    session.expect_balanced();
}

TEST(CommandArray, OwnsExactlyTheRequestedLength)
{
    Array<int*> empty(0);
    EXPECT_EQ(empty.end - empty.start, 0);
    Array<int*> four(4);
    EXPECT_EQ(four.end - four.start, 4);
    Array<int*> broken(1);
    delete[] broken.start;
    broken.start = nullptr;
    EXPECT_THROW(broken._init(1), std::bad_alloc);
}

// The host operations a command calls before it opens its bracket.
std::vector<std::string> calls_before_the_walk(std::vector<std::string> const& calls)
{
    auto const begin = std::find(calls.begin(), calls.end(), "scene.begin_change");
    return {calls.begin(), begin};
}

TEST_F(Commands, FailuresBeforeTheWalkReachTheHostWithNothingChangedOrOpen)
{
    for (int command : {clear_skin, joint_clear, reset_matrix}) {
        // First a run that records what is called before the walk.
        std::vector<std::string> before;
        {
            test::Session probe;
            probe.load_scene(scene_json);
            probe.scene.memorised = {&probe.shape("root/rig/A")};
            probe.scene.edit_mode = true;
            probe.scene.active = {&probe.shape("root/grp")};
            host::calls().start();
            EXPECT_TRUE(host::run_command(test::plugin(), probe.services, probe.scene, command));
            before = calls_before_the_walk(host::calls().stop());
        }
        // Edit mode is left and the scene updated before the bracket opens.
        ASSERT_GE(before.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(before.end() - 3, before.end()),
                  (std::vector<std::string>{"scene.is_edit_mode", "scene.exit_edit_mode", "scene.update"}))
            << "command " << command;
        // Then each of those calls made to fail in turn.
        for (std::size_t i = 0; i < before.size(); ++i) {
            test::Session session;
            session.load_scene(scene_json);
            session.scene.memorised = {&session.shape("root/rig/A")};
            session.scene.edit_mode = true;
            session.scene.active = {&session.shape("root/grp")};
            int const skip = static_cast<int>(std::count(before.begin(), before.begin() + static_cast<long>(i), before[i]));
            host::faults().arm(before[i], skip);
            EXPECT_THROW(host::run_command(test::plugin(), session.services, session.scene, command), host::host_error)
                << "command " << command << ", " << before[i] << " #" << skip;
            EXPECT_EQ(session.scene.changes, 0) << before[i];
            EXPECT_EQ(session.shape("root/grp/mesh").vertices[0].skin.bindings().size(), 2u) << before[i];
            EXPECT_EQ(session.shape("root/grp/mesh").local().m[3][2], 2) << before[i];
            session.expect_balanced();
        }
    }
}

TEST_F(Commands, EveryJointPartTypeIsAcceptedAndEveryOtherRefused)
{
    for (int part_type : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 100, 101}) {
        test::Session session;
        session.load_scene(scene_json);
        session.scene.active = {&session.shape("root/grp/mesh")};
        host::Model_shape& memorised = session.shape("root/rig/A");
        memorised.part_type = part_type;
        session.scene.memorised = {&memorised};
        bool const joint = part_type == 2 || part_type == 3 || part_type == 4 || part_type == 5 || part_type == 10;
        EXPECT_EQ(session.command(joint_clear), joint) << part_type;
        EXPECT_EQ(session.services.dialogs.size(), joint ? 1u : 0u) << part_type;
        if (joint) {
            EXPECT_TRUE(session.services.message_boxes.empty()) << part_type;
            EXPECT_EQ(bindings_of(session.shape("root/grp/mesh").vertices[0].skin), (Bindings{{"B", 0.4f}})) << part_type;
        } else {
            ASSERT_EQ(session.services.message_boxes.size(), 1u) << part_type;
            EXPECT_EQ(session.services.message_boxes[0].text, "Invalide joint.");
            EXPECT_FALSE(session.services.message_boxes[0].with_cancel);
            EXPECT_EQ(session.scene.changes, 0);
            session.services.dialog_answers.clear();
        }
    }
}

TEST_F(Commands, ResetLeavesEditModeAndBracketsItsWalkOnce)
{
    select({"root/grp/mesh", "root/grp"});
    session.scene.edit_mode = true;
    host::calls().start();
    EXPECT_TRUE(host::run_command(test::plugin(), session.services, session.scene, reset_matrix));
    std::vector<std::string> const calls = host::calls().stop();
    EXPECT_FALSE(session.scene.edit_mode);
    EXPECT_EQ(session.scene.edit_mode_exits, 1);
    EXPECT_EQ(session.scene.updates, 1);
    EXPECT_EQ(session.scene.changes, 1);
    EXPECT_EQ(session.scene.refreshes, 1);
    // update, then the bracket, then refresh after it.
    auto at = [&](char const* name) { return std::find(calls.begin(), calls.end(), name) - calls.begin(); };
    EXPECT_LT(at("scene.exit_edit_mode"), at("scene.update"));
    EXPECT_LT(at("scene.update"), at("scene.begin_change"));
    EXPECT_LT(at("scene.begin_change"), at("shape.clear_transformation"));
    EXPECT_LT(at("scene.end_change"), at("scene.refresh"));
    // Selected with its parent, the mesh is reset twice, each time with false.
    EXPECT_EQ(mesh().clear_transformation_arguments, (std::vector<bool>{false, false}));
    EXPECT_EQ(session.shape("root/grp").clear_transformation_arguments, (std::vector<bool>{false}));
    session.expect_balanced();
}

TEST_F(Commands, JointClearWithHoldLeavesUnboundPointsWhereTheyWere)
{
    // Vertex 2 is bound to B alone; clearing A with hold must not touch it,
    // and vertices 0 and 1 (A and B) are put back where they were.
    select({"root/grp/mesh"});
    session.scene.memorised = {&session.shape("root/rig/A")};
    Shape_class wrapper(&mesh());
    vec3 const v0 = wrapper.get_position(0, true);
    vec3 const stored2 = mesh().vertices[2].position;
    host::calls().start();
    EXPECT_TRUE(session.command(joint_clear, {{0, 1}}));
    std::vector<std::string> const calls = host::calls().stop();
    vec3 const after0 = wrapper.get_position(0, true);
    EXPECT_NEAR(after0.x, v0.x, 1e-5);
    EXPECT_NEAR(after0.y, v0.y, 1e-5);
    EXPECT_NEAR(after0.z, v0.z, 1e-5);
    EXPECT_EQ(mesh().vertices[2].position.x, stored2.x);
    EXPECT_EQ(mesh().vertices[2].position.y, stored2.y);
    EXPECT_EQ(mesh().vertices[2].position.z, stored2.z);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "vertex.set_position"), 2);  // vertices 0 and 1 only
    session.expect_balanced();
}

TEST_F(Commands, ANegativeActivePointIsPassedOverAndTheWalkGoesOn)
{
    mesh().active_points = {-1};
    session.shape("root/grp/J").active_points = {0};
    select({"root/grp"});
    EXPECT_TRUE(session.command(clear_skin, {{1, 1}, {0, 1}}));
    EXPECT_EQ(mesh().vertices[0].skin.bindings().size(), 2u);
    EXPECT_FALSE(mesh().skin.bindings().empty());
    EXPECT_TRUE(session.shape("root/grp/J").skin.bindings().empty());  // after the mesh in the walk
    session.expect_balanced();
}

// The host calls of a command that its steps fix the order of, from the
// dialog (or the caution) to the end of the bracket, with the shapes that
// each change reaches.
std::vector<std::string> ordered_calls(std::vector<std::string> const& calls)
{
    static char const* const kept[] = {"dialog.", "vantel.create_dialog", "vantel.show_message_box",
                                       "scene.is_edit_mode", "scene.exit_edit_mode", "scene.update",
                                       "scene.begin_change", "scene.end_change", "scene.refresh",
                                       "scene.get_number_of_active_shapes", "scene.get_active_shape",
                                       "scene.get_number_of_memorised_shapes", "scene.get_memorised_shape",
                                       "scene.get_memory_shape", "shape.clear_transformation", "shape.remove_skin",
                                       "skin.remove_binding"};
    std::vector<std::string> out;
    for (std::string const& call : calls)
        for (char const* prefix : kept)
            if (call.rfind(prefix, 0) == 0) {
                out.push_back(call);
                break;
            }
    return out;
}

TEST_F(Commands, EachCommandCallsTheHostInTheOrderItsStepsGive)
{
    // A part and one of its children selected: the child is reached twice.
    std::vector<std::string> const dialog = {"vantel.create_dialog", "dialog.set_title", "dialog.append_item",
                                             "dialog.append_item", "dialog.ask", "dialog.get_value", "dialog.get_value",
                                             "scene.is_edit_mode", "scene.update", "scene.begin_change"};
    auto then = [](std::vector<std::string> a, std::vector<std::string> const& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        int command;
        std::vector<std::string> calls;
    } const cases[] = {
        {clear_skin,
         then(dialog,
              {// The number of selected shapes is asked before every step;
               // children are cleared before their part, each skin from its
               // last binding down.
               "scene.get_number_of_active_shapes", "scene.get_active_shape", "skin.remove_binding #1",
               "skin.remove_binding #0", "skin.remove_binding #2", "skin.remove_binding #1", "skin.remove_binding #0",
               "skin.remove_binding #0", "shape.remove_skin root/grp/mesh", "shape.remove_skin root/grp/J",
               "shape.remove_skin root/grp/K", "shape.remove_skin root/grp", "scene.get_number_of_active_shapes",
               "scene.get_active_shape", "shape.remove_skin root/grp/J", "scene.get_number_of_active_shapes",
               // The dialog is held over the walk and given back after the bracket.
               "scene.end_change", "dialog.Release"})},
        {joint_clear,
         then(then({"scene.get_number_of_memorised_shapes", "scene.get_memory_shape"}, dialog),
              {"scene.get_number_of_active_shapes", "scene.get_active_shape", "skin.remove_binding #0",
               "skin.remove_binding #2", "skin.remove_binding root/grp/mesh #0", "skin.remove_binding root/grp/J #0",
               "skin.remove_binding root/grp/K #2", "scene.get_number_of_active_shapes", "scene.get_active_shape",
               "scene.get_number_of_active_shapes", "scene.end_change", "dialog.Release"})},
        {reset_matrix,
         {// The number of selected shapes is read once; a part is reset
          // before its children.
          "vantel.show_message_box", "scene.get_number_of_memorised_shapes", "scene.get_memorised_shape",
          "scene.get_number_of_active_shapes", "scene.is_edit_mode", "scene.update", "scene.begin_change",
          "scene.get_active_shape", "shape.clear_transformation root/grp", "shape.clear_transformation root/grp/mesh",
          "shape.clear_transformation root/grp/J", "shape.clear_transformation root/grp/K", "scene.get_active_shape",
          "shape.clear_transformation root/grp/J", "scene.end_change", "scene.refresh"}},
    };
    for (Case const& c : cases) {
        test::Session s;
        s.load_scene(scene_json);
        s.scene.memorised = {&s.shape("root/rig/A")};
        s.scene.active = {&s.shape("root/grp"), &s.shape("root/grp/J")};
        s.shape("root/grp/K").skin.add(&s.shape("root/rig/B"), 0.5f);
        s.shape("root/grp/K").skin.add(&s.shape("root/rig/A"), 0.25f);
        host::calls().start(true);
        EXPECT_TRUE(s.command(c.command));
        EXPECT_EQ(ordered_calls(host::calls().stop()), c.calls) << "command " << c.command;
        s.expect_balanced();
    }
}

}  // namespace

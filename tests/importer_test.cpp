// "Load skin": round trips, target and joint resolution, and the failures.
#include <algorithm>
#include <cstring>

#include "support.h"

namespace {

using test::Bindings;
using test::bindings_of;

constexpr int text_form = 0, binary_form = 1;

// Two rigs with a mesh each; the mesh names repeat, as the joint names do.
constexpr char const rig_scene[] = R"({"special_characters": "#", "selection": ["root/figure"], "root": {
  "kind": "part", "name": "root", "children": [
  {"kind": "part", "name": "figure", "children": [
    {"kind": "rotator", "name": "hips", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,1,0,1], "children": [
      {"kind": "rotator", "name": "#arm", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 1,0,0,1]}]},
    {"kind": "polygon", "name": "body", "vertices": [
      {"position": [0,0,0], "skin": [{"joint": "root/figure/hips", "weight": 1}]},
      {"position": [1,0,0], "skin": [{"joint": "root/figure/hips", "weight": 0.3}, {"joint": "root/figure/hips/#arm", "weight": 0.7}]},
      {"position": [2,0,0]}]},
    {"kind": "polygon", "name": "body", "vertices": [
      {"position": [0,5,0], "skin": [{"joint": "root/figure/hips/#arm", "weight": 0.125}]},
      {"position": [1,5,0]}, {"position": [2,5,0], "skin": [{"joint": "root/figure/hips", "weight": 1}]}]},
    {"kind": "line", "name": "belt", "points": [
      {"position": [0,1,0], "out_handle": [0.5,1,0], "skin": [{"joint": "root/figure/hips", "weight": 0.5}]}]},
    {"kind": "sphere", "name": "eye", "skin": [{"joint": "root/figure/hips/#arm", "weight": 1}]}]}]}})";

// Every skin of the scene, shape by shape in scene order.
std::vector<Bindings> all_skins(host::Model_scene& scene)
{
    std::vector<Bindings> out;
    for (host::Model_shape* s : scene.shapes_in_order()) {
        out.push_back(bindings_of(s->skin));
        for (auto const& v : s->vertices)
            out.push_back(bindings_of(v.skin));
        for (auto const& p : s->points)
            out.push_back(bindings_of(p.skin));
    }
    return out;
}

void clear_all_skins(host::Model_scene& scene)
{
    for (host::Model_shape* s : scene.shapes_in_order()) {
        s->skin.clear();
        for (auto& v : s->vertices)
            v.skin.clear();
        for (auto& p : s->points)
            p.skin.clear();
    }
}

std::vector<char> bytes_of(std::string const& text) { return std::vector<char>(text.begin(), text.end()); }

TEST(ImporterRoundTrip, EverySkinComesBackInBothFormsAndOptions)
{
    for (int form : {text_form, binary_form})
        for (int full_path : {0, 1})
            for (int trim : {0, 1})
                for (int hold : {0, 1}) {
                    test::Session source;
                    source.load_scene(rig_scene);
                    host::Saved_file const file = source.save({{11, form}, {12, full_path}, {13, trim}});
                    std::vector<char> const bytes = form == binary_form ? file.binary : bytes_of(file.text);

                    test::Session target;
                    target.load_scene(rig_scene);
                    clear_all_skins(target.scene);
                    target.load(bytes, {{11, hold}, {12, trim}});
                    EXPECT_EQ(all_skins(target.scene), all_skins(source.scene))
                        << "form " << form << " full path " << full_path << " trim " << trim << " hold " << hold;
                    target.expect_balanced();
                }
}

TEST(ImporterRoundTrip, NewlyReplacesAndOverwriteAddsToExistingSkins)
{
    test::Session source;
    source.load_scene(rig_scene);
    std::string const text = source.save().text;

    for (int mode : {0, 1}) {
        test::Session target;
        target.load_scene(rig_scene);
        host::Model_shape& hips = target.shape("root/figure/hips");
        auto& body = *target.shape("root/figure").children()[1];
        body.vertices[1].skin.clear();
        body.vertices[1].skin.add(&hips, 0.9f);
        body.vertices[2].skin.add(&hips, 0.6f);  // the file has no binding for this point
        target.load(text, {{10, mode}});
        if (mode == 0) {
            EXPECT_EQ(bindings_of(body.vertices[1].skin), (Bindings{{"hips", 0.3f}, {"#arm", 0.7f}}));
            EXPECT_TRUE(body.vertices[2].skin.bindings().empty());
        } else {
            EXPECT_EQ(bindings_of(body.vertices[1].skin), (Bindings{{"hips", 0.3f}, {"#arm", 0.7f}}));
            EXPECT_EQ(bindings_of(body.vertices[2].skin), (Bindings{{"hips", 0.6f}}));
        }
        target.expect_balanced();
    }
}

TEST(ImporterRoundTrip, HoldPointsKeepsWorldPositions)
{
    test::Session source;
    source.load_scene(rig_scene);
    std::string const text = source.save().text;
    for (int hold : {0, 1}) {
        test::Session target;
        target.load_scene(rig_scene);
        clear_all_skins(target.scene);
        target.load(text, {{11, hold}});
        auto& body = *target.shape("root/figure").children()[1];
        vec3 const stored = body.vertices[0].position;
        // Bound to hips (one unit up): without hold the point moves with it, with hold it is stored lower.
        EXPECT_EQ(stored.y, hold ? -1.0f : 0.0f);
    }
}

TEST(ImporterTargets, RecordsTakeDuplicateShapesInSceneOrder)
{
    test::Session session;
    session.load_scene(rig_scene);
    std::string const text = session.save().text;
    clear_all_skins(session.scene);
    session.load(text);
    auto const& first = *session.shape("root/figure").children()[1];
    auto const& second = *session.shape("root/figure").children()[2];
    EXPECT_EQ(bindings_of(first.vertices[0].skin), (Bindings{{"hips", 1.0f}}));
    EXPECT_EQ(bindings_of(second.vertices[0].skin), (Bindings{{"#arm", 0.125f}}));

    // A record whose fitting shape lies before the last target matches nothing.
    test::Session reordered;
    reordered.load_scene(rig_scene);
    clear_all_skins(reordered.scene);
    reordered.load(std::string("<skinfile>\nsphere:eye:1\n0:1:1/figure/hips/:\n"
                               "polygon:body:3\n0:1:1/figure/hips/:\n1:0:\n2:0:\n<end>\n"),
                   {{14, 1}});
    EXPECT_EQ(bindings_of(reordered.shape("root/figure/eye").skin), (Bindings{{"hips", 1.0f}}));
    EXPECT_TRUE(reordered.shape("root/figure/body").vertices[0].skin.bindings().empty());
    EXPECT_EQ(reordered.services.messages[2], "not found name:figure->body");
}

TEST(ImporterTargets, PointCountMustMatchAndOneSelectedShapeStartsTheSearch)
{
    test::Session session;
    session.load_scene(rig_scene);
    clear_all_skins(session.scene);
    session.load(std::string("<skinfile>\npolygon:body:4\n0:1:1/figure/hips/:\n1:0:\n2:0:\n3:0:\n<end>\n"));
    EXPECT_TRUE(session.shape("root/figure/body").vertices[0].skin.bindings().empty());

    // With exactly one shape selected, it may itself be the first record's target.
    session.scene.active = {&session.shape("root/figure/eye")};
    session.scene.current = &session.shape("root/figure/eye");
    session.load(std::string("<skinfile>\nsphere:eye:1\n0:1:0.5/figure/hips/:\n<end>\n"));
    EXPECT_EQ(bindings_of(session.shape("root/figure/eye").skin), (Bindings{{"hips", 0.5f}}));
}

TEST(ImporterTargets, TrimmingMatchesNamesOnBothSides)
{
    test::Session session;
    session.load_scene(rig_scene);
    clear_all_skins(session.scene);
    session.load(std::string("<skinfile>\nsphere:#eye:1\n0:1:1/#figure/hips/arm/:\n<end>\n"));
    EXPECT_EQ(bindings_of(session.shape("root/figure/eye").skin), (Bindings{{"#arm", 1.0f}}));
    clear_all_skins(session.scene);
    session.load(std::string("<skinfile>\nsphere:#eye:1\n0:1:1/figure/hips/arm/:\n<end>\n"), {{12, 0}});
    EXPECT_TRUE(session.shape("root/figure/eye").skin.bindings().empty());
}

TEST(ImporterJoints, NamesOfBothFormsMayStartAtTheSearchRoot)
{
    std::string const text = "<skinfile>\nsphere:eye:1\n0:1:1/root/figure/hips/:\n<end>\n";
    test::Session session;
    session.load_scene(rig_scene);
    clear_all_skins(session.scene);
    session.load(text);
    EXPECT_EQ(bindings_of(session.shape("root/figure/eye").skin), (Bindings{{"hips", 1.0f}}));

    auto binary_file = [](std::string const& joint) {
        std::vector<char> b;
        auto i32 = [&](int32_t v) {
            for (int k = 0; k < 4; ++k)
                b.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * k)) & 0xFF));
        };
        i32(0x50020010);
        i32(15);
        for (char c : std::string("eye"))
            b.push_back(c);
        b.push_back(0);
        i32(1);
        i32(0);
        i32(1);
        float const one = 1.0f;
        int32_t bits;
        std::memcpy(&bits, &one, 4);
        i32(bits);
        b.insert(b.end(), joint.begin(), joint.end());
        b.push_back(0);
        b.push_back('\xFF');
        i32(-1);
        return b;
    };
    // A binary full path from the search root itself (the range "All"):
    // nothing below it is named root, so the path goes on from the root.
    clear_all_skins(session.scene);
    session.load(binary_file("root\xFF" "figure\xFF" "hips"), {{14, 1}});
    EXPECT_EQ(bindings_of(session.shape("root/figure/eye").skin), (Bindings{{"hips", 1.0f}}));
    session.load(binary_file("figure\xFF" "hips"));
    EXPECT_EQ(bindings_of(session.shape("root/figure/eye").skin), (Bindings{{"hips", 1.0f}}));
    // Only the first component may be the search root, and only by its name.
    clear_all_skins(session.scene);
    session.services.messages.clear();
    session.load(binary_file("scene\xFF" "figure\xFF" "hips"), {{14, 1}});
    EXPECT_TRUE(session.shape("root/figure/eye").skin.bindings().empty());
    EXPECT_EQ(session.services.messages.at(2), "***tavrik*** joint search error at [root] -> [scene]");
    session.load(binary_file("figure\xFF" "root\xFF" "hips"));
    EXPECT_TRUE(session.shape("root/figure/eye").skin.bindings().empty());

    // A short name finds the first shape of that name anywhere below the root.
    session.load(binary_file("#arm"), {{12, 0}});
    EXPECT_EQ(bindings_of(session.shape("root/figure/eye").skin), (Bindings{{"#arm", 1.0f}}));
    // Where a shape below the search root bears its name, that one is taken, as before.
    session.shape("root/figure/hips/#arm").name = "root";
    session.scene.matrices_changed();
    session.shape("root/figure/hips/root").add_child(std::make_unique<host::Model_shape>(
        &session.scene, shape_type_part, host::part_rotator, "figure"));
    session.scene.renumber();
    session.load(binary_file("root\xFF" "figure"));
    EXPECT_EQ(session.shape("root/figure/eye").skin.bindings().at(0).joint,
              &session.shape("root/figure/hips/root/figure"));
    // A path that does not go on below that shape goes on from the search root.
    session.load(binary_file("root\xFF" "figure\xFF" "hips"));
    EXPECT_EQ(session.shape("root/figure/eye").skin.bindings().at(0).joint, &session.shape("root/figure/hips"));
}

TEST(ImporterJoints, JointsOutsideTheSelectionNeedTheRootAsSearchRoot)
{
    std::string const text = "<skinfile>\nsphere:eye:1\n0:1:1/hips/:\n<end>\n";
    for (int outside : {1, 0}) {
        test::Session session;
        session.load_scene(rig_scene);
        clear_all_skins(session.scene);
        session.scene.active = {&session.shape("root/figure/eye")};
        session.scene.current = &session.shape("root/figure/eye");
        session.load(text, {{13, outside}});
        EXPECT_EQ(session.shape("root/figure/eye").skin.bindings().size(), outside ? 1u : 0u);
    }
}

TEST(ImporterJoints, AMissingJointDropsOnlyItsBinding)
{
    test::Session session;
    session.load_scene(rig_scene);
    clear_all_skins(session.scene);
    session.load(std::string("<skinfile>\nsphere:eye:1\n0:3:0.25/figure/knee/:0.5/figure/hips/:0.25/figure/knee/:\n<end>\n"),
                 {{14, 1}});
    EXPECT_EQ(bindings_of(session.shape("root/figure/eye").skin), (Bindings{{"hips", 0.5f}}));
    std::vector<std::string> const expected = {
        "***tavrik*** start load text skin file",
        "***tavrik*** set skin to shape[eye: 1] line number:2",
        "***tavrik*** joint search error at [root] -> [knee]",
        "***tavrik*** joint search error at [root] -> [knee]",  // once per failing name, also from the cache
        "***tavrik*** Finished load text skin file"};
    EXPECT_EQ(session.services.messages, expected);
}

TEST(ImporterMissingShapes, TextGoesOnAfterAMissingNestedRecord)
{
    test::Session session;
    session.load_scene(rig_scene);
    clear_all_skins(session.scene);
    session.load(std::string("<skinfile>\npart:figure:1\n0:0:\n"
                             "{part:ghost:1\n0:0:\n{sphere:eye:1\n0:1:1/figure/hips/:\n}\n}\n"
                             "{sphere:eye:1\n0:1:0.5/figure/hips/:\n}\n<end>\n"),
                 {{14, 1}});
    // The ghost's own nested records match nothing; the record after its "}" is applied.
    EXPECT_EQ(bindings_of(session.shape("root/figure/eye").skin), (Bindings{{"hips", 0.5f}}));
    EXPECT_NE(std::find(session.services.messages.begin(), session.services.messages.end(),
                        "not found name:(no target)->eye"),
              session.services.messages.end());
    session.expect_balanced();
}

TEST(ImporterMissingShapes, BinaryGoesOnAfterAMissingRecord)
{
    test::Session source;
    source.load_scene(rig_scene);
    source.shape("root/figure/belt").name = "strap";  // the target scene has no strap
    std::vector<char> const file = source.save({{11, binary_form}}).binary;
    test::Session target;
    target.load_scene(rig_scene);
    clear_all_skins(target.scene);
    target.load(file, {{14, 1}});
    EXPECT_FALSE(target.shape("root/figure/body").vertices[0].skin.bindings().empty());  // before it
    EXPECT_EQ(bindings_of(target.shape("root/figure/eye").skin), (Bindings{{"#arm", 1.0f}}));  // after it
    EXPECT_TRUE(target.shape("root/figure/belt").points[0].skin.bindings().empty());
    std::vector<std::string> const& messages = target.services.messages;
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "not found name:figure->strap \ncontinue?"), 1);
    EXPECT_EQ(messages.back(), "***tavrik*** Finished load binary skin file");
    target.expect_balanced();
}

TEST(ImporterFailures, UnreadableFirstIntAndFilesThatAreNotSkinFiles)
{
    test::Session session;
    session.load_scene(rig_scene);
    host::faults().arm("stream.read_int");
    session.load(std::string("<skinfile>\n<end>\n"));
    ASSERT_EQ(session.services.message_boxes.size(), 1u);
    EXPECT_EQ(session.services.message_boxes[0].text, "***tavrik*** Error in reading file!");
    EXPECT_EQ(session.scene.changes, 0);  // no bracket was opened

    session.load(std::string("hello\n"));
    EXPECT_EQ(session.services.message_boxes.back().text, "not skin file!");
    EXPECT_EQ(session.scene.changes, 1);
    EXPECT_EQ(session.scene.refreshes, 1);
    session.load(std::vector<char>{});
    EXPECT_EQ(session.services.message_boxes.back().text, "not skin file!");

    test::Session japanese(host::language_japanese);
    japanese.load_scene(rig_scene);
    japanese.load(std::string("hello\n"));
    EXPECT_EQ(japanese.services.message_boxes.back().text, "スキンファイルでは有りません。");
    session.expect_balanced();
}

TEST(ImporterFailures, ACancelledDialogReadsNothing)
{
    test::Session session;
    session.load_scene(rig_scene);
    session.services.dialog_answers.push_back(host::Dialog_answer{false, {}});
    host::run_load_from_memory(test::plugin(), session.services, session.scene, bytes_of("<skinfile>\n<end>\n"));
    EXPECT_EQ(session.scene.changes, 0);
    EXPECT_TRUE(session.services.progress.empty());
}

TEST(ImporterFailures, AStreamFailureEndsTheLoadAndClosesEveryBracket)
{
    test::Session source;
    source.load_scene(rig_scene);
    std::vector<char> const binary = source.save({{11, binary_form}}).binary;
    std::string const text = source.save().text;
    for (char const* operation : {"stream.read_float", "stream.read_char", "text_stream.read_line", "text_stream.is_end"}) {
        test::Session session;
        session.load_scene(rig_scene);
        clear_all_skins(session.scene);
        host::faults().arm(operation, 3);
        if (std::strncmp(operation, "text", 4) == 0)
            session.load(text, {{14, 1}});
        else
            session.load(binary, {{14, 1}});
        EXPECT_EQ(host::faults().fired(), 1) << operation;
        EXPECT_EQ(session.services.messages.back(), "***tavrik*** Terminated loading skin.") << operation;
        EXPECT_TRUE(session.shape("root/figure/eye").skin.bindings().empty()) << operation;
        session.expect_balanced();
    }
    // A failure while binding one point passes that point over; the load goes on.
    test::Session session;
    session.load_scene(rig_scene);
    clear_all_skins(session.scene);
    host::faults().arm("skin.append_binding");
    session.load(text, {{14, 1}});
    EXPECT_EQ(session.services.messages.back(), "***tavrik*** Finished load text skin file");
    EXPECT_TRUE(session.shape("root/figure/body").vertices[0].skin.bindings().empty());
    EXPECT_FALSE(session.shape("root/figure/eye").skin.bindings().empty());
    session.expect_balanced();
}

TEST(ImporterFailures, StoppingTheProgressIndicatorStopsTheTextLoad)
{
    std::string const text =
        "<skinfile>\npart:root:1\n0:0:\n{part:figure:1\n0:0:\n{rotator:hips:2\n0:0:\n1:0:\n{rotator:#arm:2\n0:0:\n1:0:\n}\n}\n"
        "{polygon:body:3\n0:1:1/root/figure/hips/:\n1:0:\n2:0:\n}\n"
        "{polygon:body:3\n0:1:1/root/figure/hips/:\n1:0:\n2:0:\n}\n"
        "{line:belt:1\n0:1:1/root/figure/hips/:\n}\n{sphere:eye:1\n0:1:1/root/figure/hips/:\n}\n}\n<end>\n";
    test::Session session;
    session.load_scene(rig_scene);
    clear_all_skins(session.scene);
    session.scene.active.clear();
    session.services.stop_at_step = 1;
    session.load(text);
    ASSERT_EQ(session.services.progress.size(), 1u);
    EXPECT_EQ(session.services.progress[0].title, "skin importer");
    ASSERT_EQ(session.services.progress[0].steps.size(), 1u);
    int const stopped_at = session.services.progress[0].steps[0];
    EXPECT_EQ(stopped_at, session.shape("root/figure").ordinal);
    for (host::Model_shape* s : session.scene.shapes_in_order())
        if (s->ordinal > stopped_at) {
            EXPECT_TRUE(s->skin.bindings().empty()) << s->name;
            for (auto const& v : s->vertices)
                EXPECT_TRUE(v.skin.bindings().empty()) << s->name;
        }
    session.expect_balanced();
}

TEST(ImporterFailures, TheBinaryLoadSetsProgressPositionsOnly)
{
    test::Session source;
    source.load_scene(rig_scene);
    std::vector<char> const binary = source.save({{11, binary_form}}).binary;
    test::Session session;
    session.load_scene(rig_scene);
    clear_all_skins(session.scene);
    session.scene.active.clear();
    session.services.stop_at_step = 1;
    session.load(binary);
    auto const& record = session.services.progress.at(0);
    EXPECT_EQ(record.min, 0);
    EXPECT_TRUE(record.steps.empty());
    EXPECT_FALSE(record.positions.empty());
    EXPECT_FALSE(session.shape("root/figure/eye").skin.bindings().empty());  // not stoppable
}

TEST(ImporterMends, EveryTopLevelRecordOfATextFileIsRead)
{
    test::Session source;
    source.load_scene(rig_scene);
    source.scene.active = {source.shape("root/figure").children()[1].get(), &source.shape("root/figure/belt"),
                           &source.shape("root/figure/eye")};
    std::string const text = source.save().text;
    test::Session target;
    target.load_scene(rig_scene);
    clear_all_skins(target.scene);
    target.load(text);
    EXPECT_FALSE(target.shape("root/figure/belt").points[0].skin.bindings().empty());
    EXPECT_FALSE(target.shape("root/figure/eye").skin.bindings().empty());
    EXPECT_FALSE(target.shape("root/figure").children()[1]->vertices[0].skin.bindings().empty());
}

TEST(ImporterMends, LongNamesReadBackWhole)
{
    std::string const long_name(300, 'x');
    std::string const other = std::string(255, 'x') + "y";  // the same first 255 bytes
    std::string scene = std::string(R"({"selection": ["@g"], "root": {"kind": "part", "name": "root", "children": [
      {"kind": "part", "name": "g", "id": "g", "children": [
      {"kind": "rotator", "name": ")") + other + R"("}, {"kind": "rotator", "name": ")" + long_name + R"(", "id": "j"},
      {"kind": "polygon", "name": ")" + long_name + R"(", "id": "m", "vertices": [{"position": [0,0,0], "skin": [{"joint": "@j"}]}]}]}]}})";
    for (int form : {text_form, binary_form}) {
        test::Session session;
        session.load_scene(scene);
        host::Saved_file const file = session.save({{11, form}});
        session.shape("@m").vertices[0].skin.clear();
        session.load(form == binary_form ? file.binary : bytes_of(file.text));
        auto const& skin = session.shape("@m").vertices[0].skin;
        ASSERT_EQ(skin.bindings().size(), 1u) << form;
        EXPECT_EQ(skin.bindings()[0].joint, &session.shape("@j")) << form;
    }
}

TEST(ImporterMends, BrokenAndHostileFilesEndCleanly)
{
    std::vector<std::string> const texts = {
        "<skinfile>\npolygon:body:2147483647\n0:1:1/figure/hips/:\n",  // a count far beyond the lines
        "<skinfile>\npolygon:body:3\n0:2000000000:1/figure/hips/:\n",     // a binding count beyond the line
        "<skinfile>\npolygon\n{sphere\n}\n<end>\n",                         // record lines without ":"
        "<skinfile>\npolygon:body:3\n0:1:1/figure/hips\n1:1:0.5\n2:1:\n<end>\n",  // joint names cut short
        "<skinfile>\n{\n}\n}\n}\n",
    };
    for (std::string const& text : texts) {
        test::Session session;
        session.load_scene(rig_scene);
        session.load(text);
        session.expect_balanced();
    }
    // Binary: a huge count and binding count, then the file ends.
    std::vector<char> hostile = {'\x10', '\x00', '\x02', '\x50', 17, 0, 0, 0, 'b', 'o', 'd', 'y', 0,
                                 '\xFF', '\xFF', '\xFF', '\x7F', 0, 0, 0, 0, '\xFF', '\xFF', '\xFF', '\x7F'};
    for (std::size_t cut = 4; cut <= hostile.size(); ++cut) {
        test::Session session;
        session.load_scene(rig_scene);
        session.load(std::vector<char>(hostile.begin(), hostile.begin() + static_cast<long>(cut)));
        session.expect_balanced();
    }
}

TEST(ImporterTrace, VerboseLinesOfABinaryLoad)
{
    test::Session source;
    source.load_scene(rig_scene);
    source.scene.active = {&source.shape("root/figure/eye")};
    std::vector<char> const binary = source.save({{11, binary_form}}).binary;
    test::Session session(host::language_japanese);
    session.load_scene(rig_scene);
    session.load(binary, {{14, 1}});
    std::vector<std::string> const expected = {"***tavrik*** start load binary skin file",
                                               "***tavrik*** set skin to shape[eye]: 1",
                                               "***tavrik*** Finished load binary skin file"};
    EXPECT_EQ(session.services.messages, expected);  // the trailer is not read as a record
    EXPECT_EQ(bindings_of(session.shape("root/figure/eye").skin), (Bindings{{"#arm", 1.0f}}));
}

}  // namespace

namespace {

TEST(ImporterMends, AFileWithoutRecordsFinishesInBothForms)
{
    // "Selected" with nothing selected writes only the header and trailer.
    for (int form : {text_form, binary_form}) {
        test::Session source;
        source.load_scene(rig_scene);
        source.scene.active.clear();
        host::Saved_file const file = source.save({{11, form}});
        std::vector<char> const bytes = form == binary_form ? file.binary : bytes_of(file.text);
        test::Session target;
        target.load_scene(rig_scene);
        target.load(bytes, {{14, 1}});
        std::string const word = form == binary_form ? "binary" : "text";
        EXPECT_EQ(target.services.messages, (std::vector<std::string>{"***tavrik*** start load " + word + " skin file",
                                                                      "***tavrik*** Finished load " + word + " skin file"}))
            << word;
        target.expect_balanced();
    }
}

TEST(ImporterMends, ShapesOfOtherKindsComeBackInBothForms)
{
    // Shape type 8 has no kind word: the text form reads its empty word as 1000.
    constexpr char const other[] = R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "J"},
      {"shape_type": 8, "name": "odd", "skin": [{"joint": "root/J", "weight": 0.5}]}]}})";
    for (int form : {text_form, binary_form}) {
        test::Session source;
        source.load_scene(other);
        source.scene.active.clear();
        host::Saved_file const file = source.save({{10, 0}, {11, form}});
        std::vector<char> const bytes = form == binary_form ? file.binary : bytes_of(file.text);
        test::Session target;
        target.load_scene(other);
        target.shape("root/odd").skin.clear();
        target.scene.active.clear();
        target.load(bytes);
        EXPECT_EQ(bindings_of(target.shape("root/odd").skin), (Bindings{{"J", 0.5f}})) << "form " << form;
    }
    // Another writer's word outside the table still matches nothing.
    test::Session session;
    session.load_scene(other);
    session.shape("root/odd").skin.clear();
    session.scene.active.clear();
    session.load(std::string("<skinfile>\nthing:odd:1\n0:1:0.5/root/J/:\n<end>\n"));
    EXPECT_TRUE(session.shape("root/odd").skin.bindings().empty());
}

TEST(ImporterMends, BinaryProgressPositionsAreOrdinalsBelowADeepStartShape)
{
    // The start shape lies below the root: the range runs from its ordinal to
    // one past the last shape with children on its last-child chain (itself
    // here: its last child has none), and each position is a target's
    // ordinal, not its place counted from the start shape.
    test::Session source;
    source.load_scene(rig_scene);
    source.scene.active = {&source.shape("root/figure")};
    std::vector<char> const binary = source.save({{11, binary_form}}).binary;
    test::Session session;
    session.load_scene(rig_scene);
    clear_all_skins(session.scene);
    session.scene.active = {&session.shape("root/figure")};
    session.load(binary);
    auto const& record = session.services.progress.at(0);
    int const start = session.shape("root/figure").ordinal;
    EXPECT_GT(start, 0);
    EXPECT_EQ(record.min, start);
    EXPECT_EQ(record.max, start + 1);
    ASSERT_FALSE(record.positions.empty());
    EXPECT_EQ(record.positions.front(), session.shape("root/figure/hips").ordinal);
    EXPECT_EQ(record.positions.back(), session.shape("root/figure/eye").ordinal);
    EXPECT_EQ(all_skins(session.scene), all_skins(source.scene));
}

}  // namespace

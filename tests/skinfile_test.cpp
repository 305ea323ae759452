// The skin file format and "Save skin": golden files written by hand from
// the format, and the exporter's rules and failures.
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "format.h"
#include "support.h"

namespace {

std::string data_file(std::string const& name)
{
    std::ifstream in(test::source_dir() + "/tests/data/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A hex dump written by hand: pairs of hex digits, "#" comments.
std::vector<char> hex_file(std::string const& name)
{
    std::vector<char> bytes;
    std::istringstream lines(data_file(name));
    std::string line;
    while (std::getline(lines, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string word;
        while (words >> word)
            bytes.push_back(static_cast<char>(std::stoi(word, nullptr, 16)));
    }
    return bytes;
}

using test::Bytes;

constexpr char const part_tree_scene[] = R"({"selection": ["root/rig"], "root": {"kind": "part", "name": "root", "children": [
  {"kind": "part", "name": "rig", "children": [
    {"kind": "rotator", "name": "hips", "children": [{"kind": "rotator", "name": "arm"}]},
    {"kind": "part", "name": "skin", "children": [
      {"kind": "polygon", "name": "mesh", "vertices": [
        {"position": [0,0,0], "skin": [{"joint": "root/rig/hips", "weight": 1}]},
        {"position": [1,0,0], "skin": [{"joint": "root/rig/hips", "weight": 0.25},
                                       {"joint": "root/rig/hips/arm", "weight": 0.75}]}]}]}]}]}})";

constexpr int text_form = 0, binary_form = 1;

TEST(SkinFileGolden, OneMeshWithoutBindings)
{
    test::Session session;
    session.load_scene(R"({"selection": ["root/body"], "root": {"kind": "part", "name": "root", "children": [
        {"kind": "polygon", "name": "body", "vertices": [[0,0,0],[1,0,0],[2,0,0]]}]}})");
    EXPECT_EQ(session.save({{11, text_form}}).text, data_file("mesh_unbound.vsk"));
    Bytes expected;
    expected.i32(0x50020010).i32(17).text("body").byte(0).i32(3);
    for (int k = 0; k < 3; ++k)
        expected.i32(k).i32(0);
    expected.byte(0xFF).i32(-1);
    EXPECT_EQ(session.save({{11, binary_form}}).binary, expected.data);
}

TEST(SkinFileGolden, PartTreeWithFullPathsInBothForms)
{
    test::Session session;
    session.load_scene(part_tree_scene);
    EXPECT_EQ(session.save({{11, text_form}}).text, data_file("part_tree.vsk"));
    EXPECT_EQ(session.save({{11, binary_form}}).binary, hex_file("part_tree.vsk.hex"));
}

TEST(SkinFileGolden, SeparatorsChosenPerJointName)
{
    test::Session session;
    session.load_scene(R"({"selection": ["root/m"], "root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "plain", "id": "p"}, {"kind": "rotator", "name": "sl/ash", "id": "s"},
        {"kind": "rotator", "name": "sl/co:lon", "id": "c"}, {"kind": "rotator", "name": "sl/co:qu\"ote", "id": "q"},
        {"kind": "polygon", "name": "m", "vertices": [
          {"position": [0,0,0], "skin": [{"joint": "@p"}]}, {"position": [0,0,0], "skin": [{"joint": "@s"}]},
          {"position": [0,0,0], "skin": [{"joint": "@c"}]}, {"position": [0,0,0], "skin": [{"joint": "@q"}]}]}]}})");
    std::string const text = session.save({{11, text_form}, {12, 0}}).text;
    EXPECT_EQ(text, data_file("separators.vsk"));

    // Each reads back to its own joint, the colon-separated one included.
    for (auto& v : session.shape("root/m").vertices)
        v.skin.clear();
    session.load(text);
    auto const& vertices = session.shape("root/m").vertices;
    char const* const expected[] = {"plain", "sl/ash", "sl/co:lon", "sl/co:qu\"ote"};
    for (std::size_t k = 0; k < 4; ++k)
        EXPECT_EQ(test::bindings_of(vertices[k].skin), (test::Bindings{{expected[k], 1.0f}})) << k;
}

TEST(SkinFileGolden, GoldenFilesReadBackIntoAnUnboundScene)
{
    for (bool binary : {false, true}) {
        test::Session session;
        session.load_scene(part_tree_scene);
        for (auto& v : session.shape("root/rig/skin/mesh").vertices)
            v.skin.clear();
        if (binary)
            session.load(hex_file("part_tree.vsk.hex"));
        else
            session.load(data_file("part_tree.vsk"));
        auto const& v = session.shape("root/rig/skin/mesh").vertices;
        EXPECT_EQ(test::bindings_of(v[0].skin), (test::Bindings{{"hips", 1.0f}}));
        EXPECT_EQ(test::bindings_of(v[1].skin), (test::Bindings{{"hips", 0.25f}, {"arm", 0.75f}}));
        session.expect_balanced();
    }
}

TEST(SkinFileFormat, TellsTheFormsApart)
{
    auto form = [](std::string const& text) {
        auto stream = host::Binary_stream::over(std::vector<char>(text.begin(), text.end()));
        auto text_stream = host::Text_stream::over(text);
        return skin_format::detect_form(*stream, text_stream.get());
    };
    EXPECT_EQ(form(std::string("\x10\x00\x02\x50", 4)), skin_format::Form::binary);
    EXPECT_EQ(form("<skinfile>\n<end>\n"), skin_format::Form::text);
    EXPECT_EQ(form("<skinfile> \n"), skin_format::Form::not_skin);
    EXPECT_EQ(form(""), skin_format::Form::not_skin);
}

TEST(SkinFileFormat, RecordLines)
{
    auto record = skin_format::parse_record_line("{part:arm:1");
    EXPECT_EQ(record.code, 0);
    EXPECT_EQ(record.name, "arm");
    EXPECT_EQ(record.count, 1);
    record = skin_format::parse_record_line("polygon:body:12.9");
    EXPECT_EQ(record.code, 17);
    EXPECT_EQ(record.count, 12);
    EXPECT_EQ(skin_format::parse_record_line("polygon:body:x12").count, 0);
    EXPECT_EQ(skin_format::parse_record_line("polygon:body:0x10").count, 0);  // decimal only
    EXPECT_EQ(skin_format::parse_record_line("widget:body:3").code, -1);
    EXPECT_EQ(skin_format::parse_record_line("polygon:a:b:3").name, "a");
    // Fewer than two ":" match nothing, without reading past the line.
    for (char const* broken : {"polygon", "polygon:body", "{", ""}) {
        auto r = skin_format::parse_record_line(broken);
        EXPECT_EQ(r.code, -1) << broken;
        EXPECT_EQ(r.count, 0) << broken;
    }
}

TEST(SkinFileFormat, WeightsAndFields)
{
    float w = -1;
    char const* rest = skin_format::get_float_from_text("0.75/root/", w);
    EXPECT_EQ(w, 0.75f);
    EXPECT_STREQ(rest, "/root/");
    rest = skin_format::get_float_from_text("1e-05:a::", w);
    EXPECT_EQ(w, 1e-05f);
    EXPECT_STREQ(rest, ":a::");  // the separator ":" stays for the joint name
    skin_format::get_float_from_text("/x/:", w);
    EXPECT_EQ(w, 0.0f);
    skin_format::get_float_from_text("1e999/x/:", w);
    EXPECT_TRUE(std::isinf(w));
    skin_format::get_float_from_text(std::string(400, '1').c_str(), w);
    EXPECT_TRUE(std::isinf(w));
    char const* line = "17:3:rest";
    EXPECT_EQ(skin_format::read_int_field(line), 17);
    EXPECT_EQ(skin_format::read_int_field(line), 3);
    EXPECT_STREQ(line, "rest");
    line = "99999999999:";
    EXPECT_EQ(skin_format::read_int_field(line), std::numeric_limits<int>::max());
    EXPECT_EQ(skin_format::text_joint_name(":a/b::x"), ":a/b::");
    EXPECT_EQ(skin_format::text_joint_name("/a/b"), "/a/b");
    EXPECT_EQ(skin_format::text_joint_name(""), "");
}

constexpr char const export_scene[] = R"({"special_characters": "#", "root": {"kind": "part", "name": "root", "children": [
  {"kind": "rotator", "name": "#j", "id": "j"},
  {"kind": "part", "name": "grp", "children": [
    {"kind": "polygon", "name": "#m", "vertices": [{"position": [0,0,0], "skin": [{"joint": "@j", "weight": 0.5}]}]},
    {"kind": "surface", "name": "surf", "children": [
      {"kind": "line", "name": "l1", "points": [{"position": [0,0,0]}, {"position": [1,0,0]}]},
      {"kind": "line", "name": "l2", "points": [{"position": [2,0,0]}]}]},
    {"kind": "line", "name": "secret", "points": [{"position": [0,0,0]}], "attached": {"joint_window": ["@j"]},
     "children": []},
    {"kind": "polygon", "name": "empty"}]},
  {"kind": "part", "name": "hider", "attached": {"skin_window": ["@j"]}, "children": [
    {"kind": "surface", "name": "hidden_surface", "attached": {"joint_window": ["@j"]}, "children": [
      {"kind": "line", "name": "hl", "points": [{"position": [0,0,0]}]}]},
    {"kind": "sphere", "name": "ball"}]}]}})";

std::vector<std::string> lines_of(std::string const& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

TEST(Exporter, RangeAllWritesTheTreeWithItsSkipRules)
{
    test::Session session;
    session.load_scene(export_scene);
    auto const lines = lines_of(session.save({{10, 0}, {12, 1}}).text);
    std::vector<std::string> const expected = {
        "<skinfile>", "part:root:1", "0:0:", "{rotator:#j:2", "0:0:", "1:0:", "}",
        "{part:grp:1", "0:0:", "{polygon:#m:1", "0:1:0.5/root/#j/:", "}",
        "{surface:surf:3", "0:0:", "1:0:", "2:0:", "}",  // the lines of a surface are its points
        "}",                                             // the secret line and the pointless mesh: no records                                             // "empty" has no points, no record
        "{part:hider:1", "0:0:",
        "{sphere:ball:1", "0:0:", "}",                   // the secret surface's record is left out
        "}", "<end>"};
    EXPECT_EQ(lines, expected);
}

TEST(Exporter, RangeAllInBinaryByteForByte)
{
    test::Session session;
    session.load_scene(export_scene);
    EXPECT_EQ(session.save({{10, 0}, {11, binary_form}, {12, 1}}).binary, hex_file("range_all.vsk.hex"));
}

TEST(Exporter, SecretShapesLeaveTheirChildrenInTheParentsRecord)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "j"},
      {"kind": "surface", "name": "s", "attached": {"joint_window": ["root/j"]}, "children": [
        {"kind": "line", "name": "l", "points": [{"position": [0,0,0]}]}]},
      {"kind": "polygon", "name": "p", "attached": {"skin_window": ["root/j"]}, "vertices": [[0,0,0]]}]}})");
    // The secret mesh has no record and no end marker.
    auto const lines = lines_of(session.save({{10, 0}, {12, 0}}).text);
    std::vector<std::string> const expected = {"<skinfile>", "part:root:1", "0:0:", "{rotator:j:2", "0:0:", "1:0:", "}", "<end>"};
    EXPECT_EQ(lines, expected);
}

TEST(Exporter, TrimmedNamesInRecordsAndJoints)
{
    test::Session session;
    session.load_scene(export_scene);
    session.scene.active = {&session.shape("root/grp/#m")};
    auto const lines = lines_of(session.save({{12, 1}, {13, 1}}).text);
    EXPECT_EQ(lines[1], "polygon:m:1");
    EXPECT_EQ(lines[2], "0:1:0.5/root/j/:");
}

TEST(Exporter, SelectedShapesEachGetATopLevelRecord)
{
    test::Session session;
    session.load_scene(export_scene);
    EXPECT_EQ(session.save().text, "<skinfile>\n<end>\n");  // nothing selected
    session.scene.active = {&session.shape("root/grp"), &session.shape("root/grp/#m")};
    auto const lines = lines_of(session.save().text);
    // The mesh is written under grp and once more as a record of its own, with paths from itself.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "{polygon:#m:1"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "polygon:#m:1"), 1);
    EXPECT_EQ(lines[1], "part:grp:1");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "0:1:0.5/root/#j/:"), 2);
}

TEST(Exporter, MessagesAndCancel)
{
    test::Session session;
    session.load_scene(export_scene);
    session.services.dialog_answers.push_back(host::Dialog_answer{false, {}});
    host::Saved_file const cancelled = host::run_save_to_memory(test::plugin(), session.services, session.scene);
    EXPECT_TRUE(cancelled.text.empty());
    EXPECT_TRUE(cancelled.binary.empty());
    EXPECT_TRUE(session.services.messages.empty());
    session.save({{11, binary_form}});
    EXPECT_EQ(session.services.messages,
              (std::vector<std::string>{"start save binary skin file", "finish save skin file"}));
    session.expect_balanced();
}

TEST(Exporter, AFailingWriteStopsWithAMessageAndNoTrailer)
{
    test::Session session;
    session.load_scene(part_tree_scene);
    host::faults().arm("text_stream.end_line", 2);
    std::string const text = session.save().text;
    EXPECT_EQ(text, "<skinfile>\npart:rig:1\n0:0:\n");
    ASSERT_EQ(session.services.message_boxes.size(), 1u);
    EXPECT_EQ(session.services.message_boxes[0].text, "Can't file write.");
    EXPECT_FALSE(session.services.message_boxes[0].with_cancel);
    host::faults().arm("stream.write_float");
    std::vector<char> const binary = session.save({{11, binary_form}}).binary;
    EXPECT_EQ(session.services.message_boxes.size(), 2u);
    EXPECT_NE(binary.back(), '\xFF');
    session.expect_balanced();
}

TEST(Exporter, NamesWithoutATextFormStopWithTheInvalidNameMessage)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "a/b:c\"d\\e", "id": "bad"},
      {"kind": "polygon", "name": "first", "vertices": [{"position": [0,0,0], "skin": [{"joint": "@bad"}]}, [1,1,1]]},
      {"kind": "polygon", "name": "second", "vertices": [[0,0,0]]},
      {"kind": "polygon", "name": "col:on", "vertices": [[0,0,0]]}]}})");
    session.scene.active = {&session.shape("root/first"), &session.shape("root/second")};
    std::string const text = session.save({{12, 0}}).text;
    // The partial line stands; no further point or shape; the trailer still follows.
    EXPECT_EQ(text, "<skinfile>\npolygon:first:2\n0:1:<end>\n");
    ASSERT_EQ(session.services.message_boxes.size(), 1u);
    EXPECT_EQ(session.services.message_boxes[0].text, "Can't save this shape name:first. Use binary mode.");
    EXPECT_EQ(session.services.messages.back(), "finish save skin file");

    // A shape name with ":" could not be read back from a record line.
    session.scene.active = {&session.shape("root/col:on")};
    EXPECT_EQ(session.save().text, "<skinfile>\n<end>\n");
    EXPECT_EQ(session.services.message_boxes.back().text, "Can't save this shape name:col:on. Use binary mode.");

    // The binary form has no such limit.
    session.scene.active = {&session.shape("root/first"), &session.shape("root/col:on")};
    std::vector<char> const binary = session.save({{11, binary_form}}).binary;
    EXPECT_EQ(session.services.message_boxes.size(), 2u);
    EXPECT_EQ(std::string(binary.end() - 4, binary.end()), std::string(4, '\xFF'));

    test::Session japanese(host::language_japanese);
    japanese.load_scene(R"({"selection": ["root/col:on"], "root": {"kind": "part", "name": "root", "children": [
      {"kind": "polygon", "name": "col:on", "vertices": [[0,0,0]]}]}})");
    japanese.save();
    EXPECT_EQ(japanese.services.message_boxes.back().text,
              "この形状名:col:on はテキストモードでは保存できません。バイナリモードで保存してください。");
}

TEST(Exporter, WeightsThatAreNotNumbersStayInTheBinaryFormOnly)
{
    test::Session session;
    session.load_scene(R"({"selection": ["root/g"], "root": {"kind": "part", "name": "root", "children": [
      {"kind": "part", "name": "g", "children": [{"kind": "rotator", "name": "j"},
      {"kind": "polygon", "name": "m", "vertices": [{"position": [0,0,0], "skin": [
        {"joint": "root/g/j", "weight": "nan"}]}, {"position": [0,0,0], "skin": [{"joint": "root/g/j", "weight": "-inf"}]}]}]}]}})");
    std::string const text = session.save().text;
    EXPECT_EQ(text, "<skinfile>\npart:g:1\n0:0:\n{rotator:j:2\n0:0:\n1:0:\n}\n{polygon:m:2\n0:1:<end>\n");
    EXPECT_EQ(session.services.message_boxes.back().text,
              "Can't save a weight that is not a number:m. Use binary mode.");

    float const nan_weight = session.shape("root/g/m").vertices[0].skin.bindings()[0].weight;
    std::vector<char> const binary = session.save({{11, binary_form}}).binary;
    for (auto& v : session.shape("root/g/m").vertices)
        v.skin.clear();
    session.load(binary);
    auto const& v = session.shape("root/g/m").vertices;
    ASSERT_EQ(v[0].skin.bindings().size(), 1u);
    float const read = v[0].skin.bindings()[0].weight;
    EXPECT_EQ(std::memcmp(&read, &nan_weight, 4), 0);  // bit for bit
    EXPECT_EQ(v[1].skin.bindings()[0].weight, -std::numeric_limits<float>::infinity());
}

TEST(Exporter, ShapesOfOtherKindsAreWrittenWithCode1000)
{
    test::Session session;
    session.load_scene(R"({"selection": ["root/odd"], "root": {"kind": "part", "name": "root", "children": [
      {"part_type": 12, "name": "odd"}]}})");
    Bytes expected;
    expected.i32(0x50020010).i32(1000).text("odd").byte(0).i32(1).i32(0).i32(0).byte(0xFF).i32(-1);
    EXPECT_EQ(session.save({{11, binary_form}}).binary, expected.data);
    EXPECT_EQ(session.save().text, "<skinfile>\n:odd:1\n0:0:\n<end>\n");
}

}  // namespace

// Name maps and the remapped skin files tavrik-host writes with them.
#include <fstream>
#include <iterator>
#include <tuple>

#include "name_map.h"
#include "skin_file_reader.h"
#include "skin_file_remap.h"
#include "support.h"

namespace {

using Scope = tools::Name_map::Scope;

TEST(NameMaps, RulesApplyInOrderToWholeNamesOfTheirScope)
{
    struct Case {
        char const* map;
        Scope scope;
        char const* name;
        char const* expected;
    } const cases[] = {
        {"hip = pelvis", Scope::joints, "hip", "pelvis"},
        {"hip = pelvis", Scope::joints, "hips", "hips"},                 // exact, not a part
        {"s/b_(.*)/$1/", Scope::joints, "b_hip", "hip"},
        {"s/b_(.*)/$1/", Scope::joints, "xb_hip", "xb_hip"},             // anchored at both ends
        {"s/(.*)_L/left_$1/", Scope::shapes, "arm_L", "left_arm"},
        {"s/a\\/b/c/", Scope::joints, "a/b", "c"},                       // "\/" is a slash
        {"s/[A-Z]+/x/", Scope::joints, "Hip", "Hip"},                    // the whole name, not a prefix
        {"strip-prefix b_", Scope::joints, "b_hip", "hip"},
        {"strip-prefix b_", Scope::joints, "hip_b_", "hip_b_"},
        {"strip-suffix _jnt", Scope::joints, "arm_jnt", "arm"},
        {"strip-suffix _jnt", Scope::joints, "_jnt", ""},                // the whole name: emptied (and refused later)
        {"strip-prefix b_", Scope::joints, "b_", ""},
        {"add-prefix mixamorig:", Scope::joints, "Hips", "mixamorig:Hips"},
        {"add-suffix _jnt", Scope::joints, "arm", "arm_jnt"},
        {"strip-prefix b_\nadd-suffix _x", Scope::joints, "b_a", "a_x"},  // in order, each on the last one's result
        {"a = b\nb = c", Scope::joints, "a", "c"},
        {"# a comment\n\n  strip-prefix b_  \r", Scope::joints, "b_a", "a"},
        {"shapes:\nstrip-prefix b_", Scope::joints, "b_a", "b_a"},
        {"shapes:\nstrip-prefix b_", Scope::shapes, "b_a", "a"},
        {"joints:\na = b\nall:\nc = d", Scope::shapes, "a", "a"},
        {"joints:\na = b\nall:\nc = d", Scope::shapes, "c", "d"},
    };
    for (Case const& c : cases) {
        tools::Name_map map = tools::Name_map::parse(c.map, "m.map");
        EXPECT_EQ(map.apply(c.name, c.scope), c.expected) << c.map << " on " << c.name;
    }
    tools::Name_map counted = tools::Name_map::parse("strip-prefix b_\nhip = pelvis\ntypo = x", "m.map");
    for (char const* name : {"b_hip", "b_arm", "leg"})
        counted.apply(name, Scope::joints);
    EXPECT_EQ(counted.rules()[0].changed, 2u);
    EXPECT_EQ(counted.rules()[1].changed, 1u);
    EXPECT_EQ(counted.rules()[2].changed, 0u);
    EXPECT_EQ(counted.rules()[2].line, 3);
}

TEST(NameMaps, BadRulesAreRefusedWithTheirLine)
{
    for (auto const& [text, line] : std::vector<std::pair<char const*, int>>{
             {"s/(/x/", 1}, {"# ok\nfrobnicate x", 2}, {"a = b\n= b", 2}, {"a =", 1}, {"s/a/b", 1},
             {"s/a/b/g", 1}, {"strip-prefix", 1}, {"\n\nadd-prefix   ", 3}, {"joints", 1}}) {
        try {
            tools::Name_map::parse(text, "m.map");
            ADD_FAILURE() << "accepted: " << text;
        } catch (tools::Map_error const& e) {
            EXPECT_NE(std::string(e.what()).find("m.map, line " + std::to_string(line) + ":"), std::string::npos)
                << e.what();
        }
    }
}

std::string read_all(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_all(std::string const& path, std::string const& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Remaps bytes; gives the new file's bytes, or the refusal's text.
std::string remapped(std::string const& bytes, std::string const& map_text)
{
    std::string const in = ::testing::TempDir() + "tavrik_remap_in.vsk", out = ::testing::TempDir() + "tavrik_remap_out.vsk";
    write_all(in, bytes);
    tools::Name_map map = tools::Name_map::parse(map_text, "m.map");
    try {
        tools::remap_skin_file(in, out, map);
    } catch (tools::Remap_refused const& e) {
        return std::string("refused: ") + e.what();
    }
    return read_all(out);
}

TEST(RemappedFiles, KeepEveryByteButTheNamesTheMapChanges)
{
    std::string const separators = read_all(test::source_dir() + "/tests/data/separators.vsk");
    std::string const binary = test::Bytes()
                                   .i32(0x50020010).i32(17).text("body").byte(0).i32(2)
                                   .i32(0).i32(2).f32(0.25f).text("root").byte(0xFF).text("b_hip").byte(0)
                                   .f32(0.75f).text("b_hip").byte(0)
                                   .i32(1).i32(0).byte(0xFF).i32(-1).text("tail")
                                   .str();
    // Nothing matched: the same bytes, whatever the separators.
    EXPECT_EQ(remapped(separators, "nothing = here"), separators);
    EXPECT_EQ(remapped(binary, "strip-prefix c_"), binary);

    EXPECT_EQ(remapped(binary, "strip-prefix b_\nshapes:\nbody = mesh"),
              test::Bytes()
                  .i32(0x50020010).i32(17).text("mesh").byte(0).i32(2)
                  .i32(0).i32(2).f32(0.25f).text("root").byte(0xFF).text("hip").byte(0)
                  .f32(0.75f).text("hip").byte(0)
                  .i32(1).i32(0).byte(0xFF).i32(-1).text("tail")
                  .str());
    // Text: the separator is chosen anew for the new name, as the exporter chooses it.
    std::string const text = "<skinfile>\npolygon:m:2\n0:1:0.5/root/b_hip/:\n1:2:0.5/b_hip/:0.5/b_hip/:\n<end>\n";
    EXPECT_EQ(remapped(text, "b_hip = hip"), "<skinfile>\npolygon:m:2\n0:1:0.5/root/hip/:\n1:2:0.5/hip/:0.5/hip/:\n<end>\n");
    EXPECT_EQ(remapped(text, "b_hip = l/hip"),
              "<skinfile>\npolygon:m:2\n0:1:0.5:root:l/hip::\n1:2:0.5:l/hip::0.5:l/hip::\n<end>\n");
    // Names the form cannot hold are refused, never written.
    for (auto const& [bytes, map, why] : std::vector<std::tuple<std::string, std::string, char const*>>{
             {text, "b_hip = a/b:c\"d\\e", "text form cannot hold"},
             {text, "shapes:\nm = a:b", "text form cannot hold"},
             {text, "strip-prefix b_hip", "an empty name"},
             {binary, "b_hip = a\xFF" "b", "0xFF"},
             {binary, "b_hip = " + std::string(256, 'x'), "longer than 255 bytes"}}) {
        std::string const result = remapped(bytes, map);
        EXPECT_EQ(result.rfind("refused: ", 0), 0u) << map;
        EXPECT_NE(result.find(why), std::string::npos) << result;
    }
}

}  // namespace

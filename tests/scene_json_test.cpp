// Scene files of the reference host.
#include <fstream>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support.h"

namespace {

constexpr char const full_scene[] = R"({"special_characters": "#*", "edit_mode": true, "current_camera": 0,
  "selection": ["@m"], "memory": ["root/j"], "current": "@m", "root": {"kind": "part", "name": "root", "children": [
  {"kind": "rotator", "name": "j", "center": [1,2,3], "axis": [0,1,0], "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0.1,0,0,1]},
  {"kind": "polygon", "name": "ボディ", "id": "m", "active_points": [0],
   "vertices": [{"position": [0.1, 0.2, 0.3], "skin": [{"joint": "root/j", "weight": 0.7}]}, [1,0,0], [0,1,0]],
   "triangles": [0, 1, 2, 2, 1, 0]},
  {"kind": "line", "name": "l", "points": [{"position": [1,1,1], "in_handle": [0,1,1], "first_flag": true}]},
  {"kind": "camera", "name": "cam", "eye": [0,0,9], "target": [0,0,0]},
  {"kind": "surface", "name": "s", "switched": true, "attached": {"joint_window": ["root/j"]}},
  {"part_type": 13, "name_hex": "61ff62", "skin": [{"joint": "root/j", "weight": "nan"}]},
  {"shape_type": 8, "name": "eight"}]}})";

TEST(SceneFiles, WriteThenReadKeepsEverything)
{
    test::Session first;
    first.load_scene(full_scene);
    std::string const written = host::write_scene(first.scene);
    test::Session second;
    second.load_scene(written);
    EXPECT_EQ(host::write_scene(second.scene), written);
    EXPECT_EQ(second.scene.special_characters, "#*");
    EXPECT_TRUE(second.scene.edit_mode);
    EXPECT_EQ(second.scene.active.at(0)->name, "ボディ");
    EXPECT_EQ(second.scene.memorised.at(0)->name, "j");
    EXPECT_EQ(second.shape("root/j").local().m[3][0], 0.1f);
    EXPECT_EQ(second.shape("@m").vertices[0].position.z, 0.3f);
    EXPECT_EQ(second.shape("@m").vertices[0].skin.bindings()[0].weight, 0.7f);
    EXPECT_EQ(second.shape("@m").triangles, (std::vector<std::uint32_t>{0, 1, 2, 2, 1, 0}));
    EXPECT_TRUE(second.shape("root/l").points[0].first_flag);
    EXPECT_TRUE(second.shape("root/s").switched);
    EXPECT_EQ(second.shape("root/s").attached.size(), 1u);
    auto const& odd = *second.scene.root().children()[5];
    EXPECT_EQ(odd.name, "a\xFF" "b");
    EXPECT_EQ(odd.part_type, 13);
    EXPECT_TRUE(std::isnan(odd.skin.bindings()[0].weight));
    EXPECT_EQ(second.scene.root().children()[6]->type, 8);
}

TEST(SceneFiles, JointsWithDuplicateNamesAreWrittenById)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "j"}, {"kind": "rotator", "name": "j", "id": "second"},
      {"kind": "rotator", "name": "j"},
      {"kind": "polygon", "name": "m", "vertices": [{"position": [0,0,0], "skin": [{"joint": "@second"}]}]}]}})");
    auto& m = session.shape("root/m");
    m.vertices[0].skin.add(session.scene.root().children()[2].get(), 0.5f);
    test::Session again;
    again.load_scene(host::write_scene(session.scene));
    auto const& skin = again.shape("root/m").vertices[0].skin.bindings();
    ASSERT_EQ(skin.size(), 2u);
    EXPECT_EQ(skin[0].joint, again.scene.root().children()[1].get());
    EXPECT_EQ(skin[1].joint, again.scene.root().children()[2].get());
}

TEST(SceneFiles, MalformedFilesSayWhere)
{
    struct Case {
        char const* json;
        char const* where;
    } const cases[] = {
        {"{\n  \"root\": {\"kind\": \"part\",,}\n}", "line 2, column"},
        {R"({"root": {"kind": "gizmo"}})", "/root/kind"},
        {R"({"root": {"kind": "part", "children": [{"name": "x"}]}})", "/root/children/0"},
        {R"({"root": {"kind": "part", "skin": [{"joint": "root/missing"}]}})", "/root/skin/0/joint"},
        {R"({"root": {"kind": "polygon", "vertices": [[1,2]]}})", "/root/vertices/0"},
        {R"({"selection": ["nowhere"], "root": {"kind": "part"}})", "/selection/0"},
        {R"([1, 2])", "/"},
        {R"({"root": {"kind": "sphere", "center": [1e400, 0, 0]}})", "number overflow"},  // found by fuzzing
        // Vertices of the common form are read apart from the document, and still say where.
        {R"({"root": {"kind": "polygon", "vertices": [[0,0,0], {"position": [0,0,0], "skin": [{"joint": "root/no", "weight": 1}]}]}})",
         "/root/vertices/1/skin/0/joint: no shape \"root/no\""},
        {R"({"root": {"kind": "polygon", "vertices": [[0,0,0], {"position": [0,"x",0]}]}})", "/root/vertices/1"},
        {R"({"root": {"kind": "polygon", "vertices": [{"position": [0,0,0], "vertices": [[0,0,0]]}]}})", "vertex list"},
        {R"({"root": {"kind": "polygon", "vertices": {"\u0001vertices": 0, "\u0001nonce": 1}}})", "scene file"},
        {R"({"root": {"kind": "polygon", "vertices": [[0,0,0]], "triangles": [0, 0, 1]}})", "/root/triangles/2: a vertex index"},
        {R"({"root": {"kind": "polygon", "vertices": [[0,0,0]], "triangles": [0, 0, -1]}})", "/root/triangles/2"},
        {R"({"root": {"kind": "polygon", "vertices": [[0,0,0]], "triangles": [0, 0]}})", "three a triangle"},
        {R"({"root": {"kind": "line", "triangles": []}})", "only a polygon mesh"},
    };
    for (Case const& c : cases) {
        test::Session session;
        try {
            session.load_scene(c.json);
            ADD_FAILURE() << "accepted " << c.json;
        } catch (host::host_error const& e) {
            EXPECT_NE(std::string(e.what()).find(c.where), std::string::npos) << e.what();
        }
    }
}

TEST(SceneFiles, TheFastParserReadsAsTheReferenceDoes)
{
    // Every document read by RapidJSON's parser gives the scene, or the
    // message, that nlohmann's alone gives: numbers at the edges of their
    // types, escapes, duplicate keys, vertices of every form, broken text.
    std::string deep = R"({"root": {"kind": "part", "name": "root", "deep": )";
    for (int i = 0; i < 20000; ++i)
        deep += "[";
    deep += std::string(20000, ']') + "}}";
    std::string const mesh = R"({"root": {"kind": "part", "name": "root", "children": [{"kind": "rotator", "name": "j"},
      {"kind": "polygon", "name": "m", "vertices": VERTICES}]}})";
    auto with = [&](std::string const& vertices) {
        std::string out = mesh;
        return out.replace(out.find("VERTICES"), 8, vertices);
    };
    std::string large = "[";  // larger than a piece of the file read
    for (int i = 0; i < 6000; ++i)
        large += std::string(i ? "," : "") + R"({"position": [)" + std::to_string(i) + R"(.125, 1e-3, -2], "skin": [{"joint": "root/j", "weight": 0.)" +
                 std::to_string(i) + "}]}";
    large += "]";
    std::vector<std::string> const documents = {
        full_scene,
        deep,
        with(large),
        with("[[1, -2, 3e-2], [18446744073709551615, -9223372036854775808, 1e-50], [18446744073709551616, -9223372036854775809, -0]]"),
        with("[[0.1, 1.0000001, 3.4028235e38], [1.17549435e-38, 1.4e-45, 123456789012]]"),
        with(R"([{"skin": [{"weight": 0.5, "joint": "root/j"}], "position": [1, 2, 3]}, {"position": [1, 2, 3], "position": [4, 5, 6]}])"),
        with(R"([{"position": [0, 0, 0], "skin": [{"joint": "root/\u006a", "weight": 1, "weight": 0.5}]}, 7, "x", null, true, []])"),
        with(R"([{"position": [0, 0, 0], "vertices": []}])"),
        with(R"([{"position": [0, 0, 0], "vertices": [[0, 0, 0]]}])"),
        // Vertices read without document values until they turn out unusual,
        // at each place in one where that can happen: those read...
        with(R"([{"position": [1, 2, 3], "skin": [{"joint": "root/j", "weight": 0.5}, {"joint": "root/j"}]},
                 {"position": [1, 2, 3], "skin": [{"joint": "root/j", "weight": 0.5}, {"joint": "root/j", "weight": 0.25, "joint": "root/j"}]},
                 {"skin": [{"joint": "root/j", "weight": 1}], "skin": [{"joint": "root/j", "weight": 0.5}], "position": [1, 2, 3]},
                 {"position": [9, 9, 9], "skin": [{"joint": "root/j", "weight": 1}], "position": [1, 2, 3]},
                 {"position": [1, 2, 3], "skin": [{"weight": 0.5, "joint": "root/j", "weight": 0.25}]},
                 {"position": [1, 2, 3], "skin": [{"joint": "root", "joint": "root/j", "weight": 0.5}]},
                 {"position": [1, 2, 3], "skin": [{"joint": "root/j", "weight": 0.5}], "x": null}, {"x": [], "position": [1, 2, 3]}])"),
        // ... and those refused, each with its message.
        with("[[1, 2]]"), with("[[1, 2, 3, 4]]"), with("[[1, [2], 3]]"), with("[[1, 2, null]]"), with(R"([{"position": {"x": 1}}])"),
        with(R"([{"position": [1, 2]}])"), with(R"([{"position": [1, 2, 3, true]}])"), with(R"([{"position": [1, 2, 3], "skin": 5}])"),
        with(R"([{"position": [1, 2, 3], "skin": [{"joint": "root/j", "weight": 0.5}, 5]}])"),
        with(R"([{"position": [1, 2, 3], "skin": [{"joint": "root/j", "weight": 0.5}, {"joint": 1, "weight": 0.25}]}])"),
        with(R"([{"position": [1, 2, 3], "skin": [{"joint": "root/j", "weight": 0.5}, {"weight": "x", "joint": "root/j"}]}])"),
        with(R"([{"skin": [{"joint": "root/j", "weight": 1}]}])"),
        with(R"([{"position": [1, 2, 3], "skin": [{"joint": "root/nothing", "weight": 1}]}])"),
        with("[[1, 2, 3e39]]"),
        with("[[1, 2, 01]]"),
        with("[[1, 2, 3],]"),
        // Triangle lists, taken out of the document as they are read.
        with(R"([[0,0,0], [1,0,0], [0,1,0]], "triangles": [0, 1, 2, 2, 1, 0])"),
        with(R"([[0,0,0], [1,0,0], [0,1,0]], "triangles": [0, 1, -0])"),
        with(R"([[0,0,0], [1,0,0], [0,1,0]], "triangles": [0, 1, 2.0])"),
        with(R"([[0,0,0], [1,0,0], [0,1,0]], "triangles": [0, 1, 18446744073709551616])"),
        with(R"([[0,0,0], [1,0,0], [0,1,0]], "triangles": [0, 1, 4294967295])"),
        with(R"([[0,0,0], [1,0,0], [0,1,0]], "triangles": [0, 1, [2]])"),
        with(R"([[0,0,0], [1,0,0], [0,1,0]], "triangles": [0, {"triangles": [1, 2]}, 2])"),
        with(R"([[0,0,0], [1,0,0], [0,1,0]], "triangles": [0, 1, 2], "triangles": [2, 1, 0])"),
        with(R"([[0,0,0], [1,0,0], [0,1,0]], "triangles": [0, 1, 1e400])"),
        R"({"special_characters": "\ud83d\ude00\u00e9\n", "root": {"kind": "part", "name": "r\"\\/"}})",
        "\xef\xbb\xbf{\"root\": {\"kind\": \"part\", \"name\": \"root\"}}",
        "{\"root\": {\"kind\": \"part\", \"name\": \"\xff\"}}",
        R"({"root": {"kind": "part", "name": "\ud800"}})",
        R"({"root": {"kind": "part", "name": "root"}} x)",
        "",
        "[1, 2]",
    };
    // A scene file is parsed as it is read, a piece at a time (the deep
    // document spans pieces), and read again whole where that fails.
    std::string const file = ::testing::TempDir() + "tavrik_scene_parsers.json";
    for (std::string const& document : documents) {
        std::string results[3];
        for (int way = 0; way < 3; ++way) {
            test::Session session;
            try {
                if (way < 2) {
                    host::read_scene(session.scene, document, way == 0 ? host::Scene_parser::fast : host::Scene_parser::reference);
                } else {
                    std::ofstream(file, std::ios::binary) << document;
                    host::read_scene_file(session.scene, file);
                }
                results[way] = host::write_scene(session.scene);
            } catch (host::host_error const& e) {
                std::string const what = e.what();
                results[way] = "error: " + (way == 2 && what.rfind(file + ": ", 0) == 0 ? what.substr(file.size() + 2) : what);
            }
        }
        EXPECT_EQ(results[0], results[1]) << document.substr(0, 200);
        EXPECT_EQ(results[2], results[1]) << "from a file: " << document.substr(0, 200);
    }
    std::remove(file.c_str());
}

TEST(SceneFiles, VerticesOfEveryFormReadAlike)
{
    // Common and unusual forms side by side, in order, skins and all.
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [{"kind": "rotator", "name": "j"},
      {"kind": "polygon", "name": "m", "vertices": [[1,2,3], {"position": ["nan",0,0]},
        {"position": [4,5,6], "skin": [{"joint": "root/j", "weight": 0.5}, {"joint": "root/j", "weight": "inf"}]},
        {"position": [7,8,9], "skin": [{"joint": "root/j", "weight": 0.25}]}]}]}})");
    auto const& vertices = session.shape("root/m").vertices;
    ASSERT_EQ(vertices.size(), 4u);
    EXPECT_EQ(vertices[0].position.z, 3.0f);
    EXPECT_TRUE(std::isnan(vertices[1].position.x));
    EXPECT_EQ(vertices[2].position.y, 5.0f);
    ASSERT_EQ(vertices[2].skin.bindings().size(), 2u);
    EXPECT_TRUE(std::isinf(vertices[2].skin.bindings()[1].weight));
    EXPECT_EQ(test::bindings_of(vertices[3].skin), (test::Bindings{{"j", 0.25f}}));
    EXPECT_TRUE(vertices[0].skin.bindings().empty());
}

TEST(SceneFiles, VertexListsWrittenAsTextReadBackAlike)
{
    // Vertex lists are written straight to text and put in place of a marker
    // string; a name that looks like such a marker stays a name.
    test::Session first;
    first.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "\u0001splice 0"},
      {"kind": "polygon", "name": "m", "vertices": [[1,2,3], {"position": ["nan","-inf",-0.0],
        "skin": [{"joint": "root/\u0001splice 0", "weight": 0.1}, {"joint": "root/\u0001splice 0", "weight": "inf"}]}]},
      {"kind": "polygon", "name": "\u0001splice 1", "vertices": [[4,5,6]]}]}})");
    for (bool pretty : {false, true}) {
        std::string const written = host::write_scene(first.scene, pretty);
        test::Session second;
        second.load_scene(written);
        EXPECT_EQ(host::write_scene(second.scene, pretty), written);
        EXPECT_EQ(second.scene.root().children()[0]->name, "\x01splice 0");
        auto const& v = second.shape("root/m").vertices;
        ASSERT_EQ(v.size(), 2u);
        EXPECT_TRUE(std::isnan(v[1].position.x));
        EXPECT_TRUE(std::isinf(v[1].position.y) && v[1].position.y < 0);
        EXPECT_TRUE(std::signbit(v[1].position.z));
        EXPECT_EQ(v[1].skin.bindings()[0].weight, 0.1f);
        EXPECT_TRUE(std::isinf(v[1].skin.bindings()[1].weight));
        EXPECT_EQ(second.scene.root().children()[2]->vertices.at(0).position.z, 6.0f);
    }
}

TEST(SceneFiles, MinusZeroKeepsItsSignAndCyclicSkinsAreRefused)
{
    test::Session first;
    first.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [{"kind": "rotator", "name": "j"},
      {"kind": "polygon", "name": "m", "vertices": [{"position": [-0.0, 0, 0], "skin": [{"joint": "root/j", "weight": -0.0}]}]}]}})");
    test::Session second;
    second.load_scene(host::write_scene(first.scene));
    EXPECT_TRUE(std::signbit(second.shape("root/m").vertices[0].skin.bindings()[0].weight));
    EXPECT_TRUE(std::signbit(second.shape("root/m").vertices[0].position.x));
    // A joint bound to its own descendant, directly or through another joint.
    for (char const* skins : {R"("skin": [{"joint": "root/a/b"}])", R"("skin": [{"joint": "root/c"}])"}) {
        test::Session cyclic;
        std::string const scene = std::string(R"({"root": {"kind": "part", "name": "root", "children": [
          {"kind": "rotator", "name": "a", )") + skins + R"(, "children": [{"kind": "rotator", "name": "b"}]},
          {"kind": "rotator", "name": "c", "skin": [{"joint": "root/a/b"}]}]}})";
        try {
            cyclic.load_scene(scene);
            ADD_FAILURE() << "a cyclic scene was read: " << skins;
        } catch (host::host_error const& e) {
            EXPECT_NE(std::string(e.what()).find("cyclic skins: the world matrices of root/a -> "), std::string::npos)
                << e.what();
        }
    }
}

}  // namespace

TEST(SceneFiles, LongVertexListsAreWrittenWholeAcrossPieces)
{
    // A list of some megabytes is written in pieces; every vertex must come
    // out in order, with its joint's reference (here one that needs escaping).
    int const count = 40000;
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "a\"b"}, {"kind": "rotator", "name": "c"}, {"kind": "polygon", "name": "m"}]}})");
    auto& mesh = session.shape("root/m");
    for (int i = 0; i < count; ++i) {
        host::Model_vertex v(&session.scene);
        v.position = {static_cast<float>(i), 0.5f, -0.0f};
        v.skin.add(session.scene.root().children()[i % 2].get(), static_cast<float>(i % 8) / 8);
        mesh.vertices.push_back(std::move(v));
    }
    for (bool pretty : {false, true}) {
        std::string const written = host::write_scene(session.scene, pretty);
        ASSERT_GT(written.size(), 2u << 20);
        auto const vertices = nlohmann::json::parse(written)["root"]["children"][2]["vertices"];
        ASSERT_EQ(vertices.size(), static_cast<std::size_t>(count));
        for (int i = 0; i < count; i += 997) {
            auto const& v = vertices[static_cast<std::size_t>(i)];
            EXPECT_EQ(v["position"], nlohmann::json({i, 0.5, -0.0})) << i;
            nlohmann::json const binding = {{"joint", i % 2 ? "root/c" : "root/a\"b"}, {"weight", (i % 8) / 8.0}};
            EXPECT_EQ(v["skin"], nlohmann::json::array({binding}))
                << i;
        }
        EXPECT_TRUE(std::signbit(vertices.back()["position"][2].get<double>()));
    }
}

TEST(SceneFiles, EveryFloatWrittenReadsBackToTheSameBits)
{
    // Positions, a weight and a matrix entry from a dense sample of floats:
    // every exponent with many mantissas, the neighbours of 0x15ae43fd
    // (whose shortest text, read through a double, rounds to 0x15ae43fe),
    // denormals and the largest floats.
    std::vector<std::uint32_t> bits;
    for (std::uint32_t b = 0x15ae4300; b < 0x15ae4500; ++b)
        bits.push_back(b);
    std::uint32_t state = 12345;
    for (int i = 0; i < 90000; ++i) {
        state = state * 1664525u + 1013904223u;
        if ((state & 0x7f800000u) != 0x7f800000u)  // finite
            bits.push_back(state);
    }
    for (std::uint32_t b : {0x00000001u, 0x007fffffu, 0x00800000u, 0x7f7fffffu, 0x80000001u, 0xff7fffffu})
        bits.push_back(b);
    auto as_float = [](std::uint32_t b) {
        float f;
        std::memcpy(&f, &b, sizeof f);
        return f;
    };
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "j"}, {"kind": "polygon", "name": "m"}]}})");
    auto& mesh = session.shape("root/m");
    for (std::size_t i = 0; i + 2 < bits.size(); i += 3) {
        host::Model_vertex v(&session.scene);
        v.position = {as_float(bits[i]), as_float(bits[i + 1]), as_float(bits[i + 2])};
        v.skin.add(&session.shape("root/j"), as_float(bits[i]));
        mesh.vertices.push_back(std::move(v));
    }
    mat4 local = mat4::identity;
    local.m[3][0] = as_float(0x15ae43fd);
    session.shape("root/j").set_local(local);
    test::Session again;
    again.load_scene(host::write_scene(session.scene));
    auto const& read = again.shape("root/m").vertices;
    ASSERT_EQ(read.size(), mesh.vertices.size());
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    std::size_t differing = 0;
    for (std::size_t i = 0; i < read.size(); ++i)
        differing += !same(read[i].position.x, mesh.vertices[i].position.x) ||
                     !same(read[i].position.y, mesh.vertices[i].position.y) ||
                     !same(read[i].position.z, mesh.vertices[i].position.z) ||
                     !same(read[i].skin.bindings().at(0).weight, mesh.vertices[i].skin.bindings().at(0).weight);
    EXPECT_EQ(differing, 0u);
    EXPECT_TRUE(same(again.shape("root/j").local().m[3][0], as_float(0x15ae43fd)));
}

TEST(SceneFiles, ALoadNeverMakesASceneThatCannotBeRead)
{
    // A part bound as a whole to its own child: no order of working out the
    // world matrices gives it one, and no scene file holds it. The host
    // refuses that binding, the load loses it, and the scene writes and reads.
    for (char const* file : {"<skinfile>\npart:a:1\n0:1:1/root/a/b/:\n<end>\n",
                             "<skinfile>\npart:a:1\n0:2:0.5/root/c/:0.5/root/c/d/:\n<end>\n"}) {
        test::Session session;
        session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
          {"kind": "part", "name": "a", "children": [{"kind": "rotator", "name": "b"}]},
          {"kind": "part", "name": "c", "skin": [{"joint": "root/a/b"}], "children": [{"kind": "rotator", "name": "d"}]}]}})");
        session.scene.active.clear();
        session.load(std::string(file), {{11, 0}});
        test::Session again;
        EXPECT_NO_THROW(again.load_scene(host::write_scene(session.scene))) << file;
        session.expect_balanced();
    }
    // A binding that closes no loop is taken.
    test::Session fine;
    fine.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "part", "name": "a"}, {"kind": "rotator", "name": "b"}]}})");
    fine.scene.active.clear();
    fine.load(std::string("<skinfile>\npart:a:1\n0:1:1/root/b/:\n<end>\n"), {{11, 0}});
    EXPECT_EQ(fine.shape("root/a").skin.bindings().size(), 1u);
}

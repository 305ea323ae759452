// Real rigged models: every skin of each model survives "Save skin" and
// "Load skin" in both forms, weights bit for bit.
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <filesystem>
#include <cmath>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <fstream>
#include <sstream>

#include "gltf_export.h"
#include "gltf_scene.h"
#include "math.h"

#include <tiny_gltf.h>
#include "support.h"

namespace {

std::string models_folder() { return test::source_dir() + "/../shared/data/models"; }

struct Model_case {
    char const* file;
    bool text_refused;  // a shape name holds ":", which a text record line cannot
};

Model_case const models[] = {
    {"quad_skin/quad_skin.glb", false},
    {"Fox/glTF/Fox.gltf", false},
    {"CesiumMan/glTF-Binary/CesiumMan.glb", false},
    {"RecursiveSkeletons/glTF-Binary/RecursiveSkeletons.glb", false},
    {"BCN_Epileptic/BCN_Epileptic.assimp-export.glb", false},
    {"SimpleSkin_synthetic/SimpleSkin.orig.gltf", false},
    {"SimpleSkin_synthetic/SimpleSkin_oddchars.gltf", true},
    // Two joints named "joint", one the other's child: full paths tell them apart.
    {"SimpleSkin_synthetic/SimpleSkin_dupnames.gltf", false},
};

// Joint, weight bits per point of every shape, in scene order.
std::vector<std::vector<std::pair<shape_class*, uint32_t>>> skins_of(host::Model_scene& scene,
                                                                    std::vector<host::Model_shape*> const& order)
{
    (void)scene;
    std::vector<std::vector<std::pair<shape_class*, uint32_t>>> out;
    auto add = [&](host::Model_skin const& skin) {
        std::vector<std::pair<shape_class*, uint32_t>> entry;
        for (auto const& b : skin.bindings()) {
            uint32_t bits;
            std::memcpy(&bits, &b.weight, 4);
            entry.emplace_back(b.joint, bits);
        }
        out.push_back(entry);
    };
    for (host::Model_shape* s : order) {
        add(s->skin);
        for (auto const& v : s->vertices)
            add(v.skin);
    }
    return out;
}

std::size_t bound_points(host::Model_scene& scene)
{
    std::size_t n = 0;
    for (host::Model_shape* s : scene.shapes_in_order())
        for (auto const& v : s->vertices)
            n += v.skin.bindings().empty() ? 0 : 1;
    return n;
}

class RealModels : public ::testing::TestWithParam<Model_case> {};

TEST_P(RealModels, RoundTripInBothForms)
{
    std::string const path = models_folder() + "/" + GetParam().file;
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no model at " << path << " (the shared models folder is absent)";
    // The selection the model comes with, and the whole scene with nothing
    // selected (the range "All" with full path names).
    for (int all : {0, 1})
    for (int form : {0, 1}) {
        test::Session source;
        host::read_gltf_scene(source.scene, path);
        ASSERT_GT(bound_points(source.scene), 0u) << "the model has no skinned vertex";
        if (all)
            source.scene.active.clear();
        host::Saved_file const file = source.save({{10, all ? 0 : 1}, {11, form}});
        std::vector<char> const bytes = form ? file.binary : std::vector<char>(file.text.begin(), file.text.end());
        if (form == 0 && GetParam().text_refused) {
            ASSERT_EQ(source.services.message_boxes.size(), 1u);
            EXPECT_NE(source.services.message_boxes[0].text.find("Use binary mode."), std::string::npos);
            continue;
        }
        ASSERT_TRUE(source.services.message_boxes.empty()) << source.services.message_boxes.front().text;

        test::Session target;
        host::read_gltf_scene(target.scene, path);
        if (all)
            target.scene.active.clear();
        for (host::Model_shape* s : target.scene.shapes_in_order())
            for (auto& v : s->vertices)
                v.skin.clear();
        target.load(bytes);
        target.expect_balanced();

        // Compare by position in the scene order: both scenes are built alike.
        auto const source_order = source.scene.shapes_in_order();
        auto const target_order = target.scene.shapes_in_order();
        auto expected = skins_of(source.scene, source_order);
        for (auto& point : expected)
            for (auto& binding : point) {
                auto const at = std::find(source_order.begin(), source_order.end(), binding.first) - source_order.begin();
                binding.first = target_order[static_cast<std::size_t>(at)];
            }
        auto const actual = skins_of(target.scene, target_order);
        EXPECT_EQ(actual, expected) << GetParam().file << " form " << form << (all ? ", range All" : "");
    }
}

// Each vertex's (joint's place in scene order, weight) pairs.
std::vector<std::vector<std::pair<std::size_t, float>>> vertex_skins(host::Model_scene& scene)
{
    std::vector<host::Model_shape*> const order = scene.shapes_in_order();
    std::vector<std::vector<std::pair<std::size_t, float>>> out;
    for (host::Model_shape* s : order)
        for (auto const& v : s->vertices) {
            std::vector<std::pair<std::size_t, float>> entry;
            for (auto const& b : v.skin.bindings())
                entry.emplace_back(static_cast<std::size_t>(std::find(order.begin(), order.end(), b.joint) - order.begin()),
                                   b.weight);
            out.push_back(entry);
        }
    return out;
}

// A model's scene written as a scene file and read back: every vertex in its
// place with its position and skin, and the file written again the same.
TEST_P(RealModels, SceneFilesKeepEveryVertex)
{
    std::string const path = models_folder() + "/" + GetParam().file;
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no model at " << path << " (the shared models folder is absent)";
    test::Session source;
    host::read_gltf_scene(source.scene, path);
    auto bits = [](float f) {
        std::uint32_t b;
        std::memcpy(&b, &f, sizeof b);
        return b;
    };
    auto positions = [&](host::Model_scene& scene) {
        std::vector<std::array<std::uint32_t, 3>> out;
        for (host::Model_shape* s : scene.shapes_in_order())
            for (auto const& v : s->vertices)
                out.push_back({bits(v.position.x), bits(v.position.y), bits(v.position.z)});
        return out;
    };
    for (bool pretty : {false, true}) {
        std::string const written = host::write_scene(source.scene, pretty);
        test::Session back;
        back.load_scene(written);
        EXPECT_EQ(vertex_skins(back.scene), vertex_skins(source.scene));
        EXPECT_EQ(positions(back.scene), positions(source.scene));
        EXPECT_EQ(host::write_scene(back.scene, pretty), written);
    }
}

TEST_P(RealModels, SkinsGoBackOutToGltf)
{
    std::string const path = models_folder() + "/" + GetParam().file;
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no model at " << path << " (the shared models folder is absent)";
    test::Session source;
    host::read_gltf_scene(source.scene, path);
    std::vector<char> const file = source.save({{11, 1}}).binary;
    // "Clear skin" and "Load skin" on the model's scene, then out to glTF.
    test::Session target;
    host::read_gltf_scene(target.scene, path);
    ASSERT_TRUE(target.command(0));
    target.load(file);
    auto const expected = vertex_skins(source.scene);
    for (bool normalize : {false, true}) {
        // Tests run side by side: each model its own file.
        std::string const test_name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string const out = ::testing::TempDir() + "tavrik_to_gltf_" + test_name.substr(test_name.rfind('/') + 1) + ".glb";
        host::write_gltf_skins(target.scene, path, out, host::Gltf_weights{normalize});
        // Nodes that share a mesh with the same skins still share it, and
        // nothing of the old skins stays behind.
        tinygltf::Model before, after;
        host::load_gltf_model(before, path);
        host::load_gltf_model(after, out);
        EXPECT_EQ(after.meshes.size(), before.meshes.size());
        std::vector<bool> used(after.accessors.size());
        for (auto const& mesh : after.meshes)
            for (auto const& primitive : mesh.primitives) {
                for (auto const& [name, a] : primitive.attributes)
                    used.at(static_cast<std::size_t>(a)) = true;
                if (primitive.indices >= 0)
                    used.at(static_cast<std::size_t>(primitive.indices)) = true;
                for (auto const& target_attributes : primitive.targets)
                    for (auto const& [name, a] : target_attributes)
                        used.at(static_cast<std::size_t>(a)) = true;
            }
        for (auto const& skin : after.skins)
            if (skin.inverseBindMatrices >= 0)
                used.at(static_cast<std::size_t>(skin.inverseBindMatrices)) = true;
        for (auto const& animation : after.animations)
            for (auto const& sampler : animation.samplers)
                used.at(static_cast<std::size_t>(sampler.input)) = used.at(static_cast<std::size_t>(sampler.output)) = true;
        EXPECT_EQ(std::count(used.begin(), used.end(), false), 0) << "accessors nothing uses";
        test::Session back;
        host::read_gltf_scene(back.scene, out);
        auto const got = vertex_skins(back.scene);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t v = 0; v < got.size(); ++v) {
            ASSERT_EQ(got[v].size(), expected[v].size()) << "vertex " << v;
            float sum = 0;
            for (auto const& [joint, weight] : expected[v])
                sum += weight;
            for (std::size_t k = 0; k < got[v].size(); ++k) {
                EXPECT_EQ(got[v][k].first, expected[v][k].first) << "vertex " << v;
                if (normalize)
                    EXPECT_NEAR(got[v][k].second, expected[v][k].second / sum, 1e-6f) << "vertex " << v;
                else
                    EXPECT_EQ(got[v][k].second, expected[v][k].second) << "vertex " << v;
            }
        }
        std::remove(out.c_str());
    }
}

// Each vertex of the scene posed by linear blend skinning: every shape
// turned about an axis of its own by up to 30 degrees (the same turns for
// scenes of one model), the rest pose as the bind pose.
std::vector<std::array<double, 3>> posed(host::Model_scene& scene)
{
    std::vector<host::Model_shape*> const shapes = scene.shapes_in_order();
    std::map<shape_class const*, mat4> rest;
    for (host::Model_shape* s : shapes)
        rest[s] = s->world();
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (host::Model_shape* s : shapes) {
        double x = unit(random), y = unit(random), z = unit(random);
        double const length = std::sqrt(x * x + y * y + z * z) + 1e-9, angle = unit(random) * 0.5236;
        x /= length, y /= length, z /= length;
        double const c = std::cos(angle), n = std::sin(angle), t = 1 - c;
        mat4 turn = mat4::identity;
        double const r[3][3] = {{t * x * x + c, t * x * y - n * z, t * x * z + n * y},
                                {t * x * y + n * z, t * y * y + c, t * y * z - n * x},
                                {t * x * z - n * y, t * y * z + n * x, t * z * z + c}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                turn.m[i][j] = static_cast<float>(r[i][j]);
        s->set_local(host::multiply(turn, s->local()));
    }
    auto apply = [](std::array<double, 3> const& p, mat4 const& m) {
        std::array<double, 3> out{};
        for (int j = 0; j < 3; ++j)
            out[j] = p[0] * m.m[0][j] + p[1] * m.m[1][j] + p[2] * m.m[2][j] + m.m[3][j];
        return out;
    };
    std::vector<std::array<double, 3>> out;
    for (host::Model_shape* s : shapes)
        for (auto const& v : s->vertices) {
            std::array<double, 3> const at_rest = apply({v.position.x, v.position.y, v.position.z}, rest[s]);
            double total = 0;
            for (auto const& b : v.skin.bindings())
                total += b.weight;
            std::array<double, 3> p{};
            for (auto const& b : v.skin.bindings()) {
                auto const* joint = static_cast<host::Model_shape const*>(b.joint);
                std::array<double, 3> const moved =
                    apply(at_rest, host::multiply(host::inverse(rest[b.joint]), joint->world()));
                for (int j = 0; j < 3; ++j)
                    p[j] += b.weight / total * moved[j];
            }
            out.push_back(v.skin.bindings().empty() ? at_rest : p);
        }
    return out;
}

TEST_P(RealModels, EngineLimitsGiveValidWeightsCloseToTheFullOnes)
{
    std::string const path = models_folder() + "/" + GetParam().file;
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no model at " << path << " (the shared models folder is absent)";
    test::Session source;
    host::read_gltf_scene(source.scene, path);
    std::size_t most = 0;
    double low[3] = {1e300, 1e300, 1e300}, high[3] = {-1e300, -1e300, -1e300};
    for (host::Model_shape* s : source.scene.shapes_in_order())
        for (auto const& v : s->vertices) {
            most = std::max(most, v.skin.bindings().size());
            double const p[3] = {v.position.x, v.position.y, v.position.z};
            for (int j = 0; j < 3; ++j)
                low[j] = std::min(low[j], p[j]), high[j] = std::max(high[j], p[j]);
        }
    double const diagonal = std::sqrt(std::pow(high[0] - low[0], 2) + std::pow(high[1] - low[1], 2) +
                                      std::pow(high[2] - low[2], 2));
    test::Session full;
    host::read_gltf_scene(full.scene, path);
    std::vector<std::array<double, 3>> const expected = posed(full.scene);
    std::string const test_name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string const out = ::testing::TempDir() + "tavrik_limits_" + test_name.substr(test_name.rfind('/') + 1) + ".glb";
    using Form = host::Gltf_weights::Form;
    for (std::size_t k : {1, 4, 8})
        for (Form form : {Form::floats, Form::u16, Form::u8}) {
            std::string const what = "K " + std::to_string(k) + ", form " + std::to_string(static_cast<int>(form));
            host::write_gltf_skins(source.scene, path, out, host::Gltf_weights{true, k, 0, form});
            // Quantised weights sum exactly to the whole, vertex by vertex,
            // with no joint twice among the weights that are not 0.
            tinygltf::Model written;
            host::load_gltf_model(written, out);
            for (auto const& mesh : written.meshes)
                for (auto const& primitive : mesh.primitives) {
                    if (!primitive.attributes.count("WEIGHTS_0") || form == Form::floats)
                        continue;
                    std::size_t const sets = primitive.attributes.count("WEIGHTS_1") ? 2 : 1;
                    auto const& first = written.accessors.at(static_cast<std::size_t>(primitive.attributes.at("WEIGHTS_0")));
                    std::vector<std::uint64_t> sums(first.count);
                    for (std::size_t set = 0; set < sets; ++set) {
                        auto const& accessor =
                            written.accessors.at(static_cast<std::size_t>(primitive.attributes.at("WEIGHTS_" + std::to_string(set))));
                        ASSERT_TRUE(accessor.normalized) << what;
                        auto const& view = written.bufferViews.at(static_cast<std::size_t>(accessor.bufferView));
                        unsigned char const* bytes = written.buffers.at(0).data.data() + view.byteOffset + accessor.byteOffset;
                        for (std::size_t v = 0; v < accessor.count; ++v)
                            for (std::size_t c = 0; c < 4; ++c)
                                if (form == Form::u8) {
                                    sums[v] += bytes[v * 4 + c];
                                } else {
                                    std::uint16_t w;
                                    std::memcpy(&w, bytes + (v * 4 + c) * 2, 2);
                                    sums[v] += w;
                                }
                    }
                    for (std::size_t v = 0; v < sums.size(); ++v)
                        ASSERT_EQ(sums[v], form == Form::u8 ? 255u : 65535u) << what << ", vertex " << v;
                }
            test::Session back;
            host::read_gltf_scene(back.scene, out);
            for (host::Model_shape* s : back.scene.shapes_in_order())
                for (std::size_t v = 0; v < s->vertices.size(); ++v) {
                    auto const& bindings = s->vertices[v].skin.bindings();
                    double sum = 0;
                    std::set<shape_class const*> joints;
                    for (auto const& b : bindings) {
                        ASSERT_GE(b.weight, 0.0f) << what;
                        sum += b.weight;
                        ASSERT_TRUE(joints.insert(b.joint).second) << what << ": a joint twice, vertex " << v;
                    }
                    ASSERT_LE(bindings.size(), k) << what << ", vertex " << v;
                    if (!bindings.empty()) {
                        ASSERT_NEAR(sum, 1.0, 1e-5) << what << ", vertex " << v;
                    }
                }
            // Posed alike, the limited skins move each vertex at most this
            // fraction of the model's size away from the full skins.
            std::vector<std::array<double, 3>> const got = posed(back.scene);
            ASSERT_EQ(got.size(), expected.size());
            double farthest = 0;
            for (std::size_t v = 0; v < got.size(); ++v)
                farthest = std::max(farthest, std::sqrt(std::pow(got[v][0] - expected[v][0], 2) +
                                                        std::pow(got[v][1] - expected[v][1], 2) +
                                                        std::pow(got[v][2] - expected[v][2], 2)));
            double const fraction = diagonal > 0 ? farthest / diagonal : 0;
            // Measured: every model but quad_skin has at most 4 influences, and
            // its K 4 skins pose as the full ones within 4e-10 of the diagonal
            // (float); quad_skin (4 vertices, 10 influences each, the joints far
            // from the quad) moves 1.69 diagonals at K 4, 0.14 at K 8, 4.15 at K 1.
            double const bound = k >= most ? (form == Form::floats ? 1e-6 : form == Form::u16 ? 1e-4 : 5e-3)
                                 : k == 1  ? 4.2
                                 : k == 4  ? 1.75
                                           : 0.15;
            EXPECT_LE(fraction, bound) << what;
            if (k == 4 && form == Form::floats)
                std::cout << "[ MEASURED ] " << GetParam().file << " (" << most << " influences at most), K 4: farthest "
                          << fraction << " of the diagonal\n";
        }
    std::remove(out.c_str());
}

INSTANTIATE_TEST_SUITE_P(Models, RealModels, ::testing::ValuesIn(models), [](auto const& info) {
    std::string name = info.param.file;
    name = name.substr(name.find_last_of('/') + 1);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
});

}  // namespace

namespace {

std::string triangle_model()
{
    std::ifstream in(test::source_dir() + "/examples/triangle.gltf", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(GltfScenes, SkinsThatGltfCannotCarryAreRefused)
{
    std::string const model = test::source_dir() + "/examples/triangle.gltf";
    std::string const out = ::testing::TempDir() + "tavrik_refused.glb";
    struct Case {
        char const* what;
        std::function<void(test::Session&)> bind;
    } const cases[] = {
        {"a vertex bound to the mesh's node, not a joint",
         [](test::Session& s) { s.shape("root/triangle/body/body").vertices[0].skin.add(&s.shape("root/triangle/body"), 1); }},
        {"a joint's own skin", [](test::Session& s) { s.shape("root/triangle/hips").skin.add(&s.shape("root/triangle/hips/arm"), 1); }},
        // Weights that make a file no validator accepts.
        {"a vertex without influence", [](test::Session& s) { s.shape("root/triangle/body/body").vertices[1].skin.clear(); }},
        {"weights that sum to 0", [](test::Session& s) {
             host::Model_skin& skin = s.shape("root/triangle/body/body").vertices[2].skin;
             skin.clear();
             skin.add(&s.shape("root/triangle/hips"), 0.0f);
         }},
        {"a negative weight", [](test::Session& s) {
             s.shape("root/triangle/body/body").vertices[0].skin.add(&s.shape("root/triangle/hips"), -0.5f);
         }},
        {"a weight that is not a number", [](test::Session& s) {
             s.shape("root/triangle/body/body").vertices[0].skin.add(&s.shape("root/triangle/hips"), std::nanf(""));
         }},
    };
    for (Case const& c : cases)
        for (bool normalize : {false, true}) {
            test::Session session;
            host::read_gltf_scene(session.scene, model);
            c.bind(session);
            std::remove(out.c_str());
            EXPECT_THROW(host::write_gltf_skins(session.scene, model, out, host::Gltf_weights{normalize}), host::Inexpressible_skin)
                << c.what;
            EXPECT_FALSE(std::ifstream(out).good()) << c.what;
        }
    // A scene that is not the model's.
    test::Session other;
    other.load_scene(R"({"root": {"kind": "part", "name": "root"}})");
    EXPECT_THROW(host::write_gltf_skins(other.scene, model, out, {}), host::host_error);
    // The model's own scene goes out and back as it was.
    test::Session session;
    host::read_gltf_scene(session.scene, model);
    host::Model_skin& skin = session.shape("root/triangle/body/body").vertices[1].skin;
    skin.clear();
    for (int i = 0; i < 5; ++i)
        skin.add(&session.shape(i % 2 ? "root/triangle/hips" : "root/triangle/hips/arm"), 0.1f * static_cast<float>(i + 1));
    host::write_gltf_skins(session.scene, model, out, {});
    test::Session back;
    host::read_gltf_scene(back.scene, out);
    // Weights go out as they are, or divided by their sum.
    host::Model_skin& light = session.shape("root/triangle/body/body").vertices[2].skin;
    light.clear();
    light.add(&session.shape("root/triangle/hips"), 0.2f);
    light.add(&session.shape("root/triangle/hips/arm"), 0.6f);
    for (bool normalize : {false, true}) {
        host::write_gltf_skins(session.scene, model, out, host::Gltf_weights{normalize});
        test::Session weights;
        host::read_gltf_scene(weights.scene, out);
        auto const got = test::bindings_of(weights.shape("root/tavrik_refused/body/body").vertices[2].skin);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_NEAR(got[0].second, normalize ? 0.25f : 0.2f, 1e-6f) << normalize;
        EXPECT_NEAR(got[1].second, normalize ? 0.75f : 0.6f, 1e-6f) << normalize;
    }
    host::write_gltf_skins(session.scene, model, out, {});
    // glTF holds a joint once a vertex: the five bindings of two joints go
    // out as two influences, each the sum of its weights.
    auto const merged = test::bindings_of(back.shape("root/tavrik_refused/body/body").vertices[1].skin);
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].first, "arm");
    EXPECT_NEAR(merged[0].second, 0.9f, 1e-6f);
    EXPECT_EQ(merged[1].first, "hips");
    EXPECT_NEAR(merged[1].second, 0.6f, 1e-6f);
    EXPECT_EQ(test::bindings_of(back.shape("root/tavrik_refused/body/body").vertices[0].skin),
              (test::Bindings{{"hips", 0.5f}, {"arm", 0.5f}}));
    std::remove(out.c_str());
}

TEST(GltfScenes, AModelFromMemoryIsBuiltWithItsSkins)
{
    test::Session session;
    host::read_gltf_scene_from_memory(session.scene, triangle_model(), "triangle");
    host::Model_shape& body = session.shape("root/triangle/body/body");
    ASSERT_EQ(body.vertices.size(), 3u);
    EXPECT_EQ(test::bindings_of(body.vertices[0].skin), (test::Bindings{{"hips", 0.5f}, {"arm", 0.5f}}));
    EXPECT_EQ(test::bindings_of(body.vertices[2].skin), (test::Bindings{{"arm", 1.0f}}));
}

TEST(GltfScenes, AccessorsThatReachPastTheirDataAreRefused)
{
    // Found by fuzzing: an accessor's count or type beyond its buffer view
    // was read past the end of the buffer.
    struct Case {
        char const* from;
        char const* to;
    } const cases[] = {
        {R"("count": 3,
   "type": "VEC3")", R"("count": 30,
   "type": "VEC3")"},
        {R"("componentType": 5121,
   "count": 3,
   "type": "VEC4")", R"("componentType": 5121,
   "count": 3,
   "type": "MAT4")"},
        {R"("byteOffset": 48,
   "byteLength": 48)", R"("byteOffset": 48,
   "byteLength": 4800)"},
        {R"("type": "VEC3")", R"("type": "SCALAR")"},
        // Found by fuzzing as well: joints in a cycle of children, which no
        // tree holds, were bound as null joints.
        {R"("name": "arm",)", R"("name": "arm", "children": [0],)"},
    };
    for (Case const& c : cases) {
        std::string model = triangle_model();
        std::size_t const at = model.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        model.replace(at, std::strlen(c.from), c.to);
        if (std::strstr(c.to, "\"children\": [0]")) {
            // Neither node of the cycle is a scene's root.
            std::string const roots = "\"nodes\": [\n    0,\n    2\n   ]";
            model.replace(model.find(roots), roots.size(), "\"nodes\": [2]");
        }
        test::Session session;
        EXPECT_THROW(host::read_gltf_scene_from_memory(session.scene, model, "triangle"), host::host_error) << c.to;
        EXPECT_TRUE(session.scene.root().children().empty()) << c.to;
    }
}

}  // namespace

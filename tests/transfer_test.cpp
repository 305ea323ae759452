// Skins carried by position: the closest point's regions, the inpainting's
// exactness on linear fields, and transfers of made-up and real meshes.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <sstream>

#include "closest_points.h"
#include "gltf_scene.h"
#include "inpaint.h"
#include "support.h"
#include "transfer.h"

namespace {

using Skin = std::map<std::string, float>;  // joint path -> weight

Skin skin_of(host::Model_vertex const& v)
{
    Skin skin;
    for (auto const& b : v.skin.bindings())
        if (b.weight != 0)
            skin[static_cast<host::Model_shape*>(b.joint)->path()] = b.weight;
    return skin;
}

// A sheet of n x n vertices over [0, 1]², jittered inside, two triangles a
// cell; joints a and b; weights given by position (none: no skin).
std::string sheet(int n, double jitter, std::function<bool(double, double)> const& keep,
                  std::function<double(double, double)> const& weight_of_a)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> shake(-jitter, jitter);
    std::ostringstream out;
    out.precision(17);
    out << R"({"root": {"kind": "part", "name": "root", "children": [{"kind": "rotator", "name": "a"},)"
        << R"({"kind": "rotator", "name": "b", "center": [1, 0, 0]}, {"kind": "polygon", "name": "m", "vertices": [)";
    std::vector<int> index(static_cast<std::size_t>(n * n), -1);
    int count = 0;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            bool const inner = r > 0 && c > 0 && r < n - 1 && c < n - 1;
            double const x = (c + (inner ? shake(random) : 0)) / (n - 1), y = (r + (inner ? shake(random) : 0)) / (n - 1);
            if (!keep(x, y))
                continue;
            double const a = weight_of_a ? weight_of_a(x, y) : -1;
            out << (count ? "," : "") << R"({"position": [)" << float(x) << "," << float(y) << ",0]";
            if (a >= 0)
                out << R"(, "skin": [{"joint": "root/a", "weight": )" << a << R"(}, {"joint": "root/b", "weight": )" << 1 - a << "}]";
            out << "}";
            index[static_cast<std::size_t>(r * n + c)] = count++;
        }
    out << R"(], "triangles": [)";
    bool first = true;
    for (int r = 0; r + 1 < n; ++r)
        for (int c = 0; c + 1 < n; ++c) {
            int const q[4] = {index[static_cast<std::size_t>(r * n + c)], index[static_cast<std::size_t>(r * n + c + 1)],
                              index[static_cast<std::size_t>((r + 1) * n + c + 1)], index[static_cast<std::size_t>((r + 1) * n + c)]};
            if (*std::min_element(q, q + 4) < 0)
                continue;
            out << (first ? "" : ",") << q[0] << "," << q[1] << "," << q[2] << "," << q[0] << "," << q[2] << "," << q[3];
            first = false;
        }
    out << "]}]}}";
    return out.str();
}

auto const everywhere = [](double, double) { return true; };

// Every skin of the shape: weights not negative, summing to 1, at most `limit`.
void expect_valid(host::Model_shape const& shape, std::size_t limit = 0)
{
    for (std::size_t v = 0; v < shape.vertices.size(); ++v) {
        auto const& bindings = shape.vertices[v].skin.bindings();
        ASSERT_FALSE(bindings.empty()) << "vertex " << v;
        double sum = 0;
        for (auto const& b : bindings) {
            EXPECT_GE(b.weight, 0.0f);
            sum += b.weight;
        }
        EXPECT_NEAR(sum, 1.0, 1e-6) << "vertex " << v;
        if (limit) {
            EXPECT_LE(bindings.size(), limit);
        }
    }
}

}  // namespace

TEST(Transfer, TheClosestPointOfATriangleInEachRegion)
{
    Eigen::Vector3d const a{0, 0, 0}, b{2, 0, 0}, c{0, 2, 0};
    struct Case {
        Eigen::Vector3d point, weights;
    } const cases[] = {
        {{-1, -1, 3}, {1, 0, 0}},       {{3, -1, 0}, {0, 1, 0}},          {{-1, 3, -2}, {0, 0, 1}},
        {{1, -2, 0}, {0.5, 0.5, 0}},    {{-2, 1, 0}, {0.5, 0, 0.5}},      {{2, 2, 1}, {0, 0.5, 0.5}},
        {{0.5, 0.5, -4}, {0.5, 0.25, 0.25}},
    };
    for (Case const& k : cases)
        EXPECT_TRUE(host::closest_on_triangle(k.point, a, b, c).isApprox(k.weights, 1e-12)) << k.point.transpose();
    // A triangle without area: the nearest point of its edges.
    Eigen::Vector3d const flat = host::closest_on_triangle({1.5, 1, 0}, a, b, Eigen::Vector3d{1, 0, 0});
    EXPECT_TRUE((flat[0] * a + flat[1] * b + flat[2] * Eigen::Vector3d{1, 0, 0}).isApprox(Eigen::Vector3d{1.5, 0, 0}));
}

TEST(Transfer, InpaintingReproducesALinearFieldOverAHole)
{
    // A jittered sheet; the quarter of its vertices in the middle unknown, the
    // rest given a field linear in position: the solution is that field.
    test::Session session;
    session.load_scene(sheet(41, 0.3, everywhere, nullptr));
    host::Model_shape const& m = session.shape("root/m");
    host::Surface surface;
    surface.positions.resize(static_cast<Eigen::Index>(m.vertices.size()), 3);
    surface.triangles.resize(static_cast<Eigen::Index>(m.triangles.size() / 3), 3);
    for (std::size_t v = 0; v < m.vertices.size(); ++v)
        surface.positions.row(static_cast<Eigen::Index>(v)) << m.vertices[v].position.x, m.vertices[v].position.y, 0.0;
    for (std::size_t i = 0; i < m.triangles.size(); ++i)
        surface.triangles(static_cast<Eigen::Index>(i / 3), static_cast<Eigen::Index>(i % 3)) = m.triangles[i];
    auto field = [&](Eigen::Index v, int j) {
        double const x = surface.positions(v, 0), y = surface.positions(v, 1);
        return j == 0 ? 0.2 + 0.5 * x + 0.1 * y : 0.8 - 0.5 * x - 0.1 * y;
    };
    std::vector<char> known(m.vertices.size(), 1);
    host::Weight_rows weights = host::Weight_rows::Zero(surface.positions.rows(), 2);
    std::size_t unknown = 0;
    for (Eigen::Index v = 0; v < surface.positions.rows(); ++v) {
        bool const middle = std::fabs(surface.positions(v, 0) - 0.5) < 0.25 && std::fabs(surface.positions(v, 1) - 0.5) < 0.25;
        known[static_cast<std::size_t>(v)] = !middle;
        unknown += middle;
        for (int j = 0; j < 2; ++j)
            weights(v, j) = middle ? 0.0 : field(v, j);
    }
    ASSERT_NEAR(double(unknown) / double(known.size()), 0.25, 0.03);
    host::inpaint(surface, known, weights);
    for (Eigen::Index v = 0; v < surface.positions.rows(); ++v)
        for (int j = 0; j < 2; ++j)
            ASSERT_NEAR(weights(v, j), field(v, j), 1e-9) << "vertex " << v;
    // A piece with nothing known has no one solution: refused, not made up.
    std::fill(known.begin(), known.end(), 0);
    EXPECT_THROW(host::inpaint(surface, known, weights), std::runtime_error);
}

TEST(Transfer, VerticesInAnotherOrderGetTheirSkinsBackExactly)
{
    // Weights of a few bits, so that nothing is rounded on the way.
    auto weight = [](double x, double y) { return std::round(4 * (x + y) / 2) / 4; };
    test::Session source, target;
    source.load_scene(sheet(12, 0.2, everywhere, weight));
    target.load_scene(sheet(12, 0.2, everywhere, nullptr));
    // The target's vertices reversed, its triangles renumbered to match.
    host::Model_shape& m = target.shape("root/m");
    std::reverse(m.vertices.begin(), m.vertices.end());
    auto const n = static_cast<std::uint32_t>(m.vertices.size());
    for (std::uint32_t& corner : m.triangles)
        corner = n - 1 - corner;
    for (auto method : {host::Transfer_method::nearest, host::Transfer_method::inpaint}) {
        host::Transfer_options options;
        options.method = method;
        host::Transfer_report const report = host::transfer_skins({source.scene}, {target.scene}, options);
        ASSERT_EQ(report.shapes.size(), 1u);
        EXPECT_TRUE(report.shapes[0].refused.empty()) << report.shapes[0].refused;
        EXPECT_EQ(report.shapes[0].matched, n);
        host::Model_shape const& from = source.shape("root/m");
        for (std::uint32_t v = 0; v < n; ++v)
            ASSERT_EQ(skin_of(m.vertices[v]), skin_of(from.vertices[n - 1 - v])) << "vertex " << v;
    }
    // By index the order is what binds: every vertex gets another's skin.
    host::Transfer_options by_index;
    by_index.method = host::Transfer_method::index;
    host::transfer_skins({source.scene}, {target.scene}, by_index);
    EXPECT_EQ(skin_of(m.vertices[0]), skin_of(source.shape("root/m").vertices[0]));
}

TEST(Transfer, AHoleIsInpaintedValidlyAndAPieceWithoutMatchIsRefused)
{
    auto weight = [](double x, double) { return x; };
    auto holed = [](double x, double y) { return std::fabs(x - 0.5) > 0.2 || std::fabs(y - 0.5) > 0.2; };
    test::Session source, target;
    source.load_scene(sheet(30, 0.3, holed, weight));
    target.load_scene(sheet(25, 0.3, everywhere, nullptr));
    host::Transfer_options options;
    options.max_influences = 1;
    options.smooth = 2;
    host::Transfer_report report = host::transfer_skins({source.scene}, {target.scene}, options);
    ASSERT_EQ(report.shapes.size(), 1u);
    EXPECT_TRUE(report.shapes[0].refused.empty()) << report.shapes[0].refused;
    EXPECT_GT(report.shapes[0].inpainted, 30u);
    EXPECT_EQ(report.shapes[0].matched + report.shapes[0].inpainted, 625u);
    EXPECT_LE(report.shapes[0].farthest, 0.05 * std::sqrt(2.0) + 1e-9);
    expect_valid(target.shape("root/m"), 1);
    EXPECT_FALSE(report.lost());

    // The target moved away as a whole: no piece of it matches, so it is refused and left as it was.
    host::Model_shape& moved = target.shape("root/m");
    for (auto& v : moved.vertices)
        v.position.z += 0.5f;
    Skin const before = skin_of(moved.vertices[7]);
    report = host::transfer_skins({source.scene}, {target.scene}, host::Transfer_options{});
    EXPECT_NE(report.shapes[0].refused.find("a piece of 625 vertices (vertex 0"), std::string::npos) << report.shapes[0].refused;
    EXPECT_EQ(skin_of(moved.vertices[7]), before);
    EXPECT_TRUE(report.lost());
    // By the nearest point it is carried whatever the distance.
    host::Transfer_options nearest;
    nearest.method = host::Transfer_method::nearest;
    report = host::transfer_skins({source.scene}, {target.scene}, nearest);
    EXPECT_GE(report.shapes[0].farthest, 0.5);
    EXPECT_LT(report.shapes[0].farthest, 0.55);
    expect_valid(moved);
}

TEST(Transfer, JointsAreFoundByNameOrMapAndWhatIsMissingIsSaid)
{
    test::Session source, target;
    source.load_scene(sheet(6, 0, everywhere, [](double x, double) { return x; }));
    std::string renamed = sheet(6, 0, everywhere, nullptr);
    renamed.replace(renamed.find(R"("name": "b")"), 11, R"("name": "B")");
    target.load_scene(renamed);
    host::Transfer_report report = host::transfer_skins({source.scene}, {target.scene}, host::Transfer_options{});
    EXPECT_EQ(report.missing_joints, std::vector<std::string>{"root/b"});
    EXPECT_TRUE(report.lost());
    EXPECT_EQ(report.shapes[0].unbound, 6u);  // bound to b alone
    EXPECT_EQ(report.shapes[0].lost, 30u);
    host::Transfer_options mapped;
    mapped.joint_name = [](std::string const& name) { return name == "b" ? std::string("B") : name; };
    report = host::transfer_skins({source.scene}, {target.scene}, mapped);
    EXPECT_TRUE(report.missing_joints.empty());
    EXPECT_FALSE(report.lost());
    EXPECT_EQ(skin_of(target.shape("root/m").vertices[0]), (Skin{{"root/B", 1.0f}}));
    // A joint the target lacks that holds no weight anywhere is no loss.
    for (auto& v : source.shape("root/m").vertices)
        for (int i = 0; i < v.skin.get_number_of_bindings(); ++i)
            if (v.skin.get_binding(i).get_joint() == &source.shape("root/b"))
                v.skin.get_binding(i).set_weight(0);
    report = host::transfer_skins({source.scene}, {target.scene}, host::Transfer_options{});
    EXPECT_TRUE(report.missing_joints.empty());
    EXPECT_FALSE(report.lost());
}

namespace {

class RealTransfer : public ::testing::TestWithParam<char const*> {};

// Each weight of every joint, normalised as the transfer does.
Skin normalised(host::Model_vertex const& v)
{
    Skin skin = skin_of(v);
    double sum = 0;
    for (auto const& [joint, w] : skin)
        sum += w;
    for (auto& [joint, w] : skin)
        w = static_cast<float>(w / sum);
    return skin;
}

void expect_near(Skin const& got, Skin const& wanted, double tolerance, std::string const& where)
{
    for (auto const& [joint, w] : wanted)
        EXPECT_NEAR(got.count(joint) ? got.at(joint) : 0.0f, w, tolerance) << where << " " << joint;
    for (auto const& [joint, w] : got)
        EXPECT_TRUE(wanted.count(joint) || w < tolerance) << where << " " << joint;
}

}  // namespace

TEST_P(RealTransfer, OntoItselfAndSubdividedKeepsItsWeights)
{
    std::string const path = test::source_dir() + "/../shared/data/models/" + GetParam();
    if (!std::ifstream(path).good())
        GTEST_SKIP() << "no model at " << path << " (the shared models folder is absent)";
    {
        test::Session source;
        host::read_gltf_scene(source.scene, path);
        for (auto method : {host::Transfer_method::nearest, host::Transfer_method::inpaint}) {
            test::Session target;
            host::read_gltf_scene(target.scene, path);
            host::Transfer_options options;
            options.method = method;
            host::Transfer_report const report = host::transfer_skins({source.scene, true}, {target.scene, true}, options);
            EXPECT_FALSE(report.lost());
            for (host::Shape_transfer const& s : report.shapes) {
                EXPECT_EQ(s.matched, s.vertices) << s.target;
                host::Model_shape* to = host::find_shape(target.scene, s.target);
                host::Model_shape* from = host::find_shape(source.scene, s.source);
                for (std::size_t v = 0; v < to->vertices.size(); ++v)
                    if (!from->vertices[v].skin.bindings().empty())
                        expect_near(skin_of(to->vertices[v]), normalised(from->vertices[v]), 1e-6, s.target + " " + std::to_string(v));
            }
        }
        // Each triangle cut in four: the old vertices keep their weights, each
        // new one lies between its edge's two ends, joint by joint.
        test::Session target;
        host::read_gltf_scene(target.scene, path);
        std::vector<std::tuple<host::Model_shape*, std::uint32_t, std::uint32_t, std::uint32_t>> midpoints;
        for (host::Model_shape* shape : target.scene.shapes_in_order()) {
            std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> made;
            std::vector<std::uint32_t> triangles;
            auto middle = [&](std::uint32_t a, std::uint32_t b) {
                auto key = std::minmax(a, b);
                auto found = made.find(key);
                if (found != made.end())
                    return found->second;
                host::Model_vertex vertex(&target.scene);
                auto const& p = shape->vertices[a].position;
                auto const& q = shape->vertices[b].position;
                vertex.position = vec3{(p.x + q.x) / 2, (p.y + q.y) / 2, (p.z + q.z) / 2};
                shape->vertices.push_back(vertex);
                auto const index = static_cast<std::uint32_t>(shape->vertices.size() - 1);
                midpoints.emplace_back(shape, index, a, b);
                return made[key] = index;
            };
            for (std::size_t t = 0; t + 2 < shape->triangles.size(); t += 3) {
                std::uint32_t const a = shape->triangles[t], b = shape->triangles[t + 1], c = shape->triangles[t + 2];
                std::uint32_t const ab = middle(a, b), bc = middle(b, c), ca = middle(c, a);
                triangles.insert(triangles.end(), {a, ab, ca, ab, b, bc, ca, bc, c, ab, bc, ca});
            }
            shape->triangles = triangles;
        }
        for (auto method : {host::Transfer_method::inpaint, host::Transfer_method::nearest}) {
            host::Transfer_options options;
            options.method = method;
            host::Transfer_report const report = host::transfer_skins({source.scene, true}, {target.scene, true}, options);
            EXPECT_FALSE(report.lost());
            for (host::Shape_transfer const& s : report.shapes) {
                host::Model_shape* to = host::find_shape(target.scene, s.target);
                host::Model_shape* from = host::find_shape(source.scene, s.source);
                for (std::size_t v = 0; v < from->vertices.size(); ++v)
                    if (!from->vertices[v].skin.bindings().empty())
                        expect_near(skin_of(to->vertices[v]), normalised(from->vertices[v]), 1e-6, s.target + " " + std::to_string(v));
                if (!from->vertices.empty() && !from->vertices[0].skin.bindings().empty())
                    expect_valid(*to);
            }
        }
        for (auto const& [shape, index, a, b] : midpoints) {
            Skin const got = skin_of(shape->vertices[index]), one = skin_of(shape->vertices[a]), other = skin_of(shape->vertices[b]);
            for (auto const& [joint, w] : got) {
                float const x = one.count(joint) ? one.at(joint) : 0.0f, y = other.count(joint) ? other.at(joint) : 0.0f;
                EXPECT_GE(w, std::min(x, y) - 1e-5f) << shape->path() << " " << index << " " << joint;
                EXPECT_LE(w, std::max(x, y) + 1e-5f) << shape->path() << " " << index << " " << joint;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Models, RealTransfer,
                         ::testing::Values("CesiumMan/glTF-Binary/CesiumMan.glb", "Fox/glTF-Binary/Fox.glb",
                                           "BCN_Epileptic/BCN_Epileptic.assimp-export.glb",
                                           "RecursiveSkeletons/glTF-Binary/RecursiveSkeletons.glb",
                                           "SimpleSkin_synthetic/SimpleSkin.orig.gltf", "quad_skin/quad_skin.glb"),
                         [](auto const& info) {
                             std::string name = info.param;
                             name = name.substr(name.rfind('/') + 1);
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

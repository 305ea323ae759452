// Times tavrik-host's from-gltf and to-gltf end to end on a made-up rigged
// model (a sheet of N vertices, 60 joints, four influences a vertex) against
// a floor measured in the same run: tinygltf's own load of the .glb and write
// of it back, the least a command that reads and writes the model has to do.
// Each line prints the median of K interleaved runs in processes of their
// own, its ratio to the floor, and the peak memory. Linux.
//   gltf_benchmark [--vertices N] [--runs K] [--folder DIR] [--keep]
#include <algorithm>
#include <functional>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <tiny_gltf.h>

#include "child_process.h"

namespace {

template <class T>
int add_accessor(tinygltf::Model& model, std::vector<T> const& values, int component, int type, std::size_t count, int target)
{
    tinygltf::Buffer& buffer = model.buffers[0];
    std::size_t const offset = buffer.data.size();
    buffer.data.resize(offset + values.size() * sizeof(T));
    std::memcpy(buffer.data.data() + offset, values.data(), values.size() * sizeof(T));
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = offset;
    view.byteLength = values.size() * sizeof(T);
    view.target = target;
    model.bufferViews.push_back(view);
    tinygltf::Accessor accessor;
    accessor.bufferView = static_cast<int>(model.bufferViews.size() - 1);
    accessor.componentType = component;
    accessor.type = type;
    accessor.count = count;
    if (type == TINYGLTF_TYPE_VEC3 && component == TINYGLTF_COMPONENT_TYPE_FLOAT) {
        accessor.minValues = {1e30, 1e30, 1e30};
        accessor.maxValues = {-1e30, -1e30, -1e30};
        for (std::size_t i = 0; i < values.size(); ++i) {
            accessor.minValues[i % 3] = std::min(accessor.minValues[i % 3], double(values[i]));
            accessor.maxValues[i % 3] = std::max(accessor.maxValues[i % 3], double(values[i]));
        }
    }
    model.accessors.push_back(accessor);
    return static_cast<int>(model.accessors.size() - 1);
}

void make_model(std::string const& path, long vertices)
{
    int const columns = static_cast<int>(std::sqrt(vertices * 1.2)), rows = static_cast<int>(vertices / columns);
    int const joint_columns = 10, joint_rows = 6;
    double const width = 1200, height = 1000;
    tinygltf::Model model;
    model.asset.version = "2.0";
    model.buffers.resize(1);
    std::vector<float> positions, weights;
    std::vector<std::uint16_t> joints;
    std::vector<std::uint32_t> indices;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            double const x = c * width / (columns - 1), y = r * height / (rows - 1);
            positions.insert(positions.end(), {float(x), float(y), float(5 * std::sin(x / 40) * std::cos(y / 50))});
            double const u = std::min(x / width * (joint_columns - 1), joint_columns - 1.000001);
            double const v = std::min(y / height * (joint_rows - 1), joint_rows - 1.000001);
            int const i = int(u), j = int(v);
            double const fu = u - i, fv = v - j;
            joints.insert(joints.end(), {std::uint16_t(j * joint_columns + i), std::uint16_t(j * joint_columns + i + 1),
                                         std::uint16_t((j + 1) * joint_columns + i), std::uint16_t((j + 1) * joint_columns + i + 1)});
            weights.insert(weights.end(), {float((1 - fu) * (1 - fv)), float(fu * (1 - fv)), float((1 - fu) * fv), float(fu * fv)});
        }
    for (int r = 0; r + 1 < rows; ++r)
        for (int c = 0; c + 1 < columns; ++c) {
            std::uint32_t const a = r * columns + c, b = a + 1, d = a + columns, e = d + 1;
            indices.insert(indices.end(), {a, b, e, a, e, d});
        }
    std::size_t const n = positions.size() / 3;
    tinygltf::Primitive primitive;
    primitive.attributes["POSITION"] = add_accessor(model, positions, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, n, TINYGLTF_TARGET_ARRAY_BUFFER);
    primitive.attributes["JOINTS_0"] = add_accessor(model, joints, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_VEC4, n, TINYGLTF_TARGET_ARRAY_BUFFER);
    primitive.attributes["WEIGHTS_0"] = add_accessor(model, weights, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC4, n, TINYGLTF_TARGET_ARRAY_BUFFER);
    primitive.indices = add_accessor(model, indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, indices.size(), TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    tinygltf::Mesh mesh;
    mesh.name = "body";
    mesh.primitives.push_back(primitive);
    model.meshes.push_back(mesh);
    tinygltf::Node root;
    root.name = "rig";
    tinygltf::Skin skin;
    for (int j = 0; j < joint_columns * joint_rows; ++j) {
        tinygltf::Node joint;
        joint.name = "j" + std::to_string(j);
        joint.translation = {(j % joint_columns) * width / (joint_columns - 1), (j / joint_columns) * height / (joint_rows - 1), 0};
        model.nodes.push_back(joint);
        root.children.push_back(j);
        skin.joints.push_back(j);
    }
    model.skins.push_back(skin);
    tinygltf::Node body;
    body.name = "body";
    body.mesh = 0;
    body.skin = 0;
    model.nodes.push_back(body);
    root.children.push_back(static_cast<int>(model.nodes.size() - 1));
    model.nodes.push_back(root);
    tinygltf::Scene scene;
    scene.nodes = {static_cast<int>(model.nodes.size() - 1)};
    model.scenes.push_back(scene);
    model.defaultScene = 0;
    tinygltf::TinyGLTF writer;
    if (!writer.WriteGltfSceneToFile(&model, path, true, true, false, true))
        throw std::runtime_error("cannot write " + path);
}

// The floor: tinygltf reads the .glb and writes it back.
int floor_child(std::string const& in, std::string const& out)
{
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string error, warning;
    if (!loader.LoadBinaryFromFile(&model, &error, &warning, in))
        return 2;
    return loader.WriteGltfSceneToFile(&model, out, true, true, false, true) ? 0 : 2;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
try {
    long vertices = 300000;
    int runs = 3;
    std::string folder = "/tmp";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        std::string const a = argv[i];
        if (a == "--vertices" && i + 1 < argc)
            vertices = std::stol(argv[++i]);
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::stoi(argv[++i]));
        else if (a == "--folder" && i + 1 < argc)
            folder = argv[++i];
        else if (a == "--keep")
            keep = true;
        else
            throw std::runtime_error("usage: gltf_benchmark [--vertices N] [--runs K] [--folder DIR] [--keep]");
    }
    std::string const model = folder + "/tavrik_gltf_benchmark.glb", floor_out = folder + "/tavrik_gltf_benchmark.floor.glb",
                      scene = folder + "/tavrik_gltf_benchmark.json", out = folder + "/tavrik_gltf_benchmark.out.glb";
    make_model(model, vertices);
    std::string const host = folder_of_program() + "/tavrik-host";
    struct Line {
        char const* name;
        std::function<Measure()> run;
        std::vector<double> seconds, peaks;
    };
    std::vector<Line> lines = {
        {"floor", [&] { return in_child([&] { return floor_child(model, floor_out); }); }, {}, {}},
        {"from-gltf", [&] { return run({host, "--quiet", "from-gltf", model, scene}); }, {}, {}},
        {"to-gltf", [&] { return run({host, "--quiet", "to-gltf", scene, model, out}); }, {}, {}},
    };
    for (int r = 0; r < runs; ++r)
        for (Line& line : lines) {
            Measure const m = line.run();
            line.seconds.push_back(m.seconds);
            line.peaks.push_back(m.peak_mb);
        }
    std::FILE* f = std::fopen(model.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    long const bytes = std::ftell(f);
    std::fclose(f);
    std::printf("%ld vertices x 4 influences, 60 joints: model %.0f MB; medians of %d runs\n", vertices, bytes / 1e6, runs);
    double const floor_s = median(lines[0].seconds), floor_mb = median(lines[0].peaks);
    for (Line const& line : lines) {
        double const s = median(line.seconds), mb = median(line.peaks);
        if (&line == &lines[0])
            std::printf("  %-10s %6.2f s                   peak %6.0f MB\n", line.name, s, mb);
        else
            std::printf("  %-10s %6.2f s   ratio %5.2fx   peak %6.0f MB   ratio %5.2fx\n", line.name, s, s / floor_s, mb,
                        mb / floor_mb);
    }
    if (!keep)
        for (std::string const& p : {model, floor_out, scene, out})
            std::remove(p.c_str());
    return 0;
} catch (std::exception const& e) {
    std::cerr << "gltf_benchmark: " << e.what() << "\n";
    return 2;
}

#include "gltf_scene.h"

#include <cmath>
#include <cstring>
#include <map>
#include <utility>

#include <tiny_gltf.h>

#include "faults.h"
#include "gltf_resources.h"

namespace host {

namespace {

// Row-vector matrices: row i of ours is column i of glTF's column-major matrix.
mat4 node_matrix(tinygltf::Node const& node)
{
    mat4 m = mat4::identity;
    if (node.matrix.size() == 16) {
        for (int i = 0; i < 16; ++i)
            m.m[i / 4][i % 4] = static_cast<float>(node.matrix[static_cast<std::size_t>(i)]);
        return m;
    }
    double const sx = node.scale.size() == 3 ? node.scale[0] : 1, sy = node.scale.size() == 3 ? node.scale[1] : 1,
                 sz = node.scale.size() == 3 ? node.scale[2] : 1;
    double x = 0, y = 0, z = 0, w = 1;
    if (node.rotation.size() == 4) {
        x = node.rotation[0];
        y = node.rotation[1];
        z = node.rotation[2];
        w = node.rotation[3];
    }
    // Column-vector rotation R; ours is its transpose, with each row scaled.
    double const r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                            {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                            {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
    double const s[3] = {sx, sy, sz};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m.m[i][j] = static_cast<float>(r[j][i] * s[i]);
    if (node.translation.size() == 3)
        for (int j = 0; j < 3; ++j)
            m.m[3][j] = static_cast<float>(node.translation[static_cast<std::size_t>(j)]);
    return m;
}

// Element `index`, component `c` of an accessor, as a double (normalised integers scaled to 0..1).
class Accessor_reader {
public:
    Accessor_reader(tinygltf::Model const& model, int accessor_index) : accessor_(model.accessors.at(static_cast<std::size_t>(accessor_index)))
    {
        tinygltf::BufferView const& view = model.bufferViews.at(static_cast<std::size_t>(accessor_.bufferView));
        std::vector<unsigned char> const& data = model.buffers.at(static_cast<std::size_t>(view.buffer)).data;
        component_size_ = tinygltf::GetComponentSizeInBytes(static_cast<uint32_t>(accessor_.componentType));
        components_ = tinygltf::GetNumComponentsInType(static_cast<uint32_t>(accessor_.type));
        stride_ = accessor_.ByteStride(view);
        if (component_size_ <= 0 || components_ <= 0 || stride_ <= 0)
            throw host_error("unsupported glTF accessor");
        // Every element must lie inside the view, and the view inside its buffer.
        std::size_t const element = static_cast<std::size_t>(components_) * static_cast<std::size_t>(component_size_);
        std::size_t const view_end = view.byteOffset + view.byteLength;
        bool fits = view_end >= view.byteOffset && view_end <= data.size() && accessor_.byteOffset <= view.byteLength;
        if (fits && accessor_.count > 0) {
            std::size_t const room = view.byteLength - accessor_.byteOffset;
            std::size_t const last = accessor_.count - 1;
            fits = element <= room && last <= (room - element) / static_cast<std::size_t>(stride_);
        }
        if (!fits)
            throw host_error("a glTF accessor reaches past its buffer");
        buffer_ = data.data() + view.byteOffset + accessor_.byteOffset;
    }
    std::size_t count() const { return accessor_.count; }
    int components() const { return components_; }
    double value(std::size_t index, int c) const
    {
        check(index, c);
        unsigned char const* p = buffer_ + index * static_cast<std::size_t>(stride_) + static_cast<std::size_t>(c * component_size_);
        switch (accessor_.componentType) {
        case TINYGLTF_COMPONENT_TYPE_FLOAT: {
            float f;
            std::memcpy(&f, p, 4);
            return f;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return accessor_.normalized ? *p / 255.0 : *p;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return accessor_.normalized ? v / 65535.0 : v;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        default: throw host_error("unsupported glTF component type");
        }
    }
    float float_value(std::size_t index, int c) const
    {
        if (accessor_.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT) {
            check(index, c);
            float f;
            std::memcpy(&f, buffer_ + index * static_cast<std::size_t>(stride_) + static_cast<std::size_t>(c * 4), 4);
            return f;
        }
        return static_cast<float>(value(index, c));
    }

private:
    void check(std::size_t index, int c) const
    {
        if (index >= accessor_.count || c < 0 || c >= components_)
            throw host_error("a glTF accessor has fewer elements or components than its use needs");
    }

    tinygltf::Accessor const& accessor_;
    unsigned char const* buffer_ = nullptr;
    int component_size_ = 0;
    int components_ = 0;
    int stride_ = 0;
};

struct Builder {
    Model_scene& scene;
    tinygltf::Model const& model;
    std::vector<Model_shape*> shapes;  // by node index
    std::vector<bool> is_joint;
    std::vector<Model_shape*> meshes;  // by node index, for nodes with a mesh
    std::vector<std::size_t> vertex_counts;  // by node index, for nodes with a mesh
    Gltf_build what = Gltf_build::whole;

    std::string node_name(std::size_t index) const
    {
        std::string const& name = model.nodes[index].name;
        return name.empty() ? "node_" + std::to_string(index) : name;
    }

    void add_node(Model_shape& parent, int index, int depth)
    {
        if (index < 0 || static_cast<std::size_t>(index) >= model.nodes.size() || depth > max_scene_depth)
            throw host_error("broken glTF node tree");
        auto const i = static_cast<std::size_t>(index);
        if (shapes[i])
            return;  // a node reached twice keeps its first place
        tinygltf::Node const& node = model.nodes[i];
        auto shape = std::make_unique<Model_shape>(&scene, shape_type_part, is_joint[i] ? part_rotator : part_plain, node_name(i));
        shape->set_local(node_matrix(node));
        shapes[i] = &parent.add_child(std::move(shape));
        for (int child : node.children)
            add_node(*shapes[i], child, depth + 1);
    }

    // A primitive's triangles (lists, strips and fans) as the mesh's; points
    // and lines give none. An index past the primitive's vertices is a broken model.
    void add_triangles(Model_shape& shape, tinygltf::Primitive const& primitive, std::size_t first, std::size_t count)
    {
        int const mode = primitive.mode < 0 ? TINYGLTF_MODE_TRIANGLES : primitive.mode;
        if (mode != TINYGLTF_MODE_TRIANGLES && mode != TINYGLTF_MODE_TRIANGLE_STRIP && mode != TINYGLTF_MODE_TRIANGLE_FAN)
            return;
        std::vector<std::uint32_t> corners;
        if (primitive.indices >= 0) {
            Accessor_reader indices(model, primitive.indices);
            corners.reserve(indices.count());
            for (std::size_t i = 0; i < indices.count(); ++i) {
                double const index = indices.value(i, 0);
                if (!(index >= 0 && index < static_cast<double>(count)))
                    throw host_error("a mesh's index names no vertex of its primitive");
                corners.push_back(static_cast<std::uint32_t>(first + static_cast<std::size_t>(index)));
            }
        } else {
            for (std::size_t i = 0; i < count; ++i)
                corners.push_back(static_cast<std::uint32_t>(first + i));
        }
        for (std::size_t i = 0; i + 2 < corners.size(); i += mode == TINYGLTF_MODE_TRIANGLES ? 3 : 1) {
            std::uint32_t a = corners[i], b = corners[i + 1], c = corners[i + 2];
            if (mode == TINYGLTF_MODE_TRIANGLE_STRIP && i % 2 == 1)
                std::swap(a, b);
            if (mode == TINYGLTF_MODE_TRIANGLE_FAN)
                a = corners[0], b = corners[i + 1], c = corners[i + 2];
            shape.triangles.insert(shape.triangles.end(), {a, b, c});
        }
    }

    void add_mesh(std::size_t node_index)
    {
        tinygltf::Node const& node = model.nodes[node_index];
        if (node.mesh < 0)
            return;
        tinygltf::Mesh const& mesh = model.meshes.at(static_cast<std::size_t>(node.mesh));
        tinygltf::Skin const* skin = node.skin >= 0 ? &model.skins.at(static_cast<std::size_t>(node.skin)) : nullptr;
        auto shape = std::make_unique<Model_shape>(&scene, shape_type_polygon_mesh, -1,
                                                   (mesh.name.empty() ? "mesh_" + std::to_string(node.mesh) : mesh.name));
        // Vertices are made in place, once: a skin is no small thing to copy.
        std::size_t total = 0;
        for (tinygltf::Primitive const& primitive : mesh.primitives) {
            auto position = primitive.attributes.find("POSITION");
            if (position != primitive.attributes.end())
                total += Accessor_reader(model, position->second).count();
        }
        vertex_counts[node_index] = total;
        if (what == Gltf_build::structure) {
            meshes[node_index] = &shapes[node_index]->add_child(std::move(shape));
            return;
        }
        shape->vertices.reserve(total);
        for (tinygltf::Primitive const& primitive : mesh.primitives) {
            auto position = primitive.attributes.find("POSITION");
            if (position == primitive.attributes.end())
                continue;
            Accessor_reader positions(model, position->second);
            std::size_t const first = shape->vertices.size();
            for (std::size_t v = 0; v < positions.count(); ++v)
                shape->vertices.emplace_back(&scene).position =
                    vec3{positions.float_value(v, 0), positions.float_value(v, 1), positions.float_value(v, 2)};
            add_triangles(*shape, primitive, first, positions.count());
            if (!skin)
                continue;
            for (int set = 0;; ++set) {
                auto joints = primitive.attributes.find("JOINTS_" + std::to_string(set));
                auto weights = primitive.attributes.find("WEIGHTS_" + std::to_string(set));
                if (joints == primitive.attributes.end() || weights == primitive.attributes.end())
                    break;
                Accessor_reader joint_reader(model, joints->second), weight_reader(model, weights->second);
                for (std::size_t v = 0; v < positions.count() && v < joint_reader.count(); ++v) {
                    Model_skin& target = shape->vertices[first + v].skin;
                    for (int c = 0; c < joint_reader.components(); ++c) {
                        float const weight = weight_reader.float_value(v, c);
                        auto const slot = static_cast<std::size_t>(joint_reader.value(v, c));
                        if (weight == 0.0f || slot >= skin->joints.size())
                            continue;
                        Model_shape* joint = shapes.at(static_cast<std::size_t>(skin->joints[slot]));
                        if (!joint)  // a node inside a cycle of children, which no tree holds
                            throw host_error("a skin's joint is not in the node tree");
                        bool merged = false;
                        for (auto const& b : target.bindings())
                            merged = merged || b.joint == joint;
                        if (!merged)  // a joint named twice for one vertex keeps its first weight
                            target.add(joint, weight);
                    }
                }
            }
        }
        meshes[node_index] = &shapes[node_index]->add_child(std::move(shape));
    }
};

std::string file_stem(std::string const& path)
{
    std::size_t const slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.find_last_of('.'));
}

}  // namespace

// Every fault of the model is a host_error that names it.
void build_gltf_scene(Model_scene& scene, tinygltf::Model const& model, std::string const& name, Gltf_shapes* made,
                      Gltf_build what)
{
    try {
        Model_shape& holder = scene.new_root().add_child(
            std::make_unique<Model_shape>(&scene, shape_type_part, part_plain, name));
        Builder builder{scene,
                        model,
                        std::vector<Model_shape*>(model.nodes.size()),
                        std::vector<bool>(model.nodes.size()),
                        std::vector<Model_shape*>(model.nodes.size()),
                        std::vector<std::size_t>(model.nodes.size()),
                        what};
        for (tinygltf::Skin const& skin : model.skins)
            for (int joint : skin.joints)
                if (joint >= 0 && static_cast<std::size_t>(joint) < model.nodes.size())
                    builder.is_joint[static_cast<std::size_t>(joint)] = true;
        // Scene roots first, then any node no scene reaches, each under the holder.
        for (tinygltf::Scene const& s : model.scenes)
            for (int root : s.nodes)
                builder.add_node(holder, root, 0);
        std::vector<bool> is_child(model.nodes.size());
        for (tinygltf::Node const& node : model.nodes)
            for (int child : node.children)
                if (child >= 0 && static_cast<std::size_t>(child) < is_child.size())
                    is_child[static_cast<std::size_t>(child)] = true;
        for (std::size_t i = 0; i < model.nodes.size(); ++i)
            if (!builder.shapes[i] && !is_child[i])
                builder.add_node(holder, static_cast<int>(i), 0);
        for (std::size_t i = 0; i < model.nodes.size(); ++i)
            if (builder.shapes[i])
                builder.add_mesh(i);
        scene.renumber();
        scene.active = {&holder};
        scene.current = &holder;
        if (made)
            *made = Gltf_shapes{builder.shapes, builder.meshes, builder.vertex_counts};
    } catch (host_error const& e) {
        scene.new_root();
        throw host_error(name + ": " + e.what());
    } catch (std::exception const& e) {
        // An index out of range in the model's accessors, views or skins.
        scene.new_root();
        throw host_error(name + ": broken glTF model (" + e.what() + ")");
    }
}

namespace {

void skip_images(tinygltf::TinyGLTF& loader)
{
    // Images are never decoded. Those of data: URIs keep their bytes, which
    // nothing else holds, so that a .glb written again can carry them.
    loader.SetImageLoader(
        [](tinygltf::Image* image, int, std::string*, std::string*, int, int, unsigned char const* bytes, int size,
           void*) {
            if (image && image->bufferView < 0 && image->uri.empty() && bytes && size > 0)
                image->image.assign(bytes, bytes + size);
            return true;
        },
        nullptr);
}

}  // namespace

void load_gltf_model(tinygltf::Model& model, std::string const& path)
{
    tinygltf::TinyGLTF loader;
    std::string error, warning;
    skip_images(loader);
    loader.SetFsCallbacks(confined_file_callbacks(path));
    bool const binary = path.size() > 4 && path.compare(path.size() - 4, 4, ".glb") == 0;
    bool const ok = binary ? loader.LoadBinaryFromFile(&model, &error, &warning, path)
                           : loader.LoadASCIIFromFile(&model, &error, &warning, path);
    if (!ok)
        throw host_error("cannot read " + path + ": " + error);
}

std::string gltf_model_name(std::string const& path) { return file_stem(path); }

void read_gltf_scene(Model_scene& scene, std::string const& path)
{
    tinygltf::Model model;
    load_gltf_model(model, path);
    build_gltf_scene(scene, model, file_stem(path), nullptr);
}

void read_gltf_scene_from_memory(Model_scene& scene, std::string const& bytes, std::string const& name)
{
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string error, warning;
    skip_images(loader);
    // Buffers that name other files are not read: the model is these bytes alone.
    tinygltf::FsCallbacks no_files{};
    no_files.FileExists = [](std::string const&, void*) { return false; };
    no_files.ExpandFilePath = [](std::string const& path, void*) { return path; };
    no_files.ReadWholeFile = [](std::vector<unsigned char>*, std::string* err, std::string const& path, void*) {
        if (err)
            *err += "no file is read: " + path;
        return false;
    };
    no_files.WriteWholeFile = [](std::string* err, std::string const&, std::vector<unsigned char> const&, void*) {
        if (err)
            *err += "no file is written";
        return false;
    };
    loader.SetFsCallbacks(no_files);
    bool const binary = bytes.size() >= 4 && bytes.compare(0, 4, "glTF") == 0;
    bool const ok =
        binary ? loader.LoadBinaryFromMemory(&model, &error, &warning,
                                             reinterpret_cast<unsigned char const*>(bytes.data()),
                                             static_cast<unsigned int>(bytes.size()))
               : loader.LoadASCIIFromString(&model, &error, &warning, bytes.data(),
                                            static_cast<unsigned int>(bytes.size()), "");
    if (!ok)
        throw host_error("cannot read " + name + ": " + error);
    build_gltf_scene(scene, model, name, nullptr);
}

}  // namespace host

#include "gltf_export.h"

#include <cerrno>
#include <cstring>

#include <tiny_gltf.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "gltf_scene.h"
#include "streams.h"

namespace host {

namespace {

bool same_shape(Model_shape const& a, Model_shape const& b)
{
    return a.name == b.name && a.type == b.type && a.part_type == b.part_type && a.vertices.size() == b.vertices.size();
}

std::string path_of(Model_shape const* shape) { return shape ? shape->path() : std::string("(no shape)"); }

// Appends bytes to the model's first buffer, four-byte aligned, with a view
// of them; gives the view's index.
int append_view(tinygltf::Model& model, unsigned char const* bytes, std::size_t size, int target)
{
    std::vector<unsigned char>& data = model.buffers.at(0).data;
    while (data.size() % 4 != 0)
        data.push_back(0);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = data.size();
    view.byteLength = size;
    view.target = target;
    data.insert(data.end(), bytes, bytes + size);
    model.bufferViews.push_back(view);
    return static_cast<int>(model.bufferViews.size() - 1);
}

// The same with an accessor of VEC4 elements; gives the accessor's index.
int add_vec4_accessor(tinygltf::Model& model, std::vector<unsigned char> const& bytes, int component_type,
                      std::size_t count)
{
    tinygltf::Accessor accessor;
    accessor.bufferView = append_view(model, bytes.data(), bytes.size(), TINYGLTF_TARGET_ARRAY_BUFFER);
    accessor.byteOffset = 0;
    accessor.componentType = component_type;
    accessor.count = count;
    accessor.type = TINYGLTF_TYPE_VEC4;
    model.accessors.push_back(accessor);
    return static_cast<int>(model.accessors.size() - 1);
}

template <class T>
void put(std::vector<unsigned char>& bytes, T value)
{
    unsigned char b[sizeof value];
    std::memcpy(b, &value, sizeof value);
    bytes.insert(bytes.end(), b, b + sizeof value);
}

}  // namespace

void write_gltf_skins(Model_scene& scene, std::string const& model_path, std::string const& out_path, bool normalize)
{
    tinygltf::Model model;
    load_gltf_model(model, model_path);
    if (model.buffers.empty())
        throw host_error(model_path + " has no buffer");

    // The scene from-gltf makes of the model, beside the given one: shapes
    // at the same place in scene order are the same node's.
    Model_scene fresh(scene.services());
    Gltf_shapes made;
    build_gltf_scene(fresh, model, gltf_model_name(model_path), &made);
    std::vector<Model_shape*> const ours = fresh.shapes_in_order();
    std::vector<Model_shape*> const theirs = scene.shapes_in_order();
    if (ours.size() != theirs.size())
        throw host_error("the scene is not the one from-gltf makes of " + model_path);
    std::map<Model_shape const*, Model_shape*> to_fresh;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        if (!same_shape(*ours[i], *theirs[i]))
            throw host_error("the scene is not the one from-gltf makes of " + model_path + ": " + path_of(theirs[i]) +
                             " differs");
        to_fresh[theirs[i]] = ours[i];
    }
    std::map<Model_shape const*, int> node_of;
    for (std::size_t n = 0; n < made.nodes.size(); ++n)
        if (made.nodes[n])
            node_of[made.nodes[n]] = static_cast<int>(n);
    std::map<Model_shape const*, int> mesh_node;
    for (std::size_t n = 0; n < made.meshes.size(); ++n)
        if (made.meshes[n])
            mesh_node[made.meshes[n]] = static_cast<int>(n);

    // Only the vertices of meshes carry skins in glTF.
    for (Model_shape* shape : theirs) {
        bool const mesh = mesh_node.count(to_fresh[shape]) != 0;
        bool bound = !shape->skin.bindings().empty();
        for (auto const& p : shape->points)
            bound = bound || !p.skin.bindings().empty();
        if (!mesh)
            for (auto const& v : shape->vertices)
                bound = bound || !v.skin.bindings().empty();
        if (bound)
            throw Inexpressible_skin("the skin of " + path_of(shape) + " cannot be written to glTF: only the vertices of "
                                     "a model's meshes carry skins there");
    }

    // A mesh that several skinned nodes share gets a copy for each node
    // after the first, which carries that node's skins.
    std::vector<tinygltf::Mesh> const original_meshes = model.meshes;
    std::map<int, int> written_meshes;  // glTF mesh -> the node whose skins it took
    for (Model_shape* shape : theirs) {
        auto const found = mesh_node.find(to_fresh[shape]);
        if (found == mesh_node.end())
            continue;
        tinygltf::Node& node = model.nodes[static_cast<std::size_t>(found->second)];
        bool any = false;
        for (auto const& v : shape->vertices)
            any = any || !v.skin.bindings().empty();
        if (node.skin < 0) {
            if (any)
                throw Inexpressible_skin(path_of(shape) + " is bound, but its node has no glTF skin");
            continue;
        }
        tinygltf::Skin const& skin = model.skins.at(static_cast<std::size_t>(node.skin));
        if (!written_meshes.emplace(node.mesh, found->second).second) {
            model.meshes.push_back(original_meshes.at(static_cast<std::size_t>(node.mesh)));
            node.mesh = static_cast<int>(model.meshes.size() - 1);
        }
        std::map<int, std::size_t> slot_of;  // node index -> place in the skin's joints
        for (std::size_t j = 0; j < skin.joints.size(); ++j)
            slot_of.emplace(skin.joints[j], j);

        std::size_t first = 0;
        tinygltf::Mesh& mesh = model.meshes.at(static_cast<std::size_t>(node.mesh));
        for (tinygltf::Primitive& primitive : mesh.primitives) {
            auto const position = primitive.attributes.find("POSITION");
            if (position == primitive.attributes.end())
                continue;
            std::size_t const count = model.accessors.at(static_cast<std::size_t>(position->second)).count;
            if (first + count > shape->vertices.size())
                throw host_error("the scene is not the one from-gltf makes of " + model_path);
            // Each vertex's (slot, weight) pairs, in the skin's order.
            std::vector<std::vector<std::pair<std::size_t, float>>> influences(count);
            std::size_t most = 0;
            for (std::size_t v = 0; v < count; ++v) {
                Model_skin const& vertex_skin = shape->vertices[first + v].skin;
                float sum = 0;
                for (auto const& b : vertex_skin.bindings())
                    sum += b.weight;
                for (auto const& b : vertex_skin.bindings()) {
                    auto const joint_node = node_of.find(to_fresh[static_cast<Model_shape*>(b.joint)]);
                    auto const slot = joint_node == node_of.end() ? slot_of.end() : slot_of.find(joint_node->second);
                    if (slot == slot_of.end())
                        throw Inexpressible_skin("vertex " + std::to_string(first + v) + " of " + path_of(shape) +
                                                 " is bound to " + path_of(static_cast<Model_shape*>(b.joint)) +
                                                 ", which is not a joint of the model's skin");
                    float const weight = normalize && sum > 0 ? b.weight / sum : b.weight;
                    influences[v].emplace_back(slot->second, weight);
                }
                most = std::max(most, influences[v].size());
            }
            for (auto it = primitive.attributes.begin(); it != primitive.attributes.end();)
                it = it->first.rfind("JOINTS_", 0) == 0 || it->first.rfind("WEIGHTS_", 0) == 0
                         ? primitive.attributes.erase(it)
                         : std::next(it);
            std::size_t const sets = std::max<std::size_t>(1, (most + 3) / 4);
            bool const small = skin.joints.size() <= 256;
            for (std::size_t set = 0; set < sets; ++set) {
                std::vector<unsigned char> joints, weights;
                for (std::size_t v = 0; v < count; ++v)
                    for (std::size_t c = 0; c < 4; ++c) {
                        std::size_t const k = set * 4 + c;
                        bool const here = k < influences[v].size();
                        std::size_t const slot = here ? influences[v][k].first : 0;
                        if (small)
                            put(joints, static_cast<std::uint8_t>(slot));
                        else
                            put(joints, static_cast<std::uint16_t>(slot));
                        put(weights, here ? influences[v][k].second : 0.0f);
                    }
                primitive.attributes["JOINTS_" + std::to_string(set)] = add_vec4_accessor(
                    model, joints,
                    small ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE : TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, count);
                primitive.attributes["WEIGHTS_" + std::to_string(set)] =
                    add_vec4_accessor(model, weights, TINYGLTF_COMPONENT_TYPE_FLOAT, count);
            }
            first += count;
        }
    }

    // The .glb stands alone: images that were files beside the model go
    // into its buffer, as they are (they are never decoded).
    std::string const folder = model_path.substr(0, model_path.find_last_of("/\\") + 1);
    for (tinygltf::Image& image : model.images) {
        if (image.uri.empty() || image.uri.rfind("data:", 0) == 0)
            continue;
        std::vector<char> const bytes = read_file(folder + image.uri);
        image.bufferView =
            append_view(model, reinterpret_cast<unsigned char const*>(bytes.data()), bytes.size(), 0);
        std::string extension = image.uri.substr(image.uri.find_last_of('.') + 1);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        image.mimeType = extension == "png" ? "image/png" : "image/jpeg";
        image.uri.clear();
    }
    // The first buffer becomes the .glb's binary chunk.
    model.buffers[0].uri.clear();
    tinygltf::TinyGLTF writer;
    errno = 0;
    if (!writer.WriteGltfSceneToFile(&model, out_path, false, true, false, true))
        throw host_error("cannot write " + out_path + (errno ? std::string(": ") + std::strerror(errno) : ""));
}

}  // namespace host

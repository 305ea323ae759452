#include "gltf_export.h"

#include <cerrno>
#include <cstring>

#include <tiny_gltf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <cstring>
#include <map>
#include <unordered_map>

#include "gltf_resources.h"
#include "gltf_scene.h"
#include "streams.h"

namespace host {

namespace {

bool same_shape(Model_shape const& a, std::size_t a_vertices, Model_shape const& b)
{
    return a.name == b.name && a.type == b.type && a.part_type == b.part_type && a_vertices == b.vertices.size();
}

// Each vertex's influences (slot, weight), vertex after vertex in one list:
// a model's vertices cost no heap block each.
struct Influences {
    std::vector<std::size_t> starts{0};
    std::vector<std::pair<std::size_t, double>> values;

    std::size_t count() const { return starts.size() - 1; }
    std::size_t size(std::size_t v) const { return starts[v + 1] - starts[v]; }
    std::pair<std::size_t, double> const& at(std::size_t v, std::size_t k) const { return values[starts[v] + k]; }
    void add(std::vector<std::pair<std::size_t, double>> const& vertex)
    {
        values.insert(values.end(), vertex.begin(), vertex.end());
        starts.push_back(values.size());
    }
    bool operator==(Influences const& other) const { return starts == other.starts && values == other.values; }
};

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
void put(unsigned char*& at, T value)
{
    std::memcpy(at, &value, sizeof value);
    at += sizeof value;
}

// Drops the accessors nothing refers to any more (the skins that were
// replaced) and the bytes of views nothing uses, so that the file does not
// carry its old skins along; the views still used go into one buffer, the
// .glb's binary chunk. Models with extensions that point at views or
// accessors themselves (compression, instancing) are left as they are.
void drop_unused(tinygltf::Model& model)
{
    for (std::string const& extension : model.extensionsUsed)
        if (extension.find("draco") != std::string::npos || extension.find("meshopt") != std::string::npos ||
            extension.find("instancing") != std::string::npos)
            return;
    std::vector<int> accessor_map(model.accessors.size(), -1);
    auto use_accessor = [&](int a) {
        if (a >= 0 && static_cast<std::size_t>(a) < accessor_map.size())
            accessor_map[static_cast<std::size_t>(a)] = 0;
    };
    for (auto const& mesh : model.meshes)
        for (auto const& primitive : mesh.primitives) {
            for (auto const& [name, a] : primitive.attributes)
                use_accessor(a);
            use_accessor(primitive.indices);
            for (auto const& target : primitive.targets)
                for (auto const& [name, a] : target)
                    use_accessor(a);
        }
    for (auto const& skin : model.skins)
        use_accessor(skin.inverseBindMatrices);
    for (auto const& animation : model.animations)
        for (auto const& sampler : animation.samplers) {
            use_accessor(sampler.input);
            use_accessor(sampler.output);
        }
    std::vector<tinygltf::Accessor> accessors;
    for (std::size_t a = 0; a < accessor_map.size(); ++a)
        if (accessor_map[a] == 0) {
            accessor_map[a] = static_cast<int>(accessors.size());
            accessors.push_back(model.accessors[a]);
        }
    auto remap = [&](int& a) {
        if (a >= 0 && static_cast<std::size_t>(a) < accessor_map.size())
            a = accessor_map[static_cast<std::size_t>(a)];
    };
    for (auto& mesh : model.meshes)
        for (auto& primitive : mesh.primitives) {
            for (auto& [name, a] : primitive.attributes)
                remap(a);
            remap(primitive.indices);
            for (auto& target : primitive.targets)
                for (auto& [name, a] : target)
                    remap(a);
        }
    for (auto& skin : model.skins)
        remap(skin.inverseBindMatrices);
    for (auto& animation : model.animations)
        for (auto& sampler : animation.samplers) {
            remap(sampler.input);
            remap(sampler.output);
        }
    model.accessors = std::move(accessors);

    // The views still used, their bytes copied into a new buffer in order.
    std::vector<int> view_map(model.bufferViews.size(), -1);
    auto use_view = [&](int v) {
        if (v >= 0 && static_cast<std::size_t>(v) < view_map.size())
            view_map[static_cast<std::size_t>(v)] = 0;
    };
    for (auto const& accessor : model.accessors) {
        use_view(accessor.bufferView);
        if (accessor.sparse.isSparse) {
            use_view(accessor.sparse.indices.bufferView);
            use_view(accessor.sparse.values.bufferView);
        }
    }
    for (auto const& image : model.images)
        use_view(image.bufferView);
    std::vector<unsigned char> data;
    std::vector<tinygltf::BufferView> views;
    for (std::size_t v = 0; v < view_map.size(); ++v) {
        if (view_map[v] != 0)
            continue;
        tinygltf::BufferView view = model.bufferViews[v];
        if (view.buffer < 0 || static_cast<std::size_t>(view.buffer) >= model.buffers.size())
            return;  // a view of no buffer: leave the model as it is
        std::vector<unsigned char> const& old_data = model.buffers[static_cast<std::size_t>(view.buffer)].data;
        if (view.byteOffset + view.byteLength > old_data.size())
            return;  // a view past its buffer: leave the model as it is
        while (data.size() % 4 != 0)
            data.push_back(0);
        data.insert(data.end(), old_data.begin() + static_cast<long>(view.byteOffset),
                    old_data.begin() + static_cast<long>(view.byteOffset + view.byteLength));
        view.byteOffset = data.size() - view.byteLength;
        view.buffer = 0;
        view_map[v] = static_cast<int>(views.size());
        views.push_back(view);
    }
    auto remap_view = [&](int& v) {
        if (v >= 0 && static_cast<std::size_t>(v) < view_map.size())
            v = view_map[static_cast<std::size_t>(v)];
    };
    for (auto& accessor : model.accessors) {
        remap_view(accessor.bufferView);
        if (accessor.sparse.isSparse) {
            remap_view(accessor.sparse.indices.bufferView);
            remap_view(accessor.sparse.values.bufferView);
        }
    }
    for (auto& image : model.images)
        remap_view(image.bufferView);
    model.bufferViews = std::move(views);
    model.buffers.resize(1);
    model.buffers[0].data = std::move(data);
}

}  // namespace

namespace {

// The Khronos validator's test of a vertex's weights as they are written
// (floats): summed in float in order, within 2e-7 of 1 for each weight that
// is not 0.
bool validator_sum_is_one(std::vector<std::pair<std::size_t, double>> const& influences)
{
    float sum = 0;
    double tolerance = 0;
    for (auto const& influence : influences) {
        float const weight = static_cast<float>(influence.second);
        if (weight != 0) {
            sum = sum + weight;
            tolerance += 2e-7;
        }
    }
    return std::fabs(static_cast<double>(sum) - 1.0) <= tolerance;
}

}  // namespace

Gltf_skin_notes write_gltf_skins(Model_scene& scene, std::string const& model_path, std::string const& out_path,
                                 Gltf_weights const& how)
{
    tinygltf::Model model;
    load_gltf_model(model, model_path);
    if (model.buffers.empty())
        throw host_error(model_path + " has no buffer");

    // The scene from-gltf makes of the model, beside the given one: shapes
    // at the same place in scene order are the same node's.
    // Its shapes alone: only which shape is which node's matters here.
    Model_scene fresh(scene.services());
    Gltf_shapes made;
    build_gltf_scene(fresh, model, gltf_model_name(model_path), &made, Gltf_build::structure);
    std::map<Model_shape const*, std::size_t> fresh_vertices;
    for (std::size_t n = 0; n < made.meshes.size(); ++n)
        if (made.meshes[n])
            fresh_vertices[made.meshes[n]] = made.vertex_counts[n];
    std::vector<Model_shape*> const ours = fresh.shapes_in_order();
    std::vector<Model_shape*> const theirs = scene.shapes_in_order();
    if (ours.size() != theirs.size())
        throw host_error("the scene is not the one from-gltf makes of " + model_path);
    std::map<Model_shape const*, Model_shape*> to_fresh;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        auto const counted = fresh_vertices.find(ours[i]);
        if (!same_shape(*ours[i], counted == fresh_vertices.end() ? 0 : counted->second, *theirs[i]))
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

    // A mesh that several skinned nodes share is copied for a node whose
    // skins differ from those of every node that wrote it before.
    std::vector<tinygltf::Mesh> const original_meshes = model.meshes;
    std::map<int, std::vector<std::pair<int, std::vector<Influences>>>> written;  // original mesh -> (mesh, skins)
    Gltf_skin_notes notes;
    std::size_t without_influence = 0, bad_weights = 0;
    std::string first_without, first_bad;
    std::vector<std::pair<std::size_t, double>> vertex_influences;  // one vertex's, reused
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
        std::map<int, std::size_t> slot_of;  // node index -> place in the skin's joints
        for (std::size_t j = 0; j < skin.joints.size(); ++j)
            slot_of.emplace(skin.joints[j], j);
        // A joint's place in the skin, looked up once per joint, not per binding.
        std::unordered_map<shape_class const*, std::ptrdiff_t> slots;
        auto slot_for = [&](shape_class* joint) {
            auto [at, added] = slots.try_emplace(joint, -1);
            if (added) {
                auto const fresh_joint = to_fresh.find(static_cast<Model_shape*>(joint));
                auto const joint_node = fresh_joint == to_fresh.end() ? node_of.end() : node_of.find(fresh_joint->second);
                auto const slot = joint_node == node_of.end() ? slot_of.end() : slot_of.find(joint_node->second);
                if (slot != slot_of.end())
                    at->second = static_cast<std::ptrdiff_t>(slot->second);
            }
            return at->second;
        };

        tinygltf::Mesh const& original = original_meshes.at(static_cast<std::size_t>(node.mesh));
        std::vector<Influences> skins;  // per primitive with positions
        std::size_t first = 0;
        for (tinygltf::Primitive const& primitive : original.primitives) {
            auto const position = primitive.attributes.find("POSITION");
            if (position == primitive.attributes.end())
                continue;
            std::size_t const count = model.accessors.at(static_cast<std::size_t>(position->second)).count;
            if (first + count > shape->vertices.size())
                throw host_error("the scene is not the one from-gltf makes of " + model_path);
            Influences influences;
            influences.starts.reserve(count + 1);
            for (std::size_t v = 0; v < count; ++v) {
                Model_skin const& vertex_skin = shape->vertices[first + v].skin;
                auto vertex = [&] { return "vertex " + std::to_string(first + v) + " of " + path_of(shape); };
                double sum = 0;  // in float, 3e38 + 3e38 would be infinite
                bool bad = false, merged = false;
                for (auto const& b : vertex_skin.bindings()) {
                    sum += b.weight;
                    bad = bad || !std::isfinite(b.weight) || b.weight < 0;
                }
                if (bad && bad_weights++ == 0)
                    first_bad = vertex();
                if (!bad && !(sum > 0) && without_influence++ == 0)
                    first_without = vertex();
                vertex_influences.clear();
                for (auto const& b : vertex_skin.bindings()) {
                    std::ptrdiff_t const slot = slot_for(b.joint);
                    if (slot < 0)
                        throw Inexpressible_skin(vertex() + " is bound to " + path_of(static_cast<Model_shape*>(b.joint)) +
                                                 ", which is not a joint of the model's skin");
                    // glTF allows a joint once a vertex: a second binding adds to the first.
                    auto same = std::find_if(vertex_influences.begin(), vertex_influences.end(),
                                             [&](auto const& i) { return i.first == static_cast<std::size_t>(slot); });
                    if (same == vertex_influences.end()) {
                        vertex_influences.emplace_back(static_cast<std::size_t>(slot), static_cast<double>(b.weight));
                    } else {
                        same->second += b.weight;
                        merged = true;
                    }
                }
                if (merged && notes.merged++ == 0)
                    notes.first_merged = vertex();
                if (!bad && sum > 0) {
                    std::size_t const limited = notes.shaping.limited, pruned = notes.shaping.pruned;
                    shape_influences(vertex_influences, how, notes.shaping);
                    if (notes.shaping.limited > limited && limited == 0)
                        notes.first_limited = vertex();
                    if (notes.shaping.pruned > pruned && pruned == 0)
                        notes.first_pruned = vertex();
                    if (how.form == Gltf_weights::Form::floats && !validator_sum_is_one(vertex_influences) &&
                        notes.off_sum++ == 0)
                        notes.first_off_sum = vertex();
                }
                influences.add(vertex_influences);
            }
            skins.push_back(std::move(influences));
            first += count;
        }

        auto& writers = written[node.mesh];
        auto const same = std::find_if(writers.begin(), writers.end(), [&](auto const& w) { return w.second == skins; });
        if (same != writers.end()) {
            node.mesh = same->first;
            continue;
        }
        if (!writers.empty()) {
            model.meshes.push_back(original);
            node.mesh = static_cast<int>(model.meshes.size() - 1);
        }
        tinygltf::Mesh& mesh = model.meshes.at(static_cast<std::size_t>(node.mesh));
        std::size_t p = 0;
        for (tinygltf::Primitive& primitive : mesh.primitives) {
            if (primitive.attributes.find("POSITION") == primitive.attributes.end())
                continue;
            Influences const& influences = skins[p++];
            std::size_t const count = influences.count();
            std::size_t most = 0;
            for (std::size_t v = 0; v < count; ++v)
                most = std::max(most, influences.size(v));
            for (auto it = primitive.attributes.begin(); it != primitive.attributes.end();)
                it = it->first.rfind("JOINTS_", 0) == 0 || it->first.rfind("WEIGHTS_", 0) == 0
                         ? primitive.attributes.erase(it)
                         : std::next(it);
            std::size_t const sets = std::max<std::size_t>(1, (most + 3) / 4);
            bool const small = skin.joints.size() <= 256;
            // Quantised weights sum exactly to the form's whole, vertex by vertex.
            std::uint32_t const whole = how.form == Gltf_weights::Form::u8 ? 255 : 65535;
            std::vector<std::uint32_t> steps(how.form == Gltf_weights::Form::floats ? 0 : influences.values.size());
            std::vector<double> exact;
            for (std::size_t v = 0; !steps.empty() && v < count; ++v) {
                exact.clear();
                for (std::size_t k = 0; k < influences.size(v); ++k)
                    exact.push_back(influences.at(v, k).second);
                quantise_weights(exact.data(), exact.size(), whole, steps.data() + influences.starts[v]);
            }
            std::size_t const joint_size = small ? 1 : 2;
            std::size_t const weight_size = how.form == Gltf_weights::Form::floats ? 4 : how.form == Gltf_weights::Form::u16 ? 2 : 1;
            for (std::size_t set = 0; set < sets; ++set) {
                std::vector<unsigned char> joints(count * 4 * joint_size), weights(count * 4 * weight_size);
                unsigned char* joint_at = joints.data();
                unsigned char* weight_at = weights.data();
                for (std::size_t v = 0; v < count; ++v)
                    for (std::size_t c = 0; c < 4; ++c) {
                        std::size_t const k = set * 4 + c;
                        bool const here = k < influences.size(v);
                        std::size_t const slot = here ? influences.at(v, k).first : 0;
                        if (small)
                            put(joint_at, static_cast<std::uint8_t>(slot));
                        else
                            put(joint_at, static_cast<std::uint16_t>(slot));
                        std::uint32_t const step = here && !steps.empty() ? steps[influences.starts[v] + k] : 0;
                        if (how.form == Gltf_weights::Form::floats)
                            put(weight_at, here ? static_cast<float>(influences.at(v, k).second) : 0.0f);
                        else if (how.form == Gltf_weights::Form::u16)
                            put(weight_at, static_cast<std::uint16_t>(step));
                        else
                            put(weight_at, static_cast<std::uint8_t>(step));
                    }
                primitive.attributes["JOINTS_" + std::to_string(set)] = add_vec4_accessor(
                    model, joints,
                    small ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE : TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, count);
                int const weight_type = how.form == Gltf_weights::Form::floats ? TINYGLTF_COMPONENT_TYPE_FLOAT
                                        : how.form == Gltf_weights::Form::u16  ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT
                                                                               : TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
                int const accessor = add_vec4_accessor(model, weights, weight_type, count);
                model.accessors.back().normalized = how.form != Gltf_weights::Form::floats;
                primitive.attributes["WEIGHTS_" + std::to_string(set)] = accessor;
            }
        }
        writers.emplace_back(node.mesh, std::move(skins));
    }
    // glTF has no skin for a vertex without influence, nor for a weight that
    // is negative or not a number: such a file would not be valid.
    if (bad_weights > 0)
        throw Inexpressible_skin(std::to_string(bad_weights) + " vertices have weights that are negative or not finite "
                                 "(the first: " + first_bad + ")");
    if (without_influence > 0)
        throw Inexpressible_skin(std::to_string(without_influence) + " vertices of skinned meshes have no influence, "
                                 "no binding or weights that sum to 0 (the first: " + first_without + ")");
    drop_unused(model);

    // The .glb stands alone: images that were files beside the model go
    // into its buffer, as they are (they are never decoded).
    for (tinygltf::Image& image : model.images) {
        if (image.bufferView < 0 && image.uri.empty() && !image.image.empty()) {
            // Bytes of a data: URI, as they were.
            image.bufferView = append_view(model, image.image.data(), image.image.size(), 0);
            image.image.clear();
            continue;
        }
        if (image.uri.empty() || image.uri.rfind("data:", 0) == 0)
            continue;
        std::vector<char> const bytes = read_model_image(model_path, image.uri);
        // Embedded only as what its bytes are, never as what its name claims.
        std::string const type = image_type(bytes);
        if (type.empty())
            throw host_error("refused the image " + image.uri + ": its bytes are not a PNG, JPEG or WebP image");
        image.bufferView =
            append_view(model, reinterpret_cast<unsigned char const*>(bytes.data()), bytes.size(), 0);
        image.mimeType = type;
        image.uri.clear();
    }
    // The first buffer becomes the .glb's binary chunk.
    model.buffers[0].uri.clear();
    // tinygltf's own file writer does not look at its stream: a full disk
    // would pass for a written file. Every write and the close are checked.
    std::ofstream file(out_path, std::ios::binary);
    if (!file)
        throw host_error("cannot write " + out_path + ": " + std::strerror(errno));
    tinygltf::TinyGLTF writer;
    errno = 0;
    bool const serialised = writer.WriteGltfSceneToStream(&model, file, false, true);
    bool const flushed = serialised && file.flush().good();
    int const error = errno;
    file.close();
    if (!flushed || file.fail())
        throw host_error("cannot write " + out_path + ": " +
                         (!serialised ? std::string("the model could not be serialised")
                                      : std::strerror(error ? error : EIO)));
    return notes;
}

}  // namespace host

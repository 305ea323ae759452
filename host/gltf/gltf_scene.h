// The glTF room (host/gltf): rigged glTF models into the scene model and
// back out. It uses the model and files rooms; the model never uses it.
//
// Real rigged models into the host's scene: a glTF file's node tree becomes
// parts (the joints of its skins rotators), each skinned mesh a polygon mesh
// whose vertices are bound to those joints with the file's weights.
#pragma once

#include <string>
#include <vector>

#include "scene_model.h"

namespace tinygltf {
class Model;
}

namespace host {

// What the builder made of each node of a model: its shape, the shape of its
// mesh (null for a node without one) and that mesh's vertex count, by node index.
struct Gltf_shapes {
    std::vector<Model_shape*> nodes;
    std::vector<Model_shape*> meshes;
    std::vector<std::size_t> vertex_counts;
};

// Whole: meshes with their vertices, triangles and skins. Structure: the
// shapes alone, meshes without vertices (their counts in Gltf_shapes), for
// what only needs to know which shape is which node's.
enum class Gltf_build { whole, structure };

// Reads a .gltf or .glb file (images are not decoded); throws host_error.
void load_gltf_model(tinygltf::Model& model, std::string const& path);
// The name of the part that holds a model's scene: the file's name without its folder and extension.
std::string gltf_model_name(std::string const& path);
// Replaces the scene with the model, all of it in one part named name, which is selected.
void build_gltf_scene(Model_scene& scene, tinygltf::Model const& model, std::string const& name, Gltf_shapes* made,
                      Gltf_build what = Gltf_build::whole);

// Replaces the scene with the model of a .gltf or .glb file, all of it in one
// part named after the file that is selected; throws host_error when the file cannot be read.
void read_gltf_scene(Model_scene& scene, std::string const& path);
// The same from the bytes of a .gltf (without external buffers) or .glb file.
void read_gltf_scene_from_memory(Model_scene& scene, std::string const& bytes, std::string const& name);

}  // namespace host

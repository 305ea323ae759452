// Real rigged models into the host's scene: a glTF file's node tree becomes
// parts (the joints of its skins rotators), each skinned mesh a polygon mesh
// whose vertices are bound to those joints with the file's weights.
#pragma once

#include <string>

#include "scene_model.h"

namespace host {

// Replaces the scene with the model of a .gltf or .glb file, all of it in one
// part named after the file that is selected; throws host_error when the file cannot be read.
void read_gltf_scene(Model_scene& scene, std::string const& path);
// The same from the bytes of a .gltf (without external buffers) or .glb file.
void read_gltf_scene_from_memory(Model_scene& scene, std::string const& bytes, std::string const& name);

}  // namespace host

// Scenes as pipelines hold them: a scene file of the reference host, or a
// rigged glTF model (.gltf or .glb), read as from-gltf reads it; and back, a
// scene file, or a .glb written as to-gltf writes it with the model the
// scene was read from as its template.
#pragma once

#include <string>
#include <vector>

#include "output_file.h"
#include "request.h"
#include "scene_model.h"

namespace tools {

bool is_gltf_model(std::string const& path);

// Reads the scene; a selection given (shape paths, or "none") replaces the
// one it comes with. Throws naming a path that names no shape.
void read_any_scene(host::Model_scene& scene, std::string const& path, std::vector<std::string> const& select = {});

// Refuses (before anything is read) a .glb output of a scene that is not a model.
void refuse_glb_without_model(std::string const& scene_path, std::string const& out_path);

// Writes the scene to out: a .glb when out's path ends in .glb (the scene
// must have been read from the model at model_path), else a scene file.
// Gives false, having said why, when glTF cannot carry a skin of the scene.
bool write_any_scene(host::Model_scene& scene, Output_file& out, std::string const& model_path, bool pretty,
                     Glb_weights const& glb);

// The model at model_path written to out as a .glb with the scene's vertex
// skins, each vertex's weights shaped as glb asks; false,
// having said why, when glTF cannot carry a skin of the scene (nothing is
// written), or when weights that do not sum to 1 were written as they are.
bool write_model(host::Model_scene& scene, Output_file& out, std::string const& model_path, Glb_weights const& glb);

}  // namespace tools

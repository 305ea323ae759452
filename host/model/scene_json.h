// Scene files of the reference host: a JSON description of a whole scene
// (shapes of every kind, matrices, points, skins, selection, memory).
// The format is documented in docs/scene-format.md.
#pragma once

#include <string>

#include "scene_model.h"

namespace host {

// Replaces the scene's contents; throws host_error with the position of the fault.
void read_scene(Model_scene& scene, std::string const& json_text);
void read_scene_file(Model_scene& scene, std::string const& path);
// Compact, one line; pretty: indented by two spaces.
std::string write_scene(Model_scene& scene, bool pretty = false);
void write_scene_file(Model_scene& scene, std::string const& path, bool pretty = false);

// The shape a reference names: "@id" or a path of names from the root, "root/arm/hand".
Model_shape* find_shape(Model_scene& scene, std::string const& reference);

}  // namespace host

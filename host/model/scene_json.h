// Scene files of the reference host: a JSON description of a whole scene
// (shapes of every kind, matrices, points, skins, selection, memory).
// The format is documented in docs/scene-format.md.
#pragma once

#include <string>
#include <string_view>

#include "scene_model.h"

namespace host {

// Replaces the scene's contents; throws host_error with the position of the fault.
// Which parser reads the text: RapidJSON's, which hands anything it cannot
// take exactly alike (a syntax error, a number out of range) to nlohmann's,
// or nlohmann's alone, the reference the first is tested against.
enum class Scene_parser { fast, reference };
void read_scene(Model_scene& scene, std::string_view json_text, Scene_parser parser = Scene_parser::fast);
void read_scene_file(Model_scene& scene, std::string const& path);
// Compact, one line; pretty: indented by two spaces.
std::string write_scene(Model_scene& scene, bool pretty = false);
void write_scene_file(Model_scene& scene, std::string const& path, bool pretty = false);

// The shape a reference names: "@id" or a path of names from the root, "root/arm/hand".
Model_shape* find_shape(Model_scene& scene, std::string const& reference);

}  // namespace host

// What the scene file's reader and writer share: the kind words, the error
// that names where a file is wrong, names as text or hex, and numbers as a
// scene file writes them.
#pragma once

#include <string>

#include <map>

#include <nlohmann/json.hpp>

#include "faults.h"
#include "math.h"
#include "scene_model.h"
#include "vantelids.h"

namespace host {
namespace scene_file {

using json = nlohmann::json;
// What the reader parses: numbers straight to float (strtof), so that every
// float the writer writes as its shortest text reads back to the same bits;
// through a double, such a text can round to the float's neighbour.
using json_in = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, float>;

struct Kind {
    char const* word;
    int type;
    int part_type;
};

// The kind words of scene files: the skin file's words, plus raw codes.
inline constexpr Kind kinds[] = {
    {"part", shape_type_part, part_plain},       {"surface", shape_type_part, part_surface},
    {"rotator", shape_type_part, part_rotator},  {"slider", shape_type_part, part_slider},
    {"scale", shape_type_part, part_scale},      {"uniscale", shape_type_part, part_uniscale},
    {"light_joint", shape_type_part, part_light_joint}, {"path", shape_type_part, part_path},
    {"morph", shape_type_part, part_morph},      {"custom", shape_type_part, part_custom},
    {"ball", shape_type_part, part_ball},        {"camera", shape_type_part, part_camera},
    {"link", shape_type_part, part_link},        {"light", shape_type_light, -1},
    {"line", shape_type_line, -1},               {"sphere", shape_type_sphere, -1},
    {"disk", shape_type_disk, -1},               {"polygon", shape_type_polygon_mesh, -1},
};

class Scene_error : public host_error {
public:
    Scene_error(std::string const& where, std::string const& what) : host_error("scene file, at " + where + ": " + what) {}
};

std::string hex_of(std::string const& bytes);
std::string bytes_of_hex(std::string const& hex, std::string const& where);
bool is_valid_utf8(std::string const& s);
float read_float(json_in const& value, std::string const& where);
json write_float(float f);
vec3 read_vec3(json_in const& value, std::string const& where);
json write_vec3(vec3 const& v);
Model_shape* find_by_id(Model_shape& shape, std::string const& id);
Model_shape* find_by_path(Model_shape& shape, std::string const& path);

}  // namespace scene_file
}  // namespace host

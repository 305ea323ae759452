// What a record or joint name that matched nothing may have meant, from the
// names of the scene: the same name but for case, or for a prefix or suffix
// that most of one rig carries (b_, mixamorig:, _jnt), or, along a joint's
// path, the one shape at that place that no name of the file claims. The
// unambiguous ones (one candidate each, no new name claimed twice) make a
// name map for the user to read and pass to --map.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "load_analysis.h"

namespace tools {

struct Rename {
    std::string from, to;
    bool shapes_only = false;  // a record's name, not a joint component
};

struct Suggestions {
    std::string report;  // a line for each name that matched nothing
    nlohmann::json entries = nlohmann::json::array();
    std::vector<Rename> map;  // the unambiguous renames
};

Suggestions suggest(host::Model_scene& scene, Load_account const& account);

// The map file of the unambiguous renames, with a header comment.
std::string map_text(Suggestions const& suggestions, std::string const& header);

}  // namespace tools

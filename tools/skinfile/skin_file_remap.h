// A skin file written again with its names mapped, in the same form: the
// bytes between names are copied as they stand, and a name no rule changes
// keeps its bytes, so a file the map does not touch comes out the same.
#pragma once

#include <stdexcept>
#include <string>

#include "name_map.h"

namespace tools {

// A mapped name the file's form cannot hold, or that the plug-in could not
// read back; nothing is written for it.
class Remap_refused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Remap_result {
    bool binary = false;
    std::size_t joints = 0, joints_renamed = 0;    // distinct joint names of the file
    std::size_t records = 0, records_renamed = 0;  // records
};

// Reads in_path and writes out_path. Throws Broken_file where the input
// breaks, Remap_refused for a name it cannot write, std::runtime_error when a
// file cannot be read or written.
Remap_result remap_skin_file(std::string const& in_path, std::string const& out_path, Name_map& map);

}  // namespace tools

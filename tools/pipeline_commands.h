// The commands of tavrik-host for a rigging pipeline: a look inside a skin
// file, and a dry run of "Load skin" that says what a load would bind and
// lose, and why.
#pragma once

#include <map>
#include <string>

#include "library.h"

namespace tools {

// Prints the file's form, record tree, joints and weight checks; exit code
// 0, or 2 for a broken file (reported with where it breaks).
int inspect(std::string const& path, bool json);

// A dry run of "Load skin" of file into the scene through the real plug-in,
// with the load dialog's items; nothing is written. Exit code 0 when every
// record and joint resolves, 1 when something would be lost, 2 on error.
int check(host::Plugin const& plugin, int language, std::string const& scene_path, std::string const& file,
          std::map<int, int> const& items, bool json);

}  // namespace tools

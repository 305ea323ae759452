// The commands of tavrik-host that run the plug-in on a scene file: its menu,
// "Save skin", "Load skin", the three menu commands, and show.
#pragma once

#include <map>
#include <string>

#include "request.h"

namespace tools {

// Runs command; gives its exit status. Throws on failures to read or write.
int run_scene_command(std::string const& command, Request const& request);

// The load dialog's items from the load options.
std::map<int, int> load_items(Request const& request);
// The save dialog's items from the save options.
std::map<int, int> save_items(Request const& request);

}  // namespace tools

// The commands of tavrik-host that run the plug-in on a scene file: its menu,
// "Save skin", "Load skin", the three menu commands, and show.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "command.h"
#include "request.h"

namespace tools {

// menu, save, load, clear, joint-clear, reset, show. Each run gives its exit
// status and throws on failures to read or write.
std::vector<Command> scene_commands();

// The load dialog's items from the load options.
std::map<int, int> load_items(Request const& request);
// The save dialog's items from the save options.
std::map<int, int> save_items(Request const& request);

}  // namespace tools

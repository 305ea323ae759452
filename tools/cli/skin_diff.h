// tavrik-host diff A B: two skin files, or a skin file and a scene, compared
// record by record and point by point, walking both side by side in memory
// that holds the joint tables and one record of each.
#pragma once

#include <vector>

#include "command.h"

namespace tools {

// Exit 0 the same, 1 different, 2 an input that cannot be read.
int diff(Request const& request, double tolerance);

std::vector<Command> diff_commands();

}  // namespace tools

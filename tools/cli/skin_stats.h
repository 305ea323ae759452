// tavrik-host stats FILE|SCENE: how the skins of a file, or of a scene as a
// save writes them, are made: points bound, influences per point, the most
// influenced point, joints by bound points and weight, joints no skin uses
// (a scene), and the weights to look at (not summing to 1, negative, not finite).
#pragma once

#include <vector>

#include "command.h"

namespace tools {

// Exit 0, or 2 for an input that cannot be read.
int stats(Request const& request);

std::vector<Command> stats_commands();

}  // namespace tools

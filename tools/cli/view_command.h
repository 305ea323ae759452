// tavrik-host view SOURCE OUT.html: one self-contained page that shows a
// scene's or model's meshes coloured by their skins (a joint's weights, the
// dominant joint, the number of influences, sums that are not 1, vertices
// without influence, and with --compare the size of the change), with the
// joints over them. The page's sources are files of their own (tools/view),
// built into the tool.
#pragma once

#include <vector>

#include "command.h"

namespace tools {

std::vector<Command> view_commands();

}  // namespace tools

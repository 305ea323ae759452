// tavrik-host transfer SOURCE TARGET OUT: the skins of SOURCE's meshes
// carried onto TARGET's by position (by index, by the nearest point, or by
// that within a distance and an angle with the rest inpainted), TARGET with
// them written to OUT, and a report per shape of what was matched and what
// inferred.
#pragma once

#include <vector>

#include "command.h"

namespace tools {

std::vector<Command> transfer_commands();

}  // namespace tools

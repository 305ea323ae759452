// The commands of tavrik-host between scene files and glTF models.
#pragma once

#include <vector>

#include "command.h"

namespace tools {

// from-gltf MODEL OUT and to-gltf SCENE MODEL GLB.
std::vector<Command> gltf_commands();

}  // namespace tools

// The commands of tavrik-host between scene files and glTF models.
#pragma once

#include <string>

#include "request.h"

namespace tools {

// from-gltf MODEL OUT, to-gltf SCENE MODEL OUT; gives the exit status.
int run_gltf_command(std::string const& command, Request const& request);

}  // namespace tools

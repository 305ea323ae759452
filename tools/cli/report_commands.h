// The commands of tavrik-host that report on skin files for a rigging
// pipeline: a look inside a file, and a dry run of "Load skin" that says what
// a load would bind and lose, and why. Reports go to standard output (text,
// or JSON with a version field); errors to standard error, and with --json
// also as an error object on standard output.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "library.h"
#include "command.h"
#include "map_commands.h"
#include "request.h"

namespace tools {

// The file's form, record tree, joints and weight checks. Exit code 0, or 2
// for a file that cannot be read or is broken (reported with where it breaks).
int inspect(std::string const& name, std::string const& path, bool json);

// A dry run of "Load skin" of file into the scene through the real plug-in,
// with the load dialog's items; nothing is written. Exit code 0 when every
// record and joint resolves, 1 when something would be lost, 2 on error.
// With a name map, the report names the mapped names and what each rule changed.
// With --suggest-map, the unambiguous suggestions are written as a name map.
int check(host::Plugin const& plugin, Request const& request, Mapped_input const& file, std::string const& suggest_map);

// check and inspect.
std::vector<Command> report_commands();

}  // namespace tools

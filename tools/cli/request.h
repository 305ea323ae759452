// What a tavrik-host command line asks for, as the parser fills it in.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace tools {

// How a command that writes a .glb gives each vertex's weights.
struct Glb_weights {
    bool normalize = false;          // divided by their sum
    std::size_t max_influences = 0;  // 0: all of them
    double prune = 0;                // weights below this dropped
    std::string form = "float";      // float, u16 or u8
};

// The options every command may take, and the kinds several share; an
// option of one command family is declared and kept by that family.
struct Request {
    std::string plugin;
    int language = 1033;
    bool quiet = false;
    bool pretty = false;             // scene files indented
    std::string resources;           // the folder below which models' buffers and images may lie
    std::vector<std::string> select;  // shape paths that replace the scene's selection ("none": nothing)
    bool cancel = false;              // the dialog or question cancelled
    bool json = false;                // the report as JSON
    std::string map;                  // a name map for the skin file's names
    Glb_weights glb;                  // for an output that is a .glb
    std::vector<std::string> files;   // the command's positional arguments, in order
    std::vector<std::string> roles;   // what each of them is: SCENE, FILE, OUT, ...
    std::map<std::string, std::string> options;  // the dialogs' answers by option name
};

// The exit statuses of every command.
enum Exit : int {
    exit_done = 0,      // done, nothing lost
    exit_lost = 1,      // done or refused, with something lost or refused
    exit_failed = 2,    // could not be done: usage, unreadable input, a failed write
};

}  // namespace tools

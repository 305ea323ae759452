// What a tavrik-host command line asks for, as the parser fills it in.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tools {

struct Request {
    std::string plugin;
    int language = 1033;
    bool quiet = false;
    bool cancel = false;
    bool json = false;
    bool normalize = false;
    bool strict = false;
    bool pretty = false;  // scene files indented
    std::string map;      // a name map for the skin file's names
    std::string resources;  // the folder below which models' buffers and images may lie
    std::vector<std::string> select;
    std::string suggest_map;
    double tolerance = 1e-6;  // diff: weights closer than this are the same  // where check writes its suggested name map  // shape paths that replace the scene's selection ("none": nothing)
    std::vector<std::string> files;  // the command's positional arguments, in order
    std::map<std::string, std::string> options;
};

// The exit statuses of every command.
enum Exit : int {
    exit_done = 0,      // done, nothing lost
    exit_lost = 1,      // done or refused, with something lost or refused
    exit_failed = 2,    // could not be done: usage, unreadable input, a failed write
};

}  // namespace tools

// A command of tavrik-host as its family declares it: its word and help, its
// positionals and options on the parser, and what runs it. Each family of
// commands gives its own from the file that runs them, so a new command is a
// new entry in the table of families and touches no shared function.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "request.h"

namespace tools {

// The parser of one command, with the kinds of argument commands share; each
// fills the request.
class Declaration {
public:
    Declaration(CLI::App& command, Request& request) : command(command), request(request) {}

    // Positional files by their role (SCENE, FILE, OUT, ...); the first
    // `inputs` must exist (FILE may be - for standard input).
    void positional(std::vector<std::string> const& roles, std::size_t inputs);
    // --NAME WORD, one of words, as the dialog's answer.
    void choice(std::string const& name, std::vector<std::string> const& words, std::string const& help);
    void cancel();
    void json();
    CLI::Option* map();
    // The load dialog's choices, and the save dialog's for a scene read as skins.
    void load_choices();
    void save_choices();
    // How an output that is a .glb gives each vertex's weights.
    void glb_weights();

    CLI::App& command;
    Request& request;
    std::vector<std::string> roles;  // of the positionals, in order
};

struct Command {
    std::string name;
    std::string help;
    std::function<void(Declaration&)> declare;
    std::function<int(Request const&)> run;
};

extern std::vector<std::string> const no_yes;

}  // namespace tools

// The reference host on the command line: loads the plug-in, shows its menu,
// and runs "Save skin", "Load skin" and the three commands on scene files.
// Exit status: 0 done and nothing lost, 1 done or refused with something lost
// or refused, 2 could not be done. Data goes to standard output, everything
// else to standard error.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "command.h"
#include "gltf_commands.h"
#include "gltf_resources.h"
#include "json_report.h"
#include "library.h"
#include "map_commands.h"
#include "output_file.h"
#include "report_commands.h"
#include "request.h"
#include "scene_commands.h"
#include "skin_diff.h"
#include "skin_stats.h"
#include "skin_file_reader.h"
#include "transfer_command.h"
#include "view_command.h"

namespace {

using tools::Request;

// The families of commands, in the order help lists them. A family declares
// and runs its own commands; a new family is a new line here.
std::vector<tools::Command> all_commands()
{
    std::vector<tools::Command> commands;
    for (auto family : {tools::scene_commands, tools::report_commands, tools::map_commands, tools::diff_commands,
                        tools::stats_commands, tools::gltf_commands, tools::transfer_commands, tools::view_commands})
        for (tools::Command& command : family())
            commands.push_back(std::move(command));
    return commands;
}

int run_command(tools::Command const& command, std::vector<std::string> const& roles, Request const& request)
try {
    return command.run(request);
} catch (tools::Remap_refused const& e) {
    // A map that would give a name the file cannot hold: refused, nothing loaded.
    std::cerr << "tavrik-host: " << e.what() << "; nothing done\n";
    return tools::exit_lost;
} catch (tools::Broken_file const& e) {
    auto const file = std::find(roles.begin(), roles.end(), "FILE");
    std::cerr << "tavrik-host: cannot map the names of "
              << (file != roles.end() ? request.files.at(static_cast<std::size_t>(file - roles.begin())) : "the file")
              << ": it breaks at " << e.what() << "\n";
    return tools::exit_failed;
} catch (std::exception const& e) {
    // A report asked for as JSON says even that it could not be made in JSON.
    if (!request.json)
        throw;
    std::cout << tools::dump_report(tools::error_report("unreadable", e.what())) << "\n";
    return tools::exit_failed;
}

int run(int argc, char** argv)
{
    Request request;
    request.plugin = host::default_plugin_path(argv[0]);
    std::vector<tools::Command> const commands = all_commands();
    std::string command_list = "commands: ";
    for (tools::Command const& command : commands)
        command_list += command.name + ", ";
    command_list += "help (tavrik-host COMMAND --help for each)";

    CLI::App app{"The reference host of the tavrik plug-in: its menu, \"Save skin\", \"Load skin\" and the three "
                 "commands on scene files. Options not given keep the dialog's defaults."};
    app.name("tavrik-host");
    app.require_subcommand(0, 1);
    bool version = false;
    app.add_flag("--version", version, "the tool's and the plug-in's version");
    app.footer(command_list + "\nexit status: 0 done and nothing lost, 1 done or refused with something lost or "
                              "refused, 2 could not be done");
    app.fallthrough();
    app.add_option("--plugin", request.plugin, "the plug-in library")->check(CLI::ExistingFile);
    app.add_option("--lang", request.language, "the user's language")->check(CLI::IsMember({1033, 1041}));
    app.add_flag("--quiet", request.quiet, "no messages of the plug-in, no progress bar, no summary");
    app.add_flag("--pretty", request.pretty, "scene files written indented (compact otherwise)");
    app.add_option("--resources", request.resources,
                   "the folder below which a .gltf model's buffers and images may lie (default: the model's own folder)")
        ->check(CLI::ExistingDirectory);
    app.add_option("--select", request.select,
                   "a shape path that replaces the scene's selection for the run (repeatable; none: nothing selected)")
        ->take_all()
        ->allow_extra_args(false);

    // Each command's parser, with the roles of its positionals.
    std::vector<std::pair<CLI::App*, std::vector<std::string>>> parsers;
    for (tools::Command const& command : commands) {
        CLI::App* parser = app.add_subcommand(command.name, command.help);
        tools::Declaration declaration(*parser, request);
        command.declare(declaration);
        parsers.emplace_back(parser, declaration.roles);
    }
    app.add_subcommand("help", "what the commands are");

    try {
        app.parse(argc, argv);
    } catch (CLI::ParseError const& e) {
        // An unknown command is named with the list of those there are.
        if (dynamic_cast<CLI::ExtrasError const*>(&e) && app.get_subcommands().empty()) {
            std::cerr << "tavrik-host: unknown command " << (argc > 1 ? argv[argc - 1] : "") << "\n"
                      << command_list << "\n";
            return tools::exit_failed;
        }
        int const code = app.exit(e);
        return code == 0 ? tools::exit_done : tools::exit_failed;
    }
    if (version) {
        host::Plugin plugin(request.plugin);
        plugin_info info{};
        plugin.get_info(&info, nullptr, nullptr);
        std::cout << "tavrik-host " << TAVRIK_VERSION << ", plug-in " << request.plugin << " " << info.major_version
                  << "." << info.minor_version << "." << info.micro_version << " build " << info.build_number << "\n";
        return tools::exit_done;
    }
    if (app.get_subcommands().empty() || app.get_subcommands().front()->get_name() == "help") {
        if (app.get_subcommands().empty()) {
            std::cerr << app.help();
            return tools::exit_failed;
        }
        std::cout << app.help();
        return tools::exit_done;
    }
    host::set_model_resource_root(request.resources);
    for (std::size_t i = 0; i < commands.size(); ++i)
        if (parsers[i].first == app.get_subcommands().front())
            return run_command(commands[i], parsers[i].second, request);
    return tools::exit_failed;
}

}  // namespace

int main(int argc, char** argv)
{
    int status = tools::exit_failed;
    try {
        status = run(argc, argv);
    } catch (std::exception const& e) {
        std::cerr << "tavrik-host: " << e.what() << "\n";
    }
    // Data that did not reach standard output is a command that failed.
    errno = 0;
    if (!std::cout.flush() || std::fflush(stdout) != 0) {
        std::cerr << "tavrik-host: cannot write standard output: " << std::strerror(errno ? errno : EIO) << "\n";
        return tools::exit_failed;
    }
    return status;
}

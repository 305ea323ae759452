// The reference host on the command line: loads the plug-in, shows its menu,
// and runs "Save skin", "Load skin" and the three commands on scene files.
// Exit status: 0 done and nothing lost, 1 done or refused with something lost
// or refused, 2 could not be done. Data goes to standard output, everything
// else to standard error.
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

#include "gltf_commands.h"
#include "json_report.h"
#include "gltf_resources.h"
#include "library.h"
#include "map_commands.h"
#include "output_file.h"
#include "report_commands.h"
#include "request.h"
#include "scene_commands.h"
#include "skin_diff.h"
#include "skin_stats.h"
#include "skin_file_reader.h"

namespace {

using tools::Request;

std::vector<std::string> const no_yes = {"no", "yes"};

std::string const command_list =
    "commands: menu, save, load, check, inspect, remap, diff, stats, clear, joint-clear, reset, show, from-gltf, to-gltf, help "
    "(tavrik-host COMMAND --help for each)";

int run_command(std::string const& command, Request const& request)
try {
    if (command == "inspect") {
        tools::Input_file file(request.files[0]);
        return tools::inspect(file.name() == "standard input" ? "-" : request.files[0], file.path(), request.json);
    }
    if (command == "check") {
        host::Plugin plugin(request.plugin);
        tools::Input_file file(request.files[1]);
        if (!request.suggest_map.empty())
            tools::refuse_same_file({request.files[0], request.files[1], request.map}, request.suggest_map);
        // Standard output holds one thing: the report or the map.
        if (request.json && request.suggest_map == "-")
            throw tools::File_error("--json and --suggest-map - would both write to standard output: give the map a file");
        tools::refuse_non_skin_file(file.path(), file.name());
        tools::Mapped_input mapped(file.path(), request.map);
        return tools::check(plugin, request, mapped);
    }
    if (command == "remap")
        return tools::remap(request);
    if (command == "diff")
        return tools::diff(request);
    if (command == "stats")
        return tools::stats(request);
    if (command == "from-gltf" || command == "to-gltf")
        return tools::run_gltf_command(command, request);
    return tools::run_scene_command(command, request);
} catch (tools::Remap_refused const& e) {
    // A map that would give a name the file cannot hold: refused, nothing loaded.
    std::cerr << "tavrik-host: " << e.what() << "; nothing done\n";
    return tools::exit_lost;
} catch (tools::Broken_file const& e) {
    std::cerr << "tavrik-host: cannot map the names of " << request.files.at(command == "remap" ? 0 : 1)
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

    std::map<std::string, std::string> const file_help = {
        {"SCENE", "a scene file (JSON), or a rigged .gltf or .glb model"},
        {"FILE", "a skin file (.vsk), or - for standard input"},
        {"OUT", "where the scene is written: a scene file (JSON), a .glb of the model read, or - for standard output"},
        {"MODEL", "a .gltf or .glb model"},
        {"GLB", "where the .glb is written (- for standard output)"},
        {"NEWFILE", "where the skin file is written (- for standard output)"},
        {"A", "a skin file, or a scene or model (its skins as a save writes them)"},
        {"B", "a skin file, or a scene or model (its skins as a save writes them)"},
        {"SOURCE", "a skin file, or a scene or model (its skins as a save writes them)"}};
    // A skin file to read may be standard input.
    CLI::Validator const existing_or_stdin(
        [](std::string& value) { return value == "-" ? std::string() : CLI::ExistingFile(value); }, "FILE");
    // Positional files; those the command reads must exist.
    auto positional = [&](CLI::App* command, std::vector<std::string> names, std::size_t inputs) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            CLI::Option* option = command
                                      ->add_option_function<std::string>(
                                          names[i],
                                          [&request, i](std::string const& value) {
                                              if (request.files.size() <= i)
                                                  request.files.resize(i + 1);
                                              request.files[i] = value;
                                          },
                                          file_help.at(names[i]))
                                      ->required();
            if (i < inputs)
                option->check(names[i] == "FILE" ? existing_or_stdin : CLI::ExistingFile);
        }
    };
    auto choice = [&](CLI::App* command, std::string const& name, std::vector<std::string> const& words,
                      std::string const& help) {
        command->add_option_function<std::string>(
                   "--" + name, [&request, name](std::string const& value) { request.options[name] = value; }, help)
            ->check(CLI::IsMember(words));
    };
    auto cancel = [&](CLI::App* command) { command->add_flag("--cancel", request.cancel, "cancel the dialog or question"); };

    app.add_subcommand("menu", "the plug-in's menu entries");
    CLI::App* save = app.add_subcommand("save", "\"Save skin\" of a scene into a skin file");
    positional(save, {"SCENE", "FILE"}, 1);
    choice(save, "range", {"all", "selected"}, "the shapes written");
    choice(save, "form", {"text", "binary"}, "the file's form");
    choice(save, "full-path", no_yes, "joints by full path names");
    choice(save, "trim", no_yes, "leading special characters cut from names");
    cancel(save);
    auto load_options = [&](CLI::App* command) {
        choice(command, "mode", {"newly", "overwrite"}, "replace skins or add to them");
        choice(command, "hold", no_yes, "hold points where they are");
        choice(command, "trim", no_yes, "ignore leading special characters of names");
        choice(command, "joints-outside", no_yes, "joints are searched from the root part");
    };
    CLI::App* load = app.add_subcommand(
        "load", "\"Load skin\" of a skin file; the scene is written to OUT. Exit 0 when everything bound, 1 when "
                "bindings or records were lost (OUT written unless --strict), 2 when the file could not be loaded "
                "whole (no OUT)");
    positional(load, {"SCENE", "FILE", "OUT"}, 2);
    load_options(load);
    choice(load, "verbose", no_yes, "the plug-in's trace");
    load->add_flag("--strict", request.strict, "write no OUT when anything was lost");
    auto map_option = [&](CLI::App* command) {
        return command->add_option("--map", request.map, "a name map applied to the file's names before it is read")
            ->check(CLI::ExistingFile);
    };
    map_option(load);
    cancel(load);
    CLI::App* check = app.add_subcommand(
        "check", "a dry run of \"Load skin\": what each record would bind, what it would lose and why; exit 0 "
                 "when everything resolves, 1 when something would be lost, 2 on error");
    // The reports check their inputs themselves, so that --json can say what is wrong.
    positional(check, {"SCENE", "FILE"}, 0);
    load_options(check);
    check->add_flag("--json", request.json, "the report as JSON");
    map_option(check);
    check->add_option("--suggest-map", request.suggest_map,
                      "write the unambiguous suggestions for names that match nothing as a name map");
    CLI::App* remap = app.add_subcommand(
        "remap", "the skin file written again in its form with its names mapped (byte for byte the same where no "
                 "rule applies); exit 1 when a new name cannot be written, nothing written");
    positional(remap, {"FILE", "NEWFILE"}, 1);
    map_option(remap)->required();
    auto save_choices = [&](CLI::App* command) {
        choice(command, "range", {"all", "selected"}, "for a scene: the shapes a save writes");
        choice(command, "full-path", no_yes, "for a scene: joints by full path names");
        choice(command, "trim", no_yes, "for a scene: leading special characters cut from names");
    };
    CLI::App* diff = app.add_subcommand(
        "diff", "two skin files, or a skin file and a scene, compared point by point; exit 0 the same, 1 different, "
                "2 error");
    positional(diff, {"A", "B"}, 0);
    save_choices(diff);
    diff->add_option("--tolerance", request.tolerance, "weights closer than this are the same (default 1e-6)")
        ->check(CLI::Validator(
            [](std::string& value) {
                char* end = nullptr;
                double const t = std::strtod(value.c_str(), &end);
                return end != value.c_str() && *end == 0 && std::isfinite(t) && t >= 0
                           ? std::string()
                           : "a tolerance is a finite number of 0 or more, not " + value;
            },
            "TOLERANCE"));
    diff->add_flag("--json", request.json, "the report as JSON");
    CLI::App* stats = app.add_subcommand(
        "stats", "influences per point, joints by bound points and weight, unused joints and weights to look at");
    positional(stats, {"SOURCE"}, 0);
    save_choices(stats);
    stats->add_flag("--json", request.json, "the report as JSON");
    CLI::App* inspect = app.add_subcommand(
        "inspect", "a skin file's form, records, joints and weight checks; exit 2 for a broken file");
    positional(inspect, {"FILE"}, 0);
    inspect->add_flag("--json", request.json, "the report as JSON");
    for (auto const& [name, help] : {std::pair<char const*, char const*>{"clear", "\"Clear skin\""},
                                     {"joint-clear", "\"joint clear in skins\""}}) {
        CLI::App* command = app.add_subcommand(name, help);
        positional(command, {"SCENE", "OUT"}, 1);
        choice(command, "hold", no_yes, "hold points where they are");
        choice(command, "active-only", no_yes, "only the active points");
        cancel(command);
    }
    CLI::App* reset = app.add_subcommand("reset", "\"Reset transformation\"");
    positional(reset, {"SCENE", "OUT"}, 1);
    cancel(reset);
    CLI::App* show_command = app.add_subcommand("show", "the skins of a scene, point by point");
    positional(show_command, {"SCENE"}, 1);
    CLI::App* gltf = app.add_subcommand("from-gltf", "a rigged .gltf or .glb model as a scene file");
    positional(gltf, {"MODEL", "OUT"}, 1);
    CLI::App* to_gltf = app.add_subcommand(
        "to-gltf", "the model from-gltf read, written again as .glb with the scene's skins; exit 1 when a skin "
                   "cannot be written to glTF");
    positional(to_gltf, {"SCENE", "MODEL", "GLB"}, 2);
    to_gltf->add_flag("--normalize", request.normalize, "each vertex's weights divided by their sum");

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
    return run_command(app.get_subcommands().front()->get_name(), request);
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

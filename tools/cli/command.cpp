#include "command.h"

#include <cstdlib>
#include <map>

namespace tools {

std::vector<std::string> const no_yes = {"no", "yes"};

namespace {

std::map<std::string, std::string> const file_help = {
    {"SCENE", "a scene file (JSON), or a rigged .gltf or .glb model"},
    {"FILE", "a skin file (.vsk), or - for standard input"},
    {"OUT", "where the scene is written: a scene file (JSON), a .glb of the model read, or - for standard output"},
    {"MODEL", "a .gltf or .glb model"},
    {"GLB", "where the .glb is written (- for standard output)"},
    {"NEWFILE", "where the skin file is written (- for standard output)"},
    {"A", "a skin file, or a scene or model (its skins as a save writes them)"},
    {"B", "a skin file, or a scene or model (its skins as a save writes them)"},
    {"SOURCE", "a skin file, or a scene or model (its skins as a save writes them)"},
    {"SOURCE_SCENE", "a scene file (JSON), or a rigged .gltf or .glb model, whose skins are carried"},
    {"TARGET", "a scene file (JSON), or a .gltf or .glb model, whose meshes receive them"},
    {"HTML", "where the page is written (.html)"}};

}  // namespace

void Declaration::positional(std::vector<std::string> const& roles, std::size_t inputs)
{
    // A skin file to read may be standard input.
    static CLI::Validator const existing_or_stdin(
        [](std::string& value) { return value == "-" ? std::string() : CLI::ExistingFile(value); }, "FILE");
    this->roles = roles;
    for (std::size_t i = 0; i < roles.size(); ++i) {
        Request* const filled = &request;
        CLI::Option* option = command
                                  .add_option_function<std::string>(
                                      roles[i],
                                      [filled, i](std::string const& value) {
                                          if (filled->files.size() <= i)
                                              filled->files.resize(i + 1);
                                          filled->files[i] = value;
                                      },
                                      file_help.at(roles[i]))
                                  ->required();
        if (i < inputs)
            option->check(roles[i] == "FILE" ? existing_or_stdin : CLI::ExistingFile);
    }
}

void Declaration::choice(std::string const& name, std::vector<std::string> const& words, std::string const& help)
{
    Request* const filled = &request;
    command
        .add_option_function<std::string>(
            "--" + name, [filled, name](std::string const& value) { filled->options[name] = value; }, help)
        ->check(CLI::IsMember(words));
}

void Declaration::cancel() { command.add_flag("--cancel", request.cancel, "cancel the dialog or question"); }

void Declaration::json() { command.add_flag("--json", request.json, "the report as JSON"); }

CLI::Option* Declaration::map()
{
    return command.add_option("--map", request.map, "a name map applied to the file's names before it is read")
        ->check(CLI::ExistingFile);
}

void Declaration::load_choices()
{
    choice("mode", {"newly", "overwrite"}, "replace skins or add to them");
    choice("hold", no_yes, "hold points where they are");
    choice("trim", no_yes, "ignore leading special characters of names");
    choice("joints-outside", no_yes, "joints are searched from the root part");
}

void Declaration::save_choices()
{
    choice("range", {"all", "selected"}, "for a scene: the shapes a save writes");
    choice("full-path", no_yes, "for a scene: joints by full path names");
    choice("trim", no_yes, "for a scene: leading special characters cut from names");
}

void Declaration::glb_weights()
{
    Glb_weights& glb = request.glb;
    command.add_flag("--normalize", glb.normalize, "for a .glb: each vertex's weights divided by their sum");
    command
        .add_option("--max-influences", glb.max_influences,
                    "for a .glb: each vertex keeps its K largest weights (ties to the joint first in the skin), "
                    "renormalised")
        ->check(CLI::PositiveNumber);
    command
        .add_option("--prune", glb.prune,
                    "for a .glb: weights below W of their vertex's sum dropped, renormalised (a vertex keeps at least its largest)")
        ->check(CLI::Validator(
            [](std::string& value) {
                char* end = nullptr;
                double const w = std::strtod(value.c_str(), &end);
                // Written so that a NaN fails it too.
                return end != value.c_str() && *end == 0 && w >= 0 && w <= 1
                           ? std::string()
                           : "a floor is a number from 0 to 1, not " + value;
            },
            "W"));
    command
        .add_option("--weights", glb.form,
                    "for a .glb: float, or u16 or u8 (normalised integers that sum exactly to 65535 or 255 a vertex)")
        ->check(CLI::IsMember({"float", "u16", "u8"}));
}

}  // namespace tools

// The reference host on the command line: loads the plug-in, shows its menu,
// and runs "Save skin", "Load skin" and the three commands on scene files.
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "exchange.h"
#include "faults.h"
#include "gltf_export.h"
#include "gltf_scene.h"
#include "library.h"
#include "pipeline_commands.h"
#include "progress_bar.h"
#include "scene_json.h"

namespace {

// What a command line asks for, as CLI11 fills it in.
struct Request {
    std::string plugin;
    int language = host::language_english;
    bool quiet = false;
    bool cancel = false;
    bool json = false;
    bool normalize = false;
    std::vector<std::string> files;  // the command's positional arguments, in order
    std::map<std::string, std::string> options;
};

std::string kind_word(host::Interface_kind kind)
{
    switch (kind) {
    case host::Interface_kind::exporter: return "exporter";
    case host::Interface_kind::importer: return "importer";
    case host::Interface_kind::browser: break;
    }
    return "command";
}

void show(host::Model_scene& scene)
{
    auto joint_name = [](shape_class* joint) { return joint ? std::string(joint->get_name()) : std::string("?"); };
    auto skin_text = [&](host::Model_skin const& skin) {
        std::string text;
        for (auto const& b : skin.bindings())
            text += " " + joint_name(b.joint) + "=" + host::shortest_float_text(b.weight);
        return text.empty() ? std::string(" (none)") : text;
    };
    for (host::Model_shape* shape : scene.shapes_in_order()) {
        std::cout << shape->ordinal << " " << shape->name << ":" << skin_text(shape->skin) << "\n";
        for (std::size_t i = 0; i < shape->vertices.size(); ++i)
            std::cout << "    vertex " << i << ":" << skin_text(shape->vertices[i].skin) << "\n";
        for (std::size_t i = 0; i < shape->points.size(); ++i)
            std::cout << "    point " << i << ":" << skin_text(shape->points[i].skin) << "\n";
    }
}

// Every skin of the scene, as (joint, weight) lists, shape by shape: what a
// load changed is what differs afterwards.
struct Skins_of_shape {
    host::Model_shape* shape;
    std::vector<std::vector<std::pair<shape_class*, float>>> skins;  // own skin first, then its points'
};

std::vector<std::pair<shape_class*, float>> bindings(host::Model_skin const& skin)
{
    std::vector<std::pair<shape_class*, float>> out;
    for (auto const& b : skin.bindings())
        out.emplace_back(b.joint, b.weight);
    return out;
}

std::vector<Skins_of_shape> skins_of(host::Model_scene& scene)
{
    std::vector<Skins_of_shape> out;
    for (host::Model_shape* shape : scene.shapes_in_order()) {
        Skins_of_shape entry{shape, {bindings(shape->skin)}};
        for (auto const& v : shape->vertices)
            entry.skins.push_back(bindings(v.skin));
        for (auto const& p : shape->points)
            entry.skins.push_back(bindings(p.skin));
        out.push_back(std::move(entry));
    }
    return out;
}

// One line on what a load changed: points (or whole shapes) whose skins differ.
std::string load_summary(std::vector<Skins_of_shape> const& before, host::Model_scene& scene, std::string const& file)
{
    std::vector<Skins_of_shape> const after = skins_of(scene);
    std::size_t points = 0, shapes = 0;
    for (std::size_t s = 0; s < before.size() && s < after.size(); ++s) {
        std::size_t changed = 0;
        for (std::size_t k = 0; k < before[s].skins.size() && k < after[s].skins.size(); ++k)
            changed += before[s].skins[k] != after[s].skins[k];
        points += changed;
        shapes += changed > 0;
    }
    if (points == 0)
        return "no skin changed: nothing in " + file + " matched the scene";
    return std::to_string(points) + " skin" + (points == 1 ? "" : "s") + " changed, in " + std::to_string(shapes) +
           " shape" + (shapes == 1 ? "" : "s");
}

// A file written under a temporary name and put in place only when whole.
class Output_file {
public:
    explicit Output_file(std::string path) : path_(std::move(path)), temporary_(path_ + ".partial") {}
    Output_file(Output_file const&) = delete;
    Output_file& operator=(Output_file const&) = delete;
    ~Output_file()
    {
        if (!kept_)
            std::remove(temporary_.c_str());
    }
    std::string const& temporary() const { return temporary_; }
    void keep()
    {
        std::remove(path_.c_str());  // rename does not replace a file on Windows
        if (std::rename(temporary_.c_str(), path_.c_str()) != 0)
            throw host::host_error("cannot write " + path_);
        kept_ = true;
    }

private:
    std::string path_;
    std::string temporary_;
    bool kept_ = false;
};

void write_scene(host::Model_scene& scene, std::string const& path)
{
    Output_file out(path);
    host::write_scene_file(scene, out.temporary());
    out.keep();
}

// The dialog's items from the command's options; those not given keep the
// dialog's defaults.
std::map<int, int> dialog_values(Request const& request, std::map<std::string, std::pair<int, std::vector<std::string>>> const& items)
{
    std::map<int, int> values;
    for (auto const& [key, value] : request.options) {
        auto const item = items.find(key);
        if (item == items.end())
            continue;
        std::vector<std::string> const& words = item->second.second;
        for (std::size_t i = 0; i < words.size(); ++i)
            if (words[i] == value)
                values[item->second.first] = static_cast<int>(i);
    }
    return values;
}

std::vector<std::string> const no_yes = {"no", "yes"};

std::map<int, int> load_items(Request const& request)
{
    return dialog_values(request, {{"mode", {10, {"newly", "overwrite"}}},
                                   {"hold", {11, no_yes}},
                                   {"trim", {12, no_yes}},
                                   {"joints-outside", {13, no_yes}},
                                   {"verbose", {14, no_yes}}});
}

int run_command(std::string const& command, Request const& request)
{
    host::Plugin plugin(request.plugin);
    auto resources = plugin.resources();
    host::Host_services services(resources, request.language);
    services.echo_messages = !request.quiet;
    host::Progress_bar bar(stderr, !request.quiet);
    services.progress_bar = &bar;
    host::Model_scene scene(services);
    auto const& files = request.files;

    if (command == "menu") {
        for (host::Menu_entry const& entry : plugin.menu(services))
            std::cout << kind_word(entry.kind) << " " << entry.index << ": " << entry.name << "\n";
        return 0;
    }
    if (command == "from-gltf") {
        host::read_gltf_scene(scene, files[0]);
        write_scene(scene, files[1]);
        return 0;
    }
    if (command == "show") {
        host::read_scene_file(scene, files[0]);
        show(scene);
        return 0;
    }
    if (command == "to-gltf") {
        host::read_scene_file(scene, files[0]);
        Output_file out(files[2]);
        try {
            host::write_gltf_skins(scene, files[1], out.temporary(), request.normalize);
        } catch (host::Inexpressible_skin const& e) {
            std::cerr << "tavrik-host: " << e.what() << "\n";
            return 1;
        }
        out.keep();
        return 0;
    }
    if (command == "inspect")
        return tools::inspect(files[0], request.json);
    if (command == "check")
        return tools::check(plugin, request.language, files[0], files[1], load_items(request), request.json);

    host::Dialog_answer answer;
    answer.confirm = !request.cancel;
    if (command == "save") {
        host::read_scene_file(scene, files[0]);
        services.special_characters = scene.special_characters;
        answer.values = dialog_values(request, {{"range", {10, {"all", "selected"}}},
                                                {"form", {11, {"text", "binary"}}},
                                                {"full-path", {12, no_yes}},
                                                {"trim", {13, no_yes}}});
        services.dialog_answers.push_back(answer);
        Output_file out(files[1]);
        host::run_save(plugin, services, scene, out.temporary());
        if (request.cancel)
            return 0;
        // A name the file cannot hold stops the export with a message: the
        // file would not be whole.
        if (!services.message_boxes.empty())
            throw host::host_error("the skin file " + files[1] + " was not written: " + services.message_boxes.back().text);
        out.keep();
        return 0;
    }
    if (command == "load") {
        host::read_scene_file(scene, files[0]);
        services.special_characters = scene.special_characters;
        answer.values = load_items(request);
        services.dialog_answers.push_back(answer);
        std::vector<Skins_of_shape> const before = skins_of(scene);
        host::run_load(plugin, services, scene, files[1]);
        bar.finish();
        // The importer shows a message only when it could not read the file.
        if (!services.message_boxes.empty())
            throw host::host_error("cannot load " + files[1] + ": " + services.message_boxes.back().text);
        write_scene(scene, files[2]);
        if (!request.quiet && !request.cancel)
            std::cout << "tavrik-host: " << load_summary(before, scene, files[1]) << "\n";
        return 0;
    }

    int const index = command == "clear" ? 0 : command == "joint-clear" ? 1 : 2;
    host::read_scene_file(scene, files[0]);
    answer.values = dialog_values(request, {{"hold", {0, no_yes}}, {"active-only", {1, no_yes}}});
    services.dialog_answers.push_back(answer);
    services.message_box_answers.push_back(!request.cancel);
    bool const done = host::run_command(plugin, services, scene, index);
    // A command that refused (a message and no dialog) changed nothing and says why.
    bool const refused = !done && !request.cancel && !services.message_boxes.empty() &&
                         !services.message_boxes.back().with_cancel;
    if (refused) {
        std::cerr << "tavrik-host: " << command << " refused: " << services.message_boxes.back().text << "\n";
        return 1;
    }
    write_scene(scene, files[1]);
    if (!request.quiet)
        std::cout << (done ? "done" : "cancelled, nothing changed") << "\n";
    return 0;
}

int run(int argc, char** argv)
{
    Request request;
    request.plugin = host::default_plugin_path(argv[0]);

    CLI::App app{"The reference host of the tavrik plug-in: its menu, \"Save skin\", \"Load skin\" and the three "
                 "commands on scene files. Options not given keep the dialog's defaults."};
    app.name("tavrik-host");
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("--plugin", request.plugin, "the plug-in library")->check(CLI::ExistingFile);
    app.add_option("--lang", request.language, "the user's language")->check(CLI::IsMember({1033, 1041}));
    app.add_flag("--quiet", request.quiet, "no messages of the plug-in, no progress bar, no summary");

    std::map<std::string, std::string> const file_help = {
        {"SCENE", "a scene file (JSON)"}, {"FILE", "a skin file (.vsk)"}, {"OUT", "where the scene is written"},
        {"MODEL", "a .gltf or .glb model"}, {"GLB", "where the .glb is written"}};
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
                option->check(CLI::ExistingFile);
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
    CLI::App* load = app.add_subcommand("load", "\"Load skin\" of a skin file; the scene is written to OUT");
    positional(load, {"SCENE", "FILE", "OUT"}, 2);
    load_options(load);
    choice(load, "verbose", no_yes, "the plug-in's trace");
    cancel(load);
    CLI::App* check = app.add_subcommand(
        "check", "a dry run of \"Load skin\": what each record would bind, what it would lose and why; exit 0 "
                 "when everything resolves, 1 when something would be lost, 2 on error");
    positional(check, {"SCENE", "FILE"}, 2);
    load_options(check);
    check->add_flag("--json", request.json, "the report as JSON");
    CLI::App* inspect = app.add_subcommand(
        "inspect", "a skin file's form, records, joints and weight checks; exit 2 for a broken file");
    positional(inspect, {"FILE"}, 1);
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

    try {
        app.parse(argc, argv);
    } catch (CLI::ParseError const& e) {
        int const code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    return run_command(app.get_subcommands().front()->get_name(), request);
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (std::exception const& e) {
        std::cerr << "tavrik-host: " << e.what() << "\n";
        return 1;
    }
}

// The reference host on the command line: loads the plug-in, shows its menu,
// and runs "Save skin", "Load skin" and the three commands on scene files.
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "exchange.h"
#include "faults.h"
#include "gltf_scene.h"
#include "library.h"
#include "scene_json.h"

namespace {

char const usage[] = R"(usage: tavrik-host [--plugin PATH] [--lang 1033|1041] [--quiet] COMMAND ...

  menu                              the plug-in's menu entries
  save SCENE FILE [options]         "Save skin" of a scene into a skin file
      --range all|selected  --form text|binary  --full-path yes|no  --trim yes|no
  load SCENE FILE OUT [options]     "Load skin" of a skin file, the scene written to OUT
      --mode newly|overwrite  --hold yes|no  --trim yes|no
      --joints-outside yes|no  --verbose yes|no
  clear SCENE OUT [--hold yes|no] [--active-only yes|no]     "Clear skin"
  joint-clear SCENE OUT [--hold yes|no] [--active-only yes|no] "joint clear in skins"
  reset SCENE OUT                   "Reset transformation"
  show SCENE                        the skins of a scene, point by point
  from-gltf MODEL OUT               a rigged .gltf or .glb model as a scene file
  Commands that ask take --cancel to cancel the dialog or question.
  Options not given keep the dialog's defaults.
)";

struct Arguments {
    std::vector<std::string> words;
    std::map<std::string, std::string> options;
    bool cancel = false;
};

int yes_no(Arguments const& a, std::string const& key, std::map<int, int>& values, int item)
{
    auto found = a.options.find(key);
    if (found == a.options.end())
        return 0;
    if (found->second != "yes" && found->second != "no")
        throw host::host_error("--" + key + " takes yes or no");
    values[item] = found->second == "yes" ? 1 : 0;
    return 1;
}

void choice(Arguments const& a, std::string const& key, std::map<int, int>& values, int item,
            std::vector<std::string> const& entries)
{
    auto found = a.options.find(key);
    if (found == a.options.end())
        return;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (found->second == entries[i]) {
            values[item] = static_cast<int>(i);
            return;
        }
    throw host::host_error("--" + key + " takes one of its listed words");
}

void need(Arguments const& a, std::size_t n)
{
    if (a.words.size() != n)
        throw host::host_error(std::string("wrong number of arguments\n") + usage);
}

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

int run(int argc, char** argv)
{
    std::string plugin_path = host::default_plugin_path(argv[0]);
    int language = host::language_english;
    bool quiet = false;
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        std::string const arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << usage;
            return 0;
        }
        if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--cancel") {
            a.cancel = true;
        } else if (arg.rfind("--", 0) == 0) {
            if (i + 1 >= argc)
                throw host::host_error(arg + " needs a value");
            std::string const value = argv[++i];
            if (arg == "--plugin")
                plugin_path = value;
            else if (arg == "--lang")
                language = std::stoi(value);
            else
                a.options[arg.substr(2)] = value;
        } else {
            a.words.push_back(arg);
        }
    }
    if (a.words.empty())
        throw host::host_error(std::string("no command\n") + usage);

    host::Plugin plugin(plugin_path);
    auto resources = plugin.resources();
    host::Host_services services(resources, language);
    services.echo_messages = !quiet;
    host::Model_scene scene(services);
    std::string const& command = a.words[0];

    if (command == "menu") {
        need(a, 1);
        for (host::Menu_entry const& entry : plugin.menu(services))
            std::cout << kind_word(entry.kind) << " " << entry.index << ": " << entry.name << "\n";
        return 0;
    }
    if (command == "from-gltf") {
        need(a, 3);
        host::read_gltf_scene(scene, a.words[1]);
        host::write_scene_file(scene, a.words[2]);
        return 0;
    }
    if (command == "show") {
        need(a, 2);
        host::read_scene_file(scene, a.words[1]);
        show(scene);
        return 0;
    }

    host::Dialog_answer answer;
    answer.confirm = !a.cancel;
    if (command == "save") {
        need(a, 3);
        host::read_scene_file(scene, a.words[1]);
        services.special_characters = scene.special_characters;
        choice(a, "range", answer.values, 10, {"all", "selected"});
        choice(a, "form", answer.values, 11, {"text", "binary"});
        yes_no(a, "full-path", answer.values, 12);
        yes_no(a, "trim", answer.values, 13);
        services.dialog_answers.push_back(answer);
        host::run_save(plugin, services, scene, a.words[2]);
        return 0;
    }
    if (command == "load") {
        need(a, 4);
        host::read_scene_file(scene, a.words[1]);
        services.special_characters = scene.special_characters;
        choice(a, "mode", answer.values, 10, {"newly", "overwrite"});
        yes_no(a, "hold", answer.values, 11);
        yes_no(a, "trim", answer.values, 12);
        yes_no(a, "joints-outside", answer.values, 13);
        yes_no(a, "verbose", answer.values, 14);
        services.dialog_answers.push_back(answer);
        host::run_load(plugin, services, scene, a.words[2]);
        host::write_scene_file(scene, a.words[3]);
        return 0;
    }
    int index = -1;
    if (command == "clear")
        index = 0;
    else if (command == "joint-clear")
        index = 1;
    else if (command == "reset")
        index = 2;
    if (index < 0)
        throw host::host_error("unknown command " + command + "\n" + usage);
    need(a, 3);
    host::read_scene_file(scene, a.words[1]);
    yes_no(a, "hold", answer.values, 0);
    yes_no(a, "active-only", answer.values, 1);
    services.dialog_answers.push_back(answer);
    services.message_box_answers.push_back(!a.cancel);
    bool const done = host::run_command(plugin, services, scene, index);
    host::write_scene_file(scene, a.words[2]);
    if (!quiet)
        std::cout << (done ? "done" : "cancelled, nothing changed") << "\n";
    return 0;
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

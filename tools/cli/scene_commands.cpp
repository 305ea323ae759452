#include "scene_commands.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <vector>

#include "exchange.h"
#include "library.h"
#include "load_analysis.h"
#include "map_commands.h"
#include "output_file.h"
#include "progress_bar.h"
#include "scene_files.h"
#include "scene_json.h"

namespace tools {

namespace {

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

// Every skin of the scene in one flat list of (joint, weight) pairs, skin
// after skin in scene order (each shape's own skin, then its vertices' and
// points'): what a load changed is what differs afterwards. Two blocks of
// memory however many points the scene has.
struct Skins {
    std::vector<std::size_t> shape_starts;  // per shape: its first skin
    std::vector<std::size_t> skin_starts;   // per skin: its first pair, then one past the last
    std::vector<std::pair<shape_class*, float>> pairs;
};

Skins skins_of(host::Model_scene& scene)
{
    Skins out;
    std::vector<host::Model_shape*> const shapes = scene.shapes_in_order();
    // Sized first: grown as it goes, the list would be copied a few times over.
    std::size_t skins = 0, pairs = 0;
    auto count = [&](host::Model_skin const& skin) {
        ++skins;
        pairs += skin.bindings().size();
    };
    for (host::Model_shape* shape : shapes)
        host::for_each_skin(*shape, count);
    out.shape_starts.reserve(shapes.size() + 1);
    out.skin_starts.reserve(skins + 1);
    out.pairs.reserve(pairs);
    auto add = [&](host::Model_skin const& skin) {
        out.skin_starts.push_back(out.pairs.size());
        for (auto const& b : skin.bindings())
            out.pairs.emplace_back(b.joint, b.weight);
    };
    for (host::Model_shape* shape : shapes) {
        out.shape_starts.push_back(out.skin_starts.size());
        host::for_each_skin(*shape, add);
    }
    out.shape_starts.push_back(out.skin_starts.size());
    out.skin_starts.push_back(out.pairs.size());
    return out;
}

struct Changes {
    std::size_t skins = 0, shapes = 0;
};

// The skins that differ from the snapshot, walked in the snapshot's order
// without taking a second one.
Changes changes(Skins const& before, host::Model_scene& scene)
{
    Changes out;
    std::size_t shape_index = 0;
    for (host::Model_shape* shape : scene.shapes_in_order()) {
        if (shape_index + 1 >= before.shape_starts.size())
            break;
        std::size_t k = before.shape_starts[shape_index];
        std::size_t const end = before.shape_starts[shape_index + 1];
        std::size_t changed = 0;
        auto compare = [&](host::Model_skin const& skin) {
            if (k >= end)
                return;
            auto const& bindings = skin.bindings();
            std::size_t const first = before.skin_starts[k], last = before.skin_starts[k + 1];
            bool same = last - first == bindings.size();
            for (std::size_t i = 0; same && i < bindings.size(); ++i)
                same = before.pairs[first + i].first == bindings[i].joint && before.pairs[first + i].second == bindings[i].weight;
            changed += !same;
            ++k;
        };
        host::for_each_skin(*shape, compare);
        out.skins += changed;
        out.shapes += changed > 0;
        ++shape_index;
    }
    return out;
}

// What a load did and lost, in the words of check.
std::string load_summary(Changes const& changed, Load_account const& account, std::string const& file,
                         std::string const& scene)
{
    std::string out;
    if (account.matched == 0)
        out = "no skin changed: nothing in " + file + " matched the scene";
    else if (changed.skins == 0)
        out = "no skin changed: " + std::to_string(account.matched) + " of " + plural(account.records, "record") +
              " matched, and their skins were already as the file gives them";
    else
        out = plural(changed.skins, "skin") + " changed, in " + plural(changed.shapes, "shape") + "; " +
              std::to_string(account.matched) + " of " + plural(account.records, "record") + " matched";
    out += "\ntavrik-host: " + plural(account.bindings_lost, "binding") + " lost, " +
           plural(account.without_influence, "point") + " left without influence";
    if (account.off_sum > 0)
        out += ", " + plural(account.off_sum, "point") + " whose weights do not sum to 1";
    if (!account.broken.empty())
        out += "\ntavrik-host: " + file + " breaks at " + account.broken;
    if (account.something_lost())
        out += "\ntavrik-host: \"tavrik-host check " + scene + " " + file + "\" says what was lost and why";
    return out;
}

// The dialog's items from the command's options; those not given keep the
// dialog's defaults.
std::map<int, int> dialog_values(Request const& request,
                                 std::map<std::string, std::pair<int, std::vector<std::string>>> const& items)
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



}  // namespace

std::map<int, int> load_items(Request const& request)
{
    return dialog_values(request, {{"mode", {10, {"newly", "overwrite"}}},
                                   {"hold", {11, no_yes}},
                                   {"trim", {12, no_yes}},
                                   {"joints-outside", {13, no_yes}},
                                   {"verbose", {14, no_yes}}});
}

std::map<int, int> save_items(Request const& request)
{
    return dialog_values(request, {{"range", {10, {"all", "selected"}}},
                                   {"form", {11, {"text", "binary"}}},
                                   {"full-path", {12, no_yes}},
                                   {"trim", {13, no_yes}}});
}

namespace {

// What the plug-in's commands on a scene take beyond the shared options.
struct Scene_options {
    bool strict = false;  // load: no OUT when anything was lost
};

int run_scene_command(std::string const& command, Request const& request, Scene_options const& options)
{
    host::Plugin plugin(request.plugin);
    auto resources = plugin.resources();
    host::Host_services services(resources, request.language);
    services.echo_messages = !request.quiet;
    host::Progress_bar bar(stderr, !request.quiet);
    services.progress_bar = &bar;
    host::Model_scene scene(services);
    auto const& files = request.files;
    auto say = [&](std::string const& text) {
        if (!request.quiet)
            std::cerr << "tavrik-host: " << text << "\n";
    };

    if (command == "menu") {
        for (host::Menu_entry const& entry : plugin.menu(services))
            std::cout << kind_word(entry.kind) << " " << entry.index << ": " << entry.name << "\n";
        return exit_done;
    }
    if (command == "show") {
        read_any_scene(scene, files[0], request.select);
        show(scene);
        return exit_done;
    }

    host::Dialog_answer answer;
    answer.confirm = !request.cancel;
    if (command == "save") {
        refuse_same_file({files[0]}, files[1]);
        read_any_scene(scene, files[0], request.select);
        services.special_characters = scene.special_characters;
        answer.values = save_items(request);
        services.dialog_answers.push_back(answer);
        Output_file out(files[1]);
        out.write([&](std::string const& path) { host::run_save(plugin, services, scene, path); });
        if (request.cancel)
            return exit_done;
        // A name the file cannot hold stops the export with a message: the
        // file would not be whole.
        if (!services.message_boxes.empty()) {
            std::cerr << "tavrik-host: the skin file " << files[1]
                      << " was not written: " << services.message_boxes.back().text << "\n";
            return exit_lost;
        }
        out.keep();
        return exit_done;
    }
    if (command == "load") {
        Input_file file(files[1]);
        refuse_same_file({files[0], files[1], request.map}, files[2]);
        refuse_non_skin_file(file.path(), file.name());
        Mapped_input const mapped(file.path(), request.map);
        if (!request.quiet)
            std::cerr << mapped.report("tavrik-host: ", false);
        refuse_glb_without_model(files[0], files[2]);
        read_any_scene(scene, files[0], request.select);
        services.special_characters = scene.special_characters;
        Output_file out(files[2]);
        if (request.cancel) {
            services.dialog_answers.push_back(answer);
            host::run_load(plugin, services, scene, mapped.path());
            if (!write_any_scene(scene, out, files[0], request.pretty, request.glb))
                return exit_lost;
            say("cancelled, nothing changed");
            return exit_done;
        }
        Skins const before = skins_of(scene);
        Load_account const account = load_and_account(plugin, services, scene, mapped.path(), load_items(request), false);
        bar.finish();
        // The importer shows a message only when it could not read the file.
        if (!services.message_boxes.empty()) {
            std::cerr << "tavrik-host: cannot load " << file.name() << ": " << services.message_boxes.back().text
                      << "\n";
            return exit_failed;
        }
        Changes const changed = changes(before, scene);
        // A file broken at some line is not loaded, even where the plug-in's
        // reading went past the break: what it bound is not what the file says.
        if (account.terminated || !account.broken.empty()) {
            std::cerr << "tavrik-host: cannot load " << file.name()
                      << (account.terminated ? ": the load ended early" : "")
                      << (account.broken.empty() ? ", a read failed" : ": it breaks at " + account.broken) << "; "
                      << plural(changed.skins, "skin") << " had changed before; " << files[2] << " not written\n";
            return exit_failed;
        }
        bool const lost = account.something_lost() || account.without_influence > 0;
        say(load_summary(changed, account, file.name(), files[0]));
        for (std::string const& warning : account.warnings)
            say("warning: " + warning);
        if (lost && options.strict) {
            std::cerr << "tavrik-host: --strict: something was lost; " << files[2] << " not written\n";
            return exit_lost;
        }
        if (!write_any_scene(scene, out, files[0], request.pretty, request.glb))
            return exit_lost;
        return lost ? exit_lost : exit_done;
    }

    int const index = command == "clear" ? 0 : command == "joint-clear" ? 1 : 2;
    refuse_same_file({files[0]}, files[1]);
    refuse_glb_without_model(files[0], files[1]);
    read_any_scene(scene, files[0], request.select);
    Output_file out(files[1]);
    answer.values = dialog_values(request, {{"hold", {0, no_yes}}, {"active-only", {1, no_yes}}});
    services.dialog_answers.push_back(answer);
    services.message_box_answers.push_back(!request.cancel);
    bool const done = host::run_command(plugin, services, scene, index);
    // A command that refused (a message and no dialog) changed nothing and says why.
    bool const refused = !done && !request.cancel && !services.message_boxes.empty() &&
                         !services.message_boxes.back().with_cancel;
    if (refused) {
        std::cerr << "tavrik-host: " << command << " refused: " << services.message_boxes.back().text << "\n";
        return exit_lost;
    }
    if (!write_any_scene(scene, out, files[0], request.pretty, request.glb))
        return exit_lost;
    say(done ? "done" : "cancelled, nothing changed");
    return exit_done;
}

}  // namespace

std::vector<Command> scene_commands()
{
    auto options = std::make_shared<Scene_options>();
    auto run = [options](std::string const& name) {
        return [options, name](Request const& request) { return run_scene_command(name, request, *options); };
    };
    std::vector<Command> commands = {
        {"menu", "the plug-in's menu entries", [](Declaration&) {}, run("menu")},
        {"save", "\"Save skin\" of a scene into a skin file",
         [](Declaration& d) {
             d.positional({"SCENE", "FILE"}, 1);
             d.choice("range", {"all", "selected"}, "the shapes written");
             d.choice("form", {"text", "binary"}, "the file's form");
             d.choice("full-path", no_yes, "joints by full path names");
             d.choice("trim", no_yes, "leading special characters cut from names");
             d.cancel();
         },
         run("save")},
        {"load",
         "\"Load skin\" of a skin file; the scene is written to OUT. Exit 0 when everything bound, 1 when "
         "bindings or records were lost (OUT written unless --strict), 2 when the file could not be loaded whole (no OUT)",
         [options](Declaration& d) {
             d.positional({"SCENE", "FILE", "OUT"}, 2);
             d.load_choices();
             d.choice("verbose", no_yes, "the plug-in's trace");
             d.command.add_flag("--strict", options->strict, "write no OUT when anything was lost");
             d.map();
             d.cancel();
             d.glb_weights();
         },
         run("load")}};
    for (auto const& [name, help] : {std::pair<char const*, char const*>{"clear", "\"Clear skin\""},
                                     {"joint-clear", "\"joint clear in skins\""}})
        commands.push_back({name, help,
                            [](Declaration& d) {
                                d.positional({"SCENE", "OUT"}, 1);
                                d.choice("hold", no_yes, "hold points where they are");
                                d.choice("active-only", no_yes, "only the active points");
                                d.cancel();
                                d.glb_weights();
                            },
                            run(name)});
    commands.push_back({"reset", "\"Reset transformation\"",
                        [](Declaration& d) {
                            d.positional({"SCENE", "OUT"}, 1);
                            d.cancel();
                            d.glb_weights();
                        },
                        run("reset")});
    commands.push_back({"show", "the skins of a scene, point by point",
                        [](Declaration& d) { d.positional({"SCENE"}, 1); }, run("show")});
    return commands;
}

}  // namespace tools

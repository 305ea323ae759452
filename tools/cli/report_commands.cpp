#include "report_commands.h"

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "json_report.h"
#include "output_file.h"
#include "load_analysis.h"
#include "scene_commands.h"
#include "scene_files.h"
#include "skin_file_reader.h"
#include "suggestions.h"

namespace tools {

namespace {

using json = nlohmann::json;

// Says why a command could not be done: on standard error, and as an error
// object where the caller reads JSON.
int failed(std::string const& code, std::string const& message, bool as_json)
{
    std::cerr << "tavrik-host: " << message << "\n";
    if (as_json)
        std::cout << dump_report(error_report(code, message)) << "\n";
    return 2;
}

// The record listing of inspect goes to a temporary file as the records
// stream past and is copied out after the totals: a file of millions of
// records is listed without holding its records.
class Spool {
public:
    Spool() : file_(std::tmpfile(), &std::fclose)
    {
        if (!file_)
            throw std::runtime_error("cannot make a temporary file: " + system_reason(errno));
    }

    void write(std::string const& text)
    {
        if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size())
            throw std::runtime_error("cannot write a temporary file: " + system_reason(errno));
    }

    void copy_to(std::ostream& out)
    {
        if (std::fflush(file_.get()) != 0 || std::fseek(file_.get(), 0, SEEK_SET) != 0)
            throw std::runtime_error("cannot read a temporary file back: " + system_reason(errno));
        char buffer[1 << 16];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_.get())) > 0;)
            out.write(buffer, static_cast<std::streamsize>(n));
        if (std::ferror(file_.get()))
            throw std::runtime_error("cannot read a temporary file back: " + system_reason(errno));
    }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
};

// The counts inspect gathers while the file streams past, and its listing
// of the records, a line or a JSON entry each.
class Inspection final : public Skin_file_events {
public:
    Inspection(bool as_json, char const* where_key) : as_json_(as_json), where_key_(where_key) {}

    void record(File_record const& record) override
    {
        top_level += record.depth == 0;
        ++records;
        if (as_json_) {
            json entry = {{"depth", record.depth}, {"kind", record.kind}, {"points", record.count}, {where_key_, record.where}};
            put_name(entry, record.name);
            // As it stands in the report: an element of a member of the top object.
            std::string const text = dump_report(std::move(entry));
            std::string indented = records > 1 ? ",\n    " : "    ";
            for (char c : text) {
                indented += c;
                if (c == '\n')
                    indented += "    ";
            }
            listing.write(indented);
            return;
        }
        int const shown_depth = std::min(record.depth, 64);
        listing.write("  " + std::string(static_cast<std::size_t>(shown_depth) * 2, ' ') +
                      (record.depth > shown_depth ? "(depth " + std::to_string(record.depth) + ") " : "") + record.kind +
                      " " + record.name + ", " + plural(static_cast<std::size_t>(record.count), "point") + "\n");
    }
    void point(std::vector<File_binding> const& bindings) override
    {
        ++points;
        bound += !bindings.empty();
        most = std::max(most, bindings.size());
        double sum = 0;
        for (File_binding const& b : bindings) {
            if (uses.size() <= b.joint)
                uses.resize(b.joint + 1, 0);
            ++uses[b.joint];
            negative += b.weight < 0;
            not_finite += !std::isfinite(b.weight);
            sum += b.weight;
        }
        off_sum += !bindings.empty() && !(std::fabs(sum - 1.0) <= 1e-3);
    }

    std::size_t top_level = 0, records = 0, points = 0, bound = 0, off_sum = 0, negative = 0, not_finite = 0, most = 0;
    std::vector<std::size_t> uses;  // bindings by joint
    Spool listing;

private:
    bool as_json_;
    char const* where_key_;
};

}  // namespace

int inspect(std::string const& name, std::string const& path, bool as_json)
{
    std::optional<Inspection> seen;
    bool binary = false;
    std::vector<File_joint> joints;
    try {
        Skin_file_reader reader(path);
        binary = reader.binary();
        seen.emplace(as_json, binary ? "byte" : "line");
        reader.read(*seen);
        joints = reader.joints();
    } catch (Broken_file const& e) {
        return failed("broken_file", name + ": " + e.what(), as_json);
    } catch (std::exception const& e) {
        return failed("unreadable", e.what(), as_json);
    }
    // Joints by name, as the report lists them.
    std::vector<std::size_t> order(joints.size());
    for (std::size_t j = 0; j < order.size(); ++j)
        order[j] = j;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return joints[a].text < joints[b].text; });
    auto uses = [&](std::size_t j) { return j < seen->uses.size() ? seen->uses[j] : 0; };

    if (as_json) {
        json out;
        out["version"] = report_version;
        out["file"] = name;
        out["form"] = binary ? "binary" : "text";
        out["records"] = json::array();
        json list = json::array();
        for (std::size_t j : order) {
            json entry = {{"bindings", uses(j)}};
            put_name(entry, joints[j].text);
            list.push_back(entry);
        }
        out["joints"] = list;
        out["weights"] = {{"points", seen->points},         {"bound_points", seen->bound},
                          {"not_summing_to_one", seen->off_sum}, {"negative", seen->negative},
                          {"not_finite", seen->not_finite}, {"most_influences", seen->most}};
        std::string const text = dump_report(std::move(out));
        // No string in a report holds a line break of its own, so this is
        // the member and nothing else.
        std::string const member = "\n  \"records\": []";
        std::size_t const at = text.find(member);
        if (seen->records == 0 || at == std::string::npos) {
            std::cout << text << "\n";
            return 0;
        }
        std::cout << text.substr(0, at + member.size() - 1) << "\n";
        seen->listing.copy_to(std::cout);
        std::cout << "\n  ]" << text.substr(at + member.size()) << "\n";
        return 0;
    }
    std::cout << name + ": " + (binary ? "binary" : "text") + " skin file, " +
                     plural(seen->top_level, "top-level record") + "\nrecords:\n";
    seen->listing.copy_to(std::cout);
    std::string out = "joints named (bindings):\n";
    for (std::size_t j : order)
        out += "  " + joints[j].text + ": " + std::to_string(uses(j)) + "\n";
    out += "weights:\n  points bound: " + std::to_string(seen->bound) + " of " + std::to_string(seen->points) +
           "; most influences on one point: " + std::to_string(seen->most) + "\n" +
           "  bound points whose weights do not sum to 1 (within 0.001): " + std::to_string(seen->off_sum) + "\n" +
           "  negative weights: " + std::to_string(seen->negative) +
           "; weights that are not finite: " + std::to_string(seen->not_finite) + "\n";
    std::cout << out;
    return 0;
}

int check(host::Plugin const& plugin, Request const& request, Mapped_input const& file, std::string const& suggest_map)
{
    std::string const& scene_path = request.files[0];
    std::string const& file_name = request.files[1];
    int const language = request.language;
    std::vector<std::string> const& select = request.select;
    std::map<int, int> const items = load_items(request);
    bool const as_json = request.json;
    std::string const& file_path = file.path();
    // The load itself, through the real plug-in, on a copy of the scene that
    // is never written.
    auto resources = plugin.resources();
    host::Host_services services(resources, language);
    host::Model_scene scene(services);
    Load_account account;
    try {
        read_any_scene(scene, scene_path, select);
        services.special_characters = scene.special_characters;
        account = load_and_account(plugin, services, scene, file_path, items, true);
    } catch (std::exception const& e) {
        return failed("unreadable", e.what(), as_json);
    }
    if (!services.message_boxes.empty())
        return failed("not_loaded", "cannot load " + file_name + ": " + services.message_boxes.back().text, as_json);
    if (!account.broken.empty())
        return failed("broken_file", file_name + ": " + account.broken, as_json);

    Suggestions const suggestions = suggest(scene, account);
    if (!suggest_map.empty()) {
        Output_file map(suggest_map);
        map.write([&](std::string const& path) {
            std::ofstream out(path, std::ios::binary);
            out << map_text(suggestions, "# names suggested by tavrik-host check " + scene_path + " " + file_name +
                                             "\n# read before use: tavrik-host check --map " + suggest_map + "\n");
            if (!out.flush())
                throw File_error("cannot write " + path + ": " + system_reason(errno));
        });
        map.keep();
    }

    if (as_json) {
        json out;
        out["version"] = report_version;
        out["scene"] = scene_path;
        out["file"] = file_name;
        if (file.mapped())
            out["map"] = file.report_json();
        out["records"] = account.record_entries;
        out["joints_not_found"] = account.joint_entries;
        out["suggestions"] = suggestions.entries;
        out["warnings"] = account.warnings;
        out["totals"] = {{"records", account.records},
                         {"records_matched", account.matched},
                         {"points_bound", account.points_bound},
                         {"bindings_lost", account.bindings_lost},
                         {"points_without_influence", account.without_influence},
                         {"points_not_summing_to_one", account.off_sum},
                         {"load_ended_early", account.terminated}};
        if (!account.broken.empty())
            out["broken"] = account.broken;
        std::cout << dump_report(std::move(out)) << "\n";
    } else {
        std::string out = file.report("") + account.report;
        if (account.terminated)
            out += "the load ended early: the file is cut or broken\n";
        if (!account.broken.empty())
            out += "the file breaks at " + account.broken + "\n";
        if (!suggestions.report.empty())
            out += "suggestions:\n" + suggestions.report;
        for (std::string const& warning : account.warnings)
            out += "warning: " + warning + "\n";
        out += "totals: " + std::to_string(account.matched) + " of " + plural(account.records, "record") +
               " matched, " + plural(account.points_bound, "point") + " bound, " +
               plural(account.bindings_lost, "binding") + " lost, " +
               plural(account.without_influence, "point") + " left without influence, " +
               std::to_string(account.off_sum) + " whose weights do not sum to 1\n";
        std::cout << out;
    }
    return account.something_lost() || account.without_influence > 0 ? 1 : 0;
}

std::vector<Command> report_commands()
{
    auto suggest_map = std::make_shared<std::string>();
    return {
        {"check",
         "a dry run of \"Load skin\": what each record would bind, what it would lose and why; exit 0 when "
         "everything resolves, 1 when something would be lost, 2 on error",
         [suggest_map](Declaration& d) {
             // The reports check their inputs themselves, so that --json can say what is wrong.
             d.positional({"SCENE", "FILE"}, 0);
             d.load_choices();
             d.json();
             d.map();
             d.command.add_option("--suggest-map", *suggest_map,
                                  "write the unambiguous suggestions for names that match nothing as a name map");
         },
         [suggest_map](Request const& request) {
             host::Plugin plugin(request.plugin);
             Input_file file(request.files[1]);
             if (!suggest_map->empty())
                 refuse_same_file({request.files[0], request.files[1], request.map}, *suggest_map);
             // Standard output holds one thing: the report or the map.
             if (request.json && *suggest_map == "-")
                 throw File_error("--json and --suggest-map - would both write to standard output: give the map a file");
             refuse_non_skin_file(file.path(), file.name());
             Mapped_input mapped(file.path(), request.map);
             return check(plugin, request, mapped, *suggest_map);
         }},
        {"inspect", "a skin file's form, records, joints and weight checks; exit 2 for a broken file",
         [](Declaration& d) {
             d.positional({"FILE"}, 0);
             d.json();
         },
         [](Request const& request) {
             Input_file file(request.files[0]);
             return inspect(file.name() == "standard input" ? "-" : request.files[0], file.path(), request.json);
         }}};
}

}  // namespace tools

#include "pipeline_commands.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "exchange.h"
#include "scene_json.h"
#include "skin_file_reader.h"

namespace tools {

namespace {

using json = nlohmann::json;

std::string plural(std::size_t n, char const* word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Records in the order a load meets them: each record, then what is nested in it.
void in_load_order(std::vector<File_record> const& records, int depth,
                   std::vector<std::pair<File_record const*, int>>& out)
{
    for (File_record const& r : records) {
        out.emplace_back(&r, depth);
        in_load_order(r.children, depth + 1, out);
    }
}

// The file's record tree, or nothing after saying where it breaks.
std::optional<Skin_file> read_or_report(std::string const& path)
{
    try {
        return read_skin_file(path);
    } catch (Broken_file const& e) {
        std::cerr << "tavrik-host: " << path << ": " << e.what() << "\n";
        return std::nullopt;
    }
}

}  // namespace

int inspect(std::string const& path, bool as_json)
{
    std::optional<Skin_file> const read = read_or_report(path);
    if (!read)
        return 2;
    Skin_file const& file = *read;
    std::vector<std::pair<File_record const*, int>> records;
    in_load_order(file.records, 0, records);

    std::map<std::string, std::size_t> joints;
    std::size_t points = 0, bound = 0, off_sum = 0, negative = 0, not_finite = 0, most = 0;
    for (auto const& [record, depth] : records)
        for (auto const& point : record->points) {
            ++points;
            bound += !point.empty();
            most = std::max(most, point.size());
            double sum = 0;
            for (File_binding const& b : point) {
                ++joints[joint_text(b.joint)];
                negative += b.weight < 0;
                not_finite += !std::isfinite(b.weight);
                sum += b.weight;
            }
            off_sum += !point.empty() && !(std::fabs(sum - 1.0) <= 1e-3);
        }

    if (as_json) {
        json out;
        out["file"] = path;
        out["form"] = file.binary ? "binary" : "text";
        json tree = json::array();
        for (auto const& [record, depth] : records)
            tree.push_back({{"depth", depth}, {"kind", record->kind}, {"name", record->name},
                            {"points", record->count}, {file.binary ? "byte" : "line", record->where}});
        out["records"] = tree;
        out["joints"] = joints;
        out["weights"] = {{"points", points},         {"bound_points", bound},  {"not_summing_to_one", off_sum},
                          {"negative", negative},     {"not_finite", not_finite}, {"most_influences", most}};
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    std::cout << path << ": " << (file.binary ? "binary" : "text") << " skin file, "
              << plural(file.records.size(), "top-level record") << "\n";
    std::cout << "records:\n";
    for (auto const& [record, depth] : records)
        std::cout << "  " << std::string(static_cast<std::size_t>(depth) * 2, ' ') << record->kind << " "
                  << record->name << ", " << plural(static_cast<std::size_t>(record->count), "point") << "\n";
    std::cout << "joints named (bindings):\n";
    for (auto const& [name, count] : joints)
        std::cout << "  " << name << ": " << count << "\n";
    std::cout << "weights:\n"
              << "  points bound: " << bound << " of " << points << "; most influences on one point: " << most << "\n"
              << "  bound points whose weights do not sum to 1 (within 0.001): " << off_sum << "\n"
              << "  negative weights: " << negative << "; weights that are not finite: " << not_finite << "\n";
    return 0;
}

namespace {


// Why no shape took a record: what the scene holds under that name.
std::string why_not(host::Model_scene& scene, File_record const& record, host::Model_shape const* previous)
{
    std::vector<host::Model_shape*> named;
    for (host::Model_shape* s : scene.shapes_in_order())
        if (s->name == record.name)
            named.push_back(s);
    if (named.empty())
        return "no shape named \"" + record.name + "\"";
    std::string reasons;
    for (host::Model_shape* s : named) {
        std::string reason;
        int const count = s->point_count();
        if (count != record.count)
            reason = s->path() + " has " + plural(static_cast<std::size_t>(count), "point") + ", the file " +
                     std::to_string(record.count);
        else if (previous && s->ordinal <= previous->ordinal)
            reason = s->path() + " lies before the previous target " + previous->path();
        else
            reason = s->path() + " is not of the kind " + record.kind + " or not below where the search starts";
        reasons += (reasons.empty() ? "" : "; ") + reason;
    }
    return reasons;
}

}  // namespace

int check(host::Plugin const& plugin, int language, std::string const& scene_path, std::string const& file_path,
          std::map<int, int> const& items, bool as_json)
{
    std::optional<Skin_file> const read = read_or_report(file_path);
    if (!read)
        return 2;
    Skin_file const& file = *read;
    // The load itself, through the real plug-in with its trace on, on a copy
    // of the scene that is never written.
    auto resources = plugin.resources();
    host::Host_services services(resources, language);
    host::Model_scene scene(services);
    host::read_scene_file(scene, scene_path);
    services.special_characters = scene.special_characters;
    std::map<int, int> answers = items;
    answers[14] = 1;
    services.dialog_answers.push_back(host::Dialog_answer{true, answers});
    std::vector<host::Model_shape*> targets;
    scene.modified = &targets;
    host::run_load(plugin, services, scene, file_path);
    scene.modified = nullptr;

    bool const trim = answers.count(12) == 0 || answers.at(12) != 0;  // the dialog's default trims
    std::string const special = scene.special_characters;
    auto trimmed = [&](std::string const& component) {
        std::size_t start = 0;
        while (trim && start < component.size() && special.find(component[start]) != std::string::npos)
            ++start;
        return component.substr(start);
    };

    // Each record of the file, in load order, either opened its target for
    // modification or was traced as not found; failed joint searches follow
    // the record they belong to, one line per binding lost.
    std::vector<std::pair<File_record const*, int>> records;
    in_load_order(file.records, 0, records);
    struct Outcome {
        host::Model_shape* target = nullptr;
        bool reached = false;
        std::vector<std::string> failures;  // failing components, one per binding lost
    };
    std::vector<Outcome> outcomes(records.size());
    std::size_t next_record = 0, next_target = 0;
    Outcome* current = nullptr;
    bool terminated = false;
    for (std::string const& line : services.messages) {
        if (line.rfind("***tavrik*** set skin to shape[", 0) == 0 || line.rfind("not found name:", 0) == 0) {
            if (next_record >= outcomes.size())
                break;
            current = &outcomes[next_record++];
            current->reached = true;
            if (line[0] == '*' && next_target < targets.size())
                current->target = targets[next_target++];
        } else if (line.rfind("***tavrik*** joint search error at [", 0) == 0 && current) {
            std::size_t const arrow = line.find("] -> [");
            current->failures.push_back(line.substr(arrow + 6, line.size() - arrow - 7));
        } else if (line == "***tavrik*** Terminated loading skin.") {
            terminated = true;
        }
    }

    // Bindings lost, by full joint name: each failing name fails every time,
    // so the failure lines are matched to the bindings in file order.
    std::map<std::string, std::size_t> lost;
    std::size_t matched = 0, bound_points = 0, lost_bindings = 0;
    json report = json::array();
    host::Model_shape const* previous = nullptr;
    std::vector<bool> enclosing_matched;  // by depth: whether the record around this one found its shape
    for (std::size_t i = 0; i < records.size(); ++i) {
        File_record const& record = *records[i].first;
        Outcome const& outcome = outcomes[i];
        auto const depth = static_cast<std::size_t>(records[i].second);
        enclosing_matched.resize(depth + 1);
        enclosing_matched[depth] = outcome.target != nullptr;
        bool const inside_unmatched = depth > 0 && !enclosing_matched[depth - 1];
        std::map<std::string, bool> fails_always;  // a name resolves the same way every time
        std::size_t line = 0;
        for (auto const& point : record.points)
            for (File_binding const& b : point) {
                std::string const name = joint_text(b.joint);
                auto const known = fails_always.find(name);
                bool fails = false;
                if (known != fails_always.end()) {
                    fails = known->second;
                } else {
                    // The trace names the component searched, trimmed as the load trims.
                    fails = line < outcome.failures.size() &&
                            std::any_of(b.joint.begin(), b.joint.end(), [&](std::string const& component) {
                                return trimmed(component) == outcome.failures[line];
                            });
                    fails_always.emplace(name, fails);
                }
                if (!fails)
                    continue;
                ++line;
                if (outcome.target) {
                    ++lost[name];
                    ++lost_bindings;
                }
            }
        json entry = {{"kind", record.kind}, {"name", record.name}, {"points", record.count}};
        std::string text = std::string(static_cast<std::size_t>(records[i].second) * 2, ' ') + record.kind + " " +
                           record.name + ": ";
        if (outcome.target) {
            ++matched;
            bound_points += static_cast<std::size_t>(record.count);
            entry["target"] = outcome.target->path();
            text += "binds " + outcome.target->path();
            previous = outcome.target;
        } else if (!outcome.reached) {
            entry["target"] = nullptr;
            entry["why"] = "the load ended before it";
            text += "not reached: the load ended before it";
        } else {
            std::string const why = inside_unmatched ? "the record around it matches nothing"
                                                     : why_not(scene, record, previous);
            entry["target"] = nullptr;
            entry["why"] = why;
            text += "matches nothing (" + why + ")";
            for (auto const& point : record.points)
                lost_bindings += point.size();
        }
        report.push_back(entry);
        if (!as_json)
            std::cout << text << "\n";
    }
    bool const something_lost = matched < records.size() || !lost.empty() || terminated;
    if (as_json) {
        json out;
        out["scene"] = scene_path;
        out["file"] = file_path;
        out["records"] = report;
        json joints = json::array();
        for (auto const& [name, count] : lost)
            joints.push_back({{"name", name}, {"bindings_lost", count}});
        out["joints_not_found"] = joints;
        out["totals"] = {{"records", records.size()},   {"records_matched", matched}, {"points_bound", bound_points},
                         {"bindings_lost", lost_bindings}, {"load_ended_early", terminated}};
        std::cout << out.dump(2) << "\n";
    } else {
        for (auto const& [name, count] : lost)
            std::cout << "joint not found: " << name << " (" << plural(count, "binding") << " lost)\n";
        if (terminated)
            std::cout << "the load ended early: the file is cut or broken\n";
        std::cout << "totals: " << matched << " of " << plural(records.size(), "record") << " matched, "
                  << plural(bound_points, "point") << " bound, " << plural(lost_bindings, "binding") << " lost\n";
    }
    return something_lost ? 1 : 0;
}

}  // namespace tools

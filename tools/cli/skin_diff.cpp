#include "skin_diff.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <set>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "json_report.h"
#include "load_analysis.h"
#include "output_file.h"
#include "skin_source.h"
#include "streams.h"

namespace tools {

namespace {

using json = nlohmann::json;

// One step of a reader: a record's start, one point, a record's end, or
// the end of the file.
struct Item {
    enum Kind { record, point, end, none } kind = none;
    File_record header;
    std::vector<File_binding> bindings;  // the point's
};

class Collector final : public Skin_file_events {
public:
    explicit Collector(Item& item) : item_(item) {}
    void record(File_record const& record) override
    {
        item_.kind = Item::record;
        item_.header = record;
    }
    void point(std::vector<File_binding> const& bindings) override
    {
        item_.kind = Item::point;
        item_.bindings.assign(bindings.begin(), bindings.end());
    }
    void record_end(int) override { item_.kind = Item::end; }

private:
    Item& item_;
};

// Whether two items stand at the same place of their trees.
bool same_place(Item const& x, Item const& y)
{
    return x.kind == y.kind && (x.kind != Item::record || (x.header.code == y.header.code &&
                                                           x.header.name == y.header.name &&
                                                           x.header.depth == y.header.depth));
}

// The next item; false at the end of the file.
bool next(Skin_file_reader& reader, Item& item)
{
    Collector collector(item);
    item.kind = Item::none;
    return reader.step(collector);
}

std::string weight_text(float w)
{
    return std::isfinite(w) ? host::shortest_float_text(w) : std::isnan(w) ? "nan" : w > 0 ? "inf" : "-inf";
}

// A weight in JSON: the number its shortest text gives, or that text when it is not finite.
json weight_json(float w) { return std::isfinite(w) ? json(std::stod(weight_text(w))) : json(weight_text(w)); }

constexpr std::size_t most_lines = 100;  // points listed; the totals count them all

}  // namespace

int diff(Request const& request, double tolerance)
{
    std::string const& a_path = request.files[0];
    std::string const& b_path = request.files[1];
    auto fail = [&](std::string const& message) {
        std::cerr << "tavrik-host: " << message << "\n";
        if (request.json)
            std::cout << dump_report(error_report("unreadable", message)) << "\n";
        return exit_failed;
    };

    std::size_t records = 0, points = 0, points_differing = 0, added = 0, removed = 0, changed = 0, lines = 0;
    std::string text, structure;
    json entries = json::array();
    std::set<std::string> a_joints, b_joints;
    try {
        Skin_source a(request, a_path), b(request, b_path);
        Item x, y;
        std::vector<std::string> path;  // the names of the open records
        std::string said;
        std::vector<bool> matched;
        // A's joints by B's index, found by name once: the tables differ.
        constexpr std::size_t unknown = static_cast<std::size_t>(-1);
        std::vector<std::size_t> in_b;
        std::unordered_map<std::string, std::size_t> b_by_name;
        auto b_index = [&](std::size_t joint) {
            if (in_b.size() <= joint)
                in_b.resize(joint + 1, unknown);
            if (in_b[joint] == unknown) {
                auto const& yj = b.reader().joints();
                for (std::size_t j = b_by_name.size(); j < yj.size(); ++j)
                    b_by_name.emplace(yj[j].text, j);
                auto const found = b_by_name.find(a.reader().joints()[joint].text);
                if (found != b_by_name.end())
                    in_b[joint] = found->second;  // B may name it later: a miss is not kept
            }
            return in_b[joint];
        };
        // The open record's name, joined only when a line names it: joined
        // for every record, a deep file would take time square in its depth.
        std::string record_kind;
        auto record_name = [&] { return record_kind + " " + joint_text(path); };
        // Point k of A's record against point k of B's.
        auto compare = [&](std::size_t k, std::vector<File_binding> const& xb, std::vector<File_binding> const& yb) {
            ++points;
            said.clear();
            json changes;  // null until something differs: no allocation for points alike
            matched.assign(yb.size(), false);
            auto const& xj = a.reader().joints();
            auto const& yj = b.reader().joints();
            for (File_binding const& bx : xb) {
                std::string const& name = xj[bx.joint].text;
                float const wx = bx.weight;
                std::size_t const joint = b_index(bx.joint);
                std::size_t found = yb.size();
                for (std::size_t j = 0; j < yb.size() && found == yb.size() && joint != unknown; ++j)
                    if (!matched[j] && yb[j].joint == joint)
                        found = j;
                if (found == yb.size()) {
                    ++removed;
                    said += "; removed " + name + " " + weight_text(wx);
                    changes.push_back({{"joint", name}, {"change", "removed"}, {"weight", weight_json(wx)}});
                    continue;
                }
                matched[found] = true;
                float const wy = yb[found].weight;
                bool const same = (std::isnan(wx) && std::isnan(wy)) || wx == wy ||
                                  std::fabs(static_cast<double>(wx) - static_cast<double>(wy)) <= tolerance;
                if (!same) {
                    ++changed;
                    said += "; changed " + name + " " + weight_text(wx) + " -> " + weight_text(wy);
                    changes.push_back(
                        {{"joint", name}, {"change", "changed"}, {"from", weight_json(wx)}, {"to", weight_json(wy)}});
                }
            }
            for (std::size_t j = 0; j < yb.size(); ++j)
                if (!matched[j]) {
                    ++added;
                    std::string const& name = yj[yb[j].joint].text;
                    said += "; added " + name + " " + weight_text(yb[j].weight);
                    changes.push_back({{"joint", name}, {"change", "added"}, {"weight", weight_json(yb[j].weight)}});
                }
            if (said.empty())
                return;
            ++points_differing;
            if (lines++ < most_lines) {
                text += record_name() + ", point " + std::to_string(k) + ": " + said.substr(2) + "\n";
                entries.push_back({{"record", joint_text(path)}, {"kind", record_kind}, {"point", k}, {"changes", changes}});
            }
        };
        auto step = [&](Skin_source& source, std::string const& name, Item& item) {
            try {
                return next(source.reader(), item);
            } catch (Broken_file const& e) {
                throw std::runtime_error(name + " breaks at " + e.what());
            }
        };
        auto describe = [](Item const& item) -> std::string {
            if (item.kind == Item::record)
                return item.header.kind + " " + item.header.name + " (" +
                       plural(static_cast<std::size_t>(item.header.count), "point") + ", depth " +
                       std::to_string(item.header.depth) + ")";
            return item.kind == Item::end ? "the end of a record" : "the end of the file";
        };
        std::size_t point = 0;  // of the open record
        for (;;) {
            bool const more_a = step(a, a_path, x);
            bool const more_b = step(b, b_path, y);
            if (!more_a && !more_b)
                break;
            if (x.kind == Item::point && y.kind == Item::point) {
                compare(point++, x.bindings, y.bindings);
                continue;
            }
            if (x.kind == Item::point || y.kind == Item::point) {
                // One record has more points: count them, then go on from
                // where both stand after their points.
                std::size_t extra = 0;
                bool const a_longer = x.kind == Item::point;
                Item& longer = a_longer ? x : y;
                for (; longer.kind == Item::point; ++extra)
                    step(a_longer ? a : b, a_longer ? a_path : b_path, longer);
                ++points_differing;
                if (lines++ < most_lines)
                    text += record_name() + ": " + std::to_string(point + (a_longer ? extra : 0)) + " points, " +
                            std::to_string(point + (a_longer ? 0 : extra)) + " in " + b_path + "\n";
            }
            if (!same_place(x, y)) {
                // The trees part here: the rest cannot be compared point by point.
                structure = "the record trees differ after " + plural(records, "record") + ": " + a_path + " has " +
                            describe(x) + ", " + b_path + " has " + describe(y);
                break;
            }
            if (x.kind == Item::end) {
                if (!path.empty())
                    path.pop_back();
                continue;
            }
            ++records;
            point = 0;
            path.resize(static_cast<std::size_t>(x.header.depth));
            path.push_back(x.header.name);
            record_kind = x.header.kind;
        }
        for (File_joint const& j : a.reader().joints())
            a_joints.insert(j.text);
        for (File_joint const& j : b.reader().joints())
            b_joints.insert(j.text);
    } catch (std::exception const& e) {
        return fail(e.what());
    }
    std::vector<std::string> only_a, only_b;
    for (std::string const& j : a_joints)
        if (!b_joints.count(j))
            only_a.push_back(j);
    for (std::string const& j : b_joints)
        if (!a_joints.count(j))
            only_b.push_back(j);
    bool const different = points_differing > 0 || !structure.empty() || !only_a.empty() || !only_b.empty();

    if (request.json) {
        json out = {{"version", report_version},
                    {"a", a_path},
                    {"b", b_path},
                    {"tolerance", tolerance},
                    {"same", !different},
                    {"points", entries},
                    {"points_listed", entries.size()},
                    {"joints_only_in_a", only_a},
                    {"joints_only_in_b", only_b},
                    {"totals",
                     {{"records", records},
                      {"points", points},
                      {"points_differing", points_differing},
                      {"bindings_added", added},
                      {"bindings_removed", removed},
                      {"bindings_changed", changed}}}};
        if (!structure.empty())
            out["structure"] = structure;
        std::cout << dump_report(std::move(out)) << "\n";
    } else {
        if (lines > most_lines)
            text += "... and " + plural(lines - most_lines, "more point") + " that differ\n";
        for (std::string const& j : only_a)
            text += "joint only in " + a_path + ": " + j + "\n";
        for (std::string const& j : only_b)
            text += "joint only in " + b_path + ": " + j + "\n";
        if (!structure.empty())
            text += structure + "\n";
        text += "totals: " + plural(records, "record") + " and " + plural(points, "point") + " compared, " +
                std::to_string(points_differing) + " differ; bindings " + std::to_string(added) + " added, " +
                std::to_string(removed) + " removed, " + std::to_string(changed) + " changed (tolerance " +
                json(tolerance).dump() + ")\n";
        std::cout << text;
    }
    return different ? exit_lost : exit_done;
}

std::vector<Command> diff_commands()
{
    auto tolerance = std::make_shared<double>(1e-6);
    return {{"diff",
             "two skin files, or a skin file and a scene, compared point by point; exit 0 the same, 1 different, 2 error",
             [tolerance](Declaration& d) {
                 d.positional({"A", "B"}, 0);
                 d.save_choices();
                 d.command.add_option("--tolerance", *tolerance, "weights closer than this are the same (default 1e-6)")
                     ->check(CLI::Validator(
                         [](std::string& value) {
                             char* end = nullptr;
                             double const t = std::strtod(value.c_str(), &end);
                             return end != value.c_str() && *end == 0 && std::isfinite(t) && t >= 0
                                        ? std::string()
                                        : "a tolerance is a finite number of 0 or more, not " + value;
                         },
                         "TOLERANCE"));
                 d.json();
             },
             [tolerance](Request const& request) { return diff(request, *tolerance); }}};
}

}  // namespace tools

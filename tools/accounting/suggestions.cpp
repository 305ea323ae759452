#include "suggestions.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "json_report.h"
#include "names.h"

namespace tools {

namespace {

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool starts_with(std::string const& s, std::string const& p) { return s.compare(0, p.size(), p) == 0; }
bool ends_with(std::string const& s, std::string const& e)
{
    return s.size() >= e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
}

// The prefixes (up to a first "_" or ":") and suffixes (from a last "_")
// that at least half of the names carry.
struct Affixes {
    std::vector<std::string> prefixes, suffixes;
};

template <class Names>
Affixes rig_affixes(Names const& names)
{
    std::map<std::string, std::size_t> prefixes, suffixes;
    std::size_t count = 0;
    for (std::string const& name : names) {
        ++count;
        std::size_t const first = name.find_first_of("_:");
        if (first != std::string::npos && first + 1 < name.size())
            ++prefixes[name.substr(0, first + 1)];
        std::size_t const last = name.rfind('_');
        if (last != std::string::npos && last > 0)
            ++suffixes[name.substr(last)];
    }
    Affixes out;
    for (auto const& [p, n] : prefixes)
        if (count >= 2 && n * 2 >= count)
            out.prefixes.push_back(p);
    for (auto const& [s, n] : suffixes)
        if (count >= 2 && n * 2 >= count)
            out.suffixes.push_back(s);
    return out;
}

class Suggester {
public:
    Suggester(host::Model_scene& scene, Load_account const& account) : account_(account)
    {
        all_ = scene.shapes_in_order();
        std::vector<std::string> scene_names;
        for (host::Model_shape* s : all_)
            if (s->parent())
                scene_names.push_back(s->name);
        scene_affixes_ = rig_affixes(scene_names);
        file_affixes_ = rig_affixes(account.file_components);
    }

    // Why the name n of the scene may be what the file's c meant, or "".
    std::string relation(std::string const& c, std::string const& n) const
    {
        if (c == n)
            return "";
        if (lower(c) == lower(n))
            return "the same name but for case";
        for (std::string const& p : file_affixes_.prefixes)
            if (starts_with(c, p) && c.substr(p.size()) == n)
                return "the name without the file's prefix " + p;
        for (std::string const& p : scene_affixes_.prefixes)
            if (n == p + c)
                return "the name with the scene's prefix " + p;
        for (std::string const& s : file_affixes_.suffixes)
            if (ends_with(c, s) && c.substr(0, c.size() - s.size()) == n)
                return "the name without the file's suffix " + s;
        for (std::string const& s : scene_affixes_.suffixes)
            if (n == c + s)
                return "the name with the scene's suffix " + s;
        return "";
    }

    struct Step {
        host::Model_shape* shape = nullptr;
        std::string why;  // empty for the name itself
    };

    // The shape among candidates that c names or likely meant.
    Step match(std::vector<host::Model_shape*> const& candidates, std::string const& c, bool unclaimed_allowed) const
    {
        std::vector<host::Model_shape*> exact, related, unclaimed;
        std::string why;
        for (host::Model_shape* s : candidates) {
            if (s->is_end_marker())
                continue;
            if (s->name == c) {
                exact.push_back(s);
                continue;
            }
            std::string const r = relation(c, s->name);
            if (!r.empty()) {
                related.push_back(s);
                why = r;
            }
            if (account_.file_components.count(s->name) == 0)
                unclaimed.push_back(s);
        }
        if (!exact.empty()) {
            // Of several, the one a record bound, else the first in scene order.
            for (host::Model_shape* s : exact)
                if (account_.targets.count(s))
                    return {s, ""};
            return {exact.front(), ""};
        }
        if (related.size() == 1)
            return {related.front(), why};
        if (related.empty() && unclaimed_allowed && unclaimed.size() == 1)
            return {unclaimed.front(), "the one shape at that place that no name of the file claims"};
        return {};
    }

    void joint(std::vector<std::string> const& components, Suggestions& out)
    {
        std::string const text = joint_text(components);
        nlohmann::json entry = {{"kind", "joint"}};
        put_name(entry, text);
        std::vector<std::pair<Rename, std::string>> renames;
        Step step = match(all_, components.front(), false);
        host::Model_shape* parent = nullptr;  // the last shape the walk reached
        std::size_t failed = 0;               // where it stopped
        for (std::size_t k = 0; step.shape; ++k) {
            if (!step.why.empty())
                renames.push_back({Rename{components[k], step.shape->name, false}, step.why});
            if (k + 1 == components.size())
                break;
            parent = step.shape;
            failed = k + 1;
            step = match(children_of(*parent), components[k + 1], true);
        }
        std::string line = "  joint " + text + ": ";
        if (step.shape && !renames.empty()) {
            line += "perhaps " + step.shape->path();
            nlohmann::json list = nlohmann::json::array();
            std::string told;  // renames not said on an earlier line
            for (auto const& [rename, why] : renames) {
                list.push_back({{"from", rename.from}, {"to", rename.to}, {"why", why}});
                propose(rename);
                if (told_.insert(rename.from).second)
                    told += (told.empty() ? "" : "; ") + rename.from + " -> " + rename.to + ": " + why;
            }
            if (!told.empty())
                line += " (" + told + ")";
            entry["candidate"] = step.shape->path();
            entry["renames"] = list;
        } else if (host::Model_shape* moved = parent && !step.shape ? level_changed(*parent, components, failed, line)
                                                                    : nullptr) {
            // The same chain a level shallower: no rename helps.
            entry["candidate"] = moved->path();
        } else {
            // The same last name elsewhere: the path differs, no rename helps.
            std::vector<std::string> elsewhere;
            for (host::Model_shape* s : all_)
                if (s->name == components.back() && elsewhere.size() < 3)
                    elsewhere.push_back(s->path());
            line += elsewhere.empty() ? "no likely shape" : "a shape of that name stands elsewhere:";
            for (std::size_t i = 0; i < elsewhere.size(); ++i)
                line += (i ? ", " : " ") + elsewhere[i];
            entry["candidate"] = nullptr;
            entry["elsewhere"] = elsewhere;
        }
        out.report += line + "\n";
        out.entries.push_back(entry);
    }

    static std::vector<host::Model_shape*> children_of(host::Model_shape const& shape)
    {
        std::vector<host::Model_shape*> out;
        for (auto const& child : shape.children())
            out.push_back(child.get());
        return out;
    }

    // Where the names from index on lead below start, by names alone (the
    // same or likely meant, no unclaimed guesses); null where they do not.
    host::Model_shape* follow(host::Model_shape* start, std::vector<std::string> const& components,
                              std::size_t index) const
    {
        for (std::size_t k = index; start && k < components.size(); ++k)
            start = match(children_of(*start), components[k], false).shape;
        return start;
    }

    // A path that stopped below parent at index: the same chain without the
    // file's name at index, a level the scene does not have. (A level the
    // scene has and the file not needs no help: a load finds a name deeper.)
    host::Model_shape* level_changed(host::Model_shape& parent, std::vector<std::string> const& components,
                                     std::size_t index, std::string& line) const
    {
        if (index + 1 < components.size())
            if (host::Model_shape* removed = follow(&parent, components, index + 1)) {
                line += "perhaps " + removed->path() + " (the same chain without " + components[index] + ")";
                return removed;
            }
        return nullptr;
    }

    void record(File_record const& record, Suggestions& out)
    {
        // Shapes of the record's kind and point count that no record bound.
        std::vector<host::Model_shape*> free, related;
        std::string why;
        for (host::Model_shape* s : all_) {
            if (s->is_end_marker() || get_code(*s) != record.code || s->point_count() != record.count ||
                account_.targets.count(s))
                continue;
            free.push_back(s);
            std::string const r = relation(record.name, s->name);
            if (!r.empty()) {
                related.push_back(s);
                why = r;
            }
        }
        host::Model_shape* chosen = related.size() == 1 ? related.front() : free.size() == 1 ? free.front() : nullptr;
        if (related.size() != 1 && chosen)
            why = "the only " + record.kind + " of " + plural(static_cast<std::size_t>(record.count), "point") +
                  " that no record binds";
        nlohmann::json entry = {{"kind", record.kind}};
        put_name(entry, record.name);
        std::string line = "  " + record.kind + " " + record.name + ": ";
        if (chosen && chosen->name != record.name) {
            line += "perhaps " + chosen->path() + " (" + why + ")";
            entry["candidate"] = chosen->path();
            entry["renames"] = nlohmann::json::array({{{"from", record.name}, {"to", chosen->name}, {"why", why}}});
            propose(Rename{record.name, chosen->name, true});
        } else {
            line += free.empty() ? "no shape of its kind and point count is free"
                                 : std::to_string(free.size()) + " " + record.kind + (free.size() == 1 ? "" : "s") +
                                       " of its point count free, none likelier";
            entry["candidate"] = nullptr;
        }
        out.report += line + "\n";
        out.entries.push_back(entry);
    }

    // The renames no other rename contradicts: one new name for each old
    // one, each new name claimed once.
    std::vector<Rename> unambiguous() const
    {
        std::map<std::string, std::size_t> claims;
        for (auto const& [from, rename] : proposed_)
            if (!contradicted_.count(from))
                ++claims[rename.to];
        std::vector<Rename> out;
        for (auto const& [from, rename] : proposed_)
            if (!contradicted_.count(from) && claims[rename.to] == 1)
                out.push_back(rename);
        std::stable_sort(out.begin(), out.end(), [](Rename const& a, Rename const& b) { return a.shapes_only < b.shapes_only; });
        return out;
    }

private:
    void propose(Rename const& rename)
    {
        auto const known = proposed_.find(rename.from);
        if (known == proposed_.end()) {
            proposed_.emplace(rename.from, rename);
            return;
        }
        if (known->second.to != rename.to)
            contradicted_.insert(rename.from);
        known->second.shapes_only = known->second.shapes_only && rename.shapes_only;
    }

    Load_account const& account_;
    std::vector<host::Model_shape*> all_;
    Affixes scene_affixes_, file_affixes_;
    std::map<std::string, Rename> proposed_;
    std::set<std::string> contradicted_;
    std::set<std::string> told_;
};

}  // namespace

Suggestions suggest(host::Model_scene& scene, Load_account const& account)
{
    Suggestions out;
    Suggester suggester(scene, account);
    for (auto const& components : account.failed_joints)
        if (!components.empty())
            suggester.joint(components, out);
    for (File_record const& record : account.failed_records)
        suggester.record(record, out);
    out.map = suggester.unambiguous();
    return out;
}

std::string map_text(Suggestions const& suggestions, std::string const& header)
{
    std::string out = header;
    bool shapes = false;
    for (Rename const& r : suggestions.map) {
        // A name the map's own syntax would misread is left to the user.
        auto plain = [](std::string const& name) {
            return !name.empty() && name.find_first_of("=\n\r") == std::string::npos && name.front() != '#' &&
                   name.front() != ' ' && name.back() != ' ' && name.back() != ':' && name.rfind("s/", 0) != 0 &&
                   name.rfind("strip-", 0) != 0 && name.rfind("add-", 0) != 0;
        };
        if (!plain(r.from) || !plain(r.to)) {
            out += "# not written as a rule (its names would read as map syntax): " + r.from + " -> " + r.to + "\n";
            continue;
        }
        if (r.shapes_only && !shapes) {
            out += "shapes:\n";
            shapes = true;
        }
        out += r.from + " = " + r.to + "\n";
    }
    return out;
}

}  // namespace tools

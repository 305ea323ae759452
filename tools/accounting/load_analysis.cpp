#include "load_analysis.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "exchange.h"
#include "json_report.h"
#include "names.h"
#include "skin_file_reader.h"

namespace tools {

std::string plural(std::size_t n, char const* word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

namespace {

using json = nlohmann::json;

constexpr int item_mode = 10;
constexpr int item_trim = 12;
constexpr int item_verbose = 14;

// The skin that point k of a record binds, as the plug-in chooses it.
host::Model_skin const* skin_of_point(host::Model_shape& shape, int k)
{
    if (shape.type == shape_type_polygon_mesh)
        return k >= 0 && k < static_cast<int>(shape.vertices.size()) ? &shape.vertices[static_cast<std::size_t>(k)].skin
                                                                      : nullptr;
    if (shape.type == shape_type_line || (shape.is_part() && shape.part_type == host::part_surface)) {
        host::Model_control_point const* point = shape.control_point(k);
        return point ? &point->skin : nullptr;
    }
    return &shape.skin;
}

std::string kind_plural(std::string const& kind) { return kind + "s"; }

// Why no shape took a record: what the scene holds of that kind and name.
struct Reason {
    std::string code;
    std::string text;
};

Reason why_not(host::Model_scene& scene, File_record const& record, host::Model_shape const* previous)
{
    std::vector<host::Model_shape*> same_kind, named;
    for (host::Model_shape* s : scene.shapes_in_order()) {
        if (s->is_end_marker() || get_code(*s) != record.code)
            continue;
        same_kind.push_back(s);
        if (s->name == record.name)
            named.push_back(s);
    }
    if (named.empty()) {
        std::string text = "no " + record.kind + " named \"" + record.name + "\"";
        if (!same_kind.empty()) {
            // Those of the same point count first: the likeliest renames.
            std::stable_sort(same_kind.begin(), same_kind.end(), [&](host::Model_shape* a, host::Model_shape* b) {
                return (a->point_count() == record.count) > (b->point_count() == record.count);
            });
            text += "; " + kind_plural(record.kind) + " here:";
            std::size_t const shown = std::min<std::size_t>(same_kind.size(), 3);
            for (std::size_t i = 0; i < shown; ++i)
                text += std::string(i ? "," : "") + " " + same_kind[i]->path() + " (" +
                        plural(static_cast<std::size_t>(same_kind[i]->point_count()), "point") + ")";
            if (same_kind.size() > shown)
                text += " and " + std::to_string(same_kind.size() - shown) + " more";
        }
        return {"no_shape_of_kind_and_name", text};
    }
    std::string reasons, code;
    for (host::Model_shape* s : named) {
        std::string reason;
        int const count = s->point_count();
        if (count != record.count) {
            reason = s->path() + " has " + plural(static_cast<std::size_t>(count), "point") + ", the file " +
                     std::to_string(record.count);
            code = code.empty() ? "point_count_differs" : code;
        } else if (previous && s->ordinal <= previous->ordinal) {
            reason = s->path() + " lies before the previous target " + previous->path();
            code = code.empty() ? "before_previous_target" : code;
        } else {
            reason = s->path() + " is not below where the search starts";
            code = code.empty() ? "outside_search" : code;
        }
        reasons += (reasons.empty() ? "" : "; ") + reason;
    }
    return {code, reasons};
}

// What the load's trace says of each record, in load order.
struct Outcome {
    host::Model_shape* target = nullptr;
    bool reached = false;
};

// The trace as runs of records that found their shape and records that did
// not: a matched record takes the next shape the load opened, so the runs
// grow with the shapes of the scene, not with the records of the file.
class Load_trace {
public:
    explicit Load_trace(std::vector<host::Model_shape*> const& targets) : targets_(targets) {}

    void add(bool matched)
    {
        if (runs_.empty() || runs_.back().matched != matched)
            runs_.push_back(Run{matched, 0});
        ++runs_.back().count;
    }

    Outcome next()
    {
        while (run_ < runs_.size() && taken_ == runs_[run_].count) {
            ++run_;
            taken_ = 0;
        }
        if (run_ == runs_.size())
            return {};
        ++taken_;
        Outcome out;
        out.reached = true;
        if (runs_[run_].matched && next_target_ < targets_.size())
            out.target = targets_[next_target_++];
        return out;
    }

private:
    struct Run {
        bool matched;
        std::size_t count;
    };
    std::vector<host::Model_shape*> const& targets_;
    std::vector<Run> runs_;
    std::size_t run_ = 0, taken_ = 0, next_target_ = 0;
};

class Accounting final : public Skin_file_events {
public:
    Accounting(Load_account& account, host::Model_scene& scene, Load_trace& trace, std::vector<File_joint> const& joints,
               bool trim, bool newly, bool per_record)
        : account_(account),
          scene_(scene),
          trace_(trace),
          joints_(joints),
          trim_(trim),
          newly_(newly),
          per_record_(per_record)
    {
    }

    void record(File_record const& record) override
    {
        finish();
        record_ = record;
        outcome_ = trace_.next();
        auto const depth = static_cast<std::size_t>(record.depth);
        enclosing_matched_.resize(depth + 1);
        enclosing_matched_[depth] = outcome_.target != nullptr;
        inside_unmatched_ = depth > 0 && !enclosing_matched_[depth - 1];
        point_ = 0;
        last_skin_ = nullptr;
        record_lost_ = 0;
        open_ = true;
    }

    void point(std::vector<File_binding> const& bindings) override
    {
        int const k = point_++;
        if (!outcome_.target) {
            record_lost_ += bindings.size();
            return;
        }
        if (bindings.empty())
            return;
        host::Model_skin const* skin = skin_of_point(*outcome_.target, k);
        if (!skin)
            return;
        // A joint that resolved is in the skin the point ended with: the
        // evidence, binding by binding, of which names fail.
        for (File_binding const& b : bindings) {
            if (evidence_.size() <= b.joint)
                evidence_.resize(b.joint + 1);
            Evidence& e = evidence_[b.joint];
            ++e.uses;
            std::string const& last = last_component(b.joint);
            for (auto const& binding : skin->bindings())
                if (binding.joint && trimmed(binding.joint->get_name()) == last) {
                    ++e.present;
                    break;
                }
        }
        if (skin == last_skin_)
            return;  // shapes without per-point skins: one skin for every point
        last_skin_ = skin;
        if (skin->bindings().empty()) {
            ++account_.without_influence;
            return;
        }
        if (newly_) {
            float sum = 0;
            for (auto const& binding : skin->bindings())
                sum += binding.weight;
            account_.off_sum += !(std::fabs(sum - 1.0f) <= 1e-3f);
        }
    }

    void finish()
    {
        if (!open_)
            return;
        open_ = false;
        ++account_.records;
        // Without a report by record, nothing here is kept per record.
        json entry;
        std::string text;
        if (per_record_) {
            entry = {{"depth", record_.depth}, {"kind", record_.kind}, {"points", record_.count}};
            put_name(entry, record_.name);
            text = indent(record_.depth) + record_.kind + " " + record_.name + ": ";
        }
        if (outcome_.target) {
            ++account_.matched;
            account_.points_bound += static_cast<std::size_t>(record_.count);
            entry["target"] = outcome_.target->path();
            text += "binds " + outcome_.target->path();
            previous_ = outcome_.target;
            account_.targets.insert(outcome_.target);
            if (record_.depth == 0)
                warn_if_deeper(*outcome_.target);
        } else if (!outcome_.reached) {
            entry["target"] = nullptr;
            entry["reason_code"] = "not_reached";
            entry["reason"] = "the load ended before it";
            text += "not reached: the load ended before it";
        } else {
            Reason const why = inside_unmatched_ ? Reason{"enclosing_record_unmatched", "the record around it matches nothing"}
                                                 : why_not(scene_, record_, previous_);
            entry["target"] = nullptr;
            entry["reason_code"] = why.code;
            entry["reason"] = why.text;
            text += "matches nothing (" + why.text + ")";
            account_.bindings_lost += record_lost_;
            if (!inside_unmatched_ && per_record_)
                account_.failed_records.push_back(record_);
        }
        if (per_record_) {
            account_.record_entries.push_back(std::move(entry));
            account_.report += text + "\n";
        }
    }

    void end()
    {
        finish();
        // Each name resolves one way for the whole load: a name that is in
        // none of the skins it was to bind failed.
        for (std::size_t j = 0; j < evidence_.size(); ++j) {
            if (evidence_[j].uses == 0 || evidence_[j].present > 0)
                continue;
            account_.bindings_lost += evidence_[j].uses;
            account_.failed_joints.push_back(joints_[j].components);
            json entry = {{"bindings_lost", evidence_[j].uses}, {"reason_code", "joint_not_found"}};
            put_name(entry, joints_[j].text);
            joint_lines_.emplace_back(joints_[j].text, evidence_[j].uses);
            account_.joint_entries.push_back(entry);
        }
        std::sort(joint_lines_.begin(), joint_lines_.end());
        for (auto const& [name, count] : joint_lines_)
            account_.report += "joint not found: " + name + " (" + plural(count, "binding") + " lost)\n";
    }

private:
    // A save starts its top-level records at the root part or at a selected
    // shape: a top record bound below those, where one of them could have
    // taken it, came from another selection. Where none of them could, the
    // binding is the only one there is, and nothing is said.
    void warn_if_deeper(host::Model_shape& target)
    {
        if (target.parent() == nullptr ||
            std::find(scene_.active.begin(), scene_.active.end(), &target) != scene_.active.end())
            return;
        auto could_take = [&](host::Model_shape* s) {
            return s && s != &target && get_code(*s) == record_.code && s->point_count() == record_.count &&
                   trimmed(s->name) == trimmed(record_.name);
        };
        if (!could_take(&scene_.root()) && std::none_of(scene_.active.begin(), scene_.active.end(), could_take))
            return;
        std::string text = "the file's top record " + record_.kind + " " + record_.name + " binds " + target.path() +
                           ", below where a save of it would have started (the file was saved from another selection)";
        if (get_code(scene_.root()) == record_.code && scene_.root().name == record_.name)
            text += "; --select none binds it to the root part " + scene_.root().path();
        else
            text += "; --select " + target.path() + " binds it there as the top record";
        account_.warnings.push_back(text);
    }

    static std::string indent(int depth) { return std::string(static_cast<std::size_t>(std::min(depth, 64)) * 2, ' '); }

    std::string trimmed(std::string_view component) const
    {
        std::size_t start = 0;
        while (trim_ && start < component.size() && scene_.special_characters.find(component[start]) != std::string::npos)
            ++start;
        return std::string(component.substr(start));
    }

    std::string const& last_component(std::size_t joint)
    {
        if (last_.size() <= joint)
            last_.resize(joint + 1);
        if (!last_[joint])
            last_[joint] = trimmed(joints_[joint].components.back());
        return *last_[joint];
    }

    struct Evidence {
        std::size_t uses = 0;     // bindings of matched records that name the joint
        std::size_t present = 0;  // of those, how many found it in the skin
    };

    Load_account& account_;
    host::Model_scene& scene_;
    Load_trace& trace_;
    std::vector<File_joint> const& joints_;
    bool trim_, newly_, per_record_;

    File_record record_;
    Outcome outcome_;
    bool open_ = false;
    bool inside_unmatched_ = false;
    std::vector<bool> enclosing_matched_;  // by depth: whether the record around this one found its shape
    int point_ = 0;
    host::Model_skin const* last_skin_ = nullptr;
    std::size_t record_lost_ = 0;
    host::Model_shape const* previous_ = nullptr;
    std::vector<Evidence> evidence_;                  // by joint
    std::vector<std::optional<std::string>> last_;    // by joint: its last component, trimmed
    std::vector<std::pair<std::string, std::size_t>> joint_lines_;
};

}  // namespace

Load_account load_and_account(host::Plugin const& plugin, host::Host_services& services, host::Model_scene& scene,
                              std::string const& file, std::map<int, int> items, bool per_record)
{
    bool const echo = items.count(item_verbose) && items.at(item_verbose) != 0 && services.echo_messages;
    items[item_verbose] = 1;
    bool const trim = items.count(item_trim) == 0 || items.at(item_trim) != 0;  // the dialog's default trims
    bool const newly = items.count(item_mode) == 0 || items.at(item_mode) == 0;

    // Each record of the file, in load order, either opened its target for
    // modification or was traced as not found; failed joint searches follow
    // the record they belong to, one line per binding lost. The trace is
    // read as it is written and not kept.
    Load_account account;
    std::vector<host::Model_shape*> targets;
    Load_trace trace(targets);
    auto const observe = [&](std::string_view line) {
        if (line.rfind("***tavrik*** set skin to shape[", 0) == 0)
            trace.add(true);
        else if (line.rfind("not found name:", 0) == 0)
            trace.add(false);
        else if (line == "***tavrik*** Terminated loading skin.")
            account.terminated = true;
    };
    struct Restore {
        host::Host_services& services;
        host::Model_scene& scene;
        bool echoed = services.echo_messages;
        ~Restore()
        {
            services.echo_messages = echoed;
            services.message_observer = nullptr;
            scene.modified = nullptr;
        }
    } restore{services, scene};
    services.echo_messages = echo;
    services.message_observer = observe;
    services.dialog_answers.push_back(host::Dialog_answer{true, items});
    scene.modified = &targets;
    host::run_load(plugin, services, scene, file);

    try {
        Skin_file_reader reader(file);
        Accounting accounting(account, scene, trace, reader.joints(), trim, newly, per_record);
        try {
            reader.read(accounting);
        } catch (Broken_file const& e) {
            account.broken = e.what();
        }
        accounting.end();
        for (File_joint const& joint : reader.joints())
            account.file_components.insert(joint.components.begin(), joint.components.end());
    } catch (Broken_file const& e) {
        account.broken = e.what();
    }
    return account;
}

}  // namespace tools

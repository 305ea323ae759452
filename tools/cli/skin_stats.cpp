#include "skin_stats.h"

#include <algorithm>
#include <functional>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <set>

#include <nlohmann/json.hpp>

#include "json_report.h"
#include "load_analysis.h"
#include "skin_source.h"

namespace tools {

namespace {

using json = nlohmann::json;

class Tally final : public Skin_file_events {
public:
    void record(File_record const& record) override
    {
        path_.resize(static_cast<std::size_t>(record.depth));
        path_.push_back(record.name);
        kind_ = record.kind;
        point_ = 0;
    }
    void point(std::vector<File_binding> const& bindings) override
    {
        ++points;
        std::size_t const n = bindings.size();
        if (histogram.size() <= n)
            histogram.resize(n + 1, 0);
        ++histogram[n];
        if (n > most) {
            most = n;
            most_where = kind_ + " " + joint_text(path_) + ", point " + std::to_string(point_);
        }
        ++point_;
        if (n == 0)
            return;
        ++bound;
        double sum = 0;
        for (File_binding const& b : bindings) {
            if (joints.size() <= b.joint)
                joints.resize(b.joint + 1);
            ++joints[b.joint].points;
            joints[b.joint].weight += b.weight;
            negative += b.weight < 0;
            not_finite += !std::isfinite(b.weight);
            sum += b.weight;
        }
        off_sum += !(std::fabs(sum - 1.0) <= 1e-3);
        // What an engine's limit of 4 or 8 influences would cost this point.
        over_4 += n > 4;
        over_8 += n > 8;
        if (n > 4 && sum > 0) {
            weights_.clear();
            for (File_binding const& b : bindings)
                weights_.push_back(b.weight);
            std::nth_element(weights_.begin(), weights_.begin() + 4, weights_.end(), std::greater<double>());
            dropped_at_4 = std::max(dropped_at_4, weights_[4] / sum);
        }
    }

    struct Joint {
        std::size_t points = 0;
        double weight = 0;
    };
    std::size_t points = 0, bound = 0, off_sum = 0, negative = 0, not_finite = 0, most = 0;
    std::size_t over_4 = 0, over_8 = 0;
    double dropped_at_4 = 0;  // the largest weight a limit of 4 drops, of its point's sum
    std::string most_where;
    std::vector<std::size_t> histogram;  // points by number of influences
    std::vector<Joint> joints;           // by the reader's joint index

private:
    std::vector<std::string> path_;
    std::string kind_;
    int point_ = 0;
    std::vector<double> weights_;
};

bool is_joint_kind(host::Model_shape const& s)
{
    static std::set<int> const kinds = {host::part_rotator, host::part_slider,      host::part_scale,
                                        host::part_uniscale, host::part_light_joint, host::part_ball};
    return s.is_part() && kinds.count(s.part_type) > 0;
}

// Joints of the scene that no skin binds.
std::vector<std::string> unused_joints(host::Model_scene& scene)
{
    std::set<shape_class const*> used;
    auto take = [&](host::Model_skin const& skin) {
        for (auto const& b : skin.bindings())
            used.insert(b.joint);
    };
    std::vector<host::Model_shape*> const shapes = scene.shapes_in_order();
    for (host::Model_shape* s : shapes)
        host::for_each_skin(*s, take);
    std::vector<std::string> out;
    for (host::Model_shape* s : shapes)
        if (is_joint_kind(*s) && !used.count(s))
            out.push_back(s->path());
    return out;
}

}  // namespace

int stats(Request const& request)
{
    std::string const& path = request.files[0];
    Tally tally;
    std::vector<File_joint> joints;
    std::vector<std::string> unused;
    bool scene = false;
    try {
        Skin_source source(request, path);
        source.reader().read(tally);
        joints = source.reader().joints();
        if (source.scene()) {
            scene = true;
            unused = unused_joints(*source.scene());
        }
    } catch (Broken_file const& e) {
        std::string const message = path + " breaks at " + e.what();
        std::cerr << "tavrik-host: " << message << "\n";
        if (request.json)
            std::cout << dump_report(error_report("broken_file", message)) << "\n";
        return exit_failed;
    } catch (std::exception const& e) {
        std::cerr << "tavrik-host: " << e.what() << "\n";
        if (request.json)
            std::cout << dump_report(error_report("unreadable", e.what())) << "\n";
        return exit_failed;
    }
    tally.joints.resize(joints.size());
    std::vector<std::size_t> order(joints.size());
    for (std::size_t j = 0; j < order.size(); ++j)
        order[j] = j;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (tally.joints[a].points != tally.joints[b].points)
            return tally.joints[a].points > tally.joints[b].points;
        return joints[a].text < joints[b].text;
    });

    if (request.json) {
        json list = json::array();
        for (std::size_t j : order) {
            json entry = {{"points", tally.joints[j].points}, {"weight", tally.joints[j].weight}};
            put_name(entry, joints[j].text);
            list.push_back(entry);
        }
        json out = {{"version", report_version},
                    {"source", path},
                    {"points", tally.points},
                    {"points_bound", tally.bound},
                    {"influences", tally.histogram},
                    {"most_influences", tally.most},
                    {"most_influenced_point", tally.most ? json(tally.most_where) : json(nullptr)},
                    {"joints", list},
                    {"not_summing_to_one", tally.off_sum},
                    {"negative", tally.negative},
                    {"not_finite", tally.not_finite},
                    {"limits", {{"points_over_4", tally.over_4},
                                {"points_over_8", tally.over_8},
                                {"largest_weight_dropped_at_4", tally.dropped_at_4}}}};
        if (scene)
            out["joints_unused"] = unused;
        std::cout << dump_report(std::move(out)) << "\n";
        return exit_done;
    }
    std::string out = path + ": " + plural(tally.points, "point") + ", " + std::to_string(tally.bound) + " bound\n";
    out += "influences per point:\n";
    char line[256];
    for (std::size_t n = 0; n < tally.histogram.size(); ++n)
        if (tally.histogram[n]) {
            std::snprintf(line, sizeof line, "  %3zu  %10zu points\n", n, tally.histogram[n]);
            out += line;
        }
    if (tally.most)
        out += "most influenced: " + tally.most_where + " (" + plural(tally.most, "influence") + ")\n";
    std::snprintf(line, sizeof line, "%.4f", tally.dropped_at_4);
    out += "engine limits: " + plural(tally.over_4, "point") + " over 4 influences" +
           (tally.over_4 ? std::string(" (a limit of 4 drops weights up to ") + line + " of a point's sum)" : "") +
           ", " + std::to_string(tally.over_8) + " over 8\n";
    out += "joints (bound points, total weight):\n";
    for (std::size_t j : order) {
        std::snprintf(line, sizeof line, "  %10zu  %14.4f  ", tally.joints[j].points, tally.joints[j].weight);
        out += line + joints[j].text + "\n";
    }
    if (scene) {
        out += "joints of the scene no skin uses: " + std::to_string(unused.size()) + "\n";
        for (std::string const& u : unused)
            out += "  " + u + "\n";
    }
    out += "bound points whose weights do not sum to 1 (within 0.001): " + std::to_string(tally.off_sum) + "\n";
    out += "negative weights: " + std::to_string(tally.negative) +
           "; weights that are not finite: " + std::to_string(tally.not_finite) + "\n";
    std::cout << out;
    return exit_done;
}

std::vector<Command> stats_commands()
{
    return {{"stats", "influences per point, joints by bound points and weight, unused joints and weights to look at",
             [](Declaration& d) {
                 d.positional({"SOURCE"}, 0);
                 d.save_choices();
                 d.json();
             },
             stats}};
}

}  // namespace tools

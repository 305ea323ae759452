#include "transfer_command.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "inpaint.h"
#include "json_report.h"
#include "library.h"
#include "name_map.h"
#include "output_file.h"
#include "scene_files.h"
#include "services.h"
#include "transfer.h"

namespace tools {

namespace {

using json = nlohmann::json;

struct Transfer_request {
    std::string method = "inpaint";
    double max_distance = 0.05;
    double max_angle = 30;
    int smooth = 0;
    std::size_t max_influences = 0;
    std::vector<std::string> pairs;
};

std::string fixed(double value, int digits)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

// A number from low to high; written so that a NaN fails it too.
CLI::Validator between(double low, double high)
{
    return CLI::Validator(
        [low, high](std::string& value) {
            char* end = nullptr;
            double const x = std::strtod(value.c_str(), &end);
            return end != value.c_str() && *end == 0 && x >= low && x <= high
                       ? std::string()
                       : "a number from " + fixed(low, 0) + " to " + fixed(high, 0) + ", not " + value;
        },
        "NUMBER");
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int run_transfer(Transfer_request const& asked, Request const& request)
{
    auto const& files = request.files;
    refuse_same_file({files[0], files[1]}, files[2]);
    refuse_glb_without_model(files[1], files[2]);
    if (request.json && files[2] == "-")
        throw File_error("--json writes the report to standard output: give OUT a file name");

    host::Transfer_options options;
    options.method = asked.method == "index"     ? host::Transfer_method::index
                     : asked.method == "nearest" ? host::Transfer_method::nearest
                                                 : host::Transfer_method::inpaint;
    options.max_distance = asked.max_distance;
    options.max_angle = asked.max_angle;
    options.smooth = asked.smooth;
    options.max_influences = asked.max_influences;
    options.selected_only = !request.select.empty();
    for (std::string const& pair : asked.pairs) {
        std::size_t const equals = pair.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == pair.size())
            throw File_error("--pair " + pair + ": give SOURCE_SHAPE=TARGET_SHAPE");
        options.pairs.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
    }
    std::unique_ptr<Name_map> map;
    if (!request.map.empty()) {
        map = std::make_unique<Name_map>(Name_map::read_file(request.map));
        options.joint_name = [&map](std::string const& name) { return map->apply(name, Name_map::Scope::joints); };
    }

    host::Plugin plugin(request.plugin);
    auto resources = plugin.resources();
    host::Host_services services(resources, request.language);
    host::Model_scene source(services), target(services);
    auto start = std::chrono::steady_clock::now();
    read_any_scene(source, files[0]);
    read_any_scene(target, files[1], request.select);
    double const read = seconds_since(start);

    host::Transfer_report const report = host::transfer_skins({source, is_gltf_model(files[0])},
                                                              {target, is_gltf_model(files[1])}, options);
    start = std::chrono::steady_clock::now();
    Output_file out(files[2]);
    bool const written = write_any_scene(target, out, files[1], request.pretty, request.glb);
    double const write = seconds_since(start);  // in place when written

    bool const solved = options.method == host::Transfer_method::inpaint;
    if (request.json) {
        json shapes = json::array();
        for (host::Shape_transfer const& s : report.shapes)
            shapes.push_back({{"target", s.target},
                              {"source", s.source.empty() ? json(nullptr) : json(s.source)},
                              {"vertices", s.vertices},
                              {"matched", s.matched},
                              {"inpainted", s.inpainted},
                              {"unbound", s.unbound},
                              {"lost", s.lost},
                              {"limited", s.limited},
                              {"farthest", s.farthest},
                              {"refused", s.refused.empty() ? json(nullptr) : json(s.refused)}});
        json out_report = {{"version", report_version},
                           {"method", asked.method},
                           {"max_distance", asked.max_distance},
                           {"max_angle", asked.max_angle},
                           {"solver", solved ? json(host::inpaint_solver()) : json(nullptr)},
                           {"shapes", shapes},
                           {"missing_joints", report.missing_joints},
                           {"written", written},
                           {"seconds", {{"read", read},
                                        {"index", report.index},
                                        {"match", report.match},
                                        {"build", report.build},
                                        {"factor", report.factor},
                                        {"solve", report.solve},
                                        {"write", write}}}};
        std::cout << dump_report(std::move(out_report)) << "\n";
    } else if (!request.quiet) {
        std::string text = "transfer by " + asked.method;
        if (solved)
            text += " (matches within " + fixed(asked.max_distance, 4) + " of each shape's box diagonal and " +
                    fixed(asked.max_angle, 1) + " degrees; the rest solved by " + host::inpaint_solver() + ")";
        text += "\n";
        if (report.shapes.empty())
            text += "no mesh in " + files[1] + " to transfer onto\n";
        for (host::Shape_transfer const& s : report.shapes) {
            text += s.target + (s.source.empty() ? "" : " <- " + s.source) + ": ";
            if (!s.refused.empty()) {
                text += "refused, left as it was: " + s.refused + "\n";
                continue;
            }
            text += std::to_string(s.vertices) + " vertices, " + std::to_string(s.matched) + " matched (farthest " +
                    fixed(s.farthest, 6) + ")";
            if (solved)
                text += ", " + std::to_string(s.inpainted) + " inpainted";
            if (s.unbound)
                text += ", " + std::to_string(s.unbound) + " matched where the source has no skin (left without one)";
            if (s.lost)
                text += ", " + std::to_string(s.lost) + " lost the weight of a joint the target lacks";
            if (s.limited)
                text += ", " + std::to_string(s.limited) + " limited to " + std::to_string(asked.max_influences) +
                        " influences";
            text += "\n";
        }
        for (std::string const& joint : report.missing_joints)
            text += "no joint of that name in the target, its weights dropped: " + joint + "\n";
        text += "seconds: read " + fixed(read, 3) + ", index " + fixed(report.index, 3) + ", match " +
                fixed(report.match, 3) + ", build " + fixed(report.build, 3) + ", factor " + fixed(report.factor, 3) +
                ", solve " + fixed(report.solve, 3) + ", write " + fixed(write, 3) + "\n";
        std::cerr << text;
    }
    if (!written)
        return exit_lost;
    return report.lost() || report.shapes.empty() ? exit_lost : exit_done;
}

}  // namespace

std::vector<Command> transfer_commands()
{
    auto asked = std::make_shared<Transfer_request>();
    return {{"transfer",
             "the skins of SOURCE's meshes carried onto TARGET's by position, TARGET written with them; exit 1 when a "
             "shape is refused or a joint's weights dropped",
             [asked](Declaration& d) {
                 d.positional({"SOURCE_SCENE", "TARGET", "OUT"}, 2);
                 d.command.add_option("--method", asked->method,
                                      "index (as a load binds), nearest (the closest point of the source's triangles, its "
                                      "weights blended) or inpaint (nearest within the limits, the rest solved)")
                     ->check(CLI::IsMember({"index", "nearest", "inpaint"}));
                 d.command
                     .add_option("--max-distance", asked->max_distance,
                                 "inpaint: the farthest match, as a share of the target shape's box diagonal (0.05)")
                     ->check(between(0, 1e9));
                 d.command
                     .add_option("--max-angle", asked->max_angle, "inpaint: the most degrees between the normals of a match (30)")
                     ->check(between(0, 180));
                 d.command.add_option("--smooth", asked->smooth, "inpaint: rounds of smoothing of the inpainted weights (0)")
                     ->check(CLI::Range(0, 1000));
                 d.command
                     .add_option("--max-influences", asked->max_influences,
                                 "each vertex keeps its K largest weights (the smallest dropped), renormalised")
                     ->check(CLI::PositiveNumber);
                 d.command.add_option("--pair", asked->pairs,
                                      "SOURCE_SHAPE=TARGET_SHAPE (paths or names): a mesh paired by hand (repeatable)");
                 d.map()->description("a name map for the source's joint names");
                 d.json();
             },
             [asked](Request const& request) { return run_transfer(*asked, request); }}};
}

}  // namespace tools

#include "map_commands.h"

#include <iostream>

#include "load_analysis.h"
#include "skin_file_reader.h"

namespace tools {

Mapped_input::Mapped_input(std::string const& path, std::string const& map_path) : path_(path), map_path_(map_path)
{
    if (map_path.empty())
        return;
    map_ = std::make_unique<Name_map>(Name_map::read_file(map_path));
    temporary_ = std::make_unique<Temporary_file>("tavrik-host-mapped");
    result_ = remap_skin_file(path, temporary_->path(), *map_);
}

std::string Mapped_input::report(std::string const& indent, bool every_rule) const
{
    if (!map_)
        return {};
    std::string out = indent + "map " + map_path_ + ": " + std::to_string(result_.joints_renamed) + " of " +
                      plural(result_.joints, "joint name") + " and " + std::to_string(result_.records_renamed) + " of " +
                      plural(result_.records, "record") + " renamed\n";
    for (Name_map::Rule const& rule : map_->rules())
        if (every_rule || rule.changed == 0)
            out += indent + "  line " + std::to_string(rule.line) + ", " + rule.text + ": " +
               (rule.changed ? plural(rule.changed, "name") + " changed\n"
                             : std::string("changed no name (a typo?)\n"));
    return out;
}

nlohmann::json Mapped_input::report_json() const
{
    if (!map_)
        return nullptr;
    nlohmann::json rules = nlohmann::json::array();
    for (Name_map::Rule const& rule : map_->rules())
        rules.push_back({{"line", rule.line}, {"rule", rule.text}, {"names_changed", rule.changed}});
    return {{"file", map_path_},
            {"joints", result_.joints},
            {"joints_renamed", result_.joints_renamed},
            {"records", result_.records},
            {"records_renamed", result_.records_renamed},
            {"rules", rules}};
}

int remap(Request const& request)
{
    std::string const& in = request.files[0];
    std::string const& out_path = request.files[1];
    Input_file input(in);
    refuse_same_file({in, request.map}, out_path);
    Name_map map = Name_map::read_file(request.map);
    Output_file out(out_path);
    Remap_result result;
    std::string refused, broken;
    out.write([&](std::string const& path) {
        try {
            result = remap_skin_file(input.path(), path, map);
        } catch (Remap_refused const& e) {
            refused = e.what();
        } catch (Broken_file const& e) {
            broken = e.what();
        }
    });
    if (!refused.empty() || !broken.empty()) {
        std::cerr << "tavrik-host: " << (refused.empty() ? "cannot remap " + input.name() + ": it breaks at " + broken : refused)
                  << "; " << out_path << " not written\n";
        return refused.empty() ? exit_failed : exit_lost;
    }
    out.keep();
    if (!request.quiet) {
        std::cerr << "tavrik-host: " << result.joints_renamed << " of " << plural(result.joints, "joint name") << " and "
                  << result.records_renamed << " of " << plural(result.records, "record") << " renamed\n";
        for (Name_map::Rule const& rule : map.rules())
            if (rule.changed == 0)
                std::cerr << "tavrik-host: " << request.map << ", line " << rule.line << ", " << rule.text
                          << ": changed no name (a typo?)\n";
    }
    return exit_done;
}

std::vector<Command> map_commands()
{
    return {{"remap",
             "the skin file written again in its form with its names mapped (byte for byte the same where no rule "
             "applies); exit 1 when a new name cannot be written, nothing written",
             [](Declaration& d) {
                 d.positional({"FILE", "NEWFILE"}, 1);
                 d.map()->required();
             },
             remap}};
}

}  // namespace tools

// Name maps on the command line: remap, which writes a skin file again with
// its names mapped, and the mapped input of check and load, which read the
// mapped file in place of the user's and say what each rule changed.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "name_map.h"
#include "output_file.h"
#include "command.h"
#include "request.h"
#include "skin_file_remap.h"

namespace tools {

// The skin file a command reads: the user's, or with --map a temporary copy
// with the names mapped. Throws Map_error, Remap_refused, Broken_file.
class Mapped_input {
public:
    Mapped_input(std::string const& path, std::string const& map_path);
    std::string const& path() const { return temporary_ ? temporary_->path() : path_; }
    bool mapped() const { return temporary_ != nullptr; }
    // What the map changed, as lines of a report: every rule's count, or
    // only the rules that changed nothing; and as JSON.
    std::string report(std::string const& indent, bool every_rule = true) const;
    nlohmann::json report_json() const;

private:
    std::string path_, map_path_;
    std::unique_ptr<Name_map> map_;
    std::unique_ptr<Temporary_file> temporary_;
    Remap_result result_;
};

// tavrik-host remap IN OUT --map FILE: exit 0 written, 1 a rename refused
// (nothing written), 2 a bad map, a broken file or a failed write.
int remap(Request const& request);

std::vector<Command> map_commands();

}  // namespace tools

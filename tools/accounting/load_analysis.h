// "Load skin" through the real plug-in, accounted record by record: which
// shape each record of the file bound, which records matched nothing and
// why, which joint names did not resolve and the bindings lost with them,
// and what the load left behind (points without any influence, weights that
// no longer sum to 1). check runs it on a scene it never writes; load on the
// scene it writes.
#pragma once

#include <map>
#include <set>
#include <vector>
#include <string>

#include <nlohmann/json.hpp>

#include "library.h"
#include "scene_model.h"
#include "services.h"
#include "skin_file_reader.h"

namespace tools {

struct Load_account {
    std::size_t records = 0;
    std::size_t matched = 0;
    std::size_t points_bound = 0;
    std::size_t bindings_lost = 0;
    std::size_t without_influence = 0;  // points the file binds that end with no binding
    std::size_t off_sum = 0;            // bound points whose weights do not sum to 1 (Newly mode)
    bool terminated = false;            // the plug-in did not read the file through
    std::string broken;                 // where the file breaks, when it does
    std::string report;                 // a line per record and per joint not found (per record only)
    nlohmann::json record_entries = nlohmann::json::array();
    nlohmann::json joint_entries = nlohmann::json::array();
    std::vector<std::string> warnings;  // the file was saved from another selection, for one

    // What suggestions start from: the joint names that failed (components),
    // the records that matched nothing of themselves, every component name
    // the file uses, and the shapes the records bound.
    std::vector<std::vector<std::string>> failed_joints;
    std::vector<File_record> failed_records;
    std::set<std::string> file_components;
    std::set<host::Model_shape const*> targets;

    bool something_lost() const { return matched < records || bindings_lost > 0 || terminated || !broken.empty(); }
};

// Loads file into the scene with the load dialog's items (verbose is made
// on, the trace echoed only when the items ask for it). Without per_record,
// the account keeps its counts and joints but no entry, line or failed
// record per record, so its size does not grow with the file's records.
Load_account load_and_account(host::Plugin const& plugin, host::Host_services& services, host::Model_scene& scene,
                              std::string const& file, std::map<int, int> items, bool per_record);

std::string plural(std::size_t n, char const* word);

}  // namespace tools

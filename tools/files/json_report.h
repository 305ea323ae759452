// What the JSON reports of tavrik-host share: their version, names that may
// not be UTF-8, and the error object a failed command prints instead.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace tools {

// Raised when the shape of a report changes.
constexpr int report_version = 1;

// Puts a name as "name", or as "name_hex" (its bytes in hex) when it is not UTF-8.
void put_name(nlohmann::json& object, std::string const& name);

// The report as text. Every string in it that is not UTF-8 is given as its
// bytes in hex: an object's member "key" as "key_hex", an array's element as
// {"hex": ...}.
std::string dump_report(nlohmann::json report);

// {"version": 1, "error": {"code": ..., "message": ...}}
nlohmann::json error_report(std::string const& code, std::string const& message);

}  // namespace tools

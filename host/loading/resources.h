// Where the host finds a plug-in's resource documents, and how it reads them.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace host {

constexpr int language_english = 1033;
constexpr int language_japanese = 1041;

// The VXUL documents of one plug-in, by upper-case name and language.
class Resource_source {
public:
    virtual ~Resource_source() = default;
    virtual std::optional<std::string> document(std::string const& name, int language) const = 0;
};

// Documents in <folder>/<language>/<NAME>.xml, as they lie beside the library.
std::unique_ptr<Resource_source> resources_in_folder(std::string folder);

// A string table: rows by key, in document order.
struct String_table {
    std::vector<std::pair<std::string, std::string>> rows;
};

// An item of a dialog document.
struct Dialog_item_spec {
    std::string kind;   // "selection" or "bool"
    int id = 0;
    std::string label;  // a selection's caption and entries, separated by "|"
    std::string default_value;
};

struct Dialog_document {
    std::string title;
    std::string default_button;
    std::vector<Dialog_item_spec> items;
};

// Both throw host_error with the position of a malformed document.
String_table parse_string_table(std::string const& xml);
Dialog_document parse_dialog_document(std::string const& xml);

// Upper-case document name for the name the code uses ("export_dialog_id").
std::string document_name(std::string const& name);

}  // namespace host

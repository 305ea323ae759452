// Loading a plug-in library by path and binding its seven exports by name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pluginexports.h"

namespace host {

// The platform's loader: dlopen on Linux, LoadLibrary on Windows.
class Library {
public:
    virtual ~Library() = default;
    // The address of an exported symbol, or null.
    virtual void* symbol(char const* name) = 0;
    // The folder the library lies in.
    virtual std::string folder() const = 0;
};

// Throws host_error with the loader's reason.
std::unique_ptr<Library> open_library(std::string const& path);

enum class Interface_kind { exporter, importer, browser };

struct Menu_entry {
    Interface_kind kind;
    int index;
    std::string name;  // empty when the plug-in gave none
    component_id uuid;
};

interface_id const& iid_of(Interface_kind kind);

class Plugin {
public:
    // Loads the library and binds its exports; throws when one is missing.
    explicit Plugin(std::string const& path);

    // The menu a host builds: has_interface, then get_name and get_uuid per index.
    std::vector<Menu_entry> menu(vantel_interface& vantel) const;
    // A new component holding one reference, which the caller releases; null when none.
    plugin_interface* create(Interface_kind kind, int index, vantel_interface& vantel) const;

    std::string const& folder() const { return folder_; }

    has_interface_function has_interface = nullptr;
    get_name_function get_name = nullptr;
    get_uuid_function get_uuid = nullptr;
    create_interface_function create_interface = nullptr;
    get_info_function get_info = nullptr;
    is_resident_function is_resident = nullptr;
    has_separate_interfaces_function has_separate_interfaces = nullptr;

private:
    std::unique_ptr<Library> library_;
    std::string folder_;
};

// A plug-in library path next to a program: <program folder>/../plugin/tavrik.so.
std::string default_plugin_path(char const* argv0);

}  // namespace host

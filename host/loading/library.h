// The loading room (host/loading): loading the plug-in library (the POSIX
// and Windows loaders) and reading its resource documents. It uses only the
// faults room.
//
// Loading a plug-in library by path and binding its seven exports by name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pluginexports.h"
#include "resources.h"

namespace host {

// The platform's loader: dlopen on Linux and macOS, LoadLibrary on Windows.
class Library {
public:
    virtual ~Library() = default;
    // The address of an exported symbol, or null.
    virtual void* symbol(char const* name) = 0;
    // The library's resource documents: the VXUL folder beside it, or on
    // Windows its own embedded resources. The source keeps the library loaded.
    virtual std::shared_ptr<Resource_source const> resources() = 0;
};

// Throws host_error with the loader's reason.
std::shared_ptr<Library> open_library(std::string const& path);

// The seven exports, in the order has_interface, get_name, get_uuid,
// create_interface, get_info, is_resident, has_separate_interfaces, under the
// names the loader finds them by: 32-bit Windows decorates standard calls.
inline constexpr char const* export_names[] = {
#if defined(_WIN32) && !defined(_WIN64)
    "_has_interface@8", "_get_name@16", "_get_uuid@16", "_create_interface@20",
    "_get_info@12", "_is_resident@12", "_has_separate_interfaces@4",
#else
    "has_interface", "get_name", "get_uuid", "create_interface",
    "get_info", "is_resident", "has_separate_interfaces",
#endif
};

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

    std::shared_ptr<Resource_source const> resources() const { return library_->resources(); }

    has_interface_function has_interface = nullptr;
    get_name_function get_name = nullptr;
    get_uuid_function get_uuid = nullptr;
    create_interface_function create_interface = nullptr;
    get_info_function get_info = nullptr;
    is_resident_function is_resident = nullptr;
    has_separate_interfaces_function has_separate_interfaces = nullptr;

private:
    std::shared_ptr<Library> library_;
};

// The folder part of a path, with either separator; "." when there is none.
std::string folder_of(std::string const& path);

// The plug-in library beside a program's folder: <program folder>/../plugin/<library>.
std::string default_plugin_path(char const* argv0);

}  // namespace host

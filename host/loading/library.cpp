#include "library.h"

#include "faults.h"
#include "vantelids.h"

namespace host {

namespace {

template <class Function>
void bind(Library& library, char const* name, Function& out)
{
    void* address = library.symbol(name);
    if (!address)
        throw host_error(std::string("the plug-in does not export ") + name);
    out = reinterpret_cast<Function>(address);
}

}  // namespace

interface_id const& iid_of(Interface_kind kind)
{
    switch (kind) {
    case Interface_kind::exporter: return exporter_iid;
    case Interface_kind::importer: return importer_iid;
    case Interface_kind::browser: break;
    }
    return browser_iid;
}

Plugin::Plugin(std::string const& path) : library_(open_library(path))
{
    bind(*library_, export_names[0], has_interface);
    bind(*library_, export_names[1], get_name);
    bind(*library_, export_names[2], get_uuid);
    bind(*library_, export_names[3], create_interface);
    bind(*library_, export_names[4], get_info);
    bind(*library_, export_names[5], is_resident);
    bind(*library_, export_names[6], has_separate_interfaces);
}

std::vector<Menu_entry> Plugin::menu(vantel_interface& vantel) const
{
    std::vector<Menu_entry> entries;
    for (Interface_kind kind : {Interface_kind::exporter, Interface_kind::importer, Interface_kind::browser}) {
        interface_id const& iid = iid_of(kind);
        int const count = has_interface(iid, nullptr);
        for (int index = 0; index < count; ++index) {
            char const* name = get_name(iid, index, &vantel, nullptr);
            entries.push_back(Menu_entry{kind, index, name ? name : "", get_uuid(iid, index, nullptr)});
        }
    }
    return entries;
}

plugin_interface* Plugin::create(Interface_kind kind, int index, vantel_interface& vantel) const
{
    plugin_interface* component = nullptr;
    create_interface(iid_of(kind), index, &component, &vantel, nullptr);
    return component;
}

std::string folder_of(std::string const& path)
{
    std::size_t const slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace host

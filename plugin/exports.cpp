// The seven functions that the host binds by name; everything else is hidden.
#include "factory.h"
#include "ids.h"
#include "pluginexports.h"

#if defined(_WIN32)
#define TAVRIK_EXPORT
#else
#define TAVRIK_EXPORT __attribute__((visibility("default")))
#endif

namespace {

char const* menu_key(interface_id const& id, int index)
{
    switch (match_interface(id)) {
    case Interface_kind::exporter: return "Save skin";
    case Interface_kind::importer: return "Load skin";
    case Interface_kind::browser:
        switch (index) {
        case 0: return "Clear skin";
        case 1: return "joint clear in skins";
        case 2: return "Reset transformation";
        default: return nullptr;
        }
    case Interface_kind::none: break;
    }
    return nullptr;
}

}  // namespace

extern "C" {

TAVRIK_EXPORT int TAVRIK_EXPORT_CALL has_interface(interface_id const& id, void*)
{
    switch (match_interface(id)) {
    case Interface_kind::exporter: return 1;
    case Interface_kind::importer: return 1;
    case Interface_kind::browser: return 3;
    case Interface_kind::none: break;
    }
    return 0;
}

TAVRIK_EXPORT char const* TAVRIK_EXPORT_CALL get_name(interface_id const& id, int index,
                                                      vantel_interface* vantel, void*)
{
    char const* key = menu_key(id, index);
    if (!key || !vantel)
        return nullptr;
    return vantel->get_text_catalog()->lookup_text(key);
}

TAVRIK_EXPORT component_id TAVRIK_EXPORT_CALL get_uuid(interface_id const& id, int index, void*)
{
    switch (match_interface(id)) {
    case Interface_kind::exporter: return skin_exporter_uuid;
    case Interface_kind::importer: return skin_importer_uuid;
    case Interface_kind::browser:
        switch (index) {
        case 0: return skin_clear_uuid;
        case 1: return jointskin_clear_uuid;
        case 2: return reset_matrix_uuid;
        default: return no_component_uuid;
        }
    case Interface_kind::none: break;
    }
    return no_component_uuid;
}

TAVRIK_EXPORT void TAVRIK_EXPORT_CALL create_interface(interface_id const& id, int index,
                                                       plugin_interface** out, vantel_interface* vantel,
                                                       void*)
{
    plugin_interface* component = create_component(id, index, vantel);
    if (!component)
        return;
    if (!out) {
        // Destroyed through its own slot, as the host's last Release would.
        component->AddRef();
        component->Release();
        return;
    }
    component->AddRef();
    *out = component;
}

TAVRIK_EXPORT void TAVRIK_EXPORT_CALL get_info(plugin_info* info, void*, void*)
{
    if (!info)
        return;
    info->major_version = 10;
    info->minor_version = 0;
    info->micro_version = 0;
    info->build_number = 5;
}

TAVRIK_EXPORT bool TAVRIK_EXPORT_CALL is_resident(void*, void*, void*) { return false; }

TAVRIK_EXPORT bool TAVRIK_EXPORT_CALL has_separate_interfaces(void*) { return false; }
}

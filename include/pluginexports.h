// The seven functions a plug-in library exports, as the host binds them by name.
#pragma once

#include "plugininterface.h"

#if defined(_WIN32) && !defined(_WIN64)
#define TAVRIK_EXPORT_CALL __stdcall
#else
#define TAVRIK_EXPORT_CALL
#endif

extern "C" {
typedef int(TAVRIK_EXPORT_CALL* has_interface_function)(interface_id const& id, void* reserved);
typedef char const*(TAVRIK_EXPORT_CALL* get_name_function)(interface_id const& id, int index,
                                                           vantel_interface* vantel, void* reserved);
typedef component_id(TAVRIK_EXPORT_CALL* get_uuid_function)(interface_id const& id, int index,
                                                            void* reserved);
typedef void(TAVRIK_EXPORT_CALL* create_interface_function)(interface_id const& id, int index,
                                                            plugin_interface** out,
                                                            vantel_interface* vantel, void* reserved);
typedef void(TAVRIK_EXPORT_CALL* get_info_function)(plugin_info* info, void* reserved_0,
                                                    void* reserved_1);
typedef bool(TAVRIK_EXPORT_CALL* is_resident_function)(void* reserved_0, void* reserved_1,
                                                       void* reserved_2);
typedef bool(TAVRIK_EXPORT_CALL* has_separate_interfaces_function)(void* reserved);
}

// The plug-in's component ids and the matching of the host's interface ids.
#pragma once

#include "vantel_types.h"
#include "vantelids.h"

inline constexpr component_id make_component_id(uint32_t first)
{
    return component_id{{first, 0x53B811D9, 0xBCFF000A, 0x95BACEB2}};
}

inline constexpr component_id skin_clear_uuid = make_component_id(0x50020001);
inline constexpr component_id jointskin_clear_uuid = make_component_id(0x50020002);
inline constexpr component_id reset_matrix_uuid = make_component_id(0x50020003);
inline constexpr component_id skin_exporter_uuid = make_component_id(0x50020010);
inline constexpr component_id skin_importer_uuid = make_component_id(0x50020020);
inline constexpr component_id no_component_uuid{};

// The host version every component is built for.
constexpr int vantel_version = 430286;

// Equal only when every field of the platform's id record is equal.
inline bool same_id(interface_id const& a, interface_id const& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

enum class Interface_kind { none, exporter, importer, browser };

// Exporter first, then importer, then browser; the first equal one decides.
inline Interface_kind match_interface(interface_id const& id)
{
    if (same_id(id, exporter_iid))
        return Interface_kind::exporter;
    if (same_id(id, importer_iid))
        return Interface_kind::importer;
    if (same_id(id, browser_iid))
        return Interface_kind::browser;
    return Interface_kind::none;
}

// The host's interface kinds and the ids of its window extensions.
#pragma once

#include "vantel_types.h"

// The same initialiser fills the GUID and the macOS record field by field.
#define TAVRIK_IID(d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7) \
    interface_id { d1, d2, d3, { b0, b1, b2, b3, b4, b5, b6, b7 } }

// 50E47D62-8922-11D1-9A00-00C04FCC9C26
inline constexpr interface_id exporter_iid =
    TAVRIK_IID(0x50E47D62, 0x8922, 0x11D1, 0x9A, 0x00, 0x00, 0xC0, 0x4F, 0xCC, 0x9C, 0x26);
// 50E47D61-8922-11D1-9A00-00C04FCC9C26
inline constexpr interface_id importer_iid =
    TAVRIK_IID(0x50E47D61, 0x8922, 0x11D1, 0x9A, 0x00, 0x00, 0xC0, 0x4F, 0xCC, 0x9C, 0x26);
// 50E47D72-8922-11D1-9A00-00C04FCC9C26
inline constexpr interface_id browser_iid =
    TAVRIK_IID(0x50E47D72, 0x8922, 0x11D1, 0x9A, 0x00, 0x00, 0xC0, 0x4F, 0xCC, 0x9C, 0x26);

// The host's skin window and joint window extensions, which attach shapes.
inline constexpr component_id extend_skin_window_uuid{{0x50090082, 0x53B811D9, 0xBCFF000A, 0x95BACEB2}};
inline constexpr component_id extend_joint_window_uuid{{0x50090010, 0x53B811D9, 0xBCFF000A, 0x95BACEB2}};

// Value types and id records that the host and the plug-in share.
#pragma once

// The C headers, which a compiler has without a C++ library (a freestanding host).
#include <stddef.h>
#include <stdint.h>

// The id record follows the host platform: the Windows GUID layout on
// Windows and Linux, a 64-bit first field and 16-bit fields on macOS.
#if defined(__APPLE__) || defined(TAVRIK_MAC_IDS)
#define TAVRIK_MAC_ABI 1
#endif

// Windows' own COM root and GUID, except where the macOS records are
// compiled or no Windows headers are at hand (a freestanding host).
#if defined(_WIN32) && !defined(TAVRIK_MAC_ABI) && __has_include(<unknwn.h>)
#define TAVRIK_WINDOWS_COM 1
#include <unknwn.h>
#endif

#if defined(TAVRIK_WINDOWS_COM)
using interface_id = GUID;
#elif defined(TAVRIK_MAC_ABI)
struct interface_id {
    uint64_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint16_t Data4[8];
};
static_assert(offsetof(interface_id, Data2) == 8, "macOS id record layout");
static_assert(offsetof(interface_id, Data4) == 12, "macOS id record layout");
#else
struct interface_id {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(interface_id) == 16, "GUID layout");
#endif

// A component or extension id: four 32-bit words, stored little-endian.
struct component_id {
    uint32_t word[4];
};
static_assert(sizeof(component_id) == 16, "component id layout");

inline bool operator==(component_id const& a, component_id const& b)
{
    return a.word[0] == b.word[0] && a.word[1] == b.word[1] && a.word[2] == b.word[2] &&
           a.word[3] == b.word[3];
}
inline bool operator!=(component_id const& a, component_id const& b) { return !(a == b); }

// Filled by get_info; the first two fields belong to the host.
struct plugin_info {
    int32_t host_field_0;
    int32_t host_field_1;
    int32_t major_version;
    int32_t minor_version;
    int32_t micro_version;
    int32_t build_number;
};
static_assert(sizeof(plugin_info) == 24, "plugin_info layout");
static_assert(offsetof(plugin_info, major_version) == 8, "plugin_info layout");

struct vec3 {
    float x, y, z;
    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

struct vec4 {
    float v[4];
    float& operator[](int i) { return v[i]; }
    float operator[](int i) const { return v[i]; }
};

// 4x4 float matrix, row by row; points are row vectors, translation in row 3.
struct mat4 {
    float m[4][4];

    mat4() : m{} {}
    mat4(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
         float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33)
        : m{{m00, m01, m02, m03}, {m10, m11, m12, m13}, {m20, m21, m22, m23}, {m30, m31, m32, m33}}
    {
    }

    // this · right: applies this first, then right. Defined by the plug-in's arithmetic.
    mat4 operator*(mat4 const& right) const;

    static const mat4 identity;
};

inline const mat4 mat4::identity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

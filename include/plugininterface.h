// The host's base of all plug-in components. The slot order below is fixed
// for good: a host calls components through it, so new operations go at the
// end of a class, never in between.
#pragma once

#include "sceneinterface.h"
#include "unknowninterface.h"
#include "vantelinterface.h"

// Reserved slots that a host must never call. On macOS a call stops the
// program naming the slot, in every build type (an assert would vanish
// under NDEBUG and let the call return as if it had done something). On
// Windows it throws the text as a `char const*` that the host's own
// handlers receive.
#if defined(TAVRIK_MAC_ABI)
#include <cstdio>
#include <cstdlib>
[[noreturn]] inline void tavrik_invalid_interface(char const* what)
{
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
    std::abort();
}
#define TAVRIK_PLACEHOLDER(base, slot) \
    {                                   \
        tavrik_invalid_interface("invalid interface " #base ": " #slot); \
    }
#elif defined(TAVRIK_MSVC_LAYOUT)
#define TAVRIK_PLACEHOLDER(base, slot) \
    {                                   \
        tavrik_throw_text("invalid interface " #base); \
    }
#elif defined(_WIN32)
#define TAVRIK_PLACEHOLDER(base, slot) \
    {                                   \
        throw "invalid interface " #base; \
    }
#else
#include <stdexcept>
#define TAVRIK_PLACEHOLDER(base, slot) \
    {                                   \
        throw std::logic_error("invalid interface " #base); \
    }
#endif

class plugin_interface : public unknown_interface {
public:
    // The host version the component is built for; every component supplies it.
    virtual int get_vantel_version(void* reserved = nullptr) = 0;

    // Dialog callbacks. The host calls save_dialog_data (on confirmation) and
    // then terminate with 1 (confirmed) or 2 (cancelled) as a dialog closes.
    virtual void initialize_dialog(dialog_interface&, void* = nullptr) {}
    virtual void respond(dialog_interface&, int /*item*/, int /*action*/, void* = nullptr) {}
    virtual void load_dialog_data(dialog_interface&, void* = nullptr) {}
    virtual void save_dialog_data(dialog_interface&, void* = nullptr) {}
    virtual int terminate(dialog_interface&, int action, void* = nullptr) { return action; }

#if defined(TAVRIK_MSVC_LAYOUT)
    virtual component_id* TAVRIK_METHOD get_uuid(component_id* result, void*)
    {
        *result = component_id{};
        return result;
    }
    component_id get_uuid(void* reserved = nullptr)
    {
        component_id result;
        get_uuid(&result, reserved);
        return result;
    }
#else
    virtual component_id get_uuid(void* = nullptr) { return component_id{}; }
#endif
    virtual bool undoable(void* = nullptr) { return false; }

    virtual void reserved_plugin_0(void* = nullptr) TAVRIK_PLACEHOLDER(plugin_interface, reserved_plugin_0)
    virtual void reserved_plugin_1(void* = nullptr) TAVRIK_PLACEHOLDER(plugin_interface, reserved_plugin_1)
    virtual void reserved_plugin_2(void* = nullptr) TAVRIK_PLACEHOLDER(plugin_interface, reserved_plugin_2)
};

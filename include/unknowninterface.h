// The reference-counted root of every component and of the host objects
// that are handed out with a reference.
#pragma once

#include "vantel_types.h"

#if !defined(TAVRIK_WINDOWS_COM)
typedef int32_t HRESULT;
typedef uint32_t ULONG;
#define TAVRIK_COM_CALL
struct IUnknown {
    virtual HRESULT QueryInterface(interface_id const& id, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};
#else
#define TAVRIK_COM_CALL STDMETHODCALLTYPE
#endif

// Code for "no such interface" on the host platform.
#if defined(TAVRIK_MAC_ABI)
constexpr uint32_t no_interface_code = 0x80000004u;
#else
constexpr uint32_t no_interface_code = 0x80004002u;
#endif

class unknown_interface : private IUnknown {
public:
    // Host and plug-in: never hands out an interface and never writes to out.
    HRESULT TAVRIK_COM_CALL QueryInterface(interface_id const&, void**) override
    {
        return static_cast<HRESULT>(no_interface_code);
    }
    ULONG TAVRIK_COM_CALL AddRef() override { return static_cast<ULONG>(++reference_count); }
    // Destroys the object when the count reaches 0.
    ULONG TAVRIK_COM_CALL Release() override
    {
        if (--reference_count == 0) {
            delete this;
            return 0;
        }
        return static_cast<ULONG>(reference_count);
    }
    virtual ~unknown_interface() = default;
    virtual bool is_implemented() { return true; }

    int32_t reference_count = 0;
};

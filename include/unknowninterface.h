// The reference-counted root of every component and of the host objects
// that are handed out with a reference.
#pragma once

#include "host_abi.h"
#include "vantel_types.h"

#if !defined(TAVRIK_WINDOWS_COM)
typedef int32_t HRESULT;
typedef uint32_t ULONG;
// COM's methods are standard-call on 32-bit Windows.
#if defined(_WIN32) && !defined(_WIN64)
#define TAVRIK_COM_CALL __stdcall
#else
#define TAVRIK_COM_CALL
#endif
struct IUnknown {
    virtual HRESULT TAVRIK_COM_CALL QueryInterface(interface_id const& id, void** out) = 0;
    virtual ULONG TAVRIK_COM_CALL AddRef() = 0;
    virtual ULONG TAVRIK_COM_CALL Release() = 0;
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
#if defined(TAVRIK_MSVC_LAYOUT)
            deleting_destructor(1);
#else
            delete this;
#endif
            return 0;
        }
        return static_cast<ULONG>(reference_count);
    }
#if defined(TAVRIK_MSVC_LAYOUT)
    // The one destructor slot; each concrete class fills it with
    // TAVRIK_DELETING_DESTRUCTOR.
    virtual void* TAVRIK_METHOD deleting_destructor(unsigned int flags) = 0;

protected:
    ~unknown_interface() = default;

public:
#else
    virtual ~unknown_interface() = default;
#endif
    virtual bool is_implemented() { return true; }

    int32_t reference_count = 0;
};

// Host-owned objects whose references the plug-in takes and gives back. The
// count is kept so that tests can see every reference returned, and the call
// log notes each Release under the name of its interface (release_note,
// specialised beside each interface's host class).
#pragma once

#include "faults.h"
#include "vantelinterface.h"

namespace host {

// What the call log notes when the plug-in gives a host-owned object back.
template <class Interface>
inline constexpr char const* release_note = "object.Release";

template <class Interface>
class Host_owned : public Interface {
public:
    ULONG TAVRIK_COM_CALL AddRef() override { return static_cast<ULONG>(++this->reference_count); }
    ULONG TAVRIK_COM_CALL Release() override
    {
        if (hooks_active)
            calls().note(release_note<Interface>);
        return static_cast<ULONG>(--this->reference_count);
    }
#if defined(TAVRIK_MSVC_LAYOUT)
    // The host owns these objects: a Release never destroys them.
    void* TAVRIK_METHOD deleting_destructor(unsigned int) override { return this; }
#endif
};

}  // namespace host

// Compiled for Microsoft's C++ ABI and linked into the GCC-built plug-in:
// a text thrown here is the `char const*` that the host's own handlers
// (`catch (char const*)`) receive. The descriptions of the thrown type
// point at type_info's vtable, which nothing here calls through; the
// runtime's thrower, _CxxThrowException, comes from msvcrt.dll.
#include "host_guard.h"

extern "C" void const* const tavrik_type_info_vtable[1] __asm__("??_7type_info@@6B@") = {nullptr};

extern "C" void tavrik_throw_text(char const* text) { throw text; }

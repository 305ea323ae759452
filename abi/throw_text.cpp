// Compiled for Microsoft's C++ ABI and linked into the GCC-built plug-in:
// a text thrown here is the `char const*` that the host's own handlers
// (`catch (char const*)`) receive, and an allocation failure the
// `std::bad_alloc` they receive (`catch (std::bad_alloc&)`, `catch
// (std::exception&)`: their types are matched by name). The descriptions of the thrown type
// point at type_info's vtable, which nothing here calls through; the
// runtime's thrower, _CxxThrowException, comes from msvcrt.dll.
#include "host_guard.h"

extern "C" void const* const tavrik_type_info_vtable[1] __asm__("??_7type_info@@6B@") = {nullptr};

extern "C" void tavrik_throw_text(char const* text) { throw text; }

// The host's standard library declares these; the layout is that of
// Microsoft's (a what text and whether to free it after the vtable).
namespace std {
class exception {
public:
    exception() noexcept = default;
    exception(exception const&) noexcept = default;
    virtual ~exception() {}
    virtual char const* what() const { return data_ ? data_ : "Unknown exception"; }

protected:
    explicit exception(char const* what) noexcept : data_(what) {}

private:
    char const* data_ = nullptr;
    [[maybe_unused]] bool do_free_ = false;
};
class bad_alloc : public exception {
public:
    bad_alloc() noexcept : exception("bad allocation") {}
};
}  // namespace std

extern "C" void free(void* p);
// The deleting destructors in the vtables above name it; nothing here allocates.
void operator delete(void* p) noexcept { free(p); }
void operator delete(void* p, decltype(sizeof 0)) noexcept { free(p); }

extern "C" void tavrik_throw_bad_alloc() { throw std::bad_alloc(); }

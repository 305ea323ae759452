// How the interface classes meet the host's C++ ABI.
//
// The Windows host is built with Microsoft's compiler; the Windows plug-in
// is built with GCC (mingw-w64), whose own C++ ABI differs at the interface
// in three ways, each mended here where TAVRIK_MSVC_LAYOUT is set:
// - a virtual destructor takes one vtable slot there (the deleting
//   destructor, whose flags' bit 0 frees the memory), two with GCC;
// - an operation that returns a structure takes its result pointer after
//   `this` there, before it with GCC: such slots are declared with the
//   pointer spelled out (TAVRIK_RESULT_SLOT) and called through a wrapper;
// - the host throws its exceptions the Microsoft way, which GCC's frames
//   cannot catch or safely unwind: every host operation that the plug-in
//   calls goes through a guard (TAVRIK_GUARDED) that stops such an
//   exception at the call and throws Host_exception in its place.
// Everywhere else (Linux, macOS, Microsoft's own compiler) the classes are
// declared as the host declares them and these macros are plain.
#pragma once

#if defined(_WIN32) && !defined(_MSC_VER) && !defined(TAVRIK_MAC_IDS)
#define TAVRIK_MSVC_LAYOUT 1
#endif

// Member functions: thiscall on 32-bit Windows, as Microsoft's compiler does.
#if defined(_WIN32) && !defined(_WIN64)
#define TAVRIK_METHOD __thiscall
#else
#define TAVRIK_METHOD
#endif

#if !defined(TAVRIK_MSVC_LAYOUT)

// The host's class as it declares it.
#define TAVRIK_SLOTS(name) name
// An operation returning a structure.
#define TAVRIK_RESULT_SLOT(type, name) virtual type TAVRIK_METHOD name(void* reserved = nullptr) = 0
// Its override in a class that implements it; a body or a semicolon follows.
#define TAVRIK_RESULT_OVERRIDE(type, name) type name(void* = nullptr) override
#define TAVRIK_DESTRUCTOR_OVERRIDE override
#define TAVRIK_DELETING_DESTRUCTOR(name)

// Gives back one reference to a host object.
template <class T>
void release_reference(T* object)
{
    object->Release();
}

// Runs a component's operation for the host; what the operation lets pass
// goes on to the host.
template <class Operation>
decltype(auto) for_host(Operation&& operation)
{
    return operation();
}

#else

#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "host_guard.h"

namespace tavrik {

// A host operation ended by a host's exception; holds it until it is given
// back to the host (raise) or dropped with this object.
class Host_exception {
public:
    explicit Host_exception(tavrik_host_exception_record const& record) : record_(record) {}
    Host_exception(Host_exception&& other) noexcept : record_(other.record_) { other.record_.object = nullptr; }
    Host_exception(Host_exception const&) = delete;
    Host_exception& operator=(Host_exception const&) = delete;
    ~Host_exception() { tavrik_drop_host_exception(&record_); }
    unsigned long code() const { return record_.code; }
    // Hands the record over: this object no longer destroys the thrown copy.
    tavrik_host_exception_record release()
    {
        tavrik_host_exception_record const record = record_;
        record_.object = nullptr;
        return record;
    }

private:
    tavrik_host_exception_record record_;
};

template <class Call>
decltype(auto) guarded(Call const& call)
{
    using Result = decltype(call());
    struct Context {
        Call const* call;
        std::conditional_t<std::is_void_v<Result>, char,
                           std::conditional_t<std::is_reference_v<Result>, std::remove_reference_t<Result>*,
                                              Result>>
            result;
    } context{&call, {}};
    // No destructor runs in this frame, so a host's exception may pass it.
    auto run = [](void* p) {
        auto& c = *static_cast<Context*>(p);
        if constexpr (std::is_void_v<Result>)
            (*c.call)();
        else if constexpr (std::is_reference_v<Result>)
            c.result = &(*c.call)();
        else
            c.result = (*c.call)();
    };
    tavrik_host_exception_record record{};
    if (tavrik_run_guarded(run, &context, &record) != 0)
        throw Host_exception(record);
    if constexpr (std::is_void_v<Result>)
        return;
    else if constexpr (std::is_reference_v<Result>)
        return static_cast<Result>(*context.result);
    else
        return context.result;
}

}  // namespace tavrik

template <class T>
void release_reference(T* object)
{
    tavrik::guarded([object] { object->Release(); });
}

// Runs a component's operation for the host. A host's exception that the
// operation lets pass is thrown again to the host's own handlers once the
// operation's frames have unwound and released what they hold; it is raised
// from here, where no destructor is pending.
template <class Operation>
decltype(auto) for_host(Operation&& operation)
{
    tavrik_host_exception_record pending{};
    bool out_of_memory = false;
    try {
        return operation();
    } catch (tavrik::Host_exception& e) {
        pending = e.release();
    } catch (std::bad_alloc const&) {
        // Passed on to the host as its own std::bad_alloc.
        out_of_memory = true;
    }
    if (out_of_memory)
        tavrik_throw_bad_alloc();
    tavrik_raise_host_exception(&pending);
}

#define TAVRIK_SLOTS(name) name##_slots
#define TAVRIK_RESULT_SLOT(type, name) virtual type* TAVRIK_METHOD name(type* result, void* reserved) = 0
#define TAVRIK_RESULT_OVERRIDE(type, name)                                            \
    type* TAVRIK_METHOD name(type* result, void* reserved) override                   \
    {                                                                                 \
        *result = name(reserved);                                                     \
        return result;                                                                \
    }                                                                                 \
    type name(void* = nullptr)
#define TAVRIK_DESTRUCTOR_OVERRIDE
#define TAVRIK_DELETING_DESTRUCTOR(name)                                              \
    void* TAVRIK_METHOD deleting_destructor(unsigned int flags) override              \
    {                                                                                 \
        this->~name();                                                                \
        if (flags & 1u)                                                               \
            ::operator delete(this);                                                  \
        return this;                                                                  \
    }

// The plug-in's calls of a host operation, each through the guard; the
// reserved argument is passed as null.
#define TAVRIK_GUARDED(name)                                                          \
    template <class... Arguments>                                                     \
    decltype(auto) name(Arguments&&... arguments)                                     \
    {                                                                                 \
        slots* const self = this;                                                     \
        return tavrik::guarded([&]() -> decltype(auto) {                              \
            return self->name(std::forward<Arguments>(arguments)..., nullptr);         \
        });                                                                           \
    }
#define TAVRIK_GUARDED_RESULT(type, name)                                             \
    type name()                                                                       \
    {                                                                                 \
        slots* const self = this;                                                     \
        type result;                                                                  \
        tavrik::guarded([&] { self->name(&result, nullptr); });                      \
        return result;                                                                \
    }

#endif

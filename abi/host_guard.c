/* Calls of host operations on Windows, where the host throws its C++
   exceptions the way Microsoft's compiler does (exception code 0xE06D7363)
   and the plug-in's own frames, built by GCC, can neither catch them nor
   be unwound by them safely. A guard stops such an exception at the call,
   keeps a copy of the thrown object, and can throw it again to the host
   or destroy it. Written with structured exception handling, which only
   clang compiles for the GCC target; GCC's own exceptions pass through. */
#include <stddef.h>
#include <stdint.h>

#include "host_guard.h"

#define msvc_cxx_exception 0xE06D7363ul
enum { continue_search = 0, execute_handler = 1 };

typedef struct {
    unsigned long ExceptionCode;
    unsigned long ExceptionFlags;
    void* ExceptionRecord;
    void* ExceptionAddress;
    unsigned long NumberParameters;
    uintptr_t ExceptionInformation[15];
} exception_record;
typedef struct {
    exception_record* ExceptionRecord;
    void* ContextRecord;
} exception_pointers;

/* Microsoft's descriptions of a thrown type. On x64 each reference is an
   offset from the thrower's image base, on x86 an address (base 0). */
typedef struct {
    uint32_t attributes;
    int32_t destructor;
    int32_t forward_compat;
    int32_t catchable_types;
} throw_info;
typedef struct {
    int32_t count;
    int32_t types[1];
} catchable_type_array;
typedef struct {
    uint32_t properties;
    int32_t type;
    int32_t member_displacement, vbtable_displacement, vbase_displacement;
    int32_t size;
    int32_t copy;
} catchable_type;
enum { has_virtual_base = 4 };

#if defined(_WIN64)
#define TAVRIK_THISCALL
#else
#define TAVRIK_THISCALL __attribute__((thiscall))
#endif
typedef void(TAVRIK_THISCALL* copy_function)(void* self, void const* from);
typedef void(TAVRIK_THISCALL* copy_function_with_bases)(void* self, void const* from, int most_derived);
typedef void(TAVRIK_THISCALL* destructor_function)(void* self);

__declspec(dllimport) void __stdcall RaiseException(unsigned long code, unsigned long flags, unsigned long count,
                                                    uintptr_t const* arguments);
/* From the C runtime every Windows process has. */
void* malloc(size_t size);
void free(void* p);
void* memcpy(void* to, void const* from, size_t size);

static void* at(uintptr_t base, int32_t offset) { return (void*)(base + (uintptr_t)(intptr_t)offset); }

/* Runs while the thrower's frames still stand: copies the thrown object
   out of them, as Microsoft's own handlers do before the stack unwinds. */
static int take(exception_pointers* pointers, tavrik_host_exception_record* record)
{
    exception_record const* e = pointers->ExceptionRecord;
    if (e->ExceptionCode != msvc_cxx_exception || e->NumberParameters < 3)
        return continue_search;
    record->code = e->ExceptionCode;
    record->object = NULL;
    record->throw_info = (void const*)e->ExceptionInformation[2];
    record->image_base = e->NumberParameters >= 4 ? (void*)e->ExceptionInformation[3] : NULL;
    void const* thrown = (void const*)e->ExceptionInformation[1];
    throw_info const* info = (throw_info const*)record->throw_info;
    if (!info || !thrown)
        return execute_handler;
    uintptr_t const base = (uintptr_t)record->image_base;
    catchable_type_array const* types = (catchable_type_array const*)at(base, info->catchable_types);
    if (types->count < 1)
        return execute_handler;
    catchable_type const* type = (catchable_type const*)at(base, types->types[0]);
    void* copy = malloc(type->size > 0 ? (size_t)type->size : 1);
    if (!copy)
        return execute_handler;
    if (type->copy == 0)
        memcpy(copy, thrown, (size_t)type->size);
    else if (type->properties & has_virtual_base)
        ((copy_function_with_bases)at(base, type->copy))(copy, thrown, 1);
    else
        ((copy_function)at(base, type->copy))(copy, thrown);
    record->object = copy;
    return execute_handler;
}

unsigned long tavrik_run_guarded(void (*run)(void*), void* context, tavrik_host_exception_record* record)
{
    __try {
        run(context);
    } __except (take((exception_pointers*)_exception_info(), record)) {
        return record->code;
    }
    return 0;
}

void tavrik_raise_host_exception(tavrik_host_exception_record* record)
{
    uintptr_t const arguments[4] = {0x19930520u, (uintptr_t)record->object, (uintptr_t)record->throw_info,
                                    (uintptr_t)record->image_base};
    /* The host's handlers own the object from here and destroy it. */
    record->object = NULL;
    RaiseException(record->code, 1 /* not continuable */, record->image_base ? 4 : 3, arguments);
    for (;;) {
    }
}

void tavrik_drop_host_exception(tavrik_host_exception_record* record)
{
    if (!record->object)
        return;
    throw_info const* info = (throw_info const*)record->throw_info;
    if (info && info->destructor)
        ((destructor_function)at((uintptr_t)record->image_base, info->destructor))(record->object);
    free(record->object);
    record->object = NULL;
}

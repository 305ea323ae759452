/* The guard around calls of host operations on Windows (host_guard.c). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* What a guard keeps of a host's exception: its code and, for a C++
   exception of Microsoft's compiler, a copy of the thrown object with the
   description needed to throw it again or to destroy it. */
typedef struct tavrik_host_exception_record {
    unsigned long code;
    void* object;
    void const* throw_info;
    void* image_base;
} tavrik_host_exception_record;

/* Calls run(context). Returns 0 when it returned, and the exception code
   when a host's C++ exception ended it, with the record filled; any other
   exception (GCC's own among them) goes on as if no guard were there. */
unsigned long tavrik_run_guarded(void (*run)(void*), void* context, tavrik_host_exception_record* record);
/* Throws the recorded exception again, to the host's own handlers. */
#ifdef __cplusplus
[[noreturn]]
#else
_Noreturn
#endif
void tavrik_raise_host_exception(tavrik_host_exception_record* record);
/* Destroys the copy of the thrown object, once. */
void tavrik_drop_host_exception(tavrik_host_exception_record* record);
/* Throws the text as a `char const*` the way Microsoft's compiler does. */
#ifdef __cplusplus
[[noreturn]]
#else
_Noreturn
#endif
void tavrik_throw_text(char const* text);
/* Throws std::bad_alloc the way Microsoft's compiler does. */
#ifdef __cplusplus
[[noreturn]]
#else
_Noreturn
#endif
void tavrik_throw_bad_alloc(void);

#ifdef __cplusplus
}
#endif

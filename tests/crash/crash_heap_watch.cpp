// Linked into the heap-watching child: every allocation call made after the
// crash was claimed ends the process with status 42, so the parent sees it.
#include "crash/core/CRKContext.h"

#include <cstddef>
#include <unistd.h>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);

static void check()
{
    if (CRKContextHasCrashed()) {
        static const char text[] = "heap used after the crash claim\n";
        (void)!write(2, text, sizeof(text) - 1);
        _exit(42);
    }
}

void* malloc(size_t n)
{
    check();
    return __libc_malloc(n);
}
void* calloc(size_t a, size_t b)
{
    check();
    return __libc_calloc(a, b);
}
void* realloc(void* p, size_t n)
{
    check();
    return __libc_realloc(p, n);
}
void free(void* p)
{
    check();
    __libc_free(p);
}
void* memalign(size_t a, size_t n)
{
    check();
    return __libc_memalign(a, n);
}
int posix_memalign(void** out, size_t a, size_t n)
{
    check();
    *out = __libc_memalign(a, n);
    return *out ? 0 : 12;
}
void* aligned_alloc(size_t a, size_t n)
{
    check();
    return __libc_memalign(a, n);
}
}

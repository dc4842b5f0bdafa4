// The allocation counter: malloc and its relatives replaced by ones that
// count on a thread-local flag and hand the call on to glibc.
#include "alloc_count.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define _ALLOC_COUNT 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define _ALLOC_COUNT 0
#endif
#endif
#ifndef _ALLOC_COUNT
#define _ALLOC_COUNT 1
#endif

#if _ALLOC_COUNT

// Thread-local data of the program itself needs no allocation to reach,
// so these are safe to touch inside malloc.
static thread_local bool _counting = false;
static thread_local long _count = 0;

static inline void _counted() {
    if (_counting) _count++;
}

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t n, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
void __libc_free(void* p);

void* malloc(size_t size) {
    _counted();
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    _counted();
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    _counted();
    return __libc_realloc(p, size);
}
void* reallocarray(void* p, size_t n, size_t size) {
    if (size && n > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    _counted();
    return __libc_realloc(p, n * size);
}
void* memalign(size_t alignment, size_t size) {
    _counted();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    _counted();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1))) return EINVAL;
    _counted();
    void* p = __libc_memalign(alignment, size);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
void* valloc(size_t size) {
    _counted();
    return __libc_valloc(size);
}
void* pvalloc(size_t size) {
    _counted();
    return __libc_pvalloc(size);
}
void free(void* p) { __libc_free(p); }
}

bool alloc_count_available() { return true; }

long alloc_count(const std::function<void()>& fn) {
    _count = 0;
    _counting = true;
    fn();
    _counting = false;
    return _count;
}

#else

bool alloc_count_available() { return false; }

long alloc_count(const std::function<void()>& fn) {
    fn();
    return -1;
}

#endif

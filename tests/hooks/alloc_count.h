// For tests that must show a piece of code allocates nothing: counts the
// heap allocations made on the calling thread while a function runs.
//
// The counter replaces malloc and its relatives in the test program (glibc
// lets a program do that; its own functions then allocate through the
// replacement too) and hands every call on to glibc's allocator. Under a
// sanitizer, which owns malloc itself, nothing is replaced and counting is
// unavailable.
#ifndef QEL_TEST_ALLOC_COUNT_H
#define QEL_TEST_ALLOC_COUNT_H

#include <functional>

bool alloc_count_available();

// The number of allocations (malloc, calloc, realloc, the aligned forms, and
// operator new, which comes through malloc) that fn makes on this thread.
long alloc_count(const std::function<void()>& fn);

#endif

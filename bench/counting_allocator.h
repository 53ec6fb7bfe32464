// Replaces the global operator new and delete of a benchmark program with versions that
// count heap allocations, so that a benchmark can report allocations per step. Include it
// from exactly one file of the program.
#pragma once

#include <cstdlib>
#include <new>

inline std::size_t g_allocations = 0;

// Kept out of line: inlined into a call site, GCC would pair the new with free and warn.
[[gnu::noinline]] void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

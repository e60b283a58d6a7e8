#include "app/startupheap.h"

#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__) && defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace App {

void prepareStartupHeap(std::size_t bytes)
{
#if defined(__GLIBC__) && defined(__linux__)
    constexpr std::uintptr_t hugePage = std::uintptr_t(2) << 20;
    constexpr std::uintptr_t chunkHeader = 2 * sizeof(std::size_t);
    mallopt(M_ARENA_MAX, 1);

    // A 2 MB page is only given to an aligned range no one has touched yet. Moving the break to
    // just below a boundary makes malloc start its next stretch of heap there, its bookkeeping in
    // the page before: everything from the boundary on is still untouched when it is advised.
    const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
    if (end == std::uintptr_t(-1))
        return;
    const std::uintptr_t boundary = (end + chunkHeader + hugePage - 1) & ~(hugePage - 1);
    if (sbrk(std::intptr_t(boundary - chunkHeader - end)) == reinterpret_cast<void *>(-1))
        return;
    void *stretch = std::malloc(bytes);
    if (!stretch)
        return;
    const auto from = reinterpret_cast<std::uintptr_t>(stretch);
    const std::uintptr_t to = (from + bytes) & ~(hugePage - 1);
    if (from % hugePage == 0 && to > from)
        madvise(stretch, to - from, MADV_HUGEPAGE);
    // Freed, it stays the heap's top: freed memory is kept (Extract::keepFreedMemory()).
    std::free(stretch);
#else
    (void)bytes;
#endif
}

} // namespace App

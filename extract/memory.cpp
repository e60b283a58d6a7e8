#include "extract/memory.h"

#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Extract {

void keepFreedMemory()
{
#if defined(__GLIBC__)
    // The largest threshold glibc takes; only blocks beyond any page cap are mapped on their own.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
}

} // namespace Extract

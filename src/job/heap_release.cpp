#include "job/heap_release.h"

#include <cstdlib> // defines __GLIBC__ on glibc

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace job {

void mapLargeBlocksApart()
{
#ifdef __GLIBC__
    // glibc's own starting values; setting them stops the raising. Each large block freed so
    // far has also raised the free space the top of the heap keeps (to twice its size): that
    // goes back to the start as well.
    constexpr int kLargeBlock = 128 * 1024;
    ::mallopt(M_MMAP_THRESHOLD, kLargeBlock);
    ::mallopt(M_TRIM_THRESHOLD, kLargeBlock);
#endif
}

void releaseFreedMemory()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

} // namespace job

#include "job/heap_release.h"

#include <cstdlib> // defines __GLIBC__ on glibc

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace job {

void releaseFreedMemory()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

void mapLargeBlocksApart()
{
#ifdef __GLIBC__
    ::mallopt(M_MMAP_THRESHOLD, 4 << 20);
#endif
}

} // namespace job

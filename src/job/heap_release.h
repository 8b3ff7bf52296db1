// How the tool's freed memory goes back to the system, so that its resident size follows what it
// holds (a few megabytes whatever the folder's size) rather than the largest table read so far.
#pragma once

namespace job {

// Gives the free pages in the middle of the heap back to the system: after a table of long
// values, the smaller allocations of the next table do not reuse them.
void releaseFreedMemory();

// Blocks of several megabytes (the lists that grow with the folder: scanned pages, tree pages)
// get mappings of their own that go back whole when freed. glibc would otherwise raise its
// threshold to the largest block freed so far and keep such blocks in a heap they fragment. The
// threshold stays well above the insert batches and the driver's statement buffers (allocated and
// freed for every statement), whose mapping and unmapping cost seconds of CPU on a large folder.
void mapLargeBlocksApart();

} // namespace job

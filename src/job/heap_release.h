// How the tool's freed memory goes back to the system, so that its resident size follows what it
// holds (a few megabytes whatever the folder's size) rather than the largest table read so far.
#pragma once

namespace job {

// From now on every block of 128 KiB or more gets a mapping of its own, returned whole when it
// is freed. glibc otherwise raises that size each time such a block is freed (up to 32 MiB), and
// the megabyte batches of the tables that follow then come from the heap, where what is freed
// between the smaller blocks stays resident.
void mapLargeBlocksApart();

// Gives the free pages in the middle of the heap back to the system: after a table of long
// values, the smaller allocations of the next table do not reuse them.
void releaseFreedMemory();

} // namespace job

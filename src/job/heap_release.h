// How the tool's freed memory goes back to the system, so that its resident size follows what it
// holds (a few megabytes whatever the folder's size) rather than the largest table read so far.
#pragma once

namespace job {

// Gives the free pages in the middle of the heap back to the system: after a table of long
// values, the smaller allocations of the next table do not reuse them.
void releaseFreedMemory();

} // namespace job

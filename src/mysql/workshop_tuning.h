// How the private workshop server is sized and what it may skip. Nothing the workshop does while
// it runs must survive a crash of the machine: a run that dies is run again. What must last is
// what a stopped workshop leaves behind (its own files, the rebuilt ones the result is made of),
// and that is synced once when the server has stopped. So the server syncs nothing itself, and
// it gets a buffer pool large enough that a table's switch to InnoDB does not wait for pages to
// be written out half-way. The redo log keeps the server's size: it goes into the Recovered
// Folder, and a larger one made every result as large, for no gain that could be measured.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mysql {

struct WorkshopSizes
{
    std::uint64_t bufferPoolBytes = 0;
};

// The sizes for a machine with `memoryBytes` of memory free for new work: an eighth of it for
// the buffer pool, between 128 MiB (the server's own default) and 2 GiB.
WorkshopSizes workshopSizes(std::uint64_t memoryBytes);

// The machine's MemAvailable from /proc/meminfo, nothing when it cannot be read.
std::optional<std::uint64_t> availableMemoryBytes();

// The options that stop the server from syncing its files to disk; the files are synced once,
// whole, when the server has stopped (syncTree). On a disk shared with other work a sync costs
// tens of milliseconds, and every CREATE or ALTER TABLE makes a dozen of them.
std::vector<std::string> noSyncOptions();

// The server options for those sizes (none for a size of 0), with noSyncOptions().
std::vector<std::string> workshopTuningOptions(const WorkshopSizes &sizes);

// Syncs every file and folder below `folder` to disk; false when one of them could not be.
bool syncTree(const std::filesystem::path &folder);

} // namespace mysql

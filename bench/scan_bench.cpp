// zarafa-bench-scan FILE: how fast the page scanner goes through a tablespace, against a plain
// sequential read of the same file in the same run (so both see the same disk and cache).
#include "innodb/page_scanner.h"
#include "innodb/tablespace_file.h"

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

double megabytesPerSecond(std::uint64_t bytes, Clock::duration elapsed)
{
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return seconds > 0 ? static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds : 0.0;
}

// Reads the file front to back in the scanner's chunk size and does nothing with the bytes.
bool plainRead(innodb::TablespaceFile &file, std::uint64_t &bytesRead)
{
    const std::size_t chunk = innodb::kScanChunkPages * innodb::kDefaultPageSize;
    auto buffer = std::make_unique<std::uint8_t[]>(chunk);
    file.adviseSequential();
    bytesRead = 0;
    while (bytesRead < file.sizeBytes()) {
        auto got = file.readAt(bytesRead, std::span(buffer.get(), chunk));
        if (!got.ok()) {
            std::fprintf(stderr, "%s\n", got.error().describe().c_str());
            return false;
        }
        if (*got == 0) {
            break;
        }
        bytesRead += *got;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zarafa-bench-scan FILE\n");
        return 2;
    }
    auto file = innodb::TablespaceFile::open(argv[1]);
    if (!file.ok()) {
        std::fprintf(stderr, "%s\n", file.error().describe().c_str());
        return 1;
    }
    std::printf("file: %s, %.1f MiB, %llu pages\n", argv[1],
        static_cast<double>(file->sizeBytes()) / (1024.0 * 1024.0),
        static_cast<unsigned long long>(file->pageCount()));
    // Two rounds: the first may come from disk, the second from the page cache.
    for (int round = 1; round <= 2; ++round) {
        std::uint64_t bytes = 0;
        auto start = Clock::now();
        if (!plainRead(*file, bytes)) {
            return 1;
        }
        const auto plainTime = Clock::now() - start;

        start = Clock::now();
        auto scan = innodb::scanTablespace(*file, {});
        const auto scanTime = Clock::now() - start;
        if (!scan.ok()) {
            std::fprintf(stderr, "%s\n", scan.error().describe().c_str());
            return 1;
        }
        std::printf("round %d: plain read %.0f MB/s, scanner %.0f MB/s (%zu leaf pages kept in %zu "
                    "indexes)\n",
            round, megabytesPerSecond(bytes, plainTime),
            megabytesPerSecond(file->pageCount() * innodb::kDefaultPageSize, scanTime),
            scan->allPages.size(), scan->groups.size());
    }
    return 0;
}

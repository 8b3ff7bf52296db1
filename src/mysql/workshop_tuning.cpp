#include "mysql/workshop_tuning.h"

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace mysql {

namespace {

constexpr std::uint64_t kMiB = std::uint64_t { 1 } << 20;
constexpr std::uint64_t kSmallestPool = 128 * kMiB;
constexpr std::uint64_t kLargestPool = 2048 * kMiB;
// InnoDB rounds the pool to its chunk size; whole mebibytes suit it and read well in the
// server's log.
std::uint64_t wholeMebibytes(std::uint64_t bytes) { return bytes / kMiB * kMiB; }

} // namespace

WorkshopSizes workshopSizes(std::uint64_t memoryBytes)
{
    WorkshopSizes sizes;
    sizes.bufferPoolBytes
        = wholeMebibytes(std::clamp(memoryBytes / 8, kSmallestPool, kLargestPool));
    return sizes;
}

std::optional<std::uint64_t> availableMemoryBytes()
{
    std::ifstream in("/proc/meminfo");
    std::string name;
    std::uint64_t kilobytes = 0;
    std::string unit;
    while (in >> name >> kilobytes >> unit) {
        if (name == "MemAvailable:") {
            return kilobytes * 1024;
        }
    }
    return std::nullopt;
}

std::vector<std::string> noSyncOptions()
{
    return {
        "--debug-no-sync", // the DDL log, Aria and MyISAM files
        "--innodb-flush-method=nosync",
        // Its second copy of each page guards against pages torn by a crash, which a synced
        // stopped server does not have.
        "--innodb-doublewrite=0",
    };
}

std::vector<std::string> workshopTuningOptions(const WorkshopSizes &sizes)
{
    std::vector<std::string> options = noSyncOptions();
    // The redo log is written once a second instead of at every commit.
    options.push_back("--innodb-flush-log-at-trx-commit=0");
    // The switch of a filled table to InnoDB copies its rows in key order already; the bulk
    // path sorts them again and stages long values on the side, which made the switch of a
    // table of long values take half as long again. "loose" because servers before 10.11.8
    // lack the option and would refuse to start over it.
    options.push_back("--loose-innodb-alter-copy-bulk=OFF");
    if (sizes.bufferPoolBytes > 0) {
        options.push_back(
            "--innodb-buffer-pool-size=" + std::to_string(sizes.bufferPoolBytes / kMiB) + "M");
    }
    return options;
}

bool syncTree(const std::filesystem::path &folder)
{
    namespace fs = std::filesystem;
    const auto sync = [](const fs::path &path, bool directory) {
        const int fd = ::open(path.c_str(), (directory ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        return synced;
    };
    bool all = true;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        if (fs::is_regular_file(status) || fs::is_directory(status)) {
            all = sync(it->path(), fs::is_directory(status)) && all;
        }
    }
    // A folder is synced after what it holds, so that the names lead to synced files.
    return sync(folder, true) && all && !error;
}

} // namespace mysql

#include "job/write_fault.h"

#include <sys/statvfs.h>

namespace job {

namespace {

bool mentions(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

} // namespace

std::optional<std::string> serverWriteFault(
    int serverError, std::string_view state, std::string_view message)
{
    const std::string said = " (" + std::string(message) + ")";
    switch (serverError) {
    case 1114: // ER_RECORD_FILE_FULL: InnoDB could not extend its tablespace
        return "the server's disk is full: a table could not grow" + said;
    case 1021: // ER_DISK_FULL
        return "the server's disk is full" + said;
    case 2006: // CR_SERVER_GONE_ERROR
    case 2013: // CR_SERVER_LOST: it died or the read timed out
    case 2055:
        return "the connection to the server was lost (the server stopped or died)" + said;
    default:
        break;
    }
    // An engine or a file write that failed with ENOSPC (28) or EDQUOT (122), whatever the error
    // number that carries it (1030, 1026, 3, ...).
    if (mentions(message, "rrno: 28") || mentions(message, "rror 28 ")
        || mentions(message, "rrcode: 28") || mentions(message, "No space left")) {
        return "the server's disk is full" + said;
    }
    if (mentions(message, "rrno: 122") || mentions(message, "rror 122 ")
        || mentions(message, "uota exceeded")) {
        return "the server's disk quota is used up" + said;
    }
    // 08S01 communication link failure, 08003 connection not open, HYT00/HYT01 timeouts.
    if (state.starts_with("08") || state == "HYT00" || state == "HYT01") {
        return "the connection to the server was lost (the server stopped or died)" + said;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> freeBytes(const std::filesystem::path &folder)
{
    std::filesystem::path probe = folder;
    std::error_code error;
    while (!probe.empty() && !std::filesystem::exists(probe, error)) {
        if (probe == probe.parent_path()) {
            break;
        }
        probe = probe.parent_path();
    }
    struct statvfs figures {};
    if (probe.empty() || ::statvfs(probe.c_str(), &figures) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(figures.f_bavail) * figures.f_frsize;
}

std::string megabytes(std::uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB";
}

std::uint64_t estimatedNeed(std::uint64_t tablespaceBytes)
{
    // A fresh 10.x data folder is about 110 MB (ibdata1 and a 96 MB redo log); the rows stand as
    // MyISAM files, then once more in the rebuilt ibdata1, and the dump holds them as hex text.
    return (160ull << 20) + tablespaceBytes * 4;
}

std::uint64_t clearlyTooLittle(std::uint64_t tablespaceBytes)
{
    return (128ull << 20) + tablespaceBytes;
}

std::optional<std::string> spaceFault(const std::filesystem::path &folder, std::uint64_t comingBytes)
{
    const auto available = freeBytes(folder);
    if (!available || *available >= kWriteReserve + comingBytes) {
        return std::nullopt;
    }
    return "the disk holding " + folder.string() + " is full: " + megabytes(*available)
        + " free, the rebuild keeps " + megabytes(kWriteReserve + comingBytes)
        + " free for the server to write";
}

} // namespace job

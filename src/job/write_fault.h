// Write faults: when the disk under the workshop or the server itself can no longer take the
// rebuild's writes. Such a fault ends the run instead of refusing row after row, and a server
// that waits for space on a full disk is never left waiting with the run behind it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace job {

// The cause in the user's words when a failed statement means the server cannot write any more
// (table full 1114, disk full 1021, an engine or file error with errno 28 or 122, the server
// gone 2006 or lost 2013, a broken link); nothing for a refusal of this one row.
std::optional<std::string> serverWriteFault(
    int serverError, std::string_view state, std::string_view message);

// Free bytes for an unprivileged writer on the filesystem of `folder` (or of its nearest
// existing parent); nothing when it cannot be learnt.
std::optional<std::uint64_t> freeBytes(const std::filesystem::path &folder);

// "120 MB" for a byte count, rounded up, as the free-space messages give it.
std::string megabytes(std::uint64_t bytes);

// What a rebuild of `tablespaceBytes` needs where the workshop keeps its data: the server's own
// fresh files, the rows as MyISAM tables, the same rows again in InnoDB after each switch, and
// the dump; the figure the check names.
std::uint64_t estimatedNeed(std::uint64_t tablespaceBytes);
// Less than this is clearly too little: the rows alone would not fit once.
std::uint64_t clearlyTooLittle(std::uint64_t tablespaceBytes);

// The space kept free below the server while rows go in: a batch never starts with less, so the
// server does not reach a full disk (where it would wait for space) in the middle of one.
inline constexpr std::uint64_t kWriteReserve = 64ull << 20;

// The check the inserts make before each batch: a fault naming the folder when less than the
// reserve (plus `comingBytes`) is left.
std::optional<std::string> spaceFault(
    const std::filesystem::path &folder, std::uint64_t comingBytes = 0);

} // namespace job

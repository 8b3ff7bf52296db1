// What the checks of one stored page found: the checksum algorithm that matched, or why none did.
#pragma once

#include <optional>

namespace innodb {

enum class ChecksumAlgorithm {
    Innodb, // the legacy folds (adler32 on compressed pages): MySQL up to 5.7.6, MariaDB up
            // to 10.2.1
    Crc32, // CRC-32C, on uncompressed pages the same value at 0 and in the trailer: MySQL 5.7.7+
    None, // 0xDEADBEEF in both places, written with innodb_checksum_algorithm=none
    FullCrc32, // MariaDB 10.5+ spaces: CRC-32C of the whole page in its last 4 bytes
};

enum class PageVerdict {
    Valid, // a checksum matches and the trailer agrees with the header
    Empty, // every byte zero: a page never written, nothing to decode and nothing lost
    Torn, // the trailer's LSN is not the header's: the write was cut short
    BadChecksum, // the trailer agrees but no algorithm gives the stored checksum
};

struct PageCheck
{
    PageVerdict verdict = PageVerdict::Valid;
    std::optional<ChecksumAlgorithm> algorithm; // the one that matched, for Valid pages

    // Only a valid page can be decoded. An empty one is unused to a scan of the whole file, but
    // lost when the tree expected rows on it: the caller knows which.
    bool ok() const { return verdict == PageVerdict::Valid; }
};

} // namespace innodb

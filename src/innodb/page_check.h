// Page validation: the checksums InnoDB writes into each page and the LSN copy in the trailer
// that shows a page only half written (buf0checksum.cc, buf_page_is_corrupted()).
//
//   const PageCheck check = checkPage(page, spaceIsFullCrc32);
//   if (!check.ok()) { count it, report describe(check.verdict), do not decode the page }
//
// The algorithm a server used is a setting of that server, not of the page, and a data folder can
// hold pages of several (a file upgraded from 5.5 to 5.7 keeps its old pages until they are
// rewritten), so a page is accepted when any algorithm of its layout matches, as InnoDB does.
#pragma once

#include "innodb/crc32c.h"
#include "innodb/page_layout.h"
#include "innodb/page_verdict.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace innodb {

// The value innodb_checksum_algorithm=none writes in both checksum fields.
inline constexpr std::uint32_t kNoChecksumMagic = 0xDEADBEEF;

// The legacy checksums: the new one stored at FIL offset 0 and the old one in the trailer.
std::uint32_t innodbChecksum(ConstPage page);
std::uint32_t innodbOldChecksum(ConstPage page);
// The crc32 checksum, stored at FIL offset 0 and again in the trailer.
std::uint32_t crc32Checksum(ConstPage page);
// The full_crc32 checksum, stored in the last 4 bytes.
std::uint32_t fullCrc32Checksum(ConstPage page);

// True when the page's stored checksum fields are what `algorithm` writes.
bool checksumMatches(ConstPage page, ChecksumAlgorithm algorithm);

// True when the trailer repeats the low 32 bits of the header's LSN (FIL offset 20): in the last
// 4 bytes, or in the 4 before them in a full_crc32 space.
bool lsnTrailerMatches(ConstPage page, bool fullCrc32Space = false);

// A space uses the full_crc32 layout when bit 4 of its FSP flags (page 0, kFspSpaceFlags) is set.
inline bool isFullCrc32Space(std::uint32_t spaceFlags) { return (spaceFlags & 0x10) != 0; }

// The whole check of one page: empty, then the trailer, then the checksums.
PageCheck checkPage(ConstPage page, bool fullCrc32Space = false);

// The check for a reader that does not know the space's layout (page 0 may be the damaged one):
// the classic layout first, then full_crc32. A page of one layout fails the other's trailer test.
PageCheck checkPageEitherLayout(ConstPage page);

// A ROW_FORMAT=COMPRESSED page as stored (page0zip.cc, page_zip_calc_checksum()): one checksum at
// FIL offset 0 over the page number, prev and next, the page type, and everything from the space
// id on; crc32 or the legacy adler32, and no trailer. `stored` is the compressed page.
std::uint32_t compressedPageChecksum(
    std::span<const std::uint8_t> stored, ChecksumAlgorithm algorithm);
PageCheck checkCompressedPage(std::span<const std::uint8_t> stored);

// The verdict in a mail administrator's words, for log lines and the report.
std::string_view describe(PageVerdict verdict);
std::string_view algorithmName(ChecksumAlgorithm algorithm);

} // namespace innodb

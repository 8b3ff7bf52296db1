// MariaDB PAGE_COMPRESSED=1 pages (fil0pagecompress.cc): the whole page compressed with one of six
// algorithms and written in fewer bytes, the rest of the page left zero (or punched out).
//
// Two stored forms, chosen by the space's checksum layout:
//   classic (page type 34354): FIL header as the page's own, 0xDEADBEEF for a checksum, the
//     algorithm in the 8 bytes at 26, the compressed length at 38 (2 bytes), the data from 40.
//     Page type 37401 is the same, encrypted: then the algorithm is at 40 and the data at 42.
//   full_crc32: the first 26 bytes of the page, then the data; the page type's top bit marks a
//     compressed page and its low byte the stored size in 256-byte units, whose last 4 bytes
//     are the CRC-32C of the rest; lz4, lzo and snappy need an exact length and keep its low
//     byte just below the checksum. The algorithm is the space's (its FSP flags).
// Either way the data inflates to the whole original page, its own header and checksum
// included.
#pragma once

#include "innodb/page_source.h"
#include "innodb/space_format.h"

#include <cstdint>
#include <span>

namespace innodb {

inline constexpr std::uint16_t kFilPageTypePageCompressed = 34354;
inline constexpr std::uint16_t kFilPageTypePageCompressedEncrypted = 37401;

// True when `stored` is a page that page compression wrote compressed (page 0 never is).
bool isPageCompressed(std::span<const std::uint8_t> stored, const SpaceFormat &format);

// Decompresses `stored` (one page as the file holds it) into `view` (format.pageSize bytes).
// Unreadable, naming the algorithm, when this program was built without its library, or naming
// encryption; Damaged when the data do not give exactly one page. A full_crc32 page's check of
// its stored bytes comes back in storedCheck.
PageRead decompressPageCompressed(
    std::span<const std::uint8_t> stored, PageBuffer view, const SpaceFormat &format);

// Whether this build can decompress pages of `algorithm`.
bool canDecompress(PageCompression algorithm);

} // namespace innodb

// SpaceFormat: how one tablespace stores its pages, as its FSP flags (page 0) say: the page size,
// the compressed page size of ROW_FORMAT=COMPRESSED, the checksum layout and MariaDB page
// compression.
//
//   auto format = spaceFormatFromFlags(readUint32(page0, kFspSpaceFlags));
//   page n lies at n * format->physicalPageSize(); its view has format->pageSize bytes
//
// Two layouts of the flags exist (fsp0types.h). MySQL 5.6+ and MariaDB before 10.4 (and every
// ROW_FORMAT=COMPRESSED space since):
//   bit 0 post-Antelope, bits 1-4 compressed page size (0 = none, else 512 << n), bit 5 atomic
//   BLOBs, bits 6-9 page size (0 = 16 KiB, else 512 << n), bits 10-15 reserved (MySQL 5.7:
//   11 shared, 12 temporary, 13 encryption), bit 16 MariaDB PAGE_COMPRESSED
// MariaDB 10.4+ full_crc32 spaces:
//   bits 0-3 page size (512 << n, 5 = 16 KiB), bit 4 the full_crc32 marker, bits 5-7 the
//   page compression algorithm (0 = none)
#pragma once

#include "common/result.h"
#include "innodb/page_source.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace innodb {

// MariaDB's innodb_compression_algorithm values (fil0fil.h), as pages and flags store them.
enum class PageCompression : std::uint8_t {
    None = 0,
    Zlib = 1,
    Lz4 = 2,
    Lzo = 3,
    Lzma = 4,
    Bzip2 = 5,
    Snappy = 6,
};
inline constexpr std::uint8_t kLastPageCompression = 6;

// "zlib", "lz4", ...; "unknown" for a number no server wrote.
std::string_view compressionName(std::uint64_t algorithm);

struct SpaceFormat
{
    std::uint32_t flags = 0;
    std::size_t pageSize = kDefaultPageSize; // uncompressed: every view the decoders read
    std::size_t zipSize = 0; // ROW_FORMAT=COMPRESSED: the stored size of each page; else 0
    bool fullCrc32 = false; // MariaDB's full_crc32 checksum layout
    bool pageCompressed = false; // MariaDB PAGE_COMPRESSED=1: pages may be stored compressed
    // full_crc32 spaces name their algorithm once, here; the others on every compressed page.
    PageCompression algorithm = PageCompression::None;

    std::size_t physicalPageSize() const { return zipSize != 0 ? zipSize : pageSize; }
};

// The format a space of these flags has; NotSupported, naming what, for flags that no server of
// the supported versions writes (a page size outside 4-64 KiB, MySQL 5.7 encryption).
common::Result<SpaceFormat> spaceFormatFromFlags(std::uint32_t flags);

// Pages per extent (fsp0types.h, FSP_EXTENT_SIZE): 1 MiB of pages up to 16 KiB pages, and 64
// pages (2 or 4 MiB) for 32 and 64 KiB pages.
std::size_t extentPages(std::size_t pageSize);

} // namespace innodb

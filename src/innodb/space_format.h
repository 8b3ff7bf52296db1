// SpaceFormat: how one tablespace stores its pages, as its FSP flags (page 0) say: the page size,
// the compressed page size of ROW_FORMAT=COMPRESSED, the checksum layout, MariaDB page compression
// and encryption.
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
#include <span>
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
    bool encrypted = false; // page 0 holds MariaDB encryption data (set by readEncryption())

    std::size_t physicalPageSize() const { return zipSize != 0 ? zipSize : pageSize; }
};

// The format a space of these flags has; NotSupported, naming what, for flags that no server of
// the supported versions writes (a page size outside 4-64 KiB, MySQL 5.7 encryption).
common::Result<SpaceFormat> spaceFormatFromFlags(std::uint32_t flags);

// Pages per extent (fsp0types.h, FSP_EXTENT_SIZE): 1 MiB of pages up to 16 KiB pages, and 64
// pages (2 or 4 MiB) for 32 and 64 KiB pages.
std::size_t extentPages(std::size_t pageSize);

// Where MariaDB keeps its encryption data on page 0: after the extent descriptors of the first
// extents (fil0crypt.cc, fsp_header_get_encryption_offset()), which depend on the page size.
std::size_t encryptionDataOffset(const SpaceFormat &format);

// True when page 0 (its stored bytes) names an encryption scheme: the space's pages may then be
// encrypted, each page saying so by a non-zero key version (encryptedPageKeyVersion()).
bool readEncryption(std::span<const std::uint8_t> page0, const SpaceFormat &format);

// The key version a page was encrypted with; 0 for a page stored in the clear. Only meaningful
// in a space whose page 0 carries encryption data.
std::uint32_t encryptedPageKeyVersion(
    std::span<const std::uint8_t> stored, const SpaceFormat &format);

} // namespace innodb

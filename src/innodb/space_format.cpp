#include "innodb/space_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

namespace innodb {

namespace {

constexpr std::uint32_t kFullCrc32Marker = 1u << 4;
constexpr std::uint32_t kPageCompressionFlag = 1u << 16;
constexpr std::uint32_t kMysqlEncryptionFlag = 1u << 13;

// Page sizes are 512 << n; 4 to 64 KiB are n = 3 to 7 (UNIV_PAGE_SIZE_SHIFT_MIN/MAX).
constexpr std::uint32_t kSmallestSizeCode = 3;
constexpr std::uint32_t kLargestSizeCode = 7;
constexpr std::size_t sizeOfCode(std::uint32_t code) { return std::size_t { 512 } << code; }

} // namespace

std::string_view compressionName(std::uint64_t algorithm)
{
    switch (algorithm) {
    case 0:
        return "none";
    case 1:
        return "zlib";
    case 2:
        return "lz4";
    case 3:
        return "lzo";
    case 4:
        return "lzma";
    case 5:
        return "bzip2";
    case 6:
        return "snappy";
    default:
        return "unknown";
    }
}

common::Result<SpaceFormat> spaceFormatFromFlags(std::uint32_t flags)
{
    SpaceFormat format;
    format.flags = flags;
    const auto unsupported = [flags](const std::string &what) {
        std::array<char, 8> hex {};
        const auto end = std::to_chars(hex.data(), hex.data() + hex.size(), flags, 16).ptr;
        return common::Error { common::ErrorKind::NotSupported,
            what + " (tablespace flags 0x" + std::string(hex.data(), end) + ")", {} };
    };
    if ((flags & kFullCrc32Marker) != 0) {
        const std::uint32_t code = flags & 0xF;
        const std::uint32_t algorithm = (flags >> 5) & 0x7;
        if (code < kSmallestSizeCode || code > kLargestSizeCode) {
            return unsupported("the tablespace names no page size between 4 and 64 KiB");
        }
        if ((flags >> 8) != 0 || algorithm > kLastPageCompression) {
            return unsupported("the tablespace flags are not those of any known server");
        }
        format.fullCrc32 = true;
        format.pageSize = sizeOfCode(code);
        format.algorithm = static_cast<PageCompression>(algorithm);
        format.pageCompressed = algorithm != 0;
        return format;
    }
    const std::uint32_t pageCode = (flags >> 6) & 0xF;
    const std::uint32_t zipCode = (flags >> 1) & 0xF;
    if (pageCode != 0
        && (pageCode < kSmallestSizeCode || pageCode > kLargestSizeCode || pageCode == 5)) {
        return unsupported("the tablespace names no page size between 4 and 64 KiB");
    }
    if ((flags & kMysqlEncryptionFlag) != 0) {
        return unsupported("the tablespace is encrypted (MySQL tablespace encryption), and its "
                           "key is not in the data folder");
    }
    format.pageSize = pageCode == 0 ? kDefaultPageSize : sizeOfCode(pageCode);
    if (zipCode != 0) {
        // KEY_BLOCK_SIZE 1 to 16 (KiB), never above the page size.
        const std::size_t zipSize = std::size_t { 512 } << zipCode;
        if (zipCode > 5 || zipSize > format.pageSize) {
            return unsupported("the tablespace names a compressed page size larger than its pages");
        }
        format.zipSize = zipSize;
    }
    format.pageCompressed = (flags & kPageCompressionFlag) != 0;
    return format;
}

std::size_t extentPages(std::size_t pageSize)
{
    return pageSize <= kDefaultPageSize ? (std::size_t { 1 } << 20) / pageSize : 64;
}

} // namespace innodb

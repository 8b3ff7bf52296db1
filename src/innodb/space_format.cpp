#include "innodb/space_format.h"

#include "innodb/page_layout.h"

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

// fsp0fsp.h: the FSP header is 112 bytes; the extent descriptors follow it, each 24 bytes of
// list node, segment id and state, then 2 bits for each page of the extent.
constexpr std::size_t kFspHeaderSize = 32 + 5 * 16;
constexpr std::size_t kXdesBitmap = 24;

// fil0crypt.h: the magic, then the scheme (0 = unencrypted, 1 = encrypted) and the IV length.
constexpr std::array<std::uint8_t, 6> kCryptMagic { 's', 0x0E, 0x0C, 'R', 'E', 't' };
constexpr std::uint8_t kCryptScheme1 = 1;

// In a full_crc32 space the key version takes the place of the checksum at the page start;
// elsewhere it lies in the field that page 0 of the system tablespace uses for the flushed LSN.
constexpr std::size_t kFullCrc32KeyVersion = 0;
constexpr std::size_t kKeyVersion = kFilPageFileFlushLsn;

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

std::size_t encryptionDataOffset(const SpaceFormat &format)
{
    const std::size_t extent = extentPages(format.pageSize);
    const std::size_t descriptorSize = kXdesBitmap + (extent * 2 + 7) / 8;
    // One descriptor page describes as many pages as it has bytes (XDES_DESCRIBED_PER_PAGE).
    const std::size_t descriptors = format.physicalPageSize() / extent;
    // The server counts the descriptor array from the FSP header (XDES_ARR_OFFSET includes
    // the FIL header) and then adds the FIL header once more: the data lie 38 bytes further.
    return kFilPageData + kFilPageData + kFspHeaderSize + descriptorSize * descriptors;
}

bool readEncryption(std::span<const std::uint8_t> page0, const SpaceFormat &format)
{
    const std::size_t at = encryptionDataOffset(format);
    if (!common::fits(page0.size(), at, kCryptMagic.size() + 1)) {
        return false;
    }
    if (!std::equal(kCryptMagic.begin(), kCryptMagic.end(),
            page0.begin() + static_cast<std::ptrdiff_t>(at))) {
        return false;
    }
    // Scheme 0 is a space on its way to or from encryption: its pages say which they are, by
    // their key version, so it counts as encrypted too.
    const std::uint8_t scheme = page0[at + kCryptMagic.size()];
    return scheme == kCryptScheme1 || scheme == 0;
}

std::uint32_t encryptedPageKeyVersion(
    std::span<const std::uint8_t> stored, const SpaceFormat &format)
{
    const std::size_t at = format.fullCrc32 ? kFullCrc32KeyVersion : kKeyVersion;
    return static_cast<std::uint32_t>(common::readBigEndianUnchecked(stored.data() + at, 4));
}

} // namespace innodb

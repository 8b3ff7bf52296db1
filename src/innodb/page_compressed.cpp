#include "innodb/page_compressed.h"

#include "innodb/page_check.h"
#include "innodb/page_layout.h"

#include <zlib.h>
#if ZR_HAVE_LZ4
#include <lz4.h>
#endif
#if ZR_HAVE_LZO
#include <lzo/lzo1x.h>
#endif
#if ZR_HAVE_LZMA
#include <lzma.h>
#endif
#if ZR_HAVE_BZIP2
#include <bzlib.h>
#endif
#if ZR_HAVE_SNAPPY
#include <snappy-c.h>
#endif

#include <string>

namespace innodb {

namespace {

// Classic form (fil0fil.h): FIL_PAGE_COMP_ALGO at 26 (8 bytes), then after the FIL header the
// compressed size (2 bytes); the encrypted variant puts the algorithm (2 bytes) after the size.
constexpr std::size_t kCompressedAlgorithm = kFilPageFileFlushLsn; // 26
constexpr std::size_t kCompressedSize = kFilPageData; // 38
constexpr std::size_t kClassicHeader = kFilPageData + 2;
// full_crc32 form: the data follow the first 26 bytes; the type field holds the marker and size.
constexpr std::size_t kFullCrc32Header = kCompressedAlgorithm;
constexpr std::uint16_t kFullCrc32CompressedMarker = 0x8000;
constexpr std::size_t kFullCrc32Checksum = 4;

// Decompresses `in` with `algorithm` into exactly out.size() bytes; false when the data do not
// give that, or the library is missing (then `missing` is set).
bool inflateWith(PageCompression algorithm, std::span<const std::uint8_t> in,
    std::span<std::uint8_t> out, bool &missing)
{
    missing = false;
    switch (algorithm) {
    case PageCompression::Zlib: {
        uLongf length = static_cast<uLongf>(out.size());
        return uncompress(out.data(), &length, in.data(), static_cast<uLong>(in.size())) == Z_OK
            && length == out.size();
    }
    case PageCompression::Lz4:
#if ZR_HAVE_LZ4
        return LZ4_decompress_safe(reinterpret_cast<const char *>(in.data()),
                   reinterpret_cast<char *>(out.data()), static_cast<int>(in.size()),
                   static_cast<int>(out.size()))
            == static_cast<int>(out.size());
#else
        break;
#endif
    case PageCompression::Lzo: {
#if ZR_HAVE_LZO
        // lzo_init() checks the library against its header once; it only fails for a broken
        // installation, and then no page of lzo can be read.
        static const bool usable = lzo_init() == LZO_E_OK;
        if (!usable) {
            break;
        }
        lzo_uint length = out.size();
        return lzo1x_decompress_safe(in.data(), in.size(), out.data(), &length, nullptr) == LZO_E_OK
            && length == out.size();
#else
        break;
#endif
    }
    case PageCompression::Lzma: {
#if ZR_HAVE_LZMA
        std::uint64_t memoryLimit = UINT64_MAX;
        std::size_t inPosition = 0;
        std::size_t outPosition = 0;
        return lzma_stream_buffer_decode(&memoryLimit, 0, nullptr, in.data(), &inPosition,
                   in.size(), out.data(), &outPosition, out.size())
            == LZMA_OK
            && outPosition == out.size();
#else
        break;
#endif
    }
    case PageCompression::Bzip2: {
#if ZR_HAVE_BZIP2
        auto length = static_cast<unsigned int>(out.size());
        // The input buffer is not written to; bzlib's prototype just lacks the const.
        return BZ2_bzBuffToBuffDecompress(reinterpret_cast<char *>(out.data()), &length,
                   const_cast<char *>(reinterpret_cast<const char *>(in.data())),
                   static_cast<unsigned int>(in.size()), 1, 0)
            == BZ_OK
            && length == out.size();
#else
        break;
#endif
    }
    case PageCompression::Snappy: {
#if ZR_HAVE_SNAPPY
        std::size_t length = out.size();
        return snappy_uncompress(reinterpret_cast<const char *>(in.data()), in.size(),
                   reinterpret_cast<char *>(out.data()), &length)
            == SNAPPY_OK
            && length == out.size();
#else
        break;
#endif
    }
    case PageCompression::None:
        return false;
    }
    missing = true;
    return false;
}

PageRead failure(PageRead::Outcome outcome, std::string reason)
{
    PageRead read;
    read.outcome = outcome;
    read.reason = std::move(reason);
    return read;
}

PageRead inflatePage(PageCompression algorithm, std::span<const std::uint8_t> data, PageBuffer view)
{
    bool missing = false;
    if (inflateWith(algorithm, data, view, missing)) {
        return {};
    }
    const std::string name(compressionName(static_cast<std::uint8_t>(algorithm)));
    if (missing) {
        return failure(PageRead::Outcome::Unreadable,
            "compressed with " + name + ", which this build of the program cannot decompress"
                + " (it was built without the " + name + " library)");
    }
    return failure(PageRead::Outcome::Damaged, "its " + name + " data do not decompress");
}

} // namespace

bool canDecompress(PageCompression algorithm)
{
    switch (algorithm) {
    case PageCompression::Zlib:
        return true;
    case PageCompression::Lz4:
        return ZR_HAVE_LZ4 != 0;
    case PageCompression::Lzo:
        return ZR_HAVE_LZO != 0;
    case PageCompression::Lzma:
        return ZR_HAVE_LZMA != 0;
    case PageCompression::Bzip2:
        return ZR_HAVE_BZIP2 != 0;
    case PageCompression::Snappy:
        return ZR_HAVE_SNAPPY != 0;
    case PageCompression::None:
        return false;
    }
    return false;
}

bool isPageCompressed(std::span<const std::uint8_t> stored, const SpaceFormat &format)
{
    if (!format.pageCompressed || pageNumberOf(stored) == 0) {
        return false;
    }
    const std::uint16_t type = pageTypeOf(stored);
    if (format.fullCrc32) {
        return (type & kFullCrc32CompressedMarker) != 0;
    }
    return type == kFilPageTypePageCompressed || type == kFilPageTypePageCompressedEncrypted;
}

PageRead decompressPageCompressed(
    std::span<const std::uint8_t> stored, PageBuffer view, const SpaceFormat &format)
{
    const std::size_t pageSize = view.size();
    if (format.fullCrc32) {
        // Only bits 8-14 can carry a size below the page size; anything else is damage.
        const std::size_t storedSize = std::size_t { pageTypeOf(stored) & 0x7FFFu } << 8;
        if (storedSize <= kFullCrc32Header + kFullCrc32Checksum || storedSize >= pageSize
            || storedSize > stored.size()) {
            return failure(PageRead::Outcome::Damaged, "its compressed size is impossible");
        }
        PageRead read;
        const std::uint32_t crc = crc32c(stored.first(storedSize - kFullCrc32Checksum));
        read.storedCheck = PageCheck { crc == readUint32(stored, storedSize - kFullCrc32Checksum)
                ? PageVerdict::Valid
                : PageVerdict::BadChecksum,
            ChecksumAlgorithm::FullCrc32 };
        if (!read.storedCheck->ok()) {
            read.storedCheck->algorithm.reset();
        }
        std::size_t size = storedSize;
        const auto algorithm = format.algorithm;
        if (algorithm == PageCompression::Lz4 || algorithm == PageCompression::Lzo
            || algorithm == PageCompression::Snappy) {
            // The exact end: the low byte of (data end + 5), kept below the checksum.
            if (const std::size_t low = stored[size - 5]; low != 0) {
                size += low - 0x100;
            }
            size -= 5;
        }
        if (size <= kFullCrc32Header) {
            read.outcome = PageRead::Outcome::Damaged;
            read.reason = "its compressed size is impossible";
            return read;
        }
        PageRead inflated = inflatePage(
            algorithm, stored.subspan(kFullCrc32Header, size - kFullCrc32Header), view);
        inflated.storedCheck = read.storedCheck;
        return inflated;
    }
    if (pageTypeOf(stored) == kFilPageTypePageCompressedEncrypted) {
        return failure(PageRead::Outcome::Unreadable,
            "encrypted (MariaDB data-at-rest encryption), and its key is not in the data folder");
    }
    // The algorithm is a 2-byte number in an 8-byte field; the size leaves room for the header.
    if (readBigEndian(stored, kCompressedAlgorithm, 6) != 0) {
        return failure(PageRead::Outcome::Damaged, "it names no compression algorithm");
    }
    const std::uint16_t algorithm = readUint16(stored, kCompressedAlgorithm + 6);
    const std::size_t size = readUint16(stored, kCompressedSize);
    if (size == 0 || size > pageSize - kClassicHeader || kClassicHeader + size > stored.size()) {
        return failure(PageRead::Outcome::Damaged, "its compressed size is impossible");
    }
    if (algorithm == 0 || algorithm > kLastPageCompression) {
        return failure(PageRead::Outcome::Damaged,
            "it names compression algorithm " + std::to_string(algorithm)
                + ", which no server writes");
    }
    return inflatePage(
        static_cast<PageCompression>(algorithm), stored.subspan(kClassicHeader, size), view);
}

} // namespace innodb

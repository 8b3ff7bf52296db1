#include "innodb/page_check.h"

#include <algorithm>
#include <zlib.h>

namespace innodb {

namespace {

// ut_fold_ulint_pair() over each byte. InnoDB computes it in a machine word and keeps the low
// 32 bits of the sum; every step (xor, shift left, add) carries only upwards, so doing each step
// modulo 2^32 gives the same low bits.
std::uint32_t fold(std::span<const std::uint8_t> bytes)
{
    std::uint32_t h = 0;
    for (const std::uint8_t b : bytes) {
        h = ((((h ^ b ^ 0x62946A4Fu) << 8) + h) ^ 0x573ED587u) + b;
    }
    return h;
}

// Byte ranges of the two checksums, end exclusive: the FIL header without the checksum and the
// flush LSN / space id fields (those are written after the checksum is computed), and the page
// body without the trailer.
constexpr std::size_t kHeaderPartBegin = kFilPageOffset; // 4
constexpr std::size_t kHeaderPartEnd = kFilPageFileFlushLsn; // 26
constexpr std::size_t kBodyBegin = kFilPageData; // 38

std::size_t bodyEnd(ConstPage page) { return filTrailerOf(page.size()); }

std::span<const std::uint8_t> range(ConstPage page, std::size_t begin, std::size_t end)
{
    return std::span<const std::uint8_t>(page.data() + begin, end - begin);
}

// The parts of a compressed page its checksum covers: the FIL header without the checksum, the
// LSN and the flushed-LSN fields, which are written after the checksum is computed.
constexpr std::size_t kZipFirstEnd = kFilPageLsn; // 4..15: page number, prev, next
constexpr std::size_t kZipRestBegin = kFilPageSpaceId; // 34..: space id, then the payload

} // namespace

std::uint32_t innodbChecksum(ConstPage page)
{
    return fold(range(page, kHeaderPartBegin, kHeaderPartEnd))
        + fold(range(page, kBodyBegin, bodyEnd(page)));
}

std::uint32_t innodbOldChecksum(ConstPage page)
{
    return fold(range(page, kFilPageSpaceOrChecksum, kHeaderPartEnd));
}

std::uint32_t crc32Checksum(ConstPage page)
{
    return crc32c(range(page, kHeaderPartBegin, kHeaderPartEnd))
        ^ crc32c(range(page, kBodyBegin, bodyEnd(page)));
}

std::uint32_t fullCrc32Checksum(ConstPage page) { return crc32c(range(page, 0, page.size() - 4)); }

bool checksumMatches(ConstPage page, ChecksumAlgorithm algorithm)
{
    const std::uint32_t front = readUint32(page, kFilPageSpaceOrChecksum);
    const std::uint32_t back = readUint32(page, filTrailerOf(page.size()));
    switch (algorithm) {
    case ChecksumAlgorithm::Innodb: {
        // InnoDB before 4.0.14 left the new checksum 0, and before that the old field held the
        // LSN's high word instead of a fold (buf_page_is_corrupted(), legacy branch). Those
        // pages were still written with an LSN: without one, the two shortcuts would accept any
        // page whose first and last bytes were wiped.
        const bool written = pageLsnOf(page) != 0;
        const bool frontOk = front == innodbChecksum(page) || (written && front == 0);
        const bool backOk
            = back == innodbOldChecksum(page) || (written && back == readUint32(page, kFilPageLsn));
        return frontOk && backOk;
    }
    case ChecksumAlgorithm::Crc32: {
        const std::uint32_t crc = crc32Checksum(page);
        return front == crc && back == crc;
    }
    case ChecksumAlgorithm::None:
        return front == kNoChecksumMagic && back == kNoChecksumMagic;
    case ChecksumAlgorithm::FullCrc32:
        return readUint32(page, page.size() - 4) == fullCrc32Checksum(page);
    }
    return false;
}

bool lsnTrailerMatches(ConstPage page, bool fullCrc32Space)
{
    const std::uint32_t lsnLow = readUint32(page, kFilPageLsn + 4);
    const std::size_t trailer = fullCrc32Space ? page.size() - 8 : page.size() - 4;
    return readUint32(page, trailer) == lsnLow;
}

PageCheck checkPage(ConstPage page, bool fullCrc32Space)
{
    if (std::all_of(page.begin(), page.end(), [](std::uint8_t b) { return b == 0; })) {
        return { PageVerdict::Empty, std::nullopt };
    }
    if (!lsnTrailerMatches(page, fullCrc32Space)) {
        return { PageVerdict::Torn, std::nullopt };
    }
    if (fullCrc32Space) {
        // The layout is fixed when the space is created, so no page of it has another checksum.
        if (checksumMatches(page, ChecksumAlgorithm::FullCrc32)) {
            return { PageVerdict::Valid, ChecksumAlgorithm::FullCrc32 };
        }
        return { PageVerdict::BadChecksum, std::nullopt };
    }
    // crc32 first: it is what every server of the last ten years writes, and the cheapest test
    // to fail on the legacy pages of older ones.
    for (const auto algorithm :
        { ChecksumAlgorithm::Crc32, ChecksumAlgorithm::Innodb, ChecksumAlgorithm::None }) {
        if (checksumMatches(page, algorithm)) {
            return { PageVerdict::Valid, algorithm };
        }
    }
    return { PageVerdict::BadChecksum, std::nullopt };
}

PageCheck checkPageEitherLayout(ConstPage page)
{
    const PageCheck classic = checkPage(page, false);
    if (classic.ok() || classic.verdict == PageVerdict::Empty) {
        return classic;
    }
    const PageCheck full = checkPage(page, true);
    return full.ok() ? full : classic;
}

std::uint32_t compressedPageChecksum(
    std::span<const std::uint8_t> stored, ChecksumAlgorithm algorithm)
{
    const auto first = range(stored, kFilPageOffset, kZipFirstEnd);
    const auto type = range(stored, kFilPageType, kFilPageType + 2);
    const auto rest = range(stored, kZipRestBegin, stored.size());
    switch (algorithm) {
    case ChecksumAlgorithm::Crc32:
    case ChecksumAlgorithm::FullCrc32:
        return crc32c(first) ^ crc32c(type) ^ crc32c(rest);
    case ChecksumAlgorithm::Innodb: {
        uLong adler = adler32(0L, first.data(), static_cast<uInt>(first.size()));
        adler = adler32(adler, type.data(), static_cast<uInt>(type.size()));
        adler = adler32(adler, rest.data(), static_cast<uInt>(rest.size()));
        return static_cast<std::uint32_t>(adler);
    }
    case ChecksumAlgorithm::None:
        return kNoChecksumMagic;
    }
    return kNoChecksumMagic;
}

PageCheck checkCompressedPage(std::span<const std::uint8_t> stored)
{
    if (std::all_of(stored.begin(), stored.end(), [](std::uint8_t b) { return b == 0; })) {
        return { PageVerdict::Empty, std::nullopt };
    }
    // A compressed page has no trailer, so a torn write shows only as a wrong checksum.
    const std::uint32_t stored32 = readUint32(stored, kFilPageSpaceOrChecksum);
    for (const auto algorithm :
        { ChecksumAlgorithm::Crc32, ChecksumAlgorithm::Innodb, ChecksumAlgorithm::None }) {
        if (stored32 == compressedPageChecksum(stored, algorithm)) {
            return { PageVerdict::Valid, algorithm };
        }
    }
    return { PageVerdict::BadChecksum, std::nullopt };
}

std::string_view describe(PageVerdict verdict)
{
    switch (verdict) {
    case PageVerdict::Valid:
        return "intact";
    case PageVerdict::Empty:
        return "never written";
    case PageVerdict::Torn:
        return "only partly written (its two halves come from different moments)";
    case PageVerdict::BadChecksum:
        return "damaged (its checksum does not match its contents)";
    }
    return "unknown";
}

std::string_view algorithmName(ChecksumAlgorithm algorithm)
{
    switch (algorithm) {
    case ChecksumAlgorithm::Innodb:
        return "innodb";
    case ChecksumAlgorithm::Crc32:
        return "crc32";
    case ChecksumAlgorithm::None:
        return "none";
    case ChecksumAlgorithm::FullCrc32:
        return "full_crc32";
    }
    return "unknown";
}

} // namespace innodb

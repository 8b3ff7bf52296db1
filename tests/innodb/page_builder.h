// Hand-made InnoDB pages and tablespace files for tests of the scanner and the tree walk.
#pragma once

#include "innodb/page_layout.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

using Page = std::array<std::uint8_t, innodb::kDefaultPageSize>;

inline void putBigEndian(Page &page, std::size_t offset, std::uint64_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i) {
        page[offset + width - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// An empty B-tree page of the given index and level, in new-style (COMPACT) form unless asked.
inline Page makeIndexPage(std::uint32_t pageNumber, std::uint64_t indexId, std::uint16_t level = 0,
    std::uint32_t spaceId = 0, std::uint64_t lsn = 1000, bool compact = true)
{
    Page page {};
    putBigEndian(page, innodb::kFilPageOffset, pageNumber, 4);
    putBigEndian(page, innodb::kFilPagePrev, innodb::kFilNull, 4);
    putBigEndian(page, innodb::kFilPageNext, innodb::kFilNull, 4);
    putBigEndian(page, innodb::kFilPageLsn, lsn, 8);
    putBigEndian(page, innodb::kFilPageType, innodb::kFilPageTypeIndex, 2);
    putBigEndian(page, innodb::kFilPageSpaceId, spaceId, 4);
    putBigEndian(page, innodb::kPageLevelAt, level, 2);
    putBigEndian(page, innodb::kPageIndexIdAt, indexId, 8);
    if (compact) {
        putBigEndian(page, innodb::kPageNHeapAt, 0x8002, 2);
        putBigEndian(page, innodb::kPageHeapTopAt, innodb::kPageNewSupremumEnd, 2);
        // infimum -> supremum, relative
        putBigEndian(page, innodb::kPageNewInfimum - 2,
            innodb::kPageNewSupremum - innodb::kPageNewInfimum, 2);
    } else {
        putBigEndian(page, innodb::kPageNHeapAt, 2, 2);
        putBigEndian(page, innodb::kPageHeapTopAt, innodb::kPageOldSupremumEnd, 2);
        putBigEndian(page, innodb::kPageOldInfimum - 2, innodb::kPageOldSupremum, 2);
    }
    return page;
}

// Page 0 of a space: FSP header with the given space id and 16 KiB flags.
inline Page makeFspHeaderPage(std::uint32_t spaceId, std::uint32_t flags = 0)
{
    Page page {};
    putBigEndian(page, innodb::kFilPageType, 8, 2);
    putBigEndian(page, innodb::kFilPageSpaceId, spaceId, 4);
    putBigEndian(page, innodb::kFilPageData, spaceId, 4);
    putBigEndian(page, innodb::kFspSpaceFlags, flags, 4);
    return page;
}

inline void writePages(
    const std::filesystem::path &path, const std::vector<Page> &pages, std::size_t tailBytes = 0)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto &page : pages) {
        out.write(
            reinterpret_cast<const char *>(page.data()), static_cast<std::streamsize>(page.size()));
    }
    const std::string tail(tailBytes, 'x');
    out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
}

// Appends records to a page made by makeIndexPage() and links them, in the order appended, between
// the infimum and the supremum. Records are raw: the caller gives the bytes below the origin
// that are not the fixed header (offsets or lengths) and the bytes from the origin on.
class RecordWriter
{
public:
    RecordWriter(Page &page, bool compact)
        : m_page(page)
        , m_compact(compact)
        , m_heapTop(compact ? innodb::kPageNewSupremumEnd : innodb::kPageOldSupremumEnd)
    {
    }

    // An old-style record with one-byte end offsets (fields of up to 127 bytes in all), or
    // two-byte ones.
    std::size_t addOldStyle(const std::vector<std::vector<std::uint8_t>> &fields,
        std::uint8_t infoBits = 0, bool twoByteOffsets = false)
    {
        const std::size_t width = twoByteOffsets ? 2 : 1;
        const std::size_t origin = m_heapTop + fields.size() * width + 6;
        std::size_t end = 0;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            end += fields[i].size();
            if (twoByteOffsets) {
                putBigEndian(m_page, origin - 6 - 2 - 2 * i, end, 2);
            } else {
                m_page[origin - 6 - 1 - i] = static_cast<std::uint8_t>(end);
            }
        }
        m_page[origin - 6] = infoBits;
        m_page[origin - 5] = 0;
        putBigEndian(m_page, origin - 4, (fields.size() << 1) | (twoByteOffsets ? 0 : 1), 2);
        std::size_t at = origin;
        for (const auto &field : fields) {
            std::copy(field.begin(), field.end(), m_page.begin() + static_cast<std::ptrdiff_t>(at));
            at += field.size();
        }
        return finish(origin, at);
    }

    // A new-style node pointer: `lengthBytes` (lowest address first) sit below the 5-byte header
    // and `nullBytes` null-bitmap bytes; then the key bytes and the child page number.
    std::size_t addNodePointer(const std::vector<std::uint8_t> &key, std::uint32_t child,
        std::size_t nullBytes = 0, const std::vector<std::uint8_t> &lengthBytes = {})
    {
        const std::size_t origin = m_heapTop + lengthBytes.size() + nullBytes + 5;
        std::copy(lengthBytes.begin(), lengthBytes.end(),
            m_page.begin() + static_cast<std::ptrdiff_t>(m_heapTop));
        m_page[origin - 5] = m_count == 0 ? 0x10 : 0x00; // min-rec on the leftmost
        putBigEndian(m_page, origin - 4, ((m_count + 2) << 3) | 1, 2);
        std::copy(key.begin(), key.end(), m_page.begin() + static_cast<std::ptrdiff_t>(origin));
        putBigEndian(m_page, origin + key.size(), child, 4);
        return finish(origin, origin + key.size() + 4);
    }

private:
    std::size_t finish(std::size_t origin, std::size_t end)
    {
        const std::size_t previous = m_last != 0
            ? m_last
            : (m_compact ? innodb::kPageNewInfimum : innodb::kPageOldInfimum);
        const std::size_t supremum
            = m_compact ? innodb::kPageNewSupremum : innodb::kPageOldSupremum;
        link(previous, origin);
        link(origin, supremum);
        m_last = origin;
        m_heapTop = end;
        ++m_count;
        putBigEndian(m_page, innodb::kPageHeapTopAt, m_heapTop, 2);
        putBigEndian(m_page, innodb::kPageNRecsAt, m_count, 2);
        return origin;
    }

    void link(std::size_t from, std::size_t to)
    {
        const auto value = m_compact ? (to - from) & 0xFFFF : to;
        putBigEndian(m_page, from - 2, value, 2);
    }

    Page &m_page;
    bool m_compact;
    std::size_t m_heapTop;
    std::size_t m_last = 0;
    std::size_t m_count = 0;
};

inline std::vector<std::uint8_t> bigEndianBytes(std::uint64_t value, std::size_t width)
{
    std::vector<std::uint8_t> bytes(width);
    for (std::size_t i = 0; i < width; ++i) {
        bytes[width - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return bytes;
}

} // namespace testing_support

// Hand-made InnoDB pages and tablespace files for tests of the scanner and the tree walk.
#pragma once

#include "innodb/page_layout.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

using Page = std::array<std::uint8_t, innodb::kPageSize>;

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

} // namespace testing_support

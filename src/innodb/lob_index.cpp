#include "innodb/lob_index.h"

#include "innodb/page_layout.h"

#include <set>
#include <utility>
#include <vector>

namespace innodb {

namespace {

constexpr std::size_t kFirstDataLength = kFilPageData + 16; // 4
constexpr std::size_t kFirstIndexList = kFilPageData + 26; // base node: length 4, first 6, last 6
constexpr std::size_t kBaseFirst = 4;
constexpr std::size_t kFirstEntries = kFilPageData + 58;
constexpr std::size_t kEntrySize = 60;
constexpr std::size_t kFirstEntryCount = 10;
constexpr std::size_t kFirstData = kFirstEntries + kFirstEntryCount * kEntrySize; // 696
constexpr std::size_t kEntryNext = 6; // page 4, offset 2
constexpr std::size_t kEntryPage = 48;
constexpr std::size_t kEntryDataLength = 52;
constexpr std::size_t kDataLength = kFilPageData + 1; // 4
constexpr std::size_t kData = kFilPageData + 11;

std::string pageName(std::uint32_t page) { return "LOB page " + std::to_string(page); }

// One page of the value, read and checked as ReadOverflowChain checks its pages.
class LobPages
{
public:
    LobPages(PageSource &pages, const OverflowExpectation &expectation)
        : m_pages(pages), m_expectation(expectation)
    {
    }

    // The page's view in `buffer`, or why it cannot be part of the value.
    std::string read(std::uint32_t number, std::uint16_t type, std::vector<std::uint8_t> &buffer)
    {
        buffer.resize(m_pages.pageSize());
        if (number == kFilNull || number >= m_pages.pageCount()) {
            return pageName(number) + " lies beyond the end of the file";
        }
        const PageRead read = m_pages.readPage(number, buffer);
        if (!read) {
            return pageName(number) + (read.reason.empty() ? " cannot be read" : " is " + read.reason);
        }
        const ConstPage page(buffer);
        if (std::string why = chainPageRefusal(
                page, read, number, m_expectation.spaceId, pageName(number));
            !why.empty()) {
            return why;
        }
        if (pageTypeOf(page) != type) {
            return pageName(number) + " is of page type " + std::to_string(pageTypeOf(page))
                + ", not " + std::to_string(type);
        }
        return {};
    }

private:
    PageSource &m_pages;
    const OverflowExpectation &m_expectation;
};

} // namespace

OverflowResult ReadLobValue(PageSource &pages, const OverflowExpectation &expectation,
    std::uint32_t firstPage, std::uint64_t expectedLength, LongValueWriter &writer)
{
    OverflowResult result;
    const auto stop = [&result](std::string why) {
        result.damage = std::move(why);
        return result;
    };
    LobPages reader(pages, expectation);
    std::vector<std::uint8_t> first;
    if (std::string why = reader.read(firstPage, kFilPageTypeLobFirst, first); !why.empty()) {
        return stop(std::move(why));
    }
    const std::size_t pageEnd = filTrailerOf(first.size());
    std::vector<std::uint8_t> entries; // the index page of the current entry, when not the first
    std::vector<std::uint8_t> data;
    std::uint32_t entryPage = readUint32(first, kFirstIndexList + kBaseFirst);
    std::size_t entryOffset = readUint16(first, kFirstIndexList + kBaseFirst + 4);
    std::uint32_t entriesHeld = firstPage;
    std::set<std::pair<std::uint32_t, std::size_t>> seen;
    while (result.bytesRead < expectedLength) {
        const std::string missing = std::to_string(expectedLength - result.bytesRead) + " of "
            + std::to_string(expectedLength) + " bytes";
        if (entryPage == kFilNull) {
            return stop("the LOB's index ends with " + missing + " still missing");
        }
        if (!seen.insert({ entryPage, entryOffset }).second) {
            return stop("the LOB's index loops back to page " + std::to_string(entryPage));
        }
        if (entryPage != firstPage && entryPage != entriesHeld) {
            if (std::string why = reader.read(entryPage, kFilPageTypeLobIndex, entries);
                !why.empty()) {
                return stop(std::move(why));
            }
            entriesHeld = entryPage;
        }
        const ConstPage holder = entryPage == firstPage ? ConstPage(first) : ConstPage(entries);
        if (entryOffset < kFilPageData || !common::fits(pageEnd, entryOffset, kEntrySize)) {
            return stop(pageName(entryPage) + " holds no LOB index entry at "
                + std::to_string(entryOffset));
        }
        const std::uint32_t piecePage = readUint32(holder, entryOffset + kEntryPage);
        const std::size_t pieceLength = readUint16(holder, entryOffset + kEntryDataLength);
        const std::uint32_t nextPage = readUint32(holder, entryOffset + kEntryNext);
        const std::size_t nextOffset = readUint16(holder, entryOffset + kEntryNext + 4);

        common::Bytes piece;
        if (piecePage == firstPage) {
            if (!common::fits(pageEnd, kFirstData, pieceLength)
                || pieceLength != readUint32(first, kFirstDataLength)) {
                return stop(pageName(firstPage) + " gives an impossible data length of "
                    + std::to_string(pieceLength) + " bytes");
            }
            piece = common::Bytes(first).subspan(kFirstData, pieceLength);
        } else {
            if (std::string why = reader.read(piecePage, kFilPageTypeLobData, data); !why.empty()) {
                return stop(std::move(why));
            }
            if (!common::fits(pageEnd, kData, pieceLength)
                || pieceLength != readUint32(data, kDataLength)) {
                return stop(pageName(piecePage) + " gives an impossible data length of "
                    + std::to_string(pieceLength) + " bytes");
            }
            piece = common::Bytes(data).subspan(kData, pieceLength);
        }
        const std::uint64_t wanted
            = std::min<std::uint64_t>(piece.size(), expectedLength - result.bytesRead);
        if (auto appended = writer.append(piece.first(static_cast<std::size_t>(wanted)));
            !appended.ok()) {
            return stop("the value cannot be kept: " + appended.error().describe());
        }
        result.bytesRead += wanted;
        entryPage = nextPage;
        entryOffset = nextOffset;
    }
    result.complete = true;
    return result;
}

} // namespace innodb

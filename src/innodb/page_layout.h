// Offsets and readers of an uncompressed InnoDB page; names follow fil0fil.h and page0page.h.
//
// Every multi-byte field of a page is big-endian. The readers below take a whole page (a view of
// the tablespace's page size, at least kMinPageSize bytes) and a fixed offset inside the FIL or
// index header, so they need no bounds test; anything that reads at an offset found in the page
// itself goes through common::ByteReader instead. The fields counted from the end of a page (the
// FIL trailer, the page directory) move with the page size and are functions of the page.
#pragma once

#include "common/byte_reader.h"
#include "innodb/page_source.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace innodb {

using ConstPage = std::span<const std::uint8_t>;

// FIL header, 38 bytes = 4 + 4 + 4 + 4 + 8 + 2 + 8 + 4.
inline constexpr std::size_t kFilPageSpaceOrChecksum = 0; // 4: checksum
inline constexpr std::size_t kFilPageOffset = 4; // 4: page number, equals the position
inline constexpr std::size_t kFilPagePrev = 8; // 4: previous page on the same level
inline constexpr std::size_t kFilPageNext = 12; // 4: next page on the same level
inline constexpr std::size_t kFilPageLsn = 16; // 8: LSN of the last change
inline constexpr std::size_t kFilPageType = 24; // 2: see the kFilPageType* values
inline constexpr std::size_t kFilPageFileFlushLsn = 26; // 8: page 0 of space 0 only
inline constexpr std::size_t kFilPageSpaceId = 34; // 4: the tablespace the page belongs to
inline constexpr std::size_t kFilPageData = 38; // first byte after the FIL header
inline constexpr std::size_t kFilTrailerSize = 4 + 4; // old-style checksum, low 32 bits of the LSN

// The FIL trailer: the last 8 bytes of the page.
inline std::size_t filTrailerOf(std::size_t pageSize) { return pageSize - kFilTrailerSize; }

inline constexpr std::uint32_t kFilNull = 0xFFFFFFFF; // "no page" in prev/next and chain links

// Page types (BE16 at kFilPageType), fil0fil.h.
inline constexpr std::uint16_t kFilPageTypeAllocated = 0;
inline constexpr std::uint16_t kFilPageTypeFspHeader = 8; // page 0 of every tablespace (5.1.7+)
inline constexpr std::uint16_t kFilPageTypeBlob = 10;
inline constexpr std::uint16_t kFilPageTypeInstant = 18; // MariaDB root after instant ADD COLUMN
inline constexpr std::uint16_t kFilPageTypeIndex = 17855; // 0x45BF, B-tree node

// Index page header, relative to kFilPageData (page0page.h).
inline constexpr std::size_t kPageNDirSlots = 0; // 2
inline constexpr std::size_t kPageHeapTop = 2; // 2: end of the used heap
inline constexpr std::size_t kPageNHeap = 4; // 2: bit 15 set = new-style (COMPACT) records
inline constexpr std::size_t kPageFree = 6; // 2: head of the free record list
inline constexpr std::size_t kPageGarbage = 8; // 2
inline constexpr std::size_t kPageLastInsert = 10; // 2
inline constexpr std::size_t kPageDirection = 12; // 2
inline constexpr std::size_t kPageNDirection = 14; // 2
inline constexpr std::size_t kPageNRecs = 16; // 2: user records, delete-marked included
inline constexpr std::size_t kPageMaxTrxId = 18; // 8
inline constexpr std::size_t kPageLevel = 26; // 2: 0 = leaf
inline constexpr std::size_t kPageIndexId = 28; // 8
inline constexpr std::size_t kPageHeaderSize = 2 + 2 + 2 + 2 + 2 + 2 + 2 + 2 + 2 + 8 + 2 + 8;

// Absolute page offsets of the same fields, for readers that address the page as a whole.
inline constexpr std::size_t kPageHeapTopAt = kFilPageData + kPageHeapTop; // 40
inline constexpr std::size_t kPageNHeapAt = kFilPageData + kPageNHeap; // 42
inline constexpr std::size_t kPageNRecsAt = kFilPageData + kPageNRecs; // 54
inline constexpr std::size_t kPageLevelAt = kFilPageData + kPageLevel; // 64
inline constexpr std::size_t kPageIndexIdAt = kFilPageData + kPageIndexId; // 66

// The leaf and non-leaf segment headers (10 bytes each) follow the index header on the root.
inline constexpr std::size_t kPageData = kFilPageData + kPageHeaderSize + 2 * 10; // 94

// System records. New-style (COMPACT family) headers are 5 bytes, old-style 6 bytes plus one
// end offset per field (infimum and supremum have one field each, one-byte offsets).
inline constexpr std::size_t kPageNewInfimum = kPageData + 5; // 99
inline constexpr std::size_t kPageNewSupremum = kPageNewInfimum + 8 + 5; // 112
inline constexpr std::size_t kPageNewSupremumEnd = kPageNewSupremum + 8; // 120
inline constexpr std::size_t kPageOldInfimum = kPageData + 1 + 6; // 101
inline constexpr std::size_t kPageOldSupremum = kPageOldInfimum + 8 + 1 + 6; // 116
inline constexpr std::size_t kPageOldSupremumEnd = kPageOldSupremum + 9; // 125

// The page directory grows down from just above the FIL trailer: slot 0 (the infimum) is the
// 2 bytes below it, and no record reaches past that.
inline constexpr std::size_t kPageDirSlotSize = 2;
inline std::size_t directoryStartOf(std::size_t pageSize)
{
    return filTrailerOf(pageSize) - kPageDirSlotSize;
}
inline std::size_t directoryStartOf(ConstPage page) { return directoryStartOf(page.size()); }

// Externally stored parts of a column (BLOB pages): part length, next page, then the bytes.
inline constexpr std::size_t kBlobPartLength = kFilPageData; // 4
inline constexpr std::size_t kBlobNextPage = kFilPageData + 4; // 4, kFilNull ends the chain
inline constexpr std::size_t kBlobHeaderSize = 4 + 4;
inline constexpr std::size_t kBlobData = kFilPageData + kBlobHeaderSize; // 46

// Fixed pages of the system tablespace: the same numbers at every page size (fsp0types.h).
inline constexpr std::uint32_t kFspHeaderPage = 0;
inline constexpr std::uint32_t kDictionaryHeaderPage = 7;
inline constexpr std::size_t kFspSpaceFlags = kFilPageData + 16; // 4: FSP flags on page 0
inline constexpr std::size_t kDictHeaderTablesRoot = kFilPageData + 32; // 4: SYS_TABLES root
inline constexpr std::size_t kDictHeaderColumnsRoot = kFilPageData + 40; // 4: SYS_COLUMNS root
inline constexpr std::size_t kDictHeaderIndexesRoot = kFilPageData + 44; // 4: SYS_INDEXES root
inline constexpr std::size_t kDictHeaderFieldsRoot = kFilPageData + 48; // 4: SYS_FIELDS root
inline constexpr std::uint32_t kDefaultTablesRoot = 8;
inline constexpr std::uint32_t kDefaultColumnsRoot = 10;
inline constexpr std::uint32_t kDefaultIndexesRoot = 11;
inline constexpr std::uint32_t kDefaultFieldsRoot = 12;

// Index ids of the dictionary's own clustered indexes; fixed since the first InnoDB.
inline constexpr std::uint64_t kSysTablesIndexId = 1;
inline constexpr std::uint64_t kSysColumnsIndexId = 2;
inline constexpr std::uint64_t kSysIndexesIndexId = 3;
inline constexpr std::uint64_t kSysFieldsIndexId = 4;

// In a file-per-table .ibd the clustered index root is always page 3 (MySQL 8.0 excepted).
inline constexpr std::uint32_t kIbdClusteredRoot = 3;

// The one big-endian conversion of the program: 1 to 8 bytes, most significant first.
inline std::uint64_t readBigEndian(ConstPage page, std::size_t offset, std::size_t width)
{
    return common::readBigEndianUnchecked(page.data() + offset, width);
}

inline std::uint16_t readUint16(ConstPage page, std::size_t offset)
{
    return static_cast<std::uint16_t>(readBigEndian(page, offset, 2));
}
inline std::uint32_t readUint32(ConstPage page, std::size_t offset)
{
    return static_cast<std::uint32_t>(readBigEndian(page, offset, 4));
}
inline std::uint64_t readUint64(ConstPage page, std::size_t offset)
{
    return readBigEndian(page, offset, 8);
}

inline std::uint32_t pageNumberOf(ConstPage page) { return readUint32(page, kFilPageOffset); }
inline std::uint32_t previousPageOf(ConstPage page) { return readUint32(page, kFilPagePrev); }
inline std::uint32_t nextPageOf(ConstPage page) { return readUint32(page, kFilPageNext); }
inline std::uint64_t pageLsnOf(ConstPage page) { return readUint64(page, kFilPageLsn); }
inline std::uint16_t pageTypeOf(ConstPage page) { return readUint16(page, kFilPageType); }
inline std::uint32_t spaceIdOf(ConstPage page) { return readUint32(page, kFilPageSpaceId); }
inline std::uint16_t heapTopOf(ConstPage page) { return readUint16(page, kPageHeapTopAt); }
inline std::uint16_t recordCountOf(ConstPage page) { return readUint16(page, kPageNRecsAt); }
inline std::uint16_t pageLevelOf(ConstPage page) { return readUint16(page, kPageLevelAt); }
inline std::uint64_t indexIdOf(ConstPage page) { return readUint64(page, kPageIndexIdAt); }

// Bit 15 of PAGE_N_HEAP tells new-style (COMPACT, DYNAMIC) from old-style (REDUNDANT) records.
inline bool isCompactPage(ConstPage page) { return (readUint16(page, kPageNHeapAt) & 0x8000) != 0; }

// B-tree pages: ordinary ones and MariaDB's instant-ALTER clustered root.
inline bool isIndexPage(ConstPage page)
{
    const auto type = pageTypeOf(page);
    return type == kFilPageTypeIndex || type == kFilPageTypeInstant;
}

// The first user record's origin: the infimum's next-record field, relative in new-style
// pages and absolute in old-style ones. On a page without user records this is the supremum;
// on a damaged page it can be anything, so callers bound it before use.
inline std::size_t firstRecordOrigin(ConstPage page)
{
    if (isCompactPage(page)) {
        const auto relative = readUint16(page, kPageNewInfimum - 2);
        return (kPageNewInfimum + relative) & 0xFFFF;
    }
    return readUint16(page, kPageOldInfimum - 2);
}

} // namespace innodb

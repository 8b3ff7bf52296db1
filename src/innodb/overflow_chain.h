// ReadOverflowChain: the part of an externally stored column that lives on BLOB pages, each page
// verified as strictly as a leaf page before a byte of it is taken.
#pragma once

#include "innodb/long_value_store.h"
#include "innodb/page_layout.h"
#include "innodb/page_source.h"

#include <cstdint>
#include <string>

namespace innodb {

// The 20-byte reference at the end of an externally stored field (btr0cur.h, BTR_EXTERN_*):
//   +0  space id (4)   +4  first page (4)   +8  offset of the data header on it (4, = 38)
//   +12 length (8): the external part's byte count in the low 32 bits; the first byte carries
//       the owner (0x80 clear) and inherited (0x40) flags
inline constexpr std::size_t kExternReferenceSize = 20;
inline constexpr std::size_t kExternSpaceId = 0;
inline constexpr std::size_t kExternPageNumber = 4;
inline constexpr std::size_t kExternLength = 12;

// Page types of externally stored parts (fil0fil.h). Compressed tables keep theirs as zlib
// streams in pages of type 11 (first) and 12 (the rest): never to be read as plain bytes.
inline constexpr std::uint16_t kFilPageTypeZBlob = 11;
inline constexpr std::uint16_t kFilPageTypeZBlob2 = 12;
// MySQL 8.0's LOB format: index, data and first pages; and its compressed forms
// (ROW_FORMAT=COMPRESSED tables): first page, data, fragment.
inline constexpr std::uint16_t kFilPageTypeLobIndex = 22;
inline constexpr std::uint16_t kFilPageTypeLobData = 23;
inline constexpr std::uint16_t kFilPageTypeLobFirst = 24;
inline constexpr std::uint16_t kFilPageTypeZLobFirst = 25;
inline constexpr std::uint16_t kFilPageTypeZLobData = 26;
inline constexpr std::uint16_t kFilPageTypeZLobFragment = 27;

// What the chain's pages must say about themselves.
struct OverflowExpectation
{
    std::uint32_t spaceId = 0; // the reference's space id: every page's FIL header must repeat it
    // InnoDB before 5.1.7 wrote no page types: its BLOB pages carry type 0 (allocated). Only in a
    // tablespace of that age is type 0 accepted; anywhere else it means the chain points at a
    // page that holds no part of this value.
    bool untypedBlobPages = false;
    // The type the chain's pages carry: BLOB pages, or those of another index that keeps its
    // values in the same chain (MySQL 8's SDI BLOB pages).
    std::uint16_t blobPageType = kFilPageTypeBlob;
};

struct OverflowResult
{
    std::uint64_t bytesRead = 0;
    bool complete = false; // every expected byte was found on pages that passed every check
    // The chain held more than the expected length: a part left unread, or a next page after the
    // last one wanted. A server never writes such a chain, so the length or the first page the
    // reference gives is not the value's.
    bool overran = false;
    // Why the chain ended early, naming the page: "overflow page 812 is damaged (...)". Empty
    // when complete.
    std::string damage;
};

// Why a page of an external value's chain (read as number `number`, called `name` in messages)
// cannot hold a part of it: a failing checksum, another page's number, another space's id. Empty
// when it passes; its page type is the caller's to check.
std::string chainPageRefusal(ConstPage page, const PageRead &read, std::uint32_t number,
    std::uint32_t spaceId, const std::string &name);

// Appends the external part of a value to `writer`, following the chain from `firstPage` until
// `expectedLength` bytes are read. A page is taken only when its checksum (any algorithm the page
// checker knows) matches, its FIL header names itself and the expected space, and it is a BLOB
// page; the chain ends early, with complete = false and the reason in `damage`, at the first page
// that fails, lies outside the file, was seen before, or holds an impossible part length, or when
// the chain ends short. Bytes of a failing page are never appended, so whatever was appended is
// the value's true beginning. A chain that runs past the expected length is cut there, and
// `overran` says so.
OverflowResult ReadOverflowChain(PageSource &pages, const OverflowExpectation &expectation,
    std::uint32_t firstPage, std::uint64_t expectedLength, LongValueWriter &writer);

// Whether `pages` is a tablespace old enough to hold BLOB pages of type 0: its page 0, the FSP
// header, carries type 0 instead of 8 (written before InnoDB 5.1.7). A page 0 that cannot be read
// or fails its checks cannot tell; it counts as old, as refusing would lose every long value of an
// old file whose first page is damaged, and each chain page must still pass its checksum and name
// itself.
bool holdsUntypedBlobPages(PageSource &pages);

} // namespace innodb

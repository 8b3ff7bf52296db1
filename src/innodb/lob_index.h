// The LOB format of MySQL 8.0: an externally stored value whose first page (type 24) holds an
// index of entries, one per piece, each naming the page that holds it (the first page itself, or
// a data page of type 23); entries beyond the first page's ten live on index pages (type 22).
// Older versions of an updated piece hang off each entry; the current value is the main list.
//
// Offsets (lob0first.h, lob0index.h, lob0data.h), from the FIL header's end (38):
//   first page: +0 version (1), +1 flags (1), +2 LOB version (4), +6 last trx (6), +12 last undo
//     number (4), +16 bytes of data on this page (4), +20 creator trx (6), +26 index list base
//     node (16: length 4, first and last entry as page 4 + offset 2), +42 free entry list (16),
//     +58 ten index entries of 60 bytes, then the data
//   index entry: +0 previous (6), +6 next (6), +12 versions list (16), +28 trx (6), +34 modifier
//     trx (6), +40 undo number (4), +44 modifier undo number (4), +48 page (4), +52 data length
//     (2 of a 4-byte slot), +56 LOB version (4)
//   data page: +0 version (1), +1 data length (4), +5 trx (6), +11 the data
#pragma once

#include "innodb/long_value_store.h"
#include "innodb/overflow_chain.h"
#include "innodb/page_source.h"

#include <cstdint>

namespace innodb {

// Appends the value that starts at `firstPage`, a page of type 24, to `writer`, with the checks
// and the outcome of ReadOverflowChain: every page must pass its checksum and name itself, its
// space and its type; an entry list that loops, leaves the file or ends short ends the value
// early, and only bytes of pages that passed are appended.
OverflowResult ReadLobValue(PageSource &pages, const OverflowExpectation &expectation,
    std::uint32_t firstPage, std::uint64_t expectedLength, LongValueWriter &writer);

} // namespace innodb

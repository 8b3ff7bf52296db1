// ReadOverflowChain: the part of an externally stored column that lives on BLOB pages.
#pragma once

#include "innodb/long_value_store.h"
#include "innodb/page_source.h"

#include <cstdint>

namespace innodb {

// The 20-byte reference at the end of an externally stored field (btr0cur.h, BTR_EXTERN_*):
//   +0  space id (4)   +4  first page (4)   +8  offset of the data header on it (4, = 38)
//   +12 length (8): the external part's byte count in the low 32 bits; the first byte carries
//       the owner (0x80 clear) and inherited (0x40) flags
inline constexpr std::size_t kExternReferenceSize = 20;
inline constexpr std::size_t kExternPageNumber = 4;
inline constexpr std::size_t kExternLength = 12;

struct OverflowResult
{
    std::uint64_t bytesRead = 0;
    bool complete = false; // every expected byte was found
};

// Appends the external part of a value to `writer`, following the chain from `firstPage` until
// `expectedLength` bytes are read. Ends early, with complete = false, at a page that cannot be
// read, a part length that does not fit a page, a page seen before, or a chain that ends short;
// a chain that runs past the expected length is cut there.
OverflowResult ReadOverflowChain(PageSource &pages, std::uint32_t firstPage,
    std::uint64_t expectedLength, LongValueWriter &writer);

} // namespace innodb

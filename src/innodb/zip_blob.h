// The external part of a column of a ROW_FORMAT=COMPRESSED table (btr0cur.cc,
// btr_copy_zblob_prefix()): one zlib stream across a chain of compressed BLOB pages, the first of
// type 11, the others 12. Each page holds the next page's number at FIL_PAGE_NEXT (12) and its
// part of the stream from the end of the FIL header to the end of the compressed page.
#pragma once

#include "innodb/long_value_store.h"
#include "innodb/overflow_chain.h"
#include "innodb/page_source.h"

#include <cstdint>

namespace innodb {

// Appends the inflated value to `writer`, following the chain from `firstPage` until
// `expectedLength` bytes are out. Ends early, with complete = false and the reason in `damage`,
// at a page that cannot be read, fails its checksum, does not name itself and the expected
// space, or is not a compressed BLOB page, a page seen before, a stream that does not inflate,
// or a chain or stream that ends short.
OverflowResult readCompressedBlob(PageSource &pages, const OverflowExpectation &expectation,
    std::uint32_t firstPage, std::uint64_t expectedLength, LongValueWriter &writer);

} // namespace innodb

// Salvage: the rows of a leaf page that failed its checksum, as far as its records still prove
// themselves.
//
// A page with a few garbled byte runs mostly holds records that are whole, but the checksum
// cannot say which. A record counts only when every structural check the decoder has passes:
// its place in the record heap (below PAGE_HEAP_TOP, a heap number below PAGE_N_HEAP), a sane
// header, lengths its columns allow, values possible for their types, a key in the page's key
// order and inside the bounds its parent gives, and overflow pages that give its long values
// whole. The walk follows the record chain from the infimum; where the chain breaks, the heap is
// scanned for record starts, and a record found that way counts only when its own next-record
// link leads, through records that count, to the supremum.
//
// A record can pass all of that and still hold a garbled value, when a byte run fell inside its
// data only: nothing on the page bounds where such a run lies, so no row of a page that failed
// its checksum is passed as good. Each carries a doubt that says why, the most telling first: its
// neighbouring bytes on the page are unexplained (a broken record, a gap in the heap), its text is
// not well formed in its character set, or else only that its page failed its checksum. Its long
// values are read more strictly than an intact row's: the external reference, which the checksum
// no longer vouches for, must name the page's own tablespace and a chain that ends where its
// length says. What a caller does with the rows is its own affair; they never belong among the
// rows of intact pages.
#pragma once

#include "innodb/decoded_row.h"
#include "innodb/index_tree.h"

#include <cstdint>
#include <string>

namespace innodb {

struct SalvageCounts
{
    std::uint64_t pages = 0; // pages walked
    std::uint64_t rowsSalvaged = 0; // rows handed on, doubtful ones included
    std::uint64_t rowsDoubtful = 0; // of them, rows handed on with a doubt
    std::uint64_t foundByScan = 0; // of them, records found past a break in the chain
    std::uint64_t recordsRejected = 0; // records reached through the chain that failed a check
    std::uint64_t deleteMarkedSkipped = 0;
    std::uint64_t rowsWithDamagedLongValues = 0; // whole records whose long value is not
    std::uint64_t rowsAlreadyRecovered = 0; // keys an intact page or earlier salvage gave
    std::uint64_t chainsComplete = 0; // pages whose chain reached the supremum

    SalvageCounts &operator+=(const SalvageCounts &other);
};

// Where salvaged rows go. The row is valid during the call only, as for RowSink.
class SalvageSink
{
public:
    virtual ~SalvageSink() = default;
    // `doubt` is empty only when the row passed every check on a page that passes its checksum
    // (salvaged for a structural fault); otherwise it says why its values may be wrong.
    virtual void salvagedRow(const DecodedRow &row, const std::string &doubt) = 0;
};

} // namespace innodb

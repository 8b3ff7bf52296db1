// Where a table's rows were lost, as key ranges: what the report can still say about rows that
// are gone (whose objects they belonged to) when the pages that held them cannot be read.
//
// Two kinds of evidence. A child page the tree cannot reach lies between the keys its parent's
// node pointers give (index_tree.h's damaged ranges). A leaf the tree reaches but whose bytes
// fail their checks lies between the last row read before it and the first row read after it,
// since the tree's leaves are read in key order.
#pragma once

#include "innodb/index_tree.h"
#include "innodb/row_sink.h"

#include <optional>
#include <vector>

namespace innodb {

// Between the decoder and the caller's sink while a table's tree pages are read in key order:
// notes the keys around each leaf that is left out.
class LostRangeTrail : public RowSink
{
public:
    explicit LostRangeTrail(RowSink &next)
        : m_next(next)
    {
    }

    // The leaf about to be read is left out: its rows lie after the last key seen.
    void pageLost();
    void acceptRow(const DecodedRow &row) override;
    void rowLeftOut(const DecodedRow &row) override;
    // The ranges of the leaves left out; a gap still open at the end runs to the last key.
    std::vector<KeyRange> take();

private:
    void seen(const KeyBytes &key);

    RowSink &m_next;
    std::optional<KeyBytes> m_lastKey;
    std::optional<KeyRange> m_open;
    std::vector<KeyRange> m_ranges;
};

// The unsigned value of an integer key field as InnoDB stores it (big-endian, the sign bit of a
// signed type inverted); nullopt when the field is not 1 to 8 bytes.
std::optional<std::uint64_t> keyFieldNumber(const KeyBytes &key, std::size_t field, bool isSigned);

} // namespace innodb

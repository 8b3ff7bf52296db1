// LandedRows and DatabaseCopy: a second home for the rows that land in the rebuilt tables (the
// portable dump), fed while the rows are inserted, so that it costs no second pass over the data.
#pragma once

#include "innodb/decoded_row.h"

#include <cstddef>
#include <cstdint>

namespace job {

// Told of every row a table writer is about to send and, later, of its fate. A writer sends in
// batches and learns a batch's fate at once, so rows are staged first and settled in the order
// they were staged.
class LandedRows
{
public:
    virtual ~LandedRows() = default;
    // A row that goes out with the next statement; the copy keeps what it needs of it now (the
    // row is valid only during this call).
    virtual void stage(const innodb::DecodedRow &row) = 0;
    // The oldest `count` staged rows are in the table (`landed`) or were refused.
    virtual void settle(std::size_t count, bool landed) = 0;
};

// The whole rebuilt database as the data pass goes through it, one table after the other.
class DatabaseCopy
{
public:
    virtual ~DatabaseCopy() = default;
    // The pass reaches `table`, created in the rebuild; its rows follow through the answer, which
    // stays valid until endTable.
    virtual LandedRows &beginTable(const frm::FrmTableEntry &table) = 0;
    // The table's last row has been settled; `rowsInserted` is the writer's own count.
    virtual void endTable(const frm::FrmTableEntry &table, std::uint64_t rowsInserted) = 0;
};

} // namespace job

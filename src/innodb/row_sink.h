// RowSink: where the record decoders hand each decoded row (the job connects it to the insertion
// code, dump-rows to a TSV file, tests to a vector).
#pragma once

#include "innodb/decoded_row.h"

namespace innodb {

class RowSink
{
public:
    virtual ~RowSink() = default;
    virtual void acceptRow(const DecodedRow &row) = 0;
    // A sound record whose row is left out because one of its long values cannot be read whole:
    // `row.key` and `row.damage` are set, its values are not to be used.
    virtual void rowLeftOut(const DecodedRow &row) { (void)row; }
};

} // namespace innodb

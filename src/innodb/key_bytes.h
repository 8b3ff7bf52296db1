// KeyBytes: a record's clustered key as stored, the unit in which rows of different pages are
// matched up (the tree walk's ranges, the choice between two copies of one row).
#pragma once

#include <cstdint>
#include <vector>

namespace innodb {

// The stored bytes of each key field of one record, in key order. For a table without a primary
// key the one field is the 6-byte DB_ROW_ID.
using KeyBytes = std::vector<std::vector<std::uint8_t>>;

} // namespace innodb

// The keys of a definition file: the key block's entries, parts, names and comments, the prefix
// lengths CREATE TABLE names, and the key InnoDB clusters the rows on.
#pragma once

#include "common/result.h"
#include "frm/frm_bytes.h"
#include "frm/table_definition.h"

#include <cstddef>

namespace frm {

// Appends the keys of the block at `block` to table.keys. Corruption when an entry or a name
// leaves the file or a part names a column the table lacks.
common::Status readKeys(
    const FrmBytes &file, std::size_t block, FrmTableEntry &table, std::size_t columnCount);

// Prefix parts: always for BLOB and TEXT (not in a spatial key), and for a string part shorter
// than its column. The length is stored in bytes; CREATE TABLE counts characters.
void setPrefixLengths(FrmTableEntry &table);

// InnoDB clusters on the primary key; without one, on the first unique key whose columns are all
// NOT NULL and taken whole (the server promotes that key); -1 when the rows carry a hidden row
// id instead.
int findClusteredKey(const FrmTableEntry &table);

} // namespace frm

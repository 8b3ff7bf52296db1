// The column records of a definition file: type, length, flags and character set of each column,
// what MariaDB's extra2 segment adds to them, and their DEFAULT from the default record.
#pragma once

#include "frm/extra2_segment.h"
#include "frm/frm_bytes.h"
#include "frm/table_definition.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace frm {

struct ColumnContext
{
    // A file of MySQL 4.1 or 5.0.0-5.0.2: a column's character set is byte 14 alone, and 0 there
    // means binary.
    bool earlyGeneration = false;
    std::uint32_t serverVersion = 0;
    const Extra2Segment *extra2 = nullptr;
};

// Column number `index` from the 17-byte record at `record`.
ColumnDef readColumn(
    const FrmBytes &file, std::size_t record, std::size_t index, const ColumnContext &context);

// The default record: the server's own image of a row holding every column's default.
struct DefaultRecord
{
    std::size_t offset = 0;
    std::size_t length = 0;
};

// The DEFAULT of `column` from the default record. The null bits come first in the record, one
// per nullable column in column order: `nullBit` counts them across calls.
void setDefault(ColumnDef &column, const FrmBytes &file, const DefaultRecord &record,
    std::size_t recordOffset, std::size_t &nullBit);

// Why this program cannot lay out or rebuild `column`, naming its type code; empty when it can.
std::string unreadableColumnReason(const ColumnDef &column);

} // namespace frm

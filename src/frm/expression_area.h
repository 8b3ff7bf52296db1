// MariaDB's expression area (10.2+), after the column comments: the text of generated columns,
// DEFAULT expressions and CHECK constraints, as the server printed them.
#pragma once

#include "common/result.h"
#include "frm/frm_bytes.h"
#include "frm/table_definition.h"

#include <cstdint>
#include <string>
#include <vector>

namespace frm {

// enum_vcol_info_type (field.h).
enum class ExpressionKind : std::uint8_t {
    Virtual = 0, // GENERATED ALWAYS AS (...) VIRTUAL
    Stored = 1, // GENERATED ALWAYS AS (...) STORED
    Default = 2, // DEFAULT (...)
    ColumnCheck = 3, // a column's CHECK (...)
    TableCheck = 4, // CONSTRAINT name CHECK (...)
    LongUniqueHash = 5, // the hidden hash column of a long UNIQUE key
};

struct Expression
{
    ExpressionKind kind = ExpressionKind::Default;
    std::uint16_t column = 0; // 0-based; 0xFFFF for a table's own constraint
    std::string name; // the column's, or the constraint's
    std::string text;
};

inline constexpr std::uint16_t kNoColumn = 0xFFFF;

// The `length` bytes at `offset`: a 16-byte header, then per expression its kind (1), column
// (LE16), text length (LE16), name length (1), name, text. Corruption when one leaves the area
// or names a kind this program does not know.
common::Result<std::vector<Expression>> readExpressions(
    const FrmBytes &file, std::size_t offset, std::size_t length);

// Puts the expressions into `table`: generated columns, DEFAULT (...) values, column and table
// CHECK constraints, the long UNIQUE key's hidden hash column. Corruption when one names a
// column the table lacks.
common::Status applyExpressions(FrmTableEntry &table, const std::vector<Expression> &expressions);

} // namespace frm

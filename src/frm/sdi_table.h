// The table definition a MySQL 8 server keeps in each .ibd as SDI (its data dictionary's JSON of
// the table), read into the same FrmTableEntry a .frm file gives, so that the record layout, the
// CREATE TABLE text, the rebuild and the report do not care which source a definition came from.
//
//   auto table = frm::tableFromSdi(record.json, "stores.ibd", "zarafa/stores");
//
// The JSON follows the server's dd::Table serialisation (sql/dd/impl/types/*_impl.cc, serialize):
// columns with the dictionary's own type numbers (dd::enum_column_types), lengths in bytes,
// collation ids, defaults both as the row image and as text; indexes with the elements of every
// index field, hidden ones included, and InnoDB's root page and index id in se_private_data.
#pragma once

#include "common/result.h"
#include "frm/table_definition.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace frm {

// Why a table whose columns MySQL 8 changed in place (ALGORITHM=INSTANT) is not read: its
// records hold different sets of columns, and the definition alone does not say which record
// holds which. Since 8.0.29 each record names its row version; before, records written after an
// ADD COLUMN carry their field count.
inline constexpr std::string_view kRowVersionsRefusal
    = "its records carry row versions of columns that MySQL 8.0.29 or later added or dropped in "
      "place (ALGORITHM=INSTANT), which this program does not read";
inline constexpr std::string_view kInstantAddRefusal
    = "columns were added to it in place by MySQL 8 (ALGORITHM=INSTANT), so that its records "
      "hold different numbers of columns, which this program does not read";

// The MySQL field type (MYSQL_TYPE_*) of a dictionary column type number; nothing for a number
// this program does not know (a type of a later server).
std::optional<std::uint8_t> fieldTypeOfDictionaryType(std::uint32_t dictionaryType);

// The table of one SDI record of type 1. NotSupported naming the reason for a table this program
// cannot rebuild (another engine, a column type it does not know, a partitioned table);
// Corruption when the text is not a table's SDI.
common::Result<FrmTableEntry> tableFromSdi(
    std::string_view json, const std::string &fileName, const std::string &dictionaryName);

// The value of one key of an se_private_data text ("id=202;root=4;space_id=27;"), if present.
std::optional<std::uint64_t> privateDataValue(std::string_view text, std::string_view key);

} // namespace frm

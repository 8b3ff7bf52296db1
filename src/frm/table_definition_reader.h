// Reads one .frm table definition file into a FrmTableEntry: header checks, keys, columns, the
// default values and the record order InnoDB stores the columns in.
//
//   auto table = frm::readTableDefinition(folder + "/Zarafa/stores.frm", "stores.frm",
//                                          "zarafa/stores");
//   if (!table) {
//       switch (frm::definitionProblem(table.error())) { ... }
//   }
//
// Both layouts are read: MySQL's (key block at 4096, form information at the dword at 67) and
// MariaDB 10's (an "extra2" segment after the header moves both), by following the header's own
// offsets rather than fixed ones; and both generations of MySQL's: 4.1 and 5.0.0-5.0.2 files lack
// the format mark 5 of later ones.
#pragma once

#include "common/byte_reader.h"
#include "common/result.h"
#include "frm/table_definition.h"

#include <optional>
#include <string>
#include <string_view>

namespace frm {

// Why a file gave no table. The definition pass ends the whole job for the first two (messages 107
// and 114) and skips the file for the others.
enum class DefinitionProblem {
    WrongVersion, // neither MySQL 4.1+ nor MariaDB wrote it
    NotInnoDb, // a valid definition of a table of another engine
    Unsupported, // a table of a type or feature this program cannot rebuild: named in the message
    View, // a view's definition: no table, no rows
    Unreadable, // the file cannot be opened or read
    Damaged, // truncated, garbage, or offsets that point outside the file
};

// The messages of those errors (ErrorKind::NotSupported) that tell them apart.
inline constexpr std::string_view kWrongFormatMark = "format mark is not 5";
inline constexpr std::string_view kOtherEngine = "table engine is ";
inline constexpr std::string_view kNotATable = "a view, not a table";
// A view's definition is text that starts so.
inline constexpr std::string_view kViewMark = "TYPE=VIEW";

DefinitionProblem definitionProblem(const common::Error &error);

// Reads the file at `path`, read-only and whole. `fileName` (e.g. stores.frm) and `dictionaryName`
// (e.g. zarafa/stores) are copied into the entry.
common::Result<FrmTableEntry> readTableDefinition(
    const std::string &path, const std::string &fileName, const std::string &dictionaryName);

// The same from the file's bytes.
common::Result<FrmTableEntry> parseTableDefinition(
    common::Bytes bytes, const std::string &fileName, const std::string &dictionaryName);

// What follows from a table's columns and keys, whatever described them: prefix lengths, the
// key summary, the clustered key, the record order and the key clauses. `clusteredKey` is the key
// InnoDB clusters on when the definition names it; without it, the key is found as the server
// chooses.
void completeTableModel(FrmTableEntry &table, std::optional<int> clusteredKey = std::nullopt);

// The table name of a definition file name: without ".frm", with the server's @xxxx encoding of
// special characters decoded to UTF-8 ("odd@0020names.frm" -> "odd names").
std::string tableNameFromFileName(std::string_view fileName);

} // namespace frm

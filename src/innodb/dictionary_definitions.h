// Table definitions from InnoDB's data dictionary, for tables whose .frm file is lost or
// unreadable: SYS_TABLES, SYS_COLUMNS, SYS_INDEXES and SYS_FIELDS give the same table model the
// .frm reader gives (columns in order with their types, lengths, character sets and nullability,
// and the keys), so decoding, the CREATE TABLE text and the rebuild do not know the difference.
//
// What the dictionary never held is not guessed: column defaults, AUTO_INCREMENT, comments,
// ENUM and SET members, DECIMAL precision and display widths. Defaults and AUTO_INCREMENT are
// named in each table's definitionNotes (the rebuilt table takes the server's defaults); a column
// whose bytes cannot be laid out without what is missing (ENUM, SET, DECIMAL) makes its table
// unsupported, with the reason.
#pragma once

#include "common/result.h"
#include "frm/table_definition.h"
#include "innodb/dictionary.h"
#include "innodb/dictionary_columns.h"

#include <string>
#include <string_view>
#include <vector>

namespace innodb {

// One table of the dictionary: its definition, or why none can be given.
struct DictionaryDefinition
{
    std::string dictionaryName; // "zarafa/stores", as stored
    frm::FrmTableEntry table; // source Dictionary; empty when `unsupported` is set
    std::string unsupported; // "column x has ENUM values the dictionary does not keep"
    std::uint32_t space = 0; // 0 = ibdata1, else the table's own .ibd
};

// The column of the table model for one SYS_COLUMNS record; `unsupported` gets the reason when
// the dictionary cannot say how its values are laid out.
frm::ColumnDef columnFromDictionary(const DictionaryColumn &column, std::string &unsupported);

// Every table named "<database>/..." (letter case ignored) in the dictionary, in dictionary order.
std::vector<DictionaryDefinition> definitionsFromDictionary(const Dictionary &tables,
    const DictionaryColumns &columns, std::string_view database = "zarafa");

struct DictionaryDefinitions
{
    std::vector<DictionaryDefinition> tables;
    std::vector<std::string> problems; // damage met in the dictionary's pages, one line each
};

// Opens the system tablespace at `path` read-only and reads the definitions of `database` from
// its dictionary, by walking the dictionary's own trees. Corruption when the file cannot be read
// as a tablespace or its dictionary gives no table or column record.
common::Result<DictionaryDefinitions> readDictionaryDefinitions(
    const std::string &path, std::string_view database = "zarafa",
    const std::function<bool()> &stopRequested = {});

} // namespace innodb

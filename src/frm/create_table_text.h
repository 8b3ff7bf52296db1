// The CREATE TABLE statement that rebuilds a table from its definition: every column written the
// way the server's own SHOW CREATE TABLE names its type, every key by its own kind, identifiers
// quoted.
#pragma once

#include "frm/table_definition.h"

#include <string>
#include <string_view>

namespace frm {

// `name` in backticks, a backtick inside doubled: no name read from a file can end the identifier.
std::string quoteIdentifier(std::string_view name);

// "`id` int(10) unsigned NOT NULL AUTO_INCREMENT", "`name` varchar(255) NOT NULL DEFAULT ''".
std::string columnClause(const FrmTableEntry &table, const ColumnDef &column);

// "PRIMARY KEY (`a`,`b`)", "UNIQUE KEY `k` (`c`(16))", "KEY `k` (`d`)".
std::string keyClause(const FrmTableEntry &table, const KeyDef &key);

// The whole statement: "create table `t` (columns,keys)ENGINE=myisam charset = utf8". The table is
// created as MyISAM for the fast fill and switched to InnoDB once its rows are in.
std::string createTableText(const FrmTableEntry &table);

// The column, key and CHECK clauses of the statement, joined by `separator`; columns the server
// makes itself (the hash of a long unique key) are left out.
std::string tableElementsText(const FrmTableEntry &table, std::string_view separator);

// The table options after the engine and character set, each with a blank before it:
// " MAX_ROWS=1000000000 AVG_ROW_LENGTH=1750 COMMENT='...'"; empty when there are none.
std::string tableOptionsText(const FrmTableEntry &table);

} // namespace frm

// The SQL text of the portable dump: statements that MySQL 5.0 through 8.4 and MariaDB 5.5
// through 11 all load, the constructs it must never hold, and the comment lines that let a
// reader (the put-back) check it is whole.
//
//     out << dumpHeader({ "zarafa", "/srv/damaged", "2026-12-08 04:53:05" });
//     out << portableCreateTable(table) << ";\n";
//     out << insertHead(table) << "(1,0x41),(2,'')" << ";\n";
//     out << tableRowsLine("acl", 2) << dumpTrailer(1, 2);
#pragma once

#include "frm/table_definition.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace job {

// A text the dump must never hold, and the servers that would refuse it.
struct ForbiddenConstruct
{
    std::string_view text; // compared ignoring case
    std::string_view why;
};

// Every construct of the list, checked by the writer on each statement it makes and by the
// tests on a whole dump.
std::span<const ForbiddenConstruct> forbiddenConstructs();

// The first construct of the list that `text` holds, or nothing.
std::optional<ForbiddenConstruct> findForbiddenConstruct(std::string_view text);

struct DumpDescription
{
    std::string database = "zarafa"; // created and selected at the top
    std::string sourceFolder; // the damaged data folder, for the first lines
    std::string written; // "2026-12-08 04:53:05 UTC"
};

// The first line of every dump this program writes; a reader checks it before anything else.
inline constexpr std::string_view kDumpFirstLine = "-- zarafa-repair SQL dump, format 1";
// "-- Rows of table `acl`: 17", after the table's last INSERT.
inline constexpr std::string_view kTableRowsPrefix = "-- Rows of table ";
// "-- Dump complete: 27 tables, 6012 rows", the last line: a dump without it was cut short.
inline constexpr std::string_view kDumpCompletePrefix = "-- Dump complete: ";

// The comment lines, the session settings (each in a version comment every server reads:
// SET NAMES utf8, UTC for TIMESTAMP values, NO_AUTO_VALUE_ON_ZERO so that a stored 0 stays 0,
// strict so that a value the target would bend stops the load instead), CREATE DATABASE IF NOT
// EXISTS and USE.
std::string dumpHeader(const DumpDescription &description);

// "CREATE DATABASE IF NOT EXISTS `zarafa` /*!40100 DEFAULT CHARACTER SET utf8 */;" and
// "USE `zarafa`;", each with its line break. The reader renames the database by these.
std::string createDatabaseStatement(std::string_view database);
std::string useStatement(std::string_view database);

// The table as its definition gives it, as InnoDB, in the forms every server version takes:
// CURRENT_TIMESTAMP without parentheses, character sets by their old names. No ";".
std::string portableCreateTable(const frm::FrmTableEntry &table);

// "INSERT INTO `t` (`a`,`b`) VALUES " for the rows of `table`, each a "(...)" after it.
std::string insertHead(const frm::FrmTableEntry &table);

// The strictness is lifted around a row that holds a value a strict server refuses to store
// though its own table held it (an ENUM's empty error value), as the rebuild did for it.
inline constexpr std::string_view kLenientModeStatement
    = "/*!40101 SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;\n";
inline constexpr std::string_view kStrictModeStatement
    = "/*!40101 SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO,STRICT_ALL_TABLES' */;\n";

std::string tableRowsLine(std::string_view tableName, std::uint64_t rows);
// The session settings put back, then the completion line.
std::string dumpTrailer(std::uint64_t tables, std::uint64_t rows);

// A text made safe for a "--" comment line: no line break or other control byte can end it.
std::string commentText(std::string_view text);

} // namespace job

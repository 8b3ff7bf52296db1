#include "job/portable_sql.h"

#include "frm/charset.h"
#include "frm/column_type.h"
#include "frm/create_table_text.h"
#include "job/folder_listing.h"

#include <array>

namespace job {

namespace {

// What a dump of MariaDB's own tools holds and older servers or MySQL's client refuse. Only
// /*!40... version comments are used: every server since 4.0 runs them, where /*!1... (MariaDB's
// six-digit versions) is misread by MySQL and /*!8... skipped by everything older.
constexpr std::array kForbidden = {
    ForbiddenConstruct { "/*M!",
        "a MariaDB-only comment (the sandbox line): MySQL's client "
        "rejects the file" },
    ForbiddenConstruct { "utf8mb3", "MySQL before 8.0 and MariaDB before 10.6 do not know it" },
    ForbiddenConstruct { "current_timestamp()", "MySQL 5.0 to 5.5 refuse the parentheses" },
    ForbiddenConstruct { "SET NAMES utf8mb4", "servers before MySQL 5.5.3 refuse it" },
    ForbiddenConstruct { "CREATE OR REPLACE", "MariaDB only" },
    ForbiddenConstruct { "PAGE_CHECKSUM", "an Aria option, MariaDB only" },
    ForbiddenConstruct { "TRANSACTIONAL=", "an Aria option, MariaDB only" },
    ForbiddenConstruct { "ENGINE=Aria", "MariaDB only" },
    ForbiddenConstruct { "SYSTEM VERSIONING", "MariaDB 10.3 and later only" },
    ForbiddenConstruct { "DEFINER=", "names an account the target may not have; needs SUPER" },
    ForbiddenConstruct { "_uca1400_", "collations of MariaDB 10.10 and later" },
    ForbiddenConstruct { "_0900_", "collations of MySQL 8.0 and later" },
    ForbiddenConstruct { "/*!1", "a six-digit MariaDB version comment that MySQL misreads" },
    ForbiddenConstruct { "/*!8", "skipped by every server before MySQL 8.0" },
    ForbiddenConstruct { "/*!5", "only /*!40... comments are read by every server" },
};

// MariaDB's definition files name the function with parentheses ("current_timestamp()"); the
// older servers take it only bare. A fraction ("(6)") needs a server that has fractions anyway.
std::optional<std::string> portableDefault(const std::optional<std::string> &value)
{
    if (!value) {
        return value;
    }
    constexpr std::string_view kFunction = "current_timestamp(";
    if (value->size() < kFunction.size() + 1
        || !equalsIgnoringCase(std::string_view(*value).substr(0, kFunction.size()), kFunction)
        || value->back() != ')') {
        return value;
    }
    const std::string digits
        = value->substr(kFunction.size(), value->size() - kFunction.size() - 1);
    return digits.empty() || digits == "0" ? std::string("CURRENT_TIMESTAMP")
                                           : "CURRENT_TIMESTAMP(" + digits + ")";
}

std::string tableCharsetOption(std::uint16_t charset)
{
    const frm::Collation *collation = frm::findCollation(charset);
    if (!collation || charset == frm::kCharsetBinary) {
        return {};
    }
    std::string option = " DEFAULT CHARSET=" + std::string(collation->charset);
    if (!collation->isDefault) {
        option += " COLLATE=" + std::string(collation->name);
    }
    return option;
}

} // namespace

std::span<const ForbiddenConstruct> forbiddenConstructs() { return kForbidden; }

std::optional<ForbiddenConstruct> findForbiddenConstruct(std::string_view text)
{
    for (const ForbiddenConstruct &construct : kForbidden) {
        if (containsIgnoringCase(text, construct.text)) {
            return construct;
        }
    }
    return std::nullopt;
}

std::string commentText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        out += b < 0x20 || b == 0x7F ? '?' : c;
    }
    return out;
}

std::string createDatabaseStatement(std::string_view database)
{
    return "CREATE DATABASE IF NOT EXISTS " + frm::quoteIdentifier(database)
        + " /*!40100 DEFAULT CHARACTER SET utf8 */;\n";
}

std::string useStatement(std::string_view database)
{
    return "USE " + frm::quoteIdentifier(database) + ";\n";
}

std::string dumpHeader(const DumpDescription &description)
{
    std::string text(kDumpFirstLine);
    text += "\n-- The database " + commentText(frm::quoteIdentifier(description.database))
        + " as rebuilt from " + commentText(description.sourceFolder) + " on "
        + commentText(description.written) + ".\n";
    text += "-- Loads into MySQL 5.0 to 8.4 and MariaDB 5.5 to 11, into a server without a "
            "database of that name:\n"
            "--   zarafa-repair put-back --dump zarafa.sql --socket /run/mysqld/mysqld.sock "
            "[--rename-existing]\n"
            "-- or by hand: mysql --user=root --password < zarafa.sql\n"
            "-- Then restart the Zarafa server.\n\n";
    // Each setting in a version comment that every server since 4.0 runs, and each old value
    // kept, so that the session is as it was after the last line.
    text += "/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;\n"
            "/*!40101 SET @OLD_CHARACTER_SET_RESULTS=@@CHARACTER_SET_RESULTS */;\n"
            "/*!40101 SET @OLD_COLLATION_CONNECTION=@@COLLATION_CONNECTION */;\n"
            "/*!40101 SET NAMES utf8 */;\n"
            // TIMESTAMP values are written as UTC; in the server's own zone they would shift.
            "/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;\n"
            "/*!40103 SET TIME_ZONE='+00:00' */;\n"
            "/*!40014 SET @OLD_UNIQUE_CHECKS=@@UNIQUE_CHECKS, UNIQUE_CHECKS=0 */;\n"
            "/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;\n"
            // The server's own mode could turn a stored 0 of an AUTO_INCREMENT column into a new
            // number, refuse the zero dates the rows hold, or read quotes its own way; strict, so
            // that a value the target would bend stops the load instead of changing quietly.
            "/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE */;\n"
            "/*!40111 SET @OLD_SQL_NOTES=@@SQL_NOTES, SQL_NOTES=0 */;\n";
    text += kStrictModeStatement;
    text += "\n";
    text += createDatabaseStatement(description.database);
    text += useStatement(description.database);
    return text;
}

std::string portableCreateTable(const frm::FrmTableEntry &table)
{
    frm::FrmTableEntry portable = table;
    // MySQL 8's collations, which neither older servers nor MariaDB know, as their older kin.
    portable.defaultCharset = frm::portableCollation(table.defaultCharset);
    for (frm::ColumnDef &column : portable.definitionOrder) {
        column.defaultValue = portableDefault(column.defaultValue);
        column.charset = frm::portableCollation(column.charset);
    }
    std::string text = "CREATE TABLE " + frm::quoteIdentifier(table.tableName) + " (\n  "
        + frm::tableElementsText(portable, ",\n  ") + "\n) ENGINE=InnoDB";
    text += tableCharsetOption(portable.defaultCharset);
    return text + frm::tableOptionsText(table);
}

std::string insertHead(const frm::FrmTableEntry &table)
{
    std::string text = "INSERT INTO " + frm::quoteIdentifier(table.tableName) + " (";
    bool first = true;
    for (const frm::ColumnDef &column : table.definitionOrder) {
        if (frm::isInsertedColumn(column)) {
            text += (first ? "" : ",") + frm::quoteIdentifier(column.name);
            first = false;
        }
    }
    return text + ") VALUES ";
}

std::string tableRowsLine(std::string_view tableName, std::uint64_t rows)
{
    return std::string(kTableRowsPrefix) + commentText(frm::quoteIdentifier(tableName)) + ": "
        + std::to_string(rows) + "\n";
}

std::string dumpTrailer(std::uint64_t tables, std::uint64_t rows)
{
    std::string text = "\n/*!40111 SET SQL_NOTES=@OLD_SQL_NOTES */;\n"
                       "/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;\n"
                       "/*!40014 SET FOREIGN_KEY_CHECKS=@OLD_FOREIGN_KEY_CHECKS */;\n"
                       "/*!40014 SET UNIQUE_CHECKS=@OLD_UNIQUE_CHECKS */;\n"
                       "/*!40103 SET TIME_ZONE=@OLD_TIME_ZONE */;\n"
                       "/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;\n"
                       "/*!40101 SET CHARACTER_SET_RESULTS=@OLD_CHARACTER_SET_RESULTS */;\n"
                       "/*!40101 SET COLLATION_CONNECTION=@OLD_COLLATION_CONNECTION */;\n\n";
    text += std::string(kDumpCompletePrefix) + std::to_string(tables) + " tables, "
        + std::to_string(rows) + " rows\n";
    return text;
}

} // namespace job

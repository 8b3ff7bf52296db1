// Reading an SQL dump back: its statements one by one, as the server is to run them, and the
// account a dump of this program gives of itself (its database, its tables' row counts, whether
// it is whole).
//
//     auto reader = job::SqlStatementReader::open("zarafa.sql");
//     while (auto statement = reader->next()) { connection.execute(statement->text); }
//     if (!reader->problem().empty()) { ... }               // a read error, not the end
#pragma once

#include "common/result.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace job {

struct SqlStatement
{
    std::string text; // without the ";" that ends it and without comment lines before it
    std::uint64_t line = 0; // the line it starts on, from 1
    std::uint64_t endOffset = 0; // bytes of the file read up to its ";"
};

// Splits a file into statements at each ";" outside quotes ('...', "...", `...`) and comments
// (-- to the end of the line, # likewise, /* ... */ unless it is a /*! ... */ version comment,
// which is kept as the server runs it). A statement of any length is read whole.
class SqlStatementReader
{
public:
    static common::Result<std::unique_ptr<SqlStatementReader>> open(
        const std::filesystem::path &path);

    // The next statement, or nothing at the end of the file (or after a read error). Text after
    // the last ";" that is not only blanks and comments is handed out as a last statement.
    std::optional<SqlStatement> next();
    // Comment lines met since the last call of next(), without their line breaks.
    std::vector<std::string> takeComments();

    std::uint64_t offset() const { return m_offset; }
    std::uint64_t size() const { return m_size; }
    const std::string &problem() const { return m_problem; }

private:
    SqlStatementReader(std::filesystem::path path, std::uint64_t size);
    bool fill();

    std::filesystem::path m_path;
    std::ifstream m_in;
    std::uint64_t m_size = 0;
    std::uint64_t m_offset = 0;
    std::uint64_t m_line = 1;
    std::string m_buffer;
    std::size_t m_at = 0;
    bool m_end = false;
    std::string m_problem;
    std::vector<std::string> m_comments;
};

struct DumpTableCount
{
    std::string name; // the table name, as the dump's CREATE TABLE gives it
    std::uint64_t rows = 0;
};

// What a dump of this program says of itself, read from its comment lines and statements
// without running anything.
struct DumpSummary
{
    std::string database; // of its CREATE DATABASE statement
    std::vector<DumpTableCount> tables; // in the dump's order
    std::uint64_t rows = 0;
    bool complete = false; // its last line is the completion line
    std::uint64_t largestStatement = 0; // bytes, for the server's max_allowed_packet
    std::uint64_t statements = 0;
    std::uint64_t bytes = 0;
};

// Reads the whole dump once. Fails, naming the path, when it cannot be read or is not a dump of
// this program (its first line says so); an incomplete dump reads with complete = false.
common::Result<DumpSummary> readDumpSummary(const std::filesystem::path &path);

// The name inside a backtick-quoted identifier at the start of `text` ("`a``b` ..." gives
// "a`b"), or nothing when `text` does not start with one.
std::optional<std::string> leadingQuotedIdentifier(std::string_view text);

} // namespace job

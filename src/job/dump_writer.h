// DumpWriter: the portable zarafa.sql, written while the rows are inserted. It is told of each
// table as the data pass reaches it and of each row as the server takes or refuses it, so that
// it holds exactly the rows of the rebuilt tables, in statements every server version loads.
//
//     auto dump = job::DumpWriter::create(folder / "zarafa.sql", { "zarafa", input, now });
//     job::LandedRows &rows = (*dump)->beginTable(table);   // CREATE TABLE
//     rows.stage(row); rows.settle(1, true);                 // one row landed: in the dump
//     (*dump)->endTable(table, 1);
//     if (auto done = (*dump)->finish(); !done.ok()) { lose(done.error().describe()); }
#pragma once

#include "common/result.h"
#include "job/landed_rows.h"
#include "job/portable_sql.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace job {

struct DumpLimits
{
    // Text of one multi-row INSERT. MySQL 5.0 servers take statements of 1 MiB by default
    // (max_allowed_packet); half of it leaves room. A single row longer than this gets a
    // statement of its own.
    std::size_t statementBytes = 512 * 1024;
    // What is kept in memory before it is written to the file.
    std::size_t bufferBytes = 1 << 20;
};

class DumpWriter : public DatabaseCopy
{
public:
    // Creates the file (an existing one is an error: nothing is overwritten) and writes the
    // header. The Error names the path and the system's reason.
    static common::Result<std::unique_ptr<DumpWriter>> create(const std::filesystem::path &path,
        const DumpDescription &description, DumpLimits limits = {});
    // Closes the file; a dump that was not finished lacks its completion line.
    ~DumpWriter() override;
    DumpWriter(const DumpWriter &) = delete;
    DumpWriter &operator=(const DumpWriter &) = delete;

    LandedRows &beginTable(const frm::FrmTableEntry &table) override;
    void endTable(const frm::FrmTableEntry &table, std::uint64_t rowsInserted) override;

    // Writes the completion line, then flushes, syncs and closes the file. The first problem
    // met on the way (a full disk, a value that could not be read back, a count that does not
    // match the table's) makes it fail: such a dump does not hold the rebuilt database.
    common::Status finish();

    const std::filesystem::path &path() const { return m_path; }
    std::uint64_t rowsWritten() const { return m_rows; }
    std::uint64_t tablesWritten() const { return m_tables; }
    // Constructs of the forbidden list that a table's own definition brought in (a column named
    // like one, say): the dump still loads on the workshop's server version.
    const std::vector<std::string> &portabilityNotes() const { return m_notes; }

private:
    class TableRows : public LandedRows
    {
    public:
        explicit TableRows(DumpWriter &writer)
            : m_writer(writer)
        {
        }
        void begin(const frm::FrmTableEntry &table);
        void stage(const innodb::DecodedRow &row) override;
        void settle(std::size_t count, bool landed) override;
        void endStatement();
        std::uint64_t rows() const { return m_rows; }

    private:
        // A run of m_staged that holds a hex literal's bytes raw: its digits are written only
        // when the row lands, so that a staged long value costs its own size, not twice that.
        struct RawBytes
        {
            std::size_t at = 0;
            std::size_t size = 0;
        };
        struct StagedRow
        {
            std::size_t end = 0; // where it ends in m_staged
            std::size_t rawEnd = 0; // where its runs end in m_raw
            bool whole = true; // false when a value could not be read back
            bool lenient = false; // holds a value only a lenient mode stores
        };

        // The row's values as text, its raw runs turned into digits on the way to the writer.
        void writeValues(std::size_t row);
        // The settled rows leave the staging area.
        void dropSettled();

        DumpWriter &m_writer;
        std::string m_head; // "INSERT INTO `t` (...) VALUES "
        std::size_t m_statementBytes = 0; // of the INSERT being written; 0 when none is open
        std::string m_staged; // staged rows' values, back to back
        std::vector<RawBytes> m_raw; // in m_staged order
        std::vector<StagedRow> m_stagedRows;
        std::string m_digits; // a raw run's digits on their way to the writer
        std::size_t m_settled = 0; // staged rows already settled
        std::uint64_t m_rows = 0;
    };

    DumpWriter(std::filesystem::path path, int fd, DumpLimits limits);
    void write(std::string_view text);
    void check(std::string_view text);
    void writeChecked(std::string_view text);
    void flushBuffer();
    void problem(std::string text);

    std::filesystem::path m_path;
    int m_fd = -1;
    DumpLimits m_limits;
    std::string m_buffer;
    std::string m_problem; // the first one; nothing more is written after a write failed
    bool m_writeFailed = false;
    TableRows m_table { *this };
    bool m_inTable = false;
    std::uint64_t m_rows = 0;
    std::uint64_t m_tables = 0;
    std::vector<std::string> m_notes;
};

} // namespace job

#include "job/dump_writer.h"

#include "frm/create_table_text.h"
#include "innodb/value_text.h"
#include "job/row_insertion.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace job {

namespace fs = std::filesystem;

namespace {

std::string systemReason(int error) { return std::strerror(error); }

} // namespace

common::Result<std::unique_ptr<DumpWriter>> DumpWriter::create(
    const fs::path &path, const DumpDescription &description, DumpLimits limits)
{
    // O_EXCL: a dump of an earlier run, or anything else of that name, is never overwritten.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return common::ioError("cannot create the SQL dump: " + systemReason(errno), path.string());
    }
    auto writer = std::unique_ptr<DumpWriter>(new DumpWriter(path, fd, limits));
    writer->writeChecked(dumpHeader(description));
    if (writer->m_writeFailed) {
        return common::ioError(writer->m_problem, path.string());
    }
    return writer;
}

DumpWriter::DumpWriter(fs::path path, int fd, DumpLimits limits)
    : m_path(std::move(path))
    , m_fd(fd)
    , m_limits(limits)
{
    m_buffer.reserve(m_limits.bufferBytes + m_limits.statementBytes);
}

DumpWriter::~DumpWriter()
{
    if (m_fd >= 0) {
        flushBuffer();
        ::close(m_fd);
    }
}

void DumpWriter::problem(std::string text)
{
    if (m_problem.empty()) {
        m_problem = std::move(text);
    }
}

void DumpWriter::flushBuffer()
{
    std::size_t done = 0;
    while (!m_writeFailed && done < m_buffer.size()) {
        const ssize_t written = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            // A full disk ends the dump here: what follows would be a file that looks whole
            // up to a point and then stops in the middle of a statement.
            problem("cannot write the SQL dump: " + systemReason(written < 0 ? errno : ENOSPC));
            m_writeFailed = true;
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    m_buffer.clear();
}

void DumpWriter::write(std::string_view text)
{
    if (m_writeFailed) {
        return;
    }
    m_buffer.append(text);
    if (m_buffer.size() >= m_limits.bufferBytes) {
        flushBuffer();
    }
}

void DumpWriter::check(std::string_view text)
{
    if (const auto construct = findForbiddenConstruct(text)) {
        m_notes.push_back("the SQL dump holds \"" + std::string(construct->text)
            + "\", which some servers refuse (" + std::string(construct->why) + ")");
    }
}

void DumpWriter::writeChecked(std::string_view text)
{
    check(text);
    write(text);
}

LandedRows &DumpWriter::beginTable(const frm::FrmTableEntry &table)
{
    if (m_inTable) {
        endTable(table, m_table.rows());
    }
    m_inTable = true;
    ++m_tables;
    const std::string name = commentText(frm::quoteIdentifier(table.tableName));
    writeChecked("\n--\n-- Table " + name + "\n--\n\n" + portableCreateTable(table) + ";\n\n");
    m_table.begin(table);
    return m_table;
}

void DumpWriter::endTable(const frm::FrmTableEntry &table, std::uint64_t rowsInserted)
{
    if (!m_inTable) {
        return;
    }
    m_inTable = false;
    m_table.endStatement();
    write(tableRowsLine(table.tableName, m_table.rows()));
    if (m_table.rows() != rowsInserted) {
        problem("the SQL dump holds " + std::to_string(m_table.rows()) + " rows of "
            + table.dictionaryName + " where the rebuilt table holds "
            + std::to_string(rowsInserted));
    }
}

common::Status DumpWriter::finish()
{
    if (m_fd < 0) {
        return common::ioError("the SQL dump was finished already", m_path.string());
    }
    if (m_inTable) {
        m_inTable = false;
        m_table.endStatement();
    }
    writeChecked(dumpTrailer(m_tables, m_rows));
    flushBuffer();
    // On disk before the run says it is there: a crash right after must not leave half a file
    // that the completion dialog offered.
    if (!m_writeFailed && ::fsync(m_fd) != 0) {
        problem("cannot write the SQL dump to disk: " + systemReason(errno));
    }
    if (::close(m_fd) != 0 && m_problem.empty()) {
        problem("cannot write the SQL dump: " + systemReason(errno));
    }
    m_fd = -1;
    if (!m_problem.empty()) {
        return common::ioError(m_problem, m_path.string());
    }
    return common::okStatus();
}

void DumpWriter::TableRows::begin(const frm::FrmTableEntry &table)
{
    m_head = insertHead(table);
    m_writer.check(m_head); // the values that follow are literals the writer makes itself
    m_statement.clear();
    m_staged.clear();
    m_stagedEnds.clear();
    m_stagedWhole.clear();
    m_stagedLenient.clear();
    m_settled = 0;
    m_rows = 0;
}

void DumpWriter::TableRows::stage(const innodb::DecodedRow &row)
{
    const common::Status rendered = innodb::appendLiteralValues(row, TimestampToText, m_staged);
    m_stagedWhole.push_back(rendered.ok());
    m_stagedLenient.push_back(innodb::holdsErrorValue(row));
    if (!rendered.ok()) {
        m_writer.problem("a value of " + row.dictionaryName()
            + " could not be read back for the SQL dump: " + rendered.error().describe());
    }
    m_stagedEnds.push_back(m_staged.size());
}

void DumpWriter::TableRows::settle(std::size_t count, bool landed)
{
    for (std::size_t i = 0; i < count && m_settled < m_stagedEnds.size(); ++i, ++m_settled) {
        if (!landed) {
            continue;
        }
        ++m_rows;
        ++m_writer.m_rows;
        if (!m_stagedWhole[m_settled]) {
            continue; // said when it was staged: the dump lacks a row of the table
        }
        const std::size_t begin = m_settled == 0 ? 0 : m_stagedEnds[m_settled - 1];
        const std::string_view values(m_staged.data() + begin, m_stagedEnds[m_settled] - begin);
        if (m_stagedLenient[m_settled]) {
            endStatement();
            m_writer.write(std::string(kLenientModeStatement) + m_head + "(" + std::string(values)
                + ");\n" + std::string(kStrictModeStatement));
            continue;
        }
        if (!m_statement.empty()
            && m_statement.size() + values.size() + 3 > m_writer.m_limits.statementBytes) {
            endStatement();
        }
        m_statement += m_statement.empty() ? m_head : std::string_view(",");
        m_statement += '(';
        m_statement += values;
        m_statement += ')';
    }
    if (m_settled == m_stagedEnds.size()) {
        m_staged.clear();
        m_stagedEnds.clear();
        m_stagedWhole.clear();
        m_stagedLenient.clear();
        m_settled = 0;
    } else if (m_settled > 0) {
        // The writer stages its next batch before the last one is settled: the settled rows
        // go, so that what is kept stays within two batches.
        const std::size_t gone = m_stagedEnds[m_settled - 1];
        m_staged.erase(0, gone);
        const auto settledEnd = static_cast<std::ptrdiff_t>(m_settled);
        m_stagedEnds.erase(m_stagedEnds.begin(), m_stagedEnds.begin() + settledEnd);
        for (std::size_t &end : m_stagedEnds) {
            end -= gone;
        }
        m_stagedWhole.erase(m_stagedWhole.begin(), m_stagedWhole.begin() + settledEnd);
        m_stagedLenient.erase(m_stagedLenient.begin(), m_stagedLenient.begin() + settledEnd);
        m_settled = 0;
    }
}

void DumpWriter::TableRows::endStatement()
{
    if (m_statement.empty()) {
        return;
    }
    m_statement += ";\n";
    m_writer.write(m_statement);
    m_statement.clear();
}

} // namespace job

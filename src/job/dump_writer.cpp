#include "job/dump_writer.h"

#include "frm/create_table_text.h"
#include "innodb/value_text.h"
#include "job/row_insertion.h"

#include <algorithm>
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
    // Statements reach it in pieces (a long value's digits 64 KiB at a time), so a little more
    // than one buffer's worth is all it holds.
    m_buffer.reserve(m_limits.bufferBytes + (64 << 10));
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
    m_statementBytes = 0;
    // A table of long values leaves large buffers behind: the next table starts without them.
    std::string().swap(m_staged);
    std::vector<RawBytes>().swap(m_raw);
    std::vector<StagedRow>().swap(m_stagedRows);
    m_settled = 0;
    m_rows = 0;
}

void DumpWriter::TableRows::stage(const innodb::DecodedRow &row)
{
    // Room for a long value at once, as in the insert batch: piece by piece, the staging area
    // would end at up to twice its size.
    std::size_t rowBytes = 0;
    for (const auto &value : row.values) {
        rowBytes += value.kind == innodb::ValueKind::Bytes ? value.bytes.size() + 4 : 24;
    }
    if (const std::size_t needed = m_staged.size() + rowBytes;
        needed > m_staged.capacity() && rowBytes > m_writer.m_limits.statementBytes) {
        m_staged.reserve(needed);
    }
    const common::Status rendered
        = innodb::appendLiteralValues(row, TimestampToText, m_staged, [this](common::Bytes piece) {
              if (!m_raw.empty() && m_raw.back().at + m_raw.back().size == m_staged.size()) {
                  m_raw.back().size += piece.size(); // the next chunk of a spilled value
              } else {
                  m_raw.push_back({ m_staged.size(), piece.size() });
              }
              m_staged.append(reinterpret_cast<const char *>(piece.data()), piece.size());
          });
    if (!rendered.ok()) {
        m_writer.problem("a value of " + row.dictionaryName()
            + " could not be read back for the SQL dump: " + rendered.error().describe());
    }
    m_stagedRows.push_back(
        { m_staged.size(), m_raw.size(), rendered.ok(), innodb::holdsErrorValue(row) });
}

void DumpWriter::TableRows::writeValues(std::size_t row)
{
    // Digits in pieces of this many bytes: the writer's buffer takes them without growing.
    constexpr std::size_t kPiece = 32 * 1024;
    std::size_t at = row == 0 ? 0 : m_stagedRows[row - 1].end;
    const auto text = [this](std::size_t from, std::size_t to) {
        m_writer.write(std::string_view(m_staged).substr(from, to - from));
    };
    for (std::size_t r = row == 0 ? 0 : m_stagedRows[row - 1].rawEnd; r < m_stagedRows[row].rawEnd;
         ++r) {
        text(at, m_raw[r].at);
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(m_staged.data());
        for (std::size_t done = 0; done < m_raw[r].size; done += kPiece) {
            m_digits.clear();
            innodb::appendHexDigits(m_digits,
                common::Bytes(bytes + m_raw[r].at + done, std::min(kPiece, m_raw[r].size - done)));
            m_writer.write(m_digits);
        }
        at = m_raw[r].at + m_raw[r].size;
    }
    text(at, m_stagedRows[row].end);
}

void DumpWriter::TableRows::settle(std::size_t count, bool landed)
{
    for (std::size_t i = 0; i < count && m_settled < m_stagedRows.size(); ++i, ++m_settled) {
        if (!landed) {
            continue;
        }
        ++m_rows;
        ++m_writer.m_rows;
        const StagedRow &row = m_stagedRows[m_settled];
        if (!row.whole) {
            continue; // said when it was staged: the dump lacks a row of the table
        }
        const std::size_t begin = m_settled == 0 ? 0 : m_stagedRows[m_settled - 1].end;
        const std::size_t rawBegin = m_settled == 0 ? 0 : m_stagedRows[m_settled - 1].rawEnd;
        // As text: each raw byte becomes two digits.
        std::size_t valuesBytes = row.end - begin;
        for (std::size_t r = rawBegin; r < row.rawEnd; ++r) {
            valuesBytes += m_raw[r].size;
        }
        if (row.lenient) {
            endStatement();
            m_writer.write(kLenientModeStatement);
            m_writer.write(m_head);
            m_writer.write("(");
            writeValues(m_settled);
            m_writer.write(");\n");
            m_writer.write(kStrictModeStatement);
            continue;
        }
        if (m_statementBytes != 0
            && m_statementBytes + valuesBytes + 3 > m_writer.m_limits.statementBytes) {
            endStatement();
        }
        if (m_statementBytes == 0) {
            m_writer.write(m_head);
            m_statementBytes = m_head.size();
        } else {
            m_writer.write(",");
            ++m_statementBytes;
        }
        m_writer.write("(");
        writeValues(m_settled);
        m_writer.write(")");
        m_statementBytes += valuesBytes + 2;
    }
    dropSettled();
}

void DumpWriter::TableRows::dropSettled()
{
    if (m_settled == 0) {
        return;
    }
    // The writer stages its next batch before the last one is settled: the settled rows go,
    // so that what is kept stays within two batches.
    const std::size_t gone = m_stagedRows[m_settled - 1].end;
    const std::size_t rawGone = m_stagedRows[m_settled - 1].rawEnd;
    const auto settledEnd = static_cast<std::ptrdiff_t>(m_settled);
    m_staged.erase(0, gone);
    m_raw.erase(m_raw.begin(), m_raw.begin() + static_cast<std::ptrdiff_t>(rawGone));
    m_stagedRows.erase(m_stagedRows.begin(), m_stagedRows.begin() + settledEnd);
    for (RawBytes &raw : m_raw) {
        raw.at -= gone;
    }
    for (StagedRow &row : m_stagedRows) {
        row.end -= gone;
        row.rawEnd -= rawGone;
    }
    m_settled = 0;
    // A long value's room goes with it: what stays is at most two batches of short rows.
    if (m_staged.capacity() > 2 * m_writer.m_limits.statementBytes
        && 2 * m_staged.size() < m_staged.capacity()) {
        m_staged.shrink_to_fit();
    }
}

void DumpWriter::TableRows::endStatement()
{
    if (m_statementBytes == 0) {
        return;
    }
    m_writer.write(";\n");
    m_statementBytes = 0;
}

} // namespace job

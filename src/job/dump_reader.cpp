#include "job/dump_reader.h"

#include "job/portable_sql.h"

#include <cerrno>
#include <charconv>
#include <cstring>

namespace job {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunk = 1 << 20;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

common::Result<std::unique_ptr<SqlStatementReader>> SqlStatementReader::open(const fs::path &path)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) {
        return common::ioError("cannot read the dump: " + error.message(), path.string());
    }
    auto reader = std::unique_ptr<SqlStatementReader>(new SqlStatementReader(path, size));
    if (!reader->m_in) {
        return common::ioError(
            "cannot read the dump: " + std::string(std::strerror(errno)), path.string());
    }
    return reader;
}

SqlStatementReader::SqlStatementReader(fs::path path, std::uint64_t size)
    : m_path(std::move(path))
    , m_in(m_path, std::ios::binary)
    , m_size(size)
{
}

bool SqlStatementReader::fill()
{
    if (m_end) {
        return false;
    }
    if (m_at > 0) {
        m_buffer.erase(0, m_at);
        m_at = 0;
    }
    const std::size_t had = m_buffer.size();
    m_buffer.resize(had + kChunk);
    m_in.read(m_buffer.data() + had, static_cast<std::streamsize>(kChunk));
    const auto got = static_cast<std::size_t>(m_in.gcount());
    m_buffer.resize(had + got);
    if (got == 0) {
        if (m_in.bad()) {
            m_problem = m_path.string() + ": cannot read the dump: " + std::strerror(errno);
        }
        m_end = true;
        return false;
    }
    return true;
}

std::vector<std::string> SqlStatementReader::takeComments()
{
    std::vector<std::string> comments;
    comments.swap(m_comments);
    return comments;
}

std::optional<SqlStatement> SqlStatementReader::next()
{
    enum class State { Normal, Single, Double, Backtick, Block, Line };
    State state = State::Normal;
    bool versionComment = false; // inside /*! ... */: SQL the server runs
    bool started = false;
    SqlStatement statement;
    std::string comment;
    const auto available = [this](std::size_t ahead) {
        while (m_at + ahead >= m_buffer.size()) {
            if (!fill()) {
                return false;
            }
        }
        return true;
    };
    const auto take = [this]() {
        const char c = m_buffer[m_at++];
        ++m_offset;
        if (c == '\n') {
            ++m_line;
        }
        return c;
    };
    while (available(0)) {
        const char c = m_buffer[m_at];
        switch (state) {
        case State::Line:
            take();
            if (c == '\n') {
                if (!started) {
                    m_comments.push_back(comment);
                } else {
                    statement.text += ' '; // what the comment parted stays apart
                }
                comment.clear();
                state = State::Normal;
            } else if (!started) {
                comment += c;
            }
            continue;
        case State::Block:
            take();
            if (c == '*' && available(0) && m_buffer[m_at] == '/') {
                take();
                state = State::Normal;
                if (started) {
                    statement.text += ' ';
                }
            }
            continue;
        case State::Single:
        case State::Double:
        case State::Backtick: {
            const char quote = state == State::Single ? '\'' : state == State::Double ? '"' : '`';
            statement.text += take();
            if (c == '\\' && state != State::Backtick && available(0)) {
                statement.text += take(); // the escaped byte, whatever it is
            } else if (c == quote) {
                if (available(0) && m_buffer[m_at] == quote) {
                    statement.text += take(); // a doubled quote stays inside
                } else {
                    state = State::Normal;
                }
            }
            continue;
        }
        case State::Normal:
            break;
        }
        // Normal text.
        if (c == '-' && available(1) && m_buffer[m_at + 1] == '-'
            && (!available(2) || isBlank(m_buffer[m_at + 2])
                || static_cast<unsigned char>(m_buffer[m_at + 2]) < 0x20)) {
            take();
            take();
            state = State::Line;
            if (available(0) && m_buffer[m_at] == ' ') {
                take();
            }
            continue;
        }
        if (c == '#') {
            take();
            state = State::Line;
            continue;
        }
        if (c == '/' && available(1) && m_buffer[m_at + 1] == '*') {
            if (available(2) && m_buffer[m_at + 2] == '!') {
                versionComment = true;
                if (!started) {
                    statement.line = m_line;
                    started = true;
                }
                statement.text += take();
                statement.text += take();
                continue;
            }
            take();
            take();
            state = State::Block;
            continue;
        }
        if (versionComment && c == '*' && available(1) && m_buffer[m_at + 1] == '/') {
            versionComment = false;
            statement.text += take();
            statement.text += take();
            continue;
        }
        if (c == ';' && !versionComment) {
            take();
            if (!started) {
                continue; // an empty statement
            }
            statement.endOffset = m_offset;
            return statement;
        }
        if (!started) {
            if (isBlank(c)) {
                take();
                continue;
            }
            started = true;
            statement.line = m_line;
        }
        statement.text += take();
        if (c == '\'') {
            state = State::Single;
        } else if (c == '"') {
            state = State::Double;
        } else if (c == '`') {
            state = State::Backtick;
        }
    }
    if (state == State::Line && !started && !comment.empty()) {
        m_comments.push_back(comment);
    }
    while (!statement.text.empty() && isBlank(statement.text.back())) {
        statement.text.pop_back();
    }
    if (!started || statement.text.empty()) {
        return std::nullopt;
    }
    statement.endOffset = m_offset;
    return statement;
}

std::optional<std::string> leadingQuotedIdentifier(std::string_view text)
{
    if (text.empty() || text.front() != '`') {
        return std::nullopt;
    }
    std::string name;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '`') {
            if (i + 1 < text.size() && text[i + 1] == '`') {
                name += '`';
                ++i;
                continue;
            }
            return name;
        }
        name += text[i];
    }
    return std::nullopt;
}

common::Result<DumpSummary> readDumpSummary(const fs::path &path)
{
    {
        std::ifstream first(path, std::ios::binary);
        std::string line;
        if (!first || !std::getline(first, line)) {
            return common::ioError("cannot read the dump", path.string());
        }
        if (line != kDumpFirstLine) {
            return common::Error { common::ErrorKind::NotSupported,
                "not an SQL dump written by zarafa-repair (its first line is not \""
                    + std::string(kDumpFirstLine) + "\")",
                path.string() };
        }
    }
    auto reader = SqlStatementReader::open(path);
    if (!reader) {
        return reader.error();
    }
    DumpSummary summary;
    summary.bytes = (*reader)->size();
    std::string lastComment;
    const auto readComments = [&] {
        for (std::string &comment : (*reader)->takeComments()) {
            const std::string_view text = comment;
            const std::string_view prefix = kTableRowsPrefix.substr(3); // without "-- "
            if (text.starts_with(prefix)) {
                const std::string_view rest = text.substr(prefix.size());
                const auto name = leadingQuotedIdentifier(rest);
                const std::size_t colon = rest.rfind(": ");
                std::uint64_t rows = 0;
                if (name && colon != std::string_view::npos
                    && std::from_chars(rest.data() + colon + 2, rest.data() + rest.size(), rows).ec
                        == std::errc()) {
                    summary.tables.push_back({ *name, rows });
                }
            }
            lastComment = std::move(comment);
        }
    };
    while (auto statement = (*reader)->next()) {
        readComments();
        lastComment.clear();
        ++summary.statements;
        summary.largestStatement
            = std::max<std::uint64_t>(summary.largestStatement, statement->text.size());
        constexpr std::string_view kCreateDatabase = "CREATE DATABASE IF NOT EXISTS ";
        if (summary.database.empty() && statement->text.starts_with(kCreateDatabase)) {
            summary.database = leadingQuotedIdentifier(
                std::string_view(statement->text).substr(kCreateDatabase.size()))
                                   .value_or("");
        }
    }
    readComments();
    if (!(*reader)->problem().empty()) {
        return common::ioError((*reader)->problem());
    }
    const std::string_view complete = kDumpCompletePrefix.substr(3);
    summary.complete = lastComment.starts_with(complete);
    for (const DumpTableCount &table : summary.tables) {
        summary.rows += table.rows;
    }
    return summary;
}

} // namespace job

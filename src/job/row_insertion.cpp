#include "job/row_insertion.h"

#include "frm/column_type.h"
#include "job/folder_listing.h"
#include "job/write_fault.h"

#include <algorithm>
#include <charconv>
#include <ctime>

namespace job {

namespace {

std::string quoteIdentifier(std::string_view name)
{
    std::string quoted = "`";
    for (const char c : name) {
        quoted += c;
        if (c == '`') {
            quoted += '`';
        }
    }
    return quoted + "`";
}

} // namespace

std::string TimestampToText(std::uint32_t seconds)
{
    if (seconds == 0) {
        return "00000000000000";
    }
    const std::time_t instant = static_cast<std::time_t>(seconds);
    std::tm parts {};
    ::gmtime_r(&instant, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &parts);
    return text;
}

std::string insertStatementText(std::string_view tableName, const innodb::InsertForm &form)
{
    std::string sql = "Insert into " + quoteIdentifier(tableName) + "(";
    for (std::size_t i = 0; i < form.columnNames.size(); ++i) {
        sql += (i ? "," : "") + quoteIdentifier(form.columnNames[i]);
    }
    sql += ") values(";
    // The values text ends with the "," that follows its last value; only that one goes.
    std::string_view values = form.valuesText;
    if (!values.empty() && values.back() == ',') {
        values.remove_suffix(1);
    }
    sql.append(values);
    sql += ")";
    return sql;
}

mysql::ParameterType parameterTypeFor(std::string_view typeName)
{
    // Any character or binary value must travel: a type left without a parameter would leave
    // its "?" unbound and lose the whole row.
    return containsIgnoringCase(typeName, "blob") ? mysql::ParameterType::LongVarBinary
                                                  : mysql::ParameterType::VarBinary;
}

MySqlTableWriter::MySqlTableWriter(
    mysql::Connection &connection, const frm::FrmTableEntry &table, BatchLimits limits)
    : m_connection(connection)
    , m_table(table)
    , m_limits(limits)
    , m_tableName(table.dictionaryName.size() > kDictionaryPrefix.size()
              ? table.dictionaryName.substr(kDictionaryPrefix.size())
              : table.dictionaryName)
{
    innodb::InsertForm names;
    for (const auto &column : table.definitionOrder) {
        if (frm::isInsertedColumn(column)) {
            names.columnNames.push_back(column.name); // generated ones the server computes
        }
        m_types.push_back(parameterTypeFor(column.typeName));
    }
    m_head = insertStatementText(m_tableName, names);
    m_head.pop_back(); // the ")" of the empty values list; each row brings its own
    m_head.pop_back();
}

MySqlTableWriter::~MySqlTableWriter() { finish(); }

void MySqlTableWriter::prepareSession()
{
    m_sessionReady = true;
    // In STRICT_TRANS_TABLES mode a bad value in the second or a later row of a multi-row
    // INSERT into a MyISAM table is bent to fit and stored with a warning, where on its own the
    // row is refused. STRICT_ALL_TABLES stops the statement at that row instead; a one-row
    // statement is treated the same in both modes.
    auto mode = m_connection.query("SELECT @@SESSION.sql_mode");
    if (!mode || mode->size() != 1 || mode->front().size() != 1 || !mode->front()[0]) {
        m_batching = false;
        return;
    }
    const std::string &text = *mode->front()[0];
    for (const char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ',';
        if (!plain) {
            m_batching = false; // not a mode list we could put back word for word
            return;
        }
    }
    if (containsIgnoringCase(text, "STRICT_TRANS_TABLES")
        && !containsIgnoringCase(text, "STRICT_ALL_TABLES")) {
        if (!m_connection.execute("SET SESSION sql_mode = '" + text + ",STRICT_ALL_TABLES'").ok()) {
            m_batching = false;
            return;
        }
        m_savedSqlMode = text;
    }
}

bool MySqlTableWriter::countRows(std::uint64_t &rows)
{
    auto counted = m_connection.query("SELECT COUNT(*) FROM " + quoteIdentifier(m_tableName));
    if (!counted || counted->size() != 1 || counted->front().size() != 1 || !counted->front()[0]) {
        return false;
    }
    const std::string &text = *counted->front()[0];
    const auto result = std::from_chars(text.data(), text.data() + text.size(), rows);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

void MySqlTableWriter::acceptRow(const innodb::DecodedRow &row)
{
    if (row.values.size() != m_table.definitionOrder.size()) {
        // Not laid out as this table: never the case for rows of its own decoder; sent in the
        // one-row form of its own columns rather than guessed at.
        drain();
        const innodb::InsertForm form = innodb::makeInsertForm(row, TimestampToText);
        std::vector<mysql::Parameter> parameters;
        std::vector<std::vector<std::uint8_t>> spilled;
        for (const auto &parameter : form.parameters) {
            auto all = parameter.bytes->readAll();
            if (!all) {
                ++m_refused;
                m_lastRefusal = all.error().describe();
                return;
            }
            spilled.push_back(std::move(*all));
            parameters.push_back(mysql::Parameter { parameter.columnName,
                parameterTypeFor(parameter.typeName), std::as_bytes(std::span(spilled.back())) });
        }
        if (!m_fault.empty() || faultBefore(0)) {
            ++m_refused;
            m_lastRefusal = m_fault;
            return;
        }
        if (m_copy) {
            m_copy->stage(row);
        }
        const common::Status done
            = m_connection.execute(insertStatementText(m_tableName, form), parameters);
        faultAfter(done);
        if (done.ok()) {
            ++m_inserted;
            ++m_tableRows;
        } else {
            ++m_refused;
            m_lastRefusal = done.error().message;
        }
        settle(1, done.ok());
        return;
    }

    // Space for the row first: a batch that would outgrow a limit goes before it.
    std::uint64_t rowBytes = 0;
    std::size_t rowParameters = 0;
    for (const auto &value : row.values) {
        if (value.kind == innodb::ValueKind::Bytes && !value.bytes.empty()) {
            rowBytes += value.bytes.size();
            ++rowParameters;
        }
    }
    Batch &batch = m_filling;
    if (!batch.rows.empty()
        && (batch.rows.size() >= m_limits.rows
            || batch.values.size() + batch.bytes.size() + rowBytes > m_limits.bytes
            || batch.parameters.size() + rowParameters > m_limits.parameters)) {
        flush();
    }

    // Room for the row's bytes at once: a long value alone in its batch then takes its own size,
    // not the doubled room that growing piece by piece ends at. Short rows still grow the
    // batch by doubling, up to the size at which it goes.
    if (const std::size_t needed = batch.bytes.size() + rowBytes; needed > batch.bytes.capacity()) {
        batch.bytes.reserve(
            std::max(needed, std::min(2 * batch.bytes.capacity(), m_limits.bytes)));
    }
    const std::size_t valuesBegin = batch.values.size();
    const std::size_t bytesBegin = batch.bytes.size();
    const std::size_t parametersBegin = batch.parameters.size();
    m_parameterColumns.clear();
    innodb::appendInsertValues(row, TimestampToText, batch.values, m_parameterColumns);
    for (const std::size_t column : m_parameterColumns) {
        const innodb::StoredBytes &bytes = row.values[column].bytes;
        const std::size_t offset = batch.bytes.size();
        if (!bytes.spilled()) {
            const common::Bytes memory = bytes.memory();
            batch.bytes.insert(batch.bytes.end(), memory.begin(), memory.end());
        } else {
            const common::Status read = bytes.forEachChunk([&batch](common::Bytes piece) {
                batch.bytes.insert(batch.bytes.end(), piece.begin(), piece.end());
                return true;
            });
            if (!read.ok()) {
                // The row cannot be sent whole: refused without a statement, as before.
                batch.values.resize(valuesBegin);
                batch.bytes.resize(bytesBegin);
                batch.parameters.resize(parametersBegin);
                ++m_refused;
                m_lastRefusal = read.error().describe();
                return;
            }
        }
        batch.parameters.push_back({ column, offset, batch.bytes.size() - offset });
    }
    batch.rows.push_back({ valuesBegin, batch.values.size() - 1, parametersBegin,
        batch.parameters.size(), innodb::holdsErrorValue(row) });
    if (m_copy) {
        m_copy->stage(row);
    }
    if (batch.values.size() + batch.bytes.size() > m_limits.bytes) {
        flush(); // a row that fills a batch alone does not wait
    }
}

std::vector<mysql::Parameter> MySqlTableWriter::parametersOf(
    const Batch &batch, const PendingRow &row) const
{
    std::vector<mysql::Parameter> parameters;
    parameters.reserve(row.parametersEnd - row.parametersBegin);
    for (std::size_t i = row.parametersBegin; i < row.parametersEnd; ++i) {
        const PendingParameter &parameter = batch.parameters[i];
        parameters.push_back(mysql::Parameter { m_table.definitionOrder[parameter.column].name,
            m_types[parameter.column],
            std::as_bytes(std::span(batch.bytes.data() + parameter.offset, parameter.size)) });
    }
    return parameters;
}

bool MySqlTableWriter::faultBefore(std::uint64_t bytes)
{
    if (!m_fault.empty()) {
        return true;
    }
    if (checkSpace) {
        if (auto cause = checkSpace(bytes)) {
            declareFault(std::move(*cause));
            return true;
        }
    }
    return false;
}

bool MySqlTableWriter::faultAfter(const common::Status &done)
{
    if (done.ok()) {
        return false;
    }
    if (auto cause = serverWriteFault(
            m_connection.lastServerError(), m_connection.lastState(), done.error().message)) {
        declareFault(std::move(*cause));
        return true;
    }
    return false;
}

void MySqlTableWriter::declareFault(std::string cause)
{
    if (!m_fault.empty()) {
        return;
    }
    m_fault = std::move(cause);
    if (onFault) {
        onFault(m_fault);
    }
}

void MySqlTableWriter::refuseUnsent(const Batch &batch, std::size_t first)
{
    const std::size_t unsent = batch.rows.size() - std::min(first, batch.rows.size());
    m_refused += unsent;
    m_lastRefusal = m_fault;
    settle(unsent, false);
}

void MySqlTableWriter::settle(std::size_t rows, bool landed)
{
    if (m_copy && rows > 0) {
        m_copy->settle(rows, landed);
    }
}

std::optional<std::string> MySqlTableWriter::relaxStrictMode()
{
    auto mode = m_connection.query("SELECT @@SESSION.sql_mode");
    if (!mode || mode->size() != 1 || mode->front().size() != 1 || !mode->front()[0]) {
        return std::nullopt;
    }
    const std::string original = *mode->front()[0];
    std::string relaxed;
    std::size_t start = 0;
    while (start <= original.size()) {
        const std::size_t end = std::min(original.find(',', start), original.size());
        const std::string word = original.substr(start, end - start);
        for (const char c : word) {
            const bool plain = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
            if (!plain) {
                return std::nullopt; // not a mode list we could put back word for word
            }
        }
        if (!word.empty() && !word.starts_with("STRICT_")) {
            relaxed += (relaxed.empty() ? "" : ",") + word;
        }
        start = end + 1;
    }
    if (!m_connection.execute("SET SESSION sql_mode = '" + relaxed + "'").ok()) {
        return std::nullopt;
    }
    return original;
}

void MySqlTableWriter::sendAlone(const Batch &batch, const PendingRow &row)
{
    m_statement.assign(m_head);
    m_statement += '(';
    m_statement.append(batch.values, row.valuesBegin, row.valuesEnd - row.valuesBegin);
    m_statement += ')';
    const std::optional<std::string> restore
        = row.lenient ? relaxStrictMode() : std::optional<std::string>();
    const common::Status done = m_connection.execute(m_statement, parametersOf(batch, row));
    faultAfter(done);
    if (restore) {
        (void)m_connection.execute("SET SESSION sql_mode = '" + *restore + "'");
    }
    if (done.ok()) {
        ++m_inserted;
        ++m_tableRows;
    } else {
        ++m_refused;
        m_lastRefusal = done.error().message;
    }
    settle(1, done.ok());
}

void MySqlTableWriter::flush()
{
    collect();
    Batch &batch = m_filling;
    if (batch.rows.empty()) {
        return;
    }
    if (faultBefore(batch.values.size() + batch.bytes.size())) {
        refuseUnsent(batch, 0);
        batch.clear();
        return;
    }
    if (!m_sessionReady) {
        prepareSession();
    }
    if (m_batching && batch.rows.size() > 1 && !m_tableRowsKnown) {
        m_tableRowsKnown = countRows(m_tableRows);
        m_batching = m_tableRowsKnown;
    }
    const bool lenientRows = std::any_of(
        batch.rows.begin(), batch.rows.end(), [](const PendingRow &row) { return row.lenient; });
    if (!m_batching || batch.rows.size() == 1 || lenientRows) {
        for (std::size_t i = 0; i < batch.rows.size(); ++i) {
            if (!m_fault.empty()) {
                refuseUnsent(batch, i);
                break;
            }
            sendAlone(batch, batch.rows[i]);
        }
        batch.clear();
        return;
    }
    std::swap(m_filling, m_sending);
    m_filling.clear();
    m_statement.assign(m_head);
    m_bound.clear();
    m_bound.reserve(m_sending.parameters.size());
    for (const PendingRow &row : m_sending.rows) {
        m_statement += m_statement.size() == m_head.size() ? "(" : ",(";
        m_statement.append(m_sending.values, row.valuesBegin, row.valuesEnd - row.valuesBegin);
        m_statement += ')';
        for (auto &parameter : parametersOf(m_sending, row)) {
            m_bound.push_back(std::move(parameter));
        }
    }
    m_inFlight = true;
    m_sender.start([this] { m_sent = m_connection.execute(m_statement, m_bound); });
}

void MySqlTableWriter::collect()
{
    if (!m_inFlight) {
        return;
    }
    m_sender.wait();
    m_inFlight = false;
    Batch &batch = m_sending;
    const common::Status done = m_sent;
    // How many of the batch's rows the table gained, as a server that still answers counts
    // them; those ahead of a refused or failing row are in.
    const auto countLanded = [this, &batch]() -> std::size_t {
        std::uint64_t now = 0;
        std::size_t landed = 0;
        if (countRows(now) && now >= m_tableRows) {
            landed = static_cast<std::size_t>(
                std::min<std::uint64_t>(now - m_tableRows, batch.rows.size()));
        }
        m_inserted += landed;
        m_tableRows += landed;
        return landed;
    };
    std::size_t sent = 0;
    if (done.ok()) {
        sent = batch.rows.size();
        m_inserted += sent;
        m_tableRows += sent;
    } else if (faultAfter(done)) {
        // The rows ahead of the failing one may be in the table: a server that still answers
        // says how many; the rest are refused unsent.
        sent = countLanded();
        settle(sent, true);
        refuseUnsent(batch, sent);
        batch.clear();
        return;
    } else {
        // The rows ahead of the refused one are in the table; learn how many.
        sent = countLanded();
        m_sentAlone += batch.rows.size() - sent;
    }
    settle(sent, true);
    for (std::size_t i = sent; i < batch.rows.size(); ++i) {
        if (!m_fault.empty()) {
            refuseUnsent(batch, i);
            break;
        }
        sendAlone(batch, batch.rows[i]);
    }
    batch.clear();
}

void MySqlTableWriter::drain()
{
    flush();
    collect();
}

void MySqlTableWriter::Batch::clear()
{
    rows.clear();
    values.clear();
    bytes.clear();
    parameters.clear();
}

void MySqlTableWriter::finish()
{
    drain();
    if (m_savedSqlMode && m_fault.empty()) {
        (void)m_connection.execute("SET SESSION sql_mode = '" + *m_savedSqlMode + "'");
        m_savedSqlMode.reset();
    }
}

} // namespace job

#include "job/row_insertion.h"

#include "job/folder_listing.h"

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

bool containsIgnoringCase(std::string_view text, std::string_view part)
{
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (equalsIgnoringCase(text.substr(i, part.size()), part)) {
            return true;
        }
    }
    return false;
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

MySqlTableWriter::MySqlTableWriter(mysql::Connection &connection, const frm::FrmTableEntry &table)
    : m_connection(connection)
    , m_tableName(table.dictionaryName.size() > kDictionaryPrefix.size()
              ? table.dictionaryName.substr(kDictionaryPrefix.size())
              : table.dictionaryName)
{
}

void MySqlTableWriter::acceptRow(const innodb::DecodedRow &row)
{
    const innodb::InsertForm form = innodb::makeInsertForm(row, TimestampToText);
    std::vector<mysql::Parameter> parameters;
    parameters.reserve(form.parameters.size());
    m_spilled.clear();
    for (const auto &parameter : form.parameters) {
        common::Bytes bytes = parameter.bytes->memory();
        if (parameter.bytes->spilled()) {
            auto all = parameter.bytes->readAll();
            if (!all) {
                ++m_refused;
                m_lastRefusal = all.error().describe();
                return;
            }
            m_spilled.push_back(std::move(*all));
            bytes = m_spilled.back();
        }
        parameters.push_back(
            mysql::Parameter { parameter.columnName, parameterTypeFor(parameter.typeName),
                std::as_bytes(std::span<const std::uint8_t>(bytes.data(), bytes.size())) });
    }
    const common::Status done
        = m_connection.execute(insertStatementText(m_tableName, form), parameters);
    if (done.ok()) {
        ++m_inserted;
    } else {
        ++m_refused;
        m_lastRefusal = done.error().message;
    }
}

} // namespace job

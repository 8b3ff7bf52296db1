#include "innodb/value_text.h"

#include "frm/charset.h"
#include "frm/column_type.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace innodb {

namespace {

// MySQL's "binary" character set: the bytes of BINARY, VARBINARY and BLOB columns.
constexpr std::uint16_t kBinaryCharset = 63;

// The shortest text that reads back to the same value, in std::to_chars' plain form: fixed or
// scientific, whichever is shorter ("0.1", "1.5e-09", "-0").
template <typename Number> std::string floatingText(Number value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// A member's name as UTF-8 text, as the server shows it to a UTF-8 client.
std::string memberText(const frm::ColumnDef &column, const std::string &member)
{
    return frm::toUtf8(member, column.charset).value_or(member);
}

std::string enumText(const frm::ColumnDef &column, std::uint64_t index)
{
    if (index == 0) {
        return {};
    }
    if (index <= column.elements.size()) {
        return memberText(column, column.elements[index - 1]);
    }
    return std::to_string(index);
}

std::string setText(const frm::ColumnDef &column, std::uint64_t bits)
{
    if (column.elements.empty()) {
        return std::to_string(bits);
    }
    std::string out;
    for (std::size_t i = 0; i < column.elements.size() && i < 64; ++i) {
        if (bits & (std::uint64_t { 1 } << i)) {
            if (!out.empty()) {
                out += ',';
            }
            out += memberText(column, column.elements[i]);
        }
    }
    return out;
}

std::string yearText(std::uint64_t year)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%04llu", static_cast<unsigned long long>(year));
    return buffer;
}

} // namespace

void appendHexDigits(std::string &out, common::Bytes bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::size_t start = out.size();
    out.resize(start + 2 * bytes.size());
    char *to = out.data() + start;
    for (std::uint8_t b : bytes) {
        *to++ = kDigits[b >> 4];
        *to++ = kDigits[b & 0x0F];
    }
}

std::string doubleText(double value) { return floatingText(value); }

std::string floatText(float value) { return floatingText(value); }

std::string utcDateTimeText(std::uint64_t seconds)
{
    if (seconds == 0) {
        return "0000-00-00 00:00:00";
    }
    // Days to civil date (proleptic Gregorian), after Howard Hinnant's days_from_civil inverse.
    const std::int64_t days = static_cast<std::int64_t>(seconds / 86400);
    const auto inDay = static_cast<unsigned>(seconds % 86400);
    const std::int64_t z = days + 719468;
    const std::int64_t era = z / 146097;
    const auto dayOfEra = static_cast<unsigned>(z - era * 146097);
    const unsigned yearOfEra
        = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02u:%02u:%02u",
        static_cast<long long>(year), month, day, inDay / 3600, inDay / 60 % 60, inDay % 60);
    return buffer;
}

namespace {

// Every value that is not character or binary data, in the form both SQL renderings share;
// false for a Bytes value, which each rendering writes its own way.
bool appendScalarValue(
    const FieldValue &value, const TimestampText &timestampText, std::string &text)
{
    char number[32];
    const auto appendNumber = [&text, &number](auto n) {
        const auto end = std::to_chars(number, number + sizeof number, n).ptr;
        text.append(number, end);
    };
    switch (value.kind) {
    case ValueKind::Null:
        // Named with an explicit NULL: a column left out would take its default instead,
        // and `parent int default 0` would come back as 0 where the row held NULL.
        text += "NULL";
        return true;
    case ValueKind::Signed:
        appendNumber(value.integer);
        return true;
    case ValueKind::Unsigned:
    case ValueKind::Year:
    case ValueKind::Enum:
    case ValueKind::Set:
        appendNumber(value.unsignedInteger);
        return true;
    case ValueKind::Double:
        appendNumber(value.real);
        return true;
    case ValueKind::Float:
        // As a double, exactly: the shortest float text can read as a double just above
        // FLT_MAX, which the server refuses as out of range.
        appendNumber(static_cast<double>(value.single));
        return true;
    case ValueKind::Decimal:
        text += value.text;
        return true;
    case ValueKind::Date:
    case ValueKind::Time:
    case ValueKind::DateTime:
    case ValueKind::Text:
        // Digits, signs, dots, colons and hex: nothing to escape.
        text += '\'';
        text += value.text;
        text += '\'';
        return true;
    case ValueKind::Timestamp:
        text += timestampText(static_cast<std::uint32_t>(value.unsignedInteger));
        if (!value.text.empty()) {
            text += '.';
            text += value.text;
        }
        return true;
    case ValueKind::Bytes:
        return false;
    }
    return false;
}

} // namespace

void appendInsertValues(const DecodedRow &row, const TimestampText &timestampText,
    std::string &text, std::vector<std::size_t> &parameterColumns)
{
    for (std::size_t i = 0; i < row.values.size(); ++i) {
        const FieldValue &value = row.values[i];
        if (!frm::isInsertedColumn(row.column(i))) {
            continue; // generated: the server computes it
        }
        if (!appendScalarValue(value, timestampText, text)) {
            if (value.bytes.empty()) {
                text += "''";
            } else if (row.column(i).charset != 0 && row.column(i).charset != kBinaryCharset) {
                // The driver hands a parameter over as utf8 text: a latin1 value with bytes
                // above 0x7F would be refused as an incorrect string. As binary, the column
                // takes the bytes the page held, and checks them in its own character set.
                text += "CAST(? AS BINARY)";
                parameterColumns.push_back(i);
            } else {
                text += '?';
                parameterColumns.push_back(i);
            }
        }
        text += ',';
    }
}

common::Status appendLiteralValues(
    const DecodedRow &row, const TimestampText &timestampText, std::string &text)
{
    return appendLiteralValues(
        row, timestampText, text, [&text](common::Bytes piece) { appendHexDigits(text, piece); });
}

common::Status appendLiteralValues(const DecodedRow &row, const TimestampText &timestampText,
    std::string &text, const std::function<void(common::Bytes)> &hexBytes)
{
    bool first = true;
    for (std::size_t i = 0; i < row.values.size(); ++i) {
        const FieldValue &value = row.values[i];
        if (!frm::isInsertedColumn(row.column(i))) {
            continue; // generated: the server computes it
        }
        if (!first) {
            text += ',';
        }
        first = false;
        if (appendScalarValue(value, timestampText, text)) {
            continue;
        }
        if (value.bytes.empty()) {
            text += "''"; // a bare 0x is no literal on older servers
            continue;
        }
        // A hex literal is the column's bytes in every character set, sql_mode and server
        // version: nothing is converted on the way and no byte can end the literal.
        text += "0x";
        if (!value.bytes.spilled()) {
            hexBytes(value.bytes.memory());
            continue;
        }
        const common::Status read = value.bytes.forEachChunk([&hexBytes](common::Bytes piece) {
            hexBytes(piece);
            return true;
        });
        if (!read.ok()) {
            return read;
        }
    }
    return common::okStatus();
}

bool holdsErrorValue(const DecodedRow &row)
{
    return std::any_of(row.values.begin(), row.values.end(), [](const FieldValue &value) {
        return value.kind == ValueKind::Enum && value.unsignedInteger == 0;
    });
}

InsertForm makeInsertForm(const DecodedRow &row, const TimestampText &timestampText)
{
    InsertForm form;
    std::vector<std::size_t> parameterColumns;
    appendInsertValues(row, timestampText, form.valuesText, parameterColumns);
    for (std::size_t i = 0; i < row.values.size(); ++i) {
        if (frm::isInsertedColumn(row.column(i))) {
            form.columnNames.push_back(row.column(i).name);
        }
    }
    for (const std::size_t i : parameterColumns) {
        form.parameters.push_back(
            { row.column(i).name, row.column(i).typeName, &row.values[i].bytes });
    }
    return form;
}

std::string tsvHeader(const frm::FrmTableEntry &table)
{
    std::string out;
    for (const auto &column : table.definitionOrder) {
        if (column.hiddenByServer) {
            continue;
        }
        if (!out.empty()) {
            out += '\t';
        }
        out += column.name;
    }
    out += '\n';
    return out;
}

common::Status writeTsvLine(const DecodedRow &row, std::ostream &out)
{
    // One buffer for every line of the thread: a row costs no allocation of its own.
    thread_local std::string line;
    line.clear();
    bool first = true;
    for (std::size_t i = 0; i < row.values.size(); ++i) {
        const FieldValue &value = row.values[i];
        const frm::ColumnDef &column = row.column(i);
        if (column.hiddenByServer) {
            continue;
        }
        if (!first) {
            line += '\t';
        }
        first = false;
        switch (value.kind) {
        case ValueKind::Null:
            line += "\\N";
            break;
        case ValueKind::Signed:
            line += std::to_string(value.integer);
            break;
        case ValueKind::Unsigned:
            line += std::to_string(value.unsignedInteger);
            break;
        case ValueKind::Year:
            line += yearText(value.unsignedInteger);
            break;
        case ValueKind::Enum:
            line += enumText(column, value.unsignedInteger);
            break;
        case ValueKind::Set:
            line += setText(column, value.unsignedInteger);
            break;
        case ValueKind::Double:
            line += doubleText(value.real);
            break;
        case ValueKind::Float:
            line += floatText(value.single);
            break;
        case ValueKind::Decimal:
        case ValueKind::Date:
        case ValueKind::Time:
        case ValueKind::DateTime:
        case ValueKind::Text:
            line += value.text;
            break;
        case ValueKind::Timestamp:
            line += utcDateTimeText(value.unsignedInteger);
            if (!value.text.empty()) {
                line += '.';
                line += value.text;
            }
            break;
        case ValueKind::Bytes:
            if (!value.bytes.spilled()) {
                appendHexDigits(line, value.bytes.memory());
            } else {
                // Flush what we have so that a huge value is converted piece by piece.
                out << line;
                line.clear();
                auto status = value.bytes.forEachChunk([&out](common::Bytes piece) {
                    std::string hex;
                    appendHexDigits(hex, piece);
                    out << hex;
                    return static_cast<bool>(out);
                });
                if (!status.ok()) {
                    return status;
                }
            }
            break;
        }
    }
    line += '\n';
    out << line;
    if (!out) {
        return common::ioError("cannot write row");
    }
    return common::okStatus();
}

} // namespace innodb

#include "innodb/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace innodb {

namespace {

// The shortest round-trip digits of `value` and the position of the decimal point relative to
// them (digits "15", point -8 means 0.000000015), the way dtoa reports them.
struct ShortestDigits
{
    std::string digits;
    int point = 0;
};

template <typename Number> ShortestDigits shortestDigits(Number value)
{
    char buffer[64];
    const auto result = std::to_chars(
        buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const auto e = text.find('e');
    ShortestDigits out;
    for (char c : text.substr(0, e)) {
        if (c != '.') {
            out.digits.push_back(c);
        }
    }
    int exponent = 0;
    std::from_chars(
        text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), exponent);
    out.point = exponent + 1;
    return out;
}

// Writes the digits the way the server prints a floating-point column: plain notation while it
// stays short, otherwise "d.ddde-N" with the exponent unpadded.
template <typename Number> std::string floatingText(Number value)
{
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    std::string out = std::signbit(value) ? "-" : "";
    if (value == 0) {
        return out + "0";
    }
    const auto [digits, point] = shortestDigits(value);
    const int length = static_cast<int>(digits.size());
    // Plain notation for exponents from -15 to 15, as the server's my_gcvt does for DOUBLE.
    constexpr int kMaxPointForPlain = 15;
    if (point > -kMaxPointForPlain + 1 && (point <= kMaxPointForPlain || length > point)) {
        if (point <= 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-point), '0');
            out += digits;
        } else if (point < length) {
            out += digits.substr(0, static_cast<std::size_t>(point));
            out += '.';
            out += digits.substr(static_cast<std::size_t>(point));
        } else {
            out += digits;
            out.append(static_cast<std::size_t>(point - length), '0');
        }
        return out;
    }
    out += digits[0];
    if (length > 1) {
        out += '.';
        out += digits.substr(1);
    }
    out += 'e';
    out += std::to_string(point - 1);
    return out;
}

void appendHex(std::string &out, common::Bytes bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
}

std::string enumText(const frm::ColumnDef &column, std::uint64_t index)
{
    if (index == 0) {
        return {};
    }
    if (index <= column.elements.size()) {
        return column.elements[index - 1];
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
            out += column.elements[i];
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

InsertForm makeInsertForm(const DecodedRow &row, const TimestampText &timestampText)
{
    InsertForm form;
    for (std::size_t i = 0; i < row.values.size(); ++i) {
        const FieldValue &value = row.values[i];
        const frm::ColumnDef &column = row.column(i);
        std::string &text = form.valuesText;
        switch (value.kind) {
        case ValueKind::Null:
            continue; // the server fills in NULL for a column that is not named
        case ValueKind::Signed:
            text += std::to_string(value.integer);
            break;
        case ValueKind::Unsigned:
        case ValueKind::Year:
        case ValueKind::Enum:
        case ValueKind::Set:
            text += std::to_string(value.unsignedInteger);
            break;
        case ValueKind::Double:
            text += doubleText(value.real);
            break;
        case ValueKind::Float:
            text += floatText(value.single);
            break;
        case ValueKind::Decimal:
            text += value.text;
            break;
        case ValueKind::Date:
        case ValueKind::Time:
        case ValueKind::DateTime:
            text += '\'';
            text += value.text;
            text += '\'';
            break;
        case ValueKind::Timestamp:
            text += timestampText(static_cast<std::uint32_t>(value.unsignedInteger));
            if (!value.text.empty()) {
                text += '.';
                text += value.text;
            }
            break;
        case ValueKind::Bytes:
            if (value.bytes.empty()) {
                text += "''";
            } else {
                text += '?';
                form.parameters.push_back({ column.name, column.typeName, &value.bytes });
            }
            break;
        }
        text += ',';
        form.columnNames.push_back(column.name);
    }
    return form;
}

std::string tsvHeader(const frm::FrmTableEntry &table)
{
    std::string out;
    for (const auto &column : table.definitionOrder) {
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
    std::string line;
    for (std::size_t i = 0; i < row.values.size(); ++i) {
        const FieldValue &value = row.values[i];
        const frm::ColumnDef &column = row.column(i);
        if (i > 0) {
            line += '\t';
        }
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
                appendHex(line, value.bytes.memory());
            } else {
                // Flush what we have so that a huge value is converted piece by piece.
                out << line;
                line.clear();
                auto status = value.bytes.forEachChunk([&out](common::Bytes piece) {
                    std::string hex;
                    appendHex(hex, piece);
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

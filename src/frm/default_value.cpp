#include "frm/default_value.h"

#include "frm/charset.h"
#include "frm/column_type.h"
#include "frm/plugin_types.h"
#include "frm/temporal_value.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace frm {

namespace {

using namespace fieldtype;

std::string twoDigits(std::uint64_t value)
{
    std::string text = std::to_string(value % 100);
    return text.size() < 2 ? "0" + text : text;
}

std::string padded(std::uint64_t value, std::size_t width)
{
    std::string text = std::to_string(value);
    return text.size() < width ? std::string(width - text.size(), '0') + text : text;
}

std::string quoted(std::string text) { return "'" + text + "'"; }

std::string floatingText(double value, int maxDigits, bool isFloat)
{
    std::array<char, 64> buffer {};
    for (int digits = 1; digits <= maxDigits; ++digits) {
        std::snprintf(buffer.data(), buffer.size(), "%.*g", digits, value);
        const bool same = isFloat ? std::strtof(buffer.data(), nullptr) == static_cast<float>(value)
                                  : std::strtod(buffer.data(), nullptr) == value;
        if (same) {
            break;
        }
    }
    return buffer.data();
}

// Binary DECIMAL: groups of nine digits in four big-endian bytes, leftover digits in a leading
// (integer) and trailing (fraction) group; the top bit of byte 0 is set for values >= 0, and a
// negative value has every byte inverted (decimal.c, decimal2bin).
std::optional<std::string> decimalText(
    common::Bytes bytes, std::uint32_t precision, std::uint32_t scale)
{
    constexpr std::array<std::uint32_t, 10> kBytesForDigits { 0, 1, 1, 2, 2, 3, 3, 4, 4, 4 };
    const std::uint32_t size = decimalStorageSize(precision, scale);
    if (size == 0 || bytes.size() < size) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> raw(bytes.begin(), bytes.begin() + size);
    const bool negative = (raw[0] & 0x80) == 0;
    raw[0] ^= 0x80;
    if (negative) {
        for (auto &b : raw) {
            b = static_cast<std::uint8_t>(~b);
        }
    }
    std::size_t offset = 0;
    const auto group = [&](std::uint32_t digits) {
        const std::uint32_t width = digits == 9 ? 4 : kBytesForDigits[digits];
        const std::uint64_t value = common::readBigEndianUnchecked(raw.data() + offset, width);
        offset += width;
        return value;
    };
    const std::uint32_t integerDigits = precision - scale;
    std::string integerText;
    if (integerDigits % 9 != 0) {
        integerText += std::to_string(group(integerDigits % 9));
    }
    for (std::uint32_t i = 0; i < integerDigits / 9; ++i) {
        integerText += integerText.empty() ? std::to_string(group(9)) : padded(group(9), 9);
    }
    const std::size_t firstDigit = integerText.find_first_not_of('0');
    integerText = firstDigit == std::string::npos ? "0" : integerText.substr(firstDigit);
    std::string fraction;
    for (std::uint32_t i = 0; i < scale / 9; ++i) {
        fraction += padded(group(9), 9);
    }
    if (scale % 9 != 0) {
        fraction += padded(group(scale % 9), scale % 9);
    }
    std::string text = (negative ? "-" : "") + integerText;
    if (!fraction.empty()) {
        text += "." + fraction;
    }
    return text;
}

std::string bitText(std::uint64_t value)
{
    std::string bits;
    for (; value != 0; value >>= 1) {
        bits.insert(bits.begin(), (value & 1) ? '1' : '0');
    }
    return "b'" + (bits.empty() ? std::string("0") : bits) + "'";
}

} // namespace

std::string utcDateTimeText(std::int64_t seconds)
{
    // Civil date from days since 1970-01-01 (H. Hinnant's days_from_civil, inverted).
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra
        = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    const auto u = [](std::int64_t v) { return static_cast<std::uint64_t>(v); };
    return padded(u(year), 4) + "-" + twoDigits(u(month)) + "-" + twoDigits(u(day)) + " "
        + twoDigits(u(rest / 3600)) + ":" + twoDigits(u(rest / 60 % 60)) + ":"
        + twoDigits(u(rest % 60));
}

std::string stringLiteral(std::string_view bytes, std::uint16_t charset, bool introducer)
{
    const Collation *collation = findCollation(charset);
    // Bytes above 127 go into the statement as they are only for UTF-8 text, which is what the
    // statement itself is sent as.
    const bool utf8
        = collation && (collation->charset == "utf8" || collation->charset == "utf8mb4");
    bool plain = true;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || (b >= 0x80 && !utf8)) {
            plain = false;
            break;
        }
    }
    if (!plain) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        // With its character set named, the value means the same characters wherever it goes.
        std::string hex = introducer && collation && charset != kCharsetBinary
            ? "_" + std::string(collation->charset) + " X'"
            : "X'";
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            hex += kHex[b >> 4];
            hex += kHex[b & 15];
        }
        return hex + "'";
    }
    std::string text = "'";
    for (const char c : bytes) {
        if (c == '\'') {
            text += "''";
        } else if (c == '\\') {
            text += "\\\\";
        } else {
            text += c;
        }
    }
    return text + "'";
}

std::optional<std::string> defaultValueLiteral(const ColumnDef &column, common::Bytes value)
{
    const std::uint16_t size = columnSize(column);
    const auto need = [&](std::size_t bytes) { return value.size() >= bytes; };
    const auto little
        = [&](std::size_t width) { return common::readLittleEndianUnchecked(value.data(), width); };
    const auto big = [&](std::size_t offset, std::size_t width) {
        return common::readBigEndianUnchecked(value.data() + offset, width);
    };
    const std::uint8_t digits = column.fractionalDigits;

    switch (column.fieldType) {
    case kTiny:
    case kShort:
    case kInt24:
    case kLong:
    case kLongLong: {
        if (size == 0 || size > 8 || !need(size)) {
            return std::nullopt;
        }
        const std::uint64_t raw = little(size);
        if (column.isUnsigned || size == 8) {
            if (!column.isUnsigned) {
                return std::to_string(static_cast<std::int64_t>(raw));
            }
            return std::to_string(raw);
        }
        const unsigned bits = 8U * size;
        const std::int64_t signedValue = (raw & (1ULL << (bits - 1)))
            ? static_cast<std::int64_t>(raw) - static_cast<std::int64_t>(1ULL << bits)
            : static_cast<std::int64_t>(raw);
        return std::to_string(signedValue);
    }
    case kFloat: {
        if (!need(4)) {
            return std::nullopt;
        }
        const auto raw = static_cast<std::uint32_t>(little(4));
        float f = 0;
        std::memcpy(&f, &raw, 4);
        return std::isfinite(f) ? std::optional(floatingText(f, 9, true)) : std::nullopt;
    }
    case kDouble: {
        if (!need(8)) {
            return std::nullopt;
        }
        const std::uint64_t raw = little(8);
        double d = 0;
        std::memcpy(&d, &raw, 8);
        return std::isfinite(d) ? std::optional(floatingText(d, 17, false)) : std::nullopt;
    }
    case kNewDecimal:
        return decimalText(value, column.precision, column.scale);
    case kOldDecimal: {
        if (!need(column.byteLength)) {
            return std::nullopt;
        }
        std::string text(reinterpret_cast<const char *>(value.data()), column.byteLength);
        const std::size_t first = text.find_first_not_of(' ');
        return first == std::string::npos ? "0" : text.substr(first);
    }
    case kYear: {
        if (!need(1)) {
            return std::nullopt;
        }
        return value[0] == 0 ? std::string("0000") : std::to_string(1900 + value[0]);
    }
    case kNewDate:
        if (!need(3)) {
            return std::nullopt;
        }
        return quoted(packedDateText(little(3)));
    case kTime:
    case kTime2:
    case kDateTime:
    case kDateTime2: {
        if (!need(size)) {
            return std::nullopt;
        }
        if (temporalForm(column.fieldType, digits) != TemporalForm::Classic) {
            const auto text = binaryTemporalText(column.fieldType, digits, value.first(size));
            return text ? std::optional(quoted(*text)) : std::nullopt;
        }
        if (column.fieldType == kDateTime) {
            return quoted(classicDateTimeText(little(8)));
        }
        std::int64_t raw = static_cast<std::int64_t>(little(3));
        if (raw & 0x800000) {
            raw -= 0x1000000;
        }
        return quoted(classicTimeText(raw));
    }
    case kTimestamp:
    case kTimestamp2: {
        if (!need(size)) {
            return std::nullopt;
        }
        std::uint64_t seconds = 0;
        std::string fraction;
        if (temporalForm(column.fieldType, digits) == TemporalForm::Classic) {
            seconds = little(4);
        } else if (const auto stored
            = binaryTimestamp(column.fieldType, digits, value.first(size))) {
            seconds = stored->seconds;
            fraction = stored->fraction.empty() ? "" : "." + stored->fraction;
        } else {
            return std::nullopt;
        }
        return quoted((seconds == 0 ? std::string("0000-00-00 00:00:00")
                                    : utcDateTimeText(static_cast<std::int64_t>(seconds)))
            + fraction);
    }
    case kBit: {
        if (size == 0 || size > 8 || !need(size)) {
            return std::nullopt;
        }
        return bitText(big(0, size));
    }
    case kEnum: {
        if (!need(size)) {
            return std::nullopt;
        }
        const std::uint64_t index = little(size);
        if (index == 0 || index > column.elements.size()) {
            return std::string("''");
        }
        return stringLiteral(column.elements[index - 1], column.charset, true);
    }
    case kSet: {
        if (!need(size)) {
            return std::nullopt;
        }
        const std::uint64_t bits = little(size);
        std::string members;
        const std::string comma = encodedCharacter(',', column.charset);
        for (std::size_t i = 0; i < column.elements.size() && i < 64; ++i) {
            if (bits & (1ULL << i)) {
                members += (members.empty() ? "" : comma) + column.elements[i];
            }
        }
        return stringLiteral(members, column.charset, true);
    }
    case kString:
    case kVarString: {
        // VAR_STRING is the VARCHAR of MySQL 4.1 tables, which a row holds as CHAR does.
        if (!need(column.dataTypeName.empty() ? column.byteLength : size)) {
            return std::nullopt;
        }
        if (!column.dataTypeName.empty()) {
            const std::string text = pluginValueText(
                pluginTypeNamed(column.dataTypeName), value.first(size), column.legacyUuid);
            return text.empty() ? std::nullopt : std::optional(quoted(text));
        }
        std::string text(reinterpret_cast<const char *>(value.data()), column.byteLength);
        // CHAR pads with the space of its character set and the server strips whole ones on
        // reading; BINARY keeps its bytes.
        if (column.charset != kCharsetBinary) {
            const std::string space(paddingCharacter(column.charset));
            while (text.size() >= space.size() && text.size() % space.size() == 0
                && text.compare(text.size() - space.size(), space.size(), space) == 0) {
                text.resize(text.size() - space.size());
            }
        }
        return stringLiteral(text, column.charset, true);
    }
    case kVarchar: {
        const std::size_t lengthBytes = column.byteLength > 255 ? 2 : 1;
        if (!need(lengthBytes)) {
            return std::nullopt;
        }
        const std::uint64_t length = little(lengthBytes);
        if (length > column.byteLength || !need(lengthBytes + length)) {
            return std::nullopt;
        }
        return stringLiteral(
            std::string_view(reinterpret_cast<const char *>(value.data()) + lengthBytes, length),
            column.charset, true);
    }
    default:
        return std::nullopt;
    }
}

} // namespace frm

#include "innodb/value_decoders.h"

#include "frm/charset.h"
#include "frm/column_type.h"
#include "frm/temporal_value.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace innodb {

namespace {

// MySQL field type numbers (mysql_com.h, enum_field_types).
enum FieldType : std::uint8_t {
    kTypeOldDecimal = 0,
    kTypeTiny = 1,
    kTypeShort = 2,
    kTypeLong = 3,
    kTypeFloat = 4,
    kTypeDouble = 5,
    kTypeTimestamp = 7,
    kTypeLongLong = 8,
    kTypeInt24 = 9,
    kTypeDate = 10,
    kTypeTime = 11,
    kTypeDateTime = 12,
    kTypeYear = 13,
    kTypeNewDate = 14,
    kTypeVarchar = 15,
    kTypeBit = 16,
    kTypeTimestamp2 = 17,
    kTypeDateTime2 = 18,
    kTypeTime2 = 19,
    kTypeJson = 245,
    kTypeNewDecimal = 246,
    kTypeEnum = 247,
    kTypeSet = 248,
    kTypeTinyBlob = 249,
    kTypeMediumBlob = 250,
    kTypeLongBlob = 251,
    kTypeBlob = 252,
    kTypeVarString = 253,
    kTypeString = 254,
    kTypeGeometry = 255,
};

inline constexpr std::uint16_t kBinaryCharset = 63;

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x))
            == std::tolower(static_cast<unsigned char>(y));
    });
}

// The field type of a column whose definition gave only the type name.
std::uint8_t fieldTypeFromName(std::string_view name)
{
    struct NameType
    {
        std::string_view name;
        std::uint8_t type;
    };
    static constexpr NameType kNames[] = {
        { "TinyInt", kTypeTiny },
        { "SmallInt", kTypeShort },
        { "Int", kTypeLong },
        { "Float", kTypeFloat },
        { "DOUBLE", kTypeDouble },
        { "TimeStamp", kTypeTimestamp },
        { "BigInt", kTypeLongLong },
        { "MediumInt", kTypeInt24 },
        { "DateTime", kTypeDateTime },
        { "Date", kTypeNewDate },
        { "Varchar", kTypeVarchar },
        { "VarBinary", kTypeVarchar },
        { "Bit", kTypeBit },
        { "Decimal", kTypeNewDecimal },
        { "Medium Text", kTypeMediumBlob },
        { "Medium_Text", kTypeMediumBlob },
        { "MediumText", kTypeMediumBlob },
        { "LongText", kTypeLongBlob },
        { "Text", kTypeBlob },
        { "Blob", kTypeBlob },
        { "TinyBlob", kTypeTinyBlob },
        { "LongBlob", kTypeLongBlob },
        { "Char", kTypeString },
        { "Binary", kTypeString },
        { "Year", kTypeYear },
        { "Time", kTypeTime },
    };
    for (const auto &entry : kNames) {
        if (equalsIgnoringCase(entry.name, name)) {
            return entry.type;
        }
    }
    return kTypeOldDecimal;
}

bool isUnsignedColumn(const frm::ColumnDef &column)
{
    return column.isUnsigned || equalsIgnoringCase(column.signedness, "unsigned");
}

// Bytes of a leftover group of 1..8 decimal digits (decimal.c, dig2bytes).
constexpr std::uint32_t kDigitBytes[10] = { 0, 1, 1, 2, 2, 3, 3, 4, 4, 4 };

std::uint64_t bigEndian(common::Bytes bytes)
{
    return common::readBigEndianUnchecked(bytes.data(), bytes.size());
}

void setUnsigned(FieldValue &out, ValueKind kind, std::uint64_t value)
{
    out.kind = kind;
    out.unsignedInteger = value;
}

} // namespace

bool isNullableColumn(const frm::ColumnDef &column)
{
    return column.nullable || equalsIgnoringCase(column.nullability, "NULL");
}

std::uint32_t decimalSize(std::uint8_t precision, std::uint8_t scale)
{
    const std::uint32_t integerDigits = precision >= scale ? precision - scale : 0;
    return integerDigits / 9 * 4 + kDigitBytes[integerDigits % 9] + scale / 9u * 4
        + kDigitBytes[scale % 9];
}

ColumnFormat columnFormat(const frm::ColumnDef &column)
{
    ColumnFormat format;
    const std::uint8_t type = column.fieldType != 0 || column.typeName.empty()
        ? column.fieldType
        : fieldTypeFromName(column.typeName);
    const bool unsignedColumn = isUnsignedColumn(column);
    auto integer = [&](std::uint32_t size) {
        format.codec = unsignedColumn ? ColumnCodec::UnsignedInteger : ColumnCodec::SignedInteger;
        format.fixedSize = size;
    };
    auto fixed = [&](ColumnCodec codec, std::uint32_t size) {
        format.codec = codec;
        format.fixedSize = size;
    };
    auto variable = [&](ColumnCodec codec, bool big) {
        format.codec = codec;
        format.variable = true;
        format.big = big;
    };
    switch (type) {
    case kTypeTiny:
        integer(1);
        break;
    case kTypeShort:
        integer(2);
        break;
    case kTypeInt24:
        integer(3);
        break;
    case kTypeLong:
        integer(4);
        break;
    case kTypeLongLong:
        integer(8);
        break;
    case kTypeFloat:
        fixed(ColumnCodec::Float, 4);
        break;
    case kTypeDouble:
        fixed(ColumnCodec::Double, 8);
        break;
    case kTypeNewDecimal:
        format.precision = column.precision;
        format.scale = column.scale;
        fixed(ColumnCodec::Decimal, decimalSize(column.precision, column.scale));
        break;
    case kTypeOldDecimal:
        variable(ColumnCodec::OldDecimal, column.byteLength > 255);
        break;
    case kTypeNewDate:
        fixed(ColumnCodec::Date, 3);
        break;
    case kTypeTime:
    case kTypeDateTime:
    case kTypeTimestamp:
    case kTypeTime2:
    case kTypeDateTime2:
    case kTypeTimestamp2: {
        // The form follows from the type and the fraction, as the server chooses it.
        const std::uint8_t digits = column.fractionalDigits != 0
            ? column.fractionalDigits
            : frm::temporalFractionalDigits(type, column.byteLength);
        const bool classic = frm::temporalForm(type, digits) == frm::TemporalForm::Classic;
        const bool time = type == kTypeTime || type == kTypeTime2;
        const bool timestamp = type == kTypeTimestamp || type == kTypeTimestamp2;
        format.fieldType = type;
        format.fractionDigits = digits;
        fixed(classic ? (time     ? ColumnCodec::Time
                      : timestamp ? ColumnCodec::Timestamp
                                  : ColumnCodec::DateTime)
                      : (time             ? ColumnCodec::BinaryTime
                              : timestamp ? ColumnCodec::BinaryTimestamp
                                          : ColumnCodec::BinaryDateTime),
            frm::temporalStorageSize(type, digits));
        break;
    }
    case kTypeYear:
        fixed(ColumnCodec::Year, 1);
        break;
    case kTypeEnum:
        fixed(ColumnCodec::Enum, column.elements.size() > 255 ? 2 : 1);
        break;
    case kTypeSet: {
        const std::size_t bytes = (column.elements.size() + 7) / 8;
        fixed(ColumnCodec::Set,
            bytes > 4 ? 8 : static_cast<std::uint32_t>(std::max<std::size_t>(bytes, 1)));
        break;
    }
    case kTypeBit:
        fixed(ColumnCodec::Bit, std::max<std::uint32_t>((column.byteLength + 7) / 8, 1));
        break;
    case kTypeVarchar:
    case kTypeVarString:
        variable(ColumnCodec::Bytes, column.byteLength > 255);
        break;
    case kTypeTinyBlob:
    case kTypeMediumBlob:
    case kTypeLongBlob:
    case kTypeBlob:
    case kTypeJson:
    case kTypeGeometry:
        variable(ColumnCodec::Bytes, true);
        break;
    case kTypeString:
        format.charset = column.charset;
        if (!column.dataTypeName.empty()) {
            format.plugin = frm::pluginTypeNamed(column.dataTypeName);
            format.legacyUuid = column.legacyUuid;
            fixed(ColumnCodec::PluginText, frm::pluginTypeSize(format.plugin));
            format.supported = format.plugin != frm::PluginType::Unknown;
        } else if (!column.elements.empty()) {
            // An ENUM as older definition files describe it: a string type with members.
            fixed(ColumnCodec::Enum, column.elements.size() > 255 ? 2 : 1);
        } else if (column.maxBytesPerChar > column.minBytesPerChar) {
            // CHAR in a variable-width character set (utf8, utf8mb4, utf16, sjis, ...) is stored
            // with a length, its padding trimmed down to n characters of the smallest width.
            variable(ColumnCodec::PaddedText, column.byteLength > 255);
        } else {
            fixed(column.charset == kBinaryCharset ? ColumnCodec::Bytes : ColumnCodec::PaddedText,
                column.byteLength);
        }
        break;
    default:
        format.supported = false; // the record decoder refuses the table rather than guess
    }
    return format;
}

std::string DatetimeToText(common::Bytes eightBytes)
{
    if (eightBytes.size() != 8) {
        return {};
    }
    const auto raw = bigEndian(eightBytes) ^ (std::uint64_t { 1 } << 63);
    // All zero bytes (never written by a server) read as the zero date, like the stored one.
    const auto value = static_cast<std::int64_t>(raw);
    return frm::classicDateTimeText(value < 0 ? 0 : static_cast<std::uint64_t>(value));
}

double DoubleFromBytes(common::Bytes eightBytes)
{
    if (eightBytes.size() != 8) {
        return 0;
    }
    return std::bit_cast<double>(common::readLittleEndianUnchecked(eightBytes.data(), 8));
}

std::string decimalText(common::Bytes bytes, std::uint8_t precision, std::uint8_t scale)
{
    if (precision < scale || bytes.size() != decimalSize(precision, scale) || bytes.empty()) {
        return {};
    }
    std::uint8_t work[64];
    if (bytes.size() > sizeof work) {
        return {};
    }
    std::memcpy(work, bytes.data(), bytes.size());
    const bool negative = (work[0] & 0x80) == 0;
    if (negative) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            work[i] = static_cast<std::uint8_t>(~work[i]);
        }
    }
    work[0] &= 0x7F;
    const std::uint32_t integerDigits = precision - scale;
    std::size_t at = 0;
    auto group = [&](std::uint32_t width) {
        const std::uint64_t value = common::readBigEndianUnchecked(work + at, width);
        at += width;
        return value;
    };
    std::string integerPart;
    bool damaged = false;
    auto appendGroup = [&](std::string &to, std::uint64_t value, std::uint32_t digits, bool pad) {
        std::uint64_t limit = 1;
        for (std::uint32_t i = 0; i < digits; ++i) {
            limit *= 10;
        }
        if (value >= limit) {
            damaged = true;
        }
        if (!pad) {
            to += std::to_string(value);
            return;
        }
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "%0*llu", static_cast<int>(digits),
            static_cast<unsigned long long>(value));
        to += buffer;
    };
    if (const std::uint32_t lead = integerDigits % 9; lead > 0) {
        appendGroup(integerPart, group(kDigitBytes[lead]), lead, false);
    }
    for (std::uint32_t i = 0; i < integerDigits / 9; ++i) {
        appendGroup(integerPart, group(4), 9, true);
    }
    std::string fractionPart;
    for (std::uint32_t i = 0; i < scale / 9u; ++i) {
        appendGroup(fractionPart, group(4), 9, true);
    }
    if (const std::uint32_t trail = scale % 9u; trail > 0) {
        appendGroup(fractionPart, group(kDigitBytes[trail]), trail, true);
    }
    if (damaged) {
        return {};
    }
    const auto firstDigit = integerPart.find_first_not_of('0');
    integerPart = firstDigit == std::string::npos ? "0" : integerPart.substr(firstDigit);
    const bool isZero
        = integerPart == "0" && fractionPart.find_first_not_of('0') == std::string::npos;
    std::string out = negative && !isZero ? "-" : "";
    out += integerPart;
    if (scale > 0) {
        out += '.';
        out += fractionPart;
    }
    return out;
}

bool decodeValue(const ColumnFormat &format, common::Bytes bytes, FieldValue &out)
{
    out.text.clear();
    if (!format.variable && bytes.size() != format.fixedSize) {
        return false;
    }
    switch (format.codec) {
    case ColumnCodec::SignedInteger: {
        if (bytes.empty() || bytes.size() > 8) {
            return false;
        }
        const std::uint64_t raw = bigEndian(bytes);
        const std::uint64_t bias = std::uint64_t { 1 } << (8 * bytes.size() - 1);
        out.kind = ValueKind::Signed;
        // raw - bias computed without overflow: below the bias the value is negative.
        out.integer = raw >= bias ? static_cast<std::int64_t>(raw - bias)
                                  : -static_cast<std::int64_t>(bias - raw - 1) - 1;
        return true;
    }
    case ColumnCodec::UnsignedInteger:
        if (bytes.empty() || bytes.size() > 8) {
            return false;
        }
        setUnsigned(out, ValueKind::Unsigned, bigEndian(bytes));
        return true;
    case ColumnCodec::Bit:
        if (bytes.size() > 8) {
            return false;
        }
        setUnsigned(out, ValueKind::Unsigned, bigEndian(bytes));
        return true;
    case ColumnCodec::Float:
        out.kind = ValueKind::Float;
        out.single = std::bit_cast<float>(
            static_cast<std::uint32_t>(common::readLittleEndianUnchecked(bytes.data(), 4)));
        return true;
    case ColumnCodec::Double:
        out.kind = ValueKind::Double;
        out.real = DoubleFromBytes(bytes);
        return true;
    case ColumnCodec::Decimal:
        out.text = decimalText(bytes, format.precision, format.scale);
        out.kind = ValueKind::Decimal;
        return !out.text.empty();
    case ColumnCodec::OldDecimal:
        out.kind = ValueKind::Decimal;
        out.text.assign(bytes.begin(), bytes.end());
        while (!out.text.empty() && out.text.front() == ' ') {
            out.text.erase(out.text.begin());
        }
        return true;
    case ColumnCodec::Date:
        out.kind = ValueKind::Date;
        out.text = frm::packedDateText(bigEndian(bytes) ^ 0x800000);
        return true;
    case ColumnCodec::Time:
        out.kind = ValueKind::Time;
        out.text = frm::classicTimeText(static_cast<std::int64_t>(bigEndian(bytes)) - 0x800000);
        return true;
    case ColumnCodec::DateTime:
        out.kind = ValueKind::DateTime;
        out.text = DatetimeToText(bytes);
        return true;
    case ColumnCodec::Timestamp:
        setUnsigned(out, ValueKind::Timestamp, bigEndian(bytes));
        return true;
    case ColumnCodec::BinaryTime:
    case ColumnCodec::BinaryDateTime: {
        auto text = frm::binaryTemporalText(format.fieldType, format.fractionDigits, bytes);
        if (!text) {
            return false;
        }
        out.kind = format.codec == ColumnCodec::BinaryTime ? ValueKind::Time : ValueKind::DateTime;
        out.text = std::move(*text);
        return true;
    }
    case ColumnCodec::BinaryTimestamp: {
        auto value = frm::binaryTimestamp(format.fieldType, format.fractionDigits, bytes);
        if (!value) {
            return false;
        }
        setUnsigned(out, ValueKind::Timestamp, value->seconds);
        out.text = std::move(value->fraction);
        return true;
    }
    case ColumnCodec::Year: {
        const std::uint64_t v = bigEndian(bytes);
        setUnsigned(out, ValueKind::Year, v == 0 ? 0 : 1900 + v);
        return true;
    }
    case ColumnCodec::Enum:
        setUnsigned(out, ValueKind::Enum, bigEndian(bytes));
        return true;
    case ColumnCodec::Set:
        setUnsigned(out, ValueKind::Set, bigEndian(bytes));
        return true;
    case ColumnCodec::PaddedText: {
        // The server pads CHAR with the space of its character set and removes whole spaces
        // again when it reads the value: 0x20, or 0x0020 / 0x00000020 units in ucs2, utf16 and
        // utf32.
        const std::string_view space = frm::paddingCharacter(format.charset);
        const auto isSpace = [&](std::size_t end) {
            return std::equal(space.begin(), space.end(),
                bytes.begin() + static_cast<std::ptrdiff_t>(end - space.size()),
                [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
        };
        std::size_t length = bytes.size();
        // A value that is not whole characters is kept as it is.
        while (bytes.size() % space.size() == 0 && length >= space.size() && isSpace(length)) {
            length -= space.size();
        }
        bytes = bytes.first(length);
        out.kind = ValueKind::Bytes;
        out.bytes.assign(bytes);
        return true;
    }
    case ColumnCodec::PluginText:
        out.kind = ValueKind::Text;
        out.text = frm::pluginValueText(format.plugin, bytes, format.legacyUuid);
        return !out.text.empty();
    case ColumnCodec::Bytes: {
        out.kind = ValueKind::Bytes;
        out.bytes.assign(bytes);
        return true;
    }
    }
    return false;
}

} // namespace innodb

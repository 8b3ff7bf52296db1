#include "frm/column_type.h"

#include "frm/charset.h"
#include "frm/default_value.h"
#include "frm/plugin_types.h"

#include <array>
#include <utility>

namespace frm {

namespace {

using namespace fieldtype;

struct KeyListName
{
    std::uint16_t code;
    std::string_view name;
};

// The classic table: latin1 (8), utf8 (33), latin1_bin (47), binary (63) and utf8_bin (83) codes.
constexpr std::array kKeyListNames {
    KeyListName { 0x0801, "TinyInt" },
    KeyListName { 0x0802, "SmallInt" },
    KeyListName { 0x0803, "Int" },
    KeyListName { 0x0804, "Float" },
    KeyListName { 0x0805, "DOUBLE" },
    KeyListName { 0x0807, "TimeStamp" },
    KeyListName { 0x0808, "BigInt" },
    KeyListName { 0x0809, "MediumInt" },
    KeyListName { 0x080C, "DateTime" },
    KeyListName { 0x080E, "Date" },
    KeyListName { 0x080F, "Varchar" },
    KeyListName { 0x0810, "Bit" },
    KeyListName { 0x08F6, "Decimal" },
    KeyListName { 0x08FA, "Medium Text" },
    KeyListName { 0x08FB, "LongText" },
    KeyListName { 0x08FC, "Text" },
    KeyListName { 0x08FE, "Char" },
    KeyListName { 0x2101, "TinyInt" },
    KeyListName { 0x2102, "SmallInt" },
    KeyListName { 0x2103, "Int" },
    KeyListName { 0x2104, "Float" },
    KeyListName { 0x2105, "DOUBLE" },
    KeyListName { 0x2107, "TimeStamp" },
    KeyListName { 0x2108, "BigInt" },
    KeyListName { 0x2109, "MediumInt" },
    KeyListName { 0x210C, "DateTime" },
    KeyListName { 0x210E, "Date" },
    KeyListName { 0x2110, "Bit" },
    KeyListName { 0x21F6, "Decimal" },
    KeyListName { 0x21F9, "Text" },
    KeyListName { 0x21FA, "Medium Text" },
    KeyListName { 0x21FB, "LongText" },
    KeyListName { 0x21FC, "Text" },
    KeyListName { 0x21FE, "Char" },
    KeyListName { 0x2F0F, "Varchar" },
    KeyListName { 0x3F07, "TimeStamp" },
    KeyListName { 0x3F0C, "DateTime" },
    KeyListName { 0x3F0F, "VarBinary" },
    KeyListName { 0x3FF9, "TinyBlob" },
    KeyListName { 0x3FFB, "LongBlob" },
    KeyListName { 0x3FFC, "Blob" },
    KeyListName { 0x3FFE, "Binary" },
};

// "Medium Text" is what the type names have always said; "Medium_Text" and the other spellings
// are accepted so that a name from anywhere in the program compares equal.
constexpr std::array<std::string_view, 15> kVariableLengthNames {
    "VarBinary",
    "LongText",
    "Blob",
    "Varchar",
    "TinyBlob",
    "Text",
    "Medium_Text",
    "LongBlob",
    "TinyText",
    "MediumBlob",
    "Medium Text",
    "MediumText",
    "Enum_Text",
    "Json",
    "Geometry",
};

std::string withWidth(std::string_view name, std::uint32_t width)
{
    return std::string(name) + "(" + std::to_string(width) + ")";
}

std::string withFraction(std::string_view name, std::uint8_t digits)
{
    return digits > 0 ? withWidth(name, digits) : std::string(name);
}

std::string numericSuffix(const ColumnDef &column)
{
    std::string suffix;
    if (column.isUnsigned) {
        suffix += " unsigned";
    }
    if (column.zerofill) {
        suffix += " zerofill";
    }
    return suffix;
}

std::string elementList(std::string_view name, const ColumnDef &column)
{
    std::string text(name);
    text += '(';
    for (std::size_t i = 0; i < column.elements.size(); ++i) {
        if (i > 0) {
            text += ',';
        }
        // The members are in the column's character set: hex unless plain ASCII.
        text += stringLiteral(column.elements[i], column.charset);
    }
    text += ')';
    return text;
}

// FLOAT and DOUBLE keep 31 in their decimals bits when declared without (M,D).
constexpr std::uint8_t kNotFixedDecimals = 31;

} // namespace

std::optional<std::string_view> keyListTypeName(std::uint16_t code)
{
    for (const KeyListName &entry : kKeyListNames) {
        if (entry.code == code) {
            return entry.name;
        }
    }
    return std::nullopt;
}

std::string_view columnTypeName(std::uint8_t fieldType, std::uint16_t charset)
{
    const bool binary = charset == kCharsetBinary;
    switch (fieldType) {
    case kTiny:
        return "TinyInt";
    case kShort:
        return "SmallInt";
    case kLong:
        return "Int";
    case kFloat:
        return "Float";
    case kDouble:
        return "DOUBLE";
    case kTimestamp:
    case kTimestamp2:
        return "TimeStamp";
    case kLongLong:
        return "BigInt";
    case kInt24:
        return "MediumInt";
    case kDate:
    case kNewDate:
        return "Date";
    case kTime:
    case kTime2:
        return "Time";
    case kDateTime:
    case kDateTime2:
        return "DateTime";
    case kYear:
        return "Year";
    case kVarchar:
    case kVarString:
        return binary ? "VarBinary" : "Varchar";
    case kBit:
        return "Bit";
    case kOldDecimal:
    case kNewDecimal:
        return "Decimal";
    case kEnum:
        return "Enum";
    case kSet:
        return "Set";
    case kTinyBlob:
        return binary ? "TinyBlob" : "TinyText";
    case kMediumBlob:
        return binary ? "MediumBlob" : "Medium Text";
    case kLongBlob:
        return binary ? "LongBlob" : "LongText";
    case kBlob:
        return binary ? "Blob" : "Text";
    case kString:
        return binary ? "Binary" : "Char";
    case kJson:
        return "Json";
    case kGeometry:
        return "Geometry";
    default:
        return {};
    }
}

bool isNumericFieldType(std::uint8_t fieldType)
{
    switch (fieldType) {
    case kTiny:
    case kShort:
    case kInt24:
    case kLong:
    case kLongLong:
    case kFloat:
    case kDouble:
    case kOldDecimal:
    case kNewDecimal:
        return true;
    default:
        return false;
    }
}

bool isCharacterFieldType(std::uint8_t fieldType)
{
    switch (fieldType) {
    case kVarchar:
    case kVarString:
    case kString:
    case kEnum:
    case kSet:
    case kTinyBlob:
    case kMediumBlob:
    case kLongBlob:
    case kBlob:
        return true;
    default:
        return false;
    }
}

bool isBlobFieldType(std::uint8_t fieldType)
{
    return fieldType == kTinyBlob || fieldType == kMediumBlob || fieldType == kLongBlob
        || fieldType == kBlob || fieldType == kGeometry || fieldType == kJson;
}

bool isStoredColumn(const ColumnDef &column)
{
    return column.generation != ColumnDef::Generation::Virtual
        && (!column.hiddenByServer || column.storedByServer);
}

bool isInsertedColumn(const ColumnDef &column)
{
    return column.generation == ColumnDef::Generation::None && !column.hiddenByServer;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower
            = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool isVariableLengthTypeName(std::string_view typeName)
{
    for (const std::string_view name : kVariableLengthNames) {
        if (sameName(name, typeName)) {
            return true;
        }
    }
    return false;
}

bool hasLongLength(std::string_view typeName, std::uint32_t byteLength)
{
    return (sameName(typeName, "Varchar") || sameName(typeName, "VarBinary")) && byteLength > 255;
}

std::uint32_t decimalStorageSize(std::uint32_t precision, std::uint32_t scale)
{
    // Groups of nine digits take four bytes; a leftover group takes what its digits need
    // (decimal.c, dig2bytes).
    constexpr std::array<std::uint32_t, 10> kBytesForDigits { 0, 1, 1, 2, 2, 3, 3, 4, 4, 4 };
    if (scale > precision) {
        return 0;
    }
    const std::uint32_t integerDigits = precision - scale;
    return integerDigits / 9 * 4 + kBytesForDigits[integerDigits % 9] + scale / 9 * 4
        + kBytesForDigits[scale % 9];
}

std::uint8_t temporalFractionalDigits(std::uint8_t fieldType, std::uint32_t fieldLength)
{
    // The field length is the display width: 19 for DATETIME and TIMESTAMP, 10 for TIME, plus a
    // point and the digits when there is a fraction.
    std::uint32_t base = 0;
    switch (fieldType) {
    case kTimestamp:
    case kTimestamp2:
    case kDateTime:
    case kDateTime2:
        base = 19;
        break;
    case kTime:
    case kTime2:
        base = 10;
        break;
    default:
        return 0;
    }
    if (fieldLength <= base + 1) {
        return 0;
    }
    const std::uint32_t digits = fieldLength - base - 1;
    return static_cast<std::uint8_t>(digits > 6 ? 6 : digits);
}

TemporalForm temporalForm(std::uint8_t fieldType, std::uint8_t fractionalDigits)
{
    switch (fieldType) {
    case kTime:
    case kDateTime:
    case kTimestamp:
        return fractionalDigits == 0 ? TemporalForm::Classic : TemporalForm::MariaDbHires;
    case kTime2:
    case kDateTime2:
    case kTimestamp2:
        return TemporalForm::MySql56;
    default:
        return TemporalForm::NotTemporal;
    }
}

std::uint32_t temporalStorageSize(std::uint8_t fieldType, std::uint8_t fractionalDigits)
{
    const std::uint32_t digits = fractionalDigits > 6 ? 6 : fractionalDigits;
    // MySQL 5.6 adds the fraction in whole bytes of two digits (1 byte hundredths, 2 bytes
    // 1/10000 s, 3 bytes microseconds); MariaDB's hires forms store seconds * 10^n + fraction as
    // one number of as many bytes as its range needs (sql/field.cc, datetime_hires_bytes and
    // time_hires_bytes); a hires TIMESTAMP's fraction takes 1, 1, 2, 2, 3, 3 bytes after the
    // seconds.
    constexpr std::array<std::uint32_t, 7> kHiresDateTime { 8, 6, 6, 7, 7, 7, 8 };
    constexpr std::array<std::uint32_t, 7> kHiresTime { 3, 4, 4, 5, 5, 5, 6 };
    const std::uint32_t fractionBytes = (digits + 1) / 2;
    switch (fieldType) {
    case kTime:
        return kHiresTime[digits];
    case kTime2:
        return 3 + fractionBytes;
    case kDateTime:
        return kHiresDateTime[digits];
    case kDateTime2:
        return 5 + fractionBytes;
    case kTimestamp:
    case kTimestamp2:
        return 4 + fractionBytes;
    default:
        return 0;
    }
}

std::uint16_t columnSize(const ColumnDef &column)
{
    if (!column.dataTypeName.empty() && column.fieldType == kString) {
        return static_cast<std::uint16_t>(pluginTypeSize(pluginTypeNamed(column.dataTypeName)));
    }
    const std::uint8_t fraction = column.fractionalDigits;
    switch (column.fieldType) {
    case kTiny:
    case kYear:
        return 1;
    case kShort:
        return 2;
    case kInt24:
    case kNewDate:
        return 3;
    case kLong:
    case kFloat:
        return 4;
    case kDouble:
    case kLongLong:
        return 8;
    case kTimestamp:
    case kTimestamp2:
    case kDateTime:
    case kDateTime2:
    case kTime:
    case kTime2:
        return static_cast<std::uint16_t>(temporalStorageSize(column.fieldType, fraction));
    case kBit:
        return static_cast<std::uint16_t>((column.byteLength + 7) / 8);
    case kNewDecimal:
        return static_cast<std::uint16_t>(decimalStorageSize(column.precision, column.scale));
    case kEnum:
        return column.elements.size() > 255 ? 2 : 1;
    case kSet: {
        const std::size_t bytes = (column.elements.size() + 7) / 8;
        return static_cast<std::uint16_t>(bytes > 4 ? 8 : (bytes == 0 ? 1 : bytes));
    }
    case kVarchar:
    case kVarString:
    case kString:
        return static_cast<std::uint16_t>(
            column.byteLength / (column.maxBytesPerChar ? column.maxBytesPerChar : 1));
    default:
        return static_cast<std::uint16_t>(column.byteLength);
    }
}

std::string sqlTypeText(const ColumnDef &column)
{
    if (!column.dataTypeName.empty()) {
        // The plugins own STRING columns only; another type under a plugin's name is not known.
        return column.fieldType == kString
            ? std::string(pluginSqlType(pluginTypeNamed(column.dataTypeName)))
            : std::string();
    }
    const std::uint32_t length = column.byteLength;
    const std::uint32_t characters = length / (column.maxBytesPerChar ? column.maxBytesPerChar : 1);
    const bool binary = column.charset == kCharsetBinary;
    switch (column.fieldType) {
    case kTiny:
        return withWidth("tinyint", length) + numericSuffix(column);
    case kShort:
        return withWidth("smallint", length) + numericSuffix(column);
    case kInt24:
        return withWidth("mediumint", length) + numericSuffix(column);
    case kLong:
        return withWidth("int", length) + numericSuffix(column);
    case kLongLong:
        return withWidth("bigint", length) + numericSuffix(column);
    case kFloat:
    case kDouble: {
        std::string text = column.fieldType == kFloat ? "float" : "double";
        if (column.scale != kNotFixedDecimals) {
            text += "(" + std::to_string(length) + "," + std::to_string(column.scale) + ")";
        }
        return text + numericSuffix(column);
    }
    case kOldDecimal:
    case kNewDecimal:
        return "decimal(" + std::to_string(column.precision) + "," + std::to_string(column.scale)
            + ")" + numericSuffix(column);
    case kDate:
    case kNewDate:
        return "date";
    case kTime:
    case kTime2:
        return withFraction("time", column.fractionalDigits);
    case kDateTime:
    case kDateTime2:
        return withFraction("datetime", column.fractionalDigits);
    case kTimestamp:
    case kTimestamp2:
        return withFraction("timestamp", column.fractionalDigits);
    case kYear:
        return "year";
    case kBit:
        return withWidth("bit", length);
    case kVarchar:
    case kVarString:
        return withWidth(binary ? "varbinary" : "varchar", characters);
    case kString:
        return withWidth(binary ? "binary" : "char", characters);
    case kTinyBlob:
        return binary ? "tinyblob" : "tinytext";
    case kBlob:
        return binary ? "blob" : "text";
    case kMediumBlob:
        return binary ? "mediumblob" : "mediumtext";
    case kLongBlob:
    case kJson:
        return binary ? "longblob" : "longtext";
    case kEnum:
        return elementList("enum", column);
    case kSet:
        return elementList("set", column);
    case kGeometry: {
        static constexpr std::array<std::string_view, 8> kGeometryTypes { "geometry", "point",
            "linestring", "polygon", "multipoint", "multilinestring", "multipolygon",
            "geometrycollection" };
        return column.geometryType < kGeometryTypes.size()
            ? std::string(kGeometryTypes[column.geometryType])
            : std::string();
    }
    default:
        return {};
    }
}

} // namespace frm

// The column type model: MySQL field type numbers, the type names the rest of the program compares
// against (ignoring case), on-disk sizes, and the type text a CREATE TABLE statement needs.
#pragma once

#include "frm/table_definition.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace frm {

// MySQL's field type numbers (enum_field_types in mysql_com.h).
namespace fieldtype {
inline constexpr std::uint8_t kOldDecimal = 0;
inline constexpr std::uint8_t kTiny = 1;
inline constexpr std::uint8_t kShort = 2;
inline constexpr std::uint8_t kLong = 3;
inline constexpr std::uint8_t kFloat = 4;
inline constexpr std::uint8_t kDouble = 5;
inline constexpr std::uint8_t kTimestamp = 7;
inline constexpr std::uint8_t kLongLong = 8;
inline constexpr std::uint8_t kInt24 = 9;
inline constexpr std::uint8_t kDate = 10; // the obsolete 4-byte DATE
inline constexpr std::uint8_t kTime = 11;
inline constexpr std::uint8_t kDateTime = 12;
inline constexpr std::uint8_t kYear = 13;
inline constexpr std::uint8_t kNewDate = 14;
inline constexpr std::uint8_t kVarchar = 15;
inline constexpr std::uint8_t kBit = 16;
inline constexpr std::uint8_t kTimestamp2 = 17;
inline constexpr std::uint8_t kDateTime2 = 18;
inline constexpr std::uint8_t kTime2 = 19;
inline constexpr std::uint8_t kJson = 245;
inline constexpr std::uint8_t kNewDecimal = 246;
inline constexpr std::uint8_t kEnum = 247;
inline constexpr std::uint8_t kSet = 248;
inline constexpr std::uint8_t kTinyBlob = 249;
inline constexpr std::uint8_t kMediumBlob = 250;
inline constexpr std::uint8_t kLongBlob = 251;
inline constexpr std::uint8_t kBlob = 252;
inline constexpr std::uint8_t kVarString = 253;
inline constexpr std::uint8_t kString = 254;
inline constexpr std::uint8_t kGeometry = 255;
} // namespace fieldtype

// The type code of a column: character set * 256 + field type (bytes 13-14 of its record).
constexpr std::uint16_t typeCode(std::uint16_t charset, std::uint8_t fieldType)
{
    return static_cast<std::uint16_t>(((charset & 0xFF) << 8) | fieldType);
}

// The name used when key column lists are written: the classic table of type codes. Nothing for a
// code outside it.
std::optional<std::string_view> keyListTypeName(std::uint16_t code);

// The type name of a column: "TinyInt", "Varchar", "VarBinary", "Medium Text", ... Every field
// type has one; the binary character set (63) tells BLOB from TEXT and BINARY from CHAR. Empty
// only for a field type this program does not know.
std::string_view columnTypeName(std::uint8_t fieldType, std::uint16_t charset);

// True for the type names whose values have a length of their own in a record.
bool isVariableLengthTypeName(std::string_view typeName);

// A Varchar whose byte length exceeds 255 stores its length in two bytes.
bool hasLongLength(std::string_view typeName, std::uint32_t byteLength);

// Bytes of a DECIMAL(precision, scale) value in the binary format of MySQL 5.0.3+.
std::uint32_t decimalStorageSize(std::uint32_t precision, std::uint32_t scale);

// Fractional second digits of a temporal column, from its field length (0 for none).
std::uint8_t temporalFractionalDigits(std::uint8_t fieldType, std::uint32_t fieldLength);

// How a TIME, DATETIME or TIMESTAMP column stores its values, as the server chooses it from the
// field type and the fractional digits: the classic forms of MySQL 5.0-5.5 (types 11, 12, 7
// without fraction), MariaDB 5.3's "hires" forms (the same types with a fraction, also written
// by MariaDB 10.1+ with mysql56_temporal_format=OFF) and MySQL 5.6.4's (types 19, 18, 17).
enum class TemporalForm { NotTemporal, Classic, MariaDbHires, MySql56 };
TemporalForm temporalForm(std::uint8_t fieldType, std::uint8_t fractionalDigits);

// Bytes of a stored TIME, DATETIME or TIMESTAMP value in the form above; 0 for other types.
std::uint32_t temporalStorageSize(std::uint8_t fieldType, std::uint8_t fractionalDigits);

// The column's size as ColumnDef carries it: bytes of a fixed-size value, characters of a
// character column, the declared length otherwise.
std::uint16_t columnSize(const ColumnDef &column);

// The column type as the server's SHOW CREATE TABLE writes it: "int(10) unsigned",
// "varchar(255)", "decimal(10,2)", "datetime(6)", "enum('a','b')". Empty for an unknown type.
std::string sqlTypeText(const ColumnDef &column);

// Numbers: the integer, floating-point and DECIMAL types.
bool isNumericFieldType(std::uint8_t fieldType);
// The types whose length counts characters of the column's character set.
bool isCharacterFieldType(std::uint8_t fieldType);
// The types stored as BLOBs: every BLOB and TEXT, JSON, GEOMETRY.
bool isBlobFieldType(std::uint8_t fieldType);

// Whether a clustered record stores the column: VIRTUAL generated columns and the server's own
// hidden ones are computed instead.
bool isStoredColumn(const ColumnDef &column);
// Whether an INSERT names the column: not the generated ones, which the server computes.
bool isInsertedColumn(const ColumnDef &column);

// Case-insensitive comparison of ASCII names.
bool sameName(std::string_view a, std::string_view b);

} // namespace frm

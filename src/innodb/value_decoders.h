// How each column type is laid out in a new-style (COMPACT) clustered record, and the decoders
// that turn its stored bytes into a FieldValue.
#pragma once

#include "common/byte_reader.h"
#include "frm/plugin_types.h"
#include "frm/table_definition.h"
#include "innodb/decoded_row.h"

#include <cstdint>
#include <string>

namespace innodb {

// What the stored bytes of a column mean.
enum class ColumnCodec {
    SignedInteger, // big-endian, sign bit inverted
    UnsignedInteger, // big-endian
    Float, // IEEE 754 binary32, little-endian
    Double, // IEEE 754 binary64, little-endian
    Decimal, // binary DECIMAL(P,S)
    OldDecimal, // ASCII digits (DECIMAL before 5.0.3), variable length
    Date, // 3 bytes, D + 32 M + 512 Y, sign bit inverted
    Time, // 3 bytes, +-HHMMSS, sign bit inverted
    DateTime, // 8 bytes, YYYYMMDDhhmmss, sign bit inverted
    Timestamp, // 4 bytes, seconds since 1970 UTC
    // With a fraction (and MySQL 5.6's without): MariaDB's hires or MySQL 5.6's binary forms,
    // told apart by the field type (frm/temporal_value.h).
    BinaryTime,
    BinaryDateTime,
    BinaryTimestamp,
    Year, // 1 byte, year - 1900
    Enum, // 1 or 2 bytes, 1-based member index
    Set, // 1, 2, 3, 4 or 8 bytes, member bitmap
    Bit, // ceil(M / 8) bytes, big-endian
    Bytes, // character and binary values, raw
    PaddedText, // CHAR: trailing spaces of its character set are padding
    PluginText, // INET6, UUID, INET4: fixed binary, shown as the server's text
};

struct ColumnFormat
{
    ColumnCodec codec = ColumnCodec::Bytes;
    bool variable = false; // has a length field in the record
    bool big = false; // InnoDB's rule: max bytes > 255 or a BLOB/TEXT; two-byte lengths
    std::uint32_t fixedSize = 0; // bytes of a fixed-size column
    std::uint8_t fieldType = 0; // the MySQL field type the codec reads
    std::uint8_t fractionDigits = 0; // fractional seconds of the binary temporal forms
    std::uint16_t charset = 0; // PaddedText: whose space pads the value
    frm::PluginType plugin = frm::PluginType::Unknown; // PluginText
    bool legacyUuid = false; // PluginText of a UUID that keeps every value swapped
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    bool supported = true; // false for a type this decoder cannot lay out
};

// The layout of `column`, from its MySQL field type (or, when the definition reader left that 0,
// from its type name).
ColumnFormat columnFormat(const frm::ColumnDef &column);

// The BLOB and TEXT types, JSON and GEOMETRY: their length is limited by the page, not by a
// declared maximum.
inline bool hasUnboundedLength(const frm::ColumnDef &column)
{
    return (column.fieldType >= 249 && column.fieldType <= 252) || column.fieldType == 245
        || column.fieldType == 255;
}

// Whether the records carry a null bit for `column` (key columns aside, which never have one).
bool isNullableColumn(const frm::ColumnDef &column);

// Decodes the `bytes` of one non-NULL column stored inline. Character and binary values are
// copied; externally stored ones are assembled by the record decoder instead. False when the
// bytes do not fit the format (wrong width, impossible digits): the record is damaged.
bool decodeValue(const ColumnFormat &format, common::Bytes bytes, FieldValue &out);

// "YYYY-MM-DD hh:mm:ss" of an old-style 8-byte DATETIME; eight zero bytes and the stored zero
// date both give "0000-00-00 00:00:00".
std::string DatetimeToText(common::Bytes eightBytes);
// The IEEE double of 8 bytes stored least significant byte first.
double DoubleFromBytes(common::Bytes eightBytes);
// The text of a binary DECIMAL(precision, scale), e.g. "-12345678.91"; empty when damaged.
std::string decimalText(common::Bytes bytes, std::uint8_t precision, std::uint8_t scale);
// The stored size of a binary DECIMAL(precision, scale).
std::uint32_t decimalSize(std::uint8_t precision, std::uint8_t scale);

} // namespace innodb

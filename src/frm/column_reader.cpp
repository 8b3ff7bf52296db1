#include "frm/column_reader.h"

#include "frm/charset.h"
#include "frm/column_type.h"
#include "frm/default_value.h"
#include "frm/plugin_types.h"

#include <algorithm>

namespace frm {

namespace {

using namespace fieldtype;

// A column record: 17 bytes.
constexpr std::size_t kColumnLength = 3;
constexpr std::size_t kColumnRecordOffset = 5; // 3 bytes, 1-based, into the default record
constexpr std::size_t kColumnPackFlags = 8;
constexpr std::size_t kColumnUniregCheck = 10;
constexpr std::size_t kColumnCharsetHigh = 11;
constexpr std::size_t kColumnFieldType = 13;
constexpr std::size_t kColumnCharsetLow = 14;

// Pack flag bits (unireg.h, FIELDFLAG_*).
constexpr std::uint16_t kPackSigned = 0x0001; // numeric; for strings: binary collation
constexpr std::uint16_t kPackNumber = 0x0002;
constexpr std::uint16_t kPackZerofill = 0x0004;
constexpr std::uint16_t kPackDecimalsShift = 8;
constexpr std::uint16_t kPackDecimalsMask = 31;
constexpr std::uint16_t kPackNoDefault = 0x4000;
constexpr std::uint16_t kPackNullable = 0x8000;

// unireg_check values (field.h, utype).
constexpr std::uint8_t kUniregAutoIncrement = 15;
constexpr std::uint8_t kUniregTimestampDefault = 21;
constexpr std::uint8_t kUniregTimestampUpdate = 22;
constexpr std::uint8_t kUniregTimestampBoth = 23;

} // namespace

ColumnDef readColumn(
    const FrmBytes &file, std::size_t record, std::size_t index, const ColumnContext &context)
{
    ColumnDef column;
    column.index = static_cast<std::uint16_t>(index);
    column.byteLength = file.u16(record + kColumnLength);
    column.packFlags = file.u16(record + kColumnPackFlags);
    column.uniregCheck = file.u8(record + kColumnUniregCheck);
    column.fieldType = file.u8(record + kColumnFieldType);
    column.charset = static_cast<std::uint16_t>(
        (file.u8(record + kColumnCharsetHigh) << 8) | file.u8(record + kColumnCharsetLow));
    column.typeCode = static_cast<std::uint16_t>(file.u16(record + kColumnFieldType));
    column.recordPosition = file.u8(record + kColumnRecordOffset);
    if (context.earlyGeneration) {
        // Byte 11 held no charset before 5.0.3, and a text column without one was binary
        // (table.cc of MySQL 4.1, openfrm).
        column.charset = file.u8(record + kColumnCharsetLow);
        if (column.charset == 0 && isCharacterFieldType(column.fieldType)) {
            column.charset = kCharsetBinary;
        }
    }
    if (column.fieldType == kGeometry) {
        // The charset bytes hold the geometry subtype; the value itself is binary.
        column.geometryType = file.u8(record + kColumnCharsetLow);
        column.charset = kCharsetBinary;
    }
    const auto plugin = context.extra2 ? context.extra2->dataTypeNames.find(index)
                                       : std::map<std::size_t, std::string>::const_iterator();
    if (context.extra2 && plugin != context.extra2->dataTypeNames.end()) {
        // The record says STRING of the text form's length in some charset; the data type
        // plugin stores a fixed binary value.
        column.dataTypeName = plugin->second;
        column.charset = kCharsetBinary;
        column.legacyUuid = pluginTypeNamed(plugin->second) == PluginType::Uuid
            && isLegacyUuidServer(context.serverVersion);
    }
    if (context.extra2 && index < context.extra2->fieldFlags.size()) {
        column.invisible = (context.extra2->fieldFlags[index] & kFieldInvisibleMask) != 0;
    }
    // Numbers and dates carry whatever charset the server put there (the table's, 8 or 0); only
    // a character column's own character set divides its byte length.
    if (isCharacterFieldType(column.fieldType)) {
        column.maxBytesPerChar = maxBytesPerChar(column.charset);
        column.minBytesPerChar = minBytesPerChar(column.charset);
    }

    const std::uint16_t pack = column.packFlags;
    column.nullable = (pack & kPackNullable) != 0;
    if (isNumericFieldType(column.fieldType)) {
        column.isUnsigned = (pack & kPackNumber) && !(pack & kPackSigned);
        column.zerofill = (pack & kPackZerofill) != 0;
        column.signedness = column.isUnsigned ? "unsigned" : "signed";
    }
    if (column.fieldType == kFloat || column.fieldType == kDouble || column.fieldType == kNewDecimal
        || column.fieldType == kOldDecimal) {
        column.scale = static_cast<std::uint8_t>((pack >> kPackDecimalsShift) & kPackDecimalsMask);
    }
    if (column.fieldType == kNewDecimal || column.fieldType == kOldDecimal) {
        // The field length counts the digits, a point when there is a fraction, and a sign.
        std::uint32_t digits = column.byteLength;
        digits -= (column.scale > 0 && digits > 0) ? 1 : 0;
        digits -= (!column.isUnsigned && digits > 0) ? 1 : 0;
        column.precision = static_cast<std::uint8_t>(digits > 255 ? 255 : digits);
    }
    column.fractionalDigits = temporalFractionalDigits(column.fieldType, column.byteLength);
    column.typeName = column.dataTypeName.empty()
        ? std::string(columnTypeName(column.fieldType, column.charset))
        : std::string(pluginTypeName(pluginTypeNamed(column.dataTypeName)));
    column.nullability = column.nullable ? "NULL" : "NOT NULL";
    if (column.uniregCheck == kUniregAutoIncrement) {
        column.kind = "AUTO_INCREMENT";
    }
    column.longLength = hasLongLength(column.typeName, column.byteLength);
    column.size = columnSize(column);
    return column;
}

void setDefault(ColumnDef &column, const FrmBytes &file, const DefaultRecord &record,
    std::size_t recordOffset, std::size_t &nullBit)
{
    const bool autoIncrement = column.uniregCheck == kUniregAutoIncrement;
    const bool isNull = [&] {
        if (!column.nullable) {
            return false;
        }
        const std::size_t bit = nullBit++;
        const std::size_t at = record.offset + bit / 8;
        return file.has(at, 1) && (file.u8(at) & (1U << (bit % 8))) != 0;
    }();
    // DATETIME too takes CURRENT_TIMESTAMP this way since MySQL 5.6.5 and MariaDB 10.0.
    if (column.fieldType == kTimestamp || column.fieldType == kTimestamp2
        || column.fieldType == kDateTime || column.fieldType == kDateTime2) {
        const std::uint8_t check = column.uniregCheck;
        column.onUpdateCurrentTimestamp
            = check == kUniregTimestampUpdate || check == kUniregTimestampBoth;
        if (check == kUniregTimestampDefault || check == kUniregTimestampBoth) {
            column.defaultValue = column.fractionalDigits > 0
                ? "CURRENT_TIMESTAMP(" + std::to_string(column.fractionalDigits) + ")"
                : std::string("CURRENT_TIMESTAMP");
            return;
        }
    }
    if (autoIncrement || isBlobFieldType(column.fieldType)) {
        return;
    }
    if (isNull) {
        column.defaultValue = "NULL";
        return;
    }
    if (!column.nullable && (column.packFlags & kPackNoDefault)) {
        return;
    }
    // The offset is 1-based.
    if (recordOffset == 0 || recordOffset > record.length) {
        return;
    }
    const common::Bytes image
        = file.from(record.offset).first(std::min(record.length, file.size() - record.offset));
    column.defaultValue = defaultValueLiteral(column, image.subspan(recordOffset - 1));
}

std::string unreadableColumnReason(const ColumnDef &column)
{
    const std::string code = "type code " + std::to_string(column.fieldType);
    if (!column.dataTypeName.empty()
        && (pluginTypeNamed(column.dataTypeName) == PluginType::Unknown
            || column.fieldType != kString)) {
        return "has the data type " + column.dataTypeName + " (" + code
            + " with a type plugin), which this program does not know";
    }
    switch (column.fieldType) {
    case kDate:
        return "has the 4-byte DATE of MySQL 3.22 (" + code + "), which this program does not read";
    case kJson:
        return "has MySQL 5.7's binary JSON (" + code + "), which this program does not convert";
    default:
        break;
    }
    if (sqlTypeText(column).empty()) {
        return "has " + code
            + (column.fieldType == kGeometry
                    ? " with geometry subtype " + std::to_string(column.geometryType)
                    : std::string())
            + ", which this program does not know";
    }
    return {};
}

} // namespace frm

#include "frm/table_definition_reader.h"

#include "frm/charset.h"
#include "frm/column_type.h"
#include "frm/create_table_text.h"
#include "frm/default_value.h"

#include <fstream>
#include <vector>

namespace frm {

namespace {

using common::Bytes;
using common::corruption;
using namespace fieldtype;

// Header fields (little-endian, offsets from the start of the file).
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kFormatMark = 33; // 5 in every file of MySQL 5.0+ and MariaDB
constexpr std::uint8_t kFormatMarkValue = 5;
constexpr std::size_t kExtra2Length = 4; // MySQL: 3; MariaDB 10: the extra2 segment
constexpr std::size_t kKeyBlockOffset = 6;
constexpr std::size_t kKeyBlockReserved = 14; // 0xFFFF: the full width is at 47
constexpr std::size_t kDefaultRecordLength = 16;
constexpr std::size_t kMaxRows = 18;
constexpr std::size_t kMinRows = 22;
constexpr std::size_t kTableOptions = 30;
constexpr std::size_t kAverageRowLength = 34;
constexpr std::size_t kDefaultCharset = 38;
constexpr std::size_t kRowFormat = 40;
constexpr std::size_t kDefaultCharsetHigh = 41;
constexpr std::size_t kKeyBlockReservedLong = 47;
constexpr std::size_t kServerVersion = 51;
constexpr std::size_t kExtraSegmentLength = 55;
constexpr std::size_t kEngineCode = 3; // the legacy engine number: 12 = InnoDB

// Form information block, relative to its start F.
constexpr std::size_t kFormInfoSize = 288;
constexpr std::size_t kFormCommentLength = 46; // 255: the comment lives in the extra segment
constexpr std::size_t kFormComment = 47;
constexpr std::size_t kFormColumnCount = 258;
constexpr std::size_t kFormScreensLength = 260;
constexpr std::size_t kFormNamesLength = 268;
constexpr std::size_t kFormIntervalCount = 270;
constexpr std::size_t kFormIntervalLength = 274;
constexpr std::size_t kFormCommentsLength = 284;

// A column record: 17 bytes.
constexpr std::size_t kColumnRecordSize = 17;
constexpr std::size_t kColumnLength = 3;
constexpr std::size_t kColumnRecordOffset = 5; // 3 bytes, 1-based, into the default record
constexpr std::size_t kColumnPackFlags = 8;
constexpr std::size_t kColumnUniregCheck = 10;
constexpr std::size_t kColumnCharsetHigh = 11;
constexpr std::size_t kColumnInterval = 12;
constexpr std::size_t kColumnFieldType = 13;
constexpr std::size_t kColumnCharsetLow = 14;
constexpr std::size_t kColumnCommentLength = 15;

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

// Key block: a 6-byte header, then per key 8 bytes and 9 per part.
constexpr std::size_t kKeyHeaderSize = 6;
constexpr std::size_t kKeyNamesLength = 4;
constexpr std::size_t kKeyEntrySize = 8;
constexpr std::size_t kKeyPartSize = 9;
constexpr std::uint16_t kKeyFlagNotUnique = 0x0001; // stored XOR 1: unique keys have it clear
constexpr std::uint16_t kKeyFlagFulltext = 0x0080;
constexpr std::uint16_t kKeyFlagSpatial = 0x0400;
constexpr std::uint16_t kKeyPartColumnMask = 0x3FFF;

constexpr std::uint8_t kNameSeparator = 0xFF;
constexpr std::size_t kLargestFile = 16 * 1024 * 1024; // far beyond any real definition file

// Bounds-checked little-endian reads over the whole file; the first read out of bounds makes
// the reader fail with the message of the section that asked.
class FrmBytes
{
public:
    explicit FrmBytes(Bytes bytes)
        : m_reader(bytes)
    {
    }

    std::size_t size() const { return m_reader.size(); }
    bool has(std::size_t offset, std::size_t width) const
    {
        return common::fits(m_reader.size(), offset, width);
    }
    std::uint8_t u8(std::size_t offset) const { return static_cast<std::uint8_t>(le(offset, 1)); }
    std::uint16_t u16(std::size_t offset) const
    {
        return static_cast<std::uint16_t>(le(offset, 2));
    }
    std::uint32_t u24(std::size_t offset) const
    {
        return static_cast<std::uint32_t>(le(offset, 3));
    }
    std::uint32_t u32(std::size_t offset) const
    {
        return static_cast<std::uint32_t>(le(offset, 4));
    }
    std::string text(std::size_t offset, std::size_t width) const
    {
        const auto slice = m_reader.slice(offset, width);
        return slice ? std::string(slice->begin(), slice->end()) : std::string();
    }
    Bytes from(std::size_t offset) const
    {
        return offset <= size() ? m_reader.bytes().subspan(offset) : Bytes();
    }

private:
    // Callers check has() first; an unchecked read past the end returns 0 rather than reading on.
    std::uint64_t le(std::size_t offset, std::size_t width) const
    {
        return m_reader.littleEndian(offset, width).value_or(0);
    }
    common::ByteReader m_reader;
};

// A list of names as the names and key-names areas store them: FF name FF name ... FF 00.
std::optional<std::vector<std::string>> splitNames(
    const FrmBytes &file, std::size_t offset, std::size_t length, std::size_t count)
{
    if (!file.has(offset, length) || length == 0 || file.u8(offset) != kNameSeparator) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    std::string current;
    for (std::size_t i = offset + 1; i < offset + length && names.size() < count; ++i) {
        const std::uint8_t b = file.u8(i);
        if (b == kNameSeparator) {
            names.push_back(std::move(current));
            current.clear();
        } else if (b == 0) {
            break;
        } else {
            current += static_cast<char>(b);
        }
    }
    if (names.size() != count) {
        return std::nullopt;
    }
    return names;
}

// ENUM and SET member lists: per list "sep v1 sep v2 ... sep 00", sep being 0xFF unless a value
// holds that byte.
std::vector<std::vector<std::string>> splitIntervals(
    const FrmBytes &file, std::size_t offset, std::size_t length, std::size_t count)
{
    std::vector<std::vector<std::string>> intervals;
    if (!file.has(offset, length)) {
        return intervals;
    }
    std::size_t pos = offset;
    const std::size_t end = offset + length;
    while (intervals.size() < count && pos < end) {
        const std::uint8_t separator = file.u8(pos++);
        std::vector<std::string> values;
        std::string current;
        while (pos < end) {
            const std::uint8_t b = file.u8(pos++);
            if (b == separator) {
                if (pos < end && file.u8(pos) == 0) {
                    values.push_back(std::move(current));
                    ++pos;
                    break;
                }
                values.push_back(std::move(current));
                current.clear();
            } else {
                current += static_cast<char>(b);
            }
        }
        intervals.push_back(std::move(values));
    }
    return intervals;
}

bool isNumericType(std::uint8_t fieldType)
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

bool isCharacterType(std::uint8_t fieldType)
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

bool isBlobType(std::uint8_t fieldType)
{
    return fieldType == kTinyBlob || fieldType == kMediumBlob || fieldType == kLongBlob
        || fieldType == kBlob || fieldType == kGeometry || fieldType == kJson;
}

std::string engineName(std::uint8_t code)
{
    switch (code) {
    case 6:
        return "MEMORY";
    case 9:
        return "MyISAM";
    case 12:
        return "InnoDB";
    case 16:
        return "ARCHIVE";
    case 17:
        return "CSV";
    case 20:
        return "partition";
    default:
        return "engine " + std::to_string(code);
    }
}

struct Layout
{
    std::size_t keyBlock = 0;
    std::size_t defaultRecord = 0;
    std::size_t defaultRecordLength = 0;
    std::size_t formInfo = 0;
};

common::Result<Layout> readLayout(const FrmBytes &file)
{
    Layout layout;
    const std::size_t formInfoPointer = kHeaderSize + file.u16(kExtra2Length);
    if (!file.has(formInfoPointer, 4)) {
        return corruption("form information offset beyond end of file");
    }
    layout.formInfo = file.u32(formInfoPointer);
    layout.keyBlock = file.u16(kKeyBlockOffset);
    std::size_t reserved = file.u16(kKeyBlockReserved);
    if (reserved == 0xFFFF) {
        reserved = file.u32(kKeyBlockReservedLong);
    }
    layout.defaultRecord = layout.keyBlock + reserved;
    layout.defaultRecordLength = file.u16(kDefaultRecordLength);
    if (!file.has(layout.keyBlock, kKeyHeaderSize)) {
        return corruption("key block beyond end of file");
    }
    if (!file.has(layout.defaultRecord, layout.defaultRecordLength)) {
        return corruption("default record beyond end of file");
    }
    if (!file.has(layout.formInfo, kFormInfoSize)) {
        return corruption("form information beyond end of file");
    }
    return layout;
}

// The engine name from the extra segment after the default record: connect string (LE16 length
// and text), then engine name (LE16 length and text). Files without an extra segment only have
// the legacy engine number of the header.
common::Result<std::string> readEngine(const FrmBytes &file, const Layout &layout)
{
    const std::size_t extra = layout.defaultRecord + layout.defaultRecordLength;
    if (file.u32(kExtraSegmentLength) == 0 || !file.has(extra, 2)) {
        return engineName(file.u8(kEngineCode));
    }
    const std::size_t connectLength = file.u16(extra);
    const std::size_t engineLengthAt = extra + 2 + connectLength;
    if (!file.has(engineLengthAt, 2)) {
        return corruption("engine name beyond end of file");
    }
    const std::size_t engineLength = file.u16(engineLengthAt);
    if (!file.has(engineLengthAt + 2, engineLength)) {
        return corruption("engine name beyond end of file");
    }
    return file.text(engineLengthAt + 2, engineLength);
}

common::Status readKeys(
    const FrmBytes &file, const Layout &layout, FrmTableEntry &table, std::size_t columnCount)
{
    const std::size_t block = layout.keyBlock;
    std::size_t keyCount = file.u8(block);
    if (keyCount & 0x80) {
        keyCount = (keyCount & 0x7F) | (static_cast<std::size_t>(file.u8(block + 1)) << 7);
    }
    const std::size_t namesLength = file.u16(block + kKeyNamesLength);
    std::size_t pos = block + kKeyHeaderSize;
    for (std::size_t k = 0; k < keyCount; ++k) {
        if (!file.has(pos, kKeyEntrySize)) {
            return corruption("key " + std::to_string(k + 1) + " beyond end of file");
        }
        KeyDef key;
        key.flags = file.u16(pos);
        const std::size_t partCount = file.u8(pos + 4);
        pos += kKeyEntrySize;
        if (!file.has(pos, partCount * kKeyPartSize)) {
            return corruption("parts of key " + std::to_string(k + 1) + " beyond end of file");
        }
        for (std::size_t p = 0; p < partCount; ++p, pos += kKeyPartSize) {
            const std::size_t column = file.u16(pos) & kKeyPartColumnMask;
            if (column == 0 || column > columnCount) {
                return corruption("key " + std::to_string(k + 1) + " names column "
                    + std::to_string(column) + " of " + std::to_string(columnCount));
            }
            KeyPart part;
            part.column = static_cast<std::uint16_t>(column - 1);
            part.byteLength = file.u16(pos + 7);
            key.parts.push_back(part);
        }
        table.keys.push_back(std::move(key));
    }
    if (keyCount == 0) {
        return common::okStatus();
    }
    const auto names = splitNames(file, pos, namesLength, keyCount);
    if (!names) {
        return corruption("key names unreadable");
    }
    for (std::size_t k = 0; k < keyCount; ++k) {
        KeyDef &key = table.keys[k];
        key.name = (*names)[k];
        if (sameName(key.name, "PRIMARY")) {
            key.kind = KeyKind::Primary;
        } else if (key.flags & kKeyFlagFulltext) {
            key.kind = KeyKind::Fulltext;
        } else if (key.flags & kKeyFlagSpatial) {
            key.kind = KeyKind::Spatial;
        } else if ((key.flags & kKeyFlagNotUnique) == 0) {
            key.kind = KeyKind::Unique;
        } else {
            key.kind = KeyKind::Plain;
        }
    }
    return common::okStatus();
}

// Prefix parts: always for BLOB and TEXT, and for a string part shorter than its column. The
// length is stored in bytes; CREATE TABLE counts characters.
void setPrefixLengths(FrmTableEntry &table)
{
    for (KeyDef &key : table.keys) {
        for (KeyPart &part : key.parts) {
            const ColumnDef &column = table.definitionOrder[part.column];
            // A spatial key indexes the whole geometry, whatever length its part names.
            const bool prefix = (isBlobType(column.fieldType) && key.kind != KeyKind::Spatial)
                || ((column.fieldType == kVarchar || column.fieldType == kString
                        || column.fieldType == kVarString)
                    && part.byteLength < column.byteLength);
            if (prefix) {
                const std::uint8_t perChar = column.maxBytesPerChar ? column.maxBytesPerChar : 1;
                part.prefixLength = static_cast<std::uint16_t>(part.byteLength / perChar);
            }
        }
    }
}

// InnoDB clusters on the primary key; without one, on the first unique key whose columns are all
// NOT NULL and taken whole (the server promotes that key); without such a key, on a hidden row id.
int findClusteredKey(const FrmTableEntry &table)
{
    for (std::size_t k = 0; k < table.keys.size(); ++k) {
        const KeyDef &key = table.keys[k];
        if (key.kind == KeyKind::Primary) {
            return static_cast<int>(k);
        }
    }
    for (std::size_t k = 0; k < table.keys.size(); ++k) {
        const KeyDef &key = table.keys[k];
        if (key.kind != KeyKind::Unique) {
            continue;
        }
        bool eligible = !key.parts.empty();
        for (const KeyPart &part : key.parts) {
            const ColumnDef &column = table.definitionOrder[part.column];
            if (column.nullable || part.prefixLength != 0) {
                eligible = false;
            }
        }
        if (eligible) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

ColumnDef readColumn(const FrmBytes &file, std::size_t record)
{
    ColumnDef column;
    column.byteLength = file.u16(record + kColumnLength);
    column.packFlags = file.u16(record + kColumnPackFlags);
    column.uniregCheck = file.u8(record + kColumnUniregCheck);
    column.fieldType = file.u8(record + kColumnFieldType);
    column.charset = static_cast<std::uint16_t>(
        (file.u8(record + kColumnCharsetHigh) << 8) | file.u8(record + kColumnCharsetLow));
    column.typeCode = static_cast<std::uint16_t>(file.u16(record + kColumnFieldType));
    column.recordPosition = file.u8(record + kColumnRecordOffset);
    if (column.fieldType == kGeometry) {
        // The charset bytes hold the geometry subtype; the value itself is binary.
        column.geometryType = file.u8(record + kColumnCharsetLow);
        column.charset = kCharsetBinary;
    }
    // Numbers and dates carry whatever charset the server put there (the table's, 8 or 0); only
    // a character column's own character set divides its byte length.
    column.maxBytesPerChar
        = isCharacterType(column.fieldType) ? maxBytesPerChar(column.charset) : std::uint8_t { 1 };

    const std::uint16_t pack = column.packFlags;
    column.nullable = (pack & kPackNullable) != 0;
    if (isNumericType(column.fieldType)) {
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
    column.typeName = std::string(columnTypeName(column.fieldType, column.charset));
    column.nullability = column.nullable ? "NULL" : "NOT NULL";
    if (column.uniregCheck == kUniregAutoIncrement) {
        column.kind = "AUTO_INCREMENT";
    }
    column.longLength = hasLongLength(column.typeName, column.byteLength);
    return column;
}

// The DEFAULT of a column. Null bits come first in the default record, one per nullable column
// in column order, starting at bit 1 unless the table packs its records (option bit 0).
void setDefault(ColumnDef &column, const FrmBytes &file, const Layout &layout,
    std::size_t recordOffset, std::size_t &nullBit)
{
    const bool autoIncrement = column.uniregCheck == kUniregAutoIncrement;
    const bool isNull = [&] {
        if (!column.nullable) {
            return false;
        }
        const std::size_t bit = nullBit++;
        const std::size_t at = layout.defaultRecord + bit / 8;
        return file.has(at, 1) && (file.u8(at) & (1U << (bit % 8))) != 0;
    }();
    if (column.fieldType == kTimestamp || column.fieldType == kTimestamp2) {
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
    if (autoIncrement || isBlobType(column.fieldType)) {
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
    if (recordOffset == 0 || recordOffset > layout.defaultRecordLength) {
        return;
    }
    const Bytes record
        = file.from(layout.defaultRecord)
              .first(std::min(layout.defaultRecordLength, file.size() - layout.defaultRecord));
    column.defaultValue = defaultValueLiteral(column, record.subspan(recordOffset - 1));
}

} // namespace

DefinitionProblem definitionProblem(const common::Error &error)
{
    switch (error.kind) {
    case common::ErrorKind::Io:
    case common::ErrorKind::NotFound:
        return DefinitionProblem::Unreadable;
    case common::ErrorKind::NotSupported:
        return error.message == kWrongFormatMark ? DefinitionProblem::WrongVersion
                                                 : DefinitionProblem::NotInnoDb;
    default:
        return DefinitionProblem::Damaged;
    }
}

std::string tableNameFromFileName(std::string_view fileName)
{
    if (fileName.size() >= 4 && sameName(fileName.substr(fileName.size() - 4), ".frm")) {
        fileName.remove_suffix(4);
    }
    std::string name;
    for (std::size_t i = 0; i < fileName.size(); ++i) {
        unsigned code = 0;
        bool encoded = fileName[i] == '@' && i + 5 <= fileName.size();
        for (std::size_t j = 1; encoded && j <= 4; ++j) {
            const char c = fileName[i + j];
            const int digit = c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f'             ? c - 'a' + 10
                                                   : -1;
            encoded = digit >= 0;
            code = code * 16 + static_cast<unsigned>(digit < 0 ? 0 : digit);
        }
        if (!encoded || code == 0) {
            name += fileName[i];
            continue;
        }
        // UTF-8 of a code point below 0x10000.
        if (code < 0x80) {
            name += static_cast<char>(code);
        } else if (code < 0x800) {
            name += static_cast<char>(0xC0 | (code >> 6));
            name += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            name += static_cast<char>(0xE0 | (code >> 12));
            name += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            name += static_cast<char>(0x80 | (code & 0x3F));
        }
        i += 4;
    }
    return name;
}

common::Result<FrmTableEntry> parseTableDefinition(
    Bytes bytes, const std::string &fileName, const std::string &dictionaryName)
{
    const FrmBytes file(bytes);
    if (!file.has(0, kHeaderSize)) {
        return corruption(bytes.empty() ? "empty file" : "file shorter than its 64-byte header");
    }
    if (file.u8(0) != 0xFE || file.u8(1) != 0x01) {
        return corruption("not a table definition (no FE 01 mark)");
    }
    if (file.u8(kFormatMark) != kFormatMarkValue) {
        return common::Error { common::ErrorKind::NotSupported, std::string(kWrongFormatMark), {} };
    }
    const auto layout = readLayout(file);
    if (!layout) {
        return layout.error();
    }
    auto engine = readEngine(file, *layout);
    if (!engine) {
        return engine.error();
    }
    if (!sameName(*engine, "InnoDB")) {
        return common::Error { common::ErrorKind::NotSupported,
            "table engine is " + *engine + ", not InnoDB", {} };
    }

    FrmTableEntry table;
    table.fileName = fileName;
    table.dictionaryName = dictionaryName;
    table.tableName = tableNameFromFileName(fileName);
    table.engine = *engine;
    table.defaultCharset = static_cast<std::uint16_t>(
        (file.u8(kDefaultCharsetHigh) << 8) | file.u8(kDefaultCharset));
    table.serverVersion = file.u32(kServerVersion);
    table.rowFormat = file.u8(kRowFormat);
    table.maxRows = file.u32(kMaxRows);
    table.minRows = file.u32(kMinRows);
    table.averageRowLength = file.u32(kAverageRowLength);

    const std::size_t form = layout->formInfo;
    const std::size_t commentLength = file.u8(form + kFormCommentLength);
    if (commentLength != 255 && commentLength <= 180) {
        table.comment = file.text(form + kFormComment, commentLength);
    }
    const std::size_t columnCount = file.u16(form + kFormColumnCount);
    const std::size_t columns = form + kFormInfoSize + file.u16(form + kFormScreensLength);
    if (columnCount == 0) {
        return corruption("table has no columns");
    }
    if (!file.has(columns, columnCount * kColumnRecordSize)) {
        return corruption("column records beyond end of file");
    }
    const std::size_t namesAt = columns + columnCount * kColumnRecordSize;
    const std::size_t namesLength = file.u16(form + kFormNamesLength);
    const auto names = splitNames(file, namesAt, namesLength, columnCount);
    if (!names) {
        return corruption("column names unreadable");
    }
    const std::size_t intervalsAt = namesAt + namesLength;
    const std::size_t intervalLength = file.u16(form + kFormIntervalLength);
    const auto intervals
        = splitIntervals(file, intervalsAt, intervalLength, file.u16(form + kFormIntervalCount));
    std::size_t commentAt = intervalsAt + intervalLength;
    const std::size_t commentsEnd = commentAt + file.u16(form + kFormCommentsLength);

    const bool packedRecord = (file.u16(kTableOptions) & 1) != 0;
    std::size_t nullBit = packedRecord ? 0 : 1;
    for (std::size_t c = 0; c < columnCount; ++c) {
        const std::size_t record = columns + c * kColumnRecordSize;
        ColumnDef column = readColumn(file, record);
        column.index = static_cast<std::uint16_t>(c);
        column.row = static_cast<std::uint16_t>(c + 4);
        column.name = (*names)[c];
        column.columnCount = static_cast<std::uint8_t>(columnCount);
        const std::size_t interval = file.u8(record + kColumnInterval);
        if ((column.fieldType == kEnum || column.fieldType == kSet) && interval > 0
            && interval <= intervals.size()) {
            column.elements = intervals[interval - 1];
        }
        const std::size_t columnComment = file.u16(record + kColumnCommentLength);
        if (columnComment > 0 && commentAt + columnComment <= commentsEnd) {
            column.comment = file.text(commentAt, columnComment);
            commentAt += columnComment;
        }
        column.size = columnSize(column);
        setDefault(column, file, *layout, file.u24(record + kColumnRecordOffset), nullBit);
        if (column.nullable) {
            ++table.nullableColumns;
        }
        if (isVariableLengthTypeName(column.typeName)) {
            ++table.variableColumns;
        }
        table.definitionOrder.push_back(std::move(column));
    }

    if (auto keys = readKeys(file, *layout, table, columnCount); !keys) {
        return keys.error();
    }
    setPrefixLengths(table);
    table.firstKeyParts = table.keys.empty()
        ? std::uint8_t { 0 }
        : static_cast<std::uint8_t>(table.keys.front().parts.size());
    table.hasPrimaryKey = !table.keys.empty() && table.keys.front().kind == KeyKind::Primary;
    table.clusteredKey = findClusteredKey(table);

    std::vector<bool> inClusteredKey(columnCount, false);
    if (table.clusteredKey >= 0) {
        const KeyDef &key = table.keys[static_cast<std::size_t>(table.clusteredKey)];
        table.clusteredKeyParts = static_cast<std::uint8_t>(key.parts.size());
        std::uint16_t position = 0;
        for (const KeyPart &part : key.parts) {
            ColumnDef &column = table.definitionOrder[part.column];
            column.primaryPosition = ++position;
            if (key.kind == KeyKind::Primary) {
                column.keyText = "PRIMARY KEY";
            }
            inClusteredKey[part.column] = true;
        }
    }
    for (ColumnDef &column : table.definitionOrder) {
        column.keyCount = static_cast<std::uint8_t>(table.keys.size());
        column.firstKeyParts = table.firstKeyParts;
    }
    if (table.clusteredKey >= 0) {
        for (const KeyPart &part : table.keys[static_cast<std::size_t>(table.clusteredKey)].parts) {
            table.recordOrder.push_back(table.definitionOrder[part.column]);
        }
    }
    for (const ColumnDef &column : table.definitionOrder) {
        if (!inClusteredKey[column.index]) {
            table.recordOrder.push_back(column);
        }
    }
    for (const KeyDef &key : table.keys) {
        table.keyClauses.push_back(keyClause(table, key));
    }
    return table;
}

common::Result<FrmTableEntry> readTableDefinition(
    const std::string &path, const std::string &fileName, const std::string &dictionaryName)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return common::ioError("cannot open the table definition", path);
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        return common::ioError("cannot read the table definition", path);
    }
    if (static_cast<std::uint64_t>(size) > kLargestFile) {
        return corruption("file of " + std::to_string(size)
                + " bytes is too large for a table "
                  "definition",
            path);
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.seekg(0, std::ios::beg);
    if (!bytes.empty() && !in.read(reinterpret_cast<char *>(bytes.data()), size)) {
        return common::ioError("cannot read the table definition", path);
    }
    auto table = parseTableDefinition(bytes, fileName, dictionaryName);
    if (!table) {
        common::Error error = table.error();
        error.where = path;
        return error;
    }
    return table;
}

} // namespace frm

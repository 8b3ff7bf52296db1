#include "frm/table_definition_reader.h"

#include "frm/charset.h"
#include "frm/column_reader.h"
#include "frm/column_type.h"
#include "frm/create_table_text.h"
#include "frm/expression_area.h"
#include "frm/extra2_segment.h"
#include "frm/frm_bytes.h"
#include "frm/key_reader.h"

#include <fstream>
#include <vector>

namespace frm {

namespace {

using common::Bytes;
using common::corruption;
using namespace fieldtype;

// Header fields (little-endian, offsets from the start of the file).
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kFrmVersion
    = 2; // FRM_VER + 3 (MySQL 4.1+), + 4 true VARCHAR, + 5 expressions
constexpr std::uint8_t kFrmVersionFirstReadable = 6 + 3;
constexpr std::uint8_t kFrmVersionExpressions = 6 + 5; // MariaDB 10.2+: the expression area
constexpr std::size_t kFormatMark = 33; // 5 in every file of MySQL 5.0.3+ and MariaDB
constexpr std::uint8_t kFormatMarkValue = 5;
constexpr std::size_t kExtra2Length = 4; // MySQL: 3; MariaDB 10: the extra2 segment
constexpr std::size_t kMySqlExtra2Length = 3; // "//" and 0: no extra2 segment
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
constexpr std::size_t kFormExpressionsLength = 286; // MariaDB 10.2+; MySQL 5.7 generated columns

constexpr std::size_t kColumnRecordSize = 17;
constexpr std::size_t kColumnInterval = 12;
constexpr std::size_t kColumnCommentLength = 15;
constexpr std::size_t kColumnRecordOffset = 5;

constexpr std::size_t kKeyHeaderSize = 6; // of the key block

constexpr std::size_t kLargestFile = 16 * 1024 * 1024; // far beyond any real definition file

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

} // namespace

DefinitionProblem definitionProblem(const common::Error &error)
{
    switch (error.kind) {
    case common::ErrorKind::Io:
    case common::ErrorKind::NotFound:
        return DefinitionProblem::Unreadable;
    case common::ErrorKind::NotSupported:
        if (error.message == kWrongFormatMark) {
            return DefinitionProblem::WrongVersion;
        }
        if (error.message == kNotATable) {
            return DefinitionProblem::View;
        }
        return error.message.starts_with(kOtherEngine) ? DefinitionProblem::NotInnoDb
                                                       : DefinitionProblem::Unsupported;
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

namespace {

std::string hexDecoded(std::string_view hex)
{
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0'
            : c >= 'a' && c <= 'f'  ? c - 'a' + 10
            : c >= 'A' && c <= 'F'  ? c - 'A' + 10
                                    : 0;
    };
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
    }
    return bytes;
}

common::Error unsupported(std::string message)
{
    return common::Error { common::ErrorKind::NotSupported, std::move(message), {} };
}

// Which generation of the format the file is: the format mark 5 of MySQL 5.0.3+ and MariaDB, or
// the header of MySQL 4.1 and 5.0.0-5.0.2, which lacks it, the server version and the extra
// segment, and keeps RAID settings at 41-46 (unireg.cc of that era, create_frm). Older files
// (MySQL 4.0 and before) lay out their columns in another way: the wrong version.
common::Result<bool> isEarlyGeneration(const FrmBytes &file)
{
    if (file.u8(kFormatMark) == kFormatMarkValue) {
        return false;
    }
    if (file.u8(kFrmVersion) == kFrmVersionFirstReadable
        && file.u16(kExtra2Length) == kMySqlExtra2Length) {
        return true;
    }
    return unsupported(std::string(kWrongFormatMark));
}

// The column records, their names, ENUM/SET members, comments and defaults.
common::Status readColumns(const FrmBytes &file, const Layout &layout, const ColumnContext &context,
    bool packedRecord, FrmTableEntry &table, std::size_t &expressionsAt)
{
    const std::size_t form = layout.formInfo;
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
    expressionsAt = commentsEnd;

    const DefaultRecord defaults { layout.defaultRecord, layout.defaultRecordLength };
    std::size_t nullBit = packedRecord ? 0 : 1;
    for (std::size_t c = 0; c < columnCount; ++c) {
        const std::size_t record = columns + c * kColumnRecordSize;
        ColumnDef column = readColumn(file, record, c, context);
        column.row = static_cast<std::uint16_t>(c + 4);
        column.name = (*names)[c];
        column.columnCount = static_cast<std::uint8_t>(columnCount);
        const std::size_t interval = file.u8(record + kColumnInterval);
        if ((column.fieldType == kEnum || column.fieldType == kSet) && interval > 0
            && interval <= intervals.size()) {
            column.elements = intervals[interval - 1];
            // Members in ucs2, utf16 or utf32 are kept as hex text, whose 00 bytes the list's
            // separators would otherwise cut (unireg.cc, "Restore all UCS2 intervals").
            if (column.minBytesPerChar > 1) {
                for (std::string &element : column.elements) {
                    element = hexDecoded(element);
                }
            }
        }
        const std::size_t columnComment = file.u16(record + kColumnCommentLength);
        if (columnComment > 0 && commentAt + columnComment <= commentsEnd) {
            column.comment = file.text(commentAt, columnComment);
            commentAt += columnComment;
        }
        column.size = columnSize(column);
        setDefault(column, file, defaults, file.u24(record + kColumnRecordOffset), nullBit);
        if (column.nullable) {
            ++table.nullableColumns;
        }
        if (isVariableLengthTypeName(column.typeName)) {
            ++table.variableColumns;
        }
        table.definitionOrder.push_back(std::move(column));
    }
    return common::okStatus();
}

// The primary key's columns first, in key order, then the others in definition order: the
// record order of the clustered index.
void setRecordOrder(FrmTableEntry &table)
{
    const std::size_t columnCount = table.definitionOrder.size();
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
}

} // namespace

common::Result<FrmTableEntry> parseTableDefinition(
    Bytes bytes, const std::string &fileName, const std::string &dictionaryName)
{
    const FrmBytes file(bytes);
    if (file.has(0, kViewMark.size()) && file.text(0, kViewMark.size()) == kViewMark) {
        return unsupported(std::string(kNotATable));
    }
    if (!file.has(0, kHeaderSize)) {
        return corruption(bytes.empty() ? "empty file" : "file shorter than its 64-byte header");
    }
    if (file.u8(0) != 0xFE || file.u8(1) != 0x01) {
        return corruption("not a table definition (no FE 01 mark)");
    }
    const auto early = isEarlyGeneration(file);
    if (!early) {
        return early.error();
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
        return unsupported(std::string(kOtherEngine) + *engine + ", not InnoDB");
    }
    const auto extra2 = readExtra2Segment(file);
    if (!extra2) {
        return extra2.error();
    }
    if (extra2->systemVersioned) {
        return unsupported("the table keeps its history (WITH SYSTEM VERSIONING), whose old rows "
                           "this program cannot tell from the current ones");
    }
    if (!extra2->unknownImportant.empty()) {
        return unsupported("the definition uses a feature this program does not know (extra2 item "
            + std::to_string(extra2->unknownImportant.front()) + ")");
    }

    FrmTableEntry table;
    table.fileName = fileName;
    table.dictionaryName = dictionaryName;
    table.tableName = tableNameFromFileName(fileName);
    table.engine = *engine;
    // Before 5.0.3 byte 41 held the RAID type, not the charset's high byte.
    table.defaultCharset = static_cast<std::uint16_t>(
        (*early ? 0 : file.u8(kDefaultCharsetHigh) << 8) | file.u8(kDefaultCharset));
    table.serverVersion = *early ? 0 : file.u32(kServerVersion);
    table.rowFormat = file.u8(kRowFormat);
    table.maxRows = file.u32(kMaxRows);
    table.minRows = file.u32(kMinRows);
    table.averageRowLength = file.u32(kAverageRowLength);

    const std::size_t form = layout->formInfo;
    const std::size_t commentLength = file.u8(form + kFormCommentLength);
    if (commentLength != 255 && commentLength <= 180) {
        table.comment = file.text(form + kFormComment, commentLength);
    }
    const ColumnContext context { *early, table.serverVersion, &*extra2 };
    std::size_t expressionsAt = 0;
    const bool packedRecord = (file.u16(kTableOptions) & 1) != 0;
    if (auto read = readColumns(file, *layout, context, packedRecord, table, expressionsAt);
        !read) {
        return read.error();
    }
    const std::size_t expressionsLength = file.u16(form + kFormExpressionsLength);
    if (expressionsLength > 0 && file.u8(kFrmVersion) < kFrmVersionExpressions) {
        return unsupported("the table has generated columns in the layout of MySQL 5.7 or "
                           "MariaDB 10.1, which this program does not read");
    }
    const auto expressions = readExpressions(file, expressionsAt, expressionsLength);
    if (!expressions) {
        return expressions.error();
    }
    if (auto applied = applyExpressions(table, *expressions); !applied) {
        return applied.error();
    }
    for (ColumnDef &column : table.definitionOrder) {
        // The server's own invisible columns (INVISIBLE_FULL): a long UNIQUE key's hash.
        if (column.index < extra2->fieldFlags.size()
            && (extra2->fieldFlags[column.index] & kFieldInvisibleMask) > kFieldInvisibleUser) {
            column.hiddenByServer = true;
        }
        if (const std::string reason = unreadableColumnReason(column);
            !reason.empty() && !column.hiddenByServer) {
            return unsupported("column " + column.name + " " + reason);
        }
    }

    const std::size_t columnCount = table.definitionOrder.size();
    if (auto keys = readKeys(file, layout->keyBlock, table, columnCount); !keys) {
        return keys.error();
    }
    for (std::size_t k = 0; k < table.keys.size() && k < extra2->indexFlags.size(); ++k) {
        table.keys[k].ignored = (extra2->indexFlags[k] & kIndexIgnored) != 0;
    }
    completeTableModel(table);
    return table;
}

void completeTableModel(FrmTableEntry &table, std::optional<int> clusteredKey)
{
    setPrefixLengths(table);
    table.firstKeyParts = table.keys.empty()
        ? std::uint8_t { 0 }
        : static_cast<std::uint8_t>(table.keys.front().parts.size());
    table.hasPrimaryKey = !table.keys.empty() && table.keys.front().kind == KeyKind::Primary;
    table.clusteredKey = clusteredKey ? *clusteredKey : findClusteredKey(table);
    setRecordOrder(table);
    for (const KeyDef &key : table.keys) {
        table.keyClauses.push_back(keyClause(table, key));
    }
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

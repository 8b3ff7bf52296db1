#include "innodb/dictionary_definitions.h"

#include "frm/charset.h"
#include "frm/column_reader.h"
#include "frm/column_type.h"
#include "frm/table_definition_reader.h"
#include "innodb/page_scanner.h"
#include "innodb/tablespace_file.h"

#include <algorithm>
#include <map>

namespace innodb {

namespace {

using namespace frm::fieldtype;

// SYS_INDEXES.TYPE bits (dict0mem.h, DICT_*).
constexpr std::uint32_t kIndexUnique = 2;
constexpr std::uint32_t kIndexFulltext = 32;
constexpr std::uint32_t kIndexSpatial = 64;
// An index still being built, or left behind by a failed ALTER, starts with this byte.
constexpr char kTemporaryIndexMark = '\xFF';

// The server's display widths, which the dictionary does not keep; only the CREATE TABLE text
// shows them.
std::uint32_t integerWidth(std::uint8_t fieldType, bool isUnsigned)
{
    switch (fieldType) {
    case kTiny:
        return isUnsigned ? 3 : 4;
    case kShort:
        return isUnsigned ? 5 : 6;
    case kInt24:
        return isUnsigned ? 8 : 9;
    case kLong:
        return isUnsigned ? 10 : 11;
    default:
        return 20;
    }
}

// Display length of a temporal column with `digits` fractional digits: the form the .frm keeps.
std::uint32_t temporalLength(std::uint32_t base, std::uint32_t digits)
{
    return digits > 0 ? base + 1 + digits : base;
}

// Fractional digits of a binary temporal value `extra` bytes longer than its whole-second form;
// each byte holds two digits, and the larger count is the one the column was declared with.
std::uint32_t fractionDigits(std::uint32_t length, std::uint32_t wholeLength)
{
    return length > wholeLength ? std::min<std::uint32_t>((length - wholeLength) * 2, 6) : 0;
}

// The BLOB and TEXT kinds by their pack length: length bytes plus an 8-byte pointer.
std::uint8_t blobFieldType(std::uint32_t length)
{
    switch (length) {
    case 9:
        return kTinyBlob;
    case 11:
        return kMediumBlob;
    case 12:
        return kLongBlob;
    default:
        return kBlob;
    }
}

std::uint16_t characterSet(const DictionaryColumn &column)
{
    if (column.mainType == mtype::kBinary || column.mainType == mtype::kFixBinary) {
        return frm::kCharsetBinary;
    }
    if (const std::uint16_t collation = column.collation(); collation != 0) {
        return collation;
    }
    // Tables of servers before 4.1 kept no collation: latin1, or binary when flagged.
    return (column.preciseType & prtype::kBinaryType) != 0 ? frm::kCharsetBinary
                                                           : frm::kCharsetLatin1;
}

// Sets the type of `def` from the dictionary's main and precise type; false when they do not
// name one this program can lay out.
bool setType(frm::ColumnDef &def, const DictionaryColumn &column, std::string &unsupported)
{
    const std::uint8_t type = column.fieldType();
    const std::uint32_t length = column.length;
    const auto fail = [&](std::string reason) {
        unsupported = "column " + column.name + " " + std::move(reason);
        return false;
    };
    switch (column.mainType) {
    case mtype::kInt:
        switch (type) {
        case kTiny:
        case kShort:
        case kInt24:
        case kLong:
        case kLongLong:
            def.fieldType = type;
            def.byteLength = integerWidth(type, def.isUnsigned);
            return true;
        case kYear:
            def.fieldType = kYear;
            def.byteLength = 4;
            return true;
        case kTimestamp:
        case kDateTime:
            def.fieldType = type;
            def.byteLength = 19;
            return true;
        case kNewDate:
        case kTime:
            def.fieldType = type;
            def.byteLength = 10;
            return true;
        case kEnum:
        case kSet:
        case kString:
            return fail("is an ENUM or SET, whose members the dictionary does not keep");
        default:
            break;
        }
        break;
    case mtype::kFloat:
    case mtype::kDouble:
        def.fieldType = column.mainType == mtype::kFloat ? kFloat : kDouble;
        def.byteLength = column.mainType == mtype::kFloat ? 12 : 22;
        def.scale = 31; // declared without (M,D)
        return true;
    case mtype::kFixBinary:
        // MariaDB gives the binary temporal forms the classic type numbers: the main type tells
        // them apart, and MySQL 5.6's layout is the one both servers write by default.
        switch (type) {
        case kTimestamp:
        case kTimestamp2:
            def.fieldType = kTimestamp2;
            def.byteLength = temporalLength(19, fractionDigits(length, 4));
            return true;
        case kDateTime:
        case kDateTime2:
            def.fieldType = kDateTime2;
            def.byteLength = temporalLength(19, fractionDigits(length, 5));
            return true;
        case kTime:
        case kTime2:
            def.fieldType = kTime2;
            def.byteLength = temporalLength(10, fractionDigits(length, 3));
            return true;
        case kBit:
            def.fieldType = kBit;
            def.byteLength = length * 8;
            return true;
        case kNewDecimal:
            return fail("is a DECIMAL, whose precision and scale the dictionary does not keep");
        case kString:
            def.fieldType = kString;
            def.byteLength = length;
            return true;
        default:
            break;
        }
        break;
    case mtype::kBinary:
    case mtype::kVarchar:
    case mtype::kVarMySql:
        if (type == kVarchar || type == kVarString) {
            def.fieldType = type;
            def.byteLength = length;
            return true;
        }
        break;
    case mtype::kChar:
    case mtype::kMySql:
        if (type == kString) {
            def.fieldType = kString;
            def.byteLength = length;
            return true;
        }
        break;
    case mtype::kBlob:
        if (type == kJson) {
            return fail("holds MySQL's binary JSON, which this program does not convert");
        }
        // The pack length is the length bytes plus the 8-byte pointer; the .frm keeps the latter.
        def.fieldType = blobFieldType(length);
        def.byteLength = 8;
        return true;
    case mtype::kGeometry:
        def.fieldType = kGeometry;
        def.byteLength = length;
        return true;
    case mtype::kDecimal:
        return fail("is an old DECIMAL, whose precision and scale the dictionary does not keep");
    default:
        break;
    }
    return fail("has main type " + std::to_string(column.mainType) + " and MySQL type "
        + std::to_string(type) + ", which this program does not know");
}

std::vector<frm::KeyDef> keysOf(const Dictionary &tables, const DictionaryColumns &columns,
    const frm::FrmTableEntry &table, std::uint64_t tableId)
{
    std::vector<DictionaryIndex> indexes;
    for (const DictionaryIndex &index : tables.indexes) {
        if (index.tableId == tableId && !index.name.empty()
            && index.name.front() != kTemporaryIndexMark) {
            indexes.push_back(index);
        }
    }
    // The clustered index first: it is the key the rows are stored by.
    std::stable_sort(indexes.begin(), indexes.end(), [](const auto &a, const auto &b) {
        return a.isClustered() != b.isClustered() ? a.isClustered() : a.indexId < b.indexId;
    });
    std::vector<frm::KeyDef> keys;
    for (const DictionaryIndex &index : indexes) {
        const bool unique = (index.type & kIndexUnique) != 0;
        if (index.isClustered() && !unique) {
            continue; // GEN_CLUST_INDEX over the hidden row id: no key of the table's own
        }
        frm::KeyDef key;
        key.name = index.name;
        key.kind = index.isClustered() && frm::sameName(index.name, "PRIMARY")
            ? frm::KeyKind::Primary
            : (index.type & kIndexFulltext) != 0 ? frm::KeyKind::Fulltext
            : (index.type & kIndexSpatial) != 0  ? frm::KeyKind::Spatial
            : unique                             ? frm::KeyKind::Unique
                                                 : frm::KeyKind::Plain;
        bool whole = true;
        for (const DictionaryField &field : columns.fields) {
            if (field.indexId != index.indexId) {
                continue;
            }
            const auto column = std::find_if(table.definitionOrder.begin(),
                table.definitionOrder.end(),
                [&](const frm::ColumnDef &c) { return frm::sameName(c.name, field.columnName); });
            if (column == table.definitionOrder.end()) {
                whole = false;
                break;
            }
            frm::KeyPart part;
            part.column = column->index;
            part.byteLength = static_cast<std::uint16_t>(
                field.prefixLength != 0 ? field.prefixLength : column->byteLength);
            key.parts.push_back(part);
        }
        if (whole && !key.parts.empty()) {
            keys.push_back(std::move(key));
        }
    }
    return keys;
}

// The collation most character columns use: what the table was most likely declared with.
std::uint16_t tableCharset(const frm::FrmTableEntry &table)
{
    std::map<std::uint16_t, std::size_t> counts;
    for (const frm::ColumnDef &column : table.definitionOrder) {
        if (frm::isCharacterFieldType(column.fieldType) && column.charset != frm::kCharsetBinary) {
            ++counts[column.charset];
        }
    }
    std::uint16_t best = frm::kCharsetLatin1;
    std::size_t most = 0;
    for (const auto &[charset, count] : counts) {
        if (count > most) {
            best = charset;
            most = count;
        }
    }
    return best;
}

DictionaryDefinition definitionOf(const IBData1TableInfo &info, const Dictionary &tables,
    const DictionaryColumns &columns)
{
    DictionaryDefinition definition;
    definition.dictionaryName = info.name;
    std::vector<DictionaryColumn> own;
    for (const DictionaryColumn &column : columns.columns) {
        if (column.tableId == info.tableId && (column.preciseType & prtype::kVirtual) == 0) {
            own.push_back(column);
        }
    }
    std::stable_sort(own.begin(), own.end(),
        [](const auto &a, const auto &b) { return a.position < b.position; });
    if (own.empty()) {
        definition.unsupported = "the dictionary holds no column of the table";
        return definition;
    }
    // A column record lost to a damaged dictionary page would shift every later column of
    // every row: better no table than wrong values.
    if (info.columnCount != 0 && own.size() != info.columnCount) {
        definition.unsupported = "the dictionary holds " + std::to_string(own.size()) + " of its "
            + std::to_string(info.columnCount) + " column records";
        return definition;
    }

    frm::FrmTableEntry &table = definition.table;
    const auto slash = info.name.find('/');
    const std::string stored = slash == std::string::npos ? info.name : info.name.substr(slash + 1);
    table.fileName = stored;
    table.dictionaryName = info.name;
    table.tableName = frm::tableNameFromFileName(stored);
    table.engine = "InnoDB";
    table.source = frm::DefinitionSource::Dictionary;
    for (const DictionaryColumn &column : own) {
        if ((column.preciseType & prtype::kVersioned) != 0) {
            definition.unsupported = "the table keeps its history (WITH SYSTEM VERSIONING), "
                                     "whose old rows this program cannot tell from the current ones";
            return definition;
        }
        frm::ColumnDef def = columnFromDictionary(column, definition.unsupported);
        if (!definition.unsupported.empty()) {
            return definition;
        }
        def.index = static_cast<std::uint16_t>(table.definitionOrder.size());
        def.row = static_cast<std::uint16_t>(def.index + 4);
        def.columnCount = static_cast<std::uint8_t>(own.size());
        if (def.nullable) {
            ++table.nullableColumns;
        }
        if (frm::isVariableLengthTypeName(def.typeName)) {
            ++table.variableColumns;
        }
        table.definitionOrder.push_back(std::move(def));
    }
    table.defaultCharset = tableCharset(table);
    table.keys = keysOf(tables, columns, table, info.tableId);
    frm::completeTableModel(table);
    table.definitionNotes.push_back(
        "column defaults and AUTO_INCREMENT are not kept in InnoDB's dictionary: the rebuilt "
        "table has the server's defaults and no AUTO_INCREMENT");
    return definition;
}

bool inDatabase(std::string_view name, std::string_view database)
{
    return name.size() > database.size() + 1 && name[database.size()] == '/'
        && frm::sameName(name.substr(0, database.size()), database);
}

} // namespace

frm::ColumnDef columnFromDictionary(const DictionaryColumn &column, std::string &unsupported)
{
    frm::ColumnDef def;
    def.name = column.name;
    def.nullable = (column.preciseType & prtype::kNotNull) == 0;
    def.isUnsigned = (column.preciseType & prtype::kUnsigned) != 0;
    if (!setType(def, column, unsupported)) {
        return def;
    }
    if (frm::isCharacterFieldType(def.fieldType) || frm::isBlobFieldType(def.fieldType)) {
        def.charset = def.fieldType == kGeometry ? frm::kCharsetBinary : characterSet(column);
    }
    if (frm::isCharacterFieldType(def.fieldType)) {
        def.maxBytesPerChar = frm::maxBytesPerChar(def.charset);
        def.minBytesPerChar = frm::minBytesPerChar(def.charset);
    }
    // InnoDB flags a TIMESTAMP unsigned too; only numbers have a sign to show.
    if (frm::isNumericFieldType(def.fieldType)) {
        def.signedness = def.isUnsigned ? "unsigned" : "signed";
    } else {
        def.isUnsigned = false;
    }
    def.typeCode = frm::typeCode(def.charset, def.fieldType);
    def.fractionalDigits = frm::temporalFractionalDigits(def.fieldType, def.byteLength);
    def.typeName = std::string(frm::columnTypeName(def.fieldType, def.charset));
    def.nullability = def.nullable ? "NULL" : "NOT NULL";
    def.longLength = frm::hasLongLength(def.typeName, def.byteLength);
    def.size = frm::columnSize(def);
    if (const std::string reason = frm::unreadableColumnReason(def); !reason.empty()) {
        unsupported = "column " + column.name + " " + reason;
    }
    return def;
}

std::vector<DictionaryDefinition> definitionsFromDictionary(
    const Dictionary &tables, const DictionaryColumns &columns, std::string_view database)
{
    std::vector<DictionaryDefinition> definitions;
    for (const IBData1TableInfo &info : tables.tables) {
        if (inDatabase(info.name, database)) {
            definitions.push_back(definitionOf(info, tables, columns));
            definitions.back().space = info.space;
        }
    }
    return definitions;
}

common::Result<DictionaryDefinitions> readDictionaryDefinitions(
    const std::string &path, std::string_view database, const std::function<bool()> &stopRequested)
{
    auto file = TablespaceFile::open(path);
    if (!file) {
        return file.error();
    }
    // The dictionary's own trees are walked from their roots; without a scan of the whole file
    // there are no orphan pages to add, which an intact dictionary does not need.
    const ScanResult noScan;
    const auto tables = readDictionary(*file, noScan, stopRequested);
    if (!tables) {
        return tables.error();
    }
    const auto columns = readDictionaryColumns(*file, noScan, stopRequested);
    if (!columns) {
        return columns.error();
    }
    DictionaryDefinitions definitions;
    definitions.tables = definitionsFromDictionary(*tables, *columns, database);
    definitions.problems = tables->problems;
    definitions.problems.insert(
        definitions.problems.end(), columns->problems.begin(), columns->problems.end());
    return definitions;
}

} // namespace innodb

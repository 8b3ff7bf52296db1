#include "frm/sdi_table.h"

#include "frm/charset.h"
#include "frm/column_reader.h"
#include "frm/column_type.h"
#include "frm/default_value.h"
#include "frm/table_definition_reader.h"

#include <nlohmann/json.hpp>

namespace frm {

namespace {

using nlohmann::json;
using namespace fieldtype;

// dd::Column::enum_hidden_type: visible, hidden by InnoDB (DB_ROW_ID, DB_TRX_ID, DB_ROLL_PTR and
// dropped columns), by the server (a functional index's column), or INVISIBLE by the user.
constexpr int kHiddenNone = 1;
constexpr int kHiddenBySe = 2;
constexpr int kHiddenBySql = 3;
constexpr int kHiddenByUser = 4;

// dd::Index::enum_index_type and enum_index_algorithm.
constexpr int kIndexPrimary = 1;
constexpr int kIndexUnique = 2;
constexpr int kIndexFulltext = 4;
constexpr int kIndexSpatial = 5;
constexpr int kAlgorithmBtree = 2;
constexpr int kAlgorithmRtree = 3;
constexpr int kAlgorithmHash = 4;

// The decimals of a FLOAT or DOUBLE declared without them (NOT_FIXED_DEC).
constexpr std::uint8_t kNotFixedDecimals = 31;
// dd row_format: 1 fixed, 2 dynamic, 3 compressed, 4 redundant, 5 compact, 6 paged; the .frm's
// ROW_FORMAT byte (enum row_type) numbers them 1, 2, 3, 4, 5, 6 alike.
constexpr int kLargestRowFormat = 6;

common::Error unsupported(std::string message)
{
    return common::Error { common::ErrorKind::NotSupported, std::move(message), {} };
}

std::string base64Decoded(std::string_view text)
{
    std::string bytes;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z') {
            value = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            value = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            value = c - '0' + 52;
        } else if (c == '+') {
            value = 62;
        } else if (c == '/') {
            value = 63;
        } else {
            continue; // line breaks and padding
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return bytes;
}

template <typename T> T number(const json &object, const char *key, T fallback = 0)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_number() ? found->get<T>() : fallback;
}

bool flag(const json &object, const char *key)
{
    const auto found = object.find(key);
    if (found == object.end()) {
        return false;
    }
    return found->is_boolean() ? found->get<bool>() : found->is_number() && found->get<int>() != 0;
}

std::string text(const json &object, const char *key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// Why the column cannot be taken, or the column as the rest of the program knows it.
common::Result<ColumnDef> columnFromSdi(const json &source, std::size_t index)
{
    ColumnDef column;
    column.name = text(source, "name");
    const auto dictionaryType = number<std::uint32_t>(source, "type");
    const auto fieldType = fieldTypeOfDictionaryType(dictionaryType);
    if (!fieldType) {
        return unsupported("column " + column.name + " has the dictionary type "
            + std::to_string(dictionaryType) + " (" + text(source, "column_type_utf8")
            + "), which this program does not know");
    }
    column.index = static_cast<std::uint16_t>(index);
    column.fieldType = *fieldType;
    column.charset = number<std::uint16_t>(source, "collation_id", kCharsetBinary);
    if (column.fieldType == kGeometry) {
        column.charset = kCharsetBinary;
    }
    if (isCharacterFieldType(column.fieldType)) {
        column.maxBytesPerChar = maxBytesPerChar(column.charset);
        column.minBytesPerChar = minBytesPerChar(column.charset);
    }
    column.byteLength = number<std::uint32_t>(source, "char_length");
    column.nullable = flag(source, "is_nullable");
    column.isUnsigned = flag(source, "is_unsigned");
    column.zerofill = flag(source, "is_zerofill");
    if (isNumericFieldType(column.fieldType)) {
        column.signedness = column.isUnsigned ? "unsigned" : "signed";
    }
    if (column.fieldType == kNewDecimal || column.fieldType == kOldDecimal) {
        column.precision = number<std::uint8_t>(source, "numeric_precision");
        column.scale = number<std::uint8_t>(source, "numeric_scale");
    } else if (column.fieldType == kFloat || column.fieldType == kDouble) {
        column.scale = flag(source, "numeric_scale_null")
            ? kNotFixedDecimals
            : number<std::uint8_t>(source, "numeric_scale");
    }
    if (!flag(source, "datetime_precision_null")) {
        column.fractionalDigits = number<std::uint8_t>(source, "datetime_precision");
    }
    if (column.fieldType == kEnum || column.fieldType == kSet) {
        const auto elements = source.find("elements");
        if (elements != source.end() && elements->is_array()) {
            for (const json &element : *elements) {
                column.elements.push_back(base64Decoded(text(element, "name")));
            }
        }
    }
    column.comment = text(source, "comment");
    const int hidden = number<int>(source, "hidden", kHiddenNone);
    column.invisible = hidden == kHiddenByUser;
    column.hiddenByServer = hidden == kHiddenBySql;
    const std::string expression = text(source, "generation_expression_utf8");
    if (!expression.empty()) {
        column.expression = expression;
        column.generation = flag(source, "is_virtual") ? ColumnDef::Generation::Virtual
                                                       : ColumnDef::Generation::Stored;
    }
    if (flag(source, "is_auto_increment")) {
        column.kind = "AUTO_INCREMENT";
    }
    column.typeName = std::string(columnTypeName(column.fieldType, column.charset));
    column.nullability = column.nullable ? "NULL" : "NOT NULL";
    column.typeCode = typeCode(column.charset, column.fieldType);
    column.longLength = hasLongLength(column.typeName, column.byteLength);
    column.size = columnSize(column);

    // The DEFAULT: an expression (CURRENT_TIMESTAMP, or (expr) since 8.0.13) as the server wrote
    // it; else the row image the server keeps, read as a .frm's default record is read.
    const std::string option = text(source, "default_option");
    column.onUpdateCurrentTimestamp = !text(source, "update_option").empty();
    if (!option.empty()) {
        column.defaultValue = option;
    } else if (flag(source, "has_no_default") || column.kind == "AUTO_INCREMENT"
        || column.generation != ColumnDef::Generation::None) {
        column.defaultValue.reset();
    } else if (flag(source, "default_value_null")) {
        if (column.nullable) {
            column.defaultValue = "NULL";
        }
    } else if (!isBlobFieldType(column.fieldType)) {
        const std::string image = base64Decoded(text(source, "default_value"));
        column.defaultValue = defaultValueLiteral(column,
            common::Bytes(reinterpret_cast<const std::uint8_t *>(image.data()), image.size()));
        if (!column.defaultValue && !flag(source, "default_value_utf8_null")) {
            column.defaultValue
                = stringLiteral(text(source, "default_value_utf8"), kCharsetUtf8mb4, true);
        }
    }
    return column;
}

// The keys, with the parts each names, and which of them InnoDB clusters the rows on: the index
// with ordinal position 1, unless it is InnoDB's own over DB_ROW_ID (hidden).
common::Status keysFromSdi(const json &indexes, const std::vector<int> &definitionIndexOf,
    FrmTableEntry &table, int &clusteredKey)
{
    clusteredKey = -1;
    for (const json &index : indexes) {
        const bool first = number<int>(index, "ordinal_position") == 1;
        if (flag(index, "hidden")) {
            if (first) {
                table.clusteredRootPage = static_cast<std::uint32_t>(
                    privateDataValue(text(index, "se_private_data"), "root").value_or(0));
                table.clusteredIndexId
                    = privateDataValue(text(index, "se_private_data"), "id").value_or(0);
            }
            continue;
        }
        KeyDef key;
        key.name = text(index, "name");
        const int type = number<int>(index, "type");
        key.kind = type == kIndexPrimary ? KeyKind::Primary
            : type == kIndexUnique       ? KeyKind::Unique
            : type == kIndexFulltext     ? KeyKind::Fulltext
            : type == kIndexSpatial      ? KeyKind::Spatial
                                         : KeyKind::Plain;
        if (flag(index, "is_algorithm_explicit")) {
            const int algorithm = number<int>(index, "algorithm");
            key.algorithm = algorithm == kAlgorithmBtree ? kKeyAlgorithmBtree
                : algorithm == kAlgorithmRtree           ? kKeyAlgorithmRtree
                : algorithm == kAlgorithmHash            ? kKeyAlgorithmHash
                                                         : kKeyAlgorithmDefault;
        }
        key.comment = text(index, "comment");
        key.ignored = index.contains("is_visible") && !flag(index, "is_visible");
        const auto elements = index.find("elements");
        if (elements == index.end() || !elements->is_array()) {
            return common::corruption("index " + key.name + " lists no elements");
        }
        for (const json &element : *elements) {
            if (flag(element, "hidden")) {
                continue;
            }
            const auto opx = number<std::size_t>(element, "column_opx", SIZE_MAX);
            if (opx >= definitionIndexOf.size() || definitionIndexOf[opx] < 0) {
                return common::corruption("index " + key.name + " names a column the table lacks");
            }
            KeyPart part;
            part.column = static_cast<std::uint16_t>(definitionIndexOf[opx]);
            const auto length = number<std::uint64_t>(element, "length", 0xFFFFFFFF);
            const ColumnDef &column = table.definitionOrder[part.column];
            part.byteLength = static_cast<std::uint16_t>(
                length >= 0xFFFF ? std::min<std::uint32_t>(column.byteLength, 0xFFFF) : length);
            key.parts.push_back(part);
        }
        if (first) {
            clusteredKey = static_cast<int>(table.keys.size());
            table.clusteredRootPage = static_cast<std::uint32_t>(
                privateDataValue(text(index, "se_private_data"), "root").value_or(0));
            table.clusteredIndexId
                = privateDataValue(text(index, "se_private_data"), "id").value_or(0);
        }
        table.keys.push_back(std::move(key));
    }
    return common::okStatus();
}

// Why a column's records cannot be laid out from this definition alone: a column added or
// dropped in place since MySQL 8.0.29 (its row versions, physical position) or one a server
// dropped and keeps hidden; empty otherwise.
std::string instantChange(const json &source)
{
    const std::string privateData = text(source, "se_private_data");
    if (privateDataValue(privateData, "version_added")
        || privateDataValue(privateData, "version_dropped")
        || privateDataValue(privateData, "physical_pos")
        || text(source, "name").starts_with("!hidden!")) {
        return std::string(kRowVersionsRefusal);
    }
    return {};
}

} // namespace

std::optional<std::uint8_t> fieldTypeOfDictionaryType(std::uint32_t dictionaryType)
{
    // dd::enum_column_types counts from DECIMAL = 1 (MYSQL_TYPE_DECIMAL + 1) to TIME2 = 20 in
    // MySQL's order, then NEWDECIMAL, ENUM, SET, the four BLOBs, VAR_STRING, STRING, GEOMETRY and
    // JSON, which MySQL numbers from 245.
    if (dictionaryType >= 1 && dictionaryType <= 20) {
        return static_cast<std::uint8_t>(dictionaryType - 1);
    }
    switch (dictionaryType) {
    case 21: return kNewDecimal;
    case 22: return kEnum;
    case 23: return kSet;
    case 24: return kTinyBlob;
    case 25: return kMediumBlob;
    case 26: return kLongBlob;
    case 27: return kBlob;
    case 28: return kVarString;
    case 29: return kString;
    case 30: return kGeometry;
    case 31: return kJson;
    default: return std::nullopt;
    }
}

std::optional<std::uint64_t> privateDataValue(std::string_view text, std::string_view key)
{
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(';', at), text.size());
        const std::string_view item = text.substr(at, end - at);
        const std::size_t equals = item.find('=');
        if (equals != std::string_view::npos && item.substr(0, equals) == key) {
            std::uint64_t value = 0;
            const std::string_view digits = item.substr(equals + 1);
            if (digits.empty()) {
                return std::nullopt;
            }
            for (const char c : digits) {
                if (c < '0' || c > '9') {
                    return std::nullopt;
                }
                value = value * 10 + static_cast<std::uint64_t>(c - '0');
            }
            return value;
        }
        at = end + 1;
    }
    return std::nullopt;
}

common::Result<FrmTableEntry> tableFromSdi(
    std::string_view jsonText, const std::string &fileName, const std::string &dictionaryName)
{
    const json document = json::parse(jsonText, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return common::corruption("the SDI record is not JSON");
    }
    if (text(document, "dd_object_type") != "Table" || !document.contains("dd_object")
        || !document["dd_object"].is_object()) {
        return common::corruption("the SDI record does not describe a table");
    }
    const json &object = document["dd_object"];
    FrmTableEntry table;
    table.source = DefinitionSource::Sdi;
    table.fileName = fileName;
    table.dictionaryName = dictionaryName;
    table.tableName = text(object, "name");
    table.engine = text(object, "engine");
    if (!sameName(table.engine, "InnoDB")) {
        return unsupported("table engine is " + table.engine + ", not InnoDB");
    }
    if (number<int>(object, "partition_type") != 0) {
        return unsupported("the table is partitioned, which this program does not rebuild");
    }
    table.serverVersion = number<std::uint32_t>(object, "mysql_version_id");
    table.defaultCharset = number<std::uint16_t>(object, "collation_id", kCharsetUtf8mb4Binary);
    const int rowFormat = number<int>(object, "row_format");
    table.rowFormat = static_cast<std::uint8_t>(rowFormat <= kLargestRowFormat ? rowFormat : 0);
    table.comment = text(object, "comment");
    const std::string options = text(object, "options");
    table.averageRowLength
        = static_cast<std::uint32_t>(privateDataValue(options, "avg_row_length").value_or(0));
    table.maxRows = static_cast<std::uint32_t>(privateDataValue(options, "max_rows").value_or(0));
    table.minRows = static_cast<std::uint32_t>(privateDataValue(options, "min_rows").value_or(0));

    if (privateDataValue(text(object, "se_private_data"), "instant_col")) {
        return unsupported(std::string(kInstantAddRefusal));
    }
    const auto columns = object.find("columns");
    if (columns == object.end() || !columns->is_array() || columns->empty()) {
        return common::corruption("the SDI table has no columns");
    }
    // The dictionary's column positions (column_opx) count InnoDB's hidden columns too.
    std::vector<int> definitionIndexOf(columns->size(), -1);
    for (std::size_t c = 0; c < columns->size(); ++c) {
        const json &source = (*columns)[c];
        const bool innodbOwn = number<int>(source, "hidden", kHiddenNone) == kHiddenBySe;
        const std::string name = text(source, "name");
        if (innodbOwn && (name == "DB_ROW_ID" || name == "DB_TRX_ID" || name == "DB_ROLL_PTR")) {
            continue; // the record's system fields, which the decoders know by position
        }
        if (const std::string change = instantChange(source); !change.empty()) {
            return unsupported(change);
        }
        auto column = columnFromSdi(source, table.definitionOrder.size());
        if (!column) {
            return column.error();
        }
        if (innodbOwn) {
            // FTS_DOC_ID: stored after the table's columns, never part of its CREATE TABLE.
            column->hiddenByServer = true;
            column->storedByServer = true;
        }
        if (const std::string reason = unreadableColumnReason(*column);
            !reason.empty() && !column->hiddenByServer) {
            return unsupported("column " + column->name + " " + reason);
        }
        definitionIndexOf[c] = static_cast<int>(table.definitionOrder.size());
        column->row = static_cast<std::uint16_t>(table.definitionOrder.size() + 4);
        if (column->nullable) {
            ++table.nullableColumns;
        }
        if (isVariableLengthTypeName(column->typeName)) {
            ++table.variableColumns;
        }
        table.definitionOrder.push_back(std::move(*column));
    }
    for (ColumnDef &column : table.definitionOrder) {
        column.columnCount = static_cast<std::uint8_t>(table.definitionOrder.size());
    }
    int clusteredKey = -1;
    if (const auto indexes = object.find("indexes"); indexes != object.end() && indexes->is_array()) {
        if (auto keys = keysFromSdi(*indexes, definitionIndexOf, table, clusteredKey); !keys) {
            return keys.error();
        }
    }
    completeTableModel(table, clusteredKey);
    return table;
}

} // namespace frm

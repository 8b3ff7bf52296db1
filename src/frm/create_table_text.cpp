#include "frm/create_table_text.h"

#include "frm/charset.h"
#include "frm/column_type.h"
#include "frm/default_value.h"

namespace frm {

namespace {

bool isCharacterColumn(const ColumnDef &column)
{
    switch (column.fieldType) {
    case fieldtype::kVarchar:
    case fieldtype::kVarString:
    case fieldtype::kString:
    case fieldtype::kEnum:
    case fieldtype::kSet:
    case fieldtype::kTinyBlob:
    case fieldtype::kMediumBlob:
    case fieldtype::kLongBlob:
    case fieldtype::kBlob:
        return column.charset != kCharsetBinary;
    default:
        return false;
    }
}

// The character set clause of a column whose collation is not the table's own.
std::string characterSetClause(const FrmTableEntry &table, const ColumnDef &column)
{
    if (!isCharacterColumn(column) || column.charset == table.defaultCharset) {
        return {};
    }
    const Collation *collation = findCollation(column.charset);
    if (!collation) {
        return {};
    }
    return " CHARACTER SET " + std::string(collation->charset) + " COLLATE "
        + std::string(workshopCollationName(*collation));
}

std::string tableCharsetClause(std::uint16_t charset)
{
    if (charset == kCharsetUtf8) {
        return "charset = utf8";
    }
    if (charset == kCharsetLatin1) {
        return "charset = latin1";
    }
    const Collation *collation = findCollation(charset);
    if (!collation || charset == kCharsetBinary) {
        return {};
    }
    return "charset = " + std::string(collation->charset)
        + " collate = " + std::string(workshopCollationName(*collation));
}

} // namespace

std::string quoteIdentifier(std::string_view name)
{
    std::string quoted = "`";
    for (const char c : name) {
        quoted += c;
        if (c == '`') {
            quoted += '`';
        }
    }
    return quoted + "`";
}

std::string columnClause(const FrmTableEntry &table, const ColumnDef &column)
{
    std::string clause = quoteIdentifier(column.name) + " " + sqlTypeText(column);
    clause += characterSetClause(table, column);
    if (column.generation != ColumnDef::Generation::None) {
        // The server computes the values: no NULL, DEFAULT or ON UPDATE of its own.
        clause += " GENERATED ALWAYS AS (" + column.expression + ")";
        clause += column.generation == ColumnDef::Generation::Virtual ? " VIRTUAL" : " STORED";
    } else {
        clause += column.nullable ? " NULL" : " NOT NULL";
        if (column.defaultValue) {
            clause += " DEFAULT " + *column.defaultValue;
        }
        if (column.onUpdateCurrentTimestamp) {
            clause += " ON UPDATE CURRENT_TIMESTAMP";
            if (column.fractionalDigits > 0) {
                clause += "(" + std::to_string(column.fractionalDigits) + ")";
            }
        }
        if (!column.kind.empty()) {
            clause += " " + column.kind;
        }
    }
    if (column.invisible) {
        clause += " INVISIBLE";
    }
    if (!column.comment.empty()) {
        clause += " COMMENT " + stringLiteral(column.comment, kCharsetUtf8);
    }
    if (!column.check.empty()) {
        clause += " CHECK (" + column.check + ")";
    }
    return clause;
}

std::string keyClause(const FrmTableEntry &table, const KeyDef &key)
{
    std::string clause;
    switch (key.kind) {
    case KeyKind::Primary:
        clause = "PRIMARY KEY";
        break;
    case KeyKind::Unique:
        clause = "UNIQUE KEY " + quoteIdentifier(key.name);
        break;
    case KeyKind::Plain:
        clause = "KEY " + quoteIdentifier(key.name);
        break;
    case KeyKind::Fulltext:
        clause = "FULLTEXT KEY " + quoteIdentifier(key.name);
        break;
    case KeyKind::Spatial:
        clause = "SPATIAL KEY " + quoteIdentifier(key.name);
        break;
    }
    clause += " (";
    for (std::size_t i = 0; i < key.parts.size(); ++i) {
        const KeyPart &part = key.parts[i];
        if (i > 0) {
            clause += ",";
        }
        clause += part.column < table.definitionOrder.size()
            ? quoteIdentifier(table.definitionOrder[part.column].name)
            : quoteIdentifier("");
        if (part.prefixLength > 0) {
            clause += "(" + std::to_string(part.prefixLength) + ")";
        }
    }
    clause += ")";
    // As SHOW CREATE TABLE writes them: an algorithm only where it is not the key kind's own.
    switch (key.algorithm) {
    case kKeyAlgorithmBtree:
        clause += " USING BTREE";
        break;
    case kKeyAlgorithmHash:
    case kKeyAlgorithmLongHash:
        clause += " USING HASH";
        break;
    case kKeyAlgorithmRtree:
        clause += key.kind == KeyKind::Spatial ? "" : " USING RTREE";
        break;
    default:
        break;
    }
    if (!key.comment.empty()) {
        clause += " COMMENT " + stringLiteral(key.comment, kCharsetUtf8);
    }
    if (key.ignored) {
        clause += " IGNORED";
    }
    return clause;
}

std::string tableElementsText(const FrmTableEntry &table, std::string_view separator)
{
    std::string text;
    bool first = true;
    const auto add = [&](const std::string &clause) {
        if (!first) {
            text += separator;
        }
        text += clause;
        first = false;
    };
    for (const ColumnDef &column : table.definitionOrder) {
        if (column.hiddenByServer) {
            continue; // the server makes it again for its key
        }
        add(columnClause(table, column));
    }
    for (const KeyDef &key : table.keys) {
        add(keyClause(table, key));
    }
    for (const CheckConstraint &check : table.checks) {
        add("CONSTRAINT " + quoteIdentifier(check.name) + " CHECK (" + check.expression + ")");
    }
    return text;
}

std::string createTableText(const FrmTableEntry &table)
{
    std::string text
        = "create table " + quoteIdentifier(table.tableName) + " (" + tableElementsText(table, ",");
    text += ")ENGINE=myisam ";
    text += tableCharsetClause(table.defaultCharset);
    return text + tableOptionsText(table);
}

std::string tableOptionsText(const FrmTableEntry &table)
{
    std::string text;
    if (table.maxRows > 0) {
        text += " MAX_ROWS=" + std::to_string(table.maxRows);
    }
    if (table.minRows > 0) {
        text += " MIN_ROWS=" + std::to_string(table.minRows);
    }
    if (table.averageRowLength > 0) {
        text += " AVG_ROW_LENGTH=" + std::to_string(table.averageRowLength);
    }
    if (!table.comment.empty()) {
        text += " COMMENT=" + stringLiteral(table.comment, kCharsetUtf8);
    }
    return text;
}

} // namespace frm

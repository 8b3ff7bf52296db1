#include "innodb/row_key_text.h"

#include "common/utf8.h"
#include "innodb/value_text.h"

#include <algorithm>

namespace innodb {

namespace {

std::string hexText(common::Bytes bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (const std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::string valueText(const FieldValue &value)
{
    switch (value.kind) {
    case ValueKind::Null:
        return "NULL";
    case ValueKind::Signed:
        return std::to_string(value.integer);
    case ValueKind::Unsigned:
    case ValueKind::Year:
    case ValueKind::Enum:
    case ValueKind::Set:
        return std::to_string(value.unsignedInteger);
    case ValueKind::Double:
        return doubleText(value.real);
    case ValueKind::Float:
        return floatText(value.single);
    case ValueKind::Decimal:
    case ValueKind::Date:
    case ValueKind::Time:
    case ValueKind::DateTime:
    case ValueKind::Text:
        return value.text;
    case ValueKind::Timestamp:
        return utcDateTimeText(value.unsignedInteger)
            + (value.text.empty() ? std::string() : "." + value.text);
    case ValueKind::Bytes: {
        // Key columns are never stored off the page, so the bytes are in memory.
        const common::Bytes bytes = value.bytes.memory();
        if (common::isValidUtf8(bytes, true)) {
            return std::string(reinterpret_cast<const char *>(bytes.data()), bytes.size());
        }
        return hexText(bytes);
    }
    }
    return {};
}

} // namespace

std::vector<KeyPart> keyParts(const DecodedRow &row)
{
    std::vector<KeyPart> parts;
    if (!row.table) {
        return parts;
    }
    std::vector<std::size_t> keyColumns;
    for (std::size_t i = 0; i < row.table->definitionOrder.size(); ++i) {
        if (row.column(i).primaryPosition > 0) {
            keyColumns.push_back(i);
        }
    }
    std::stable_sort(keyColumns.begin(), keyColumns.end(), [&row](std::size_t a, std::size_t b) {
        return row.column(a).primaryPosition < row.column(b).primaryPosition;
    });
    if (keyColumns.empty()) {
        // The 6-byte row id InnoDB gave the record; nothing else tells such rows apart.
        std::uint64_t rowId = 0;
        if (!row.key.empty()) {
            for (const std::uint8_t b : row.key.front()) {
                rowId = (rowId << 8) | b;
            }
        }
        parts.push_back({ "DB_ROW_ID", std::to_string(rowId) });
        return parts;
    }
    for (const std::size_t i : keyColumns) {
        parts.push_back({ row.column(i).name,
            i < row.values.size() ? valueText(row.values[i]) : std::string() });
    }
    return parts;
}

std::string keyText(const DecodedRow &row) { return keyText(keyParts(row)); }

std::string keyText(const std::vector<KeyPart> &parts)
{
    std::string out;
    for (const KeyPart &part : parts) {
        if (!out.empty()) {
            out += ", ";
        }
        out += part.column + "=" + part.value;
    }
    return out;
}

} // namespace innodb

#include "innodb/dictionary_columns.h"

#include "innodb/page_layout.h"

#include <algorithm>

namespace innodb {

namespace {

// SYS_COLUMNS fields: TABLE_ID, POS, DB_TRX_ID, DB_ROLL_PTR, NAME, MTYPE, PRTYPE, LEN, PREC.
constexpr std::size_t kSysColumnsTableId = 0;
constexpr std::size_t kSysColumnsPosition = 1;
constexpr std::size_t kSysColumnsName = 4;
constexpr std::size_t kSysColumnsMainType = 5;
constexpr std::size_t kSysColumnsPreciseType = 6;
constexpr std::size_t kSysColumnsLength = 7;
// SYS_FIELDS fields: INDEX_ID, POS, DB_TRX_ID, DB_ROLL_PTR, COL_NAME.
constexpr std::size_t kSysFieldsIndex = 0;
constexpr std::size_t kSysFieldsPosition = 1;
constexpr std::size_t kSysFieldsColumnName = 4;

std::optional<DictionaryColumn> parseColumn(ConstPage page, const OldStyleRecord &record)
{
    const auto tableId = record.number(page, kSysColumnsTableId, 8);
    const auto position = record.number(page, kSysColumnsPosition, 4);
    const auto mainType = record.number(page, kSysColumnsMainType, 4);
    const auto preciseType = record.number(page, kSysColumnsPreciseType, 4);
    const auto length = record.number(page, kSysColumnsLength, 4);
    if (!tableId || !position || !mainType || !preciseType || !length
        || !record.bytes(page, kSysColumnsName)) {
        return std::nullopt;
    }
    DictionaryColumn column;
    column.tableId = *tableId;
    column.position = static_cast<std::uint32_t>(*position);
    column.name = record.text(page, kSysColumnsName);
    column.mainType = static_cast<std::uint32_t>(*mainType);
    column.preciseType = static_cast<std::uint32_t>(*preciseType);
    column.length = static_cast<std::uint32_t>(*length);
    return column;
}

} // namespace

DictionaryField unpackFieldPosition(DictionaryField field, std::uint32_t storedPosition, bool first)
{
    if (first || storedPosition > 0xFFFF) {
        field.position = storedPosition >> 16;
        field.prefixLength = storedPosition & 0xFFFF;
    } else {
        field.position = storedPosition;
        field.prefixLength = 0;
    }
    return field;
}

common::Result<DictionaryColumns> readDictionaryColumns(
    PageSource &source, const ScanResult &scan, const std::function<bool()> &stopRequested)
{
    DictionaryColumns dictionary;
    const auto columnsRoot = dictionaryRoot(source, kDictHeaderColumnsRoot, kDefaultColumnsRoot);
    const auto fieldsRoot = dictionaryRoot(source, kDictHeaderFieldsRoot, kDefaultFieldsRoot);
    readDictionaryIndex(source, scan, kSysColumnsIndexId, columnsRoot, 2, "SYS_COLUMNS",
        stopRequested, dictionary.problems, [&](ConstPage page, const OldStyleRecord &record) {
            if (auto column = parseColumn(page, record)) {
                dictionary.columns.push_back(std::move(*column));
            }
        });
    struct StoredField
    {
        DictionaryField field;
        std::uint32_t stored = 0;
    };
    std::vector<StoredField> stored;
    readDictionaryIndex(source, scan, kSysFieldsIndexId, fieldsRoot, 2, "SYS_FIELDS",
        stopRequested, dictionary.problems, [&](ConstPage page, const OldStyleRecord &record) {
            const auto indexId = record.number(page, kSysFieldsIndex, 8);
            const auto position = record.number(page, kSysFieldsPosition, 4);
            if (!indexId || !position || !record.bytes(page, kSysFieldsColumnName)) {
                return;
            }
            StoredField field;
            field.field.indexId = *indexId;
            field.field.columnName = record.text(page, kSysFieldsColumnName);
            field.stored = static_cast<std::uint32_t>(*position);
            stored.push_back(std::move(field));
        });
    // Orphan pages may bring records out of key order; the first field of each index is the one
    // with the lowest stored position whichever way it is packed.
    std::stable_sort(stored.begin(), stored.end(), [](const StoredField &a, const StoredField &b) {
        return a.field.indexId != b.field.indexId ? a.field.indexId < b.field.indexId
                                                  : a.stored < b.stored;
    });
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const bool first = i == 0 || stored[i - 1].field.indexId != stored[i].field.indexId;
        dictionary.fields.push_back(unpackFieldPosition(stored[i].field, stored[i].stored, first));
    }
    if (stopRequested && stopRequested()) {
        return dictionary;
    }
    if (dictionary.columns.empty()) {
        return common::corruption("no SYS_COLUMNS record can be read");
    }
    return dictionary;
}

} // namespace innodb

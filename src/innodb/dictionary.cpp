#include "innodb/dictionary.h"

#include "innodb/index_tree.h"
#include "innodb/record_chain.h"

#include <vector>

namespace innodb {

namespace {

constexpr std::size_t kMaxOldStyleFields = 1023; // 10 bits of field count

// SYS_TABLES and SYS_INDEXES field positions (dict0boot.h).
constexpr std::size_t kSysTablesName = 0;
constexpr std::size_t kSysTablesId = 3;
constexpr std::size_t kSysTablesColumnCount = 4;
constexpr std::size_t kSysTablesType = 5;
constexpr std::size_t kSysTablesSpace = 9;
constexpr std::size_t kSysIndexesTableId = 0;
constexpr std::size_t kSysIndexesId = 1;
constexpr std::size_t kSysIndexesName = 4;
constexpr std::size_t kSysIndexesFieldCount = 5;
constexpr std::size_t kSysIndexesType = 6;
constexpr std::size_t kSysIndexesSpace = 7;
constexpr std::size_t kSysIndexesPageNumber = 8;

std::optional<IBData1TableInfo> parseTable(ConstPage page, const OldStyleRecord &record)
{
    IBData1TableInfo table;
    const auto id = record.number(page, kSysTablesId, 8);
    if (!record.bytes(page, kSysTablesName) || !id) {
        return std::nullopt;
    }
    table.name = record.text(page, kSysTablesName);
    table.tableId = *id;
    if (const auto columns = record.number(page, kSysTablesColumnCount, 4)) {
        table.columnCount = static_cast<std::uint32_t>(*columns & 0xFFFF);
        table.compact = (*columns & 0x80000000u) != 0;
    }
    table.type
        = static_cast<std::uint32_t>(record.number(page, kSysTablesType, 4).value_or(0));
    table.space
        = static_cast<std::uint32_t>(record.number(page, kSysTablesSpace, 4).value_or(0));
    return table;
}

std::optional<DictionaryIndex> parseIndex(ConstPage page, const OldStyleRecord &record)
{
    DictionaryIndex index;
    const auto tableId = record.number(page, kSysIndexesTableId, 8);
    const auto indexId = record.number(page, kSysIndexesId, 8);
    const auto type = record.number(page, kSysIndexesType, 4);
    const auto root = record.number(page, kSysIndexesPageNumber, 4);
    if (!tableId || !indexId || !type || !root) {
        return std::nullopt;
    }
    index.tableId = *tableId;
    index.indexId = *indexId;
    index.name = record.text(page, kSysIndexesName);
    index.fieldCount = static_cast<std::uint32_t>(
        record.number(page, kSysIndexesFieldCount, 4).value_or(0));
    index.type = static_cast<std::uint32_t>(*type);
    index.space
        = static_cast<std::uint32_t>(record.number(page, kSysIndexesSpace, 4).value_or(0));
    index.rootPage = static_cast<std::uint32_t>(*root);
    return index;
}

KeyBytes recordKey(ConstPage page, const OldStyleRecord &record, std::size_t keyFields)
{
    KeyBytes key;
    for (std::size_t i = 0; i < keyFields; ++i) {
        const auto bytes = record.bytes(page, i);
        key.emplace_back(bytes ? std::vector<std::uint8_t>(bytes->begin(), bytes->end())
                               : std::vector<std::uint8_t> {});
    }
    return key;
}

} // namespace

bool OldStyleRecord::isDeleted() const { return (infoBits & kRecordInfoDeleted) != 0; }

std::optional<std::uint64_t> OldStyleRecord::number(
    ConstPage page, std::size_t field, std::size_t width) const
{
    const auto value = bytes(page, field);
    if (!value || value->size() != width) {
        return std::nullopt;
    }
    return common::readBigEndianUnchecked(value->data(), width);
}

std::string OldStyleRecord::text(ConstPage page, std::size_t field) const
{
    const auto value = bytes(page, field);
    return value ? std::string(value->begin(), value->end()) : std::string {};
}

void readDictionaryIndex(PageSource &source, const ScanResult &scan, std::uint64_t indexId,
    std::uint32_t root, std::size_t keyFields, const char *name, const std::function<bool()> &stop,
    std::vector<std::string> &problems, const OldStyleRecordVisitor &take)
{
    const auto pages = collectTablePages(source, scan, indexId, root, std::nullopt, stop);
    for (const auto &problem : pages.problems) {
        problems.push_back(std::string(name) + " " + problem);
    }
    OrphanKeyFilter filter(pages);
    std::vector<std::uint8_t> buffer(source.pageSize());
    const auto readPage = [&](const TablePage &tablePage, bool orphan) {
        if (stop && stop()) {
            return;
        }
        if (const PageRead read = source.readPage(tablePage.pageNumber, buffer); !read) {
            problems.push_back(std::string(name) + " page " + std::to_string(tablePage.pageNumber)
                + (read.reason.empty() ? ": page cannot be read" : ": page is " + read.reason));
            return;
        }
        const ConstPage page(buffer);
        if (isCompactPage(page) || indexIdOf(page) != indexId || pageLevelOf(page) != 0) {
            return;
        }
        const auto chain = walkRecordChain(page);
        for (const auto origin : chain.origins) {
            const auto record = readOldStyleRecord(page, origin);
            if (!record.ok()) {
                problems.push_back(std::string(name) + " page "
                    + std::to_string(tablePage.pageNumber) + ": " + record.error().message);
                break;
            }
            if (record->isDeleted()) {
                continue;
            }
            const auto key = recordKey(page, *record, keyFields);
            if (!orphan) {
                filter.noteTreeKey(key);
            } else if (!filter.take(key)) {
                continue;
            }
            take(page, *record);
        }
    };
    for (const auto &page : pages.treePages) {
        readPage(page, false);
    }
    for (const auto &page : pages.orphanPages) {
        readPage(page, true);
    }
}

std::uint32_t dictionaryRoot(PageSource &source, std::size_t headerOffset, std::uint32_t fallback)
{
    std::vector<std::uint8_t> buffer(source.pageSize());
    if (source.readPage(kDictionaryHeaderPage, buffer)
        && pageNumberOf(buffer) == kDictionaryHeaderPage) {
        const auto root = readUint32(buffer, headerOffset);
        if (root != 0 && root < source.pageCount()) {
            return root;
        }
    }
    return fallback;
}

std::optional<common::Bytes> OldStyleRecord::bytes(ConstPage page, std::size_t field) const
{
    if (field >= fields.size() || fields[field].isNull) {
        return std::nullopt;
    }
    return common::Bytes(page.data() + fields[field].offset, fields[field].length);
}

common::Result<OldStyleRecord> readOldStyleRecord(ConstPage page, std::size_t origin)
{
    if (origin < kPageData + kOldRecordHeaderSize || origin >= directoryStartOf(page)) {
        return common::corruption("record origin outside the page");
    }
    OldStyleRecord record;
    record.origin = origin;
    record.infoBits = static_cast<std::uint8_t>(page[origin - 6] & 0xF0);
    record.oneByteOffsets = (page[origin - 3] & 1) != 0;
    const std::size_t fieldCount = (readUint16(page, origin - 4) >> 1) & 0x3FF;
    if (fieldCount == 0 || fieldCount > kMaxOldStyleFields) {
        return common::corruption("record has no fields");
    }
    const std::size_t entryWidth = record.oneByteOffsets ? 1 : 2;
    if (origin - kOldRecordHeaderSize - kPageData < fieldCount * entryWidth) {
        return common::corruption("record end offsets leave the page");
    }
    std::size_t start = 0;
    record.fields.reserve(fieldCount);
    for (std::size_t i = 0; i < fieldCount; ++i) {
        OldStyleField field;
        std::size_t end = 0;
        if (record.oneByteOffsets) {
            const auto entry = page[origin - kOldRecordHeaderSize - 1 - i];
            end = entry & 0x7Fu;
            field.isNull = (entry & 0x80) != 0;
        } else {
            const auto entry = readUint16(page, origin - kOldRecordHeaderSize - 2 - 2 * i);
            end = entry & 0x3FFFu;
            field.isNull = (entry & 0x8000) != 0;
            field.isExternal = (entry & 0x4000) != 0;
        }
        if (end < start) {
            return common::corruption("record end offsets decrease");
        }
        if (!common::fits(directoryStartOf(page), origin + start, end - start)) {
            return common::corruption("record field leaves the page");
        }
        field.offset = origin + start;
        field.length = end - start;
        record.fields.push_back(field);
        start = end;
    }
    return record;
}

common::Result<Dictionary> readDictionary(
    PageSource &source, const ScanResult &scan, const std::function<bool()> &stopRequested)
{
    Dictionary dictionary;
    const auto tablesRoot = dictionaryRoot(source, kDictHeaderTablesRoot, kDefaultTablesRoot);
    const auto indexesRoot = dictionaryRoot(source, kDictHeaderIndexesRoot, kDefaultIndexesRoot);
    readDictionaryIndex(source, scan, kSysTablesIndexId, tablesRoot, 1, "SYS_TABLES", stopRequested,
        dictionary.problems, [&](ConstPage page, const OldStyleRecord &record) {
            auto table = parseTable(page, record);
            if (!table) {
                return;
            }
            // Foreign key definitions are dictionary tables of their own.
            if (table->name == "SYS_FOREIGN" || table->name == "SYS_FOREIGN_COLS") {
                return;
            }
            dictionary.tables.push_back(std::move(*table));
        });
    readDictionaryIndex(source, scan, kSysIndexesIndexId, indexesRoot, 2, "SYS_INDEXES",
        stopRequested, dictionary.problems, [&](ConstPage page, const OldStyleRecord &record) {
            if (auto index = parseIndex(page, record)) {
                dictionary.indexes.push_back(std::move(*index));
            }
        });
    if (stopRequested && stopRequested()) {
        return dictionary;
    }
    if (dictionary.tables.empty()) {
        return common::corruption("no SYS_TABLES record can be read");
    }
    if (dictionary.indexes.empty()) {
        return common::corruption("no SYS_INDEXES record can be read");
    }
    return dictionary;
}

} // namespace innodb

// RecordDecoder after MariaDB's instant ALTER TABLE: the core field count of the root, the
// metadata record's defaults and, after a DROP COLUMN or a change of the column order, its map of
// the index fields (instant_alter.h).
#include "frm/column_type.h"
#include "innodb/overflow_chain.h"
#include "innodb/record_chain.h"
#include "innodb/record_decoder.h"

#include <algorithm>

namespace innodb {

namespace {

inline constexpr std::size_t kHiddenColumnsSize = 6 + 7; // DB_TRX_ID, DB_ROLL_PTR
inline constexpr std::size_t kRowIdSize = 6;
inline constexpr std::size_t kExternOffsetField = 8; // 4: the data header's offset on the page

ColumnFormat droppedFormat(const MappedField &dropped)
{
    ColumnFormat format;
    format.codec = ColumnCodec::Bytes;
    format.variable = dropped.fixedLength == 0;
    format.big = dropped.longLength;
    format.fixedSize = dropped.fixedLength;
    return format;
}

} // namespace

bool RecordDecoder::setInstantRoot(const InstantRoot &root)
{
    const std::size_t hidden = hiddenFields();
    // With a column map the index may hold more fields than the table has columns (dropped
    // ones); the map tells, and is checked against the core then.
    if (root.coreFields < hidden + m_keyFields
        || (!root.columnMap && root.coreFields - hidden > m_fields.size())) {
        return false;
    }
    m_instantRoot = true;
    m_coreFields = root.coreFields - hidden;
    m_columnMapExpected = root.columnMap;
    if (root.columnMap) {
        m_coreNullBytes = root.coreNullBytes;
    }
    return true;
}

void RecordDecoder::countNullableFields()
{
    int nullable = 0;
    m_nullableBefore.assign(1, 0);
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        Field &field = m_fields[f];
        // Key columns are NOT NULL whatever the definition says; they take no null bit.
        const bool hasBit = f >= m_keyFields
            && (field.definitionIndex < 0
                    ? field.nullBit >= 0
                    : isNullableColumn(
                        m_table.definitionOrder[static_cast<std::size_t>(field.definitionIndex)]));
        field.nullBit = hasBit ? nullable++ : -1;
        m_nullableBefore.push_back(m_nullableBefore.back() + (hasBit ? 1 : 0));
    }
}

common::Status RecordDecoder::learnInstantMetadata(ConstPage leaf)
{
    if (!instant() || m_metadataLearned) {
        return common::okStatus();
    }
    const RecordChain chain = walkRecordChain(leaf);
    if (chain.origins.empty()) {
        return common::okStatus(); // an empty table: nothing needs the metadata
    }
    const bool compact = isCompactPage(leaf);
    const bool metadata
        = (recordInfoBits(leaf, chain.origins.front(), compact) & kRecordInfoMinRec) != 0
        && (!compact || recordStatus(leaf, chain.origins.front(), true) == kRecordStatusInstant);
    if (!metadata && !m_columnMapExpected && m_coreFields == m_fields.size()) {
        // The root's fields are set before an ADD COLUMN commits; one that did not leaves no
        // metadata record, and the definition has no column the records lack.
        return common::okStatus();
    }
    if (!metadata) {
        return common::corruption("the first leaf page does not start with the metadata record "
                                  "of the table's instant ALTER TABLE");
    }
    const std::size_t origin = chain.origins.front();
    return learnMetadataRecord(leaf, origin, recordHeapEnd(leaf),
        (recordInfoBits(leaf, origin, compact) & kRecordInfoDeleted) != 0);
}

common::Status RecordDecoder::learnMetadataRecord(
    ConstPage page, std::size_t origin, std::size_t heapEnd, bool withColumnMap)
{
    if (withColumnMap != m_columnMapExpected) {
        return common::corruption(withColumnMap
                ? "the metadata record maps columns that the root says were never moved"
                : "the metadata record has no column map, but the root says it has");
    }
    if (!isCompactPage(page)) {
        return learnOldStyleMetadataRecord(page, origin, heapEnd, withColumnMap);
    }
    if (withColumnMap) {
        // Its variable-length key fields are written empty (btr0cur.cc,
        // btr_cur_instant_init_low), so DB_TRX_ID follows the fixed-length ones.
        std::size_t keyBytes = m_keyFields == 0 ? kRowIdSize : 0;
        for (std::size_t f = 0; f < m_keyFields; ++f) {
            keyBytes += m_fields[f].format.variable ? 0 : m_fields[f].format.fixedSize;
        }
        const std::size_t reference = origin + keyBytes + kHiddenColumnsSize;
        if (!common::fits(heapEnd, reference, kColumnMapReferenceSize)) {
            return common::corruption("metadata record leaves the page");
        }
        if (auto applied
            = applyColumnMap(common::Bytes(page.data() + reference, kColumnMapReferenceSize));
            !applied) {
            return applied;
        }
    }
    std::size_t present = 0;
    const RecordKind kind = withColumnMap ? RecordKind::Metadata : RecordKind::Instant;
    if (parseRecord(page, origin, heapEnd, kind, present) != RecordOutcome::Row) {
        return common::corruption("metadata record unreadable");
    }
    for (std::size_t f = m_coreFields; f < present; ++f) {
        keepDefault(f, m_null[f], m_external[f],
            common::Bytes(page.data() + m_offsets[f], m_null[f] ? 0 : m_lengths[f]));
    }
    m_metadataLearned = true;
    return common::okStatus();
}

common::Status RecordDecoder::applyColumnMap(common::Bytes reference)
{
    // The BLOB lies on one page of its own, its data header at the usual place.
    const std::uint64_t length
        = common::readBigEndianUnchecked(reference.data() + kExternLength, 8);
    const auto firstPage = static_cast<std::uint32_t>(
        common::readBigEndianUnchecked(reference.data() + kExternPageNumber, 4));
    if (length == 0 || length > m_pages.pageSize()
        || common::readBigEndianUnchecked(reference.data() + kExternOffsetField, 4)
            != kFilPageData) {
        return common::corruption("the metadata record's column map reference is not one");
    }
    StoredBytes blob;
    LongValueWriter writer(m_store, blob);
    const auto spaceId = static_cast<std::uint32_t>(
        common::readBigEndianUnchecked(reference.data() + kExternSpaceId, 4));
    if (!ReadOverflowChain(m_pages, { spaceId, untypedBlobPages() }, firstPage, length, writer)
             .complete
        || blob.spilled()) {
        return common::corruption(
            "the column map on page " + std::to_string(firstPage) + " cannot be read whole");
    }
    const auto mapped = parseColumnMap(blob.memory());
    if (!mapped) {
        return mapped.error();
    }

    // The map's column numbers count the table's stored columns in definition order.
    const auto &columns = m_table.definitionOrder;
    std::vector<std::size_t> stored;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (frm::isStoredColumn(columns[i])) {
            stored.push_back(i);
        }
    }
    std::vector<bool> placed(columns.size(), true);
    for (const std::size_t i : stored) {
        placed[i] = false;
    }
    for (std::size_t f = 0; f < m_keyFields; ++f) {
        placed[static_cast<std::size_t>(m_fields[f].definitionIndex)] = true;
    }
    std::vector<Field> fields(
        m_fields.begin(), m_fields.begin() + static_cast<std::ptrdiff_t>(m_keyFields));
    for (const MappedField &entry : *mapped) {
        if (entry.dropped) {
            fields.push_back({ -1, droppedFormat(entry), entry.notNull ? -1 : 0 });
            continue;
        }
        if (entry.column >= stored.size() || placed[stored[entry.column]]) {
            return common::corruption("the column map names column "
                + std::to_string(entry.column + 1) + " of " + std::to_string(stored.size())
                + " twice or beyond the definition");
        }
        const std::size_t column = stored[entry.column];
        placed[column] = true;
        fields.push_back({ static_cast<int>(column), columnFormat(columns[column]), 0 });
    }
    if (std::find(placed.begin(), placed.end(), false) != placed.end()) {
        return common::corruption("the column map leaves out columns of the definition");
    }
    if (m_coreFields > fields.size()) {
        return common::corruption("the column map has fewer fields than the core records");
    }
    m_fields = std::move(fields);
    countNullableFields();
    m_defaults.assign(m_fields.size(), {});
    m_lengths.resize(m_fields.size());
    m_offsets.resize(m_fields.size());
    m_external.resize(m_fields.size());
    m_null.resize(m_fields.size());
    m_columnMapKnown = true;
    return common::okStatus();
}

void RecordDecoder::keepDefault(std::size_t f, bool isNull, bool external, common::Bytes bytes)
{
    InstantDefault &known = m_defaults[f];
    known.known = true;
    known.isNull = isNull;
    known.external = external;
    known.bytes.assign(bytes.begin(), bytes.end());
}

} // namespace innodb

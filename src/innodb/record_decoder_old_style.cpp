// RecordDecoder for old-style (REDUNDANT) records, which locate each field through their own end
// offsets: no length rule of the table is needed, but the field count must be the clustered
// index's.
#include "innodb/dictionary.h"
#include "innodb/record_decoder.h"

namespace innodb {

// The fields are the key (or DB_ROW_ID), DB_TRX_ID, DB_ROLL_PTR and every other index field. A
// NULL fixed-length field keeps its bytes (zeros), a CHAR keeps its full width of n characters
// times the charset's bytes.
RecordDecoder::RecordOutcome RecordDecoder::decodeOldStyleRecord(
    ConstPage page, std::size_t origin, std::size_t heapEnd, PageDecodeCounts &counts)
{
    const auto record = readOldStyleRecord(page, origin);
    if (!record) {
        return RecordOutcome::Unreadable;
    }
    const std::size_t hidden = hiddenFields();
    // Fewer fields only in a table that had columns added in place, and never fewer than the
    // core: the fields past the record's own take their defaults.
    const std::size_t storedFields = record->fields.size();
    const bool shortButWhole = instant() && storedFields >= m_coreFields + hidden
        && storedFields < m_fields.size() + hidden;
    if (storedFields != m_fields.size() + hidden && !shortButWhole) {
        return RecordOutcome::Damaged;
    }
    const std::size_t present = storedFields - hidden;
    // The key (or DB_ROW_ID) as stored: the first fields, before DB_TRX_ID and DB_ROLL_PTR.
    for (std::size_t k = 0; k < m_row.key.size(); ++k) {
        const OldStyleField &stored = record->fields[k];
        if (!common::fits(heapEnd, stored.offset, stored.length)) {
            return RecordOutcome::Unreadable;
        }
        m_row.key[k].assign(
            page.data() + stored.offset, page.data() + stored.offset + stored.length);
    }
    bool damaged = false;
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        const bool stored = f < present;
        const OldStyleField *field = nullptr;
        if (stored) {
            field = &record->fields[f < m_keyFields ? f : f + hidden];
            if (!common::fits(heapEnd, field->offset, field->length)) {
                return RecordOutcome::Unreadable;
            }
            // A key column or a NOT NULL one cannot be NULL: the record is not what it seems.
            damaged = damaged || (field->isNull && m_fields[f].nullBit < 0);
        }
        const bool isNull = field && field->isNull;
        const common::Bytes bytes = field && !isNull
            ? common::Bytes(page.data() + field->offset, field->length)
            : common::Bytes();
        const RecordOutcome outcome
            = storeField(f, stored, isNull, bytes, field && field->isExternal, counts);
        if (outcome == RecordOutcome::Unreadable || outcome == RecordOutcome::LongValueDamaged) {
            return outcome;
        }
        damaged = outcome == RecordOutcome::Damaged || damaged;
    }
    return damaged ? RecordOutcome::Damaged : RecordOutcome::Row;
}

// The metadata record: its fields as any record's, but with the column map's BLOB as one more
// field right after DB_ROLL_PTR when it has one.
common::Status RecordDecoder::learnOldStyleMetadataRecord(
    ConstPage page, std::size_t origin, std::size_t heapEnd, bool withColumnMap)
{
    const auto record = readOldStyleRecord(page, origin);
    if (!record) {
        return record.error();
    }
    const std::size_t hidden = hiddenFields() + (withColumnMap ? 1 : 0);
    const auto fieldAt = [&](std::size_t f) -> const OldStyleField & {
        return record->fields[f < m_keyFields ? f : f + hidden];
    };
    for (const OldStyleField &field : record->fields) {
        if (!common::fits(heapEnd, field.offset, field.isNull ? 0 : field.length)) {
            return common::corruption("metadata record leaves the page");
        }
    }
    if (withColumnMap) {
        const std::size_t blob = m_keyFields + hiddenFields();
        if (record->fields.size() <= blob || record->fields[blob].isNull
            || !record->fields[blob].isExternal
            || record->fields[blob].length != kColumnMapReferenceSize) {
            return common::corruption("metadata record has no column map reference");
        }
        const OldStyleField &reference = record->fields[blob];
        if (auto applied = applyColumnMap(
                common::Bytes(page.data() + reference.offset, kColumnMapReferenceSize));
            !applied) {
            return applied;
        }
    }
    if (record->fields.size() < m_coreFields + hidden
        || record->fields.size() > m_fields.size() + hidden) {
        return common::corruption("metadata record has " + std::to_string(record->fields.size())
            + " fields, which the definition cannot have");
    }
    for (std::size_t f = m_coreFields; f + hidden < record->fields.size(); ++f) {
        const OldStyleField &stored = fieldAt(f);
        keepDefault(f, stored.isNull, stored.isExternal,
            common::Bytes(page.data() + stored.offset, stored.isNull ? 0 : stored.length));
    }
    m_metadataLearned = true;
    return common::okStatus();
}

} // namespace innodb

#include "innodb/record_decoder.h"

#include "innodb/dictionary.h"
#include "innodb/overflow_chain.h"
#include "innodb/record_chain.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace innodb {

namespace {

// Hidden columns of a clustered record (data0type.h): DB_ROW_ID only when the table has no key
// of its own, then DB_TRX_ID and DB_ROLL_PTR between the key and the other columns.
inline constexpr std::size_t kRowIdSize = 6;
inline constexpr std::size_t kTrxIdSize = 6;
inline constexpr std::size_t kRollPtrSize = 7;

// A new-style length field (rem0rec.cc, rec_init_offsets_comp_ordinary): for a "big" column,
// whose maximum byte length exceeds 255 or which is a BLOB/TEXT, a first byte with 0x80 set
// starts a two-byte field, 0x80 | 0x40 (external) | length bits 13..8, then length bits 7..0.
// Any other column has a one-byte length, whatever its top bit.
inline constexpr std::uint8_t kLengthTwoBytes = 0x80;
inline constexpr std::uint8_t kLengthExternal = 0x40;
inline constexpr std::uint8_t kLengthHighBits = 0x3F;

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x))
            == std::tolower(static_cast<unsigned char>(y));
    });
}

bool isNullable(const frm::ColumnDef &column)
{
    return column.nullable || equalsIgnoringCase(column.nullability, "NULL");
}

} // namespace

PageDecodeCounts &PageDecodeCounts::operator+=(const PageDecodeCounts &other)
{
    recordsWalked += other.recordsWalked;
    rowsEmitted += other.rowsEmitted;
    deleteMarkedSkipped += other.deleteMarkedSkipped;
    recordsRejected += other.recordsRejected;
    valuesTruncated += other.valuesTruncated;
    rowsWithDamagedLongValues += other.rowsWithDamagedLongValues;
    pagesRejected += other.pagesRejected;
    return *this;
}

RecordDecoder::RecordDecoder(const frm::FrmTableEntry &table, PageSource &pages,
    LongValueStore &store, DecodeOptions options)
    : m_table(table)
    , m_pages(pages)
    , m_store(store)
    , m_options(std::move(options))
{
    const auto &columns = table.definitionOrder;
    // The clustered record stores the primary-key columns first, in key order.
    std::vector<std::size_t> keyColumns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].primaryPosition > 0) {
            keyColumns.push_back(i);
        }
    }
    std::stable_sort(keyColumns.begin(), keyColumns.end(), [&columns](auto a, auto b) {
        return columns[a].primaryPosition < columns[b].primaryPosition;
    });
    std::vector<std::size_t> order = keyColumns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].primaryPosition == 0) {
            order.push_back(i);
        }
    }
    m_keyFields = keyColumns.size();
    int nullable = 0;
    for (std::size_t position = 0; position < order.size(); ++position) {
        const std::size_t i = order[position];
        Field field { i, columnFormat(columns[i]), -1 };
        // Key columns are NOT NULL whatever the definition says; they take no null bit.
        if (position >= m_keyFields && isNullable(columns[i])) {
            field.nullBit = nullable++;
        }
        if (!field.format.supported && m_problem.empty()) {
            m_problem = "column " + columns[i].name + " has a type this decoder cannot read";
        }
        m_fields.push_back(field);
    }
    m_coreFields = m_fields.size();
    m_nullableBefore.assign(1, 0);
    for (const Field &field : m_fields) {
        m_nullableBefore.push_back(m_nullableBefore.back() + (field.nullBit >= 0 ? 1 : 0));
    }
    m_defaults.resize(m_fields.size());
    m_row.table = &m_table;
    m_row.values.resize(columns.size());
    m_row.key.resize(std::max<std::size_t>(m_keyFields, 1));
    m_lengths.resize(m_fields.size());
    m_offsets.resize(m_fields.size());
    m_external.resize(m_fields.size());
    m_null.resize(m_fields.size());
}

bool RecordDecoder::setInstantCoreFields(std::size_t indexFields)
{
    const std::size_t hidden = hiddenFields();
    if (indexFields < hidden + m_keyFields || indexFields - hidden > m_fields.size()) {
        return false;
    }
    m_coreFields = indexFields - hidden;
    return true;
}

KeyLayout RecordDecoder::keyLayout() const
{
    // Node pointers are never rewritten by an instant ADD COLUMN: their null bitmap keeps the
    // size the core fields gave it.
    const std::size_t nullable = m_nullableBefore[m_coreFields];
    if (m_keyFields == 0) {
        return KeyLayout::rowId(nullable);
    }
    KeyLayout layout;
    layout.nullableColumns = nullable;
    for (std::size_t f = 0; f < m_keyFields; ++f) {
        const ColumnFormat &format = m_fields[f].format;
        layout.fields.push_back({ format.variable ? 0 : format.fixedSize, format.big });
    }
    return layout;
}

PageDecodeCounts RecordDecoder::decodePage(ConstPage page, std::uint32_t pageNumber, RowSink &sink)
{
    PageDecodeCounts counts;
    if (!usable() || pageLevelOf(page) != 0) {
        counts.pagesRejected = 1;
        return counts;
    }
    // The record format is the page's to tell (PAGE_N_HEAP bit 15), not the table's: a table
    // rebuilt by a newer server, or a dictionary that is gone, must not decide it.
    const bool compact = isCompactPage(page);
    const std::size_t firstUser = compact ? kPageNewSupremumEnd : kPageOldSupremumEnd;
    std::size_t heapEnd = heapTopOf(page);
    if (heapEnd <= firstUser || heapEnd > directoryStartOf(page)) {
        heapEnd = directoryStartOf(page);
    }
    const RecordChain chain = walkRecordChain(page);
    const std::size_t limit = std::min<std::size_t>(chain.origins.size(), recordCountOf(page));
    m_row.pageNumber = pageNumber;
    for (std::size_t r = 0; r < limit; ++r) {
        if (m_options.stopRequested && m_options.stopRequested()) {
            break;
        }
        const std::size_t origin = chain.origins[r];
        const std::uint8_t status = recordStatus(page, origin, compact);
        const std::uint8_t info = recordInfoBits(page, origin, compact);
        const bool instantRecord = compact && instant() && status == kRecordStatusInstant;
        // Old-style records have no status: on a leaf, only the metadata record has the
        // min-rec bit.
        const bool metadata
            = (instantRecord || (!compact && instant())) && (info & kRecordInfoMinRec) != 0;
        if (metadata) {
            // The hidden metadata record heads the leftmost leaf: not a row. With the deleted
            // bit as well it is the later form that also drops or reorders columns, whose
            // layout this decoder does not know; its defaults are then not taken.
            if ((info & kRecordInfoDeleted) == 0) {
                learnInstantDefaults(page, origin, heapEnd);
            }
            continue;
        }
        ++counts.recordsWalked;
        if (status != kRecordStatusOrdinary && !instantRecord) {
            // A node pointer, or an instant-ALTER record in a table not known to have had
            // columns added: not a row of this layout, and a leaf that holds one is not what
            // it claims to be.
            ++counts.recordsRejected;
            break;
        }
        const bool deleted = (info & kRecordInfoDeleted) != 0;
        if (deleted && !m_options.includeDeleted) {
            ++counts.deleteMarkedSkipped;
            continue;
        }
        m_row.deleteMarked = deleted;
        m_row.origin = static_cast<std::uint16_t>(origin);
        m_row.cutColumns.clear();
        m_row.damage.clear();
        const RecordOutcome outcome = compact
            ? decodeRecord(page, origin, heapEnd, instantRecord, counts)
            : decodeOldStyleRecord(page, origin, heapEnd, counts);
        if (outcome == RecordOutcome::Row) {
            sink.acceptRow(m_row);
            ++counts.rowsEmitted;
            continue;
        }
        if (outcome == RecordOutcome::LongValueDamaged) {
            // The record itself is sound, so the walk goes on; only this row is given up, and
            // by its key, so that nobody takes its absence for a row that never existed.
            ++counts.rowsWithDamagedLongValues;
            sink.rowLeftOut(m_row);
            continue;
        }
        ++counts.recordsRejected;
        if (outcome == RecordOutcome::Unreadable) {
            // Its header or data leave the page: nothing after it can be trusted either.
            break;
        }
    }
    return counts;
}

RecordDecoder::RecordOutcome RecordDecoder::parseRecord(ConstPage page, std::size_t origin,
    std::size_t heapEnd, bool instantRecord, std::size_t &present)
{
    // Below the 5 header bytes: for a record written after an instant ADD COLUMN one or two
    // bytes with its field count, then ceil(nullable / 8) null bytes, then the length fields,
    // all growing downwards; none of it may reach into the system records.
    const std::size_t headerFloor = kPageNewSupremumEnd;
    if (origin < headerFloor + kNewRecordHeaderSize) {
        return RecordOutcome::Unreadable;
    }
    // The first null byte; one below the floor when there is no room for any.
    std::size_t nullStart = origin - kNewRecordHeaderSize - 1;
    present = m_coreFields;
    if (instantRecord) {
        if (nullStart < headerFloor) {
            return RecordOutcome::Unreadable;
        }
        // Fields beyond the core, less one; from 128 on in two bytes, the first flagged 0x80
        // with the low seven bits, the second with the rest.
        std::size_t added = page[nullStart--];
        if ((added & 0x80) != 0) {
            if (nullStart < headerFloor) {
                return RecordOutcome::Unreadable;
            }
            added = (added & 0x7F) | (std::size_t { page[nullStart--] } << 7);
        }
        present = m_coreFields + added + 1;
        if (present > m_fields.size()) {
            // More fields than the definition has: columns dropped or reordered in place.
            return RecordOutcome::Unreadable;
        }
    }
    const std::size_t nullBytes = (m_nullableBefore[present] + 7) / 8;
    if (nullStart + 1 < headerFloor + nullBytes) {
        return RecordOutcome::Unreadable;
    }
    std::size_t lengthAt = nullStart + 1 - nullBytes; // one past the next length byte
    for (std::size_t f = 0; f < present; ++f) {
        const Field &field = m_fields[f];
        m_null[f] = false;
        m_external[f] = false;
        if (field.nullBit >= 0) {
            const auto bit = static_cast<std::size_t>(field.nullBit);
            m_null[f] = ((page[nullStart - bit / 8] >> (bit % 8)) & 1) != 0;
        }
        if (m_null[f] || !field.format.variable) {
            continue;
        }
        if (lengthAt <= headerFloor) {
            return RecordOutcome::Unreadable;
        }
        const std::uint8_t first = page[--lengthAt];
        if (field.format.big && (first & kLengthTwoBytes) != 0) {
            if (lengthAt <= headerFloor) {
                return RecordOutcome::Unreadable;
            }
            m_lengths[f]
                = static_cast<std::uint32_t>((first & kLengthHighBits) << 8) | page[--lengthAt];
            m_external[f] = (first & kLengthExternal) != 0;
        } else {
            m_lengths[f] = first;
        }
    }

    m_extraStart = lengthAt;
    if (m_keyFields == 0 && !common::fits(heapEnd, origin, kRowIdSize)) {
        return RecordOutcome::Unreadable;
    }
    std::size_t at = origin + (m_keyFields == 0 ? kRowIdSize + kTrxIdSize + kRollPtrSize : 0);
    for (std::size_t f = 0; f < present; ++f) {
        if (f == m_keyFields && m_keyFields > 0) {
            at += kTrxIdSize + kRollPtrSize;
        }
        m_offsets[f] = static_cast<std::uint32_t>(at);
        if (m_null[f]) {
            continue;
        }
        const Field &field = m_fields[f];
        const std::size_t width = field.format.variable ? m_lengths[f] : field.format.fixedSize;
        if (!common::fits(heapEnd, at, width)) {
            return RecordOutcome::Unreadable;
        }
        m_lengths[f] = static_cast<std::uint32_t>(width);
        at += width;
    }
    // A table whose every column is in its key still stores DB_TRX_ID and DB_ROLL_PTR after it.
    m_dataEnd = at + (m_keyFields > 0 && present == m_keyFields ? kTrxIdSize + kRollPtrSize : 0);
    return RecordOutcome::Row;
}

void RecordDecoder::learnInstantDefaults(ConstPage page, std::size_t origin, std::size_t heapEnd)
{
    if (!isCompactPage(page)) {
        const auto record = readOldStyleRecord(page, origin);
        const std::size_t hidden = hiddenFields();
        if (!record || record->fields.size() > m_fields.size() + hidden) {
            return;
        }
        for (std::size_t f = m_coreFields; f + hidden < record->fields.size(); ++f) {
            const OldStyleField &stored = record->fields[f + hidden];
            if (!common::fits(heapEnd, stored.offset, stored.length)) {
                return;
            }
            keepDefault(f, stored.isNull, stored.isExternal,
                common::Bytes(page.data() + stored.offset, stored.isNull ? 0 : stored.length));
        }
        return;
    }
    std::size_t present = 0;
    if (parseRecord(page, origin, heapEnd, true, present) != RecordOutcome::Row) {
        return;
    }
    for (std::size_t f = m_coreFields; f < present; ++f) {
        keepDefault(f, m_null[f], m_external[f],
            common::Bytes(page.data() + m_offsets[f], m_null[f] ? 0 : m_lengths[f]));
    }
}

void RecordDecoder::keepDefault(std::size_t f, bool isNull, bool external, common::Bytes bytes)
{
    InstantDefault &known = m_defaults[f];
    known.known = true;
    known.isNull = isNull;
    known.external = external;
    known.bytes.assign(bytes.begin(), bytes.end());
}

RecordDecoder::RecordOutcome RecordDecoder::decodeRecord(ConstPage page, std::size_t origin,
    std::size_t heapEnd, bool instantRecord, PageDecodeCounts &counts)
{
    std::size_t present = 0;
    if (const auto parsed = parseRecord(page, origin, heapEnd, instantRecord, present);
        parsed != RecordOutcome::Row) {
        return parsed;
    }
    if (m_keyFields == 0) {
        m_row.key[0].assign(page.data() + origin, page.data() + origin + kRowIdSize);
    }
    bool damaged = false;
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        const Field &field = m_fields[f];
        FieldValue &value = m_row.values[field.definitionIndex];
        if (value.bytes.spilled()) {
            value.bytes.resetToMemory(); // the previous row's file goes now
        }
        value.kind = ValueKind::Null;
        RecordOutcome stored = RecordOutcome::Row;
        if (f >= present) {
            stored = storeDefault(f, value, counts);
        } else if (!m_null[f]) {
            const common::Bytes bytes(page.data() + m_offsets[f], m_lengths[f]);
            if (f < m_keyFields) {
                m_row.key[f].assign(bytes.begin(), bytes.end());
            }
            stored = storeValue(field, bytes, m_external[f], value, counts);
        }
        if (stored == RecordOutcome::Unreadable || stored == RecordOutcome::LongValueDamaged) {
            return stored;
        }
        damaged = stored == RecordOutcome::Damaged || damaged;
    }
    return damaged ? RecordOutcome::Damaged : RecordOutcome::Row;
}

RecordDecoder::RecordOutcome RecordDecoder::storeDefault(
    std::size_t f, FieldValue &value, PageDecodeCounts &counts)
{
    // A column added after the record was written: its default, as the metadata record keeps
    // it (NULL when that record was not found).
    const InstantDefault &known = m_defaults[f];
    if (!known.known || known.isNull) {
        return RecordOutcome::Row;
    }
    return storeValue(m_fields[f], known.bytes, known.external, value, counts);
}

RecordDecoder::RecordOutcome RecordDecoder::storeValue(const Field &field, common::Bytes bytes,
    bool external, FieldValue &value, PageDecodeCounts &counts)
{
    if (!external) {
        return decodeValue(field.format, bytes, value) ? RecordOutcome::Row
                                                       : RecordOutcome::Damaged;
    }
    // The local prefix (768 bytes in COMPACT and REDUNDANT, none in DYNAMIC), then the
    // 20-byte reference to the rest on overflow pages of the same tablespace.
    if (bytes.size() < kExternReferenceSize) {
        return RecordOutcome::Unreadable;
    }
    const auto reference = bytes.last(kExternReferenceSize);
    const auto firstPage = static_cast<std::uint32_t>(
        common::readBigEndianUnchecked(reference.data() + kExternPageNumber, 4));
    // Only the low 32 bits count: the high ones carry the owner and inherited flags.
    const std::uint64_t externalLength
        = common::readBigEndianUnchecked(reference.data() + kExternLength + 4, 4);
    const auto spaceId = static_cast<std::uint32_t>(
        common::readBigEndianUnchecked(reference.data() + kExternSpaceId, 4));
    value.kind = ValueKind::Bytes;
    LongValueWriter writer(m_store, value.bytes);
    OverflowResult chain;
    if (auto prefix = writer.append(bytes.first(bytes.size() - kExternReferenceSize));
        !prefix.ok()) {
        chain.damage = "the value cannot be kept: " + prefix.error().describe();
    } else {
        chain = ReadOverflowChain(
            m_pages, { spaceId, untypedBlobPages() }, firstPage, externalLength, writer);
    }
    if (chain.complete) {
        return RecordOutcome::Row;
    }
    // Never a wrong value in silence: the row goes, or stays with the value cut where the damage
    // starts and the column named.
    if (m_row.damage.empty()) {
        m_row.damage = m_table.definitionOrder[field.definitionIndex].name + ": " + chain.damage;
    }
    if (!m_options.keepDamagedValues) {
        return RecordOutcome::LongValueDamaged;
    }
    ++counts.valuesTruncated;
    m_row.cutColumns.push_back(field.definitionIndex);
    return RecordOutcome::Row;
}

bool RecordDecoder::untypedBlobPages()
{
    if (!m_untypedBlobPages) {
        m_untypedBlobPages = holdsUntypedBlobPages(m_pages);
    }
    return *m_untypedBlobPages;
}

// An old-style (REDUNDANT) record locates each field through its own end offsets, so no length
// rule of the table is needed; but its field count must be the clustered index's: the key (or
// DB_ROW_ID), DB_TRX_ID, DB_ROLL_PTR and every other column. A NULL fixed-length field keeps its
// bytes (zeros), a CHAR keeps its full width of n characters times the charset's bytes.
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
        const Field &field = m_fields[f];
        FieldValue &value = m_row.values[field.definitionIndex];
        if (value.bytes.spilled()) {
            value.bytes.resetToMemory();
        }
        value.kind = ValueKind::Null;
        if (f >= present) {
            const RecordOutcome outcome = storeDefault(f, value, counts);
            if (outcome == RecordOutcome::Unreadable
                || outcome == RecordOutcome::LongValueDamaged) {
                return outcome;
            }
            damaged = outcome == RecordOutcome::Damaged || damaged;
            continue;
        }
        const OldStyleField &stored = record->fields[f < m_keyFields ? f : f + hidden];
        if (!common::fits(heapEnd, stored.offset, stored.length)) {
            return RecordOutcome::Unreadable;
        }
        if (stored.isNull) {
            // A key column or a NOT NULL one cannot be NULL: the record is not what it seems.
            damaged = damaged || field.nullBit < 0;
            continue;
        }
        const common::Bytes bytes(page.data() + stored.offset, stored.length);
        const RecordOutcome outcome = storeValue(field, bytes, stored.isExternal, value, counts);
        if (outcome == RecordOutcome::Unreadable || outcome == RecordOutcome::LongValueDamaged) {
            return outcome;
        }
        damaged = outcome == RecordOutcome::Damaged || damaged;
    }
    return damaged ? RecordOutcome::Damaged : RecordOutcome::Row;
}

PageDecodeCounts DecodePageRecords(
    RecordDecoder &decoder, ConstPage page, std::uint32_t pageNumber, RowSink &sink)
{
    return decoder.decodePage(page, pageNumber, sink);
}

} // namespace innodb

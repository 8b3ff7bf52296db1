#include "innodb/record_decoder.h"

#include "frm/column_type.h"
#include "frm/sdi_table.h"
#include "innodb/dictionary.h"
#include "innodb/overflow_chain.h"
#include "innodb/record_chain.h"

#include <algorithm>

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
    // VIRTUAL generated columns and the server's hidden ones are computed, never stored.
    std::vector<std::size_t> order = keyColumns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].primaryPosition == 0 && frm::isStoredColumn(columns[i])) {
            order.push_back(i);
        }
    }
    m_keyFields = keyColumns.size();
    for (const std::size_t i : order) {
        const Field field { static_cast<int>(i), columnFormat(columns[i]), -1 };
        if (!field.format.supported && m_problem.empty()) {
            // Never a guessed width: every later field would be read from the wrong bytes.
            m_problem = "column " + columns[i].name + " has type code "
                + std::to_string(columns[i].fieldType)
                + (columns[i].dataTypeName.empty() ? "" : " (" + columns[i].dataTypeName + ")")
                + ", whose stored form this program does not know: the table is not read";
        }
        m_fields.push_back(field);
    }
    m_coreFields = m_fields.size();
    countNullableFields();
    m_defaults.resize(m_fields.size());
    m_row.table = &m_table;
    m_row.values.resize(columns.size());
    m_row.key.resize(std::max<std::size_t>(m_keyFields, 1));
    m_lengths.resize(m_fields.size());
    m_offsets.resize(m_fields.size());
    m_external.resize(m_fields.size());
    m_null.resize(m_fields.size());
}

KeyLayout RecordDecoder::keyLayout() const
{
    // Node pointers are never rewritten by an instant ALTER: their null bitmap keeps the size
    // the core fields gave it, which the root states once columns were dropped or reordered.
    const std::size_t nullable
        = m_coreNullBytes ? *m_coreNullBytes * 8 : m_nullableBefore[m_coreFields];
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
    const std::size_t heapEnd = recordHeapEnd(page);
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
        if ((instantRecord || (!compact && instant())) && (info & kRecordInfoMinRec) != 0) {
            // The hidden metadata record heads the leftmost leaf: not a row. The table reader
            // has usually learnt it before the first page; a failure here leaves the map
            // unknown, and the page is refused below.
            if (!m_metadataLearned) {
                (void)learnMetadataRecord(page, origin, heapEnd, (info & kRecordInfoDeleted) != 0);
            }
            continue;
        }
        if (waitsForColumnMap()) {
            // Without the column map no field can be placed: nothing of this page is read.
            counts.pagesRejected = 1;
            break;
        }
        ++counts.recordsWalked;
        if ((info & (kRecordInfoMySqlVersion | kRecordInfoMySqlInstant)) != 0) {
            // Its fields follow the columns of the row version it names, which the definition
            // does not give: read with today's columns they would shift. The whole table is
            // refused rather than some of its rows decoded with a guessed layout.
            m_problem = (info & kRecordInfoMySqlVersion) != 0 ? std::string(frm::kRowVersionsRefusal)
                                                              : std::string(frm::kInstantAddRefusal);
            ++counts.recordsRejected;
            counts.pagesRejected = 1;
            break;
        }
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

RecordDecoder::RecordOutcome RecordDecoder::parseRecord(
    ConstPage page, std::size_t origin, std::size_t heapEnd, RecordKind kind, std::size_t &present)
{
    // Below the 5 header bytes: for a record written after an instant ADD COLUMN one or two
    // bytes with its field count, then the null bytes, then the length fields, all growing
    // downwards; none of it may reach into the system records.
    const std::size_t headerFloor = kPageNewSupremumEnd;
    if (origin < headerFloor + kNewRecordHeaderSize) {
        return RecordOutcome::Unreadable;
    }
    // The first null byte; one below the floor when there is no room for any.
    std::size_t nullStart = origin - kNewRecordHeaderSize - 1;
    present = m_coreFields;
    // Core records have the null bitmap the root states once columns were dropped or
    // reordered; others one byte per eight nullable fields they store (rem0rec.cc,
    // rec_init_offsets_comp_ordinary).
    std::size_t nullBytes
        = m_coreNullBytes ? *m_coreNullBytes : (m_nullableBefore[m_coreFields] + 7) / 8;
    if (kind != RecordKind::Core) {
        if (nullStart < headerFloor) {
            return RecordOutcome::Unreadable;
        }
        // The record's fields beyond the core, less one (the metadata record counts its BLOB
        // among them); from 128 on in two bytes, the first flagged 0x80 with the low seven
        // bits, the second with the rest.
        std::size_t added = page[nullStart--];
        if ((added & 0x80) != 0) {
            if (nullStart < headerFloor) {
                return RecordOutcome::Unreadable;
            }
            added = (added & 0x7F) | (std::size_t { page[nullStart--] } << 7);
        }
        present = m_coreFields + added + (kind == RecordKind::Metadata ? 0 : 1);
        if (present > m_fields.size()) {
            // More fields than the table has: not a record of this definition.
            return RecordOutcome::Unreadable;
        }
        nullBytes = (m_nullableBefore[present] + 7) / 8;
    }
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
            if (bit / 8 >= nullBytes) {
                return RecordOutcome::Unreadable;
            }
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
    if (kind == RecordKind::Metadata && m_keyFields == 0) {
        at += kColumnMapReferenceSize;
    }
    for (std::size_t f = 0; f < present; ++f) {
        if (f == m_keyFields && m_keyFields > 0) {
            at += kTrxIdSize + kRollPtrSize;
            if (kind == RecordKind::Metadata) {
                at += kColumnMapReferenceSize;
            }
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
    return common::fits(heapEnd, origin, at - origin) ? RecordOutcome::Row
                                                      : RecordOutcome::Unreadable;
}

RecordDecoder::RecordOutcome RecordDecoder::decodeRecord(ConstPage page, std::size_t origin,
    std::size_t heapEnd, bool instantRecord, PageDecodeCounts &counts)
{
    std::size_t present = 0;
    const RecordKind kind = instantRecord ? RecordKind::Instant : RecordKind::Core;
    if (const auto parsed = parseRecord(page, origin, heapEnd, kind, present);
        parsed != RecordOutcome::Row) {
        return parsed;
    }
    if (m_keyFields == 0) {
        m_row.key[0].assign(page.data() + origin, page.data() + origin + kRowIdSize);
    }
    bool damaged = false;
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        const bool stored = f < present;
        const common::Bytes bytes = stored && !m_null[f]
            ? common::Bytes(page.data() + m_offsets[f], m_lengths[f])
            : common::Bytes();
        if (stored && f < m_keyFields) {
            m_row.key[f].assign(bytes.begin(), bytes.end());
        }
        const RecordOutcome outcome
            = storeField(f, stored, stored && m_null[f], bytes, stored && m_external[f], counts);
        if (outcome == RecordOutcome::Unreadable || outcome == RecordOutcome::LongValueDamaged) {
            return outcome;
        }
        damaged = outcome == RecordOutcome::Damaged || damaged;
    }
    return damaged ? RecordOutcome::Damaged : RecordOutcome::Row;
}

RecordDecoder::RecordOutcome RecordDecoder::storeField(std::size_t f, bool stored, bool isNull,
    common::Bytes bytes, bool external, PageDecodeCounts &counts)
{
    const Field &field = m_fields[f];
    if (field.definitionIndex < 0) {
        return RecordOutcome::Row; // a dropped column's bytes: no value of the row
    }
    FieldValue &value = m_row.values[static_cast<std::size_t>(field.definitionIndex)];
    if (value.bytes.spilled()) {
        value.bytes.resetToMemory(); // the previous row's file goes now
    }
    value.kind = ValueKind::Null;
    if (!stored) {
        return storeDefault(f, value, counts);
    }
    if (isNull) {
        return RecordOutcome::Row;
    }
    return storeValue(field, bytes, external, value, counts);
}

RecordDecoder::RecordOutcome RecordDecoder::storeDefault(
    std::size_t f, FieldValue &value, PageDecodeCounts &counts)
{
    // A column added after the record was written: its default, as the metadata record keeps
    // it. Without that record the value is not known, and NULL would be a guess.
    const InstantDefault &known = m_defaults[f];
    if (!known.known) {
        return RecordOutcome::Damaged;
    }
    if (known.isNull) {
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
    } else if (m_salvageSpaceId && spaceId != *m_salvageSpaceId) {
        // A garbled reference would have its chain checked against its own space id.
        chain.damage = "its external reference names tablespace " + std::to_string(spaceId)
            + ", not the page's own " + std::to_string(*m_salvageSpaceId);
    } else {
        chain = ReadOverflowChain(
            m_pages, { spaceId, untypedBlobPages() }, firstPage, externalLength, writer);
        if (m_salvageSpaceId && chain.complete && chain.overran) {
            // Cut to a garbled length, or another value's chain: intact pages, wrong bytes.
            chain.complete = false;
            chain.damage = "its overflow chain runs past the " + std::to_string(externalLength)
                + " bytes its external reference gives";
        }
    }
    if (chain.complete) {
        return RecordOutcome::Row;
    }
    // Never a wrong value in silence: the row goes, or stays with the value cut where the damage
    // starts and the column named.
    if (m_row.damage.empty()) {
        m_row.damage = m_table.definitionOrder[static_cast<std::size_t>(field.definitionIndex)].name + ": " + chain.damage;
    }
    if (!m_options.keepDamagedValues) {
        return RecordOutcome::LongValueDamaged;
    }
    ++counts.valuesTruncated;
    m_row.cutColumns.push_back(static_cast<std::size_t>(field.definitionIndex));
    return RecordOutcome::Row;
}

bool RecordDecoder::untypedBlobPages()
{
    if (!m_untypedBlobPages) {
        m_untypedBlobPages = holdsUntypedBlobPages(m_pages);
    }
    return *m_untypedBlobPages;
}

PageDecodeCounts DecodePageRecords(
    RecordDecoder &decoder, ConstPage page, std::uint32_t pageNumber, RowSink &sink)
{
    return decoder.decodePage(page, pageNumber, sink);
}

} // namespace innodb

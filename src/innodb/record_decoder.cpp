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
    m_nullBytes = (static_cast<std::size_t>(nullable) + 7) / 8;
    m_row.table = &m_table;
    m_row.values.resize(columns.size());
    m_row.key.resize(std::max<std::size_t>(m_keyFields, 1));
    m_lengths.resize(m_fields.size());
    m_external.resize(m_fields.size());
    m_null.resize(m_fields.size());
}

KeyLayout RecordDecoder::keyLayout() const
{
    std::size_t nullable = 0;
    for (const Field &field : m_fields) {
        nullable += field.nullBit >= 0 ? 1 : 0;
    }
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
    if (heapEnd <= firstUser || heapEnd > kPageDirectoryStart) {
        heapEnd = kPageDirectoryStart;
    }
    const RecordChain chain = walkRecordChain(page);
    const std::size_t limit = std::min<std::size_t>(chain.origins.size(), recordCountOf(page));
    m_row.pageNumber = pageNumber;
    for (std::size_t r = 0; r < limit; ++r) {
        if (m_options.stopRequested && m_options.stopRequested()) {
            break;
        }
        const std::size_t origin = chain.origins[r];
        ++counts.recordsWalked;
        if (recordStatus(page, origin, compact) != kRecordStatusOrdinary) {
            // A node pointer or MariaDB's instant-ALTER metadata record: not a row of this
            // layout, and a leaf that holds one is not what it claims to be.
            ++counts.recordsRejected;
            break;
        }
        const bool deleted = (recordInfoBits(page, origin, compact) & kRecordInfoDeleted) != 0;
        if (deleted && !m_options.includeDeleted) {
            ++counts.deleteMarkedSkipped;
            continue;
        }
        m_row.deleteMarked = deleted;
        m_row.origin = static_cast<std::uint16_t>(origin);
        const RecordOutcome outcome = compact ? decodeRecord(page, origin, heapEnd, counts)
                                              : decodeOldStyleRecord(page, origin, heapEnd, counts);
        if (outcome == RecordOutcome::Row) {
            sink.acceptRow(m_row);
            ++counts.rowsEmitted;
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

RecordDecoder::RecordOutcome RecordDecoder::decodeRecord(
    ConstPage page, std::size_t origin, std::size_t heapEnd, PageDecodeCounts &counts)
{
    // Below the 5 header bytes: ceil(nullable / 8) null bytes, then the length fields, both
    // growing downwards; none of it may reach into the system records.
    const std::size_t headerFloor = kPageNewSupremumEnd;
    if (origin < headerFloor + kNewRecordHeaderSize + m_nullBytes) {
        return RecordOutcome::Unreadable;
    }
    const std::size_t nullStart = origin - kNewRecordHeaderSize - 1;
    std::size_t lengthAt = nullStart - m_nullBytes; // next length byte, reading downwards
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
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
        if (lengthAt < headerFloor) {
            return RecordOutcome::Unreadable;
        }
        const std::uint8_t first = page[lengthAt--];
        if (field.format.big && (first & kLengthTwoBytes) != 0) {
            if (lengthAt < headerFloor) {
                return RecordOutcome::Unreadable;
            }
            m_lengths[f]
                = static_cast<std::uint32_t>((first & kLengthHighBits) << 8) | page[lengthAt--];
            m_external[f] = (first & kLengthExternal) != 0;
        } else {
            m_lengths[f] = first;
        }
    }

    if (m_keyFields == 0) {
        if (!common::fits(heapEnd, origin, kRowIdSize)) {
            return RecordOutcome::Unreadable;
        }
        m_row.key[0].assign(page.data() + origin, page.data() + origin + kRowIdSize);
    }
    std::size_t at = origin + (m_keyFields == 0 ? kRowIdSize + kTrxIdSize + kRollPtrSize : 0);
    bool damaged = false;
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        const Field &field = m_fields[f];
        if (f == m_keyFields && m_keyFields > 0) {
            at += kTrxIdSize + kRollPtrSize;
        }
        FieldValue &value = m_row.values[field.definitionIndex];
        if (value.bytes.spilled()) {
            value.bytes.resetToMemory(); // the previous row's file goes now
        }
        value.kind = ValueKind::Null;
        if (m_null[f]) {
            continue;
        }
        const std::size_t width = field.format.variable ? m_lengths[f] : field.format.fixedSize;
        if (!common::fits(heapEnd, at, width)) {
            return RecordOutcome::Unreadable;
        }
        const common::Bytes bytes(page.data() + at, width);
        at += width;
        if (f < m_keyFields) {
            m_row.key[f].assign(bytes.begin(), bytes.end());
        }
        const RecordOutcome stored = storeValue(field, bytes, m_external[f], value, counts);
        if (stored == RecordOutcome::Unreadable) {
            return stored;
        }
        damaged = stored == RecordOutcome::Damaged || damaged;
    }
    return damaged ? RecordOutcome::Damaged : RecordOutcome::Row;
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
    value.kind = ValueKind::Bytes;
    LongValueWriter writer(m_store, value.bytes);
    if (!writer.append(bytes.first(bytes.size() - kExternReferenceSize)).ok()) {
        ++counts.valuesTruncated;
        return RecordOutcome::Row;
    }
    if (!ReadOverflowChain(m_pages, firstPage, externalLength, writer).complete) {
        ++counts.valuesTruncated;
    }
    return RecordOutcome::Row;
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
    const std::size_t hidden = m_keyFields == 0 ? 3 : 2;
    if (record->fields.size() != m_fields.size() + hidden) {
        return RecordOutcome::Damaged;
    }
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
        const OldStyleField &stored = record->fields[f < m_keyFields ? f : f + hidden];
        FieldValue &value = m_row.values[field.definitionIndex];
        if (value.bytes.spilled()) {
            value.bytes.resetToMemory();
        }
        value.kind = ValueKind::Null;
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
        if (outcome == RecordOutcome::Unreadable) {
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

// The decoder's check of its own reading: the records of a page, laid out by the table's
// definition, must tile the page's heap the way the server wrote them.
//
// A page that passed its checksum holds what the server wrote, so records that do not fit the
// definition there are almost never damage: they are a layout this decoder misreads (a column
// type it takes for the wrong width, a format it does not know), and then every record of every
// page is wrong alike. What gives that away without knowing the right layout:
//   - a record's decoded data runs into the header of the record stored after it in the heap, or
//     past the heap top (PAGE_HEAP_TOP);
//   - on a page without a free list, whose heap holds nothing but its records, the records do not
//     end exactly where the next one's header starts, nor the last exactly at the heap top;
//   - PAGE_N_RECS and PAGE_N_HEAP disagree with the records walked;
//   - a length beyond its column's declared maximum, a fixed-size value that is impossible for
//     its type (a DECIMAL with digits above 9, a date in month 14), a fixed field of another width.
#include "innodb/dictionary.h"
#include "innodb/overflow_chain.h"
#include "innodb/record_chain.h"
#include "innodb/record_decoder.h"

#include <algorithm>
#include <map>

namespace innodb {

namespace {

struct Extent
{
    std::size_t extraStart; // first byte of the record's header (its extra bytes)
    std::size_t dataEnd; // one past its last data byte
};

} // namespace

PageLayoutCheck RecordDecoder::checkPageLayout(ConstPage page)
{
    PageLayoutCheck check;
    const auto inconsistent = [&check](std::size_t origin, std::string why) {
        check.consistent = false;
        check.reason = origin == 0 ? why : "record at " + std::to_string(origin) + ": " + why;
        return check;
    };
    // Without the map of columns dropped or reordered in place the layout is unknown; the decoder
    // refuses such a table itself, naming why.
    if (!usable() || waitsForColumnMap() || pageLevelOf(page) != 0) {
        check.judged = false;
        return check;
    }
    const bool compact = isCompactPage(page);
    const std::size_t firstUser = compact ? kPageNewSupremumEnd : kPageOldSupremumEnd;
    const std::size_t heapTop = heapTopOf(page);
    if (heapTop < firstUser || heapTop > directoryStartOf(page)) {
        return inconsistent(
            0, "the heap top " + std::to_string(heapTop) + " lies outside the page");
    }
    const RecordChain chain = walkRecordChain(page);
    if (!chain.complete) {
        return inconsistent(0, "the record chain does not reach the page's last record");
    }
    std::size_t metadataRecords = 0;
    std::map<std::size_t, Extent> extents; // by origin: heap order
    FieldValue scratch;
    for (const std::size_t origin : chain.origins) {
        const std::uint8_t status = recordStatus(page, origin, compact);
        const std::uint8_t info = recordInfoBits(page, origin, compact);
        const bool instantRecord = compact && instant() && status == kRecordStatusInstant;
        const bool metadata
            = (instantRecord || (!compact && instant())) && (info & kRecordInfoMinRec) != 0;
        metadataRecords += metadata ? 1 : 0;
        const bool columnMap = metadata && (info & kRecordInfoDeleted) != 0;
        if ((info & (kRecordInfoMySqlVersion | kRecordInfoMySqlInstant)) != 0) {
            // A record of another row version: not this layout's to judge. Decoding refuses the
            // table by that reason.
            check.judged = false;
            return check;
        }
        if (columnMap && !m_columnMapKnown) {
            // Columns dropped or reordered in place, and the map that tells their layout is not
            // known yet: no record of the page can be judged.
            check.judged = false;
            return check;
        }
        if (status != kRecordStatusOrdinary && !instantRecord) {
            return inconsistent(origin,
                "not an ordinary record (status " + std::to_string(status) + ") on a leaf page");
        }
        if (compact) {
            std::size_t present = 0;
            const RecordKind kind = columnMap ? RecordKind::Metadata
                : instantRecord               ? RecordKind::Instant
                                              : RecordKind::Core;
            if (parseRecord(page, origin, heapTop, kind, present) != RecordOutcome::Row) {
                return inconsistent(origin, "its header or its data leave the heap");
            }
            for (std::size_t f = 0; f < present; ++f) {
                const Field &field = m_fields[f];
                if (m_null[f] || field.definitionIndex < 0) {
                    continue; // a column dropped in place has no definition to hold it to
                }
                const frm::ColumnDef &column
                    = m_table.definitionOrder[static_cast<std::size_t>(field.definitionIndex)];
                if (m_external[f] && m_lengths[f] < kExternReferenceSize) {
                    return inconsistent(origin,
                        "column " + column.name + " is stored off the page with only "
                            + std::to_string(m_lengths[f]) + " bytes kept");
                }
                if (field.format.variable && !m_external[f] && !hasUnboundedLength(column)
                    && column.byteLength > 0 && m_lengths[f] > column.byteLength) {
                    return inconsistent(origin,
                        "column " + column.name + " holds " + std::to_string(m_lengths[f])
                            + " bytes, more than its " + std::to_string(column.byteLength));
                }
                if (!field.format.variable && field.format.codec != ColumnCodec::Bytes
                    && field.format.codec != ColumnCodec::PaddedText
                    && !decodeValue(field.format,
                        common::Bytes(page.data() + m_offsets[f], m_lengths[f]), scratch)) {
                    return inconsistent(
                        origin, "column " + column.name + " holds a value impossible for its type");
                }
            }
            extents[origin] = { m_extraStart, m_dataEnd };
            continue;
        }
        const auto record = readOldStyleRecord(page, origin);
        if (!record || record->fields.empty()) {
            return inconsistent(origin, "its end offsets leave the page");
        }
        const std::size_t hidden = hiddenFields();
        const std::size_t stored = record->fields.size();
        const bool shortButWhole = instant() && stored >= m_coreFields + hidden;
        if (!metadata && stored != m_fields.size() + hidden && !shortButWhole) {
            return inconsistent(origin,
                "it has " + std::to_string(stored) + " fields where the table has "
                    + std::to_string(m_fields.size() + hidden));
        }
        for (std::size_t f = 0; !metadata && f < m_fields.size() && f + hidden < stored; ++f) {
            const OldStyleField &field = record->fields[f < m_keyFields ? f : f + hidden];
            const ColumnFormat &format = m_fields[f].format;
            if (m_fields[f].definitionIndex >= 0 && !format.variable && !field.isExternal
                && field.length != format.fixedSize) {
                return inconsistent(origin,
                    "column "
                        + m_table.definitionOrder[static_cast<std::size_t>(m_fields[f].definitionIndex)]
                              .name
                        + " holds " + std::to_string(field.length) + " bytes where its type has "
                        + std::to_string(format.fixedSize));
            }
        }
        const OldStyleField &last = record->fields.back();
        const std::size_t extra = kOldRecordHeaderSize + stored * (record->oneByteOffsets ? 1 : 2);
        extents[origin] = { origin - extra, last.offset + last.length };
    }

    // PAGE_N_RECS counts the user records; servers differ on whether MariaDB's metadata record is
    // one of them.
    const std::size_t records = chain.origins.size();
    const std::size_t counted = recordCountOf(page);
    if (counted != records && counted + metadataRecords != records) {
        return inconsistent(0,
            "the page says it holds " + std::to_string(counted) + " records, its chain "
                + std::to_string(records));
    }
    // Without a free list the heap is nothing but the records, one after the other.
    const bool tight = readUint16(page, kFilPageData + kPageFree) == 0
        && readUint16(page, kFilPageData + kPageGarbage) == 0;
    if (tight && (readUint16(page, kPageNHeapAt) & 0x7FFF) != records + 2) {
        return inconsistent(0,
            "the page's heap holds " + std::to_string((readUint16(page, kPageNHeapAt) & 0x7FFF) - 2)
                + " records and no free ones, its chain " + std::to_string(records));
    }
    std::size_t expectedStart = firstUser;
    for (auto it = extents.begin(); it != extents.end(); ++it) {
        const auto next = std::next(it);
        const std::size_t limit = next == extents.end() ? heapTop : next->second.extraStart;
        if (it->second.dataEnd > limit) {
            return inconsistent(it->first,
                "its data runs " + std::to_string(it->second.dataEnd - limit) + " bytes into "
                    + (next == extents.end()
                            ? std::string("the space past the heap top")
                            : "the header of the record at " + std::to_string(next->first)));
        }
        if (tight && (it->second.extraStart != expectedStart || (it->second.dataEnd != limit))) {
            return inconsistent(it->first,
                "the records do not fill the heap as written: this one spans "
                    + std::to_string(it->second.extraStart) + ".."
                    + std::to_string(it->second.dataEnd) + ", the heap has room from "
                    + std::to_string(expectedStart) + " to " + std::to_string(limit));
        }
        expectedStart = it->second.dataEnd;
    }
    return check;
}

} // namespace innodb

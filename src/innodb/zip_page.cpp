#include "innodb/zip_page.h"

#include "innodb/page_layout.h"
#include "innodb/record_chain.h"
#include "innodb/zip_record.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>

namespace innodb {

namespace {

constexpr std::uint16_t kFilPageTypeRtree = 17854;

// page0zip.h and rem0rec.h.
constexpr std::size_t kZipStart = kPageNewSupremumEnd; // the stream rebuilds the page from here
constexpr std::uint16_t kDirSlotMask = 0x3FFF;
constexpr std::uint16_t kDirSlotOwned = 0x4000;
constexpr std::uint16_t kDirSlotDeleted = 0x8000;
constexpr std::size_t kDirSlotSize = 2;
constexpr std::size_t kTrxRollSize = 6 + 7; // DB_TRX_ID, DB_ROLL_PTR
constexpr std::size_t kChildSize = 4; // a node pointer's child page number
constexpr std::size_t kReferenceSize = 20; // a BLOB reference
constexpr std::size_t kHeapNoUserLow = 2; // heap numbers 0 and 1 are the infimum and supremum
constexpr unsigned kHeapNoShift = 3; // heap number above the 3 status bits
constexpr std::size_t kHeapNoAt = 4; // origin - 4: heap number and status
constexpr std::uint8_t kStatusNodePointer = 1;

// The system records as every compact page has them (page0zip.cc, infimum_extra and
// supremum_extra_data): n_owned 1, heap number 0, status 2; heap number 1, status 3, "supremum".
constexpr std::array<std::uint8_t, 3> kInfimumExtra { 0x01, 0x00, 0x02 };
constexpr std::array<std::uint8_t, 8> kInfimumData { 'i', 'n', 'f', 'i', 'm', 'u', 'm', 0 };
constexpr std::array<std::uint8_t, 12> kSupremumExtraData { 0x00, 0x0B, 0x00, 0x00, 's', 'u', 'p',
    'r', 'e', 'm', 'u', 'm' };

void putUint16(PageBuffer view, std::size_t at, std::size_t value)
{
    view[at] = static_cast<std::uint8_t>(value >> 8);
    view[at + 1] = static_cast<std::uint8_t>(value);
}

// A new-style next-record field is relative to the record's origin, modulo 64 KiB.
void linkRecord(PageBuffer view, std::size_t origin, std::size_t next)
{
    putUint16(view, origin - 2, next == 0 ? 0 : (next - origin) & 0xFFFF);
}

class ZipPageBuilder
{
public:
    ZipPageBuilder(std::span<const std::uint8_t> stored, PageBuffer view)
        : m_stored(stored)
        , m_view(view)
    {
    }
    ~ZipPageBuilder()
    {
        if (m_streamOpen) {
            inflateEnd(&m_stream);
        }
    }
    ZipPageBuilder(const ZipPageBuilder &) = delete;
    ZipPageBuilder &operator=(const ZipPageBuilder &) = delete;

    // Empty on success, else what was wrong.
    std::string build();
    const ZipPageStats &stats() const { return m_stats; }

private:
    std::uint16_t dense(std::size_t slot) const
    {
        return readUint16(m_stored, m_stored.size() - kDirSlotSize * (slot + 1));
    }
    bool decodeDirectory();
    void writeSystemRecords();
    std::string openStream();
    std::string inflateRecords();
    std::string inflateClusteredRecord(std::size_t origin);
    std::string applyLog();
    std::string applyLogRecord(std::size_t origin, std::size_t heapStatus, bool cleared);
    std::string restoreColumns();
    bool setExtraBytes();

    // Inflates up to page offset `target`; the status tells how it ended.
    enum class Inflated { Filled, Ended, Failed };
    Inflated inflateTo(std::size_t target);
    bool layoutOnPage(std::size_t origin)
    {
        const std::size_t below = origin - kNewRecordHeaderSize - 1;
        return origin >= kZipStart + kNewRecordHeaderSize
            && layoutZipRecord(m_index, m_view.data() + below, -1, below + 1 - kZipStart, m_layout)
            && origin + m_layout.dataSize <= m_heapLimit;
    }
    bool isFree(std::size_t origin) const
    {
        for (std::size_t slot = m_userRecords; slot < m_records.size(); ++slot) {
            if (dense(slot) == origin) {
                return true;
            }
        }
        return false;
    }

    std::span<const std::uint8_t> m_stored;
    PageBuffer m_view;
    bool m_leaf = true;
    std::size_t m_userRecords = 0; // PAGE_N_RECS
    std::vector<std::size_t> m_records; // origins of every heap record, in heap (address) order
    std::size_t m_heapLimit = 0; // the lowest slot of the sparse directory: records end below
    std::size_t m_perRecord = 0; // bytes each record keeps at the end of the compressed page
    std::size_t m_heapStatus = 0; // heap number and status of the next record inflated
    std::size_t m_out = kZipStart; // page offset the stream has rebuilt the page up to
    std::size_t m_logEnd = 0;
    ZipIndex m_index;
    ZipRecordLayout m_layout;
    z_stream m_stream {};
    bool m_streamOpen = false;
    ZipPageStats m_stats;
};

std::string ZipPageBuilder::build()
{
    const std::size_t heapRecords = readUint16(m_stored, kPageNHeapAt) & 0x7FFFu;
    if ((readUint16(m_stored, kPageNHeapAt) & 0x8000u) == 0 || heapRecords < kHeapNoUserLow) {
        return "it is not a compact page";
    }
    m_records.resize(heapRecords - kHeapNoUserLow);
    m_userRecords = recordCountOf(m_stored);
    m_leaf = pageLevelOf(m_stored) == 0;
    if (m_records.size() * kDirSlotSize >= m_stored.size() || m_userRecords > m_records.size()) {
        return "its record counts do not fit the page";
    }
    std::fill(m_view.begin(), m_view.end(), 0);
    std::copy(m_stored.begin(), m_stored.begin() + kPageData, m_view.begin());
    if (!decodeDirectory()) {
        return "its dense page directory is damaged";
    }
    // Every record lies below the heap top, and the heap below the directory.
    if (heapTopOf(m_stored) < kZipStart || heapTopOf(m_stored) > m_heapLimit) {
        return "its heap top is impossible";
    }
    writeSystemRecords();
    if (auto problem = openStream(); !problem.empty()) {
        return problem;
    }
    if (auto problem = inflateRecords(); !problem.empty()) {
        return problem;
    }
    if (auto problem = applyLog(); !problem.empty()) {
        return problem;
    }
    if (auto problem = restoreColumns(); !problem.empty()) {
        return problem;
    }
    return setExtraBytes() ? std::string() : "its free list is damaged";
}

// The sparse directory from the dense one: slot 0 the infimum, one slot for each record marked
// as owning one, the last the supremum (page_zip_dir_decode()).
bool ZipPageBuilder::decodeDirectory()
{
    const std::size_t slots = readUint16(m_stored, kFilPageData + kPageNDirSlots);
    const std::size_t top = directoryStartOf(m_view.size());
    if (slots < 2 || kDirSlotSize * (slots - 1) > top - kZipStart) {
        return false;
    }
    m_heapLimit = top - kDirSlotSize * (slots - 1);
    std::size_t slot = top;
    putUint16(m_view, slot, kPageNewInfimum);
    slot -= kDirSlotSize;
    for (std::size_t i = 0; i < m_userRecords; ++i) {
        const std::uint16_t entry = dense(i);
        const std::size_t origin = entry & kDirSlotMask;
        if ((entry & kDirSlotOwned) != 0) {
            if (slot <= m_heapLimit) {
                return false;
            }
            putUint16(m_view, slot, origin);
            slot -= kDirSlotSize;
        }
        if (origin < kZipStart + kNewRecordHeaderSize || origin >= m_heapLimit) {
            return false;
        }
        m_records[i] = origin;
    }
    if (slot != m_heapLimit) {
        return false;
    }
    putUint16(m_view, slot, kPageNewSupremum);
    for (std::size_t i = m_userRecords; i < m_records.size(); ++i) {
        const std::uint16_t entry = dense(i);
        if ((entry & ~kDirSlotMask) != 0 || entry < kZipStart + kNewRecordHeaderSize
            || entry >= m_heapLimit) {
            return false;
        }
        m_records[i] = entry;
    }
    std::sort(m_records.begin(), m_records.end());
    return std::adjacent_find(m_records.begin(), m_records.end()) == m_records.end();
}

void ZipPageBuilder::writeSystemRecords()
{
    std::copy(kInfimumExtra.begin(), kInfimumExtra.end(),
        m_view.begin() + (kPageNewInfimum - kNewRecordHeaderSize));
    linkRecord(
        m_view, kPageNewInfimum, m_userRecords == 0 ? kPageNewSupremum : (dense(0) & kDirSlotMask));
    std::copy(kInfimumData.begin(), kInfimumData.end(), m_view.begin() + kPageNewInfimum);
    std::copy(kSupremumExtraData.begin(), kSupremumExtraData.end(),
        m_view.begin() + (kPageNewSupremum - kNewRecordHeaderSize + 1));
}

// The stream starts after the page header; the last byte before the columns kept apart is the
// end marker of an empty modification log, so it never belongs to the stream.
std::string ZipPageBuilder::openStream()
{
    m_stream.next_in = const_cast<Bytef *>(m_stored.data() + kPageData);
    m_stream.avail_in = static_cast<uInt>(m_stored.size() - kPageData - 1);
    m_stream.next_out = m_view.data() + kZipStart;
    m_stream.avail_out = static_cast<uInt>(m_view.size() - kZipStart);
    if (inflateInit2(&m_stream, MAX_WBITS) != Z_OK) {
        return "zlib cannot start";
    }
    m_streamOpen = true;
    // The zlib header, then the first block: the field list.
    if (inflate(&m_stream, Z_BLOCK) != Z_OK || inflate(&m_stream, Z_BLOCK) != Z_OK) {
        return "its compressed stream does not start";
    }
    const std::size_t listEnd = static_cast<std::size_t>(m_stream.next_out - m_view.data());
    auto index = decodeZipIndex(
        std::span<const std::uint8_t>(m_view.data() + kZipStart, listEnd - kZipStart), m_leaf);
    if (!index) {
        return "its field list is damaged";
    }
    m_index = std::move(*index);
    std::fill(m_view.begin() + kZipStart, m_view.begin() + static_cast<std::ptrdiff_t>(listEnd), 0);
    m_perRecord = kDirSlotSize + (!m_leaf ? kChildSize : m_index.trxIdField ? kTrxRollSize : 0);
    if (m_stream.avail_in < m_records.size() * m_perRecord) {
        return "its records do not fit the page";
    }
    m_stream.avail_in -= static_cast<uInt>(m_records.size() * m_perRecord);
    m_heapStatus = kHeapNoUserLow << kHeapNoShift | (m_leaf ? 0 : kStatusNodePointer);
    return {};
}

ZipPageBuilder::Inflated ZipPageBuilder::inflateTo(std::size_t target)
{
    if (target < m_out) {
        return Inflated::Failed;
    }
    m_stream.next_out = m_view.data() + m_out;
    m_stream.avail_out = static_cast<uInt>(target - m_out);
    const int status = inflate(&m_stream, Z_SYNC_FLUSH);
    m_out = static_cast<std::size_t>(m_stream.next_out - m_view.data());
    if (status == Z_STREAM_END) {
        return Inflated::Ended;
    }
    return (status == Z_OK || status == Z_BUF_ERROR) && m_stream.avail_out == 0 ? Inflated::Filled
                                                                                : Inflated::Failed;
}

// Heap order is address order: each record's header bytes come before its data in the stream
// (page_zip_decompress_node_ptrs(), _sec() and _clust()). The stream may end at a record's
// header when the records from there on were written after the page was compressed: they are
// in the modification log only.
std::string ZipPageBuilder::inflateRecords()
{
    const bool clustered = m_leaf && m_index.trxIdField.has_value();
    for (const std::size_t origin : m_records) {
        const Inflated header = inflateTo(origin - kNewRecordHeaderSize);
        if (header == Inflated::Failed
            || (header == Inflated::Ended && m_out != origin - kNewRecordHeaderSize)) {
            if (header == Inflated::Ended) {
                return {};
            }
            return "its compressed stream is damaged";
        }
        m_out = origin;
        putUint16(m_view, origin - kHeapNoAt, m_heapStatus);
        m_heapStatus += 1u << kHeapNoShift;
        if (header == Inflated::Ended) {
            return {};
        }
        ++m_stats.recordsInStream;
        if (!layoutOnPage(origin)) {
            return "a record does not fit the page";
        }
        if (!m_leaf) {
            // The data but the child page number, which is kept apart.
            const Inflated data = inflateTo(origin + m_layout.dataSize - kChildSize);
            if (data == Inflated::Ended) {
                return {};
            }
            if (data == Inflated::Failed) {
                return "its compressed stream is damaged";
            }
            m_out += kChildSize;
        } else if (clustered) {
            if (auto problem = inflateClusteredRecord(origin); !problem.empty()) {
                return problem;
            }
        }
        // A secondary index leaf record's data come with the next record's header bytes.
    }
    // The last record's data and the heap after it, up to PAGE_HEAP_TOP.
    const std::size_t heapTop = heapTopOf(m_stored);
    if (heapTop < m_out) {
        return "its heap top is impossible";
    }
    m_stream.next_out = m_view.data() + m_out;
    m_stream.avail_out = static_cast<uInt>(heapTop - m_out);
    if (inflate(&m_stream, Z_FINISH) != Z_STREAM_END) {
        return "its compressed stream does not end";
    }
    m_out = static_cast<std::size_t>(m_stream.next_out - m_view.data());
    return {};
}

// A clustered leaf record without DB_TRX_ID, DB_ROLL_PTR and its BLOB references, which are
// kept apart: the bytes between them come from the stream.
std::string ZipPageBuilder::inflateClusteredRecord(std::size_t origin)
{
    const std::size_t trx = *m_index.trxIdField;
    for (std::size_t f = 0; f < m_layout.fields.size(); ++f) {
        const auto &field = m_layout.fields[f];
        std::size_t skip = 0;
        std::size_t at = origin + field.start;
        if (f == trx) {
            if (field.length < kTrxRollSize || field.external) {
                return "a record's DB_TRX_ID is damaged";
            }
            skip = kTrxRollSize;
        } else if (field.external) {
            if (field.length < kReferenceSize) {
                return "a record's BLOB reference is cut short";
            }
            at += field.length - kReferenceSize;
            skip = kReferenceSize;
        } else {
            continue;
        }
        if (inflateTo(at) == Inflated::Failed) {
            return "its compressed stream is damaged";
        }
        if (m_out != at) {
            return "its compressed stream ends inside a record";
        }
        m_out += skip;
    }
    if (inflateTo(origin + m_layout.dataSize) == Inflated::Failed
        || m_out != origin + m_layout.dataSize) {
        return "its compressed stream is damaged";
    }
    return {};
}

// The modification log follows the stream (page_zip_apply_log()). Each entry names a record by
// heap number: an existing one rewritten, or the next new one; bit 0 marks one cleared (deleted
// and purged).
std::string ZipPageBuilder::applyLog()
{
    // The rest of the heap, below the directory, holds nothing yet.
    if (m_out > m_heapLimit) {
        return "its records run into the page directory";
    }
    std::fill(m_view.begin() + static_cast<std::ptrdiff_t>(m_out),
        m_view.begin() + static_cast<std::ptrdiff_t>(m_heapLimit), 0);
    std::size_t at = static_cast<std::size_t>(m_stream.next_in - m_stored.data());
    const std::size_t end = at + m_stream.avail_in + 1;
    while (true) {
        if (at >= end) {
            return "its modification log has no end";
        }
        std::size_t value = m_stored[at++];
        if (value == 0) {
            m_logEnd = at - 1;
            break;
        }
        if ((value & 0x80) != 0) {
            if (at >= end) {
                return "its modification log has no end";
            }
            value = (value & 0x7F) << 8 | m_stored[at++];
        }
        const std::size_t heapNumber = (value >> 1) + 1;
        if (at >= end || heapNumber < kHeapNoUserLow
            || heapNumber - kHeapNoUserLow >= m_records.size()) {
            return "its modification log names a record that is not on the page";
        }
        const std::size_t heapStatus = heapNumber << kHeapNoShift | (m_heapStatus & 7);
        if (heapStatus > m_heapStatus) {
            return "its modification log skips a record";
        }
        if (heapStatus == m_heapStatus) {
            if ((value & 1) != 0) {
                return "its modification log clears a record never written";
            }
            m_heapStatus += 1u << kHeapNoShift;
        }
        const std::size_t origin = m_records[heapNumber - kHeapNoUserLow];
        putUint16(m_view, origin - kHeapNoAt, heapStatus);
        ++m_stats.logEntries;
        if ((value & 1) != 0) {
            if (!layoutOnPage(origin)) {
                return "a record does not fit the page";
            }
            std::fill_n(m_view.begin() + static_cast<std::ptrdiff_t>(origin), m_layout.dataSize, 0);
            continue;
        }
        if (!layoutZipRecord(m_index, m_stored.data() + at, 1, end - at, m_layout)
            || origin < kZipStart + kNewRecordHeaderSize + m_layout.extraSize
            || origin + m_layout.dataSize > m_heapLimit) {
            return "a record of its modification log does not fit the page";
        }
        for (std::size_t k = 0; k < m_layout.extraSize; ++k) {
            m_view[origin - kNewRecordHeaderSize - 1 - k] = m_stored[at++];
        }
        // The data, less the columns kept apart: each gap is copied from the log in turn.
        std::size_t written = origin;
        const auto copyUpTo = [&](std::size_t until) {
            const std::size_t length = until - written;
            if (until < written || at + length >= end) {
                return false;
            }
            std::copy_n(m_stored.begin() + static_cast<std::ptrdiff_t>(at), length,
                m_view.begin() + static_cast<std::ptrdiff_t>(written));
            at += length;
            written = until;
            return true;
        };
        const std::size_t recordEnd = origin + m_layout.dataSize;
        bool fits = true;
        if (!m_leaf) {
            fits = !m_layout.anyExternal && copyUpTo(recordEnd - kChildSize);
        } else if (m_index.trxIdField) {
            for (std::size_t f = 0; f < m_layout.fields.size() && fits; ++f) {
                const auto &field = m_layout.fields[f];
                if (f == *m_index.trxIdField) {
                    fits = field.length >= kTrxRollSize && !field.external
                        && copyUpTo(origin + field.start);
                    written += kTrxRollSize;
                } else if (field.external) {
                    fits = field.length >= kReferenceSize
                        && copyUpTo(origin + field.start + field.length - kReferenceSize);
                    written += kReferenceSize;
                }
            }
            fits = fits && copyUpTo(recordEnd);
        } else {
            fits = copyUpTo(recordEnd);
        }
        if (!fits) {
            return "a record of its modification log is cut short";
        }
    }
    if (m_logEnd + m_records.size() * m_perRecord >= m_stored.size()) {
        return "its modification log runs into the directory";
    }
    return {};
}

// DB_TRX_ID and DB_ROLL_PTR, BLOB references and child page numbers, from the end of the
// compressed page into each record (heap order). A record on the free list has no references
// kept: they are zero.
std::string ZipPageBuilder::restoreColumns()
{
    if (m_leaf && !m_index.trxIdField) {
        return {};
    }
    std::size_t storage = m_stored.size() - kDirSlotSize * m_records.size();
    std::size_t references = storage - m_records.size() * (m_leaf ? kTrxRollSize : kChildSize);
    for (const std::size_t origin : m_records) {
        if (!layoutOnPage(origin)) {
            return "a record does not fit the page";
        }
        if (!m_leaf) {
            storage -= kChildSize;
            std::copy_n(m_stored.begin() + static_cast<std::ptrdiff_t>(storage), kChildSize,
                m_view.begin()
                    + static_cast<std::ptrdiff_t>(origin + m_layout.dataSize - kChildSize));
            continue;
        }
        const auto &trx = m_layout.fields[*m_index.trxIdField];
        if (trx.length < kTrxRollSize) {
            return "a record's DB_TRX_ID is damaged";
        }
        storage -= kTrxRollSize;
        std::copy_n(m_stored.begin() + static_cast<std::ptrdiff_t>(storage), kTrxRollSize,
            m_view.begin() + static_cast<std::ptrdiff_t>(origin + trx.start));
        if (!m_layout.anyExternal) {
            continue;
        }
        const bool exists = !isFree(origin);
        for (const auto &field : m_layout.fields) {
            if (!field.external) {
                continue;
            }
            if (field.length < kReferenceSize) {
                return "a record's BLOB reference is cut short";
            }
            const auto into = m_view.begin()
                + static_cast<std::ptrdiff_t>(origin + field.start + field.length - kReferenceSize);
            if (!exists) {
                std::fill_n(into, kReferenceSize, 0);
                continue;
            }
            if (references < m_logEnd + kReferenceSize) {
                return "its BLOB references run into the modification log";
            }
            references -= kReferenceSize;
            std::copy_n(
                m_stored.begin() + static_cast<std::ptrdiff_t>(references), kReferenceSize, into);
        }
    }
    return {};
}

// Record headers: info bits and owned counts from the dense directory, next-record links in key
// order and then along the free list (page_zip_set_extra_bytes()).
bool ZipPageBuilder::setExtraBytes()
{
    std::uint8_t info = !m_leaf && previousPageOf(m_stored) == kFilNull ? kRecordInfoMinRec : 0;
    std::size_t owned = 1;
    std::size_t previous = kPageNewInfimum;
    for (std::size_t i = 0; i < m_userRecords; ++i) {
        const std::uint16_t entry = dense(i);
        if ((entry & kDirSlotDeleted) != 0) {
            info |= kRecordInfoDeleted;
        }
        if ((entry & kDirSlotOwned) != 0) {
            info = static_cast<std::uint8_t>(info | owned);
            owned = 1;
        } else {
            ++owned;
        }
        const std::size_t origin = entry & kDirSlotMask;
        linkRecord(m_view, previous, origin);
        m_view[origin - kNewRecordHeaderSize] = info;
        info = 0;
        previous = origin;
    }
    linkRecord(m_view, previous, kPageNewSupremum);
    m_view[kPageNewSupremum - kNewRecordHeaderSize] = static_cast<std::uint8_t>(owned);
    m_stats.freeRecords = m_records.size() - m_userRecords;
    if (m_userRecords == m_records.size()) {
        return true;
    }
    std::size_t origin = dense(m_userRecords);
    for (std::size_t i = m_userRecords + 1;; ++i) {
        if (origin == 0) {
            return false;
        }
        m_view[origin - kNewRecordHeaderSize] = 0;
        if (i == m_records.size()) {
            break;
        }
        const std::size_t next = dense(i);
        linkRecord(m_view, origin, next);
        origin = next;
    }
    linkRecord(m_view, origin, 0);
    return true;
}

} // namespace

bool isCompressedIndexPage(std::span<const std::uint8_t> stored)
{
    const auto type = pageTypeOf(stored);
    return type == kFilPageTypeIndex || type == kFilPageTypeRtree;
}

PageRead decompressIndexPage(
    std::span<const std::uint8_t> stored, PageBuffer view, ZipPageStats *stats)
{
    PageRead read;
    if (stored.size() <= kPageData || view.size() < stored.size()) {
        read.outcome = PageRead::Outcome::Damaged;
        read.reason = "it is smaller than a compressed page";
        return read;
    }
    ZipPageBuilder builder(stored, view);
    if (std::string problem = builder.build(); !problem.empty()) {
        read.outcome = PageRead::Outcome::Damaged;
        read.reason = "its compressed form cannot be rebuilt: " + problem;
    }
    if (stats) {
        *stats = builder.stats();
    }
    return read;
}

} // namespace innodb

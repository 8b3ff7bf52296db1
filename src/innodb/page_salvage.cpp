#include "innodb/page_salvage.h"

#include "common/utf8.h"
#include "frm/charset.h"
#include "innodb/dictionary.h"
#include "innodb/overflow_chain.h"
#include "innodb/page_check.h"
#include "innodb/record_chain.h"
#include "innodb/record_decoder.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>

namespace innodb {

SalvageCounts &SalvageCounts::operator+=(const SalvageCounts &other)
{
    pages += other.pages;
    rowsSalvaged += other.rowsSalvaged;
    rowsDoubtful += other.rowsDoubtful;
    foundByScan += other.foundByScan;
    recordsRejected += other.recordsRejected;
    deleteMarkedSkipped += other.deleteMarkedSkipped;
    rowsWithDamagedLongValues += other.rowsWithDamagedLongValues;
    rowsAlreadyRecovered += other.rowsAlreadyRecovered;
    chainsComplete += other.chainsComplete;
    return *this;
}

namespace {

// A directory slot owns at most 8 records (PAGE_DIR_SLOT_MAX_N_OWNED); the two highest info bits
// are never set.
inline constexpr std::uint8_t kMaxOwned = 8;
inline constexpr std::uint8_t kUnusedInfoBits = 0xC0;
inline constexpr std::size_t kRowIdSize = 6;

// The page's own record format as its system records show it: the N_HEAP flag may be what the
// damage hit.
bool compactByInfimum(ConstPage page)
{
    static constexpr char kInfimum[8] = { 'i', 'n', 'f', 'i', 'm', 'u', 'm', '\0' };
    if (std::memcmp(page.data() + kPageNewInfimum, kInfimum, sizeof kInfimum) == 0) {
        return true;
    }
    if (std::memcmp(page.data() + kPageOldInfimum, kInfimum, sizeof kInfimum) == 0) {
        return false;
    }
    return isCompactPage(page);
}

// PAGE_HEAP_TOP when it is possible, else the directory start: a garbled heap top must not hide
// records, and the walk never reads past what a record may occupy.
std::size_t salvageHeapEnd(ConstPage page, bool compact)
{
    const std::size_t firstUser = compact ? kPageNewSupremumEnd : kPageOldSupremumEnd;
    const std::size_t top = heapTopOf(page);
    return top <= firstUser || top > directoryStartOf(page) ? directoryStartOf(page) : top;
}

// How many heap numbers the page can have given out: PAGE_N_HEAP when it agrees with the room
// the heap has and with PAGE_N_RECS, else what the room allows.
std::size_t heapNumberLimit(ConstPage page, std::size_t heapEnd, std::size_t firstUser)
{
    const std::size_t room = (heapEnd - firstUser) / (kNewRecordHeaderSize + 1) + 2;
    const std::size_t stated = readUint16(page, kPageNHeapAt) & 0x7FFF;
    return stated >= std::size_t { recordCountOf(page) } + 2 && stated <= room ? stated : room;
}

// The records the page directory's slots point at, but for the infimum's and the supremum's.
std::set<std::size_t> directorySlotOwners(ConstPage page, std::size_t heapEnd)
{
    std::set<std::size_t> owners;
    const std::size_t slots = readUint16(page, kFilPageData + kPageNDirSlots);
    const std::size_t room = (directoryStartOf(page) - heapEnd) / kPageDirSlotSize + 1;
    for (std::size_t i = 1; i < std::min(slots, room); ++i) {
        owners.insert(readUint16(page, directoryStartOf(page) - i * kPageDirSlotSize));
    }
    owners.erase(kPageNewSupremum);
    return owners;
}

bool isUtf8Charset(std::uint16_t charset)
{
    const frm::Collation *collation = frm::findCollation(charset);
    return collation
        && (collation->charset == "utf8" || collation->charset == "utf8mb3"
            || collation->charset == "utf8mb4");
}

} // namespace

struct RecordDecoder::SalvageRecord
{
    std::size_t origin = 0;
    std::size_t extraStart = 0; // its lowest header byte
    std::size_t dataEnd = 0; // one past its last data byte
    std::size_t next = 0; // the origin its next-record field names
    bool deleted = false;
    bool instantRecord = false;
    bool byScan = false;
    KeyBytes key;
};

bool RecordDecoder::keyInByteOrder() const
{
    if (m_keyFields == 0) {
        return true; // DB_ROW_ID, a big-endian counter
    }
    for (std::size_t f = 0; f < m_keyFields; ++f) {
        const Field &field = m_fields[f];
        if (field.definitionIndex < 0) {
            return false;
        }
        const auto &column = m_table.definitionOrder[static_cast<std::size_t>(field.definitionIndex)];
        switch (field.format.codec) {
        case ColumnCodec::SignedInteger:
        case ColumnCodec::UnsignedInteger:
        case ColumnCodec::Date:
        case ColumnCodec::DateTime:
        case ColumnCodec::Timestamp:
        case ColumnCodec::Year:
            break;
        case ColumnCodec::Bytes:
            if (column.charset != frm::kCharsetBinary) {
                return false; // a collation's order, not the bytes'
            }
            break;
        default:
            return false;
        }
    }
    return true;
}

bool RecordDecoder::salvageCandidate(ConstPage page, std::size_t origin, std::size_t heapEnd,
    std::size_t heapNumbers, SalvageRecord &out)
{
    if (origin < kPageNewSupremumEnd + kNewRecordHeaderSize || origin >= heapEnd) {
        return false;
    }
    const std::uint8_t info = page[origin - kNewRecordHeaderSize];
    if ((info & kUnusedInfoBits) != 0 || (info & 0x0F) > kMaxOwned
        || (info & kRecordInfoMinRec) != 0) {
        return false; // the min-rec mark belongs to node pointers and the metadata record
    }
    const std::uint8_t status = page[origin - 3] & 0x07;
    const bool instantRecord = instant() && status == kRecordStatusInstant;
    if (status != kRecordStatusOrdinary && !instantRecord) {
        return false;
    }
    const std::size_t heapNumber = readUint16(page, origin - 4) >> 3;
    if (heapNumber < 2 || heapNumber >= heapNumbers) {
        return false;
    }
    std::size_t present = 0;
    if (parseRecord(page, origin, heapEnd, instantRecord ? RecordKind::Instant : RecordKind::Core,
            present)
        != RecordOutcome::Row) {
        return false;
    }
    out.key.assign(std::max<std::size_t>(m_keyFields, 1), {});
    if (m_keyFields == 0) {
        out.key[0].assign(page.data() + origin, page.data() + origin + kRowIdSize);
    }
    FieldValue scratch;
    for (std::size_t f = 0; f < present; ++f) {
        const Field &field = m_fields[f];
        const common::Bytes bytes(page.data() + m_offsets[f], m_null[f] ? 0 : m_lengths[f]);
        if (f < m_keyFields) {
            if (m_null[f]) {
                return false;
            }
            out.key[f].assign(bytes.begin(), bytes.end());
        }
        if (m_null[f] || field.definitionIndex < 0) {
            continue;
        }
        const auto &column = m_table.definitionOrder[static_cast<std::size_t>(field.definitionIndex)];
        if (m_external[f]) {
            if (m_lengths[f] < kExternReferenceSize) {
                return false;
            }
            continue; // its overflow pages are followed when the row is decoded
        }
        if (field.format.variable && !hasUnboundedLength(column) && column.byteLength > 0
            && m_lengths[f] > column.byteLength) {
            return false;
        }
        if (!decodeValue(field.format, bytes, scratch)) {
            return false;
        }
    }
    out.origin = origin;
    out.extraStart = m_extraStart;
    out.dataEnd = m_dataEnd;
    out.next = (origin + readUint16(page, origin - 2)) & 0xFFFF;
    out.deleted = (info & kRecordInfoDeleted) != 0;
    out.instantRecord = instantRecord;
    out.byScan = false;
    return true;
}

namespace {

// Mostly printable text, in UTF-8: a binary column that holds text (Zarafa keeps HTML bodies in
// one), where random bytes stand out.
bool looksLikeText(common::Bytes bytes)
{
    std::size_t good = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t b = bytes[i];
        const std::size_t length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
        if (length == 1) {
            good += (b >= 0x20 && b < 0x7F) || b == '\n' || b == '\r' || b == '\t' ? 1U : 0U;
        } else if (length > 1 && i + length <= bytes.size()
            && common::isValidUtf8(bytes.subspan(i, length))) {
            good += length;
            i += length;
            continue;
        }
        ++i;
    }
    return good * 4 >= bytes.size() * 3;
}

// Values larger than this are not read back from their file for the check.
inline constexpr std::uint64_t kLargestValueChecked = 4 << 20;

// A byte run that falls wholly inside one record's data leaves every structural check passing,
// and in a binary or numeric column no value check can tell random bytes from true ones: on a
// page whose checksum fails, nothing on the page itself proves any record's bytes whole.
inline constexpr const char *kUnprovenDoubt
    = "its page failed its checksum, and nothing else proves its bytes whole";

// Why every row of `page` is in doubt, beyond what its own checks say: a page that still passes
// its checksum (taken here for a structural fault) holds the bytes its server wrote.
std::string pageDoubt(ConstPage page)
{
    return checkPageEitherLayout(page).ok() ? std::string() : std::string(kUnprovenDoubt);
}

// The salvage reads long values under stricter rules than an intact page's rows (record_decoder.h);
// only while this lives.
class SalvagingLongValues
{
public:
    SalvagingLongValues(std::optional<std::uint32_t> &spaceId, ConstPage page)
        : m_spaceId(spaceId)
    {
        m_spaceId = spaceIdOf(page);
    }
    ~SalvagingLongValues() { m_spaceId.reset(); }
    SalvagingLongValues(const SalvagingLongValues &) = delete;
    SalvagingLongValues &operator=(const SalvagingLongValues &) = delete;

private:
    std::optional<std::uint32_t> &m_spaceId;
};

} // namespace

std::string RecordDecoder::salvagedValueDoubt() const
{
    if (!m_row.cutColumns.empty()) {
        return m_row.damage;
    }
    for (std::size_t i = 0; i < m_row.values.size(); ++i) {
        const FieldValue &value = m_row.values[i];
        if (value.kind != ValueKind::Bytes || value.bytes.size() > kLargestValueChecked) {
            continue;
        }
        std::vector<std::uint8_t> read;
        common::Bytes bytes = value.bytes.memory();
        if (value.bytes.spilled()) {
            auto all = value.bytes.readAll();
            if (!all.ok()) {
                continue;
            }
            read = std::move(*all);
            bytes = read;
        }
        if (common::isValidUtf8(bytes)) {
            continue;
        }
        // A byte run garbled inside one record's data leaves no trace in the page's structure,
        // but random bytes are seldom well-formed text: in a text column, or in a binary one
        // whose value is text otherwise.
        const frm::ColumnDef &column = m_table.definitionOrder[i];
        if (isUtf8Charset(column.charset)) {
            return "column " + column.name + " is not well-formed UTF-8";
        }
        if (looksLikeText(bytes)) {
            return "column " + column.name + " holds text with bytes that are not well formed";
        }
    }
    return {};
}

SalvageCounts RecordDecoder::salvagePage(
    ConstPage page, std::uint32_t pageNumber, const KeyRange &bounds, SalvageSink &sink)
{
    SalvageCounts counts;
    if (!usable() || waitsForColumnMap()) {
        return counts;
    }
    counts.pages = 1;
    const bool compact = compactByInfimum(page);
    const std::size_t heapEnd = salvageHeapEnd(page, compact);
    const bool ordered = keyInByteOrder();
    const auto inBounds = [&](const KeyBytes &key) { return !ordered || bounds.contains(key); };
    if (!compact) {
        return salvageOldStylePage(page, pageNumber, heapEnd, bounds, ordered, sink);
    }
    const std::size_t heapNumbers = heapNumberLimit(page, heapEnd, kPageNewSupremumEnd);

    // The chain from the infimum, as far as each record passes and the keys rise.
    std::vector<SalvageRecord> taken;
    std::vector<bool> visited(1 << 16);
    std::size_t origin = (kPageNewInfimum + readUint16(page, kPageNewInfimum - 2)) & 0xFFFF;
    bool complete = false;
    while (true) {
        if (origin == kPageNewSupremum) {
            complete = true;
            break;
        }
        SalvageRecord record;
        if (visited[origin] || !salvageCandidate(page, origin, heapEnd, heapNumbers, record)
            || !inBounds(record.key)
            || (ordered && !taken.empty() && compareKeys(taken.back().key, record.key) >= 0)) {
            ++counts.recordsRejected;
            break;
        }
        visited[origin] = true;
        origin = record.next;
        taken.push_back(std::move(record));
    }
    counts.chainsComplete = complete ? 1U : 0U;

    // Which heap bytes the records explain; what no record explains is where damage lies.
    std::vector<bool> covered(heapEnd);
    const auto cover = [&](const SalvageRecord &record) {
        for (std::size_t at = record.extraStart; at < record.dataEnd && at < heapEnd; ++at) {
            covered[at] = true;
        }
    };
    const auto overlaps = [&](const SalvageRecord &record) {
        for (std::size_t at = record.extraStart; at < record.dataEnd && at < heapEnd; ++at) {
            if (covered[at]) {
                return true;
            }
        }
        return false;
    };
    for (const SalvageRecord &record : taken) {
        cover(record);
    }
    // Freed records lie in the heap too, as PAGE_FREE links them; they explain their bytes but
    // are no rows (an old version of an updated row may be among them).
    std::vector<bool> freed(1 << 16);
    {
        std::size_t at = readUint16(page, kFilPageData + kPageFree);
        for (std::size_t steps = 0; at != 0 && at < heapEnd && !freed[at] && steps < heapNumbers;
             ++steps) {
            freed[at] = true;
            SalvageRecord record;
            if (!salvageCandidate(page, at, heapEnd, heapNumbers, record)) {
                break;
            }
            cover(record);
            at = readUint16(page, at - 2) == 0 ? 0 : record.next;
        }
    }

    std::set<KeyBytes, bool (*)(const KeyBytes &, const KeyBytes &)> keys(
        [](const KeyBytes &a, const KeyBytes &b) { return compareKeys(a, b) < 0; });
    for (const SalvageRecord &record : taken) {
        keys.insert(record.key);
    }
    if (!complete) {
        // Past the break: every place in the heap where a record could start. One counts only
        // when its next-record link leads, through records that count, to the supremum.
        std::vector<SalvageRecord> found;
        for (std::size_t at = kPageNewSupremumEnd + kNewRecordHeaderSize; at < heapEnd; ++at) {
            if (covered[at] || visited[at] || freed[at]) {
                continue;
            }
            SalvageRecord record;
            if (salvageCandidate(page, at, heapEnd, heapNumbers, record) && inBounds(record.key)
                && !overlaps(record)) {
                record.byScan = true;
                found.push_back(std::move(record));
            }
        }
        // A second break leaves records whose links lead only to it; the page directory names
        // every slot's owner, so an owner found there counts on its own, and what links to it
        // counts as what links to the supremum does.
        const std::set<std::size_t> slotOwners = directorySlotOwners(page, heapEnd);
        // Reserved, so that the anchors' pointers into it stay valid while it grows.
        taken.reserve(taken.size() + found.size());
        std::map<std::size_t, const KeyBytes *> anchors; // origins that count, by origin
        for (const SalvageRecord &record : taken) {
            anchors[record.origin] = &record.key;
        }
        std::vector<bool> settled(found.size());
        for (bool progress = true; progress;) {
            progress = false;
            for (std::size_t i = 0; i < found.size(); ++i) {
                SalvageRecord &record = found[i];
                if (settled[i]) {
                    continue;
                }
                const bool toSupremum = record.next == kPageNewSupremum;
                const auto anchor = anchors.find(record.next);
                const bool named = slotOwners.count(record.origin) > 0;
                if (!toSupremum && anchor == anchors.end() && !named) {
                    continue; // perhaps later, once what it links to counts
                }
                settled[i] = true;
                progress = true;
                if ((anchor != anchors.end() && ordered
                        && compareKeys(record.key, *anchor->second) >= 0)
                    || overlaps(record) || keys.count(record.key) > 0) {
                    continue;
                }
                cover(record);
                keys.insert(record.key);
                taken.push_back(std::move(record));
                anchors[taken.back().origin] = &taken.back().key;
            }
        }
    }

    // Heap order, so that each record's neighbours are the ones around it in the page.
    std::sort(taken.begin(), taken.end(),
        [](const SalvageRecord &a, const SalvageRecord &b) { return a.origin < b.origin; });
    const std::size_t heapTop = heapTopOf(page);
    const std::string unproven = pageDoubt(page);
    const SalvagingLongValues strict(m_salvageSpaceId, page);
    m_row.pageNumber = pageNumber;
    PageDecodeCounts decoded;
    for (const SalvageRecord &record : taken) {
        if (record.deleted && !m_options.includeDeleted) {
            ++counts.deleteMarkedSkipped;
            continue;
        }
        m_row.deleteMarked = record.deleted;
        m_row.origin = static_cast<std::uint16_t>(record.origin);
        m_row.cutColumns.clear();
        m_row.damage.clear();
        const RecordOutcome outcome
            = decodeRecord(page, record.origin, heapEnd, record.instantRecord, decoded);
        if (outcome == RecordOutcome::LongValueDamaged) {
            ++counts.rowsWithDamagedLongValues;
            continue;
        }
        if (outcome != RecordOutcome::Row) {
            ++counts.recordsRejected;
            continue;
        }
        std::string doubt;
        const bool damageBefore
            = record.extraStart > kPageNewSupremumEnd && !covered[record.extraStart - 1];
        const bool damageAfter = record.dataEnd < heapEnd && record.dataEnd != heapTop
            && !covered[record.dataEnd];
        if (damageBefore || damageAfter) {
            doubt = std::string("the bytes ") + (damageBefore ? "before" : "after")
                + " it on the page are damaged";
        } else {
            doubt = salvagedValueDoubt();
        }
        if (doubt.empty()) {
            doubt = unproven;
        }
        counts.rowsSalvaged += 1;
        counts.rowsDoubtful += doubt.empty() ? 0U : 1U;
        counts.foundByScan += record.byScan ? 1U : 0U;
        sink.salvagedRow(m_row, doubt);
    }
    return counts;
}

// Old-style pages are walked along their chain only: their end offsets make a record start
// hard to tell from data, so there is no scan past a break, and the record before the break is
// in doubt.
SalvageCounts RecordDecoder::salvageOldStylePage(ConstPage page, std::uint32_t pageNumber,
    std::size_t heapEnd, const KeyRange &bounds, bool ordered, SalvageSink &sink)
{
    SalvageCounts counts;
    counts.pages = 1;
    std::vector<std::size_t> origins;
    std::vector<bool> deleted;
    std::vector<bool> visited(1 << 16);
    std::size_t origin = readUint16(page, kPageOldInfimum - 2);
    std::optional<KeyBytes> previous;
    bool complete = false;
    const std::size_t expectedFields = m_fields.size() + hiddenFields();
    while (true) {
        if (origin == kPageOldSupremum) {
            complete = true;
            break;
        }
        if (origin < kPageOldSupremumEnd + kOldRecordHeaderSize || origin >= heapEnd
            || visited[origin]) {
            ++counts.recordsRejected;
            break;
        }
        const std::uint8_t info = page[origin - kOldRecordHeaderSize];
        const auto record = readOldStyleRecord(page, origin);
        if ((info & kUnusedInfoBits) != 0 || (info & 0x0F) > kMaxOwned
            || (info & kRecordInfoMinRec) != 0 || !record
            || (!instant() && record->fields.size() != expectedFields)) {
            ++counts.recordsRejected;
            break;
        }
        const OldStyleField &last = record->fields.back();
        if (last.offset + last.length > heapEnd) {
            ++counts.recordsRejected;
            break;
        }
        KeyBytes key(std::max<std::size_t>(m_keyFields, 1));
        for (std::size_t k = 0; k < key.size() && k < record->fields.size(); ++k) {
            const OldStyleField &field = record->fields[k];
            key[k].assign(page.data() + field.offset, page.data() + field.offset + field.length);
        }
        if ((ordered && !bounds.contains(key))
            || (ordered && previous && compareKeys(*previous, key) >= 0)) {
            ++counts.recordsRejected;
            break;
        }
        previous = std::move(key);
        visited[origin] = true;
        origins.push_back(origin);
        deleted.push_back((info & kRecordInfoDeleted) != 0);
        origin = readUint16(page, origin - 2);
    }
    counts.chainsComplete = complete ? 1U : 0U;
    const std::string unproven = pageDoubt(page);
    const SalvagingLongValues strict(m_salvageSpaceId, page);
    m_row.pageNumber = pageNumber;
    PageDecodeCounts decoded;
    for (std::size_t i = 0; i < origins.size(); ++i) {
        if (deleted[i] && !m_options.includeDeleted) {
            ++counts.deleteMarkedSkipped;
            continue;
        }
        m_row.deleteMarked = deleted[i];
        m_row.origin = static_cast<std::uint16_t>(origins[i]);
        m_row.cutColumns.clear();
        m_row.damage.clear();
        const RecordOutcome outcome = decodeOldStyleRecord(page, origins[i], heapEnd, decoded);
        if (outcome == RecordOutcome::LongValueDamaged) {
            ++counts.rowsWithDamagedLongValues;
            continue;
        }
        if (outcome != RecordOutcome::Row) {
            ++counts.recordsRejected;
            continue;
        }
        std::string doubt = !complete && i + 1 == origins.size()
            ? std::string("the record chain breaks right after it")
            : salvagedValueDoubt();
        if (doubt.empty()) {
            doubt = unproven;
        }
        counts.rowsSalvaged += 1;
        counts.rowsDoubtful += doubt.empty() ? 0U : 1U;
        sink.salvagedRow(m_row, doubt);
    }
    return counts;
}

} // namespace innodb

#include "innodb/index_tree.h"

#include "innodb/dictionary.h"
#include "innodb/record_chain.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

namespace innodb {

int compareKeys(const KeyBytes &a, const KeyBytes &b)
{
    const auto fields = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < fields; ++i) {
        const auto &x = a[i];
        const auto &y = b[i];
        const auto common = std::min(x.size(), y.size());
        if (common > 0) {
            if (const int order = std::memcmp(x.data(), y.data(), common); order != 0) {
                return order < 0 ? -1 : 1;
            }
        }
        if (x.size() != y.size()) {
            return x.size() < y.size() ? -1 : 1;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return 0;
}

KeyLayout KeyLayout::rowId(std::size_t nullableColumns)
{
    return KeyLayout { { KeyField { 6, false } }, nullableColumns };
}

bool KeyRange::contains(const KeyBytes &key) const
{
    return (!low || compareKeys(*low, key) <= 0) && (!high || compareKeys(key, *high) < 0);
}

KeyRange TablePages::boundsOf(const TablePage &page) const
{
    KeyRange range;
    if (page.lowBound != KeyPool::kNone) {
        range.low = boundKeys.at(page.lowBound);
    }
    if (page.highBound != KeyPool::kNone) {
        range.high = boundKeys.at(page.highBound);
    }
    return range;
}

bool TablePages::acceptsOrphanKey(const KeyBytes &key) const
{
    return std::any_of(damagedRanges.begin(), damagedRanges.end(),
        [&](const KeyRange &range) { return range.contains(key); });
}

bool OrphanKeyFilter::take(const KeyBytes &key)
{
    return m_pages.acceptsOrphanKey(key) && m_seen.insert(key).second;
}

void OrphanKeyFilter::noteTreeKey(const KeyBytes &key)
{
    if (m_pages.acceptsOrphanKey(key)) {
        m_seen.insert(key);
    }
}

namespace {

// Trees deeper than this do not exist even at 4 KiB pages; a deeper walk is a loop in disguise.
constexpr int kMaxDepth = 32;

// A set of page numbers at one bit a page of the file: the sets below hold every page of a
// table, and a hash set would cost some forty bytes for each. Numbers past the file's end (a
// damaged pointer) are rare and kept apart.
class PageSet
{
public:
    explicit PageSet(std::uint64_t pageCount)
        : m_bits(static_cast<std::size_t>(pageCount))
    {
    }
    // True when `pageNumber` was not in the set yet.
    bool insert(std::uint32_t pageNumber)
    {
        if (pageNumber >= m_bits.size()) {
            return m_beyond.insert(pageNumber).second;
        }
        if (m_bits[pageNumber]) {
            return false;
        }
        m_bits[pageNumber] = true;
        return true;
    }
    bool contains(std::uint32_t pageNumber) const
    {
        return pageNumber < m_bits.size() ? m_bits[pageNumber] : m_beyond.contains(pageNumber);
    }

private:
    std::vector<bool> m_bits;
    std::unordered_set<std::uint32_t> m_beyond;
};

// A key range of the walk as positions in TablePages::boundKeys.
struct PooledRange
{
    std::uint32_t low = KeyPool::kNone;
    std::uint32_t high = KeyPool::kNone;
};

struct NodePointer
{
    KeyBytes key;
    std::uint32_t child = 0;
};

std::vector<std::uint8_t> copyBytes(ConstPage page, std::size_t offset, std::size_t length)
{
    const auto *begin = page.data() + offset;
    return { begin, begin + length };
}

// A new-style node pointer: the key fields, then the 4-byte child page number. Below the
// 5-byte header come the null bitmap (sized for the whole index) and one or two length bytes
// per variable-length key field, growing down.
std::optional<NodePointer> readNewStyleNodePointer(
    ConstPage page, std::size_t origin, const KeyLayout &layout, std::size_t heapEnd)
{
    if (recordStatus(page, origin, true) != kRecordStatusNodePointer) {
        return std::nullopt;
    }
    const std::size_t nullBytes = (layout.nullableColumns + 7) / 8;
    if (origin < kNewRecordHeaderSize + nullBytes) {
        return std::nullopt;
    }
    std::size_t lengthAt = origin - kNewRecordHeaderSize - nullBytes; // one past the next byte
    std::size_t dataAt = origin;
    NodePointer pointer;
    for (const auto &field : layout.fields) {
        std::size_t length = field.fixedLength;
        if (field.fixedLength == 0) {
            if (lengthAt <= kPageNewSupremumEnd) {
                return std::nullopt;
            }
            const auto first = page[--lengthAt];
            length = first;
            if (field.longLength && (first & 0x80) != 0) {
                if (lengthAt <= kPageNewSupremumEnd) {
                    return std::nullopt;
                }
                length = (std::size_t { first & 0x3Fu } << 8) | page[--lengthAt];
            }
        }
        if (!common::fits(heapEnd, dataAt, length)) {
            return std::nullopt;
        }
        pointer.key.push_back(copyBytes(page, dataAt, length));
        dataAt += length;
    }
    if (!common::fits(heapEnd, dataAt, 4)) {
        return std::nullopt;
    }
    pointer.child = readUint32(page, dataAt);
    return pointer;
}

// An old-style node pointer: every field but the last is key, the last the child page.
std::optional<NodePointer> readOldStyleNodePointer(ConstPage page, std::size_t origin)
{
    const auto record = readOldStyleRecord(page, origin);
    if (!record.ok() || record->fields.size() < 2) {
        return std::nullopt;
    }
    NodePointer pointer;
    const auto keyFields = record->fields.size() - 1;
    for (std::size_t i = 0; i < keyFields; ++i) {
        const auto &field = record->fields[i];
        pointer.key.push_back(copyBytes(page, field.offset, field.isNull ? 0 : field.length));
    }
    const auto &last = record->fields.back();
    if (last.isNull || last.length != 4) {
        return std::nullopt;
    }
    pointer.child = readUint32(page, last.offset);
    return pointer;
}

class TreeWalk
{
public:
    TreeWalk(PageSource &source, const ScanResult &scan, std::uint64_t indexId,
        const std::optional<KeyLayout> &layout, const std::function<bool()> &stop)
        : m_source(source)
        , m_scan(scan)
        , m_indexId(indexId)
        , m_layout(layout)
        , m_stop(stop)
        , m_visited(source.pageCount())
    {
    }

    void walk(std::uint32_t pageNumber, std::optional<std::uint16_t> expectedLevel,
        PooledRange range, int depth)
    {
        if (m_stop && m_stop()) {
            m_stopped = true;
            return;
        }
        const auto damaged = [&](const std::string &reason) {
            addDamage(keyRange(range));
            m_pages.problems.push_back("page " + std::to_string(pageNumber) + ": " + reason);
        };
        if (depth > kMaxDepth) {
            return damaged("index tree deeper than any real one");
        }
        if (!m_visited.insert(pageNumber)) {
            return damaged("page reached twice in the index tree");
        }
        // A leaf the scanner kept is checked from its entry: no second read of the page.
        if (expectedLevel.value_or(0) == 0) {
            if (const auto *entry = m_scan.page(pageNumber); entry && entry->indexId == m_indexId) {
                m_pages.treePages.push_back(
                    TablePage { pageNumber, entry->lsn, range.low, range.high });
                return;
            }
            if (expectedLevel) {
                return damaged("child page is not a leaf of this index");
            }
        }
        std::vector<std::uint8_t> buffer(m_source.pageSize());
        if (const PageRead read = m_source.readPage(pageNumber, buffer); !read) {
            return damaged(read.reason.empty() ? "page cannot be read" : "page is " + read.reason);
        }
        const ConstPage page(buffer);
        if (!isIndexPage(page) || pageNumberOf(page) != pageNumber) {
            return damaged("not an index page at its own position");
        }
        if (indexIdOf(page) != m_indexId) {
            return damaged("page belongs to index " + std::to_string(indexIdOf(page)));
        }
        const auto level = pageLevelOf(page);
        if (expectedLevel ? level != *expectedLevel : level >= kMaxDepth) {
            return damaged("page has level " + std::to_string(level));
        }
        if (level == 0) {
            // Only a root that is also the only leaf gets here: the scan may have missed
            // it (a stopped scan), so it is taken from the page itself.
            m_pages.treePages.push_back(
                TablePage { pageNumber, pageLsnOf(page), range.low, range.high });
            return;
        }
        walkNode(page, level, range, depth);
    }

    TablePages take() { return std::move(m_pages); }
    void reserveLeaves(std::size_t count) { m_pages.treePages.reserve(count); }
    bool stopped() const { return m_stopped; }

private:
    void walkNode(ConstPage page, std::uint16_t level, PooledRange range, int depth)
    {
        const auto where = "page " + std::to_string(pageNumberOf(page)) + ": ";
        const bool compact = isCompactPage(page);
        if (compact && !m_layout) {
            addDamage(keyRange(range));
            m_pages.problems.push_back(where + "no key layout to read its node pointers");
            return;
        }
        std::size_t heapEnd = heapTopOf(page);
        if (heapEnd > directoryStartOf(page)) {
            heapEnd = directoryStartOf(page);
        }
        const auto chain = walkRecordChain(page);
        std::vector<NodePointer> pointers;
        bool cut = !chain.complete;
        for (const auto origin : chain.origins) {
            auto pointer = compact ? readNewStyleNodePointer(page, origin, *m_layout, heapEnd)
                                   : readOldStyleNodePointer(page, origin);
            // Key order is not checked here: stored bytes follow the tree's order only for
            // binary collations, and every child is checked on its own page anyway.
            if (!pointer) {
                cut = true;
                break;
            }
            pointers.push_back(std::move(*pointer));
        }
        if (pointers.empty()) {
            addDamage(keyRange(range));
            m_pages.problems.push_back(where + "no readable node pointer");
            return;
        }
        const auto childLevel = static_cast<std::uint16_t>(level - 1);
        // The first pointer's key repeats the parent's bound (or is the minimum); each later
        // one is the high bound of one child and the low bound of the next.
        std::vector<std::uint32_t> keys(pointers.size(), range.low);
        for (std::size_t i = 1; i < pointers.size(); ++i) {
            keys[i] = m_pages.boundKeys.add(pointers[i].key);
        }
        for (std::size_t i = 0; i < pointers.size() && !m_stopped; ++i) {
            const PooledRange child { keys[i], i + 1 < pointers.size() ? keys[i + 1] : range.high };
            walk(pointers[i].child, childLevel, child, depth + 1);
        }
        if (cut) {
            // The pointers after the cut are lost; their keys lie above the last one read.
            addDamage(KeyRange { pointers.back().key, keyRange(range).high });
            m_pages.problems.push_back(where + "node pointer chain is cut");
        }
    }

    KeyRange keyRange(PooledRange range) const
    {
        return m_pages.boundsOf(TablePage { 0, 0, range.low, range.high });
    }

    // Bounds that do not rise (keys in a collation whose order is not the bytes' order, or
    // garbage that still parsed) could hide rows; such a range is widened to every key, since a
    // row taken twice is settled by the key filter and a row lost is lost.
    void addDamage(KeyRange range)
    {
        if (range.low && range.high && compareKeys(*range.low, *range.high) >= 0) {
            range = KeyRange {};
        }
        m_pages.damagedRanges.push_back(std::move(range));
    }

    PageSource &m_source;
    const ScanResult &m_scan;
    std::uint64_t m_indexId;
    const std::optional<KeyLayout> &m_layout;
    const std::function<bool()> &m_stop;
    TablePages m_pages;
    PageSet m_visited;
    bool m_stopped = false;
};

// Where the tree is damaged, the leaf level's own links can still tell the live pages:
// a live leaf's FIL next names its live successor, while a freed page is named by no live
// page. So each gap between the leaves the tree reached is walked along those links (each
// step checked against the back link). Pages found that way are live and join the tree's
// pages. When every gap closes, from the first leaf back to the start and from the last to
// the end, the whole leaf level is known and the damage lay in node pages only: the damaged
// ranges are then dropped, so freed pages cannot bring rows back.
class LeafChainBridge
{
public:
    LeafChainBridge(const ScanResult &scan, std::uint64_t indexId, const TablePages &pages,
        std::uint64_t pageCount)
        : m_scan(scan)
        , m_indexId(indexId)
        , m_used(pageCount)
    {
        for (const auto &page : pages.treePages) {
            m_used.insert(page.pageNumber);
        }
    }

    // The tree's leaves with the bridged pages in between, in key order.
    std::vector<TablePage> bridge(const std::vector<TablePage> &treePages)
    {
        std::vector<TablePage> result;
        auto before = follow(treePages.front().pageNumber, false, std::nullopt);
        result.insert(result.end(), before.rbegin(), before.rend());
        for (std::size_t i = 0; i < treePages.size(); ++i) {
            result.push_back(treePages[i]);
            const auto target = i + 1 < treePages.size()
                ? std::optional<std::uint32_t>(treePages[i + 1].pageNumber)
                : std::nullopt;
            auto gap = follow(treePages[i].pageNumber, true, target);
            result.insert(result.end(), gap.begin(), gap.end());
        }
        return result;
    }

    bool complete() const { return m_complete; }

private:
    const strcUniqueIdPages *entry(std::uint32_t pageNumber) const
    {
        const auto *found = m_scan.page(pageNumber);
        return found && found->indexId == m_indexId ? found : nullptr;
    }

    // Follows the links from `from` until `target` (or the end of the level when none).
    std::vector<TablePage> follow(
        std::uint32_t from, bool forward, std::optional<std::uint32_t> target)
    {
        std::vector<TablePage> chain;
        const auto *current = entry(from);
        if (!current) {
            m_complete = false;
            return chain;
        }
        while (true) {
            const auto next = forward ? current->nextPage : current->previousPage;
            const auto *following = next == kFilNull ? nullptr : entry(next);
            const bool linkedBack = following
                && (forward ? following->previousPage : following->nextPage) == current->pageNumber;
            if (target ? next == *target : next == kFilNull) {
                // The target's own back link is checked when it is a leaf the scan kept.
                m_complete = m_complete && (next == kFilNull || !following || linkedBack);
                return chain;
            }
            if (!following || !linkedBack || !m_used.insert(next)) {
                m_complete = false;
                return chain;
            }
            chain.push_back(TablePage { next, following->lsn });
            current = following;
        }
    }

    const ScanResult &m_scan;
    std::uint64_t m_indexId;
    PageSet m_used;
    bool m_complete = true;
};

// Without a single leaf from the tree (a lost root) the leaf level can still be found: it
// starts at a leaf without a previous page and runs, every link confirmed by the next page's
// back link, to a leaf without a next page. A freed page fails that test at its first step,
// since its old neighbours no longer name it. Only a single such chain is taken, and since
// nothing anchors it to the tree, one damaged link could make it end early: its pages count as
// the tree's (their copies of a key win), but the key space stays damaged, so the other leaf
// pages remain orphans and nothing they alone hold is lost.
void bridgeFromLeftmostLeaf(
    const ScanResult &scan, std::uint64_t indexId, TablePages &pages, std::uint64_t pageCount)
{
    const auto *group = scan.group(indexId);
    if (!group) {
        return;
    }
    std::optional<std::vector<TablePage>> found;
    for (const auto &entry : scan.pagesOf(*group)) {
        if (entry.previousPage != kFilNull) {
            continue;
        }
        LeafChainBridge bridge(scan, indexId, pages, pageCount);
        auto chain = bridge.bridge({ TablePage { entry.pageNumber, entry.lsn } });
        if (!bridge.complete()) {
            continue;
        }
        if (found) {
            return; // two candidates: the links cannot tell which is live
        }
        found = std::move(chain);
    }
    if (found) {
        pages.treePages = std::move(*found);
        pages.problems.push_back("the leaf pages' own links give a leaf level without its root");
    }
}

} // namespace

TablePages collectTablePages(PageSource &source, const ScanResult &scan, std::uint64_t indexId,
    std::uint32_t rootPage, const std::optional<KeyLayout> &layout,
    const std::function<bool()> &stopRequested)
{
    const auto *group = scan.group(indexId);
    const auto pageCount = source.pageCount();
    TablePages pages;
    if (rootPage == kFilNull) {
        pages.damagedRanges.push_back(KeyRange {});
        pages.problems.push_back("index has no root page");
    } else {
        TreeWalk walk(source, scan, indexId, layout, stopRequested);
        // Sized once: the leaves the tree reaches are (nearly always) the pages the scan kept.
        walk.reserveLeaves(group ? group->pageSlots.size() + 1 : 1);
        walk.walk(rootPage, std::nullopt, PooledRange {}, 0);
        pages = walk.take();
    }

    if (!pages.treeIntact() && !pages.treePages.empty()) {
        LeafChainBridge bridge(scan, indexId, pages, pageCount);
        pages.treePages = bridge.bridge(pages.treePages);
        if (bridge.complete()) {
            pages.damagedRanges.clear();
            pages.problems.push_back("the leaf pages' own links close every gap in the tree");
        }
    } else if (!pages.treeIntact()) {
        bridgeFromLeftmostLeaf(scan, indexId, pages, pageCount);
    }

    PageSet reached(pageCount);
    for (const auto &page : pages.treePages) {
        reached.insert(page.pageNumber);
    }
    if (group) {
        for (const auto &entry : scan.pagesOf(*group)) {
            if (reached.contains(entry.pageNumber)) {
                continue;
            }
            if (pages.treeIntact()) {
                ++pages.stalePages;
            } else {
                pages.orphanPages.push_back(TablePage { entry.pageNumber, entry.lsn });
            }
        }
    }
    std::stable_sort(pages.orphanPages.begin(), pages.orphanPages.end(),
        [](const TablePage &a, const TablePage &b) { return a.lsn > b.lsn; });
    return pages;
}

} // namespace innodb

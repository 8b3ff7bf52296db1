// Which leaf pages of a clustered index hold live rows: a walk of the B-tree from its root.
//
// The scanner keeps every page whose header says "leaf of index N", and that includes pages the
// tree has freed after splits, merges and purges: they keep their old records, so rows taken
// from them resurrect deleted mail and bring back old values. Rows are therefore taken from the
// leaf pages that the tree still reaches, in key order. Where the tree is damaged (a child
// pointer to an unreadable page, a page of another index or level, a cut record chain), the key
// range below that pointer is recorded, and the scanned leaf pages the tree does not reach become
// orphans: their rows are taken only when their keys fall into a damaged range. An intact tree
// thus gives exactly the live rows, a damaged one still what its orphaned pages hold.
//
// Across damage the leaf level's own FIL prev/next links are followed, each link confirmed by the
// next page's back link: a freed page is named by no live page, so the pages found that way are
// live. When they close every gap the damage lay in node pages only and the tree counts as intact.
//
// Keys are compared as stored: field by field, bytes unsigned, a shorter field that is a prefix
// of the longer one sorts first. InnoDB stores integers big-endian with the sign bit inverted and
// binary strings as they are, so this is the tree's own order for the integer and binary keys
// Zarafa uses. For keys in case-insensitive text collations it is close but not exact; it is
// only used to place orphan rows, where a misplaced boundary row is the worst outcome.
#pragma once

#include "innodb/key_bytes.h"
#include "innodb/key_pool.h"
#include "innodb/page_layout.h"
#include "innodb/page_scanner.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace innodb {

// <0, 0, >0 as `a` sorts before, with, or after `b`.
int compareKeys(const KeyBytes &a, const KeyBytes &b);

// What a new-style node pointer needs to be split into key and child page: the key fields of the
// clustered index and the table's nullable-column count (node pointers carry a null bitmap sized
// for the whole index, rem0rec.cc, rec_init_offsets). Old-style pages need none of it.
struct KeyField
{
    std::uint32_t fixedLength = 0; // bytes of a fixed-length field; 0 = variable length
    bool longLength = false; // max bytes > 255 or a BLOB/TEXT type: 2 length bytes if 0x80
};

struct KeyLayout
{
    std::vector<KeyField> fields;
    std::size_t nullableColumns = 0;

    // The key of a table without a primary key: the hidden 6-byte DB_ROW_ID.
    static KeyLayout rowId(std::size_t nullableColumns);
};

// A key range the tree cannot reach: from `low` (inclusive) to `high` (exclusive); an empty
// optional is unbounded on that side.
struct KeyRange
{
    std::optional<KeyBytes> low;
    std::optional<KeyBytes> high;
    // The low bound is the key of a row that was read (the last one before a lost leaf), not the
    // first key of the lost page: the row itself survived, what followed it did not.
    bool lowRead = false;

    bool contains(const KeyBytes &key) const;
};

struct TablePage
{
    std::uint32_t pageNumber = 0;
    std::uint64_t lsn = 0;
    // The keys its parent's node pointers allow on a tree page, as positions in
    // TablePages::boundKeys (TablePages::boundsOf() gives the range); KeyPool::kNone where no
    // parent says (a root leaf, a page found along the leaf level, an orphan).
    std::uint32_t lowBound = KeyPool::kNone;
    std::uint32_t highBound = KeyPool::kNone;

    bool unbounded() const { return lowBound == KeyPool::kNone && highBound == KeyPool::kNone; }
};

struct TablePages
{
    // Leaf pages the tree reaches, in key order: every row on them is live (delete marks aside).
    // Where the tree is damaged this includes the leaves found along the leaf level's own
    // confirmed links (see problems); their copies of a key beat any orphan's.
    std::vector<TablePage> treePages;
    // Scanned leaf pages of the index that the tree does not reach, newest LSN first; empty when
    // the tree is intact. Decode them in this order and take a row only when
    // acceptsOrphanKey(key) holds and no earlier row had the same key (OrphanKeyFilter does
    // both): so of two orphan copies of a key the one on the newer page wins, and a copy on a
    // tree page beats both.
    std::vector<TablePage> orphanPages;
    std::vector<KeyRange> damagedRanges;
    std::uint64_t stalePages = 0; // unreached pages left out because the tree is intact
    std::vector<std::string> problems; // damage met in the tree, one line each: "page 812: ..."

    // The keys of the tree pages' bounds, each held once: a page's high bound is the next
    // page's low one.
    KeyPool boundKeys;

    bool treeIntact() const { return damagedRanges.empty(); }
    bool acceptsOrphanKey(const KeyBytes &key) const;
    // The keys its parent allows on `page`.
    KeyRange boundsOf(const TablePage &page) const;
};

// Walks the tree of `indexId` from `rootPage`. `layout` is needed for new-style node pointers;
// without it a multi-level new-style tree counts as damaged from the root down (every scanned
// leaf page becomes an orphan of one unbounded range). Never fails: an unreadable root makes the
// whole key space one damaged range.
TablePages collectTablePages(PageSource &source, const ScanResult &scan, std::uint64_t indexId,
    std::uint32_t rootPage, const std::optional<KeyLayout> &layout,
    const std::function<bool()> &stopRequested = {});

// Keeps the first copy of each orphan key, for the decode order collectTablePages() gives.
class OrphanKeyFilter
{
public:
    explicit OrphanKeyFilter(const TablePages &pages)
        : m_pages(pages)
    {
    }
    // While the tree is damaged, call this for each row of a tree page first: the tree's copy of
    // a key is the live one, so an orphan copy of it is never taken.
    void noteTreeKey(const KeyBytes &key);
    // True when the row with `key`, read from an orphan page, is to be taken.
    bool take(const KeyBytes &key);

private:
    struct Less
    {
        bool operator()(const KeyBytes &a, const KeyBytes &b) const
        {
            return compareKeys(a, b) < 0;
        }
    };
    const TablePages &m_pages;
    std::set<KeyBytes, Less> m_seen;
};

} // namespace innodb

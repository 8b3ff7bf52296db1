// The page scanner: one sequential pass over a tablespace that groups its leaf index pages by
// index id (strcUniqueIdPages, LoadPageArray, rawtable, RawLoadPageArray).
//
// A page is kept when its own header says: B-tree page, level 0, page number equal to its
// position in the file, and (when page 0 can be read) the file's space id. The last test drops
// the copies in ibdata1's doublewrite buffer, which carry the number of the page they copy.
// Kept pages may still be stale (freed by the tree but not overwritten): the scan classifies
// pages, the index tree walk (index_tree.h) decides which of them hold live rows.
#pragma once

#include "common/result.h"
#include "innodb/page_layout.h"
#include "innodb/tablespace_file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace innodb {

// One kept page.
struct strcUniqueIdPages
{
    // Widest fields first: 40 bytes a kept page rather than 48 with the padding.
    std::uint64_t lsn = 0; // FIL_PAGE_LSN: the newer of two copies of a key wins
    std::uint64_t indexId = 0; // PAGE_INDEX_ID, so a tree walk can check a leaf without reading it
    std::uint32_t pageNumber = 0;
    std::uint32_t previousPage = 0; // FIL_PAGE_PREV and FIL_PAGE_NEXT: the leaf level's links,
    std::uint32_t nextPage = 0; // followed across a damaged part of the tree
    std::uint16_t heapTop = 0; // PAGE_HEAP_TOP, host order
    std::uint16_t pageType = 0; // the two type bytes as stored, read little-endian: 0xBF45
    std::uint16_t recordCount = 0; // PAGE_N_RECS, host order
    std::uint8_t reserved = 0;
    bool compact = false; // new-style (COMPACT family) records
};
static_assert(sizeof(strcUniqueIdPages) == 40);

// Kept pages in file order.
using LoadPageArray = std::vector<strcUniqueIdPages>;

// One index and its kept leaf pages, in file order. The pages are held once, in
// ScanResult::allPages; a group keeps their positions there (4 bytes a page rather than a second
// 40-byte copy), and ScanResult::pagesOf() reads them back.
struct rawtable
{
    std::uint64_t indexId = 0;
    std::vector<std::uint32_t> pageSlots; // positions in ScanResult::allPages, rising
};

// Groups in the order in which each index id was first seen.
using RawLoadPageArray = std::vector<rawtable>;

// The kept pages of one group, in file order, read through its positions in the list of all.
class GroupPages
{
public:
    class Iterator
    {
    public:
        Iterator(const LoadPageArray &pages, const std::uint32_t *slot)
            : m_pages(&pages)
            , m_slot(slot)
        {
        }
        const strcUniqueIdPages &operator*() const { return (*m_pages)[*m_slot]; }
        Iterator &operator++()
        {
            ++m_slot;
            return *this;
        }
        bool operator==(const Iterator &other) const { return m_slot == other.m_slot; }

    private:
        const LoadPageArray *m_pages;
        const std::uint32_t *m_slot;
    };

    GroupPages(const LoadPageArray &pages, const rawtable &group)
        : m_pages(pages)
        , m_group(group)
    {
    }
    Iterator begin() const { return { m_pages, m_group.pageSlots.data() }; }
    Iterator end() const { return { m_pages, m_group.pageSlots.data() + m_group.pageSlots.size() }; }
    std::size_t size() const { return m_group.pageSlots.size(); }

private:
    const LoadPageArray &m_pages;
    const rawtable &m_group;
};

struct ScanResult
{
    LoadPageArray allPages; // every kept page, in file order
    RawLoadPageArray groups; // the same pages grouped by index id
    std::uint64_t pagesExamined = 0;
    std::uint64_t pagesMisplaced = 0; // B-tree pages whose number or space disagrees with the file
    // Pages stored in a form that gives no page here (encrypted, compressed data that do not
    // decompress), and the first one's reason, for the user.
    std::uint64_t pagesUnreadable = 0;
    std::string unreadableReason;
    std::uint32_t spaceId = 0; // from page 0
    bool stopped = false; // the stop test ended the scan early

    // The group of `indexId`, or null when no leaf page of it was found.
    const rawtable *group(std::uint64_t indexId) const;
    // The kept pages of `group`, in file order.
    GroupPages pagesOf(const rawtable &group) const { return { allPages, group }; }
    // The kept entry for page `pageNumber`, or null when the scan did not keep that page.
    const strcUniqueIdPages *page(std::uint32_t pageNumber) const;

    // Filled by the scanner, in rising page numbers; keeps the groups consistent.
    void addPage(std::uint64_t indexId, const strcUniqueIdPages &entry);

private:
    std::unordered_map<std::uint64_t, std::size_t> m_groupOf; // index id -> groups position
};

struct ScanCallbacks
{
    // Called after each chunk (and once at the start) with pages examined so far and in all;
    // the job shows it as status line kind 2 ("Loading Data" and the file name).
    std::function<void(std::uint64_t pagesDone, std::uint64_t pagesTotal)> progress;
    // Polled before each chunk and each page; true ends the scan, keeping what was found.
    std::function<bool()> stopRequested;
};

// 750 pages of 16 KiB per chunk: progress is shown and a stop noticed after each.
inline constexpr std::size_t kScanChunkPages = 750;
inline constexpr std::size_t kScanChunkBytes = kScanChunkPages * kDefaultPageSize;
// 4 MiB per read: large enough for the disk to stream, small enough for the copy to stay in the
// processor's cache (12 MiB reads from the page cache ran a third slower).
inline constexpr std::size_t kScanReadBytes = std::size_t { 4 } << 20;

// Reads `file` once, front to back, in chunks of kScanChunkBytes, pages of the size its page 0
// gives. A file smaller than one page is Corruption; a failed read is Io (the pages found before
// it are lost with the error, since a half-read file cannot be trusted to be whole).
common::Result<ScanResult> scanTablespace(TablespaceFile &file, const ScanCallbacks &callbacks);

// Examines one page as the scanner does: true and `entry` filled when it is a leaf index page at
// its own position. Exposed for tests and for readers that check a single page.
// `spaceId` is the file's own space when page 0 could be trusted, else nullopt (no space test).
bool examinePage(ConstPage page, std::uint64_t position, std::optional<std::uint32_t> spaceId,
    strcUniqueIdPages &entry);

} // namespace innodb

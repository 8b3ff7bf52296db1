#include "innodb/table_reader.h"

#include "innodb/instant_alter.h"
#include "innodb/lob_decoder.h"
#include "innodb/lost_key_ranges.h"
#include "innodb/page_check.h"
#include "innodb/salvage_pass.h"

#include <optional>
#include <string>
#include <vector>

namespace innodb {

namespace {

// Between the decoder and the caller's sink while the tree is damaged: notes the keys of the tree
// pages and lets through only the orphan rows the filter takes. The decoder hands on
// delete-marked records meanwhile, as a deleted row's key on a tree page still hides its stale
// copies; they stop here unless the caller asked for them.
class OrphanRowSink : public RowSink
{
public:
    OrphanRowSink(RowSink &next, const TablePages &pages, bool passDeleted)
        : m_next(next)
        , m_filter(pages)
        , m_passDeleted(passDeleted)
    {
    }

    void readingOrphans() { m_orphans = true; }
    std::uint64_t deletedDropped() const { return m_deletedDropped; }
    std::uint64_t orphansLeftOut() const { return m_orphansLeftOut; }
    // Rows the decoder gave up for a damaged long value that are no loss: deleted ones, or stale
    // copies the filter would not have taken anyway.
    std::uint64_t damagedNotLost() const { return m_damagedNotLost; }
    std::uint64_t damagedDeleted() const { return m_damagedDeleted; }

    void acceptRow(const DecodedRow &row) override
    {
        if (!m_orphans) {
            m_filter.noteTreeKey(row.key);
        } else if (!m_filter.take(row.key)) {
            ++m_orphansLeftOut;
            return;
        }
        if (row.deleteMarked && !m_passDeleted) {
            ++m_deletedDropped;
            return;
        }
        m_next.acceptRow(row);
    }

    // The newest copy of a key decides, even when its long value is damaged: an older copy of the
    // same key must not stand in for it.
    void rowLeftOut(const DecodedRow &row) override
    {
        if (!m_orphans) {
            m_filter.noteTreeKey(row.key);
        } else if (!m_filter.take(row.key)) {
            ++m_damagedNotLost;
            return;
        }
        if (row.deleteMarked && !m_passDeleted) {
            ++m_damagedNotLost;
            ++m_damagedDeleted;
            return;
        }
        m_next.rowLeftOut(row);
    }

private:
    RowSink &m_next;
    OrphanKeyFilter m_filter;
    bool m_passDeleted;
    bool m_orphans = false;
    std::uint64_t m_deletedDropped = 0;
    std::uint64_t m_orphansLeftOut = 0;
    std::uint64_t m_damagedNotLost = 0;
    std::uint64_t m_damagedDeleted = 0;
};

// A clustered root of type 18 had columns added, dropped or reordered in place (instant_alter.h).
// The decoder must know it before the tree walk, whose node pointers are laid out for the core
// fields.
void noteInstantRoot(PageSource &file, const strcIbDataScan &entry, RecordDecoder &decoder)
{
    if (entry.rootPage == kFilNull) {
        return;
    }
    std::vector<std::uint8_t> root(file.pageSize());
    if (!file.readPage(entry.rootPage, root)) {
        return;
    }
    const ConstPage page(root);
    if (indexIdOf(page) != entry.indexId) {
        return;
    }
    if (const auto instant = readInstantRoot(page)) {
        (void)decoder.setInstantRoot(*instant);
    }
}

// The metadata record heads the leftmost leaf, the first page of the tree: its defaults, and
// the column map no record can be read without, are learnt before any row.
std::optional<std::string> learnInstantMetadata(
    PageSource &file, const TablePages &pages, RecordDecoder &decoder)
{
    if (!decoder.instant()) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> leaf(file.pageSize());
    common::Status learnt = common::corruption("the tree has no leaf page");
    if (!pages.treePages.empty()) {
        const std::uint32_t first = pages.treePages.front().pageNumber;
        learnt = file.readPage(first, leaf)
            ? decoder.learnInstantMetadata(ConstPage(leaf))
            : common::corruption("page " + std::to_string(first) + " cannot be read");
    }
    if (learnt.ok()) {
        return std::nullopt;
    }
    return decoder.waitsForColumnMap()
        ? "columns were dropped or reordered in place and their map is lost ("
            + learnt.error().message + "): no row can be read"
        : "the defaults of the columns added in place are lost (" + learnt.error().message
            + "): rows written before they were added are left out";
}

// Pages sampled, spread over the tree, before any row of a table is handed on.
constexpr std::size_t kLayoutSample = 16;

// A lone page whose records do not fit may be damage the checksum missed; a definition the
// decoder misreads makes every page fail alike. So the majority of a sample spread over the tree
// decides for the whole table, before a single row is inserted, and a page that fails among
// pages that fit is left out on its own. A table of up to kLayoutSample pages is judged on all of
// them.
std::string sampleLayout(PageSource &file, const std::vector<TablePage> &pages,
    RecordDecoder &decoder, std::vector<std::uint8_t> &buffer)
{
    std::size_t judged = 0;
    std::size_t failed = 0;
    std::string first;
    const std::size_t step = std::max<std::size_t>(1, pages.size() / kLayoutSample);
    for (std::size_t i = 0; i < pages.size() && judged < kLayoutSample; i += step) {
        const PageRead read = file.readPage(pages[i].pageNumber, buffer);
        const ConstPage view(buffer);
        if (!read.ok()
            || !(read.storedCheck ? *read.storedCheck : checkPageEitherLayout(view)).ok()) {
            continue; // damaged pages are left out anyway and say nothing of the layout
        }
        const PageLayoutCheck check = decoder.checkPageLayout(view);
        if (!check.judged) {
            continue;
        }
        ++judged;
        if (!check.consistent) {
            ++failed;
            if (first.empty()) {
                first = "page " + std::to_string(pages[i].pageNumber) + ", " + check.reason;
            }
        }
    }
    if (failed == 0 || failed * 2 <= judged) {
        return {};
    }
    return "the records of " + std::to_string(failed) + " of " + std::to_string(judged)
        + " pages checked do not fit the table's definition (" + first + ")";
}

} // namespace

TableReadCounts readTableRows(PageSource &file, const ScanResult &scan, const strcIbDataScan &entry,
    RecordDecoder &decoder, RowSink &sink, const TableReadCallbacks &callbacks)
{
    TableReadCounts counts;
    const auto stopping = [&] { return callbacks.stopRequested && callbacks.stopRequested(); };
    noteInstantRoot(file, entry, decoder);
    const TablePages pages = collectTablePages(
        file, scan, entry.indexId, entry.rootPage, decoder.keyLayout(), callbacks.stopRequested);
    counts.problems = pages.problems;
    if (const auto lost = learnInstantMetadata(file, pages, decoder)) {
        counts.problems.push_back(*lost);
    }
    counts.stalePages = pages.stalePages;
    const bool lob = isLobTable(entry.name);

    const bool callerWantsDeleted = decoder.includesDeleted();
    std::optional<OrphanRowSink> filter;
    if (!pages.treeIntact()) {
        filter.emplace(sink, pages, callerWantsDeleted);
        decoder.setIncludeDeleted(true);
    }
    RowSink &target = filter ? static_cast<RowSink &>(*filter) : sink;
    LostRangeTrail trail(target);
    // The decoder counted what the filter held back as emitted.
    const auto finish = [&] {
        counts.lostRanges = pages.damagedRanges;
        counts.subtreesLost = pages.damagedRanges.size();
        for (KeyRange &range : trail.take()) {
            counts.lostRanges.push_back(std::move(range));
        }
        if (filter) {
            decoder.setIncludeDeleted(callerWantsDeleted);
            counts.decoded.rowsEmitted -= filter->deletedDropped() + filter->orphansLeftOut();
            counts.decoded.deleteMarkedSkipped
                += filter->deletedDropped() + filter->damagedDeleted();
            counts.decoded.rowsWithDamagedLongValues -= filter->damagedNotLost();
            counts.orphanRowsLeftOut = filter->orphansLeftOut();
        }
        return counts;
    };

    std::vector<std::uint8_t> buffer(file.pageSize());
    counts.layoutRefusal = sampleLayout(file, pages.treePages, decoder, buffer);
    if (!counts.layoutRefusal.empty()) {
        return finish();
    }
    std::optional<SalvagePass> salvage;
    if (callbacks.salvage && !lob) {
        salvage.emplace(decoder, pages, *callbacks.salvage);
    }
    const auto leftOut = [&](const TablePage &page, bool orphan) {
        if (salvage) {
            salvage->keep(page, orphan);
            return std::string(": its rows are left out, and salvaged where they prove sound");
        }
        return std::string(": its rows are left out");
    };
    const auto decode = [&](const TablePage &page, bool inTree) {
        const bool orphan = !inTree;
        const auto lost = [&] {
            if (inTree) {
                trail.pageLost();
            }
            return true;
        };
        if (stopping()) {
            counts.stopped = true;
            return false;
        }
        if (callbacks.beforePage) {
            callbacks.beforePage(page.pageNumber);
        }
        const PageRead read = file.readPage(page.pageNumber, buffer);
        const auto where = "page " + std::to_string(page.pageNumber);
        if (read.outcome == PageRead::Outcome::Missing
            || read.outcome == PageRead::Outcome::Unreadable) {
            ++counts.pagesUnreadable;
            if (!read.reason.empty()) {
                counts.problems.push_back(where + " is " + read.reason + ": its rows are left out");
            }
            return lost();
        }
        const ConstPage view(buffer);
        // A page stored compressed is checked as stored: its view no longer has the checksum.
        const PageCheck check = read.storedCheck ? *read.storedCheck : checkPageEitherLayout(view);
        if (!check.ok()) {
            ++counts.pagesFailedCheck;
            counts.failedPages.push_back(page.pageNumber);
            const bool decodeAnyway = callbacks.decodeFailedPages && read.ok();
            counts.problems.push_back(where + " is " + std::string(describe(check.verdict))
                + (decodeAnyway ? std::string(": its rows were read anyway and may be wrong")
                                : leftOut(page, orphan)));
            if (!decodeAnyway) {
                return lost();
            }
        } else if (!read.ok()) {
            // Intact as stored, yet its compressed form gives no page.
            ++counts.pagesUnreadable;
            counts.problems.push_back(where + " is " + read.reason + ": its rows are left out");
            return lost();
        }
        if (const PageLayoutCheck layout = decoder.checkPageLayout(view); !layout.consistent) {
            ++counts.pagesInconsistent;
            ++counts.pagesFailedCheck;
            counts.failedPages.push_back(page.pageNumber);
            counts.problems.push_back(where
                + " is intact but its records do not fit the table's definition (" + layout.reason
                + ")" + leftOut(page, orphan));
            return lost();
        }
        ++counts.pagesRead;
        RowSink &rows = inTree ? static_cast<RowSink &>(trail) : target;
        RowSink &into = salvage ? salvage->through(rows, page, orphan) : rows;
        counts.decoded += lob ? DecodeLobPage(decoder, view, page.pageNumber, into)
                              : DecodePageRecords(decoder, view, page.pageNumber, into);
        return true;
    };
    for (const TablePage &page : pages.treePages) {
        if (!decode(page, true)) {
            return finish();
        }
    }
    // Pages the damaged tree no longer reaches still hold rows that nothing else has.
    if (filter) {
        filter->readingOrphans();
    }
    for (const TablePage &page : pages.orphanPages) {
        ++counts.orphanPages;
        if (!decode(page, false)) {
            return finish();
        }
    }
    if (salvage && salvage->anyKept()) {
        counts.salvaged = salvage->run(file, stopping);
    }
    return finish();
}

} // namespace innodb

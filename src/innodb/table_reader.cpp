#include "innodb/table_reader.h"

#include "innodb/lob_decoder.h"
#include "innodb/page_check.h"

#include <array>
#include <string>

namespace innodb {

TableReadCounts readTableRows(PageSource &file, const ScanResult &scan, const strcIbDataScan &entry,
    RecordDecoder &decoder, RowSink &sink, const TableReadCallbacks &callbacks)
{
    TableReadCounts counts;
    const auto stopping = [&] { return callbacks.stopRequested && callbacks.stopRequested(); };
    const TablePages pages = collectTablePages(
        file, scan, entry.indexId, entry.rootPage, decoder.keyLayout(), callbacks.stopRequested);
    counts.problems = pages.problems;
    counts.stalePages = pages.stalePages;
    const bool lob = isLobTable(entry.name);

    std::array<std::uint8_t, kPageSize> buffer {};
    const auto decode = [&](const TablePage &page) {
        if (stopping()) {
            counts.stopped = true;
            return false;
        }
        if (callbacks.beforePage) {
            callbacks.beforePage(page.pageNumber);
        }
        if (!file.readPage(page.pageNumber, PageBuffer(buffer))) {
            ++counts.pagesUnreadable;
            return true;
        }
        const ConstPage view(buffer);
        if (const PageCheck check = checkPageEitherLayout(view); !check.ok()) {
            ++counts.pagesFailedCheck;
            counts.failedPages.push_back(page.pageNumber);
            counts.problems.push_back("page " + std::to_string(page.pageNumber) + " is "
                + std::string(describe(check.verdict))
                + (callbacks.decodeFailedPages ? ": its rows were read anyway and may be wrong"
                                               : ": its rows are left out"));
            if (!callbacks.decodeFailedPages) {
                return true;
            }
        }
        ++counts.pagesRead;
        counts.decoded += lob ? DecodeLobPage(decoder, view, page.pageNumber, sink)
                              : DecodePageRecords(decoder, view, page.pageNumber, sink);
        return true;
    };
    for (const TablePage &page : pages.treePages) {
        if (!decode(page)) {
            return counts;
        }
    }
    // Pages the damaged tree no longer reaches still hold rows that nothing else has.
    for (const TablePage &page : pages.orphanPages) {
        ++counts.orphanPages;
        if (!decode(page)) {
            return counts;
        }
    }
    return counts;
}

} // namespace innodb

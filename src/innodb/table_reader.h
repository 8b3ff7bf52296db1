// Reading one table's rows out of a tablespace: the leaf pages its tree reaches, in key order,
// then the orphaned pages of a damaged tree, each page through the table's record decoder.
#pragma once

#include "innodb/index_tree.h"
#include "innodb/page_salvage.h"
#include "innodb/page_scanner.h"
#include "innodb/record_decoder.h"
#include "innodb/table_discovery.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace innodb {

struct TableReadCounts
{
    PageDecodeCounts decoded;
    std::uint64_t pagesRead = 0; // pages handed to the decoder
    std::uint64_t pagesUnreadable = 0; // pages the file would not give back whole
    std::uint64_t orphanPages = 0; // pages read because the tree no longer reaches them
    // Rows of orphaned pages left out: their key lies where the tree is intact (a freed page's
    // old copy), or a tree page or a newer orphan page holds the same key.
    std::uint64_t orphanRowsLeftOut = 0;
    std::uint64_t stalePages = 0; // freed pages left out because the tree is intact
    std::vector<std::string> problems; // damage in the tree, one line each
    // Key ranges whose rows are gone: subtrees the tree cannot reach and leaves left out for
    // damage (lost_key_ranges.h). Orphaned pages may still have given back some of their rows.
    std::vector<KeyRange> lostRanges;
    // Child pages the tree points to but cannot use (unreadable, zeroed, of another index), each
    // the root of a subtree whose rows are gone unless orphaned pages still hold them.
    std::uint64_t subtreesLost = 0;
    std::uint64_t pagesFailedCheck = 0; // pages whose checksum or LSN trailer is wrong
    std::vector<std::uint32_t> failedPages; // their numbers, as DecodedRow::pageNumber gives them
    // Intact pages whose records do not fit the definition (RecordDecoder::checkPageLayout):
    // left out like damaged pages, and counted in pagesFailedCheck too.
    std::uint64_t pagesInconsistent = 0;
    // Set when most pages of a sample do not fit: the definition or the decoder misreads this
    // table, and no row of it was handed on. Why, with the first page's reason.
    std::string layoutRefusal;
    SalvageCounts salvaged; // of the failed pages, when the caller asked for a salvage
    bool stopped = false;
};

struct TableReadCallbacks
{
    std::function<bool()> stopRequested; // polled before each page
    std::function<void(std::uint32_t)> beforePage; // e.g. the status line for each page
    // A page that fails its checks is counted and left out, as its rows would be garbage; set
    // this to decode it anyway (its rows then carry a page number listed in failedPages).
    bool decodeFailedPages = false;
    // Instead, the rows of such pages that prove themselves go here (page_salvage.h), after all
    // intact pages were read; never to the table's own sink.
    SalvageSink *salvage = nullptr;
};

// Decodes every row of `entry`'s clustered index with `decoder` (the Lob table through the Lob
// decoder) and hands it to `sink`. `file` is the tablespace the index lives in. Rows of orphaned
// pages go through an OrphanKeyFilter: only keys in a damaged range, one copy each, the tree's
// copy (even a delete-marked one) first, then the newest page's.
TableReadCounts readTableRows(PageSource &file, const ScanResult &scan, const strcIbDataScan &entry,
    RecordDecoder &decoder, RowSink &sink, const TableReadCallbacks &callbacks = {});

} // namespace innodb

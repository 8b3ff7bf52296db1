// Table discovery: ties each table of one database to its clustered index and root page
// (IBData1TableInfo, strcIbDataScan, IbDataScanArray).
//
// The clustered index of a table is the one SYS_INDEXES index of it with the clustered bit:
// type 3 when it is the primary key (or InnoDB's choice of a NOT NULL unique key), type 1 when
// InnoDB generated it over a hidden DB_ROW_ID. Taking it by that bit, rather than by whether
// the .frm has a key, also finds it for a table whose only keys are nullable unique ones.
#pragma once

#include "common/result.h"
#include "innodb/dictionary.h"
#include "innodb/page_source.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace innodb {

// One table whose clustered index was found.
struct strcIbDataScan
{
    std::string name; // dictionary name: "zarafa/stores", letter case as stored
    std::uint64_t tableId = 0;
    std::uint64_t indexId = 0; // the clustered index, as its pages carry it
    std::uint32_t rootPage = kFilNull;
    bool hasPrimaryKey = false; // type 3: key columns first; else DB_ROW_ID first
    std::uint32_t columnCount = 0; // user columns (SYS_TABLES.N_COLS)
    bool compact = true; // COMPACT family rows (else REDUNDANT)
    std::uint32_t space = 0; // 0 = ibdata1; else the rows are in the table's own .ibd
};

using IbDataScanArray = std::vector<strcIbDataScan>;

struct TableDiscovery
{
    std::vector<IBData1TableInfo> dictionaryTables; // every table in the dictionary
    IbDataScanArray tables; // the tables of the database asked for, in dictionary order
    std::vector<std::string> problems; // from the dictionary read and the matching

    // The table whose dictionary name equals `name` ignoring letter case (lower_case_table_names
    // makes Windows servers store lower case), or null.
    const strcIbDataScan *find(std::string_view name) const;
};

// Ties the tables named "<database>/..." (letter case ignored) of `dictionary` to their
// clustered indexes. A table with no clustered index record, or one whose root is 0xFFFFFFFF,
// is left out and named in `problems`.
TableDiscovery discoverTables(const Dictionary &dictionary, std::string_view database = "zarafa");

// Reads the dictionary of a system tablespace and discovers the tables of `database` in it.
// Corruption when the dictionary cannot be read at all.
common::Result<TableDiscovery> discoverTables(PageSource &source, const ScanResult &scan,
    std::string_view database = "zarafa", const std::function<bool()> &stopRequested = {});

// A file-per-table .ibd has no dictionary: its clustered index is the one rooted at page 3 (or
// where a MySQL 8 definition says, `rootPage`), and its index id is that page's PAGE_INDEX_ID.
// `name` is the dictionary name to give the table. Corruption when that page is not an index root
// of this file.
common::Result<strcIbDataScan> discoverSingleTable(
    PageSource &source, std::string name, std::uint32_t rootPage = kIbdClusteredRoot);

} // namespace innodb

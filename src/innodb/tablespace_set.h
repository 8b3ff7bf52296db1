// TablespaceSet: every tablespace of one data folder, the system tablespace (ibdata1) and the
// tables' own .ibd files, each scanned once, with every table of one database tied to the file
// that holds its rows.
//
//   auto spaces = innodb::TablespaceSet::open(folder + "/ibdata1", folder + "/Zarafa",
//                                             definitions, "zarafa", callbacks);
//   for (const innodb::TableInSpace &table : spaces.tables()) {
//       innodb::RecordDecoder decoder(definition, *table.file, store, options);
//       innodb::readTableRows(*table.file, *table.scan, table.entry, decoder, sink);
//   }
//
// Index ids are unique across a server instance, but page numbers are per file: so each file
// keeps its own scan, and a table's tree walk and overflow chains stay inside its own file.
//
// Tables are tied through the dictionary in ibdata1 when it can be read: SYS_TABLES.SPACE names
// the .ibd (0 = ibdata1). An .ibd that the dictionary does not name, or every .ibd when ibdata1
// is missing or its dictionary destroyed, is read through its own structure: the clustered index
// is rooted at page 3 and that page's PAGE_INDEX_ID names it. Nothing here is fatal: a file that
// cannot be opened or scanned is one line in problems(), the other tables are still read.
#pragma once

#include "frm/table_definition.h"
#include "innodb/doublewrite_buffer.h"
#include "innodb/page_scanner.h"
#include "innodb/repaired_page_source.h"
#include "innodb/table_discovery.h"
#include "innodb/tablespace_file.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace innodb {

// One table and where its pages are. `file` and `scan` belong to the TablespaceSet.
struct TableInSpace
{
    strcIbDataScan entry; // the clustered index; entry.space is the file's space id
    TablespaceFile *file = nullptr; // its leaf pages and its overflow pages
    const ScanResult *scan = nullptr; // that file's scan
    std::string fileName; // "ibdata1" or "stores.ibd", for messages and the status line
    bool fromDictionary = false; // tied through SYS_TABLES, not through the .ibd's page 3
    // The file as the decoders read it: its damaged pages put back from the doublewrite buffer.
    RepairedPageSource *pages = nullptr;
};

struct TablespaceSetCallbacks
{
    // Before each file is scanned and after each chunk of it (status line kind 2).
    std::function<void(
        const std::string &fileName, std::uint64_t pagesDone, std::uint64_t pagesTotal)>
        progress;
    // Polled during the scans; true ends the opening early, keeping what was found.
    std::function<bool()> stopRequested;
};

class TablespaceSet
{
public:
    // `systemPath`: ibdata1, or empty when the folder holds none. `databaseFolder`: the folder of
    // the .frm and .ibd files. `definitions` tell the key kind of a table found only through its
    // .ibd (its page 3 cannot say whether the records start with a key or a hidden row id).
    static TablespaceSet open(const std::string &systemPath, const std::string &databaseFolder,
        const std::vector<frm::FrmTableEntry> &definitions, std::string_view database = "zarafa",
        const TablespaceSetCallbacks &callbacks = {});

    TablespaceSet(TablespaceSet &&) noexcept = default;
    TablespaceSet &operator=(TablespaceSet &&) noexcept = default;
    ~TablespaceSet();

    // The tables found: those of the dictionary in its order, then those found only through
    // their .ibd files, by file name.
    const std::vector<TableInSpace> &tables() const { return m_tables; }
    // The table whose dictionary name equals `name` ignoring letter case, or null.
    const TableInSpace *find(std::string_view name) const;
    // Every table the dictionary names (all databases); empty without a readable dictionary.
    const std::vector<IBData1TableInfo> &dictionaryTables() const { return m_dictionaryTables; }
    // Damage and missing files met on the way, one line each.
    const std::vector<std::string> &problems() const { return m_problems; }
    bool dictionaryRead() const { return m_dictionaryRead; }
    bool stopped() const { return m_stopped; }
    // Bytes of every file met, opened or refused, for the log's tablespace size.
    std::uint64_t totalBytes() const;
    // The copies of the doublewrite buffer (ibdata1's area and any #ib_*.dblwr files).
    const DoublewriteBuffer &doublewrite() const { return *m_doublewrite; }

private:
    struct Space
    {
        TablespaceFile file;
        ScanResult scan;
        std::string fileName;
        std::unique_ptr<RepairedPageSource> pages; // file, through the doublewrite buffer
    };
    TablespaceSet() = default;
    Space *openSpace(const std::string &path, const std::string &fileName,
        const TablespaceSetCallbacks &callbacks);

    // Held apart so that the spaces' page sources keep pointing at it when the set moves.
    std::unique_ptr<DoublewriteBuffer> m_doublewrite = std::make_unique<DoublewriteBuffer>();
    std::vector<std::unique_ptr<Space>> m_spaces;
    std::vector<TableInSpace> m_tables;
    std::vector<IBData1TableInfo> m_dictionaryTables;
    std::vector<std::string> m_problems;
    bool m_dictionaryRead = false;
    bool m_stopped = false;
    std::uint64_t m_refusedBytes = 0; // files found but not read (refused, compressed)
};

} // namespace innodb

// Helpers of the damaged-input tests: a private copy of the generated Zarafa folder to damage,
// the rows of the undamaged folder page by page, and a run of `zarafa-repair dump-rows` on a copy.
#pragma once

#include "support/temp_dir.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace robustness {

namespace fs = std::filesystem;

using Lines = std::vector<std::string>; // TSV lines, each ending in "\n"

// The rows of the undamaged fixture: table -> leaf page -> its rows as dump-rows writes them.
struct RowsByPage
{
    std::map<std::string, std::map<std::uint32_t, Lines>> tables;
    std::map<std::string, std::uint32_t> rootPages; // table -> clustered root
};

// The generated folder (ZR_ZARAFA_FIXTURE_DIR), or empty when it was not made.
fs::path zarafaFixture();

// Decoded once per test program from the fixture.
const RowsByPage &rowsByPage();

// A copy of the fixture's Zarafa folder and ibdata1 in a temporary folder.
class DamagedFolder
{
public:
    DamagedFolder();
    const fs::path &path() const { return m_folder; }
    fs::path ibdata() const { return m_folder / "ibdata1"; }
    fs::path frm(const std::string &table) const { return m_folder / "Zarafa" / (table + ".frm"); }

    // Page-level damage of the copy's ibdata1.
    void zeroPage(std::uint32_t page);
    void randomisePage(
        std::uint32_t page, std::uint32_t seed, std::size_t from = 0, std::size_t to = 16384);
    void copyFirstHalf(std::uint32_t from, std::uint32_t to);
    void writeBigEndian32(std::uint32_t page, std::size_t offset, std::uint32_t value);
    std::vector<std::uint8_t> readPage(std::uint32_t page) const;
    void truncate(std::uint64_t size);

private:
    testing_support::TempDir m_temp;
    fs::path m_folder;
};

// What one run of `zarafa-repair dump-rows FOLDER --out DIR` gave.
struct DumpRun
{
    int exitCode = -1;
    std::string messages; // its standard error, whole
    std::map<std::string, Lines> tables; // the rows of each table file written
    bool crashed() const { return exitCode < 0 || exitCode > 3; }
    // The "values cut short" count of the table's summary line.
    std::uint64_t valuesCutShort(const std::string &table) const;
    // Its "rows with damaged long values" count: rows left out, each named by its key.
    std::uint64_t rowsWithDamagedLongValues(const std::string &table) const;
};

// `asUser` runs the program as that user (setpriv), for tests of files a user cannot read.
DumpRun runDumpRows(const fs::path &folder, const std::string &asUser = {});

// Damaged pages allowed to lose rows; `lostTables` may lose everything.
struct Allowance
{
    std::set<std::uint32_t> damagedPages;
    std::set<std::string> lostTables;
};

// Checks that no row differs from the truth (a row may only be missing, and only when it lived on
// a damaged page or in a lost table) and that every row of an intact page came out. The one
// exception is a row whose long value lost overflow pages: it is left out (or comes out cut short
// when asked for), as many as the table's summary line counts. Returns the number of truth rows missing from the output.
std::size_t expectIntactRowsRecovered(const DumpRun &run, const Allowance &allowance);

// Leaf pages of the fixture's tables, in page order.
std::vector<std::uint32_t> leafPages();

} // namespace robustness

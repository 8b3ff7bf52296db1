// The table reader on pages that fail their checks: left out and named by default, decoded and
// listed on request, so a user can choose to look at rows that may be wrong.
#include "damaged_folder.h"
#include "frm/table_definition_reader.h"
#include "innodb/page_scanner.h"
#include "innodb/table_discovery.h"
#include "innodb/table_reader.h"
#include "innodb/tablespace_file.h"
#include "innodb/value_text.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

namespace robustness {
namespace {

struct Read
{
    innodb::TableReadCounts counts;
    std::vector<std::pair<std::uint32_t, std::string>> rows; // page, TSV line
};

Read readTable(const DamagedFolder &folder, const std::string &name, bool decodeFailedPages)
{
    Read result;
    auto file = innodb::TablespaceFile::open(folder.ibdata().string());
    EXPECT_TRUE(file.ok());
    auto scan = innodb::scanTablespace(*file, {});
    EXPECT_TRUE(scan.ok());
    auto discovery = innodb::discoverTables(*file, *scan);
    EXPECT_TRUE(discovery.ok());
    auto table
        = frm::readTableDefinition(folder.frm(name).string(), name + ".frm", "zarafa/" + name);
    EXPECT_TRUE(table.ok());
    const auto *entry = discovery->find("zarafa/" + name);
    EXPECT_NE(entry, nullptr);
    innodb::LongValueStore store;
    innodb::RecordDecoder decoder(*table, *file, store);
    struct Sink : innodb::RowSink
    {
        Read &read;
        explicit Sink(Read &r)
            : read(r)
        {
        }
        void acceptRow(const innodb::DecodedRow &row) override
        {
            std::ostringstream line;
            (void)innodb::writeTsvLine(row, line);
            read.rows.emplace_back(row.pageNumber, line.str());
        }
    } sink(result);
    innodb::TableReadCallbacks callbacks;
    callbacks.decodeFailedPages = decodeFailedPages;
    result.counts = innodb::readTableRows(*file, *scan, *entry, decoder, sink, callbacks);
    return result;
}

TEST(FailedPagesTest, LeftOutAndNamedByDefaultDecodedAndListedOnRequest)
{
    if (zarafaFixture().empty()) {
        GTEST_SKIP() << "the Zarafa fixture was not made";
    }
    const auto &byPage = rowsByPage().tables.at("properties");
    ASSERT_GT(byPage.size(), 3u);
    // A page in the middle of the index, one byte changed far inside its records: the rows
    // still decode, but the checksum no longer matches.
    const std::uint32_t page = std::next(byPage.begin(), 2)->first;
    DamagedFolder folder;
    folder.randomisePage(page, 7, 8000, 8001);

    const Read strict = readTable(folder, "properties", false);
    EXPECT_EQ(strict.counts.pagesFailedCheck, 1u);
    EXPECT_EQ(strict.counts.failedPages, std::vector<std::uint32_t> { page });
    EXPECT_TRUE(std::none_of(strict.rows.begin(), strict.rows.end(),
        [&](const auto &row) { return row.first == page; }));
    const std::string expected = "page " + std::to_string(page)
        + " is damaged (its checksum does not match its contents): its rows are left out";
    EXPECT_NE(std::find(strict.counts.problems.begin(), strict.counts.problems.end(), expected),
        strict.counts.problems.end());
    std::size_t total = 0;
    for (const auto &[number, lines] : byPage) {
        total += lines.size();
    }
    EXPECT_EQ(strict.rows.size(), total - byPage.at(page).size());

    const Read lenient = readTable(folder, "properties", true);
    EXPECT_EQ(lenient.counts.failedPages, std::vector<std::uint32_t> { page });
    EXPECT_EQ(lenient.rows.size(), total);
    std::size_t fromFailed = 0;
    for (const auto &[number, line] : lenient.rows) {
        if (number == page) {
            ++fromFailed;
        } else {
            // Rows of intact pages are exact whichever way the failed page is treated.
            const auto &lines = byPage.at(number);
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end());
        }
    }
    EXPECT_EQ(fromFailed, byPage.at(page).size());
}

} // namespace
} // namespace robustness

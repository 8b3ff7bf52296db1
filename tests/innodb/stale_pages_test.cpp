// Freed leaf pages written by a real server (make-stale-pages-fixture.sh): the scan finds them,
// the tree walk leaves them out.
#include "innodb/index_tree.h"
#include "innodb/page_scanner.h"
#include "innodb/record_chain.h"
#include "innodb/table_discovery.h"
#include "innodb/tablespace_file.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

const std::filesystem::path kStale = ZR_STALE_PAGES_FIXTURE_DIR;

std::size_t liveRecords(innodb::PageSource &source, const std::vector<std::uint32_t> &pages)
{
    std::size_t count = 0;
    std::array<std::uint8_t, innodb::kDefaultPageSize> buffer {};
    for (const auto number : pages) {
        EXPECT_TRUE(source.readPage(number, buffer));
        for (const auto origin : innodb::walkRecordChain(buffer).origins) {
            if ((innodb::recordInfoBits(buffer, origin, true) & innodb::kRecordInfoDeleted) == 0) {
                ++count;
            }
        }
    }
    return count;
}

TEST(StalePagesTest, OnlyTheTreesLeavesGiveRowsAfterMassDeletes)
{
    std::size_t expected = 0;
    std::ifstream(kStale / "live-rows") >> expected;
    ASSERT_GT(expected, 0u);

    auto file = innodb::TablespaceFile::open((kStale / "ibdata1").string());
    ASSERT_TRUE(file.ok());
    auto scan = innodb::scanTablespace(*file, {});
    ASSERT_TRUE(scan.ok());
    auto discovery = innodb::discoverTables(*file, *scan);
    ASSERT_TRUE(discovery.ok()) << discovery.error().describe();
    const auto *table = discovery->find("zarafa/t");
    ASSERT_NE(table, nullptr);

    std::vector<std::uint32_t> scanned;
    for (const auto &page : scan->pagesOf(*scan->group(table->indexId))) {
        scanned.push_back(page.pageNumber);
    }
    EXPECT_GT(liveRecords(*file, scanned), expected)
        << "the freed pages still hold rows that look live: a scan alone would bring them back";

    // INT key, no nullable column.
    const auto pages = innodb::collectTablePages(
        *file, *scan, table->indexId, table->rootPage, innodb::KeyLayout { { { 4, false } }, 0 });
    EXPECT_TRUE(pages.treeIntact());
    EXPECT_GT(pages.stalePages, 50u);
    std::vector<std::uint32_t> reached;
    for (const auto &page : pages.treePages) {
        reached.push_back(page.pageNumber);
    }
    EXPECT_EQ(liveRecords(*file, reached), expected);
}

} // namespace

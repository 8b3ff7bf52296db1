// The decoder's check of its own reading, on folders a real server wrote: every leaf page of every
// table fits its definition in each row format, with and without free lists; a definition that
// misreads one column's width makes the table refused before a row is handed on, and a single
// page that does not fit among pages that do is left out on its own.
#include "frm/table_definition_reader.h"
#include "innodb/page_check.h"
#include "innodb/page_scanner.h"
#include "innodb/record_decoder.h"
#include "innodb/table_discovery.h"
#include "innodb/table_reader.h"
#include "innodb/tablespace_file.h"
#include "record_test_support.h"
#include "support/temp_dir.h"
#include "support/truth_files.h"

#include <gtest/gtest.h>

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

struct Folder
{
    innodb::TablespaceFile file;
    innodb::ScanResult scan;
    innodb::TableDiscovery discovery;
};

std::optional<Folder> openFolder(const fs::path &folder)
{
    auto file = innodb::TablespaceFile::open((folder / "ibdata1").string());
    if (!file) {
        return std::nullopt;
    }
    auto scan = innodb::scanTablespace(*file, {});
    auto discovery = innodb::discoverTables(*file, *scan);
    if (!scan || !discovery) {
        return std::nullopt;
    }
    return Folder { std::move(*file), std::move(*scan), std::move(*discovery) };
}

frm::FrmTableEntry definition(const fs::path &folder, const std::string &name)
{
    auto table = frm::readTableDefinition(
        (folder / "Zarafa" / (name + ".frm")).string(), name + ".frm", "zarafa/" + name);
    EXPECT_TRUE(table.ok()) << name;
    return table.ok() ? *table : frm::FrmTableEntry {};
}

struct Counted : innodb::RowSink
{
    void acceptRow(const innodb::DecodedRow &) override { ++rows; }
    std::size_t rows = 0;
};

class LayoutCheckTest : public ::testing::TestWithParam<const char *>
{
};

TEST_P(LayoutCheckTest, EveryPageOfEveryTableFitsItsDefinition)
{
    const fs::path folder
        = fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR").parent_path() / GetParam();
    if (!fs::exists(folder / "ibdata1")) {
        GTEST_SKIP() << folder << " was not made";
    }
    auto opened = openFolder(folder);
    ASSERT_TRUE(opened);
    innodb::LongValueStore store;
    std::size_t judged = 0;
    std::size_t tables = 0;
    for (const auto &entry : fs::directory_iterator(folder / "Zarafa")) {
        if (entry.path().extension() != ".frm") {
            continue;
        }
        const std::string name = entry.path().stem().string();
        const auto *found = opened->discovery.find("zarafa/" + name);
        if (!found) {
            continue; // a file-per-table folder keeps its rows in the .ibd files
        }
        const frm::FrmTableEntry table = definition(folder, name);
        innodb::RecordDecoder decoder(table, opened->file, store);
        Counted sink;
        const auto read = innodb::readTableRows(opened->file, opened->scan, *found, decoder, sink);
        EXPECT_EQ(read.layoutRefusal, "") << name;
        EXPECT_EQ(read.pagesInconsistent, 0u) << name;
        // Every page judged, not passed over.
        const auto pages = innodb::collectTablePages(
            opened->file, opened->scan, found->indexId, found->rootPage, decoder.keyLayout());
        std::vector<std::uint8_t> buffer(innodb::kDefaultPageSize);
        for (const auto &page : pages.treePages) {
            ASSERT_TRUE(opened->file.readPage(page.pageNumber, buffer));
            const auto check = decoder.checkPageLayout(innodb::ConstPage(buffer));
            EXPECT_TRUE(check.consistent)
                << name << " page " << page.pageNumber << ": " << check.reason;
            judged += check.judged ? 1 : 0;
        }
        ++tables;
    }
    EXPECT_GT(tables, 0u);
    EXPECT_GT(judged, tables);
}

INSTANTIATE_TEST_SUITE_P(RowFormats, LayoutCheckTest,
    ::testing::Values(
        "zarafa-small", "zarafa-churn", "zarafa_dynamic_system", "zarafa_redundant_system"));

TEST(LayoutCheckRefusalTest, AColumnReadWithTheWrongWidthRefusesTheTableBeforeAnyRow)
{
    const fs::path folder = fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (folder.empty() || !fs::exists(folder / "ibdata1")) {
        GTEST_SKIP() << "the Zarafa fixture was not made";
    }
    auto opened = openFolder(folder);
    ASSERT_TRUE(opened);
    innodb::LongValueStore store;
    const auto *found = opened->discovery.find("zarafa/hierarchy");
    ASSERT_NE(found, nullptr);

    // hierarchy.parent is an INT: taken for a BIGINT, every later column shifts by 4 bytes.
    frm::FrmTableEntry wide = definition(folder, "hierarchy");
    bool changed = false;
    for (auto *order : { &wide.definitionOrder, &wide.recordOrder }) {
        for (auto &column : *order) {
            if (column.name == "parent") {
                column.fieldType = 8; // MYSQL_TYPE_LONGLONG
                column.typeName = "BigInt";
                changed = true;
            }
        }
    }
    ASSERT_TRUE(changed);
    innodb::RecordDecoder misread(wide, opened->file, store);
    Counted none;
    const auto refused = innodb::readTableRows(opened->file, opened->scan, *found, misread, none);
    EXPECT_NE(refused.layoutRefusal.find("do not fit the table's definition"), std::string::npos)
        << refused.layoutRefusal;
    EXPECT_EQ(none.rows, 0u);
    EXPECT_EQ(refused.pagesRead, 0u);

    // A VARCHAR declared shorter than what its rows hold: lengths beyond the type.
    frm::FrmTableEntry narrow = definition(folder, "names");
    for (auto *order : { &narrow.definitionOrder, &narrow.recordOrder }) {
        for (auto &column : *order) {
            if (column.name == "namestring") {
                column.byteLength = 3;
            }
        }
    }
    const auto *names = opened->discovery.find("zarafa/names");
    ASSERT_NE(names, nullptr);
    innodb::RecordDecoder shortened(narrow, opened->file, store);
    const auto tooLong = innodb::readTableRows(opened->file, opened->scan, *names, shortened, none);
    EXPECT_NE(tooLong.layoutRefusal.find("more than its 3"), std::string::npos)
        << tooLong.layoutRefusal;
    EXPECT_EQ(none.rows, 0u);
}

TEST(LayoutCheckRefusalTest, OnePageThatDoesNotFitAmongPagesThatDoIsLeftOutAlone)
{
    const fs::path folder = fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (folder.empty() || !fs::exists(folder / "ibdata1")) {
        GTEST_SKIP() << "the Zarafa fixture was not made";
    }
    auto opened = openFolder(folder);
    ASSERT_TRUE(opened);
    const auto *found = opened->discovery.find("zarafa/properties");
    ASSERT_NE(found, nullptr);
    const frm::FrmTableEntry table = definition(folder, "properties");
    innodb::LongValueStore store;
    innodb::RecordDecoder decoder(table, opened->file, store);
    const auto pages = innodb::collectTablePages(
        opened->file, opened->scan, found->indexId, found->rootPage, decoder.keyLayout());
    ASSERT_GT(pages.treePages.size(), 4u);

    // The heap of one leaf made to claim one record more than its chain holds, resealed with a
    // valid checksum: damage that the checksum cannot see.
    auto space = MemoryTablespace::load(folder / "ibdata1");
    const std::uint32_t victim = pages.treePages[pages.treePages.size() / 2].pageNumber;
    std::uint8_t *bytes = space.bytes().data() + std::size_t { victim } * innodb::kDefaultPageSize;
    const auto records = static_cast<std::uint16_t>(
        innodb::recordCountOf(innodb::ConstPage(bytes, innodb::kDefaultPageSize)) + 1);
    bytes[innodb::kPageNRecsAt] = static_cast<std::uint8_t>(records >> 8);
    bytes[innodb::kPageNRecsAt + 1] = static_cast<std::uint8_t>(records);
    const std::uint32_t crc
        = innodb::crc32Checksum(innodb::ConstPage(bytes, innodb::kDefaultPageSize));
    for (const std::size_t at : { std::size_t { 0 }, innodb::kDefaultPageSize - 8 }) {
        for (std::size_t i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        }
    }
    ASSERT_TRUE(innodb::checkPage(innodb::ConstPage(bytes, innodb::kDefaultPageSize)).ok());
    const auto check = decoder.checkPageLayout(innodb::ConstPage(bytes, innodb::kDefaultPageSize));
    EXPECT_FALSE(check.consistent);
    EXPECT_NE(check.reason.find("the page says it holds"), std::string::npos) << check.reason;

    // In a whole read, the table is kept and only that page's rows are left out.
    TempDir temp;
    std::ofstream(temp.path() / "ibdata1", std::ios::binary)
        .write(reinterpret_cast<const char *>(space.bytes().data()),
            static_cast<std::streamsize>(space.bytes().size()));
    auto damaged = openFolder(temp.path());
    ASSERT_TRUE(damaged);
    innodb::RecordDecoder again(table, damaged->file, store);
    Counted rows;
    const auto read = innodb::readTableRows(
        damaged->file, damaged->scan, *damaged->discovery.find("zarafa/properties"), again, rows);
    EXPECT_EQ(read.layoutRefusal, "");
    EXPECT_EQ(read.pagesInconsistent, 1u);
    EXPECT_EQ(read.failedPages, (std::vector<std::uint32_t> { victim }));
    EXPECT_EQ(read.pagesRead, pages.treePages.size() - 1);
    EXPECT_GT(rows.rows, 0u);
}

} // namespace

// The scanner, discovery and tree walk on Zarafa data folders written by a real MariaDB server
// (tests/fixtures), and on damaged copies of them.
#include "frm/table_definition_reader.h"
#include "innodb/index_tree.h"
#include "innodb/long_value_store.h"
#include "innodb/page_scanner.h"
#include "innodb/record_chain.h"
#include "innodb/record_decoder.h"
#include "innodb/table_discovery.h"
#include "innodb/tablespace_file.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

const fs::path kSmall = ZR_ZARAFA_FIXTURE_DIR;
const fs::path kChurn = ZR_ZARAFA_CHURN_FIXTURE_DIR;

std::size_t truthRows(const fs::path &folder, const std::string &table)
{
    std::ifstream in(folder / "truth" / (table + ".tsv"));
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line);) {
        ++lines;
    }
    return lines == 0 ? 0 : lines - 1; // the first line names the columns
}

// table name -> (index id, root page, type) as the server itself reported them.
std::map<std::string, std::tuple<std::uint64_t, std::uint32_t, std::uint32_t>>
serverClusteredIndexes(const fs::path &folder)
{
    std::map<std::string, std::tuple<std::uint64_t, std::uint32_t, std::uint32_t>> result;
    std::ifstream in(folder / "truth" / "innodb-indexes.tsv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string table, index, id, root, type;
        std::getline(fields, table, '\t');
        std::getline(fields, index, '\t');
        std::getline(fields, id, '\t');
        std::getline(fields, root, '\t');
        std::getline(fields, type, '\t');
        if ((std::stoul(type) & 1) != 0) {
            result[table] = { std::stoull(id), static_cast<std::uint32_t>(std::stoul(root)),
                static_cast<std::uint32_t>(std::stoul(type)) };
        }
    }
    return result;
}

std::string shortName(const std::string &dictionaryName)
{
    return dictionaryName.substr(dictionaryName.find('/') + 1);
}

struct OpenedSpace
{
    innodb::TablespaceFile file;
    innodb::ScanResult scan;
    innodb::TableDiscovery discovery;
};

OpenedSpace openSpace(const fs::path &ibdata1)
{
    auto file = innodb::TablespaceFile::open(ibdata1.string());
    EXPECT_TRUE(file.ok());
    auto scan = innodb::scanTablespace(*file, {});
    EXPECT_TRUE(scan.ok()) << scan.error().describe();
    auto discovery = innodb::discoverTables(*file, *scan);
    EXPECT_TRUE(discovery.ok()) << discovery.error().describe();
    return OpenedSpace { std::move(file).value(), std::move(scan).value(),
        std::move(discovery).value() };
}

innodb::KeyLayout keyLayoutOf(const fs::path &folder, const std::string &dictionaryName)
{
    const auto name = shortName(dictionaryName);
    auto table = frm::readTableDefinition(
        (folder / "Zarafa" / (name + ".frm")).string(), name + ".frm", dictionaryName);
    EXPECT_TRUE(table.ok()) << name;
    innodb::LongValueStore store;
    auto source = innodb::TablespaceFile::open((folder / "ibdata1").string());
    const innodb::RecordDecoder decoder(*table, *source, store);
    return decoder.keyLayout();
}

// Live (not delete-marked) records on the given pages, read through each page's own chain.
std::size_t liveRecords(innodb::PageSource &source, const std::vector<innodb::TablePage> &pages)
{
    std::size_t count = 0;
    std::array<std::uint8_t, innodb::kDefaultPageSize> buffer {};
    for (const auto &page : pages) {
        EXPECT_TRUE(source.readPage(page.pageNumber, buffer));
        const auto chain = innodb::walkRecordChain(buffer);
        EXPECT_TRUE(chain.complete);
        for (const auto origin : chain.origins) {
            if ((innodb::recordInfoBits(buffer, origin, true) & innodb::kRecordInfoDeleted) == 0) {
                ++count;
            }
        }
    }
    return count;
}

TEST(ZarafaScanTest, DiscoveryAgreesWithTheServer)
{
    auto space = openSpace(kSmall / "ibdata1");
    const auto expected = serverClusteredIndexes(kSmall);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(space.discovery.tables.size(), expected.size());
    for (const auto &[table, index] : expected) {
        const auto *found = space.discovery.find("zarafa/" + table);
        ASSERT_NE(found, nullptr) << table;
        EXPECT_EQ(found->indexId, std::get<0>(index)) << table;
        EXPECT_EQ(found->rootPage, std::get<1>(index)) << table;
        EXPECT_EQ(found->hasPrimaryKey, std::get<2>(index) == 3) << table;
        EXPECT_TRUE(found->compact);
        EXPECT_EQ(found->space, 0u);
    }
    EXPECT_TRUE(space.discovery.problems.empty()) << space.discovery.problems[0];
}

// On an intact tablespace, the leaves the tree reaches hold exactly the table's rows, also after
// the churn of updates, deletes and purges.
TEST(ZarafaScanTest, TreeLeavesHoldExactlyTheLiveRows)
{
    for (const auto &folder : { kSmall, kChurn }) {
        auto space = openSpace(folder / "ibdata1");
        std::uint64_t stale = 0;
        for (const auto &table : space.discovery.tables) {
            const auto pages = innodb::collectTablePages(space.file, space.scan, table.indexId,
                table.rootPage, keyLayoutOf(folder, table.name));
            EXPECT_TRUE(pages.treeIntact()) << table.name << ": " << pages.problems[0];
            EXPECT_TRUE(pages.orphanPages.empty());
            EXPECT_EQ(
                liveRecords(space.file, pages.treePages), truthRows(folder, shortName(table.name)))
                << folder << " " << table.name;
            stale += pages.stalePages;
        }
        // Freed pages that still look like leaves, when the churn left some, were not counted.
        RecordProperty(folder.filename().string() + "_stale_pages", std::to_string(stale));
    }
}

fs::path copyIbdata(const TempDir &dir, const fs::path &folder)
{
    const auto copy = dir.path() / "ibdata1";
    fs::copy_file(folder / "ibdata1", copy);
    return copy;
}

void overwritePage(const fs::path &path, std::uint32_t page, const std::vector<std::uint8_t> &bytes)
{
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(
        static_cast<std::streamoff>(page) * static_cast<std::streamoff>(innodb::kDefaultPageSize));
    out.write(
        reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(ZarafaScanTest, RandomlyOverwrittenLeavesBecomeDamagedRangesNotCrashes)
{
    TempDir dir;
    const auto path = copyIbdata(dir, kChurn);
    auto intact = openSpace(path);
    std::set<std::uint32_t> userLeaves;
    for (const auto &page : intact.scan.allPages) {
        if (page.indexId > innodb::kSysIndexesIndexId + 2) { // not a dictionary index
            userLeaves.insert(page.pageNumber);
        }
    }
    // 5% of the leaf pages, chosen and filled from a fixed seed.
    std::mt19937 random(20261207);
    std::vector<std::uint32_t> leaves(userLeaves.begin(), userLeaves.end());
    std::shuffle(leaves.begin(), leaves.end(), random);
    leaves.resize(std::max<std::size_t>(1, leaves.size() / 20));
    const std::set<std::uint32_t> destroyed(leaves.begin(), leaves.end());
    for (const auto page : destroyed) {
        std::vector<std::uint8_t> bytes(innodb::kDefaultPageSize);
        for (auto &byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
        overwritePage(path, page, bytes);
    }

    auto damaged = openSpace(path);
    ASSERT_EQ(damaged.discovery.tables.size(), intact.discovery.tables.size());
    std::size_t damagedTables = 0;
    for (const auto &table : damaged.discovery.tables) {
        const auto layout = keyLayoutOf(kChurn, table.name);
        const auto before = innodb::collectTablePages(
            intact.file, intact.scan, table.indexId, table.rootPage, layout);
        const auto after = innodb::collectTablePages(
            damaged.file, damaged.scan, table.indexId, table.rootPage, layout);
        std::vector<std::uint32_t> survivors;
        for (const auto &page : before.treePages) {
            if (!destroyed.contains(page.pageNumber)) {
                survivors.push_back(page.pageNumber);
            }
        }
        std::vector<std::uint32_t> reached;
        for (const auto &page : after.treePages) {
            reached.push_back(page.pageNumber);
        }
        if (survivors.size() == before.treePages.size()) {
            EXPECT_EQ(reached, survivors) << table.name;
            continue;
        }
        ++damagedTables;
        EXPECT_FALSE(after.treeIntact()) << table.name;
        // Every intact leaf under an intact node still comes from the tree, in key order;
        // a destroyed node page can only make more of them orphans.
        std::set<std::uint32_t> fromBoth(reached.begin(), reached.end());
        for (const auto &page : after.orphanPages) {
            fromBoth.insert(page.pageNumber);
        }
        for (const auto page : survivors) {
            EXPECT_TRUE(fromBoth.contains(page)) << table.name << " page " << page;
        }
        for (const auto page : reached) {
            EXPECT_FALSE(destroyed.contains(page));
        }
    }
    EXPECT_GT(damagedTables, 0u);
}

TEST(ZarafaScanTest, BrokenChildPointerIsBridgedByTheLeafLinks)
{
    TempDir dir;
    const auto path = copyIbdata(dir, kSmall);
    auto intact = openSpace(path);
    const auto *properties = intact.discovery.find("zarafa/properties");
    ASSERT_NE(properties, nullptr);
    const auto layout = keyLayoutOf(kSmall, properties->name);
    const auto before = innodb::collectTablePages(
        intact.file, intact.scan, properties->indexId, properties->rootPage, layout);
    ASSERT_GT(before.treePages.size(), 4u);

    // Point the root's third node pointer at a page beyond the file. The key is three integers
    // (4 + 2 + 2 bytes), so the child page number follows 8 bytes after the origin.
    std::vector<std::uint8_t> root(innodb::kDefaultPageSize);
    {
        std::ifstream in(path, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(properties->rootPage) * 16384);
        in.read(reinterpret_cast<char *>(root.data()), static_cast<std::streamsize>(root.size()));
    }
    const innodb::ConstPage rootPage(root.data(), innodb::kDefaultPageSize);
    const auto chain = innodb::walkRecordChain(rootPage);
    ASSERT_GE(chain.origins.size(), 3u);
    ASSERT_EQ(innodb::pageLevelOf(rootPage), 1) << "the fixture's properties tree has two levels";
    for (std::size_t i = 0; i < 4; ++i) {
        root[chain.origins[2] + 8 + i] = 0x7F;
    }
    overwritePage(path, properties->rootPage, root);

    auto damaged = openSpace(path);
    const auto after = innodb::collectTablePages(
        damaged.file, damaged.scan, properties->indexId, properties->rootPage, layout);
    EXPECT_FALSE(after.problems.empty());
    EXPECT_TRUE(after.treeIntact());
    EXPECT_EQ(after.treePages.size(), before.treePages.size());
    EXPECT_EQ(liveRecords(damaged.file, after.treePages), truthRows(kSmall, "properties"));
}

TEST(ZarafaScanTest, ZeroedDictionaryIsCorruptionAndTruncationIsNoCrash)
{
    TempDir dir;
    const auto path = copyIbdata(dir, kSmall);
    {
        const auto intact = openSpace(path);
        const std::vector<std::uint8_t> zeros(innodb::kDefaultPageSize);
        for (const auto id : { innodb::kSysTablesIndexId, innodb::kSysIndexesIndexId }) {
            for (const auto &page : intact.scan.pagesOf(*intact.scan.group(id))) {
                overwritePage(path, page.pageNumber, zeros);
            }
        }
        for (const std::uint32_t root : { 8, 11 }) {
            overwritePage(path, root, zeros);
        }
    }
    auto file = innodb::TablespaceFile::open(path.string());
    ASSERT_TRUE(file.ok());
    auto scan = innodb::scanTablespace(*file, {});
    ASSERT_TRUE(scan.ok());
    EXPECT_GT(scan->groups.size(), 10u) << "user pages are still found";
    auto discovery = innodb::discoverTables(*file, *scan);
    ASSERT_FALSE(discovery.ok());
    EXPECT_EQ(discovery.error().kind, common::ErrorKind::Corruption);

    // Cut the intact file after its first 400 pages: the early tables come out, the rest are
    // trees whose pages lie beyond the end.
    const auto cut = dir.path() / "cut";
    {
        std::ifstream in(kSmall / "ibdata1", std::ios::binary);
        std::vector<char> bytes(400 * innodb::kDefaultPageSize + 1000);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::ofstream(cut, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    auto cutSpace = openSpace(cut);
    EXPECT_EQ(cutSpace.scan.pagesExamined, 400u);
    for (const auto &table : cutSpace.discovery.tables) {
        const auto pages = innodb::collectTablePages(cutSpace.file, cutSpace.scan, table.indexId,
            table.rootPage, keyLayoutOf(kSmall, table.name));
        for (const auto &page : pages.treePages) {
            EXPECT_LT(page.pageNumber, 400u);
        }
    }
}

} // namespace

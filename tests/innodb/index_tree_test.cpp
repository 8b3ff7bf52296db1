#include "innodb/index_tree.h"
#include "innodb/page_builder.h"
#include "innodb/page_scanner.h"
#include "innodb/table_discovery.h"
#include "innodb/tablespace_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <random>
#include <set>

namespace {

using innodb::KeyBytes;
using testing_support::bigEndianBytes;
using testing_support::makeFspHeaderPage;
using testing_support::makeIndexPage;
using testing_support::Page;
using testing_support::RecordWriter;
using testing_support::TempDir;

constexpr std::uint64_t kIndex = 42;

// Signed INT keys as InnoDB stores them: big-endian with the sign bit inverted.
KeyBytes intKey(std::int32_t value)
{
    return { bigEndianBytes(static_cast<std::uint32_t>(value) ^ 0x80000000u, 4) };
}

std::vector<std::uint32_t> numbers(const std::vector<innodb::TablePage> &pages)
{
    std::vector<std::uint32_t> result;
    for (const auto &page : pages) {
        result.push_back(page.pageNumber);
    }
    return result;
}

// A two-level tree of index 42 with an INT key: root page 3 points, in key order, to the leaves
// 6 (keys below 100), 4 (100..199) and 5 (200 and up). Page 7 is a freed leaf of the same index
// that still looks like one; page 8 a leaf of another index.
struct TwoLevelTree
{
    std::vector<Page> pages;

    TwoLevelTree()
    {
        pages.resize(9);
        pages[0] = makeFspHeaderPage(0);
        pages[3] = makeIndexPage(3, kIndex, 1);
        RecordWriter root(pages[3], true);
        root.addNodePointer(intKey(-50)[0], 6);
        root.addNodePointer(intKey(100)[0], 4);
        root.addNodePointer(intKey(200)[0], 5);
        pages[4] = makeIndexPage(4, kIndex, 0, 0, 400);
        pages[5] = makeIndexPage(5, kIndex, 0, 0, 500);
        pages[6] = makeIndexPage(6, kIndex, 0, 0, 600);
        pages[7] = makeIndexPage(7, kIndex, 0, 0, 700);
        pages[8] = makeIndexPage(8, 99);
        // The leaf level's links, in key order: 6 <-> 4 <-> 5. The freed page 7 still names
        // its old neighbours, but no live page names it.
        link(6, 4);
        link(4, 5);
        link(6, 7);
        link(7, 5);
        link(6, 4);
        link(4, 5);
    }

    void link(std::uint32_t left, std::uint32_t right)
    {
        testing_support::putBigEndian(pages[left], innodb::kFilPageNext, right, 4);
        testing_support::putBigEndian(pages[right], innodb::kFilPagePrev, left, 4);
    }

    innodb::TablePages collect(TempDir &dir, std::uint32_t root = 3)
    {
        const auto path = dir.path() / "ibdata1";
        testing_support::writePages(path, pages);
        auto file = innodb::TablespaceFile::open(path.string());
        EXPECT_TRUE(file.ok());
        auto scan = innodb::scanTablespace(*file, {});
        EXPECT_TRUE(scan.ok());
        return innodb::collectTablePages(
            *file, *scan, kIndex, root, innodb::KeyLayout { { { 4, false } }, 0 });
    }
};

TEST(KeyCompareTest, StoredBytesSortAsTheTreeDoes)
{
    EXPECT_LT(innodb::compareKeys(intKey(-1), intKey(0)), 0);
    EXPECT_LT(innodb::compareKeys(intKey(-70000), intKey(-1)), 0);
    EXPECT_GT(innodb::compareKeys(intKey(256), intKey(255)), 0);
    EXPECT_EQ(innodb::compareKeys(intKey(7), intKey(7)), 0);
    const KeyBytes shortBinary { { 0x41, 0x42 } };
    const KeyBytes longBinary { { 0x41, 0x42, 0x00 } };
    EXPECT_LT(innodb::compareKeys(shortBinary, longBinary), 0) << "a prefix sorts first";
    const KeyBytes twoFields { { 1 }, { 0xFF } };
    const KeyBytes twoFieldsLater { { 2 }, { 0x00 } };
    EXPECT_LT(innodb::compareKeys(twoFields, twoFieldsLater), 0) << "first field decides";
}

TEST(IndexTreeTest, IntactTreeGivesItsLeavesInKeyOrderAndLeavesFreedPagesOut)
{
    TempDir dir;
    TwoLevelTree tree;
    const auto pages = tree.collect(dir);
    EXPECT_TRUE(pages.treeIntact());
    EXPECT_EQ(numbers(pages.treePages), (std::vector<std::uint32_t> { 6, 4, 5 }));
    EXPECT_TRUE(pages.orphanPages.empty());
    EXPECT_EQ(pages.stalePages, 1u) << "page 7 is a freed leaf";
    EXPECT_TRUE(pages.problems.empty());
    EXPECT_EQ(pages.treePages[1].lsn, 400u);
}

TEST(IndexTreeTest, BadChildPointerMakesItsKeyRangeDamagedAndUnreachedLeavesOrphans)
{
    TempDir dir;
    TwoLevelTree tree;
    tree.pages[4].fill(0); // the leaf for keys 100..199 is lost
    const auto pages = tree.collect(dir);
    EXPECT_FALSE(pages.treeIntact());
    EXPECT_EQ(numbers(pages.treePages), (std::vector<std::uint32_t> { 6, 5 }));
    EXPECT_EQ(numbers(pages.orphanPages), (std::vector<std::uint32_t> { 7 }));
    ASSERT_EQ(pages.problems.size(), 1u);
    EXPECT_NE(pages.problems[0].find("page 4"), std::string::npos) << pages.problems[0];
    EXPECT_FALSE(pages.acceptsOrphanKey(intKey(99)));
    EXPECT_TRUE(pages.acceptsOrphanKey(intKey(100)));
    EXPECT_TRUE(pages.acceptsOrphanKey(intKey(199)));
    EXPECT_FALSE(pages.acceptsOrphanKey(intKey(200)));

    innodb::OrphanKeyFilter filter(pages);
    filter.noteTreeKey(intKey(150)); // a tree copy wins over any orphan copy
    EXPECT_FALSE(filter.take(intKey(150)));
    EXPECT_TRUE(filter.take(intKey(120)));
    EXPECT_FALSE(filter.take(intKey(120))) << "only the first, newest, orphan copy";
    EXPECT_FALSE(filter.take(intKey(250))) << "outside the damaged range";
}

TEST(IndexTreeTest, LeafLinksCloseAGapLeftByADamagedNodePointer)
{
    TempDir dir;
    TwoLevelTree tree;
    tree.pages[3] = makeIndexPage(3, kIndex, 1);
    RecordWriter root(tree.pages[3], true);
    root.addNodePointer(intKey(-50)[0], 6);
    root.addNodePointer(intKey(100)[0], 8); // names a leaf of another index
    root.addNodePointer(intKey(200)[0], 5);
    const auto pages = tree.collect(dir);
    EXPECT_EQ(numbers(pages.treePages), (std::vector<std::uint32_t> { 6, 4, 5 }));
    EXPECT_TRUE(pages.treeIntact()) << "the whole leaf level is known again";
    EXPECT_TRUE(pages.orphanPages.empty());
    EXPECT_EQ(pages.stalePages, 1u) << "the freed page 7 stays out";
    EXPECT_EQ(pages.problems.size(), 2u) << "the damage is still reported";

    // With the last leaf's forward link cut as well, the end of the level is unknown.
    testing_support::putBigEndian(tree.pages[5], innodb::kFilPageNext, 77, 4);
    const auto open = tree.collect(dir);
    EXPECT_EQ(numbers(open.treePages), (std::vector<std::uint32_t> { 6, 4, 5 }));
    EXPECT_FALSE(open.treeIntact());
    EXPECT_EQ(numbers(open.orphanPages), (std::vector<std::uint32_t> { 7 }));
}

TEST(IndexTreeTest, DamagedRangeWithBoundsOutOfOrderCoversEveryKey)
{
    TempDir dir;
    TwoLevelTree tree;
    tree.pages[3] = makeIndexPage(3, kIndex, 1);
    RecordWriter root(tree.pages[3], true);
    root.addNodePointer(intKey(-50)[0], 6);
    root.addNodePointer(intKey(300)[0], 4); // bytes out of order, as a text collation may store
    root.addNodePointer(intKey(200)[0], 5);
    tree.pages[4].fill(0);
    const auto pages = tree.collect(dir);
    EXPECT_EQ(numbers(pages.treePages), (std::vector<std::uint32_t> { 6, 5 }));
    EXPECT_TRUE(pages.acceptsOrphanKey(intKey(250)));
    EXPECT_TRUE(pages.acceptsOrphanKey(intKey(-1000))) << "no row of the lost page is refused";
}

TEST(IndexTreeTest, ChildOfAnotherIndexOrLevelOrALoopIsDamage)
{
    TempDir dir;
    TwoLevelTree tree;
    tree.pages[5] = makeIndexPage(5, 99); // another index's leaf where ours should be
    const auto pages = tree.collect(dir);
    EXPECT_EQ(numbers(pages.treePages), (std::vector<std::uint32_t> { 6, 4 }));
    EXPECT_TRUE(pages.acceptsOrphanKey(intKey(1 << 30)));

    TwoLevelTree looped;
    looped.pages[3] = makeIndexPage(3, kIndex, 1);
    RecordWriter root(looped.pages[3], true);
    root.addNodePointer(intKey(0)[0], 6);
    root.addNodePointer(intKey(100)[0], 3); // points back to the root
    const auto bridged = looped.collect(dir);
    ASSERT_FALSE(bridged.problems.empty());
    EXPECT_NE(bridged.problems[0].find("reached twice"), std::string::npos);
    EXPECT_EQ(numbers(bridged.treePages), (std::vector<std::uint32_t> { 6, 4, 5 }))
        << "the leaf links still lead past the loop";

    // A back link that disagrees stops the bridge: the range stays damaged.
    testing_support::putBigEndian(looped.pages[4], innodb::kFilPagePrev, 99, 4);
    const auto loopPages = looped.collect(dir);
    EXPECT_EQ(numbers(loopPages.treePages), (std::vector<std::uint32_t> { 6 }));
    EXPECT_TRUE(loopPages.acceptsOrphanKey(intKey(100)));
    EXPECT_FALSE(loopPages.acceptsOrphanKey(intKey(99)));
    EXPECT_EQ(numbers(loopPages.orphanPages), (std::vector<std::uint32_t> { 7, 5, 4 }));
}

TEST(IndexTreeTest, LostRootMakesEveryScannedLeafAnOrphanNewestFirst)
{
    TempDir dir;
    TwoLevelTree tree;
    tree.pages[3].fill(0xEE);
    const auto linked = tree.collect(dir);
    EXPECT_EQ(numbers(linked.treePages), (std::vector<std::uint32_t> { 6, 4, 5 }))
        << "one chain of confirmed links from a leftmost leaf to a rightmost one";
    EXPECT_FALSE(linked.treeIntact()) << "nothing anchors the chain: the rest stay orphans";
    EXPECT_EQ(numbers(linked.orphanPages), (std::vector<std::uint32_t> { 7 }));

    testing_support::putBigEndian(tree.pages[5], innodb::kFilPagePrev, 7, 4); // links disagree
    const auto pages = tree.collect(dir);
    EXPECT_TRUE(pages.treePages.empty());
    EXPECT_EQ(numbers(pages.orphanPages), (std::vector<std::uint32_t> { 7, 6, 5, 4 }));
    EXPECT_TRUE(pages.acceptsOrphanKey(intKey(-1000000)));

    const auto noRoot = tree.collect(dir, innodb::kFilNull);
    EXPECT_EQ(noRoot.orphanPages.size(), 4u);
    EXPECT_EQ(tree.collect(dir, 4000).orphanPages.size(), 4u) << "root beyond the file";
}

TEST(IndexTreeTest, RootThatIsTheOnlyLeaf)
{
    TempDir dir;
    TwoLevelTree tree;
    tree.pages[3] = makeIndexPage(3, kIndex, 0, 0, 300);
    const auto pages = tree.collect(dir);
    EXPECT_EQ(numbers(pages.treePages), (std::vector<std::uint32_t> { 3 }));
    EXPECT_EQ(pages.stalePages, 4u);
}

TEST(IndexTreeTest, WalksAMultiLevelSakilaTree)
{
    const auto path = testing_support::sharedFixtures() / "mysql-5.0-sakila/sakila/film.ibd";
    auto file = innodb::TablespaceFile::open(path.string());
    ASSERT_TRUE(file.ok());
    auto scan = innodb::scanTablespace(*file, {});
    ASSERT_TRUE(scan.ok());
    const auto table = innodb::discoverSingleTable(*file, "sakila/film");
    ASSERT_TRUE(table.ok()) << table.error().describe();
    EXPECT_EQ(table->rootPage, 3u);
    // film: SMALLINT UNSIGNED key; six nullable columns.
    const innodb::KeyLayout layout { { { 2, false } }, 6 };
    const auto pages
        = innodb::collectTablePages(*file, *scan, table->indexId, table->rootPage, layout);
    EXPECT_TRUE(pages.treeIntact()) << (pages.problems.empty() ? "" : pages.problems[0]);
    ASSERT_GT(pages.treePages.size(), 1u) << "1000 films do not fit in the root";
    std::size_t records = 0;
    for (const auto &page : pages.treePages) {
        records += scan->page(page.pageNumber)->recordCount;
    }
    EXPECT_EQ(records, 1000u);
    EXPECT_EQ(pages.treePages.size() + pages.stalePages, scan->group(table->indexId)->pageSlots.size());

    // With the wrong null bitmap size the pointers cannot be read: damage, not a wrong answer.
    const innodb::KeyLayout wrong { { { 2, false } }, 20 };
    const auto misread
        = innodb::collectTablePages(*file, *scan, table->indexId, table->rootPage, wrong);
    std::size_t misreadRecords = 0;
    for (const auto &page : misread.treePages) {
        misreadRecords += scan->page(page.pageNumber)->recordCount;
    }
    for (const auto &page : misread.orphanPages) {
        misreadRecords += scan->page(page.pageNumber)->recordCount;
    }
    EXPECT_EQ(misreadRecords, 1000u) << "tree and orphan pages still hold every film";
}

} // namespace

namespace {

// Pages that look like B-tree pages of the index but hold random bytes everywhere else: the walk
// must end, stay inside every page, and never call a page both reached and orphaned.
TEST(IndexTreeTest, RandomNodePagesNeverCrashTheWalk)
{
    TempDir dir;
    std::mt19937 random(4242);
    for (int round = 0; round < 20; ++round) {
        std::vector<Page> pages(40);
        pages[0] = makeFspHeaderPage(0);
        for (std::uint32_t n = 1; n < pages.size(); ++n) {
            for (auto &byte : pages[n]) {
                byte = static_cast<std::uint8_t>(random());
            }
            const auto level = static_cast<std::uint16_t>(random() % 3);
            auto header = makeIndexPage(n, kIndex, level, 0, random() % 1000, random() % 2 == 0);
            std::copy(header.begin(), header.begin() + 120, pages[n].begin());
            testing_support::putBigEndian(pages[n], innodb::kFilPageNext, random() % 45, 4);
            testing_support::putBigEndian(pages[n], innodb::kFilPagePrev, random() % 45, 4);
            testing_support::putBigEndian(pages[n], innodb::kPageHeapTopAt, random() % 17000, 2);
            testing_support::putBigEndian(pages[n], innodb::kPageNewInfimum - 2, random(), 2);
            testing_support::putBigEndian(pages[n], innodb::kPageOldInfimum - 2, random(), 2);
        }
        const auto path = dir.path() / "ibdata1";
        testing_support::writePages(path, pages);
        auto file = innodb::TablespaceFile::open(path.string());
        ASSERT_TRUE(file.ok());
        auto scan = innodb::scanTablespace(*file, {});
        ASSERT_TRUE(scan.ok());
        const innodb::KeyLayout layout { { { 0, true }, { 4, false } }, 3 };
        for (std::uint32_t root = 1; root < pages.size(); root += 7) {
            const auto result = innodb::collectTablePages(*file, *scan, kIndex, root, layout);
            std::set<std::uint32_t> seen;
            for (const auto &page : result.treePages) {
                EXPECT_TRUE(seen.insert(page.pageNumber).second);
            }
            for (const auto &page : result.orphanPages) {
                EXPECT_TRUE(seen.insert(page.pageNumber).second);
            }
        }
    }
}

} // namespace

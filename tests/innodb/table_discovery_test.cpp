#include "innodb/dictionary.h"
#include "innodb/page_builder.h"
#include "innodb/table_discovery.h"
#include "innodb/tablespace_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

using testing_support::bigEndianBytes;
using testing_support::makeIndexPage;
using testing_support::Page;
using testing_support::putBigEndian;
using testing_support::RecordWriter;
using testing_support::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes text(const std::string &value) { return Bytes(value.begin(), value.end()); }

void addTable(
    RecordWriter &writer, const std::string &name, std::uint64_t id, std::uint8_t infoBits = 0)
{
    writer.addOldStyle(
        { text(name), Bytes(6), Bytes(7), bigEndianBytes(id, 8), bigEndianBytes(0x80000000u | 3, 4),
            bigEndianBytes(1, 4), Bytes(8), Bytes(4), Bytes {}, bigEndianBytes(0, 4) },
        infoBits);
}

// `merge` adds MERGE_THRESHOLD: 10 fields, as MySQL 5.7 and MariaDB 10.2+ write.
void addIndex(RecordWriter &writer, std::uint64_t table, std::uint64_t id, const std::string &name,
    std::uint32_t type, std::uint32_t root, bool merge = false, bool twoByteOffsets = false)
{
    std::vector<Bytes> fields { bigEndianBytes(table, 8), bigEndianBytes(id, 8), Bytes(6), Bytes(7),
        text(name), bigEndianBytes(1, 4), bigEndianBytes(type, 4), bigEndianBytes(0, 4),
        bigEndianBytes(root, 4) };
    if (merge) {
        fields.push_back(bigEndianBytes(50, 4));
    }
    writer.addOldStyle(fields, 0, twoByteOffsets);
}

// A system tablespace with only what discovery reads: the dictionary header on page 7, SYS_TABLES
// grown beyond its root (page 8, level 1, over leaves 13 and 14; page 15 a freed leaf), and
// SYS_INDEXES in its root leaf on page 11, with 9- and 10-field records.
struct SystemTablespace
{
    std::vector<Page> pages;

    SystemTablespace()
    {
        pages.resize(16);
        pages[0] = testing_support::makeFspHeaderPage(0);
        putBigEndian(pages[7], innodb::kFilPageOffset, 7, 4);
        putBigEndian(pages[7], innodb::kDictHeaderTablesRoot, 8, 4);
        putBigEndian(pages[7], innodb::kDictHeaderIndexesRoot, 11, 4);

        pages[8] = makeIndexPage(8, innodb::kSysTablesIndexId, 1, 0, 1000, false);
        RecordWriter root(pages[8], false);
        root.addOldStyle({ text("SYS_FOREIGN"), bigEndianBytes(13, 4) });
        root.addOldStyle({ text("zarafa/a"), bigEndianBytes(14, 4) });

        pages[13] = makeIndexPage(13, innodb::kSysTablesIndexId, 0, 0, 1000, false);
        RecordWriter left(pages[13], false);
        addTable(left, "SYS_FOREIGN", 11);
        addTable(left, "SYS_FOREIGN_COLS", 12);
        addTable(left, "mysql/innodb_table_stats", 15);

        pages[14] = makeIndexPage(14, innodb::kSysTablesIndexId, 0, 0, 1000, false);
        RecordWriter right(pages[14], false);
        addTable(right, "zarafa/Stores", 20);
        addTable(right, "zarafa/dropped", 22, 0x20); // delete-marked, not yet purged
        addTable(right, "zarafa/nokey", 21);
        addTable(right, "zarafa/nullunique", 23);

        pages[15] = makeIndexPage(15, innodb::kSysTablesIndexId, 0, 0, 9000, false);
        // Leaf links: 13 <-> 14; the freed page 15 still names both, neither names it.
        putBigEndian(pages[13], innodb::kFilPageNext, 14, 4);
        putBigEndian(pages[14], innodb::kFilPagePrev, 13, 4);
        putBigEndian(pages[15], innodb::kFilPagePrev, 13, 4);
        putBigEndian(pages[15], innodb::kFilPageNext, 14, 4);
        RecordWriter stale(pages[15], false);
        addTable(stale, "zarafa/ghost", 30);

        pages[11] = makeIndexPage(11, innodb::kSysIndexesIndexId, 0, 0, 1000, false);
        RecordWriter indexes(pages[11], false);
        addIndex(indexes, 15, 40, "PRIMARY", 3, 44);
        addIndex(indexes, 20, 50, "PRIMARY", 3, 300);
        addIndex(indexes, 20, 51, "hierarchy", 0, 301, true);
        addIndex(indexes, 20, 52, "guid", 2, 302);
        addIndex(indexes, 21, 60, "GEN_CLUST_INDEX", 1, 310, true, true);
        addIndex(indexes, 23, 70, "GEN_CLUST_INDEX", 1, 320, true);
        addIndex(indexes, 23, 71, "u", 2, 321, true);
    }

    common::Result<innodb::TableDiscovery> discover(TempDir &dir)
    {
        const auto path = dir.path() / "ibdata1";
        testing_support::writePages(path, pages);
        auto file = innodb::TablespaceFile::open(path.string());
        EXPECT_TRUE(file.ok());
        auto scan = innodb::scanTablespace(*file, {});
        EXPECT_TRUE(scan.ok());
        return innodb::discoverTables(*file, *scan);
    }
};

TEST(OldStyleRecordTest, ReadsFieldsThroughOneAndTwoByteEndOffsets)
{
    for (const bool twoByte : { false, true }) {
        Page page = makeIndexPage(11, 3, 0, 0, 1, false);
        RecordWriter writer(page, false);
        const auto origin
            = writer.addOldStyle({ text("abc"), Bytes {}, bigEndianBytes(7, 4) }, 0x20, twoByte);
        const auto record = innodb::readOldStyleRecord(page, origin);
        ASSERT_TRUE(record.ok()) << record.error().message;
        EXPECT_EQ(record->oneByteOffsets, !twoByte);
        ASSERT_EQ(record->fields.size(), 3u);
        EXPECT_TRUE(record->isDeleted());
        EXPECT_EQ(record->fields[0].length, 3u);
        EXPECT_EQ(record->fields[1].length, 0u);
        EXPECT_EQ(record->fields[2].offset, origin + 3);
        const auto bytes = record->bytes(page, 0);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "abc");
        EXPECT_FALSE(record->bytes(page, 3)) << "no such field";
    }
}

TEST(OldStyleRecordTest, DamagedOffsetsAreCorruptionNotReadsOutsideThePage)
{
    Page page = makeIndexPage(11, 3, 0, 0, 1, false);
    RecordWriter writer(page, false);
    const auto origin = writer.addOldStyle({ text("abc"), bigEndianBytes(7, 4) });
    page[origin - 6 - 2] = 2; // the second field would end before the first
    EXPECT_EQ(innodb::readOldStyleRecord(page, origin).error().kind, common::ErrorKind::Corruption);
    putBigEndian(page, origin - 4, 0, 2); // no fields
    EXPECT_FALSE(innodb::readOldStyleRecord(page, origin).ok());
    putBigEndian(page, origin - 4, (1000u << 1) | 1, 2); // more offsets than the page holds below
    EXPECT_FALSE(innodb::readOldStyleRecord(page, origin).ok());
    EXPECT_FALSE(innodb::readOldStyleRecord(page, 3).ok());
    EXPECT_FALSE(innodb::readOldStyleRecord(page, innodb::kDefaultPageSize - 1).ok());
}

TEST(TableDiscoveryTest, TiesEachTableToItsClusteredIndexFromAllDictionaryLeaves)
{
    TempDir dir;
    SystemTablespace space;
    const auto discovery = space.discover(dir);
    ASSERT_TRUE(discovery.ok()) << discovery.error().describe();

    std::vector<std::string> names;
    for (const auto &table : discovery->dictionaryTables) {
        names.push_back(table.name);
    }
    EXPECT_EQ(names,
        (std::vector<std::string> {
            "mysql/innodb_table_stats", "zarafa/Stores", "zarafa/nokey", "zarafa/nullunique" }))
        << "SYS_FOREIGN*, the dropped and the freed page's tables are left out";

    ASSERT_EQ(discovery->tables.size(), 3u);
    const auto *stores = discovery->find("zarafa/stores");
    ASSERT_NE(stores, nullptr) << "letter case is ignored";
    EXPECT_EQ(stores->indexId, 50u) << "the type-3 index, not the secondary ones";
    EXPECT_EQ(stores->rootPage, 300u);
    EXPECT_TRUE(stores->hasPrimaryKey);
    EXPECT_EQ(stores->columnCount, 3u);
    EXPECT_TRUE(stores->compact);

    const auto *nokey = discovery->find("zarafa/NOKEY");
    ASSERT_NE(nokey, nullptr);
    EXPECT_EQ(nokey->indexId, 60u) << "10-field record with two-byte offsets";
    EXPECT_EQ(nokey->rootPage, 310u);
    EXPECT_FALSE(nokey->hasPrimaryKey);

    const auto *nullUnique = discovery->find("zarafa/nullunique");
    ASSERT_NE(nullUnique, nullptr) << "a nullable unique key does not cluster";
    EXPECT_EQ(nullUnique->indexId, 70u);
    EXPECT_EQ(discovery->find("zarafa/ghost"), nullptr);
    EXPECT_EQ(discovery->find("mysql/innodb_table_stats"), nullptr);
}

TEST(TableDiscoveryTest, LostDictionaryRootStillFindsTheLeaves)
{
    TempDir dir;
    SystemTablespace space;
    space.pages[8].fill(0);
    space.pages[7].fill(0); // the header too: the usual roots are assumed
    const auto discovery = space.discover(dir);
    ASSERT_TRUE(discovery.ok()) << discovery.error().describe();
    EXPECT_NE(discovery->find("zarafa/stores"), nullptr);
    EXPECT_FALSE(discovery->problems.empty());
    EXPECT_EQ(discovery->tables.size(), 3u);
    // With the root gone nothing proves the freed page dead: its table comes back, harmless
    // since it has no clustered index record.
    EXPECT_EQ(discovery->dictionaryTables.size(), 5u);

    // A damaged back link makes page 14 look like the start of the level: page 13 must still
    // be read, as an orphan.
    putBigEndian(space.pages[14], innodb::kFilPagePrev, innodb::kFilNull, 4);
    const auto unlinked = space.discover(dir);
    ASSERT_TRUE(unlinked.ok());
    EXPECT_EQ(unlinked->dictionaryTables.size(), 5u);
    EXPECT_EQ(unlinked->tables.size(), 3u);
}

TEST(TableDiscoveryTest, UnreadableDictionaryIsCorruption)
{
    TempDir dir;
    SystemTablespace space;
    for (const std::size_t page : { 8, 11, 13, 14, 15 }) {
        space.pages[page].fill(0);
    }
    const auto discovery = space.discover(dir);
    ASSERT_FALSE(discovery.ok());
    EXPECT_EQ(discovery.error().kind, common::ErrorKind::Corruption);

    SystemTablespace noIndexes;
    noIndexes.pages[11].fill(0x5A);
    EXPECT_FALSE(noIndexes.discover(dir).ok());
}

TEST(TableDiscoveryTest, SingleTableTablespaceUsesPageThree)
{
    const auto path = testing_support::sharedFixtures() / "mysql-5.0-sakila/sakila/actor.ibd";
    auto file = innodb::TablespaceFile::open(path.string());
    ASSERT_TRUE(file.ok());
    const auto table = innodb::discoverSingleTable(*file, "sakila/actor");
    ASSERT_TRUE(table.ok());
    Page root {};
    ASSERT_TRUE(file->readPage(3, root));
    EXPECT_EQ(table->indexId, innodb::indexIdOf(root));
    EXPECT_EQ(table->rootPage, 3u);
    EXPECT_TRUE(table->compact);

    TempDir dir;
    testing_support::writePages(dir.path() / "broken.ibd", { Page {}, Page {}, Page {}, Page {} });
    auto broken = innodb::TablespaceFile::open((dir.path() / "broken.ibd").string());
    ASSERT_TRUE(broken.ok());
    EXPECT_FALSE(innodb::discoverSingleTable(*broken, "x/y").ok());
}

} // namespace

// Tables whose columns were added, dropped and reordered in place after rows were written
// (MariaDB's instant ALTER TABLE), made by a real server: make-all-types-fixture.sh's `later`,
// `later_old` and the `alter_*` tables of all-types/instant-alter.sql.
#include "frm/table_definition_reader.h"
#include "innodb/page_layout.h"
#include "innodb/record_chain.h"
#include "innodb/table_reader.h"
#include "innodb/tablespace_set.h"
#include "support/temp_dir.h"
#include "support/truth_files.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

const std::filesystem::path kFolder = ZR_ALL_TYPES_FIXTURE_DIR;

// Each row's text values by key: enough to tell a default from a stored value.
class KeepingSink : public innodb::RowSink
{
public:
    void acceptRow(const innodb::DecodedRow &row) override
    {
        ++count;
        const auto &first = row.values[0];
        auto &kept = rows[first.kind == innodb::ValueKind::Signed ? std::to_string(first.integer)
                                                                  : text(first)];
        for (const auto &value : row.values) {
            kept.push_back(value.isNull()                     ? "NULL"
                    : value.kind == innodb::ValueKind::Signed ? std::to_string(value.integer)
                                                              : text(value));
        }
    }
    std::map<std::string, std::vector<std::string>> rows; // by the first column's value
    std::size_t count = 0;

private:
    static std::string text(const innodb::FieldValue &value)
    {
        const auto bytes = value.bytes.memory();
        return { bytes.begin(), bytes.end() };
    }
};

struct ReadTable
{
    std::vector<frm::FrmTableEntry> definitions;
    innodb::TableReadCounts counts;
    KeepingSink sink;
    bool instant = false;

    explicit ReadTable(const std::string &name, const std::filesystem::path &folder = kFolder)
    {
        auto definition = frm::readTableDefinition(
            (folder / "Zarafa" / (name + ".frm")).string(), name + ".frm", "zarafa/" + name);
        EXPECT_TRUE(definition.ok()) << definition.error().describe();
        if (!definition) {
            return;
        }
        definitions.push_back(std::move(*definition));
        const auto spaces = innodb::TablespaceSet::open(
            (folder / "ibdata1").string(), (folder / "Zarafa").string(), definitions);
        const innodb::TableInSpace *table = spaces.find("zarafa/" + name);
        EXPECT_NE(table, nullptr);
        if (!table) {
            return;
        }
        innodb::LongValueStore store;
        innodb::RecordDecoder decoder(definitions[0], *table->file, store);
        counts = innodb::readTableRows(*table->file, *table->scan, table->entry, decoder, sink);
        instant = decoder.instant();
    }
};

TEST(InstantColumnsTest, OlderRecordsTakeTheAddedColumnsDefaultsAndTheTreeReadsWhole)
{
    const ReadTable read("later");
    const auto &counts = read.counts;
    const auto &sink = read.sink;
    EXPECT_TRUE(read.instant);
    // The node pointers of a text key are read with the core columns' null bitmap: with the
    // whole table's they would not parse and the tree would count as damaged.
    EXPECT_TRUE(counts.problems.empty()) << counts.problems.front();
    EXPECT_EQ(counts.orphanPages, 0u);
    EXPECT_EQ(counts.decoded.recordsRejected, 0u);
    EXPECT_EQ(counts.decoded.rowsEmitted, 902u) << "the hidden metadata record is not a row";
    ASSERT_EQ(sink.rows.size(), 902u);

    // code name note count label body n1..n6 n7
    const auto &before = sink.rows.at("k000001");
    EXPECT_EQ(before[3], "42") << "written before the first ADD COLUMN";
    EXPECT_EQ(before[4], "default label");
    EXPECT_EQ(before[5], "NULL");
    EXPECT_EQ(before[12], "7");
    const auto &between = sink.rows.at("k000601");
    EXPECT_EQ(between[3], "601");
    EXPECT_EQ(between[4], "label 601");
    EXPECT_EQ(between[12], "7") << "written before the second ADD COLUMN";
    const auto &updated = sink.rows.at("k000005");
    EXPECT_EQ(updated[2], "updated");
    EXPECT_EQ(updated[3], "42");
    const auto &last = sink.rows.at("k000901");
    EXPECT_EQ(last[5].size(), 10000u) << "a stored long value, not the default";
    EXPECT_EQ(last[12], "70");
    EXPECT_EQ(sink.rows.at("k000902")[12], "NULL") << "an explicit NULL beats the default";
}

TEST(InstantColumnsTest, OldStyleRecordsWithFewerFieldsAreWholeAndTheMetadataRecordIsNoRow)
{
    const ReadTable read("later_old");
    EXPECT_TRUE(read.instant);
    EXPECT_EQ(read.counts.decoded.recordsRejected, 0u);
    EXPECT_EQ(read.counts.decoded.rowsEmitted, 700u);
    // id name count label; the metadata record would have come out as an empty id 0.
    const auto &before = read.sink.rows.begin()->second;
    EXPECT_EQ(before[0], "1");
    EXPECT_EQ(before[2], "42");
    EXPECT_EQ(before[3], "default label");
}

// The tables of instant-alter.sql: every kind of instant change, several rounds, each record
// format, a text key, a hidden row id and more than 128 columns added at once.
const std::array kAlteredTables { "alter_compact", "alter_redundant", "alter_dynamic",
    "alter_textkey", "alter_rowid", "alter_wide" };

TEST(InstantAlterTest, DroppedAndReorderedColumnsAreMappedAndEveryRowIsRead)
{
    for (const char *name : kAlteredTables) {
        const ReadTable read(name);
        const auto truthRows
            = testing_support::readLines(kFolder / "truth" / (std::string(name) + ".tsv")).size()
            - 1;
        EXPECT_TRUE(read.instant) << name;
        EXPECT_TRUE(read.counts.problems.empty()) << name << ": " << read.counts.problems.front();
        EXPECT_EQ(read.counts.decoded.recordsRejected, 0u) << name;
        EXPECT_EQ(read.counts.decoded.pagesRejected, 0u) << name;
        EXPECT_EQ(read.counts.decoded.rowsEmitted, truthRows) << name;
        EXPECT_EQ(read.sink.count, truthRows) << name;
    }
    // alter_compact's columns now: c e id h a k d l. Row 1 was written before any change and
    // updated after the last ADD; row 2 only has its core fields.
    const ReadTable read("alter_compact");
    const auto &first = read.sink.rows.at("1");
    EXPECT_EQ(first[0], "1") << "c, moved to the front";
    EXPECT_EQ(first[3], "aitch") << "h, added after the row was written: its default";
    EXPECT_EQ(first[5], "5");
    EXPECT_EQ(first[7], "set late");
    const auto &second = read.sink.rows.at("2");
    EXPECT_EQ(second[5], "-1") << "k's default, from the metadata record";
    EXPECT_EQ(second[7], "NULL");
}

// Pages of a copy of the fixture's ibdata1 (16 KiB pages) that `pick` chooses are overwritten
// with zeros: a fault as a dead sector leaves it.
std::size_t zeroPages(const std::filesystem::path &file,
    const std::function<bool(innodb::ConstPage, std::uint32_t)> &pick)
{
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    std::array<std::uint8_t, innodb::kDefaultPageSize> page {};
    std::vector<std::uint32_t> chosen;
    for (std::uint32_t n = 0; io.read(reinterpret_cast<char *>(page.data()), page.size()); ++n) {
        if (pick(innodb::ConstPage(page), n)) {
            chosen.push_back(n);
        }
    }
    io.clear();
    const std::array<char, innodb::kDefaultPageSize> zeros {};
    for (const std::uint32_t n : chosen) {
        io.seekp(static_cast<std::streamoff>(n) * static_cast<std::streamoff>(page.size()));
        io.write(zeros.data(), zeros.size());
    }
    return chosen.size();
}

std::filesystem::path copyOfFolder(const testing_support::TempDir &dir)
{
    std::filesystem::copy(kFolder / "Zarafa", dir.path() / "Zarafa");
    std::filesystem::copy_file(kFolder / "ibdata1", dir.path() / "ibdata1");
    return dir.path();
}

TEST(InstantAlterTest, ALostColumnMapRefusesTheTableInsteadOfGuessingItsLayout)
{
    const testing_support::TempDir dir;
    const auto folder = copyOfFolder(dir);
    // A column map BLOB: one page, its length 4 + 2 x the field count it starts with.
    const auto zeroed = zeroPages(folder / "ibdata1", [](innodb::ConstPage page, std::uint32_t) {
        const std::uint32_t length = innodb::readUint32(page, innodb::kBlobPartLength);
        return innodb::pageTypeOf(page) == innodb::kFilPageTypeBlob
            && innodb::readUint32(page, innodb::kBlobNextPage) == innodb::kFilNull
            && length == 4 + 2 * std::uint64_t { innodb::readUint32(page, innodb::kBlobData) };
    });
    ASSERT_GT(zeroed, 0u);
    for (const char *name : kAlteredTables) {
        const ReadTable read(name, folder);
        EXPECT_EQ(read.counts.decoded.rowsEmitted, 0u) << name;
        EXPECT_GT(read.counts.decoded.pagesRejected, 0u) << name;
        ASSERT_FALSE(read.counts.problems.empty()) << name;
        EXPECT_NE(
            read.counts.problems.back().find("dropped or reordered in place"), std::string::npos)
            << read.counts.problems.back();
    }
    EXPECT_EQ(ReadTable("later", folder).counts.decoded.rowsEmitted, 902u)
        << "columns only added: no map needed";
}

TEST(InstantAlterTest, RowsWhoseAddedColumnsDefaultsAreLostAreCountedNotFilledWithNull)
{
    const testing_support::TempDir dir;
    const auto folder = copyOfFolder(dir);
    const ReadTable intact("later");
    ASSERT_FALSE(intact.definitions.empty());
    const std::uint64_t indexId = [&] {
        const auto spaces = innodb::TablespaceSet::open(
            (kFolder / "ibdata1").string(), (kFolder / "Zarafa").string(), intact.definitions);
        return spaces.find("zarafa/later")->entry.indexId;
    }();
    // The leaf whose first record is the metadata record (and any stale copy of it).
    const auto zeroed
        = zeroPages(folder / "ibdata1", [indexId](innodb::ConstPage page, std::uint32_t) {
              if (!innodb::isIndexPage(page) || innodb::indexIdOf(page) != indexId
                  || innodb::pageLevelOf(page) != 0) {
                  return false;
              }
              const auto chain = innodb::walkRecordChain(page);
              return !chain.origins.empty()
                  && (innodb::recordInfoBits(page, chain.origins.front(), true)
                         & innodb::kRecordInfoMinRec)
                  != 0;
          });
    ASSERT_GT(zeroed, 0u);
    const ReadTable read("later", folder);
    EXPECT_NE(std::find_if(read.counts.problems.begin(), read.counts.problems.end(),
                  [](const std::string &p) { return p.find("defaults") != std::string::npos; }),
        read.counts.problems.end());
    for (const auto &[key, row] : read.sink.rows) {
        EXPECT_NE(row[3], "NULL") << key << ": count is NOT NULL; a lost default is no NULL";
    }
    EXPECT_GT(read.counts.decoded.recordsRejected, 0u);
    EXPECT_EQ(read.counts.decoded.rowsEmitted + read.counts.decoded.recordsRejected
            + read.counts.orphanRowsLeftOut,
        read.counts.decoded.recordsWalked);
}

} // namespace

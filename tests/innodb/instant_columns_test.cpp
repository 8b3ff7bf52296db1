// A table whose columns were added in place after rows were written (MariaDB's instant ADD
// COLUMN), made by a real server: make-all-types-fixture.sh's `later`.
#include "frm/table_definition_reader.h"
#include "innodb/table_reader.h"
#include "innodb/tablespace_set.h"

#include <filesystem>
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
        const auto &first = row.values[0];
        auto &kept = rows[first.kind == innodb::ValueKind::Signed ? std::to_string(first.integer)
                                                                  : text(first)];
        for (const auto &value : row.values) {
            kept.push_back(value.isNull()                     ? "NULL"
                    : value.kind == innodb::ValueKind::Signed ? std::to_string(value.integer)
                                                              : text(value));
        }
    }
    std::map<std::string, std::vector<std::string>> rows;

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

    explicit ReadTable(const std::string &name)
    {
        auto definition = frm::readTableDefinition(
            (kFolder / "Zarafa" / (name + ".frm")).string(), name + ".frm", "zarafa/" + name);
        EXPECT_TRUE(definition.ok()) << definition.error().describe();
        definitions.push_back(std::move(*definition));
        const auto spaces = innodb::TablespaceSet::open(
            (kFolder / "ibdata1").string(), (kFolder / "Zarafa").string(), definitions);
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

} // namespace

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
        auto &kept = rows[text(row.values[0])];
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

TEST(InstantColumnsTest, OlderRecordsTakeTheAddedColumnsDefaultsAndTheTreeReadsWhole)
{
    auto definition = frm::readTableDefinition(
        (kFolder / "Zarafa" / "later.frm").string(), "later.frm", "zarafa/later");
    ASSERT_TRUE(definition.ok()) << definition.error().describe();
    const std::vector<frm::FrmTableEntry> definitions { *definition };
    const auto spaces = innodb::TablespaceSet::open(
        (kFolder / "ibdata1").string(), (kFolder / "Zarafa").string(), definitions);
    const innodb::TableInSpace *table = spaces.find("zarafa/later");
    ASSERT_NE(table, nullptr);

    innodb::LongValueStore store;
    innodb::RecordDecoder decoder(definitions[0], *table->file, store);
    KeepingSink sink;
    const auto counts
        = innodb::readTableRows(*table->file, *table->scan, table->entry, decoder, sink);
    EXPECT_TRUE(decoder.instant());
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

} // namespace

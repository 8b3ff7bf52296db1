// Column types in the records of the all-types folder (tests/fixtures/all-types), beyond what
// the byte-for-byte comparison with the truth shows: what the decoder refuses, and the UUIDs of
// servers older than the one that wrote the fixture.
#include "frm/table_definition_reader.h"
#include "innodb/table_reader.h"
#include "innodb/tablespace_set.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace {

const std::filesystem::path kFolder = ZR_ALL_TYPES_FIXTURE_DIR;

struct TextSink : innodb::RowSink
{
    void acceptRow(const innodb::DecodedRow &row) override
    {
        auto &kept = rows[row.values[0].integer];
        for (const auto &value : row.values) {
            kept.push_back(value.isNull() ? "NULL" : value.text);
        }
    }
    std::map<std::int64_t, std::vector<std::string>> rows;
};

struct Plugins
{
    std::vector<frm::FrmTableEntry> definitions;

    Plugins()
    {
        auto table = frm::readTableDefinition(
            (kFolder / "Zarafa/plugins.frm").string(), "plugins.frm", "zarafa/plugins");
        EXPECT_TRUE(table.ok());
        definitions.push_back(std::move(*table));
    }

    // Decodes the table with `definition`; the decoder's problem when it refuses.
    std::string decode(const frm::FrmTableEntry &definition, TextSink &sink) const
    {
        const auto spaces = innodb::TablespaceSet::open(
            (kFolder / "ibdata1").string(), (kFolder / "Zarafa").string(), definitions);
        const innodb::TableInSpace *table = spaces.find("zarafa/plugins");
        EXPECT_NE(table, nullptr);
        innodb::LongValueStore store;
        innodb::RecordDecoder decoder(definition, *table->file, store);
        if (!decoder.usable()) {
            return decoder.problem();
        }
        (void)innodb::readTableRows(*table->file, *table->scan, table->entry, decoder, sink);
        return {};
    }
};

TEST(ColumnTypesTest, ATypeWhoseStoredFormIsUnknownRefusesTheTableByNameAndCode)
{
    // A definition from elsewhere (another dictionary) may name a type this decoder cannot lay
    // out: every later field would be misread, so nothing of the table is.
    const Plugins plugins;
    frm::FrmTableEntry definition = plugins.definitions[0];
    definition.definitionOrder[1].fieldType = 144;
    definition.definitionOrder[1].dataTypeName.clear();
    TextSink sink;
    const std::string problem = plugins.decode(definition, sink);
    EXPECT_NE(problem.find("column a6 has type code 144"), std::string::npos) << problem;
    EXPECT_TRUE(sink.rows.empty());

    definition = plugins.definitions[0];
    definition.definitionOrder[1].dataTypeName = "xml";
    EXPECT_NE(plugins.decode(definition, sink).find("type code 254 (xml)"), std::string::npos);
}

TEST(ColumnTypesTest, UuidsOfOlderServersAreReadWithEverySegmentSwapped)
{
    const Plugins plugins;
    TextSink current;
    ASSERT_TRUE(plugins.decode(plugins.definitions[0], current).empty());
    frm::FrmTableEntry legacy = plugins.definitions[0];
    legacy.definitionOrder[2].legacyUuid = true; // as MariaDB 10.7-10.11.4 made the column
    TextSink old;
    ASSERT_TRUE(plugins.decode(legacy, old).empty());
    // A time-based (version 1) UUID is stored swapped by both; a version 7 one only by the older
    // servers, so the same bytes read otherwise under their rule.
    EXPECT_EQ(current.rows.at(3)[2], "6ba7b810-9dad-11d1-80b4-00c04fd430c8");
    EXPECT_EQ(old.rows.at(3)[2], current.rows.at(3)[2]);
    EXPECT_EQ(current.rows.at(5)[2], "01890a5d-ac96-774b-bcce-b302099a8057");
    EXPECT_NE(old.rows.at(5)[2], current.rows.at(5)[2]);
}

} // namespace

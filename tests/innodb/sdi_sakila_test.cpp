// The sakila tables as a MySQL 8.0 server stored them: no .frm files, each table's definition
// read from the SDI inside its own .ibd, its clustered index found where that definition says,
// every row decoded and compared with the sample's data file.
#include "frm/column_type.h"
#include "frm/create_table_text.h"
#include "frm/sdi_table.h"
#include "innodb/page_check.h"
#include "innodb/record_decoder.h"
#include "innodb/sdi_definition.h"
#include "innodb/sdi_reader.h"
#include "innodb/table_reader.h"
#include "innodb/tablespace_file.h"
#include "innodb/tablespace_set.h"
#include "sakila_data.h"
#include "sakila_text_sink.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace testing_support;

const std::filesystem::path kSakila8 = sharedFixtures() / "mysql-8.0-sakila" / "sakila";
const std::filesystem::path kDataFile = sharedFixtures() / "mysql-5.0-sakila" / "sakila-data.sql";
const std::string kTables[] = { "actor", "address", "category", "city", "country", "customer",
    "film", "film_actor", "film_category", "inventory", "language", "staff", "store", "film_text" };

std::vector<frm::FrmTableEntry> readDefinitions()
{
    std::vector<frm::FrmTableEntry> definitions;
    for (const std::string &table : kTables) {
        auto definition = innodb::readSdiDefinition(
            (kSakila8 / (table + ".ibd")).string(), table + ".ibd", "sakila/" + table);
        EXPECT_TRUE(definition.ok()) << table << ": " << definition.error().describe();
        if (definition) {
            definitions.push_back(std::move(*definition));
        }
    }
    return definitions;
}

const frm::FrmTableEntry &definitionOf(
    const std::vector<frm::FrmTableEntry> &definitions, const std::string &table)
{
    for (const auto &definition : definitions) {
        if (definition.tableName == table) {
            return definition;
        }
    }
    throw std::runtime_error("no definition of " + table);
}

TEST(SdiSakilaTest, EveryTableDefinitionComesFromItsOwnIbd)
{
    const auto definitions = readDefinitions();
    ASSERT_EQ(definitions.size(), std::size(kTables));
    const frm::FrmTableEntry &staff = definitionOf(definitions, "staff");
    EXPECT_EQ(staff.source, frm::DefinitionSource::Sdi);
    EXPECT_EQ(staff.dictionaryName, "sakila/staff");
    EXPECT_EQ(staff.clusteredRootPage, 4u);
    EXPECT_EQ(staff.clusteredIndexId, 202u);
    std::vector<std::string> names;
    for (const frm::ColumnDef &column : staff.definitionOrder) {
        names.push_back(column.name);
    }
    // InnoDB's DB_TRX_ID and DB_ROLL_PTR are in the SDI's column list, hidden: not the table's.
    EXPECT_EQ(names,
        (std::vector<std::string> { "staff_id", "first_name", "last_name", "address_id",
            "picture", "email", "store_id", "active", "username", "password", "last_update" }));
    // MySQL 8's collations become their workshop counterparts; DEFAULTs come from the SDI.
    const std::string text = frm::createTableText(staff);
    for (const std::string clause : { "`staff_id` tinyint(3) unsigned NOT NULL AUTO_INCREMENT",
             "`active` tinyint(1) NOT NULL DEFAULT 1",
             "`password` varchar(40) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NULL DEFAULT NULL",
             "`last_update` timestamp NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE "
             "CURRENT_TIMESTAMP",
             "PRIMARY KEY (`staff_id`),KEY `idx_fk_store_id` (`store_id`),KEY "
             "`idx_fk_address_id` (`address_id`)",
             "charset = utf8mb4 collate = utf8mb4_uca1400_nopad_ai_ci" }) {
        EXPECT_NE(text.find(clause), std::string::npos) << clause << " in " << text;
    }
}

// A FULLTEXT index makes InnoDB store an FTS_DOC_ID in every record: read, never rebuilt.
TEST(SdiSakilaTest, TheFulltextDocumentIdIsStoredButNotPartOfTheTable)
{
    const auto definitions = readDefinitions();
    const frm::FrmTableEntry &filmText = definitionOf(definitions, "film_text");
    ASSERT_EQ(filmText.definitionOrder.size(), 4u);
    const frm::ColumnDef &documentId = filmText.definitionOrder.back();
    EXPECT_EQ(documentId.name, "FTS_DOC_ID");
    EXPECT_TRUE(documentId.storedByServer);
    EXPECT_TRUE(frm::isStoredColumn(documentId));
    EXPECT_FALSE(frm::isInsertedColumn(documentId));
    const std::string text = frm::createTableText(filmText);
    EXPECT_EQ(text.find("FTS_DOC_ID"), std::string::npos) << text;
    EXPECT_NE(text.find("FULLTEXT KEY `idx_title_description` (`title`,`description`)"),
        std::string::npos)
        << text;
}

TEST(SdiSakilaTest, EveryTableDecodesWithItsSdiDefinitionAndMatchesTheDataFile)
{
    const auto definitions = readDefinitions();
    const innodb::TablespaceSet spaces
        = innodb::TablespaceSet::open("", kSakila8.string(), definitions, "sakila");
    for (const std::string &table : kTables) {
        SCOPED_TRACE(table);
        const frm::FrmTableEntry &entry = definitionOf(definitions, table);
        const innodb::TableInSpace *found = spaces.find(entry.dictionaryName);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->entry.rootPage, entry.clusteredRootPage);
        EXPECT_EQ(found->entry.indexId, entry.clusteredIndexId);
        innodb::LongValueStore store;
        innodb::RecordDecoder decoder(entry, *found->file, store);
        ASSERT_TRUE(decoder.usable()) << decoder.problem();
        SqlTextSink sink;
        const auto read
            = innodb::readTableRows(*found->file, *found->scan, found->entry, decoder, sink);
        EXPECT_TRUE(read.problems.empty()) << read.problems.front();
        EXPECT_EQ(read.decoded.recordsRejected, 0u);
        EXPECT_EQ(read.decoded.valuesTruncated, 0u);

        // film_text is filled by the schema's triggers from film: its id, title and description.
        auto expected = sakilaDataRows(kDataFile, table == "film_text" ? "film" : table);
        if (table == "film_text") {
            for (auto &row : expected) {
                row.resize(3);
            }
        }
        ASSERT_EQ(sink.rows.size(), expected.size());
        // The key columns in key order: the tree's order, and the data file's after sorting.
        std::vector<std::size_t> keyColumns;
        for (const frm::KeyPart &part : entry.keys.at(0).parts) {
            keyColumns.push_back(part.column);
        }
        const auto keyOf = [&](const std::vector<std::string> &row) {
            std::vector<unsigned long long> key;
            for (const std::size_t c : keyColumns) {
                key.push_back(std::stoull(row.at(c)));
            }
            return key;
        };
        std::stable_sort(expected.begin(), expected.end(),
            [&](const auto &a, const auto &b) { return keyOf(a) < keyOf(b); });
        for (std::size_t r = 0; r < expected.size(); ++r) {
            ASSERT_GE(sink.rows[r].size(), expected[r].size());
            ASSERT_EQ(keyOf(sink.rows[r]), keyOf(expected[r])) << "row " << r;
            for (std::size_t c = 0; c < expected[r].size(); ++c) {
                const frm::ColumnDef &column = entry.definitionOrder[c];
                // The load ran in another time zone, and the data file writes a GEOMETRY as a
                // function call: the SDI, not the data file, is the authority on those.
                if (column.fieldType == frm::fieldtype::kTimestamp2
                    || column.fieldType == frm::fieldtype::kGeometry) {
                    continue;
                }
                ASSERT_EQ(sink.rows[r][c], expected[r][c]) << "row " << r << " column " << column.name;
            }
        }
    }
}

// Columns MySQL 8 changed in place leave records of several row versions that one definition
// cannot lay out: the table is refused by that reason, both where the SDI says so and where a
// record does.
class SdiInstantColumnsTest : public ::testing::Test
{
protected:
    // The SDI of actor.ibd as its server wrote it.
    static std::string actorSdi()
    {
        auto file = innodb::TablespaceFile::open((kSakila8 / "actor.ibd").string());
        EXPECT_TRUE(file.ok());
        auto records = innodb::readSdiRecords(*file);
        EXPECT_TRUE(records.ok()) << records.error().describe();
        for (const innodb::SdiRecord &record : *records) {
            if (record.type == innodb::kSdiTypeTable) {
                return record.json;
            }
        }
        ADD_FAILURE() << "actor.ibd keeps no table SDI";
        return {};
    }

    // `sdi` with `text` put in before the first occurrence of `anchor` after `from`.
    static std::string edited(
        std::string sdi, std::string_view from, std::string_view anchor, std::string_view text)
    {
        const std::size_t at = sdi.find(anchor, sdi.find(from));
        EXPECT_NE(at, std::string::npos) << anchor;
        return sdi.insert(at + anchor.size(), text);
    }
};

TEST_F(SdiInstantColumnsTest, ADefinitionWithRowVersionsOrAnInstantAddIsRefusedByName)
{
    const std::string sdi = actorSdi();
    ASSERT_TRUE(frm::tableFromSdi(sdi, "actor.ibd", "sakila/actor").ok());
    // 8.0.29 and later: the column names the row version that added it.
    const std::string added
        = edited(sdi, "\"name\":\"last_name\"", "\"se_private_data\":\"", "version_added=1;");
    // A column dropped in place stays in the SDI, renamed and hidden.
    std::string dropped = sdi;
    const std::string lastName = "\"name\":\"last_name\"";
    const std::size_t name = dropped.find(lastName);
    ASSERT_NE(name, std::string::npos);
    dropped.replace(name, lastName.size(), "\"name\":\"!hidden!_dropped_v1_p3_last_name\"");
    // 8.0.12 to 8.0.28: the table counts the columns its oldest records hold.
    const std::string instantAdd
        = edited(sdi, "\"se_private_data\":\"autoinc=", "\"se_private_data\":\"", "instant_col=3;");
    for (const auto &[text, reason] : { std::pair { added, frm::kRowVersionsRefusal },
             std::pair { dropped, frm::kRowVersionsRefusal },
             std::pair { instantAdd, frm::kInstantAddRefusal } }) {
        const auto table = frm::tableFromSdi(text, "actor.ibd", "sakila/actor");
        ASSERT_FALSE(table.ok());
        EXPECT_EQ(table.error().kind, common::ErrorKind::NotSupported);
        EXPECT_EQ(table.error().message, reason);
    }
}

TEST_F(SdiInstantColumnsTest, ARecordThatNamesARowVersionRefusesTheTable)
{
    // A copy of actor.ibd whose first record on its root leaf carries the row version flag,
    // its page checksum made good again: the record is sound, only its form is not read.
    TempDir dir;
    const std::filesystem::path copy = dir.path() / "actor.ibd";
    std::filesystem::copy_file(kSakila8 / "actor.ibd", copy);
    auto definition
        = innodb::readSdiDefinition(copy.string(), "actor.ibd", "sakila/actor");
    ASSERT_TRUE(definition.ok());
    constexpr std::size_t kPageSize = 16384;
    for (const std::uint8_t flag : { std::uint8_t { 0x40 }, std::uint8_t { 0x80 } }) {
        SCOPED_TRACE(static_cast<int>(flag));
        std::filesystem::remove(copy);
        std::filesystem::copy_file(kSakila8 / "actor.ibd", copy);
        std::filesystem::permissions(copy, std::filesystem::perms::owner_write,
            std::filesystem::perm_options::add);
        {
            std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
            std::vector<std::uint8_t> page(kPageSize);
            const std::streamoff at = std::streamoff { definition->clusteredRootPage } * kPageSize;
            file.seekg(at);
            file.read(reinterpret_cast<char *>(page.data()), kPageSize);
            // The infimum's next-record field (relative, at 97) leads to the first record.
            constexpr std::size_t kInfimum = 99;
            const auto next = static_cast<std::int16_t>((page[97] << 8) | page[98]);
            const std::size_t first = kInfimum + static_cast<std::size_t>(next);
            ASSERT_LT(first, kPageSize);
            page[first - 5] |= flag;
            const std::uint32_t crc = innodb::crc32Checksum(innodb::ConstPage(page));
            for (const std::size_t offset : { std::size_t { 0 }, kPageSize - 8 }) {
                for (int b = 0; b < 4; ++b) {
                    page[offset + b] = static_cast<std::uint8_t>(crc >> (24 - 8 * b));
                }
            }
            ASSERT_TRUE(innodb::checkPageEitherLayout(innodb::ConstPage(page)).ok());
            file.seekp(at);
            file.write(reinterpret_cast<const char *>(page.data()), kPageSize);
        }
        const std::vector<frm::FrmTableEntry> definitions { *definition };
        const innodb::TablespaceSet spaces
            = innodb::TablespaceSet::open("", dir.str(), definitions, "sakila");
        const innodb::TableInSpace *found = spaces.find("sakila/actor");
        ASSERT_NE(found, nullptr);
        innodb::LongValueStore store;
        innodb::RecordDecoder decoder(*definition, *found->file, store);
        ASSERT_TRUE(decoder.usable());
        SqlTextSink sink;
        (void)innodb::readTableRows(*found->file, *found->scan, found->entry, decoder, sink);
        EXPECT_FALSE(decoder.usable());
        EXPECT_EQ(decoder.problem(),
            flag == 0x40 ? frm::kRowVersionsRefusal : frm::kInstantAddRefusal);
        EXPECT_TRUE(sink.rows.empty());
    }
}

} // namespace

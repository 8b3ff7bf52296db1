// Definition files of MariaDB 10.11's own types and features, written by the server for the
// all-types fixture (tests/fixtures/all-types/plugins.sql, charsets.sql), and files the reader
// must refuse rather than misread.
#include "frm/column_type.h"
#include "frm/create_table_text.h"
#include "frm/table_definition_reader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace frm;

const fs::path kFolder = fs::path(ZR_ALL_TYPES_FIXTURE_DIR) / "Zarafa";
const fs::path kSamples = fs::path(ZR_SOURCE_DIR) / "tests/frm/data";

std::vector<std::uint8_t> readBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

common::Result<FrmTableEntry> parse(const std::vector<std::uint8_t> &bytes, const std::string &name)
{
    return parseTableDefinition(bytes, name + ".frm", "zarafa/" + name);
}

FrmTableEntry read(const std::string &name)
{
    auto table = parse(readBytes(kFolder / (name + ".frm")), name);
    EXPECT_TRUE(table.ok()) << (table.ok() ? "" : table.error().describe());
    return table.ok() ? *table : FrmTableEntry {};
}

const ColumnDef &column(const FrmTableEntry &table, const std::string &name)
{
    for (const ColumnDef &c : table.definitionOrder) {
        if (c.name == name) {
            return c;
        }
    }
    throw std::runtime_error("no column " + name);
}

// The 17-byte record of column `index` in a MariaDB 10 file (no screens).
std::size_t columnRecord(const std::vector<std::uint8_t> &bytes, std::size_t index)
{
    const std::size_t pointer = 64 + (bytes[4] | (bytes[5] << 8));
    const std::size_t form = bytes[pointer] | (bytes[pointer + 1] << 8) | (bytes[pointer + 2] << 16)
        | (std::size_t { bytes[pointer + 3] } << 24);
    return form + 288 + 17 * index;
}

TEST(FrmFeaturesTest, DataTypePluginsAreTheirOwnTypesNotTheStringsTheRecordsSay)
{
    const FrmTableEntry table = read("plugins");
    const ColumnDef &inet6 = column(table, "a6");
    EXPECT_EQ(inet6.dataTypeName, "inet6");
    EXPECT_EQ(inet6.fieldType, fieldtype::kString) << "the record's own type";
    EXPECT_EQ(inet6.size, 16) << "not CHAR(39)";
    EXPECT_EQ(column(table, "u").size, 16) << "not CHAR(36)";
    EXPECT_EQ(column(table, "a4").size, 4) << "not CHAR(15)";
    EXPECT_FALSE(column(table, "u").legacyUuid) << "written by 10.11.5+";
    EXPECT_EQ(column(table, "a4").defaultValue, "'0.0.0.0'");
    EXPECT_EQ(column(table, "key6").defaultValue, "'::1'");
    EXPECT_EQ(column(table, "j").check, "json_valid(`j`)") << "MariaDB's JSON";
    const std::string text = createTableText(table);
    for (const char *part :
        { "`a6` inet6 NULL DEFAULT NULL", "`u` uuid NULL", "`a4` inet4 NOT NULL",
            "longtext CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NULL CHECK (json_valid(`j`))",
            "KEY `by6` (`key6`) COMMENT 'addresses'" }) {
        EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
    }
}

TEST(FrmFeaturesTest, GeneratedInvisibleAndCheckedColumnsAndTheLongUniqueHash)
{
    const FrmTableEntry table = read("computed");
    EXPECT_EQ(column(table, "total").generation, ColumnDef::Generation::Virtual);
    EXPECT_EQ(column(table, "label").generation, ColumnDef::Generation::Stored);
    EXPECT_FALSE(isStoredColumn(column(table, "total")));
    EXPECT_TRUE(isStoredColumn(column(table, "label")));
    EXPECT_FALSE(isInsertedColumn(column(table, "label")));
    EXPECT_TRUE(column(table, "secret").invisible);
    EXPECT_EQ(column(table, "price").defaultValue, "(1 + 1)");
    EXPECT_EQ(column(table, "qty").check, "`qty` >= 0");
    ASSERT_EQ(table.checks.size(), 1u);
    EXPECT_EQ(table.checks[0].name, "positive");
    // The server's own hash column of UNIQUE (body) is not part of the table it rebuilds.
    const auto hidden = std::count_if(table.definitionOrder.begin(), table.definitionOrder.end(),
        [](const ColumnDef &c) { return c.hiddenByServer; });
    EXPECT_EQ(hidden, 1);
    const std::string text = createTableText(table);
    EXPECT_EQ(text.find("DB_ROW_HASH"), std::string::npos) << text;
    EXPECT_NE(text.find("UNIQUE KEY `whole_body` (`body`) USING HASH"), std::string::npos) << text;
    EXPECT_NE(text.find("KEY `by_label` (`label`) USING BTREE"), std::string::npos) << text;
    EXPECT_NE(text.find("CONSTRAINT `positive` CHECK (`price` > 0)"), std::string::npos) << text;
}

TEST(FrmFeaturesTest, CharsetsOfEveryWidthKeepTheirOwnLengthsDefaultsAndMembers)
{
    const FrmTableEntry table = read("charsets");
    const ColumnDef &utf16 = column(table, "v16");
    EXPECT_EQ(utf16.maxBytesPerChar, 4);
    EXPECT_EQ(utf16.minBytesPerChar, 2);
    EXPECT_EQ(sqlTypeText(utf16), "varchar(30)") << "not varchar(120)";
    // The default in utf16 itself, named so: not utf8 bytes that spell something else.
    EXPECT_EQ(utf16.defaultValue, "_utf16 X'043F04400438043C04350440'");
    EXPECT_EQ(column(table, "e16").elements.at(0),
        std::string("\x04\x3E\x04\x34\x04\x38\x04\x3D", 8))
        << "the .frm keeps ucs2, utf16 and utf32 members as hex text";
    EXPECT_EQ(column(table, "cu2").minBytesPerChar, 2);
    EXPECT_EQ(column(table, "c32").minBytesPerChar, 4);
    const std::string text = createTableText(table);
    EXPECT_NE(text.find("`v16` varchar(30) CHARACTER SET utf16 COLLATE utf16_general_ci"),
        std::string::npos)
        << text;
}

TEST(FrmFeaturesTest, ATypeThisReaderDoesNotKnowRefusesTheTableByNameWithItsCode)
{
    // Column 2 of the sample of every type gets type code 144, which no server writes.
    auto bytes = readBytes(kSamples / "samples/alltypes.frm");
    const std::size_t record = columnRecord(bytes, 2);
    const auto original = parse(bytes, "alltypes");
    ASSERT_TRUE(original.ok());
    const std::string name = original->definitionOrder[2].name;
    bytes[record + 13] = 144;
    const auto refused = parse(bytes, "alltypes");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(definitionProblem(refused.error()), DefinitionProblem::Unsupported);
    EXPECT_NE(refused.error().message.find("column " + name), std::string::npos)
        << refused.error().message;
    EXPECT_NE(refused.error().message.find("type code 144"), std::string::npos)
        << refused.error().message;

    // A data type plugin this program does not know.
    auto plugins = readBytes(kFolder / "plugins.frm");
    const auto at
        = std::search(plugins.begin(), plugins.end(), std::begin("inet4"), std::begin("inet4") + 5);
    ASSERT_NE(at, plugins.end());
    *at = 'x';
    const auto unknownPlugin = parse(plugins, "plugins");
    ASSERT_FALSE(unknownPlugin.ok());
    EXPECT_EQ(definitionProblem(unknownPlugin.error()), DefinitionProblem::Unsupported);
    EXPECT_NE(unknownPlugin.error().message.find("xnet4"), std::string::npos)
        << unknownPlugin.error().message;

    // MySQL 5.7's binary JSON and a geometry subtype beyond the eight.
    auto json = readBytes(kSamples / "samples/alltypes.frm");
    json[record + 13] = fieldtype::kJson;
    ASSERT_FALSE(parse(json, "alltypes").ok());
    auto geometry = readBytes(kFolder / "geo.frm");
    geometry[columnRecord(geometry, 1) + 14] = 9;
    const auto badGeometry = parse(geometry, "geo");
    ASSERT_FALSE(badGeometry.ok());
    EXPECT_NE(badGeometry.error().message.find("geometry subtype 9"), std::string::npos);
}

TEST(FrmFeaturesTest, AViewIsNoTableAndNoDamage)
{
    const auto view = readTableDefinition(
        (kFolder / "charset_view.frm").string(), "charset_view.frm", "zarafa/charset_view");
    ASSERT_FALSE(view.ok());
    EXPECT_EQ(definitionProblem(view.error()), DefinitionProblem::View);
}

} // namespace

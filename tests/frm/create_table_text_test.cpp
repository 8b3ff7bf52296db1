// The CREATE TABLE text, checked without a server (compare-create-table.sh checks it with one).
#include "frm/charset.h"
#include "frm/column_type.h"
#include "frm/create_table_text.h"
#include "frm/table_definition_reader.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using namespace frm;

ColumnDef makeColumn(
    std::string name, std::uint8_t fieldType, std::uint32_t length, std::uint16_t charset)
{
    ColumnDef column;
    column.name = std::move(name);
    column.fieldType = fieldType;
    column.byteLength = length;
    column.charset = charset;
    column.maxBytesPerChar = maxBytesPerChar(charset);
    column.typeName = std::string(columnTypeName(fieldType, charset));
    column.typeCode = typeCode(charset, fieldType);
    return column;
}

// The stores example: charset 8, an unsigned AUTO_INCREMENT id and a latin1_bin user name.
FrmTableEntry storesExample()
{
    FrmTableEntry table;
    table.fileName = "stores.frm";
    table.tableName = "stores";
    table.defaultCharset = kCharsetLatin1;
    ColumnDef id = makeColumn("id", fieldtype::kLong, 10, kCharsetLatin1);
    id.isUnsigned = true;
    id.kind = "AUTO_INCREMENT";
    ColumnDef userName = makeColumn("user_name", fieldtype::kVarchar, 255, kCharsetLatin1Bin);
    table.definitionOrder = { id, userName };
    table.keys = { KeyDef { "PRIMARY", KeyKind::Primary, 0, { KeyPart { 0, 0, 4 } },
        kKeyAlgorithmDefault, {}, false } };
    return table;
}

TEST(CreateTableTextTest, StoresExample)
{
    EXPECT_EQ(createTableText(storesExample()),
        "create table `stores` (`id` int(10) unsigned NOT NULL AUTO_INCREMENT,"
        "`user_name` varchar(255) CHARACTER SET latin1 COLLATE latin1_bin NOT NULL,"
        "PRIMARY KEY (`id`))ENGINE=myisam charset = latin1");
}

TEST(CreateTableTextTest, TableWithoutKeysEndingInABlobAndNoCharsetClause)
{
    FrmTableEntry table;
    table.tableName = "t";
    table.defaultCharset = kCharsetBinary;
    ColumnDef a = makeColumn("a", fieldtype::kLong, 11, kCharsetBinary);
    a.nullable = true;
    a.defaultValue = "NULL";
    ColumnDef b = makeColumn("b", fieldtype::kBlob, 8, kCharsetBinary);
    b.nullable = true;
    table.definitionOrder = { a, b };
    EXPECT_EQ(createTableText(table),
        "create table `t` (`a` int(11) NULL DEFAULT NULL,`b` blob NULL)ENGINE=myisam ");
}

TEST(CreateTableTextTest, CharacterSetClausesOnlyWhereTheColumnDiffersFromTheTable)
{
    FrmTableEntry table;
    table.tableName = "t";
    table.defaultCharset = kCharsetUtf8;
    table.definitionOrder = { makeColumn("bin", fieldtype::kVarchar, 300, kCharsetUtf8Bin),
        makeColumn("plain", fieldtype::kVarchar, 30, kCharsetUtf8),
        makeColumn("latin", fieldtype::kVarchar, 10, kCharsetLatin1),
        makeColumn("raw", fieldtype::kVarchar, 64, kCharsetBinary) };
    EXPECT_EQ(columnClause(table, table.definitionOrder[0]),
        "`bin` varchar(100) CHARACTER SET utf8 COLLATE utf8_bin NOT NULL");
    EXPECT_EQ(columnClause(table, table.definitionOrder[1]), "`plain` varchar(10) NOT NULL");
    EXPECT_EQ(columnClause(table, table.definitionOrder[2]),
        "`latin` varchar(10) CHARACTER SET latin1 COLLATE latin1_swedish_ci NOT NULL");
    EXPECT_EQ(columnClause(table, table.definitionOrder[3]), "`raw` varbinary(64) NOT NULL");
    EXPECT_NE(createTableText(table).find(")ENGINE=myisam charset = utf8"), std::string::npos);
}

TEST(CreateTableTextTest, KeysByTheirOwnKindWithoutTrailingCommas)
{
    FrmTableEntry table = storesExample();
    table.definitionOrder.push_back(makeColumn("guid", fieldtype::kBlob, 8, kCharsetBinary));
    table.keys = {
        KeyDef { "PRIMARY", KeyKind::Primary, 0, { KeyPart { 0, 0, 4 }, KeyPart { 1, 0, 255 } },
            kKeyAlgorithmDefault, {}, false },
        KeyDef {
            "u", KeyKind::Unique, 0, { KeyPart { 1, 0, 255 } }, kKeyAlgorithmDefault, {}, false },
        KeyDef { "k", KeyKind::Plain, 1, { KeyPart { 2, 16, 16 }, KeyPart { 0, 0, 4 } },
            kKeyAlgorithmDefault, {}, false },
    };
    EXPECT_EQ(keyClause(table, table.keys[0]), "PRIMARY KEY (`id`,`user_name`)");
    EXPECT_EQ(keyClause(table, table.keys[1]), "UNIQUE KEY `u` (`user_name`)");
    EXPECT_EQ(keyClause(table, table.keys[2]), "KEY `k` (`guid`(16),`id`)");
    const std::string text = createTableText(table);
    EXPECT_EQ(text.find(",)"), std::string::npos);
    EXPECT_NE(text.find("PRIMARY KEY (`id`,`user_name`),UNIQUE KEY `u` (`user_name`),KEY `k`"),
        std::string::npos);
}

TEST(CreateTableTextTest, NamesFromAFileCannotBreakTheStatement)
{
    EXPECT_EQ(quoteIdentifier("plain"), "`plain`");
    EXPECT_EQ(quoteIdentifier("a`b"), "`a``b`");
    FrmTableEntry table = storesExample();
    table.tableName = "x` (a int); drop database zarafa; -- ";
    table.definitionOrder[1].name = "n`, `m";
    const std::string text = createTableText(table);
    EXPECT_EQ(text.rfind("create table `x`` (a int); drop database zarafa; -- ` (", 0), 0U);
    EXPECT_NE(text.find("`n``, ``m` varchar"), std::string::npos);
}

TEST(CreateTableTextTest, DefaultsAreLiteralsThatCannotBreakTheStatement)
{
    FrmTableEntry table;
    table.tableName = "t";
    table.defaultCharset = kCharsetLatin1;
    ColumnDef column = makeColumn("c", fieldtype::kVarchar, 20, kCharsetLatin1);
    column.defaultValue = "X'E9270D'";
    EXPECT_EQ(columnClause(table, column), "`c` varchar(20) NOT NULL DEFAULT X'E9270D'");
}

TEST(CreateTableTextTest, ZarafaTablesFromTheirFiles)
{
    const std::filesystem::path data = std::filesystem::path(ZR_SOURCE_DIR) / "tests/frm/data";
    const auto lob
        = readTableDefinition((data / "zarafa/lob.frm").string(), "lob.frm", "zarafa/lob");
    ASSERT_TRUE(lob.ok());
    EXPECT_EQ(createTableText(*lob),
        "create table `lob` (`instanceid` int(10) unsigned NOT NULL,"
        "`chunkid` smallint(5) unsigned NOT NULL,`tag` smallint(5) unsigned NOT NULL,"
        "`val_binary` longblob NULL,PRIMARY KEY (`instanceid`,`tag`,`chunkid`))"
        "ENGINE=myisam charset = utf8 MAX_ROWS=1000000000 AVG_ROW_LENGTH=1750");
    const auto properties = readTableDefinition(
        (data / "zarafa/properties.frm").string(), "properties.frm", "zarafa/properties");
    ASSERT_TRUE(properties.ok());
    EXPECT_NE(
        createTableText(*properties).find("`comp` tinyint(1) NULL DEFAULT 0,"), std::string::npos);
    EXPECT_NE(createTableText(*properties).find("`val_double` double NULL DEFAULT NULL,"),
        std::string::npos);
}

} // namespace

// The column type model: type names, sizes and the SQL type text.
#include "frm/charset.h"
#include "frm/column_type.h"

#include <gtest/gtest.h>

namespace {

using namespace frm;

TEST(ColumnTypeTest, KeyListNamesFollowTheClassicTable)
{
    EXPECT_EQ(keyListTypeName(0x0803), "Int");
    EXPECT_EQ(keyListTypeName(0x210C), "DateTime");
    EXPECT_EQ(keyListTypeName(0x21F9), "Text");
    EXPECT_EQ(keyListTypeName(0x08FA), "Medium Text");
    EXPECT_EQ(keyListTypeName(0x3FFC), "Blob");
    // utf8 VARCHAR is absent from this table.
    EXPECT_FALSE(keyListTypeName(0x210F).has_value());
    EXPECT_FALSE(keyListTypeName(0x530F).has_value());
}

TEST(ColumnTypeTest, EveryFieldTypeHasANameIncludingTheCodesTheClassicTableLacks)
{
    // utf8 Float, DateTime and Decimal (0x2104, 0x210C, 0x21F6) get their proper names.
    EXPECT_EQ(columnTypeName(fieldtype::kFloat, kCharsetUtf8), "Float");
    EXPECT_EQ(columnTypeName(fieldtype::kDateTime, kCharsetUtf8), "DateTime");
    EXPECT_EQ(columnTypeName(fieldtype::kNewDecimal, kCharsetUtf8), "Decimal");
    EXPECT_EQ(columnTypeName(fieldtype::kVarchar, kCharsetUtf8Bin), "Varchar");
    EXPECT_EQ(columnTypeName(fieldtype::kVarchar, kCharsetBinary), "VarBinary");
    EXPECT_EQ(columnTypeName(fieldtype::kMediumBlob, kCharsetLatin1), "Medium Text");
    EXPECT_EQ(columnTypeName(fieldtype::kMediumBlob, kCharsetBinary), "MediumBlob");
    EXPECT_EQ(columnTypeName(fieldtype::kTinyBlob, kCharsetUtf8), "TinyText");
    EXPECT_EQ(columnTypeName(fieldtype::kString, kCharsetBinary), "Binary");
    EXPECT_EQ(columnTypeName(fieldtype::kDouble, 0), "DOUBLE");
    EXPECT_EQ(columnTypeName(99, kCharsetUtf8), "");
}

TEST(ColumnTypeTest, VariableLengthNamesIncludeMediumText)
{
    for (const char *name : { "VarBinary", "LongText", "blob", "VARCHAR", "TinyBlob", "Text",
             "Medium_Text", "LongBlob", "Medium Text", "MediumBlob" }) {
        EXPECT_TRUE(isVariableLengthTypeName(name)) << name;
    }
    for (const char *name : { "Int", "Char", "DateTime", "DOUBLE", "" }) {
        EXPECT_FALSE(isVariableLengthTypeName(name)) << name;
    }
}

TEST(ColumnTypeTest, LongLengthFollowsTheByteLength)
{
    EXPECT_TRUE(hasLongLength("Varchar", 300));
    EXPECT_TRUE(hasLongLength("Varchar", 765)); // VARCHAR(255) of utf8
    EXPECT_FALSE(hasLongLength("Varchar", 255));
    EXPECT_TRUE(hasLongLength("VarBinary", 256));
    EXPECT_FALSE(hasLongLength("Text", 300));
}

TEST(ColumnTypeTest, DecimalSizesAndFractionalDigits)
{
    EXPECT_EQ(decimalStorageSize(10, 2), 5U);
    EXPECT_EQ(decimalStorageSize(20, 5), 10U);
    EXPECT_EQ(decimalStorageSize(30, 20), 14U);
    EXPECT_EQ(decimalStorageSize(65, 30), 30U);
    EXPECT_EQ(decimalStorageSize(4, 2), 2U);
    EXPECT_EQ(temporalFractionalDigits(fieldtype::kDateTime, 19), 0);
    EXPECT_EQ(temporalFractionalDigits(fieldtype::kDateTime, 26), 6);
    EXPECT_EQ(temporalFractionalDigits(fieldtype::kTimestamp, 14), 0); // MySQL 5.0 files
    EXPECT_EQ(temporalFractionalDigits(fieldtype::kTime, 14), 3);
}

TEST(ColumnTypeTest, SizesDivideByTheColumnsOwnCharacterSet)
{
    ColumnDef column;
    column.fieldType = fieldtype::kVarchar;
    column.byteLength = 765;
    column.charset = kCharsetUtf8;
    column.maxBytesPerChar = maxBytesPerChar(kCharsetUtf8);
    EXPECT_EQ(columnSize(column), 255);
    EXPECT_EQ(sqlTypeText(column), "varchar(255)");

    // VARBINARY(64) in a utf8 table keeps its 64 bytes.
    column.byteLength = 64;
    column.charset = kCharsetBinary;
    column.maxBytesPerChar = maxBytesPerChar(kCharsetBinary);
    EXPECT_EQ(columnSize(column), 64);
    EXPECT_EQ(sqlTypeText(column), "varbinary(64)");

    column.fieldType = fieldtype::kLong;
    column.byteLength = 11;
    EXPECT_EQ(columnSize(column), 4);
    EXPECT_EQ(sqlTypeText(column), "int(11)");
}

TEST(ColumnTypeTest, SqlTypesAreWrittenAsTheServerWritesThem)
{
    ColumnDef column;
    const auto type = [&](std::uint8_t fieldType, std::uint32_t length) {
        column.fieldType = fieldType;
        column.byteLength = length;
        column.fractionalDigits = temporalFractionalDigits(fieldType, length);
        return sqlTypeText(column);
    };
    // No size after the date and time types, DOUBLE and FLOAT without (M,D).
    EXPECT_EQ(type(fieldtype::kNewDate, 10), "date");
    EXPECT_EQ(type(fieldtype::kTimestamp, 19), "timestamp");
    EXPECT_EQ(type(fieldtype::kDateTime, 19), "datetime");
    EXPECT_EQ(type(fieldtype::kDateTime, 23), "datetime(3)");
    column.scale = 31;
    EXPECT_EQ(type(fieldtype::kDouble, 22), "double");
    EXPECT_EQ(type(fieldtype::kFloat, 12), "float");
    column.scale = 4;
    EXPECT_EQ(type(fieldtype::kDouble, 12), "double(12,4)");
    // Decimal with its scale, medium text as one word.
    column.precision = 10;
    column.scale = 2;
    column.isUnsigned = true;
    EXPECT_EQ(type(fieldtype::kNewDecimal, 11), "decimal(10,2) unsigned");
    column.isUnsigned = false;
    EXPECT_EQ(type(fieldtype::kMediumBlob, 8), "mediumtext");
    column.charset = kCharsetBinary;
    EXPECT_EQ(type(fieldtype::kMediumBlob, 8), "mediumblob");
    column.elements = { "a", "it's" };
    EXPECT_EQ(type(fieldtype::kEnum, 4), "enum('a','it''s')");
    EXPECT_EQ(type(fieldtype::kBit, 10), "bit(10)");
}

// MySQL 8's 0900 collations: the workshop takes MariaDB's UCA 14 NO PAD counterparts, a dump for
// any server the older collation of the same language and strength; the others stay as they are.
TEST(CollationTest, MySql8CollationsHaveAWorkshopAndAPortableCounterpart)
{
    const auto name = [](std::uint16_t id) {
        const Collation *collation = findCollation(id);
        return collation ? std::string(collation->name) : std::string("?");
    };
    const Collation *aiCi = findCollation(255);
    ASSERT_NE(aiCi, nullptr);
    EXPECT_EQ(aiCi->name, "utf8mb4_0900_ai_ci");
    EXPECT_EQ(workshopCollationName(*aiCi), "utf8mb4_uca1400_nopad_ai_ci");
    EXPECT_EQ(name(portableCollation(255)), "utf8mb4_unicode_ci");
    EXPECT_EQ(name(portableCollation(256)), "utf8mb4_german2_ci"); // utf8mb4_de_pb_0900_ai_ci
    EXPECT_EQ(name(portableCollation(278)), "utf8mb4_bin"); // utf8mb4_0900_as_cs
    EXPECT_EQ(portableCollation(kCharsetUtf8), kCharsetUtf8);
    EXPECT_EQ(portableCollation(kCharsetUtf8mb4), kCharsetUtf8mb4);
    EXPECT_EQ(workshopCollationName(*findCollation(kCharsetUtf8)), "utf8_general_ci");
}

} // namespace


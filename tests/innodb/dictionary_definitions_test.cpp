// The definitions InnoDB's dictionary gives, against the .frm files the same server wrote for the
// same tables: everything that decides a record's layout and the rebuilt table's bytes must agree.
#include "frm/column_type.h"
#include "frm/table_definition_reader.h"
#include "innodb/dictionary_definitions.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace frm::fieldtype;

const std::string kFixture = ZR_ZARAFA_FIXTURE_DIR;

std::vector<innodb::DictionaryDefinition> fixtureDefinitions()
{
    auto read = innodb::readDictionaryDefinitions(kFixture + "/ibdata1");
    EXPECT_TRUE(read.ok()) << (read.ok() ? "" : read.error().describe());
    EXPECT_TRUE(read.ok() && read->problems.empty());
    return read.ok() ? read->tables : std::vector<innodb::DictionaryDefinition> {};
}

void expectSameColumn(const frm::ColumnDef &frm, const frm::ColumnDef &dictionary,
    const std::string &table)
{
    SCOPED_TRACE(table + "." + frm.name);
    EXPECT_EQ(dictionary.name, frm.name);
    EXPECT_EQ(dictionary.fieldType, frm.fieldType);
    EXPECT_EQ(dictionary.typeName, frm.typeName);
    EXPECT_EQ(dictionary.nullable, frm.nullable);
    EXPECT_EQ(dictionary.isUnsigned, frm.isUnsigned);
    EXPECT_EQ(dictionary.size, frm.size);
    EXPECT_EQ(dictionary.longLength, frm.longLength);
    EXPECT_EQ(dictionary.fractionalDigits, frm.fractionalDigits);
    if (frm::isCharacterFieldType(frm.fieldType) || frm::isBlobFieldType(frm.fieldType)) {
        EXPECT_EQ(dictionary.charset, frm.charset);
        EXPECT_EQ(dictionary.maxBytesPerChar, frm.maxBytesPerChar);
    }
    if (!frm::isNumericFieldType(frm.fieldType)) {
        EXPECT_EQ(dictionary.byteLength, frm.byteLength);
    }
    // What a CREATE TABLE says of the type, but for the display widths the dictionary lacks.
    if (!frm::isNumericFieldType(frm.fieldType)) {
        EXPECT_EQ(frm::sqlTypeText(dictionary), frm::sqlTypeText(frm));
    }
}

TEST(DictionaryDefinitions, EveryZarafaTableAgreesWithItsFrmFile)
{
    const auto definitions = fixtureDefinitions();
    std::size_t compared = 0;
    for (const auto &definition : definitions) {
        ASSERT_TRUE(definition.unsupported.empty())
            << definition.dictionaryName << ": " << definition.unsupported;
        const frm::FrmTableEntry &dictionary = definition.table;
        const std::string fileName = dictionary.fileName + ".frm";
        const auto frm = frm::readTableDefinition(
            kFixture + "/Zarafa/" + fileName, fileName, definition.dictionaryName);
        ASSERT_TRUE(frm.ok()) << fileName;
        SCOPED_TRACE(definition.dictionaryName);
        EXPECT_EQ(dictionary.source, frm::DefinitionSource::Dictionary);
        EXPECT_EQ(frm->source, frm::DefinitionSource::Frm);
        EXPECT_EQ(dictionary.tableName, frm->tableName);
        ASSERT_EQ(dictionary.definitionOrder.size(), frm->definitionOrder.size());
        for (std::size_t c = 0; c < frm->definitionOrder.size(); ++c) {
            expectSameColumn(frm->definitionOrder[c], dictionary.definitionOrder[c],
                definition.dictionaryName);
        }
        ASSERT_EQ(dictionary.recordOrder.size(), frm->recordOrder.size());
        for (std::size_t c = 0; c < frm->recordOrder.size(); ++c) {
            EXPECT_EQ(dictionary.recordOrder[c].name, frm->recordOrder[c].name);
        }
        EXPECT_EQ(dictionary.nullableColumns, frm->nullableColumns);
        EXPECT_EQ(dictionary.variableColumns, frm->variableColumns);
        EXPECT_EQ(dictionary.clusteredKey, frm->clusteredKey);
        EXPECT_EQ(dictionary.hasPrimaryKey, frm->hasPrimaryKey);
        // Keys by name: the server may keep them in another order than the .frm.
        ASSERT_EQ(dictionary.keys.size(), frm->keys.size());
        for (const frm::KeyDef &key : frm->keys) {
            SCOPED_TRACE(key.name);
            const auto found = std::find_if(dictionary.keys.begin(), dictionary.keys.end(),
                [&](const frm::KeyDef &k) { return k.name == key.name; });
            ASSERT_NE(found, dictionary.keys.end());
            EXPECT_EQ(found->kind, key.kind);
            ASSERT_EQ(found->parts.size(), key.parts.size());
            for (std::size_t p = 0; p < key.parts.size(); ++p) {
                EXPECT_EQ(found->parts[p].column, key.parts[p].column);
                EXPECT_EQ(found->parts[p].prefixLength, key.parts[p].prefixLength);
            }
        }
        EXPECT_FALSE(dictionary.definitionNotes.empty());
        ++compared;
    }
    // Every table of the generated folder is in the dictionary.
    std::size_t frmFiles = 0;
    for (const auto &entry : fs::directory_iterator(kFixture + "/Zarafa")) {
        frmFiles += entry.path().extension() == ".frm";
    }
    EXPECT_EQ(compared, frmFiles);
}

TEST(DictionaryDefinitions, TypesTheDictionaryCannotDescribeAreRefusedNotGuessed)
{
    std::string unsupported;
    innodb::DictionaryColumn column;
    column.name = "kind";
    column.mainType = innodb::mtype::kInt;
    column.preciseType = kString | innodb::prtype::kUnsigned; // how InnoDB stores an ENUM
    column.length = 1;
    innodb::columnFromDictionary(column, unsupported);
    EXPECT_NE(unsupported.find("ENUM or SET"), std::string::npos) << unsupported;

    unsupported.clear();
    column.mainType = innodb::mtype::kFixBinary;
    column.preciseType = kNewDecimal;
    column.length = 5;
    innodb::columnFromDictionary(column, unsupported);
    EXPECT_NE(unsupported.find("DECIMAL"), std::string::npos) << unsupported;

    // A BLOB's pack length names its kind; a utf8 TEXT keeps its collation.
    unsupported.clear();
    column.mainType = innodb::mtype::kBlob;
    column.preciseType = kBlob | (33u << innodb::prtype::kCharsetShift);
    column.length = 12;
    const frm::ColumnDef text = innodb::columnFromDictionary(column, unsupported);
    EXPECT_TRUE(unsupported.empty()) << unsupported;
    EXPECT_EQ(text.fieldType, kLongBlob);
    EXPECT_EQ(frm::sqlTypeText(text), "longtext");
}

TEST(DictionaryDefinitions, FieldPositionsUnpackPrefixLengths)
{
    innodb::DictionaryField field;
    // An index (guid(16), nameid): the first field packs its prefix, the next its position.
    EXPECT_EQ(innodb::unpackFieldPosition(field, 16, true).prefixLength, 16u);
    EXPECT_EQ(innodb::unpackFieldPosition(field, 16, true).position, 0u);
    EXPECT_EQ(innodb::unpackFieldPosition(field, 0x10000, false).position, 1u);
    EXPECT_EQ(innodb::unpackFieldPosition(field, 0x10000, false).prefixLength, 0u);
    // An index without prefixes keeps plain positions.
    EXPECT_EQ(innodb::unpackFieldPosition(field, 2, false).position, 2u);
    EXPECT_EQ(innodb::unpackFieldPosition(field, 2, false).prefixLength, 0u);
}

} // namespace

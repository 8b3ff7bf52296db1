// The definition reader on real files: MySQL 5.0 (sakila) and MariaDB 10.11 (tests/frm/data), and
// on damaged ones.
#include "frm/column_type.h"
#include "frm/table_definition_reader.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace {

namespace fs = std::filesystem;
using namespace frm;

const fs::path kSamples = fs::path(ZR_SOURCE_DIR) / "tests/frm/data";

fs::path sakila(const std::string &table)
{
    return testing_support::sharedFixtures() / "mysql-5.0-sakila/sakila" / (table + ".frm");
}

std::vector<std::uint8_t> readBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

FrmTableEntry read(const fs::path &path)
{
    const std::string fileName = path.filename().string();
    auto table = readTableDefinition(path.string(), fileName, "zarafa/" + path.stem().string());
    EXPECT_TRUE(table.ok()) << (table.ok() ? "" : table.error().describe());
    return table.ok() ? *table : FrmTableEntry {};
}

std::vector<std::string> names(const std::vector<ColumnDef> &columns)
{
    std::vector<std::string> out;
    for (const ColumnDef &column : columns) {
        out.push_back(column.name);
    }
    return out;
}

const ColumnDef &column(const FrmTableEntry &table, std::string_view name)
{
    for (const ColumnDef &c : table.definitionOrder) {
        if (c.name == name) {
            return c;
        }
    }
    static const ColumnDef kNone;
    ADD_FAILURE() << "no column " << name;
    return kNone;
}

TEST(SakilaDefinitionTest, FilmMatchesTheSchema)
{
    const FrmTableEntry film = read(sakila("film"));
    EXPECT_EQ(film.serverVersion, 50096U);
    EXPECT_EQ(film.defaultCharset, 33);
    EXPECT_EQ(names(film.definitionOrder),
        (std::vector<std::string> { "film_id", "title", "description", "release_year",
            "language_id", "original_language_id", "rental_duration", "rental_rate", "length",
            "replacement_cost", "rating", "special_features", "last_update" }));
    const ColumnDef &id = column(film, "film_id");
    EXPECT_EQ(id.typeName, "SmallInt");
    EXPECT_TRUE(id.isUnsigned);
    EXPECT_EQ(id.kind, "AUTO_INCREMENT");
    EXPECT_EQ(id.size, 2);
    const ColumnDef &title = column(film, "title");
    EXPECT_EQ(title.typeName, "Varchar");
    EXPECT_EQ(title.byteLength, 765U);
    EXPECT_EQ(title.size, 255);
    EXPECT_TRUE(title.longLength);
    EXPECT_FALSE(title.nullable);
    EXPECT_FALSE(title.defaultValue.has_value());
    EXPECT_EQ(column(film, "description").typeName, "Text");
    EXPECT_TRUE(column(film, "description").nullable);
    EXPECT_EQ(sqlTypeText(column(film, "rental_rate")), "decimal(4,2)");
    EXPECT_EQ(column(film, "rental_rate").defaultValue, "4.99");
    EXPECT_EQ(column(film, "rating").elements,
        (std::vector<std::string> { "G", "PG", "PG-13", "R", "NC-17" }));
    EXPECT_EQ(column(film, "rating").defaultValue, "'G'");
    EXPECT_EQ(column(film, "special_features").elements.size(), 4U);
    const ColumnDef &update = column(film, "last_update");
    EXPECT_EQ(update.typeName, "TimeStamp");
    EXPECT_EQ(update.size, 4);
    EXPECT_EQ(update.defaultValue, "CURRENT_TIMESTAMP");
    EXPECT_TRUE(update.onUpdateCurrentTimestamp);

    EXPECT_TRUE(film.hasPrimaryKey);
    EXPECT_EQ(film.firstKeyParts, 1);
    EXPECT_EQ(film.keyClauses.front(), "PRIMARY KEY (`film_id`)");
    EXPECT_EQ(film.keyClauses[1], "KEY `idx_title` (`title`)");
    EXPECT_EQ(film.nullableColumns, 6);
}

TEST(SakilaDefinitionTest, TwoColumnPrimaryKeyLeadsTheRecordOrder)
{
    const FrmTableEntry filmActor = read(sakila("film_actor"));
    EXPECT_EQ(filmActor.keyClauses.front(), "PRIMARY KEY (`actor_id`,`film_id`)");
    EXPECT_EQ(names(filmActor.recordOrder),
        (std::vector<std::string> { "actor_id", "film_id", "last_update" }));
    EXPECT_EQ(column(filmActor, "film_id").primaryPosition, 2);
    EXPECT_EQ(column(filmActor, "film_id").keyText, "PRIMARY KEY");
    EXPECT_EQ(column(filmActor, "last_update").primaryPosition, 0);
    EXPECT_EQ(filmActor.clusteredKeyParts, 2);

    // A primary key that is not the first column still leads the record.
    const FrmTableEntry category = read(sakila("film_category"));
    EXPECT_EQ(category.recordOrder.front().name, "film_id");
}

TEST(SakilaDefinitionTest, EveryTableReadsWithDeclaredLengthsAndPrimaryKeys)
{
    struct Expected
    {
        const char *table;
        const char *column;
        std::uint16_t size;
        bool nullable;
        const char *primaryKey;
    };
    for (const Expected &e : {
             Expected { "actor", "first_name", 45, false, "PRIMARY KEY (`actor_id`)" },
             Expected { "address", "address2", 50, true, "PRIMARY KEY (`address_id`)" },
             Expected { "customer", "email", 50, true, "PRIMARY KEY (`customer_id`)" },
             Expected { "language", "name", 20, false, "PRIMARY KEY (`language_id`)" },
             Expected { "payment", "rental_id", 4, true, "PRIMARY KEY (`payment_id`)" },
             Expected { "rental", "return_date", 8, true, "PRIMARY KEY (`rental_id`)" },
             Expected { "staff", "picture", 8, true, "PRIMARY KEY (`staff_id`)" },
             Expected { "store", "manager_staff_id", 1, false, "PRIMARY KEY (`store_id`)" },
             Expected { "city", "city", 50, false, "PRIMARY KEY (`city_id`)" },
             Expected { "country", "country", 50, false, "PRIMARY KEY (`country_id`)" },
             Expected { "category", "name", 25, false, "PRIMARY KEY (`category_id`)" },
             Expected { "inventory", "film_id", 2, false, "PRIMARY KEY (`inventory_id`)" },
         }) {
        SCOPED_TRACE(e.table);
        const FrmTableEntry table = read(sakila(e.table));
        EXPECT_EQ(column(table, e.column).size, e.size);
        EXPECT_EQ(column(table, e.column).nullable, e.nullable);
        ASSERT_FALSE(table.keyClauses.empty());
        EXPECT_EQ(table.keyClauses.front(), e.primaryKey);
        EXPECT_EQ(table.recordOrder.size(), table.definitionOrder.size());
    }
    EXPECT_EQ(column(read(sakila("language")), "name").typeName, "Char");
    EXPECT_EQ(column(read(sakila("staff")), "picture").typeName, "Blob");
    EXPECT_EQ(column(read(sakila("rental")), "rental_date").typeName, "DateTime");
    EXPECT_EQ(column(read(sakila("staff")), "password").charset, 83);
}

TEST(MariaDbDefinitionTest, ZarafaStoresInAUtf8Table)
{
    const FrmTableEntry stores = read(kSamples / "zarafa/stores.frm");
    EXPECT_EQ(stores.serverVersion / 10000, 10U);
    EXPECT_EQ(stores.dictionaryName, "zarafa/stores");
    EXPECT_EQ(stores.tableName, "stores");
    const ColumnDef &userName = column(stores, "user_name");
    EXPECT_EQ(userName.byteLength, 765U);
    EXPECT_EQ(userName.maxBytesPerChar, 3);
    EXPECT_EQ(userName.size, 255);
    EXPECT_TRUE(userName.longLength);
    EXPECT_EQ(userName.defaultValue, "''");
    EXPECT_EQ(column(stores, "guid").typeName, "Blob");
    EXPECT_EQ(column(stores, "id").kind, "AUTO_INCREMENT");
    EXPECT_EQ(stores.keyClauses,
        (std::vector<std::string> {
            "PRIMARY KEY (`user_id`,`hierarchy_id`,`type`)", "UNIQUE KEY `id` (`id`)" }));
    EXPECT_EQ(names(stores.recordOrder),
        (std::vector<std::string> {
            "user_id", "hierarchy_id", "type", "id", "user_name", "company", "guid" }));
}

TEST(MariaDbDefinitionTest, BinaryColumnsOfAUtf8TableKeepTheirByteLength)
{
    const FrmTableEntry changes = read(kSamples / "zarafa/changes.frm");
    const ColumnDef &sourceKey = column(changes, "sourcekey");
    EXPECT_EQ(sourceKey.typeName, "VarBinary");
    EXPECT_EQ(sourceKey.size, 64);
    EXPECT_EQ(sourceKey.maxBytesPerChar, 1);
    EXPECT_FALSE(sourceKey.longLength);
    EXPECT_EQ(changes.keyClauses[1], "UNIQUE KEY `changeid` (`id`)");
    EXPECT_EQ(changes.keyClauses[2], "UNIQUE KEY `state` (`parentsourcekey`,`id`)");
}

TEST(MariaDbDefinitionTest, EachKeyIsWrittenByItsOwnKind)
{
    const FrmTableEntry names = read(kSamples / "zarafa/names.frm");
    EXPECT_EQ(names.keyClauses,
        (std::vector<std::string> { "PRIMARY KEY (`id`)", "KEY `nameid` (`nameid`)",
            "KEY `namestring` (`namestring`)", "KEY `guidnameid` (`guid`(16),`nameid`)",
            "KEY `guidnamestring` (`guid`(16),`namestring`)" }));
    const FrmTableEntry users = read(kSamples / "zarafa/users.frm");
    EXPECT_EQ(users.keyClauses[1], "UNIQUE KEY `externid` (`externid`(255),`objectclass`)");
    EXPECT_EQ(column(users, "signature").defaultValue, "'0'");

    const FrmTableEntry alltypes = read(kSamples / "samples/alltypes.frm");
    EXPECT_EQ(alltypes.keyClauses,
        (std::vector<std::string> { "PRIMARY KEY (`c_int`,`c_char`)",
            "UNIQUE KEY `u_binary` (`c_binary`)",
            "UNIQUE KEY `u_varchar` (`c_varchar`(100),`c_date`)", "KEY `k_text` (`c_text`(20))",
            "KEY `k_multi` (`c_tiny`,`c_big`,`c_enum`)",
            "KEY `k_blob` (`c_blob`(8),`c_varbinary`(10))" }));
}

TEST(MariaDbDefinitionTest, TablesWithoutPrimaryKey)
{
    const FrmTableEntry noKeys = read(kSamples / "samples/nokeys.frm");
    EXPECT_TRUE(noKeys.keys.empty());
    EXPECT_EQ(noKeys.firstKeyParts, 0);
    EXPECT_FALSE(noKeys.hasPrimaryKey);
    EXPECT_EQ(noKeys.clusteredKey, -1);
    EXPECT_EQ(noKeys.defaultCharset, 8);
    EXPECT_EQ(column(noKeys, "b").size, 300);
    EXPECT_TRUE(column(noKeys, "b").longLength);

    // A first key that is not a primary key: InnoDB clusters on it, and the walk goes on to the
    // next key.
    const FrmTableEntry uniqueFirst = read(kSamples / "samples/uniqfirst.frm");
    EXPECT_FALSE(uniqueFirst.hasPrimaryKey);
    EXPECT_EQ(uniqueFirst.firstKeyParts, 2);
    EXPECT_EQ(uniqueFirst.clusteredKey, 0);
    EXPECT_EQ(uniqueFirst.keyClauses,
        (std::vector<std::string> { "UNIQUE KEY `ab` (`a`,`b`)", "KEY `c` (`c`)" }));
    EXPECT_EQ(names(uniqueFirst.recordOrder), (std::vector<std::string> { "a", "b", "c" }));
}

TEST(MariaDbDefinitionTest, ManyColumnsAndEncodedNames)
{
    const FrmTableEntry wide = read(kSamples / "samples/widetable.frm");
    ASSERT_EQ(wide.definitionOrder.size(), 25U);
    EXPECT_EQ(wide.definitionOrder[24].name, "c25");
    EXPECT_EQ(wide.definitionOrder[24].row, 28);
    EXPECT_EQ(names(wide.recordOrder).front(), "c25");
    EXPECT_EQ(wide.recordOrder[1].name, "c01");
    EXPECT_EQ(wide.nullableColumns, 23);

    const FrmTableEntry odd = read(kSamples / "samples/odd@0020names.frm");
    EXPECT_EQ(odd.tableName, "odd names");
    EXPECT_EQ(odd.definitionOrder[1].name, "we`ird");
    EXPECT_EQ(odd.keyClauses[1], "UNIQUE KEY `u``k` (`we``ird`)");
}

TEST(MariaDbDefinitionTest, DefaultsOfEveryType)
{
    const FrmTableEntry t = read(kSamples / "samples/alltypes.frm");
    const auto def
        = [&](std::string_view name) { return column(t, name).defaultValue.value_or("(none)"); };
    EXPECT_EQ(def("c_tiny"), "-5");
    EXPECT_EQ(def("c_usmall"), "65535");
    EXPECT_EQ(def("c_medium"), "-8000000");
    EXPECT_EQ(def("c_int"), "-2147483648");
    EXPECT_EQ(def("c_big"), "-9223372036854775807");
    EXPECT_EQ(def("c_ubig"), "18446744073709551615");
    EXPECT_EQ(def("c_float"), "1.5");
    EXPECT_EQ(def("c_double"), "-2.25");
    EXPECT_EQ(def("c_dec"), "-12345678.91");
    EXPECT_EQ(def("c_dec0"), "12");
    EXPECT_EQ(def("c_date"), "'2009-05-01'");
    EXPECT_EQ(def("c_time"), "'-12:34:56'");
    EXPECT_EQ(def("c_datetime"), "'2009-05-01 10:00:00'");
    EXPECT_EQ(def("c_timestamp2"), "'2038-01-01 00:00:00.25'");
    EXPECT_EQ(def("c_year"), "2024");
    EXPECT_EQ(def("c_char"), "'abc'");
    EXPECT_EQ(def("c_varchar"), "'it''s \\\\ \"q\";'");
    EXPECT_EQ(def("c_varchar_mb4"), "'ü€'");
    EXPECT_EQ(def("c_enum"), "'medium'");
    EXPECT_EQ(def("c_set"), "'a,c'");
    EXPECT_EQ(def("c_bit"), "b'1010101010'");
    EXPECT_EQ(def("c_small"), "NULL");
    EXPECT_EQ(def("c_text"), "(none)");
    EXPECT_EQ(column(t, "c_udec").precision, 20);
    EXPECT_EQ(column(t, "c_udec").scale, 5);
    EXPECT_EQ(column(t, "c_udec").size, 10);
    EXPECT_EQ(column(t, "c_datetime6").fractionalDigits, 6);
}

TEST(DefinitionProblemTest, VersionAndEngineAreTold)
{
    auto bytes = readBytes(kSamples / "zarafa/acl.frm");
    bytes[33] = 4;
    const auto oldFile = parseTableDefinition(bytes, "acl.frm", "zarafa/acl");
    ASSERT_FALSE(oldFile.ok());
    EXPECT_EQ(definitionProblem(oldFile.error()), DefinitionProblem::WrongVersion);

    for (const char *other : { "myisamtable.frm", "ariatable.frm" }) {
        const auto table = readTableDefinition((kSamples / "samples" / other).string(), other, "");
        ASSERT_FALSE(table.ok());
        EXPECT_EQ(definitionProblem(table.error()), DefinitionProblem::NotInnoDb) << other;
    }

    const auto missing = readTableDefinition("/nonexistent/x.frm", "x.frm", "zarafa/x");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(definitionProblem(missing.error()), DefinitionProblem::Unreadable);

    const auto empty = parseTableDefinition({}, "e.frm", "zarafa/e");
    ASSERT_FALSE(empty.ok());
    EXPECT_EQ(definitionProblem(empty.error()), DefinitionProblem::Damaged);
}

// Cuts every sample at every 97th byte: each cut must give a table or an error, never a crash or
// a read outside the bytes (the buffer is exactly the cut size, so sanitizers see any overrun).
TEST(DamagedDefinitionTest, CutsAtEvery97thByteNeverCrash)
{
    std::vector<fs::path> files { sakila("film"), sakila("staff"), sakila("payment") };
    for (const auto &entry : fs::directory_iterator(kSamples / "zarafa")) {
        if (entry.path().extension() == ".frm") {
            files.push_back(entry.path());
        }
    }
    files.push_back(kSamples / "samples/alltypes.frm");
    std::size_t errors = 0;
    for (const fs::path &file : files) {
        const auto bytes = readBytes(file);
        for (std::size_t cut = 0; cut < bytes.size(); cut += 97) {
            const std::vector<std::uint8_t> part(
                bytes.begin(), bytes.begin() + static_cast<long>(cut));
            const auto table = parseTableDefinition(part, file.filename().string(), "zarafa/t");
            if (!table.ok()) {
                ++errors;
                EXPECT_FALSE(table.error().message.empty());
                EXPECT_EQ(definitionProblem(table.error()), DefinitionProblem::Damaged)
                    << file << " cut at " << cut << ": " << table.error().message;
            }
        }
    }
    EXPECT_GT(errors, 100U);
}

TEST(DamagedDefinitionTest, RandomBytesAndRandomBodiesNeverCrash)
{
    std::mt19937 random(20261207);
    const auto header = readBytes(kSamples / "zarafa/names.frm");
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> bytes(64 + random() % 9000);
        for (auto &b : bytes) {
            b = static_cast<std::uint8_t>(random());
        }
        const auto garbage = parseTableDefinition(bytes, "g.frm", "zarafa/g");
        ASSERT_FALSE(garbage.ok());
        EXPECT_EQ(definitionProblem(garbage.error()), DefinitionProblem::Damaged);

        // A real header over a random body, and a real file with random bytes flipped.
        std::copy(header.begin(), header.begin() + 64, bytes.begin());
        (void)parseTableDefinition(bytes, "h.frm", "zarafa/h");
        auto flipped = header;
        for (int i = 0; i < 8; ++i) {
            flipped[random() % flipped.size()] = static_cast<std::uint8_t>(random());
        }
        (void)parseTableDefinition(flipped, "f.frm", "zarafa/f");
    }
}

TEST(DamagedDefinitionTest, LargeFilesAreReadWhole)
{
    // Bytes past the last section do not matter; a file larger than 12,288 bytes is read whole.
    testing_support::TempDir folder;
    auto bytes = readBytes(kSamples / "samples/alltypes.frm");
    bytes.resize(40000, 0);
    const fs::path path = folder.path() / "big.frm";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<long>(bytes.size()));
    const FrmTableEntry table = read(path);
    EXPECT_EQ(table.definitionOrder.size(), 47U);
}

} // namespace

// The portable dump written while the rows are inserted: a data folder written by a real server
// is rebuilt in a private server with the dump as the second home of its rows; the dump then
// loads with the plain client under the sql_mode settings of older and newer servers and gives
// back every row of the truth, holds none of the forbidden constructs, and holds exactly the
// rows that landed when the server refused some.
#include "frm/table_definition_reader.h"
#include "innodb/value_text.h"
#include "job/dump_rebuild.h"
#include "job/dump_writer.h"
#include "job/folder_listing.h"
#include "job/row_insertion.h"
#include "mysql/workshop_fixture.h"
#include "support/truth_files.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

using testing_support::readFile;
using testing_support::shellQuoted;

// The sql_mode settings a dump meets on servers in the field: MariaDB's default, the strict
// set of MySQL 5.0 to 5.6 administrators, ANSI, MySQL 5.7 and 8's default, and the one mysqldump
// itself sets.
const std::vector<std::string> kModes = {
    "DEFAULT",
    "TRADITIONAL",
    "ANSI",
    "ONLY_FULL_GROUP_BY,STRICT_TRANS_TABLES,NO_ZERO_IN_DATE,NO_ZERO_DATE,"
    "ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION",
    "NO_AUTO_VALUE_ON_ZERO",
};

class PortableDump : public testing_support::WorkshopFixture
{
protected:
    // Rebuilds `folder` as the repair does, with the dump (of a database named `dumpDatabase`)
    // fed by the insertion. `afterCreate` runs once the tables exist.
    void rebuild(const fs::path &folder, const std::string &dumpDatabase,
        const std::function<void(mysql::Connection &)> &afterCreate = {})
    {
        dumpPath = work.path() / (dumpDatabase + ".sql");
        auto rebuilt = testing_support::rebuildWithDump(
            server(), folder, dumpPath, dumpDatabase, afterCreate);
        ASSERT_EQ(rebuilt.problem, "");
        connection = std::move(rebuilt.connection);
        outcomes = std::move(rebuilt.outcomes);
        rowsInDump = rebuilt.rowsInDump;
    }

    // Loads the dump with the plain client, as an administrator would, on a server whose global
    // sql_mode is `mode`; then dumps the database it made in the truth format.
    fs::path loadUnder(const std::string &mode, const std::string &database)
    {
        const std::string setMode = mode == "DEFAULT" ? "SET GLOBAL sql_mode = DEFAULT"
                                                      : "SET GLOBAL sql_mode = '" + mode + "'";
        EXPECT_TRUE(connection->execute(setMode).ok()) << mode;
        EXPECT_TRUE(connection->execute("DROP DATABASE IF EXISTS `" + database + "`").ok());
        const fs::path errors = work.path() / "client.err";
        const std::string socket = server().socketPath().string();
        const std::string load = "mariadb --no-defaults --socket=" + shellQuoted(socket)
            + " --user=root < " + shellQuoted(dumpPath.string()) + " 2> "
            + shellQuoted(errors.string());
        const int status = std::system(load.c_str());
        const std::string said = readFile(errors);
        EXPECT_EQ(status, 0) << mode << ": "
                             << said.substr(said.size() > 600 ? said.size() - 600 : 0);
        (void)connection->execute("SET GLOBAL sql_mode = DEFAULT");

        const fs::path out = work.path() / ("truth-" + std::to_string(++m_loads));
        EXPECT_TRUE(testing_support::dumpTruth(server(), database, out)) << database;
        return out;
    }

    void expectNoForbiddenConstruct()
    {
        const std::string text = readFile(dumpPath);
        ASSERT_FALSE(text.empty());
        for (const job::ForbiddenConstruct &construct : job::forbiddenConstructs()) {
            EXPECT_FALSE(job::containsIgnoringCase(text, construct.text))
                << "the dump holds " << construct.text << ": " << construct.why;
        }
        EXPECT_TRUE(text.starts_with(std::string(job::kDumpFirstLine) + "\n"));
        const std::size_t last = text.rfind('\n', text.size() - 2);
        EXPECT_TRUE(text.substr(last + 1).starts_with(job::kDumpCompletePrefix))
            << text.substr(last);
        EXPECT_NE(text.find("/*!40101 SET NAMES utf8 */;"), std::string::npos);
        EXPECT_NE(text.find("CREATE DATABASE IF NOT EXISTS `"), std::string::npos);
    }

    std::uint64_t truthRows(const fs::path &fixture)
    {
        std::uint64_t rows = 0;
        for (const auto &entry : fs::directory_iterator(fixture / "Zarafa")) {
            rows += testing_support::sortedRows(
                fixture / "truth" / (entry.path().stem().string() + ".tsv"))
                        .size();
        }
        return rows;
    }

    void expectWholeUnderEveryMode(const fs::path &fixture)
    {
        if (!fs::exists(fixture / "ibdata1")) {
            GTEST_SKIP() << "the generated fixture is not there: " << fixture;
        }
        rebuild(fixture, "recovered");
        EXPECT_EQ(rowsInDump, truthRows(fixture));
        expectNoForbiddenConstruct();
        for (const std::string &mode : kModes) {
            EXPECT_EQ(
                testing_support::differencesFromTruth(loadUnder(mode, "recovered"), fixture), "")
                << "loaded under " << mode;
        }
    }

    testing_support::TempDir work;
    std::unique_ptr<mysql::Connection> connection;
    fs::path dumpPath;
    std::uint64_t rowsInDump = 0;
    std::vector<job::TableOutcome> outcomes;

private:
    int m_loads = 0;
};

fs::path allTypesFixture() { return fs::path(ZR_BINARY_DIR) / "fixtures" / "all-types"; }

// A row of Zarafa's `lob`: `i` in its three number columns, `bytes` as its value.
innodb::DecodedRow lobRow(
    const frm::FrmTableEntry &table, std::uint32_t i, const std::vector<std::uint8_t> &bytes)
{
    innodb::DecodedRow row;
    row.table = &table;
    row.values.resize(4);
    for (int column = 0; column < 3; ++column) {
        row.values[column].kind = innodb::ValueKind::Unsigned;
        row.values[column].unsignedInteger = i;
    }
    row.values[3].kind = innodb::ValueKind::Bytes;
    row.values[3].bytes.assign(common::Bytes(bytes.data(), bytes.size()));
    return row;
}

} // namespace

TEST_F(PortableDump, ZarafaFolderLoadsUnderEveryModeAsTheTruth)
{
    expectWholeUnderEveryMode(testing_support::fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR"));
}

TEST_F(PortableDump, AllTypesLoadUnderEveryModeAsTheTruth)
{
    expectWholeUnderEveryMode(allTypesFixture());
}

TEST_F(PortableDump, ZarafaFolderHoldsOnlyTheRowsThatLanded)
{
    const fs::path fixture = testing_support::fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (!fs::exists(fixture / "ibdata1")) {
        GTEST_SKIP() << "the generated Zarafa fixture is not there";
    }
    // A narrower column than the definition's: every name longer than 40 bytes is refused, in
    // the middle of batches, and must be missing from the dump as from the table.
    rebuild(fixture, "landed", [](mysql::Connection &rebuilt) {
        ASSERT_TRUE(rebuilt
                        .execute("ALTER TABLE zarafa.names MODIFY namestring varchar(40) "
                                 "CHARACTER SET utf8 COLLATE utf8_bin DEFAULT NULL")
                        .ok());
    });
    std::uint64_t refused = 0;
    for (const auto &outcome : outcomes) {
        refused += outcome.rowsRefused;
    }
    ASSERT_GT(refused, 0u) << "no row was refused: the test proves nothing";
    EXPECT_EQ(rowsInDump + refused, truthRows(fixture));

    const fs::path rebuilt = work.path() / "rebuilt";
    ASSERT_TRUE(testing_support::dumpTruth(server(), "zarafa", rebuilt));
    const fs::path loaded = loadUnder("DEFAULT", "landed");
    for (const auto &entry : fs::directory_iterator(fixture / "Zarafa")) {
        const std::string name = entry.path().stem().string() + ".tsv";
        EXPECT_EQ(testing_support::firstDifference(loaded / name, rebuilt / name), "") << name;
    }
    EXPECT_LT(testing_support::readLines(loaded / "names.tsv").size(),
        testing_support::readLines(fixture / "truth" / "names.tsv").size());
}

TEST(DumpWriter, RefusesToOverwriteAndSaysWhy)
{
    testing_support::TempDir dir;
    const fs::path existing = dir.write("zarafa.sql", "keep me");
    auto dump = job::DumpWriter::create(existing, {});
    ASSERT_FALSE(dump.ok());
    EXPECT_NE(dump.error().describe().find(existing.string()), std::string::npos);
    EXPECT_NE(dump.error().describe().find("File exists"), std::string::npos);
    EXPECT_EQ(readFile(existing), "keep me");
}

// A dump that runs into a full disk says so, with the path and the system's reason, and never
// passes for whole: a size-limited tmpfs is the full disk.
TEST(DumpWriter, AFullDiskFailsTheDumpWithItsReason)
{
    testing_support::TempDir dir;
    const fs::path small = dir.mkdir("small");
    const std::string mount
        = "mount -t tmpfs -o size=256k tmpfs " + shellQuoted(small.string()) + " 2>/dev/null";
    if (std::system(mount.c_str()) != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (not root?)";
    }
    auto table = frm::readTableDefinition(
        ZR_SOURCE_DIR "/tests/frm/data/zarafa/lob.frm", "lob.frm", "zarafa/lob");
    ASSERT_TRUE(table.ok()) << table.error().describe();
    common::Status finished = common::okStatus();
    std::uint64_t staged = 0;
    {
        auto dump = job::DumpWriter::create(small / "zarafa.sql", { "zarafa", "/in", "now" },
            job::DumpLimits { 16 * 1024, 16 * 1024 });
        ASSERT_TRUE(dump.ok()) << dump.error().describe();
        job::LandedRows &rows = (*dump)->beginTable(*table);
        const std::vector<std::uint8_t> chunk(40 * 1024, 0xAB);
        for (std::uint32_t i = 0; i < 20; ++i) {
            rows.stage(lobRow(*table, i, chunk));
            rows.settle(1, true);
            ++staged;
        }
        (*dump)->endTable(*table, staged);
        finished = (*dump)->finish();
    }
    const std::string umount = "umount " + shellQuoted(small.string());
    EXPECT_EQ(std::system(umount.c_str()), 0);
    ASSERT_FALSE(finished.ok()) << "1.6 MB of hex fitted into 256 KiB";
    EXPECT_NE(finished.error().describe().find((small / "zarafa.sql").string()), std::string::npos)
        << finished.error().describe();
    EXPECT_NE(finished.error().describe().find("No space left on device"), std::string::npos)
        << finished.error().describe();
}

// Rows are staged a batch ahead of their answer and their long values written in pieces: each
// landed row still reads as the literal text of its values, in the order the rows came, and a
// refused one is not there.
TEST(DumpWriter, RowsSettledABatchLateKeepTheirLongValuesWhole)
{
    testing_support::TempDir dir;
    auto table = frm::readTableDefinition(
        ZR_SOURCE_DIR "/tests/frm/data/zarafa/lob.frm", "lob.frm", "zarafa/lob");
    ASSERT_TRUE(table.ok()) << table.error().describe();
    std::vector<std::vector<std::uint8_t>> values;
    for (std::uint32_t i = 0; i < 6; ++i) {
        // Rows 2 and 4 span several of the writer's pieces, the rest are short.
        std::vector<std::uint8_t> value(i == 2 || i == 4 ? 100 * 1024 + i : 10 + i);
        for (std::size_t j = 0; j < value.size(); ++j) {
            value[j] = static_cast<std::uint8_t>(i * 7 + j);
        }
        values.push_back(std::move(value));
    }
    const auto rowOf = [&](std::uint32_t i) { return lobRow(*table, i, values[i]); };
    const fs::path path = dir.path() / "zarafa.sql";
    {
        auto dump = job::DumpWriter::create(path, { "zarafa", "/in", "now" });
        ASSERT_TRUE(dump.ok()) << dump.error().describe();
        job::LandedRows &rows = (*dump)->beginTable(*table);
        for (std::uint32_t i = 0; i < 3; ++i) {
            rows.stage(rowOf(i));
        }
        rows.settle(2, true);
        rows.stage(rowOf(3));
        rows.stage(rowOf(4));
        rows.settle(1, true);
        rows.settle(1, false); // row 3
        rows.stage(rowOf(5));
        rows.settle(2, true);
        (*dump)->endTable(*table, 5);
        ASSERT_TRUE((*dump)->finish().ok());
    }
    const std::string text = readFile(path);
    std::size_t after = 0;
    for (std::uint32_t i = 0; i < 6; ++i) {
        std::string literal;
        ASSERT_TRUE(innodb::appendLiteralValues(rowOf(i), job::TimestampToText, literal).ok());
        const std::size_t at = text.find("(" + literal + ")");
        if (i == 3) {
            EXPECT_EQ(at, std::string::npos) << "a refused row is in the dump";
            continue;
        }
        ASSERT_NE(at, std::string::npos) << "row " << i << " is not in the dump whole";
        EXPECT_GT(at, after) << "row " << i << " is out of order";
        after = at;
    }
}

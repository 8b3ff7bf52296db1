// Rows decoded from a real data folder, inserted one statement each into a private server and
// dumped back: every table equals the truth byte for byte, TIMESTAMP instants included, with the
// switches to InnoDB run on a second connection beside the inserts.
#include "frm/create_table_text.h"
#include "job/definition_pass.h"
#include "job/folder_listing.h"
#include "job/row_insertion.h"
#include "job/save_database.h"
#include "job/table_switches.h"
#include "mysql/connection.h"
#include "mysql/workshop_server.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/truth_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(TimestampToTextTest, WritesTheStoredInstantAsUtc)
{
    EXPECT_EQ(job::TimestampToText(0), "00000000000000");
    EXPECT_EQ(job::TimestampToText(1), "19700101000001");
    EXPECT_EQ(job::TimestampToText(86399), "19700101235959");
    EXPECT_EQ(job::TimestampToText(1312140600), "20110731193000");
    EXPECT_EQ(job::TimestampToText(951782400), "20000229000000"); // leap day
    EXPECT_EQ(job::TimestampToText(2147483647), "20380119031407");
}

TEST(InsertStatementTest, QuotesNamesAndDropsOnlyTheListEndingComma)
{
    innodb::InsertForm form;
    form.columnNames = { "a", "we`ird" };
    form.valuesText = "1,'x,y',";
    EXPECT_EQ(
        job::insertStatementText("t", form), "Insert into `t`(`a`,`we``ird`) values(1,'x,y')");
    EXPECT_EQ(job::parameterTypeFor("LongBlob"), mysql::ParameterType::LongVarBinary);
    EXPECT_EQ(job::parameterTypeFor("TinyBlob"), mysql::ParameterType::LongVarBinary);
    EXPECT_EQ(job::parameterTypeFor("VarChar"), mysql::ParameterType::VarBinary);
    EXPECT_EQ(job::parameterTypeFor("Medium Text"), mysql::ParameterType::VarBinary);
    EXPECT_EQ(job::parameterTypeFor("Char"), mysql::ParameterType::VarBinary);
}

TEST(RowInsertionTest, RebuildsEveryTableOfTheFixtureExactly)
{
    const fs::path fixture = testing_support::fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (fixture.empty() || !fs::exists(fixture / "ibdata1")) {
        GTEST_SKIP() << "the generated Zarafa fixture is not there";
    }
    testing_support::TempDir work;
    mysql::WorkshopServer server(work.path() / "workshop");
    ASSERT_TRUE(server.startMySqlService()) << server.lastProblem();
    auto opened = mysql::Connection::open(server.connectionString("root", ""));
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    mysql::Connection &connection = **opened;
    ASSERT_TRUE(connection.execute("SET time_zone = '+00:00'").ok());
    ASSERT_TRUE(connection.execute("create database zarafa").ok());
    ASSERT_TRUE(connection.execute("use zarafa").ok());

    testing_support::RecordingHost host;
    job::JobFlags flags;
    job::LoginValues login;
    logreport::LogReport log;
    job::RepairJob repairJob(flags, host, login, log);
    repairJob.databaseFolder = fixture.string();
    ASSERT_TRUE(job::listTableFiles(repairJob, fixture.string()));
    job::runDefinitionPass(repairJob, [&](const frm::FrmTableEntry &table) {
        // MyISAM first, as the rebuild creates them; the switch to InnoDB follows the rows.
        const auto created = connection.execute(frm::createTableText(table));
        EXPECT_TRUE(created.ok()) << table.dictionaryName << ": " << created.error().message;
        return created.ok();
    });

    job::DataPassSteps steps;
    steps.openWriter = [&](const frm::FrmTableEntry &table) {
        return std::make_unique<job::MySqlTableWriter>(connection, table);
    };
    // The switches run on a second connection while the next tables fill, as in a repair.
    int connections = 0;
    job::MySqlTableSwitches switches(repairJob, [&] {
        ++connections;
        return mysql::Connection::open(server.connectionString("root", ""));
    });
    steps.switches = &switches;
    job::saveDatabase(repairJob, steps);
    switches.close();
    EXPECT_EQ(connections, 1);
    for (const auto &outcome : repairJob.outcomes) {
        EXPECT_EQ(outcome.rowsRefused, 0u) << outcome.name;
        EXPECT_EQ(outcome.rowsInserted, outcome.recordsWalked) << outcome.name;
        EXPECT_EQ(outcome.switchProblem, "") << outcome.name;
    }
    const auto engines = connection.query("SELECT COUNT(*) FROM information_schema.tables "
                                          "WHERE table_schema = 'zarafa' AND engine <> 'InnoDB'");
    ASSERT_TRUE(engines.ok());
    EXPECT_EQ(engines->at(0).at(0).value_or("?"), "0");

    const fs::path out = work.path() / "dump";
    const std::string command = "python3 '" ZR_SOURCE_DIR
                                "/tests/fixtures/dump_truth.py' --socket '"
        + server.socketPath().string() + "' --database zarafa --out '" + out.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const auto &table : repairJob.tables) {
        const std::string file = table.dictionaryName.substr(7) + ".tsv";
        EXPECT_EQ(testing_support::firstDifference(out / file, fixture / "truth" / file), "")
            << file;
    }
}

// The guided put-back from the command line, as an administrator runs it: zarafa-repair put-back
// into a private server (socket only) that already holds a zarafa database, logging in as an
// account with a password read from an option file. The old tables go aside whole, the
// recovered ones come in equal to the truth, and the counts are checked; every refusal leaves
// the server as it was. Also the statement reader the put-back loads with.
#include "job/dump_reader.h"
#include "job/dump_rebuild.h"
#include "mysql/workshop_fixture.h"
#include "support/truth_files.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::shellQuoted;

namespace {

constexpr const char *kPassword = "s3cret;pw\"'x";

fs::path allTypesFixture() { return fs::path(ZR_BINARY_DIR) / "fixtures" / "all-types"; }

class PutBack : public testing_support::WorkshopFixture
{
protected:
    void SetUp() override
    {
        WorkshopFixture::SetUp();
        if (!fs::exists(allTypesFixture() / "ibdata1")) {
            GTEST_SKIP() << "the all-types fixture is not there";
        }
        // One recovered dump for the suite; the server's own zarafa is made anew by each test.
        if (!fs::exists(dumpPath())) {
            fs::create_directories(dumpPath().parent_path());
            auto rebuilt = testing_support::rebuildWithDump(
                server(), allTypesFixture(), dumpPath(), "zarafa");
            ASSERT_EQ(rebuilt.problem, "");
        }
        admin = connect();
        ASSERT_NE(admin, nullptr);
        const auto earlier = admin->query(
            "SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME LIKE 'zr%' "
            "OR SCHEMA_NAME LIKE 'zarafa%'");
        ASSERT_TRUE(earlier.ok());
        for (const auto &row : *earlier) {
            ASSERT_TRUE(admin->execute("DROP DATABASE `" + *row[0] + "`").ok());
        }
        // The administrator's damaged database: two tables, one the dump does not have.
        for (const char *statement : {
                 "CREATE DATABASE zarafa",
                 "CREATE TABLE zarafa.later (code int PRIMARY KEY) ENGINE=InnoDB",
                 "INSERT INTO zarafa.later VALUES (1),(2),(3)",
                 "CREATE TABLE zarafa.old_only (x int) ENGINE=InnoDB",
                 "INSERT INTO zarafa.old_only VALUES (7)",
                 "CREATE USER IF NOT EXISTS 'admin'@'localhost' IDENTIFIED BY 's3cret;pw\"''x'",
                 "GRANT ALL ON *.* TO 'admin'@'localhost'",
             }) {
            ASSERT_TRUE(admin->execute(statement).ok()) << statement;
        }
        options = work.write(
            "admin.cnf", std::string("[client]\nuser=admin\npassword=\"s3cret;pw\\\"'x\"\n"));
    }

    static fs::path dumpPath() { return s_dumps.path() / "recovered" / "zarafa.sql"; }

    // Runs zarafa-repair put-back in a session of its own, without a terminal to prompt on.
    int putBack(const std::string &arguments, const fs::path &dump = dumpPath())
    {
        output = work.path() / "put-back.out";
        const std::string command = "setsid -w " + shellQuoted(ZR_REPAIR_PROGRAM)
            + " put-back --dump " + shellQuoted(dump.string()) + " --socket "
            + shellQuoted(server().socketPath().string()) + " " + arguments + " >"
            + shellQuoted(output.string()) + " 2>&1 </dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string said() const { return readFile(output); }

    std::string count(const std::string &table)
    {
        return scalar(*admin, "SELECT COUNT(*) FROM " + table);
    }

    std::unique_ptr<mysql::Connection> admin;
    testing_support::TempDir work;
    fs::path options;
    fs::path output;
    static inline testing_support::TempDir s_dumps;
};

} // namespace

TEST_F(PutBack, RenamesTheExistingDatabaseAsideLoadsAndTheCountsMatch)
{
    ASSERT_EQ(putBack("--defaults-file " + shellQuoted(options.string()) + " --rename-existing"), 0)
        << said();
    EXPECT_NE(said().find("Moved the 2 tables of `zarafa`"), std::string::npos) << said();
    EXPECT_NE(said().find("restart the Zarafa server"), std::string::npos) << said();
    EXPECT_EQ(said().find(kPassword), std::string::npos) << "the password was shown";

    const std::string broken = scalar(*admin,
        "SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME LIKE "
        "'zarafa\\_broken\\_%'");
    ASSERT_TRUE(broken.starts_with("zarafa_broken_")) << broken;
    EXPECT_EQ(count("`" + broken + "`.later"), "3");
    EXPECT_EQ(count("`" + broken + "`.old_only"), "1");
    EXPECT_EQ(scalar(*admin,
                  "SELECT COUNT(*) FROM information_schema.TABLES WHERE "
                  "TABLE_SCHEMA = 'zarafa' AND TABLE_NAME = 'old_only'"),
        "0");

    const fs::path dumped = work.path() / "dumped";
    ASSERT_TRUE(testing_support::dumpTruth(server(), "zarafa", dumped));
    EXPECT_EQ(testing_support::differencesFromTruth(dumped, allTypesFixture()), "");
    EXPECT_NE(said().find("later: 902 rows (the dump: 902)"), std::string::npos) << said();
}

TEST_F(PutBack, NeverChangesAnExistingDatabaseWithoutBeingAsked)
{
    EXPECT_EQ(putBack("--defaults-file " + shellQuoted(options.string())), 3) << said();
    EXPECT_NE(said().find("already has a database `zarafa`"), std::string::npos) << said();
    EXPECT_EQ(count("zarafa.later"), "3");
    EXPECT_EQ(count("zarafa.old_only"), "1");
}

TEST_F(PutBack, LoadsUnderAnotherNameAndChecksTheReportBesideTheDump)
{
    const fs::path folder = work.mkdir("with-report");
    fs::copy_file(dumpPath(), folder / "zarafa.sql");
    work.write("with-report/report.json",
        R"({"format": 1, "tables": [{"name": "zarafa/alltypes", "rowsInserted": 4},
            {"name": "zarafa/later", "rowsInserted": 902}, {"name": "zarafa/later_old",
            "rowsInserted": 699}]})");
    // later_old holds 700 rows: the report's 699 is a difference that must be told.
    EXPECT_EQ(putBack("--defaults-file " + shellQuoted(options.string()) + " --database zr2",
                  folder / "zarafa.sql"),
        4)
        << said();
    EXPECT_NE(said().find("later_old` holds 700 rows where the dump says 700 and the report 699"),
        std::string::npos)
        << said();
    EXPECT_NE(said().find("alltypes: 4 rows (the dump: 4, the report: 4)"), std::string::npos);
    EXPECT_EQ(count("zr2.later"), "902");
    EXPECT_EQ(count("zarafa.later"), "3") << "the existing database was touched";
    (void)admin->execute("DROP DATABASE zr2");
}

TEST_F(PutBack, RefusesADumpThatWasCutShortAndAWrongPassword)
{
    const std::string whole = readFile(dumpPath());
    const fs::path cut = work.write("cut.sql", whole.substr(0, whole.size() * 2 / 3));
    EXPECT_EQ(
        putBack("--defaults-file " + shellQuoted(options.string()) + " --rename-existing", cut), 3)
        << said();
    EXPECT_NE(said().find("cut short"), std::string::npos) << said();

    const fs::path wrong = work.write("wrong.cnf", "[client]\nuser=admin\npassword=nope\n");
    EXPECT_EQ(putBack("--defaults-file " + shellQuoted(wrong.string()) + " --rename-existing"), 3)
        << said();
    EXPECT_NE(said().find("cannot log in to the server as admin@localhost"), std::string::npos)
        << said();
    EXPECT_EQ(count("zarafa.old_only"), "1");
}

TEST(SqlStatementReader, SplitsAtSemicolonsOutsideQuotesAndComments)
{
    testing_support::TempDir dir;
    const fs::path file = dir.write("script.sql",
        "-- first comment\n"
        "/*!40101 SET NAMES utf8 */;\n"
        "/* plain; comment */ SELECT 'a;b', \"c;d\", `e;f`, 'it''s;', 'x\\';y';\n"
        "# hash comment;\n"
        "INSERT INTO t VALUES (1) -- trailing; comment\n"
        ", (2);\n"
        ";\n"
        "SELECT 1");
    auto reader = job::SqlStatementReader::open(file);
    ASSERT_TRUE(reader.ok());
    std::vector<std::string> texts;
    std::vector<std::uint64_t> lines;
    while (auto statement = (*reader)->next()) {
        texts.push_back(statement->text);
        lines.push_back(statement->line);
    }
    EXPECT_EQ(texts,
        (std::vector<std::string> { "/*!40101 SET NAMES utf8 */",
            "SELECT 'a;b', \"c;d\", `e;f`, 'it''s;', 'x\\';y'", "INSERT INTO t VALUES (1)  , (2)",
            "SELECT 1" }));
    EXPECT_EQ(lines, (std::vector<std::uint64_t> { 2, 3, 5, 8 }));
    EXPECT_EQ((*reader)->problem(), "");
}

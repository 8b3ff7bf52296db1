// The rebuild's preparation and finishing against a private workshop server: the server's own
// files moved aside and back, the Recovered Folder, and the early endings that put everything back.
#include "common/strings.h"
#include "job/job_control.h"
#include "job/rebuild_phases.h"
#include "mysql/data_folder_backup.h"
#include "mysql/statements.h"
#include "mysql/workshop_server.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

using testing_support::RecordingHost;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

fs::path zarafaFixture()
{
    const char *value = std::getenv("ZR_ZARAFA_FIXTURE_DIR");
    return value ? fs::path(value) : fs::path();
}

bool hasEntry(const fs::path &folder, std::string_view name)
{
    for (const auto &entry : fs::directory_iterator(folder)) {
        if (entry.path().filename() == name) {
            return true;
        }
    }
    return false;
}

fs::path entryStartingWith(const fs::path &folder, std::string_view prefix)
{
    for (const auto &entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with(prefix)) {
            return entry.path();
        }
    }
    return {};
}

std::string scalar(mysql::Connection &connection, std::string_view sql)
{
    auto rows = connection.query(sql);
    if (!rows.ok() || rows->empty() || rows->front().empty()) {
        return "<none>";
    }
    return rows->front().front().value_or("<null>");
}

// The real phases, with checks between them; the data pass is not wired here, so the save phase
// goes straight to the finishing step.
class ObservedPhases : public job::RepairPhases
{
public:
    ObservedPhases(mysql::ServerControl &server, const fs::path &output)
        : m_inner(job::createRebuildPhases(server, output.string()))
    {
    }
    std::function<void(job::RepairJob &)> afterBackup;
    std::function<void(job::RepairJob &)> afterStart;
    std::function<void(job::RepairJob &)> beforeFinish;

    bool checkTablespaces(job::RepairJob &job) override { return m_inner->checkTablespaces(job); }
    bool stopServiceAndBackUp(job::RepairJob &job) override
    {
        const bool done = m_inner->stopServiceAndBackUp(job);
        if (done && afterBackup) {
            afterBackup(job);
        }
        return done;
    }
    bool startMySqlService(job::RepairJob &job) override
    {
        const bool started = m_inner->startMySqlService(job);
        if (started && afterStart) {
            afterStart(job);
        }
        return started;
    }
    common::Status openConnection(job::RepairJob &job) override
    {
        return m_inner->openConnection(job);
    }
    bool createZarafaDatabase(job::RepairJob &job) override
    {
        return m_inner->createZarafaDatabase(job);
    }
    void definitionPass(job::RepairJob &job) override { m_inner->definitionPass(job); }
    void saveDatabase(job::RepairJob &job) override
    {
        if (beforeFinish) {
            beforeFinish(job);
        }
        m_inner->finishRebuild(job);
    }
    void finishRebuild(job::RepairJob &job) override { m_inner->finishRebuild(job); }
    void restoreServer(job::RepairJob &job) override { m_inner->restoreServer(job); }

private:
    std::unique_ptr<job::RepairPhases> m_inner;
};

class RebuildCycleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = zarafaFixture();
        if (folder.empty() || !fs::exists(folder / "ibdata1")) {
            GTEST_SKIP() << "the generated Zarafa fixture is not there";
        }
        ASSERT_TRUE(server.startMySqlService()) << server.lastProblem();
        auto connection = mysql::connectToServer(server, "localhost", "root", "");
        ASSERT_TRUE(connection.ok()) << connection.error().message;
        // The server's own data: an InnoDB table in its shared tablespace, and an old zarafa.
        for (const char *sql : { "create database own",
                 "create table own.keep (id int primary key, v varchar(10)) "
                 "engine=innodb",
                 "insert into own.keep values (1,'one'),(2,'two')", "create database zarafa",
                 "create table zarafa.old (id int) engine=myisam" }) {
            ASSERT_TRUE((*connection)->execute(sql).ok()) << sql;
        }
        control.prepareJob
            = [](job::RepairJob &repairJob) { repairJob.pause = std::chrono::milliseconds(0); };
        control.folderChosen(folder.string());
    }

    void TearDown() override { server.stopMySqlService(); }

    void runJob()
    {
        control.startStopPressed();
        control.waitForJob();
    }

    // The server runs with its own files and data again.
    void expectServerIntact()
    {
        const fs::path data = server.dataFolder();
        EXPECT_TRUE(hasEntry(data, "ibdata1"));
        EXPECT_TRUE(hasEntry(data, "ib_logfile0"));
        auto connection = mysql::connectToServer(server, "localhost", "root", "");
        ASSERT_TRUE(connection.ok()) << connection.error().message;
        EXPECT_EQ(
            scalar(**connection, "select group_concat(v order by id) from own.keep"), "one,two");
    }

    fs::path folder;
    TempDir dir;
    mysql::WorkshopServer server { dir.path() / "workshop" };
    RecordingHost host;
    ObservedPhases phases { server, dir.path() / "output" };
    logreport::LogReport log;
    job::JobControl control { host, phases, log };
};

TEST_F(RebuildCycleTest, FullCycleLeavesRecoveredFolderAndTheServerWithItsOwnData)
{
    const fs::path data = server.dataFolder();
    bool checkedBackup = false;
    phases.afterBackup = [&](job::RepairJob &) {
        for (const std::string &name : std::vector<std::string> {
                 "ibdata1", "ib_logfile0", "ib_logfile1", "zarafa", mysql::serverLogName() }) {
            EXPECT_FALSE(hasEntry(data, name)) << name;
        }
        checkedBackup = true;
    };
    std::size_t definitions = 0;
    for (const auto &entry : fs::directory_iterator(folder / "Zarafa")) {
        definitions += entry.path().extension() == ".frm" ? 1 : 0;
    }
    std::string tablesCreated;
    phases.beforeFinish = [&](job::RepairJob &job) {
        tablesCreated = scalar(*job.connection,
            "select count(*) from information_schema.tables "
            "where table_schema = 'zarafa'");
    };
    host.logins.push_back({ "localhost", "root", "" });
    runJob();

    EXPECT_TRUE(checkedBackup);
    EXPECT_EQ(tablesCreated, std::to_string(definitions));
    EXPECT_EQ(host.completions(), 1);
    const std::string repaired = control.flags().repairedPath();
    ASSERT_FALSE(repaired.empty());
    // The result is out of the workshop, in a run folder of its own with a sortable name.
    EXPECT_EQ(fs::path(repaired).parent_path(), dir.path() / "output");
    EXPECT_EQ(fs::path(repaired).filename().string().rfind("recovered-20", 0), 0u);
    EXPECT_TRUE(fs::exists(fs::path(repaired) / "Recovered Folder" / "zarafa"));
    EXPECT_TRUE(fs::exists(fs::path(repaired) / "Recovered Folder" / "ibdata1"));
    EXPECT_TRUE(fs::exists(fs::path(repaired) / "Recovered Folder" / "README.txt"));
    EXPECT_EQ(fs::status(repaired).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(entryStartingWith(data, "Recovered Folder").empty());
    EXPECT_FALSE(hasEntry(data, "zarafa"));
    const fs::path oldData = entryStartingWith(data, "OldData");
    ASSERT_FALSE(oldData.empty());
    EXPECT_TRUE(fs::exists(oldData / "zarafa" / "old.frm"));
    expectServerIntact();
}

TEST_F(RebuildCycleTest, WrongPasswordThenYesAsksAgainAndTheRightOneConnects)
{
    host.logins = { { "localhost", "root", "wrong" }, { "localhost", "root", "" } };
    host.answers = { job::Answer::Yes };
    runJob();
    const auto messages = host.messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(),
                  std::string(common::text(common::str::kInvalidLogin))),
        1);
    EXPECT_EQ(host.completions(), 1);
    expectServerIntact();
}

TEST_F(RebuildCycleTest, WrongPasswordThenNoEndsWith110AndPutsTheServerFilesBack)
{
    host.logins = { { "localhost", "root", "wrong" } };
    host.answers = { job::Answer::No };
    runJob();
    const auto messages = host.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                  std::string(common::text(common::str::kStoppedFailure))),
        messages.end());
    EXPECT_EQ(host.completions(), 0);
    // Everything is back; only the log of the server that ran for this job stays, beside the
    // journal, since it may say why the job ended.
    EXPECT_TRUE(mysql::unfinishedBackups(server.dataFolder()).empty());
    const fs::path oldData = entryStartingWith(server.dataFolder(), "OldData");
    if (!oldData.empty()) {
        for (const auto &entry : fs::directory_iterator(oldData)) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == mysql::kManifestName || name.starts_with("repair run ")) << name;
        }
    }
    EXPECT_TRUE(hasEntry(server.dataFolder(), "zarafa"));
    expectServerIntact();
}

TEST_F(RebuildCycleTest, AZarafaDatabaseOnTheRestartedServerFailsCreationWith110)
{
    phases.afterStart = [&](job::RepairJob &) {
        auto connection = mysql::connectToServer(server, "localhost", "root", "");
        ASSERT_TRUE(connection.ok());
        ASSERT_TRUE((*connection)->execute("create database zarafa").ok());
    };
    host.logins = { { "localhost", "root", "" } };
    runJob();
    const auto messages = host.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                  std::string(common::text(common::str::kStoppedFailure))),
        messages.end());
    EXPECT_EQ(host.completions(), 0);
    expectServerIntact();
}

} // namespace

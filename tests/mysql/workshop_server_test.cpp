#include "mysql/child_process.h"
#include "mysql/data_folder_lock.h"
#include "workshop_fixture.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::WorkshopFixture;
namespace fs = std::filesystem;

namespace {

class WorkshopServerTest : public WorkshopFixture
{
};

TEST_F(WorkshopServerTest, RootLogsInWithEmptyPasswordThroughTheSocketOnly)
{
    auto connection = connect();
    ASSERT_TRUE(connection);
    EXPECT_EQ(scalar(*connection, "select database()"), "mysql");
    EXPECT_EQ(scalar(*connection, "select @@skip_networking"), "1");
    EXPECT_EQ(scalar(*connection, "select @@innodb_file_per_table"), "0");
    // Nobody but us may reach the socket that lets root in without a password.
    struct stat info
    {
    };
    ASSERT_EQ(::stat((server().location() / "run").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(fs::exists(fs::path(server().dataFolder()) / mysql::serverLogName()));
}

TEST_F(WorkshopServerTest, StartWhenRunningAndStopWhenStoppedBothSucceed)
{
    EXPECT_TRUE(server().startMySqlService());
    const pid_t pid = server().runningPid();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(server().stopMySqlService()) << server().lastProblem();
    EXPECT_FALSE(mysql::processRunning(pid));
    EXPECT_EQ(server().runningPid(), 0);
    EXPECT_TRUE(server().stopMySqlService());
    ASSERT_TRUE(server().startMySqlService()) << server().lastProblem();
    EXPECT_TRUE(connect());
}

TEST_F(WorkshopServerTest, ASecondControlFindsTheServerByItsPidFileAndStopsIt)
{
    // What a later program run sees: no child of its own, only the pid file.
    mysql::WorkshopServer later(server().location());
    const pid_t pid = later.runningPid();
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(later.stopMySqlService());
    EXPECT_FALSE(mysql::processRunning(pid));
    ASSERT_TRUE(server().startMySqlService()) << server().lastProblem();
}

TEST(WorkshopServerLocationTest, LocationEndsInSeparatorAndDataFolderFollows)
{
    mysql::WorkshopServer server("/nowhere/workshop");
    EXPECT_EQ(server.findMySqlLocation(), "/nowhere/workshop/");
    EXPECT_EQ(server.findMySqlLocation() + "data", server.dataFolder());
    EXPECT_EQ(server.connectionExtras(), "SOCKET={/nowhere/workshop/run/mysqld.sock};");
}

} // namespace

namespace {

// Servers of their own, each in a fresh folder: what a killed program or a broken data folder
// leaves behind must not be shared with the other tests.
class WorkshopPresenceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(first.startMySqlService()) << first.lastProblem();
        ASSERT_TRUE(first.stopMySqlService()) << first.lastProblem();
    }
    void TearDown() override
    {
        if (m_stray > 0 && mysql::processRunning(m_stray)) {
            ::kill(m_stray, SIGKILL);
            while (mysql::processRunning(m_stray)) {
                ::usleep(10000);
            }
        }
    }

    // mariadbd on the workshop's folder as the workshop starts it, but by someone else: a
    // program that was killed right after.
    pid_t startStray()
    {
        const auto program = mysql::findProgram({ "mariadbd", "mysqld" });
        std::vector<std::string> arguments { *program, "--no-defaults",
            "--datadir=" + first.dataFolder(), "--socket=" + first.socketPath().string(),
            "--pid-file=" + first.pidFilePath().string(), "--skip-networking",
            "--tmpdir=" + (first.location() / "run").string(), "--innodb-file-per-table=0" };
        if (::geteuid() == 0) {
            arguments.push_back("--user=root");
        }
        m_stray = mysql::startProgram(arguments, (dir.path() / "stray.log").string());
        // The spawn returns while the kernel still sets up the new program, before its command
        // line can be read; a killed program's server is past that.
        while (m_stray > 0 && mysql::processCommandLine(m_stray).empty()) {
            ::usleep(1000);
        }
        return m_stray;
    }

    testing_support::TempDir dir;
    mysql::WorkshopServer first { dir.path() / "workshop" };

private:
    pid_t m_stray = 0;
};

TEST_F(WorkshopPresenceTest, AServerStillStartingIsFoundWithoutItsPidFileAndStoppedFirst)
{
    const pid_t stray = startStray();
    ASSERT_GT(stray, 0);
    // At once, long before it writes its pid file: what restore-server sees after a kill.
    mysql::WorkshopServer later(first.location());
    EXPECT_EQ(later.runningPid(), stray);
    EXPECT_TRUE(later.stopMySqlService()) << later.lastProblem();
    EXPECT_FALSE(mysql::processRunning(stray));
    EXPECT_EQ(later.runningPid(), 0);

    // Running, with its pid file gone: its lock on the tablespace still says so.
    ASSERT_GT(startStray(), 0);
    ASSERT_TRUE(later.startMySqlService()) << later.lastProblem();
    fs::remove(first.pidFilePath());
    mysql::WorkshopServer third(first.location());
    EXPECT_GT(third.runningPid(), 0);
    EXPECT_GT(mysql::innodbLockHolder(first.dataFolder()), 0);
    EXPECT_TRUE(third.stopMySqlService()) << third.lastProblem();
    EXPECT_EQ(mysql::innodbLockHolder(first.dataFolder()), 0);
}

TEST_F(WorkshopPresenceTest, AStrangerHoldingTheTablespaceLockIsNeitherSignalledNorMovedUnder)
{
    // A process that is no server holds an fcntl write lock on the tablespace, as InnoDB does.
    const fs::path ibdata1 = fs::path(first.dataFolder()) / "ibdata1";
    const auto python = mysql::findProgram({ "python3" });
    ASSERT_TRUE(python);
    const pid_t holder = mysql::startProgram({ *python, "-c",
                                                 "import fcntl,sys,time\n"
                                                 "f=open(sys.argv[1],'r+')\n"
                                                 "fcntl.lockf(f,fcntl.LOCK_EX)\n"
                                                 "open(sys.argv[2],'w').close()\n"
                                                 "time.sleep(120)",
                                                 ibdata1.string(), (dir.path() / "locked").string() },
        {});
    ASSERT_GT(holder, 0);
    for (int i = 0; i < 500 && !fs::exists(dir.path() / "locked"); ++i) {
        ::usleep(10000);
    }
    EXPECT_EQ(mysql::innodbLockHolder(first.dataFolder()), holder);
    mysql::WorkshopServer later(first.location());
    EXPECT_EQ(later.runningPid(), -1);
    EXPECT_FALSE(later.stopMySqlService());
    EXPECT_NE(later.lastProblem().find("holds InnoDB's lock"), std::string::npos);
    EXPECT_FALSE(later.startMySqlService());
    EXPECT_TRUE(mysql::processRunning(holder));
    ::kill(holder, SIGKILL);
    while (mysql::processRunning(holder)) {
        ::usleep(10000);
    }
}

TEST_F(WorkshopPresenceTest, AServerThatCannotStartIsTriedAFewTimesWithPausesAndItsLogIsKept)
{
    // MariaDB 10.5 and later refuse a tablespace without its redo log.
    fs::remove(fs::path(first.dataFolder()) / "ib_logfile0");
    const fs::path log = fs::path(first.dataFolder()) / mysql::serverLogName();
    int starts = 0;
    first.onActivity = [&](const std::string &text) {
        starts += text.starts_with("Starting") ? 1 : 0;
    };
    const auto began = std::chrono::steady_clock::now();
    for (int call = 0; call < 8; ++call) {
        EXPECT_FALSE(first.startMySqlService());
    }
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_EQ(starts, mysql::WorkshopServer::kStartTries);
    EXPECT_TRUE(first.gaveUp());
    EXPECT_GE(took, std::chrono::seconds(1 + 2 + 4 + 8));
    // The server's own words, and its log where it was.
    EXPECT_NE(first.lastProblem().find("gave up after 5"), std::string::npos) << first.lastProblem();
    EXPECT_NE(first.lastProblem().find("ib_logfile0"), std::string::npos) << first.lastProblem();
    EXPECT_TRUE(fs::exists(log));
}

} // namespace

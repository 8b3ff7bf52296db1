#include "mysql/child_process.h"
#include "workshop_fixture.h"

#include <filesystem>
#include <sys/stat.h>

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

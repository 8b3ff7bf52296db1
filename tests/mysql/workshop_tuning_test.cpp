#include "mysql/workshop_tuning.h"
#include "workshop_fixture.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using testing_support::WorkshopFixture;
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMiB = std::uint64_t { 1 } << 20;
constexpr std::uint64_t kGiB = kMiB << 10;

TEST(WorkshopSizesTest, ThePoolIsAnEighthOfTheFreeMemoryWithinTheServerDefaultAndTwoGigabytes)
{
    // A small machine keeps the server's default; a large one stops at 2 GiB.
    EXPECT_EQ(mysql::workshopSizes(512 * kMiB).bufferPoolBytes, 128 * kMiB);
    EXPECT_EQ(mysql::workshopSizes(8 * kGiB).bufferPoolBytes, 1 * kGiB);
    EXPECT_EQ(mysql::workshopSizes(64 * kGiB).bufferPoolBytes, 2 * kGiB);
    // Whole mebibytes, as the server reads them back.
    EXPECT_EQ(mysql::workshopSizes(3 * kGiB + 12345).bufferPoolBytes % kMiB, 0u);
}

TEST(WorkshopSizesTest, TheRedoLogKeepsTheServersSizeSinceTheRecoveredFolderCarriesIt)
{
    for (const auto &option : mysql::workshopTuningOptions(mysql::workshopSizes(64 * kGiB))) {
        EXPECT_EQ(option.find("--innodb-log-file-size"), std::string::npos) << option;
    }
}

TEST(WorkshopSizesTest, TheMachinesFreeMemoryIsRead)
{
    const auto available = mysql::availableMemoryBytes();
    ASSERT_TRUE(available.has_value());
    EXPECT_GT(*available, 0u);
}

class WorkshopTuningTest : public WorkshopFixture
{
};

TEST_F(WorkshopTuningTest, TheRunningServerSyncsNothingAndHasTheSizesChosenForThisMachine)
{
    auto connection = connect();
    ASSERT_TRUE(connection);
    const auto sizes = mysql::workshopSizes(mysql::availableMemoryBytes().value_or(0));
    // The machine's free memory moves between the start and now: the pool is within a step.
    const std::uint64_t pool = std::stoull(scalar(*connection, "select @@innodb_buffer_pool_size"));
    EXPECT_GE(pool, 128 * kMiB);
    EXPECT_LE(pool, 2 * kGiB);
    EXPECT_NEAR(static_cast<double>(pool), static_cast<double>(sizes.bufferPoolBytes),
        static_cast<double>(sizes.bufferPoolBytes) / 4);
    EXPECT_EQ(scalar(*connection, "select @@innodb_flush_log_at_trx_commit"), "0");
    EXPECT_EQ(scalar(*connection, "select @@innodb_doublewrite"), "0");
    EXPECT_EQ(scalar(*connection, "select @@innodb_flush_method"), "nosync");
    // The switch to InnoDB copies rows that arrive in key order; re-sorting them cost time.
    EXPECT_EQ(scalar(*connection, "select @@innodb_alter_copy_bulk"), "0");
    EXPECT_EQ(scalar(*connection, "select @@innodb_log_file_size"), std::to_string(96 * kMiB));
}

TEST_F(WorkshopTuningTest, AStoppedServerLeavesTablesThatAStartedOneReadsBack)
{
    {
        auto connection = connect();
        ASSERT_TRUE(connection);
        for (const char *sql : { "create database kept",
                 "create table kept.t (id int primary key, v varchar(10)) engine=innodb",
                 "insert into kept.t values (1,'one'),(2,'two')",
                 "create table kept.m (id int primary key) engine=myisam",
                 "insert into kept.m values (7)" }) {
            ASSERT_TRUE(connection->execute(sql).ok()) << sql;
        }
    }
    ASSERT_TRUE(server().stopMySqlService()) << server().lastProblem();
    ASSERT_TRUE(server().startMySqlService()) << server().lastProblem();
    auto connection = connect();
    ASSERT_TRUE(connection);
    EXPECT_EQ(scalar(*connection, "select group_concat(v order by id) from kept.t"), "one,two");
    EXPECT_EQ(scalar(*connection, "select id from kept.m"), "7");
}

TEST(SyncTreeTest, EveryFileAndFolderBelowIsSyncedAndAMissingFolderIsSaid)
{
    const fs::path root = fs::temp_directory_path() / ("sync-tree-" + std::to_string(::getpid()));
    fs::create_directories(root / "a" / "b");
    std::ofstream(root / "a" / "b" / "file") << "bytes";
    std::ofstream(root / "top") << "more";
    EXPECT_TRUE(mysql::syncTree(root));
    EXPECT_FALSE(mysql::syncTree(root / "missing"));
    fs::remove_all(root);
}

} // namespace

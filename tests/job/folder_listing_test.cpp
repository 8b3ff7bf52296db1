#include "job/folder_listing.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using testing_support::RecordingHost;
using testing_support::TempDir;

namespace {

struct ListingFixture : ::testing::Test
{
    TempDir dir;
    RecordingHost host;
    job::JobFlags flags;
    job::LoginValues login;
    logreport::LogReport log;
    job::RepairJob repairJob { flags, host, login, log };
};

} // namespace

TEST_F(ListingFixture, ListsDefinitionFilesIgnoringCaseInSortedOrder)
{
    dir.write("zarafa/stores.frm", "x");
    dir.write("zarafa/USERS.FRM", "x");
    dir.write("zarafa/stores.ibd", "x");
    dir.write("zarafa/notes.txt", "x");
    dir.mkdir("zarafa/folder.frm"); // a folder is not a definition file
    dir.write("IBDATA1", "x");

    ASSERT_TRUE(job::listTableFiles(repairJob, dir.str()));
    EXPECT_EQ(repairJob.tableFileNames, (std::vector<std::string> { "USERS.FRM", "stores.frm" }));
    EXPECT_EQ(repairJob.dictionaryNames,
              (std::vector<std::string> { "zarafa/USERS", "zarafa/stores" }));
    EXPECT_EQ(repairJob.tablespaceFileName, "IBDATA1");
    EXPECT_EQ(repairJob.tablespacePath, (dir.path() / "IBDATA1").string());
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ListingFixture, DictionaryNameDropsExactlyFourCharacters)
{
    dir.write("Zarafa/a.frm", "x");
    ASSERT_TRUE(job::listTableFiles(repairJob, dir.str()));
    EXPECT_EQ(repairJob.dictionaryNames, (std::vector<std::string> { "zarafa/a" }));
    // No tablespace: the listing still succeeds and the path stays empty.
    EXPECT_TRUE(repairJob.tablespacePath.empty());
    EXPECT_TRUE(repairJob.tablespaceFileName.empty());
}

TEST_F(ListingFixture, FailsWithoutZarafaFolderOrDefinitions)
{
    EXPECT_FALSE(job::listTableFiles(repairJob, dir.str()));
    dir.mkdir("zarafa");
    dir.write("zarafa/stores.ibd", "x");
    EXPECT_FALSE(job::listTableFiles(repairJob, dir.str()));
    EXPECT_FALSE(job::listTableFiles(repairJob, (dir.path() / "missing").string()));
    EXPECT_TRUE(repairJob.tableFileNames.empty());
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ListingFixture, StopRequestKeepsTheFirstFile)
{
    dir.write("zarafa/a.frm", "x");
    dir.write("zarafa/b.frm", "x");
    flags.stopRequested = 1;
    ASSERT_TRUE(job::listTableFiles(repairJob, dir.str()));
    EXPECT_EQ(repairJob.tableFileNames, (std::vector<std::string> { "a.frm" }));
}

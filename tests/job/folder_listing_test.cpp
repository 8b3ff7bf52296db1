#include "job/folder_listing.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
    EXPECT_EQ(
        repairJob.dictionaryNames, (std::vector<std::string> { "zarafa/USERS", "zarafa/stores" }));
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

TEST_F(ListingFixture, EachReasonTheFolderCannotBeReadIsNamedWithItsPath)
{
    const auto problemOf = [this](const std::string &folder) {
        repairJob.reset();
        EXPECT_FALSE(job::listTableFiles(repairJob, folder));
        return repairJob.folderProblem;
    };
    EXPECT_EQ(problemOf((dir.path() / "missing").string()), dir.str() + "/missing: no such folder");
    dir.write("plain", "x");
    EXPECT_NE(problemOf((dir.path() / "plain").string()).find("/plain: a file, not a folder"),
        std::string::npos);
    const std::string noDictionary
        = ", and there is no ibdata1 whose dictionary could stand in for its table definitions";
    EXPECT_EQ(problemOf(dir.str()), dir.str() + "/Zarafa: no such folder" + noDictionary);
    dir.write("mysql.ibd", "x");
    EXPECT_EQ(problemOf(dir.str()),
        dir.str() + "/Zarafa: no such folder" + noDictionary
            + "; this looks like a MySQL 8 data folder");
    // .ibd files with mysql.ibd beside them are a MySQL 8 folder, whose .ibd files carry the
    // definitions; without mysql.ibd nothing says so, and the folder is refused by its look.
    dir.write("zarafa/stores.ibd", "x");
    repairJob.reset();
    EXPECT_TRUE(job::listTableFiles(repairJob, dir.str()));
    EXPECT_EQ(repairJob.tableFileNames, (std::vector<std::string> { "stores.ibd" }));
    std::filesystem::remove(dir.path() / "mysql.ibd");
    EXPECT_EQ(problemOf(dir.str()),
        dir.str()
            + "/zarafa: holds no table definition (.frm) files, and there is no ibdata1 whose "
              "dictionary could stand in for them; this looks like a MySQL 8 data folder");
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ListingFixture, ATablespaceThatCannotBeReadIsRefusedByItsRealCauseBeforeTheServer)
{
    dir.write("zarafa/stores.frm", "x");
    flags.setDatabaseFolder(dir.str());
    const std::string ibdata = (dir.path() / "ibdata1").string();
    const auto problemOf = [&] {
        repairJob.reset();
        EXPECT_TRUE(job::listTableFiles(repairJob, dir.str()));
        EXPECT_FALSE(job::checkTablespaces(repairJob));
        return repairJob.folderProblem;
    };
    EXPECT_EQ(problemOf(),
        ibdata
            + ": no such file, and the Zarafa folder holds no .ibd files: the folder holds no "
              "table data");
    dir.write("ibdata1", "");
    EXPECT_EQ(problemOf(), ibdata + ": not an InnoDB tablespace (the file is empty)");
    dir.write("ibdata1", std::string(700, 'x'));
    EXPECT_EQ(problemOf(),
        ibdata + ": not an InnoDB tablespace (the file holds only 700 bytes, less than one page)");
    dir.write("ibdata1", std::string(8 * 16384, '\0'));
    EXPECT_EQ(problemOf(), ibdata + ": not an InnoDB tablespace (its first pages hold only zeros)");
    std::string random(8 * 16384, '\0');
    std::uint32_t state = 7;
    for (char &c : random) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    dir.write("ibdata1", random);
    EXPECT_EQ(problemOf(),
        ibdata + ": not an InnoDB tablespace (its first page is not a tablespace header)");
    // Neither is ever opened for a read that could wait for ever.
    std::filesystem::remove(ibdata);
    ASSERT_EQ(::mkfifo(ibdata.c_str(), 0600), 0);
    EXPECT_EQ(problemOf(), ibdata + ": not a regular file (a FIFO)");
    std::filesystem::remove(ibdata);
    std::filesystem::create_symlink("/dev/zero", ibdata);
    EXPECT_EQ(problemOf(), ibdata + ": not a regular file (a character device)");

    // Beside .ibd files the tables with their own file are still read: one line, no refusal.
    dir.write("zarafa/stores.ibd", "x");
    repairJob.reset();
    ASSERT_TRUE(job::listTableFiles(repairJob, dir.str()));
    EXPECT_TRUE(job::checkTablespaces(repairJob));
    EXPECT_TRUE(repairJob.folderProblem.empty());
    EXPECT_EQ(repairJob.readProblems,
        (std::vector<std::string> { ibdata + ": not a regular file (a character device)" }));
}

#include "mysql/data_folder_backup.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <chrono>
#include <fmt/chrono.h>
#include <fstream>
#include <gtest/gtest.h>

using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

std::string read(const fs::path &file)
{
    std::ifstream in(file);
    std::string content;
    std::getline(in, content);
    return content;
}

std::vector<std::string> names(const fs::path &folder)
{
    std::vector<std::string> out;
    for (const auto &entry : fs::directory_iterator(folder)) {
        out.push_back(entry.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(TimeStampTest, WritesFieldsWithoutLeadingZeros)
{
    std::tm local {};
    local.tm_year = 111;
    local.tm_mon = 2;
    local.tm_mday = 7;
    local.tm_hour = 14;
    local.tm_min = 5;
    local.tm_sec = 9;
    EXPECT_EQ(mysql::timeStamp(local), "(2011-3-7 14.5.9)");
}

TEST(DataFolderBackupTest, MovesServerFilesAndZarafaByNameAndPutsThemBackAfterTheRebuild)
{
    TempDir dir;
    const fs::path data = dir.mkdir("data");
    dir.write("data/IBDATA1", "old tablespace");
    dir.write("data/ib_logfile0", "old log");
    dir.write("data/REPAIRHOST.err", "old server log");
    dir.write("data/REPAIRHOST.pid", "1");
    dir.write("data/Zarafa/stores.frm", "old");
    dir.write("data/mysql/user.frm", "system");
    dir.write("data/Recovered Folder (2011-3-7 14.5.9)/ibdata1", "earlier result");
    int kind5 = 0;
    mysql::MoveHooks hooks;
    hooks.statusLine = [&](int kind) { kind5 += kind == 5 ? 1 : 0; };

    auto oldData = mysql::backUpDataFolder(data, "repairhost.err", hooks);
    ASSERT_TRUE(oldData.ok()) << oldData.error().describe();
    EXPECT_EQ(oldData->filename().string().rfind("OldData(", 0), 0u);
    EXPECT_EQ(names(*oldData),
        (std::vector<std::string> { "IBDATA1", "REPAIRHOST.err", "Zarafa", "ib_logfile0",
            std::string(mysql::kManifestName) }));
    EXPECT_EQ(names(data),
        (std::vector<std::string> { oldData->filename().string(), "REPAIRHOST.pid",
            "Recovered Folder (2011-3-7 14.5.9)", "mysql" }));
    EXPECT_EQ(kind5, 8); // one per entry of the listing
    EXPECT_EQ(mysql::unfinishedBackups(data), std::vector<fs::path> { *oldData });

    // The restarted server makes new files; the rebuild makes a new zarafa folder.
    dir.write("data/ibdata1", "new tablespace");
    dir.write("data/ib_logfile0", "new log");
    dir.write("data/repairhost.err", "new server log");
    dir.write("data/zarafa/stores.frm", "rebuilt");

    const fs::path recovered = mysql::finishRebuildMoves(data, *oldData, "repairhost.err", {});
    EXPECT_EQ(recovered.filename().string().rfind("Recovered Folder (", 0), 0u);
    // A data folder a server starts on: the redo log goes with its tablespace, and the system
    // tables are copied.
    EXPECT_EQ(names(recovered),
        (std::vector<std::string> { "ib_logfile0", "ibdata1", "mysql", "repairhost.err", "zarafa" }));
    EXPECT_TRUE(fs::exists(data / "mysql" / "user.frm"));
    EXPECT_EQ(names(*oldData),
        (std::vector<std::string> { "Zarafa", std::string(mysql::kManifestName) }));
    const auto back = names(data);
    for (const char *name : { "IBDATA1", "ib_logfile0", "REPAIRHOST.err", "mysql" }) {
        EXPECT_NE(std::find(back.begin(), back.end(), name), back.end()) << name;
    }
    EXPECT_EQ(std::find(back.begin(), back.end(), "zarafa"), back.end());
    std::ifstream tablespace(data / "IBDATA1");
    std::string content;
    std::getline(tablespace, content);
    EXPECT_EQ(content, "old tablespace");
    EXPECT_TRUE(mysql::unfinishedBackups(data).empty());
}

// Runs a second apart take the same time stamp: an earlier run's unfinished OldData folder and
// its Recovered Folder stand under the names this run would pick.
TEST(DataFolderBackupTest, ARunInTheSameSecondAsAnEarlierOneUsesFoldersOfItsOwn)
{
    TempDir dir;
    const fs::path data = dir.mkdir("data");
    dir.write("data/ibdata1", "own tablespace");
    // Every name of the next few seconds is taken, whatever second the run starts in.
    const auto now = std::chrono::system_clock::now();
    for (int second = 0; second < 5; ++second) {
        const std::string stamp = mysql::timeStamp(fmt::localtime(
            std::chrono::system_clock::to_time_t(now + std::chrono::seconds(second))));
        dir.write("data/OldData" + stamp + "/ibdata1", "an earlier run's own tablespace");
        dir.write("data/Recovered Folder " + stamp + "/ibdata1", "an earlier result");
    }

    auto oldData = mysql::backUpDataFolder(data, "h.err", {});
    ASSERT_TRUE(oldData.ok()) << oldData.error().describe();
    EXPECT_EQ(read(*oldData / "ibdata1"), "own tablespace");
    dir.write("data/ibdata1", "rebuilt");
    std::vector<std::string> problems;
    mysql::MoveHooks hooks;
    hooks.reportProblem = [&](const std::string &problem) { problems.push_back(problem); };
    const fs::path recovered = mysql::finishRebuildMoves(data, *oldData, "h.err", hooks);

    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(read(recovered / "ibdata1"), "rebuilt");
    EXPECT_EQ(read(data / "ibdata1"), "own tablespace");
    for (const auto &entry : fs::directory_iterator(data)) {
        if (entry.path() != recovered && entry.path() != *oldData && entry.is_directory()) {
            EXPECT_NE(read(entry.path() / "ibdata1"), "rebuilt") << entry.path();
        }
    }
}

TEST(DataFolderBackupTest, PutBackAfterAFailedJobRestoresEverythingAndRemovesTheBackup)
{
    TempDir dir;
    const fs::path data = dir.mkdir("data");
    dir.write("data/ibdata1", "old tablespace");
    dir.write("data/zarafa/stores.frm", "old");
    auto oldData = mysql::backUpDataFolder(data, "h.err", {});
    ASSERT_TRUE(oldData.ok());
    dir.write("data/ibdata1", "fresh");
    dir.write("data/ib_logfile0", "fresh");

    mysql::putServerFilesBack(data, *oldData, "h.err", {});
    EXPECT_FALSE(fs::exists(*oldData));
    EXPECT_TRUE(fs::exists(data / "zarafa" / "stores.frm"));
    EXPECT_TRUE(fs::exists(data / "ib_logfile0")); // not moved before: the fresh one stays
    std::ifstream tablespace(data / "ibdata1");
    std::string content;
    std::getline(tablespace, content);
    EXPECT_EQ(content, "old tablespace");
}

TEST(DataFolderBackupTest, AStopDuringTheBackupLeavesUnmovedFilesAloneAtTheFinish)
{
    TempDir dir;
    const fs::path data = dir.mkdir("data");
    dir.write("data/a_first", "x");
    dir.write("data/ibdata1", "old tablespace");
    int entries = 0;
    mysql::MoveHooks hooks;
    hooks.stopping = [&] { return entries >= 1; };
    hooks.pause = [&] { ++entries; };
    auto oldData = mysql::backUpDataFolder(data, "h.err", hooks);
    ASSERT_TRUE(oldData.ok());
    EXPECT_TRUE(fs::exists(data / "ibdata1"));
    auto manifest = mysql::readManifest(*oldData);
    ASSERT_TRUE(manifest.ok());
    EXPECT_TRUE(manifest->wasPlanned("IBDATA1"));
    EXPECT_FALSE(manifest->wasMoved("ibdata1"));

    const fs::path recovered = mysql::finishRebuildMoves(data, *oldData, "h.err", {});
    EXPECT_TRUE(fs::exists(data / "ibdata1")); // the server's own, never taken as rebuilt
    EXPECT_TRUE(recovered.empty());
    EXPECT_TRUE(mysql::unfinishedBackups(data).empty());
}

TEST(DataFolderBackupTest, AMoveThatCannotBeMadeGivesUpAndLeavesEveryFileWhereTheJournalSays)
{
    TempDir dir;
    const fs::path data = dir.mkdir("data");
    dir.write("data/ibdata1", "old");
    auto oldData = mysql::backUpDataFolder(data, "h.err", {});
    ASSERT_TRUE(oldData.ok());
    dir.write("data/ibdata1", "rebuilt");
    std::vector<std::string> problems;
    mysql::MoveHooks hooks;
    hooks.reportProblem = [&](const std::string &problem) { problems.push_back(problem); };
    // Once the rebuilt tablespace has gone to the Recovered Folder, another program puts a file
    // where the server's own must come back: a move never replaces it, and no wait helps.
    hooks.statusLine = [&](int) {
        if (!fs::exists(data / "ibdata1")) {
            dir.write("data/ibdata1", "in the way");
        }
    };
    const fs::path recovered = mysql::finishRebuildMoves(data, *oldData, "h.err", hooks);
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems.front().find("cannot move"), std::string::npos) << problems.front();
    EXPECT_NE(problems.front().find("it stays where it is"), std::string::npos) << problems.front();
    EXPECT_NE(problems.back().find("restore-server"), std::string::npos) << problems.back();
    EXPECT_EQ(read(recovered / "ibdata1"), "rebuilt");
    EXPECT_EQ(read(data / "ibdata1"), "in the way");
    EXPECT_EQ(read(*oldData / "ibdata1"), "old");
    EXPECT_EQ(mysql::unfinishedBackups(data), std::vector<fs::path> { *oldData });

    // Once the obstacle is gone, the next attempt ends the moves, into the same Recovered Folder.
    fs::remove(data / "ibdata1");
    EXPECT_EQ(mysql::finishRebuildMoves(data, *oldData, "h.err", {}), recovered);
    EXPECT_EQ(read(recovered / "ibdata1"), "rebuilt");
    EXPECT_EQ(read(data / "ibdata1"), "old");
    EXPECT_TRUE(mysql::unfinishedBackups(data).empty());
}

// The states a kill leaves between a move's intent and its done: the rename took place or it
// did not, and the journal alone cannot say which.
TEST(MoveJournalTest, AnIntentWithoutItsDoneIsSettledByWhereTheFileIs)
{
    TempDir dir;
    const fs::path data = dir.mkdir("data");
    const fs::path oldData = dir.mkdir("data/OldData(1)");
    {
        auto journal = mysql::MoveJournal::create(oldData, data, { "ibdata1", "ib_logfile0" });
        ASSERT_TRUE(journal.ok());
        ASSERT_TRUE(journal->intend(mysql::MoveStep::Aside, "ibdata1").ok());
        ASSERT_TRUE(journal->done(mysql::MoveStep::Aside, "ibdata1").ok());
        ASSERT_TRUE(journal->intend(mysql::MoveStep::Aside, "ib_logfile0").ok());
        ASSERT_TRUE(journal->done(mysql::MoveStep::Aside, "ib_logfile0").ok());
        ASSERT_TRUE(journal->intend(mysql::MoveStep::Rebuilt, "ibdata1").ok());
        ASSERT_TRUE(journal->done(mysql::MoveStep::Rebuilt, "ibdata1").ok());
        ASSERT_TRUE(journal->intend(mysql::MoveStep::Back, "ibdata1").ok());
        ASSERT_TRUE(journal->intend(mysql::MoveStep::Rebuilt, "ib_logfile0").ok());
    }
    auto manifest = mysql::readManifest(oldData);
    ASSERT_TRUE(manifest.ok());
    EXPECT_TRUE(manifest->wasMoved("IBDATA1"));
    // Neither back move is done; ibdata1's rename took place (it is gone from OldData), the
    // redo log's has not started.
    dir.write("data/OldData(1)/ib_logfile0", "own");
    EXPECT_EQ(manifest->ownCopy("ibdata1"), mysql::OwnCopy::InDataFolder);
    EXPECT_EQ(manifest->ownCopy("ib_logfile0"), mysql::OwnCopy::InOldData);
    dir.write("data/OldData(1)/ibdata1", "own");
    EXPECT_EQ(manifest->ownCopy("ibdata1"), mysql::OwnCopy::InOldData);
    EXPECT_EQ(manifest->ownCopy("never-moved"), mysql::OwnCopy::InDataFolder);
}

} // namespace

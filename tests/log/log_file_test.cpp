// The saved log file: its name, its exact bytes, and what a failed save leaves behind.
#include "log/log_report.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

std::string readBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> folderEntries(const fs::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(LogFileNameTest, TxtIsAppendedUnlessThePathEndsInItIgnoringCase)
{
    EXPECT_EQ(logreport::withTxtExtension("/tmp/name"), "/tmp/name.txt");
    EXPECT_EQ(logreport::withTxtExtension("/tmp/NAME.TXT"), "/tmp/NAME.TXT");
    EXPECT_EQ(logreport::withTxtExtension("/tmp/run.Txt"), "/tmp/run.Txt");
    EXPECT_EQ(logreport::withTxtExtension("/tmp/run.log"), "/tmp/run.log.txt");
    EXPECT_EQ(logreport::withTxtExtension("/tmp/run.txt.bak"), "/tmp/run.txt.bak.txt");
    EXPECT_EQ(logreport::withTxtExtension("txt"), "txt.txt");
}

TEST(LogFileTest, WritesExactlyTheRowsWithCrLfInUtf8)
{
    TempDir dir;
    const std::vector<std::string> rows { "Selected database :  /srv/Datenbank-Müller/Жёлудь",
        "File Size:3.00GB", "", "Total records recovered :  7" };
    const std::string written = logreport::saveLogFile((dir.path() / "run").string(), rows);
    ASSERT_EQ(written, (dir.path() / "run.txt").string());
    EXPECT_EQ(readBytes(written),
        "Selected database :  /srv/Datenbank-M\xC3\xBCller/"
        "\xD0\x96\xD1\x91\xD0\xBB\xD1\x83\xD0\xB4\xD1\x8C\r\n"
        "File Size:3.00GB\r\n\r\nTotal records recovered :  7\r\n");
    // Nothing but the log itself is left in the folder.
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string> { "run.txt" });
}

TEST(LogFileTest, KeepsAnUpperCaseTxtNameAndReplacesAnExistingFile)
{
    TempDir dir;
    const fs::path target = dir.write("NAME.TXT", "an older and much longer log\r\n");
    EXPECT_EQ(logreport::saveLogFile(target.string(), { "new" }), target.string());
    EXPECT_EQ(readBytes(target), "new\r\n");
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string> { "NAME.TXT" });
}

TEST(LogFileTest, FailedSaveReportsFailureAndLeavesNothingHalfWritten)
{
    TempDir dir;
    // A folder in the target's place: the file cannot take its name.
    dir.mkdir("busy.txt/inner");
    EXPECT_EQ(logreport::saveLogFile((dir.path() / "busy").string(), { "row" }), "");
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string> { "busy.txt" });
    EXPECT_TRUE(fs::is_directory(dir.path() / "busy.txt" / "inner"));

    // A folder that does not exist.
    EXPECT_EQ(logreport::saveLogFile((dir.path() / "missing" / "log").string(), { "row" }), "");
}

TEST(LogFileTest, AnEmptyRowListWritesAnEmptyFile)
{
    TempDir dir;
    const std::string written = logreport::saveLogFile((dir.path() / "e.txt").string(), {});
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(readBytes(written), "");
}

} // namespace

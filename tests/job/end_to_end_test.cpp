// Whole repairs with the real phases on a private server: from a data folder written by a real
// server to the Recovered Folder, whose zarafa.sql loads into a fresh server and dumps back as
// the truth. The input folder is never changed.
#include "common/strings.h"
#include "job/job_control.h"
#include "job/rebuild_phases.h"
#include "mysql/workshop_server.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/truth_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace fs = std::filesystem;
using testing_support::RecordingHost;
using testing_support::TempDir;

namespace {

// A cheap fingerprint of every file below a folder: path, size and a FNV-1a hash of the bytes.
std::map<std::string, std::uint64_t> fingerprint(const fs::path &folder)
{
    std::map<std::string, std::uint64_t> prints;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        std::uint64_t hash = 1469598103934665603ull;
        char buffer[65536];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
            for (std::streamsize i = 0; i < in.gcount(); ++i) {
                hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
            }
        }
        prints[fs::relative(entry.path(), folder).string()] = hash ^ entry.file_size();
    }
    return prints;
}

class EndToEndTest : public ::testing::Test
{
protected:
    void start(const fs::path &input)
    {
        ASSERT_TRUE(fs::exists(input / "ibdata1")) << input;
        phases = job::createRebuildPhases(server, (dir.path() / "output").string());
        control = std::make_unique<job::JobControl>(host, *phases, log);
        control->prepareJob
            = [](job::RepairJob &repairJob) { repairJob.pause = std::chrono::milliseconds(0); };
        control->folderChosen(input.string());
        host.logins.push_back({ "localhost", "root", "" });
        control->startStopPressed();
        control->waitForJob();
    }

    // The Recovered Folder's zarafa.sql, loaded into a fresh server and dumped as truth files.
    fs::path dumpOfRecovered()
    {
        const fs::path recovered = control->flags().repairedPath();
        const fs::path out = dir.path() / "dumped";
        const std::string command = "'" ZR_SOURCE_DIR "/tests/fixtures/truth-of-sql.sh' '"
            + (recovered / "zarafa.sql").string() + "' '" + out.string() + "' >/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return out;
    }

    TempDir dir;
    mysql::WorkshopServer server { dir.path() / "workshop" };
    RecordingHost host;
    logreport::LogReport log;
    std::unique_ptr<job::RepairPhases> phases;
    std::unique_ptr<job::JobControl> control;
};

} // namespace

TEST_F(EndToEndTest, RepairsTheFixtureIntoARecoveredFolderWhoseDumpEqualsTheTruth)
{
    const fs::path fixture = testing_support::fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (!fs::exists(fixture / "ibdata1")) {
        GTEST_SKIP() << "the generated Zarafa fixture is not there";
    }
    const auto before = fingerprint(fixture);
    start(fixture);
    ASSERT_NE(control, nullptr);

    EXPECT_EQ(host.completions(), 1);
    EXPECT_TRUE(host.messages().empty()) << host.messages().front();
    EXPECT_EQ(fingerprint(fixture), before) << "the input folder was changed";
    const auto events = host.events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "login"), 0)
        << "the workshop's own login was asked of the user";

    // The progress of the whole run: from nothing to all, never back, through every stage,
    // and the server's start named while it runs.
    const auto reports = host.progressReports();
    ASSERT_GT(reports.size(), 10u);
    EXPECT_TRUE(reports.front().newRun);
    EXPECT_EQ(reports.front().fraction, 0.0);
    EXPECT_EQ(reports.back().fraction, 1.0);
    bool sawStart = false;
    bool sawPages = false;
    for (std::size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GE(reports[i].fraction, reports[i - 1].fraction) << "report " << i;
        EXPECT_FALSE(reports[i].newRun);
        sawStart = sawStart || reports[i].activity == "Starting the workshop server";
        sawPages = sawPages || (reports[i].unit == "pages" && reports[i].total > 0);
    }
    EXPECT_TRUE(sawStart);
    EXPECT_TRUE(sawPages);

    const fs::path recovered = control->flags().repairedPath();
    ASSERT_FALSE(recovered.empty());
    EXPECT_TRUE(fs::exists(recovered / "zarafa.sql"));
    EXPECT_TRUE(fs::exists(recovered / "Recovered Folder" / "ibdata1"));
    const fs::path data = server.dataFolder();
    EXPECT_TRUE(fs::exists(data / "ibdata1")) << "the server's own tablespace is back";
    EXPECT_FALSE(fs::exists(data / "zarafa"));

    const fs::path dumped = dumpOfRecovered();
    std::size_t tables = 0;
    for (const auto &entry : fs::directory_iterator(fixture / "Zarafa")) {
        const std::string name = entry.path().stem().string() + ".tsv";
        EXPECT_EQ(testing_support::firstDifference(dumped / name, fixture / "truth" / name), "")
            << name;
        ++tables;
    }
    EXPECT_GT(tables, 20u);
}

TEST_F(EndToEndTest, DamagedPagesLoseOnlyTheRowsTheyHeld)
{
    const fs::path sample = testing_support::fixtureFromEnvironment("ZR_SAMPLE_FIXTURE_DIR");
    if (!fs::exists(sample / "damaged" / "ibdata1")) {
        GTEST_SKIP() << "the damaged sample folder is not there";
    }
    start(sample / "damaged");
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(host.completions(), 1);
    const fs::path dumped = dumpOfRecovered();
    for (const auto &entry : fs::directory_iterator(sample / "truth")) {
        const std::string name = entry.path().filename().string();
        if (name == "columns.tsv" || name == "innodb-indexes.tsv" || !name.ends_with(".tsv")) {
            continue;
        }
        if (name != "properties.tsv") {
            EXPECT_EQ(testing_support::firstDifference(dumped / name, entry.path()), "") << name;
            continue;
        }
        const auto rebuilt = testing_support::sortedRows(dumped / name);
        const auto truth = testing_support::sortedRows(entry.path());
        const auto surviving = testing_support::sortedRows(sample / "damage" / "surviving" / name);
        EXPECT_TRUE(
            std::includes(rebuilt.begin(), rebuilt.end(), surviving.begin(), surviving.end()))
            << "a row of an intact page is missing";
        EXPECT_TRUE(std::includes(truth.begin(), truth.end(), rebuilt.begin(), rebuilt.end()))
            << "a rebuilt row differs from every row of the truth";
    }
}

TEST_F(EndToEndTest, StopDuringTheDataPassKeepsTheTablesFilledSoFar)
{
    const fs::path fixture = testing_support::fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (!fs::exists(fixture / "ibdata1")) {
        GTEST_SKIP() << "the generated Zarafa fixture is not there";
    }
    std::string firstTable;
    bool asked = false;
    host.onStatus = [&](int kind, std::string_view name) {
        if (kind != 4) {
            return;
        }
        if (firstTable.empty()) {
            firstTable = std::string(name);
        } else if (name != firstTable && !asked) {
            asked = true;
            host.answers.push_back(job::Answer::Yes); // "Do You want to stop process?"
            control->startStopPressed();
        }
    };
    start(fixture);
    ASSERT_NE(control, nullptr);

    ASSERT_TRUE(asked);
    EXPECT_EQ(host.completions(), 0);
    const auto messages = host.messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), common::text(common::str::kStoppedByUser));
    const fs::path recovered = control->flags().repairedPath();
    ASSERT_FALSE(recovered.empty());
    // The table that was fully read before the stop is in the dump, whole.
    const fs::path dumped = dumpOfRecovered();
    const std::string file = firstTable.substr(7) + ".tsv";
    EXPECT_EQ(testing_support::firstDifference(dumped / file, fixture / "truth" / file), "")
        << file;
    EXPECT_TRUE(fs::exists(fs::path(server.dataFolder()) / "ibdata1"));
    EXPECT_EQ(control->flags().readyToStart, 1);
}

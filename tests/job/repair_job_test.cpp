#include "common/strings.h"
#include "job/job_control.h"
#include "job/scripted_phases.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using job::Answer;
using job::Control;
using testing_support::RecordingHost;
using testing_support::ScriptedPhases;
using testing_support::TempDir;
using Calls = std::vector<std::string>;

namespace {

std::string text(int id)
{
    return std::string(common::text(id));
}

struct JobFixture : ::testing::Test
{
    TempDir dir;
    RecordingHost host;
    ScriptedPhases phases;
    logreport::LogReport log;
    job::JobControl control { host, phases, log };

    JobFixture()
    {
        control.prepareJob = [](job::RepairJob &repairJob) {
            repairJob.pause = std::chrono::milliseconds(0);
        };
    }

    void makeFolder()
    {
        dir.write("zarafa/stores.frm", "x");
        dir.write("zarafa/users.frm", "x");
        dir.write("ibdata1", "x");
        control.folderChosen(dir.str());
    }

    void runJob()
    {
        control.startStopPressed();
        control.waitForJob();
    }

    void expectReadyState()
    {
        EXPECT_EQ(control.flags().readyToStart, 1);
        EXPECT_EQ(control.flags().jobStarted, 0);
        EXPECT_EQ(control.flags().confirmAnswer, 1);
        EXPECT_TRUE(host.enabled(Control::StartStop));
        EXPECT_TRUE(host.enabled(Control::SelectFolder));
        EXPECT_TRUE(host.enabled(Control::Log));
        EXPECT_FALSE(host.visible(Control::ProgressBar));
    }
};

} // namespace

TEST_F(JobFixture, FolderWithoutDefinitionsEndsWithFileCantBeOpenedAndLeavesTheServerAlone)
{
    // Message 111 as it always read, then a line naming the cause and the path.
    control.folderChosen(dir.str());
    runJob();
    EXPECT_EQ(host.messages(),
        (Calls { text(111) + "\n" + dir.str()
            + "/Zarafa: no such folder, and there is no ibdata1 whose dictionary could stand in "
              "for its table definitions" }));
    EXPECT_TRUE(phases.calls().empty());
    EXPECT_EQ(host.completions(), 0);
    expectReadyState();

    dir.mkdir("Zarafa");
    runJob();
    ASSERT_EQ(host.messages().size(), 2u);
    EXPECT_EQ(host.messages()[1],
        text(111) + "\n" + dir.str()
            + "/Zarafa: holds no table definition (.frm) files, and there is no ibdata1 whose "
              "dictionary could stand in for them");
    EXPECT_TRUE(phases.calls().empty());
}

TEST_F(JobFixture, RunsThePhasesInOrderAndOffersTheRecoveredFolder)
{
    makeFolder();
    host.logins.push_back({ "localhost", "root", "secret" });
    phases.backupFailures = 2;
    std::vector<std::string> seenTables;
    phases.duringDefinitionPass = [&](job::RepairJob &repairJob) {
        seenTables = repairJob.dictionaryNames;
        EXPECT_EQ(repairJob.databaseFolder, dir.str());
        EXPECT_TRUE(host.enabled(Control::StartStop)); // from here on a press is a stop request
    };
    runJob();

    EXPECT_EQ(phases.calls(), (Calls { "backup", "backup", "backup", "start", "connect:secret",
                                       "create", "definitions", "save", "finish" }));
    EXPECT_EQ(seenTables, (Calls { "zarafa/stores", "zarafa/users" }));
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.completions(), 1);
    const Calls events = host.events();
    EXPECT_NE(std::find(events.begin(), events.end(), "completion:/recovered"), events.end());
    expectReadyState();

    // A second Start runs a new job on the same folder without choosing it again.
    host.logins.push_back({ "localhost", "root", "secret" });
    runJob();
    EXPECT_EQ(host.completions(), 2);
}

TEST_F(JobFixture, StopDuringDefinitionPassEndsWithStoppedByUserAndNoCompletion)
{
    makeFolder();
    host.logins.push_back({ "h", "u", "secret" });
    host.answers.push_back(Answer::Yes); // "Do You want to stop process?"
    phases.duringDefinitionPass = [&](job::RepairJob &) { control.startStopPressed(); };
    runJob();

    EXPECT_EQ(host.messages(), (Calls { text(152), text(109) }));
    EXPECT_EQ(host.completions(), 0);
    // The save phase still starts, and its finishing step runs once, to its end.
    const Calls calls = phases.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "finish"), 1);
    EXPECT_EQ(calls.back(), "finish");
    expectReadyState();
}

TEST_F(JobFixture, AnsweringNoToTheStopQuestionKeepsTheJobRunning)
{
    makeFolder();
    host.logins.push_back({ "h", "u", "secret" });
    host.answers.push_back(Answer::No);
    phases.duringDefinitionPass = [&](job::RepairJob &repairJob) {
        control.startStopPressed();
        EXPECT_EQ(repairJob.flags.stopRequested, 0);
        EXPECT_EQ(host.events().back(), "picture:stop");
    };
    runJob();
    EXPECT_EQ(host.messages(), (Calls { text(152) }));
    EXPECT_EQ(host.completions(), 1);
}

TEST_F(JobFixture, AbandonedLoginEndsWithFailureAndPutsTheServerFilesBack)
{
    makeFolder();
    host.answers.push_back(Answer::No); // "You want to run the process?"
    runJob();
    EXPECT_EQ(host.messages(), (Calls { text(108), text(110) }));
    EXPECT_EQ(phases.calls(), (Calls { "backup", "start", "restore" }));
    EXPECT_EQ(control.flags().loginAllowed, 0);
    EXPECT_EQ(host.completions(), 0);
    expectReadyState();

    // Choosing the folder again allows the next job to ask for the login.
    control.folderChosen(dir.str());
    EXPECT_EQ(control.flags().loginAllowed, 1);
}

TEST_F(JobFixture, WrongPasswordAsksAgainUntilTheUserGivesUp)
{
    makeFolder();
    host.logins = { { "h", "u", "wrong" }, { "h", "u", "secret" } };
    host.answers.push_back(Answer::Yes); // "Invalid login information..." → try again
    runJob();
    EXPECT_EQ(host.messages(), (Calls { text(112) }));
    EXPECT_EQ(host.completions(), 1);

    host.logins = { { "h", "u", "wrong" } };
    host.answers.push_back(Answer::No);
    runJob();
    EXPECT_EQ(host.messages(), (Calls { text(112), text(112), text(110) }));
    EXPECT_EQ(phases.calls().back(), "restore");
}

TEST_F(JobFixture, FailedDatabaseCreationEndsWithFailure)
{
    makeFolder();
    host.logins.push_back({ "h", "u", "secret" });
    phases.createSucceeds = false;
    phases.startFailures = 3;
    runJob();
    EXPECT_EQ(host.messages(), (Calls { text(110) }));
    EXPECT_EQ(phases.calls(), (Calls { "backup", "start", "start", "start", "start",
                                       "connect:secret", "create", "restore" }));
}

TEST(RepairJobTest, ResetTwiceLeavesAnEmptyJob)
{
    RecordingHost host;
    job::JobFlags flags;
    job::LoginValues login;
    logreport::LogReport log;
    job::RepairJob repairJob(flags, host, login, log);
    repairJob.tableFileNames = { "a.frm" };
    repairJob.dictionaryNames = { "zarafa/a" };
    repairJob.nextListRow = 9;
    repairJob.reset();
    repairJob.reset();
    EXPECT_TRUE(repairJob.tableFileNames.empty());
    EXPECT_TRUE(repairJob.dictionaryNames.empty());
    EXPECT_EQ(repairJob.nextListRow, 3);
}

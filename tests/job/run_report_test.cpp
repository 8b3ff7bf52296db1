#include "job/run_report.h"
#include "support/recording_host.h"

#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

TEST(RunReportTest, SummaryAndJsonNameEveryLossAndEscapeNames)
{
    job::RunReport report;
    report.folder = "/data/\"odd\"\tfolder";
    report.verdict.outcome = job::Outcome::CompletedWithLosses;
    report.recoveredPath = "/srv/Recovered Folder (1)";
    job::TableOutcome properties;
    properties.name = "zarafa/properties";
    properties.rowsInserted = 2900;
    properties.rowsRefused = 2;
    properties.deleteMarkedSkipped = 5;
    properties.problems = { "zarafa/properties: page 514: child page is not a leaf of this index" };
    job::TableOutcome lost;
    lost.name = "zarafa/extra";
    lost.definitionMissing = true;
    report.tables = { properties, lost };

    const std::string summary = job::summaryText(report);
    EXPECT_NE(summary.find("zarafa/properties: 2900 rows recovered, 2 refused by the server, 5 "
                           "deleted rows left out"),
        std::string::npos)
        << summary;
    EXPECT_NE(summary.find("damaged: zarafa/properties: page 514"), std::string::npos);
    EXPECT_NE(summary.find("zarafa/extra: no definition file, not recovered"), std::string::npos);
    EXPECT_NE(summary.find("Rows refused by the server: 2"), std::string::npos);

    const std::string json = job::reportJson(report);
    EXPECT_NE(json.find(R"("folder": "/data/\"odd\"\tfolder")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("rowsRefused": 2)"), std::string::npos);
    EXPECT_NE(json.find(R"("deleteMarkedSkipped": 5)"), std::string::npos);
    EXPECT_NE(json.find(R"("definitionMissing": true)"), std::string::npos);
}

namespace {

// A job as the data pass leaves it, with no window or server behind it.
struct JudgedJob
{
    testing_support::RecordingHost host;
    job::JobFlags flags;
    job::LoginValues login;
    logreport::LogReport log;
    job::RepairJob repairJob { flags, host, login, log };

    JudgedJob()
    {
        repairJob.dataPassRan = true;
        repairJob.databaseFolder = "/srv/damaged";
    }
    job::TableOutcome &table(const std::string &name, std::uint64_t rows)
    {
        job::TableOutcome outcome;
        outcome.name = name;
        outcome.pagesRead = 1;
        outcome.rowsInserted = rows;
        repairJob.outcomes.push_back(outcome);
        return repairJob.outcomes.back();
    }
};

} // namespace

TEST(RunOutcomeTest, EachKindOfLossMakesTheRunCompletedWithLosses)
{
    const auto judge = [](const std::function<void(JudgedJob &)> &damage) {
        JudgedJob judged;
        judged.table("zarafa/stores", 10);
        judged.table("zarafa/users", 5);
        damage(judged);
        return job::judgeRun(judged.repairJob);
    };
    const auto clean = judge([](JudgedJob &) {});
    EXPECT_EQ(clean.outcome, job::Outcome::Complete);
    EXPECT_EQ(job::exitCode(clean.outcome), 0);
    EXPECT_EQ(clean.totals.rowsRecovered, 15u);
    // Deleted rows are left out on purpose: no loss.
    EXPECT_EQ(judge([](JudgedJob &j) { j.repairJob.outcomes[0].deleteMarkedSkipped = 3; }).outcome,
        job::Outcome::Complete);

    const std::vector<std::function<void(job::TableOutcome &)>> losses {
        [](job::TableOutcome &t) { t.rowsRefused = 1; },
        [](job::TableOutcome &t) { t.recordsRejected = 1; },
        [](job::TableOutcome &t) { t.rowsWithDamagedLongValues = 1; },
        [](job::TableOutcome &t) { t.valuesTruncated = 1; },
        [](job::TableOutcome &t) { t.pagesRejected = 1; },
        [](job::TableOutcome &t) { t.pagesUnreadable = 1; },
        [](job::TableOutcome &t) { t.switchProblem = "Got error 28"; },
        [](job::TableOutcome &t) { t.notRead = "column x has a type this decoder cannot read"; },
        [](job::TableOutcome &t) { t.definitionMissing = true; },
        [](job::TableOutcome &t) { t.inDictionary = false; },
    };
    for (std::size_t i = 0; i < losses.size(); ++i) {
        const auto verdict = judge([&](JudgedJob &j) { losses[i](j.repairJob.outcomes[1]); });
        EXPECT_EQ(verdict.outcome, job::Outcome::CompletedWithLosses) << "loss " << i;
        EXPECT_EQ(job::exitCode(verdict.outcome), 4);
        EXPECT_EQ(verdict.totals.tablesAffected, 1u) << "loss " << i;
    }
    const auto lostDump = judge([](JudgedJob &j) { j.repairJob.lose("no zarafa.sql: disk full"); });
    EXPECT_EQ(lostDump.outcome, job::Outcome::CompletedWithLosses);
    EXPECT_EQ(lostDump.reasons.front(), "no zarafa.sql: disk full");
    // No row is lost, so the line names what is.
    EXPECT_EQ(job::outcomeLine(lostDump),
        "Outcome: completed with losses: 15 rows recovered, 0 rows lost, 0 tables affected; no "
        "zarafa.sql: disk full.");

    const auto counted = judge([](JudgedJob &j) {
        j.repairJob.outcomes[0].rowsRefused = 2;
        j.repairJob.outcomes[1].rowsWithDamagedLongValues = 3;
        j.repairJob.outcomes[1].pagesRejected = 4;
    });
    EXPECT_EQ(job::countsLine(counted.totals),
        "15 rows recovered, 5 rows lost (and the rows of 4 damaged pages), 2 tables affected");
    EXPECT_EQ(job::outcomeLine(counted),
        "Outcome: completed with losses: 15 rows recovered, 5 rows lost (and the rows of 4 "
        "damaged pages), 2 tables affected.");
}

TEST(RunOutcomeTest, NoTableReadOrAFailureOfTheRebuildFailsAndAStopIsAStop)
{
    {
        JudgedJob judged;
        judged.table("zarafa/stores", 0).notRead = "none of its pages could be read";
        judged.table("zarafa/users", 0).definitionMissing = true;
        judged.repairJob.readProblems.push_back("ibdata1: the data dictionary cannot be read");
        const auto verdict = job::judgeRun(judged.repairJob);
        EXPECT_EQ(verdict.outcome, job::Outcome::Failed);
        EXPECT_EQ(job::exitCode(verdict.outcome), 3);
        EXPECT_EQ(verdict.reasons.at(0), "no table's rows could be read from /srv/damaged");
        EXPECT_EQ(verdict.reasons.at(1), "ibdata1: the data dictionary cannot be read");
    }
    {
        // The data pass found nothing to go through at all.
        JudgedJob judged;
        EXPECT_EQ(job::judgeRun(judged.repairJob).outcome, job::Outcome::Failed);
    }
    {
        JudgedJob judged;
        judged.table("zarafa/stores", 10);
        judged.repairJob.fail("the workshop's disk is full (/srv/workshop)");
        const auto verdict = job::judgeRun(judged.repairJob);
        EXPECT_EQ(verdict.outcome, job::Outcome::Failed);
        EXPECT_EQ(job::outcomeLine(verdict),
            "Outcome: failed: the workshop's disk is full (/srv/workshop).");
        judged.flags.userStopRequested = 1;
        EXPECT_EQ(job::judgeRun(judged.repairJob).outcome, job::Outcome::Stopped);
        EXPECT_EQ(job::exitCode(job::Outcome::Stopped), 1);
    }
    {
        JudgedJob judged;
        judged.flags.folderInvalid = 1;
        judged.repairJob.folderProblem = "/srv/damaged/ibdata1: not a regular file (a FIFO)";
        const auto verdict = job::judgeRun(judged.repairJob);
        EXPECT_EQ(verdict.outcome, job::Outcome::Failed);
        EXPECT_NE(verdict.reasons.at(0).find("/srv/damaged/ibdata1: not a regular file (a FIFO)"),
            std::string::npos);
    }
}

TEST(RunReportTest, JsonIsVersionedValidUtf8AndNamesEveryDamagedRow)
{
    JudgedJob judged;
    // A Latin-1 folder name: "Daten-Müller" with ü as the single byte 0xFC.
    judged.repairJob.databaseFolder = "/srv/Daten-M\xFCller";
    auto &lob = judged.table("zarafa/lob", 70);
    lob.rowsWithDamagedLongValues = 1;
    lob.damagedRows.push_back({ { { "instanceid", "7" }, { "tag", "4105" }, { "chunkid", "2" } },
        "val_binary: overflow page 812 is damaged (its checksum does not match its contents)",
        false });
    judged.repairJob.startPhase("data");
    judged.repairJob.startPhase({});
    job::RunReport report = job::makeRunReport(judged.repairJob);
    report.logPath = "/tmp/log.txt";
    const std::string text = job::reportJson(report);

    const auto json = nlohmann::json::parse(text); // throws on invalid UTF-8 or syntax
    EXPECT_EQ(json["format"], job::kReportFormat);
    EXPECT_EQ(json["outcome"], "completedWithLosses");
    EXPECT_EQ(json["folder"], "/srv/Daten-M\xEF\xBF\xBDller"); // U+FFFD in place of the byte
    EXPECT_EQ(json["folderHex"], "2F7372762F446174656E2D4DFC6C6C6572");
    EXPECT_EQ(json["totals"]["rowsRecovered"], 70);
    EXPECT_EQ(json["totals"]["rowsLost"], 1);
    EXPECT_EQ(json["outputs"]["log"], "/tmp/log.txt");
    EXPECT_TRUE(json["outputs"]["recoveredFolder"].is_null());
    EXPECT_EQ(json["phases"][0]["name"], "data");
    const auto &table = json["tables"][0];
    EXPECT_EQ(table["rowsWithDamagedLongValues"], 1);
    EXPECT_EQ(table["damagedRows"][0]["key"]["instanceid"], "7");
    EXPECT_EQ(table["damagedRows"][0]["key"]["chunkid"], "2");
    EXPECT_EQ(table["damagedRows"][0]["kept"], false);
    EXPECT_NE(table["damagedRows"][0]["damage"].get<std::string>().find("overflow page 812"),
        std::string::npos);
}

TEST(RunReportTest, SalvagedRowsAreCountedApartPageByPageWithEveryRowInDoubtNamed)
{
    JudgedJob judged;
    auto &properties = judged.table("zarafa/properties", 500);
    properties.pagesRejected = 2;
    job::SalvageOutcome &salvage = properties.salvage;
    salvage.pagesWalked = 2;
    salvage.rowsSalvaged = 41;
    salvage.rowsDoubtful = 1;
    salvage.rowsQuarantined = 41;
    salvage.pages = { { 812, 30 }, { 913, 11 } };
    salvage.doubtful.push_back({ { { "hierarchyid", "50" }, { "tag", "4115" }, { "type", "258" } },
        913, "the bytes after it on the page are damaged" });
    job::RunReport report = job::makeRunReport(judged.repairJob);
    report.salvagedDumpPath = "/tmp/run/zarafa-salvaged.sql";

    const auto json = nlohmann::json::parse(job::reportJson(report));
    const auto &salvaged = json["tables"][0]["salvaged"];
    EXPECT_EQ(salvaged["database"], "zarafa_salvaged");
    EXPECT_EQ(salvaged["rowsSalvaged"], 41);
    EXPECT_EQ(salvaged["rowsInQuarantine"], 41);
    EXPECT_EQ(salvaged["rowsMerged"], 0);
    EXPECT_EQ(salvaged["pages"][1]["page"], 913);
    EXPECT_EQ(salvaged["pages"][1]["rows"], 11);
    EXPECT_EQ(salvaged["doubtfulRows"][0]["key"]["tag"], "4115");
    EXPECT_EQ(salvaged["doubtfulRows"][0]["page"], 913);
    EXPECT_EQ(json["outputs"]["salvagedDump"], "/tmp/run/zarafa-salvaged.sql");
    // The rebuilt table's own count does not include them.
    EXPECT_EQ(json["tables"][0]["rowsInserted"], 500);

    const std::string summary = job::summaryText(report);
    EXPECT_NE(summary.find("41 rows salvaged from 2 damaged pages (812, 913): 41 in "
                           "zarafa_salvaged, 1 of them in doubt"),
        std::string::npos)
        << summary;
    EXPECT_NE(summary.find("Salvaged rows: /tmp/run/zarafa-salvaged.sql"), std::string::npos);
}

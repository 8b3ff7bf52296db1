#include "job/run_report.h"

#include <gtest/gtest.h>

TEST(RunReportTest, SummaryAndJsonNameEveryLossAndEscapeNames)
{
    job::RunReport report;
    report.folder = "/data/\"odd\"\tfolder";
    report.outcome = "completed";
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

// The run's lines: fixed lines, entries of both passes, their places in the window's list and the
// rows the log report shows.
#include "log/log_report.h"

#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace {

using logreport::LogReport;
using logreport::Pass;

// The window's list: a row inserted beyond the last row goes to the end.
struct ListModel
{
    std::vector<std::string> rows;
    logreport::ListRowSink sink()
    {
        return [this](int position, std::string_view text) {
            const auto at = static_cast<std::size_t>(position) < rows.size()
                ? rows.begin() + position
                : rows.end();
            rows.insert(at, std::string(text));
        };
    }
};

struct TableRun
{
    std::string name;
    std::uint64_t count;
};

// What the definition pass and the data pass do after each table.
void runPasses(LogReport &log, ListModel &list, int &nextRow, const std::vector<TableRun> &files,
    const std::vector<TableRun> &tables, std::uint64_t tablespaceSize)
{
    for (std::size_t i = 0; i < files.size(); ++i) {
        log.setTableCount(files[i].count);
        log.reportTableToList(files[i].name, i);
        log.showQueuedLines(nextRow, i, Pass::Definition, "/srv/mysql-damaged", list.sink());
    }
    log.setTablespaceSize(tablespaceSize);
    for (std::size_t i = 0; i < tables.size(); ++i) {
        log.setTableCount(tables[i].count);
        log.reportTableToList(tables[i].name, i);
        log.showQueuedLines(nextRow, i, Pass::Data, "/srv/mysql-damaged", list.sink());
        log.reportTableToLog(tables[i].name, i);
    }
    log.finish(nextRow, list.sink());
}

const std::string kStartTime = "Sun Dec 06 22:14:41 2026";

TEST(LogLinesTest, SizeLineScalesToTheLargestUnitAndCutsAfterTwoDecimals)
{
    EXPECT_EQ(LogReport::sizeLine(3'221'225'472), "File Size:3.00GB");
    EXPECT_EQ(LogReport::sizeLine(1'048'575), "File Size:1023.99KB");
    EXPECT_EQ(LogReport::sizeLine(1'048'576), "File Size:1.00MB");
    EXPECT_EQ(LogReport::sizeLine(1024), "File Size:1.00KB");
    // Cut, not rounded: 1.999 MB stays 1.99.
    EXPECT_EQ(LogReport::sizeLine(2'096'103), "File Size:1.99MB");
    EXPECT_EQ(LogReport::sizeLine(1ULL << 40), "File Size:1024.00GB");
}

TEST(LogLinesTest, SizeLineBelowOneKilobyteIsThePlainByteCount)
{
    EXPECT_EQ(LogReport::sizeLine(1023), "File Size:1023");
    EXPECT_EQ(LogReport::sizeLine(0), "File Size:0");
}

TEST(LogLinesTest, StartedLineTakesDateAndTimeFromTheStartTimeAndTheYearFromTheClock)
{
    EXPECT_EQ(LogReport::startedLine(kStartTime, 2026),
        "Recovery started on:Sun Dec 06, 2026 at  22:14:41");
    EXPECT_EQ(LogReport::startedLine(kStartTime, 2027),
        "Recovery started on:Sun Dec 06, 2027 at  22:14:41");
    // A text too short to be a ctime text is shown as it is, never cut out of bounds.
    EXPECT_EQ(LogReport::startedLine("short", 2026), "Recovery started on:short");
}

TEST(LogLinesTest, CtimeNowHasTheFixedEnglishFormWithoutNewline)
{
    const std::string now = LogReport::ctimeNow();
    EXPECT_EQ(now.size(), 24u) << now;
    EXPECT_TRUE(std::regex_match(now,
        std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                   "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                   "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
        << now;
}

TEST(LogRunTest, TwoTableRunFillsTheListInOrder)
{
    LogReport log;
    log.setProgramStartTime(kStartTime);
    ListModel list;
    int nextRow = 3;
    runPasses(log, list, nextRow, { { "stores.frm", 12 }, { "users.frm", 5 } },
        { { "zarafa/stores", 1200 }, { "zarafa/users", 3 } }, 3'221'225'472);

    ASSERT_EQ(list.rows.size(), 12u);
    EXPECT_EQ(list.rows[0], "Selected database :  /srv/mysql-damaged");
    EXPECT_EQ(list.rows[1], "File Size:3.00GB");
    EXPECT_TRUE(list.rows[2].starts_with("Recovery started on:Sun Dec 06, ")) << list.rows[2];
    EXPECT_TRUE(list.rows[2].ends_with(" at  22:14:41")) << list.rows[2];
    EXPECT_EQ(list.rows[3], "File selected for recovery : stores.frm");
    EXPECT_EQ(list.rows[4], "Total records recovered :  12");
    EXPECT_EQ(list.rows[5], "File selected for recovery : users.frm");
    EXPECT_EQ(list.rows[6], "Total records recovered :  5");
    EXPECT_EQ(list.rows[7], "File selected for recovery : zarafa/stores");
    EXPECT_EQ(list.rows[8], "Total records recovered :  1200");
    EXPECT_EQ(list.rows[9], "File selected for recovery : zarafa/users");
    EXPECT_EQ(list.rows[10], "Total records recovered :  3");
    EXPECT_TRUE(list.rows[11].starts_with("Recovery finished on:")) << list.rows[11];
    EXPECT_EQ(nextRow, 12);

    // The log report holds only the data pass's tables.
    const auto rows = log.reportRows();
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], list.rows[0]);
    EXPECT_EQ(rows[1], list.rows[1]);
    EXPECT_EQ(rows[2], list.rows[2]);
    EXPECT_EQ(rows[3], "File selected for recovery : zarafa/stores");
    EXPECT_EQ(rows[6], "Total records recovered :  3");
    EXPECT_EQ(rows[7], list.rows[11]);
}

TEST(LogRunTest, OneTableRunShowsSixReportRowsFinishedLast)
{
    LogReport log;
    log.setProgramStartTime(kStartTime);
    ListModel list;
    int nextRow = 3;
    runPasses(log, list, nextRow, { { "stores.frm", 12 } }, { { "zarafa/stores", 7 } }, 1023);
    const auto rows = log.reportRows();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[1], "File Size:1023");
    EXPECT_TRUE(rows[5].starts_with("Recovery finished on:"));
}

TEST(LogRunTest, CountsBeyondThirtyTwoBitsArePrintedWhole)
{
    LogReport log;
    log.setTableCount(5'000'000'000ULL);
    log.reportTableToLog("zarafa/hierarchy", 0);
    EXPECT_EQ(log.reportRows()[4], "Total records recovered :  5000000000");
}

TEST(LogRunTest, ShowQueuedLinesWithAnEmptyQueueAddsNothing)
{
    LogReport log;
    ListModel list;
    int nextRow = 3;
    log.showQueuedLines(nextRow, 0, Pass::Definition, "/x", list.sink());
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(nextRow, 3);
}

TEST(LogRunTest, EmptyingForANewJobDropsEntriesAndTheOldFinishTime)
{
    LogReport log;
    ListModel list;
    int nextRow = 3;
    runPasses(log, list, nextRow, { { "a.frm", 1 } }, { { "zarafa/a", 1 } }, 10);
    log.empty();
    EXPECT_TRUE(log.reportRows().empty());
    // A run that logs a table but never reaches its finish step shows no stale finish time.
    log.reportTableToLog("zarafa/b", 0);
    const auto rows = log.reportRows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.back(), "Total records recovered :  1");
}

TEST(LogDialogStateTest, ClearLogEmptiesTheListUntilTheNextEntry)
{
    LogReport log;
    EXPECT_FALSE(log.cleared());
    log.reportTableToLog("zarafa/stores", 0);
    log.clear();
    EXPECT_TRUE(log.cleared());
    EXPECT_TRUE(log.reportRows().empty());
    log.reportTableToLog("zarafa/stores", 0);
    EXPECT_FALSE(log.cleared());
    EXPECT_EQ(log.reportRows().size(), 5u);
}

TEST(LogDialogStateTest, SavedStaysSetForTheWholeProgram)
{
    LogReport log;
    EXPECT_FALSE(log.saved());
    log.markSaved();
    log.empty();
    log.clear();
    log.reportTableToLog("zarafa/stores", 0);
    EXPECT_TRUE(log.saved());
}

} // namespace

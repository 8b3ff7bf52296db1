// The account of a finished run for people and for scripts: a summary text and a JSON report
// (its format is described in docs/report-format.md).
#pragma once

#include "job/repair_job.h"
#include "job/run_outcome.h"

#include <string>
#include <vector>

namespace job {

// The version of the JSON report's layout; raised when a field changes meaning or goes away
// (new fields may be added without it).
inline constexpr int kReportFormat = 1;

struct RunReport
{
    std::string folder; // the damaged data folder
    RunVerdict verdict;
    std::vector<TableOutcome> tables;
    MailboxLosses mailboxLosses; // `zarafa` false: no mailbox section
    std::vector<std::string> failures; // RepairJob::failures
    std::vector<std::string> losses; // RepairJob::losses
    std::vector<RepairJob::PhaseTime> phases;
    std::string finished; // ctime form, empty when the data pass did not end
    // The outputs; empty when there is none.
    std::string resultPath; // the run's folder that holds the others
    std::string recoveredPath; // the Recovered Folder
    std::string dumpPath; // zarafa.sql
    std::string salvagedDumpPath; // zarafa-salvaged.sql
    std::string logPath; // the saved log
    std::string reportPath; // this report
};

RunReport makeRunReport(const RepairJob &job);

// Lines for a terminal: one per table with its rows recovered and what it lost, then the totals,
// and last the outcome in words.
std::string summaryText(const RunReport &report);

// The same as JSON for scripts, always valid UTF-8: bytes of a text that are not UTF-8 (a Latin-1
// folder name) become U+FFFD, and a path that held such bytes is given once more, exactly, as hex.
std::string reportJson(const RunReport &report);

} // namespace job

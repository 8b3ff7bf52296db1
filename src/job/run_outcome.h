// The outcome of a run, decided in one place for every front end: the command line's exit code,
// the summary's last line, the window's completion dialog and the JSON report all say the same.
#pragma once

#include "job/repair_job.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace job {

enum class Outcome {
    Complete, // every table read, nothing lost
    CompletedWithLosses, // a result, but something the data folder held is not in it
    Failed, // no table's rows could be read, or the rebuild could not be finished
    Stopped, // the user stopped the run
};

struct RunTotals
{
    std::uint64_t tables = 0; // tables the run knew of (definitions and the dictionary's)
    std::uint64_t tablesRead = 0; // tables whose rows were read (none lost or some)
    std::uint64_t tablesNotRead = 0; // tables of which no row could be read, or not created
    std::uint64_t tablesAffected = 0; // tables not read or with any loss
    std::uint64_t rowsRecovered = 0; // rows in the rebuilt tables
    // Rows known to be missing: refused by the server, damaged records, rows with damaged long
    // values left out. Rows of damaged pages cannot be counted; their pages are.
    std::uint64_t rowsLost = 0;
    std::uint64_t rowsCut = 0; // kept with a long value cut short (on request)
    std::uint64_t damagedPages = 0; // pages that failed their checks or could not be read
    std::uint64_t repairedPages = 0; // damaged pages put back from the doublewrite buffer
    std::uint64_t deletedLeftOut = 0; // delete-marked rows left out on purpose: no loss
};

struct RunVerdict
{
    Outcome outcome = Outcome::Complete;
    RunTotals totals;
    // Why the run failed or what it lost, in the user's words, each naming cause and path.
    std::vector<std::string> reasons;
};

// Why no row of `table` reached the rebuilt database (empty when some did or could).
std::string notReadReason(const TableOutcome &table);
// Whether the table lost anything: not read, rows refused or damaged, pages damaged, values cut,
// or left a MyISAM table.
bool tableAffected(const TableOutcome &table);

// The verdict on a job at its end (before it is reset).
RunVerdict judgeRun(const RepairJob &job);

// "complete", "completed with losses", "failed", "stopped".
std::string_view outcomeWords(Outcome outcome);
// The name scripts read in the JSON report: "complete", "completedWithLosses", "failed",
// "stopped".
std::string_view outcomeName(Outcome outcome);
// The command line's exit code: 0 complete, 4 completed with losses, 3 failed, 1 stopped.
int exitCode(Outcome outcome);

// One plain line of counts: "5927 rows recovered, 106 rows lost, 3 tables affected", with the
// damaged pages whose rows cannot be counted when there are any.
std::string countsLine(const RunTotals &totals);
// The summary's last line: the outcome in words, with the counts for a run that has a result.
std::string outcomeLine(const RunVerdict &verdict);

} // namespace job

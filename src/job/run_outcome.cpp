#include "job/run_outcome.h"

#include "common/strings.h"

#include <algorithm>

namespace job {

namespace {

// Reasons the user reads at the end: enough to act on, not a wall of text; the report and the
// list hold every line.
constexpr std::size_t kReasonsShown = 5;

void addReason(std::vector<std::string> &reasons, std::string reason)
{
    if (reasons.size() < kReasonsShown) {
        reasons.push_back(std::move(reason));
    }
}

std::string plural(std::uint64_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

} // namespace

std::string notReadReason(const TableOutcome &table)
{
    if (table.notInFolder) {
        return {};
    }
    if (!table.notRead.empty()) {
        return table.notRead;
    }
    if (table.definitionMissing) {
        return "no table definition (.frm) could be read for it";
    }
    if (!table.inDictionary) {
        return "it is not in the tablespace's data dictionary nor in an .ibd file of its own";
    }
    return {};
}

bool tableAffected(const TableOutcome &table)
{
    if (table.notInFolder) {
        return false;
    }
    return !notReadReason(table).empty() || table.rowsRefused > 0 || table.recordsRejected > 0
        || table.rowsWithDamagedLongValues > 0 || table.valuesTruncated > 0
        || table.pagesRejected + table.pagesUnreadable > 0 || !table.switchProblem.empty();
}

RunVerdict judgeRun(const RepairJob &job)
{
    RunVerdict verdict;
    RunTotals &totals = verdict.totals;
    for (const TableOutcome &table : job.outcomes) {
        if (table.notInFolder) {
            continue; // nothing of it is in the folder: neither read nor lost
        }
        ++totals.tables;
        const std::string notRead = notReadReason(table);
        if (notRead.empty()) {
            ++totals.tablesRead;
        } else {
            ++totals.tablesNotRead;
        }
        totals.tablesAffected += tableAffected(table) ? 1u : 0u;
        totals.rowsRecovered += table.rowsInserted;
        totals.rowsLost
            += table.rowsRefused + table.recordsRejected + table.rowsWithDamagedLongValues;
        totals.rowsCut += table.valuesTruncated;
        totals.damagedPages += table.pagesRejected + table.pagesUnreadable;
        totals.repairedPages += table.pagesRepaired;
        totals.deletedLeftOut += table.deleteMarkedSkipped;
    }
    totals.repairedPages = std::max(totals.repairedPages, job.pagesRepaired);

    const JobFlags &flags = job.flags;
    if (flags.userStopRequested != 0) {
        verdict.outcome = Outcome::Stopped;
        return verdict;
    }
    if (flags.folderInvalid != 0) {
        verdict.outcome = Outcome::Failed;
        std::string reason(common::text(common::str::kFileCantBeOpened));
        if (!job.folderProblem.empty()) {
            reason += " " + job.folderProblem;
        }
        addReason(verdict.reasons, reason);
        return verdict;
    }
    for (const std::string &failure : job.failures) {
        addReason(verdict.reasons, failure);
    }
    if (flags.scanSucceeded == 0) {
        verdict.outcome = Outcome::Failed;
        if (verdict.reasons.empty()) {
            addReason(verdict.reasons, std::string(common::text(common::str::kStoppedFailure)));
        }
        return verdict;
    }
    if (!job.failures.empty()) {
        verdict.outcome = Outcome::Failed;
        return verdict;
    }
    // Something was there to read, and nothing of it could be: no result, whatever was created.
    if (job.dataPassRan && totals.tablesRead == 0) {
        verdict.outcome = Outcome::Failed;
        const std::string folder
            = job.databaseFolder.empty() ? flags.databaseFolder() : job.databaseFolder;
        addReason(verdict.reasons, "no table's rows could be read from " + folder);
        for (const std::string &problem : job.readProblems) {
            addReason(verdict.reasons, problem);
        }
        if (job.readProblems.empty() && !job.outcomes.empty()) {
            addReason(verdict.reasons,
                job.outcomes.front().name + ": " + notReadReason(job.outcomes.front()));
        }
        return verdict;
    }
    for (const std::string &loss : job.losses) {
        addReason(verdict.reasons, loss);
    }
    for (const TableOutcome &table : job.outcomes) {
        if (const std::string notRead = notReadReason(table); !notRead.empty()) {
            addReason(verdict.reasons, table.name + " was not read: " + notRead);
        } else if (!table.switchProblem.empty()) {
            addReason(
                verdict.reasons, table.name + " stays a MyISAM table: " + table.switchProblem);
        }
    }
    verdict.outcome = totals.tablesAffected > 0 || !job.losses.empty()
        ? Outcome::CompletedWithLosses
        : Outcome::Complete;
    return verdict;
}

std::string_view outcomeWords(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Complete:
        return "complete";
    case Outcome::CompletedWithLosses:
        return "completed with losses";
    case Outcome::Failed:
        return "failed";
    case Outcome::Stopped:
        return "stopped";
    }
    return "failed";
}

std::string_view outcomeName(Outcome outcome)
{
    return outcome == Outcome::CompletedWithLosses ? "completedWithLosses" : outcomeWords(outcome);
}

int exitCode(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Complete:
        return 0;
    case Outcome::CompletedWithLosses:
        return 4;
    case Outcome::Failed:
        return 3;
    case Outcome::Stopped:
        return 1;
    }
    return 3;
}

std::string countsLine(const RunTotals &totals)
{
    std::string line = plural(totals.rowsRecovered, "row recovered", "rows recovered") + ", "
        + plural(totals.rowsLost, "row lost", "rows lost");
    if (totals.damagedPages > 0) {
        line += " (and the rows of " + plural(totals.damagedPages, "damaged page", "damaged pages")
            + ")";
    }
    if (totals.rowsCut > 0) {
        line += ", " + plural(totals.rowsCut, "row", "rows") + " kept with a value cut short";
    }
    return line + ", " + plural(totals.tablesAffected, "table", "tables") + " affected";
}

std::string outcomeLine(const RunVerdict &verdict)
{
    switch (verdict.outcome) {
    case Outcome::Complete:
        return "Outcome: complete: every table was read and nothing was lost ("
            + plural(verdict.totals.rowsRecovered, "row", "rows") + " recovered).";
    case Outcome::CompletedWithLosses:
        if (verdict.totals.tablesAffected == 0 && !verdict.reasons.empty()) {
            // Every row is there but a part of the result is not (the dump, the folder's move):
            // the counts alone would read as a loss of nothing.
            return "Outcome: completed with losses: " + countsLine(verdict.totals) + "; "
                + verdict.reasons.front() + ".";
        }
        return "Outcome: completed with losses: " + countsLine(verdict.totals) + ".";
    case Outcome::Failed:
        return "Outcome: failed: "
            + (verdict.reasons.empty() ? std::string("the rebuild could not be finished")
                                       : verdict.reasons.front())
            + ".";
    case Outcome::Stopped:
        return "Outcome: stopped by the user; the tables read so far are in the result.";
    }
    return {};
}

} // namespace job

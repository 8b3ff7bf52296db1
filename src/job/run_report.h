// The account of a finished run for people and for scripts: a summary text and a JSON report.
#pragma once

#include "job/repair_job.h"

#include <string>
#include <vector>

namespace job {

struct RunReport
{
    std::string folder; // the damaged data folder
    std::string recoveredPath; // the Recovered Folder, empty when none was made
    std::string outcome; // "completed", "stopped", "failed"
    std::vector<TableOutcome> tables;
};

RunReport makeRunReport(const RepairJob &job);

// Lines for a terminal: one per table with its rows recovered and refused, then the totals.
std::string summaryText(const RunReport &report);

// The same as JSON, for scripts: per table pages read, records walked, rows inserted, rows
// refused, delete-marked records skipped, pages that failed checks.
std::string reportJson(const RunReport &report);

} // namespace job

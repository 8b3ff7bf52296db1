// The steps of a repair that hand the user the result: the run's folder made before anything is
// touched, the portable dump written alongside the rebuild, and the Recovered Folder moved out of
// the server's data folder into the run's folder with its README.
#pragma once

#include "job/dump_writer.h"
#include "job/repair_job.h"
#include "job/result_folder.h"
#include "job/run_report.h"
#include "log/log_report.h"

#include <filesystem>
#include <memory>

namespace job {

// Makes the run's folder in `outputFolder` (~/zarafa-repair when empty) and keeps it in
// job.resultFolder. False, with job.folderProblem naming the path and the reason, when it cannot
// be made: a run without a place for its result must not start.
bool prepareResultFolder(RepairJob &job, const std::filesystem::path &outputFolder);

// zarafa.sql in the run's folder, fed by the data pass; null, with the loss recorded, when it
// cannot be created.
std::unique_ptr<DumpWriter> openDump(RepairJob &job, std::string_view fileName = kDumpName,
    std::string_view database = "zarafa");

// Completes the dump: a finished one goes into job.dumpPath; one that could not be written whole
// (a full disk) is removed and recorded as a loss naming its path.
void finishDump(RepairJob &job, DumpWriter &dump);
// The same for another dump of the run, whose path goes into `keptPath`.
void finishDump(RepairJob &job, DumpWriter &dump, std::string &keptPath);

// Moves the Recovered Folder the server's data folder got into the run's folder and writes its
// README; when the move fails it stays where it is, recorded as a loss that says where.
void deliverRecoveredFolder(RepairJob &job, const std::filesystem::path &madeInDataFolder);

// Saves the log and report.json into the run's result folder (nothing when there is none) and
// sets their paths in `report`; a file that cannot be written keeps its path empty.
void saveBesideResult(RunReport &report, const logreport::LogReport &log);

} // namespace job

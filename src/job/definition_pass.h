// The definition pass: reads every table definition file of the Zarafa folder, reports each table
// to the log, and hands it to the step that creates its table.
#pragma once

#include "common/result.h"
#include "frm/table_definition.h"
#include "job/repair_job.h"

#include <functional>

namespace job {

// For each of job.tableFileNames, while no stop is requested: status line kind 3, read the file,
// append the table to job.tables, report it to the log lists, then call `createTable`. A file of
// the wrong version or of another engine shows message 107 or 114, clears scanSucceeded and ends
// the pass; a file that cannot be read or is damaged is skipped with a list row saying why, and
// the pass goes on. `createTable` returns the server's reason when it refused the table: the pass
// names it in the list, keeps it in job.tablesNotCreated (the data pass then reads no row of it,
// and the run counts the table as lost), and goes on with the next file.
void runDefinitionPass(
    RepairJob &job, const std::function<common::Status(const frm::FrmTableEntry &)> &createTable);
// The same with a step that only says whether the table was created.
void runDefinitionPass(
    RepairJob &job, const std::function<bool(const frm::FrmTableEntry &)> &createTable);

} // namespace job

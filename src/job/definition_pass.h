// The definition pass: reads every table definition file of the Zarafa folder, reports each table
// to the log, and hands it to the step that creates its table.
#pragma once

#include "frm/table_definition.h"
#include "job/repair_job.h"

#include <functional>

namespace job {

// For each of job.tableFileNames, while no stop is requested: status line kind 3, read the file,
// append the table to job.tables, report it to the log lists, then call `createTable`. A file of
// the wrong version or of another engine shows message 107 or 114, clears scanSucceeded and ends
// the pass; a file that cannot be read or is damaged is skipped with a list row saying why, and
// the pass goes on. `createTable` returns false when the table could not be created; the pass
// goes on regardless (its rows then fail one by one, as the rebuild expects).
void runDefinitionPass(
    RepairJob &job, const std::function<bool(const frm::FrmTableEntry &)> &createTable);

} // namespace job

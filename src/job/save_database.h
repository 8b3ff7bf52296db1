// The save phase: read the tablespace once, find the tables in its dictionary, and run the data
// pass that fills the rebuilt database.
#pragma once

#include "job/table_data_pass.h"

namespace job {

// Opens the job's tablespace read-only, scans it (status line kind 2), discovers the zarafa
// tables in its dictionary and runs the data pass. A tablespace that is missing or unreadable,
// or whose dictionary cannot be read, is said in the list; the finishing step still runs.
void saveDatabase(RepairJob &job, const DataPassSteps &steps);

} // namespace job

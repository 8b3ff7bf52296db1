// The save phase: read the tablespace once, find the tables in its dictionary, and run the data
// pass that fills the rebuilt database.
#pragma once

#include "job/table_data_pass.h"

namespace job {

// Opens the job's tablespaces read-only (ibdata1 and the .ibd files beside the definitions),
// scans each once (status line kind 2), finds the zarafa tables and runs the data pass. A
// tablespace that is missing or unreadable, or a dictionary that cannot be read, is said in the
// list; the finishing step still runs.
void saveDatabase(RepairJob &job, const DataPassSteps &steps);

} // namespace job

// The login dialog's flow and the connection attempts that repeat it until the user gives up.
#pragma once

#include "job/repair_job.h"
#include "job/repair_phases.h"

namespace job {

// Shows the login dialog until OK (values into job.login) or until the user answers No to
// string 108 on closing it (loginAllowed becomes 0).
void runLoginDialog(RepairJob &job);

// The server's own login when the phases know one (the workshop), else the login dialog.
void obtainLogin(RepairJob &job, const RepairPhases &phases);

// Opens the connection with the current login values. A refusal asks string 112 with Yes and No:
// Yes shows the login dialog again and retries, No gives up. Returns whether job.connected.
bool connectToMySql(RepairJob &job, RepairPhases &phases);

// Shows a Yes/No question and leaves the answer in confirmAnswer; true for Yes.
bool askYesNo(RepairJob &job, int stringId, int picture);

} // namespace job

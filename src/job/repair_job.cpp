#include "job/repair_job.h"

#include <thread>

namespace job {

void RepairJob::sleepPause() const
{
    if (pause.count() > 0) {
        std::this_thread::sleep_for(pause);
    }
}

void RepairJob::reset()
{
    tableFileNames.clear();
    outcomes.clear();
    dictionaryNames.clear();
    tablespacePath.clear();
    tablespaceFileName.clear();
    zarafaFolderPath.clear();
    databaseFolder.clear();
    tables.clear();
    failures.clear();
    losses.clear();
    nextListRow = 3;
}

} // namespace job

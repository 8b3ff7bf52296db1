#include "job/repair_job.h"

#include <algorithm>
#include <thread>

namespace job {

void RepairJob::sleepPause() const
{
    if (pause.count() > 0) {
        std::this_thread::sleep_for(pause);
    }
}

void RepairJob::retryPause(int attempt) const
{
    auto wait = std::chrono::milliseconds(100);
    for (int i = 0; i < attempt && wait < longestRetryPause; ++i) {
        wait *= 2;
    }
    std::this_thread::sleep_for(std::min(wait, longestRetryPause));
}

void RepairJob::startPhase(std::string name)
{
    const auto now = std::chrono::steady_clock::now();
    if (!m_phase.empty()) {
        phaseTimes.push_back({ m_phase, std::chrono::duration<double>(now - m_phaseStart).count() });
    }
    m_phase = std::move(name);
    m_phaseStart = now;
}

void RepairJob::reset()
{
    phaseTimes.clear();
    m_phase.clear();
    tableFileNames.clear();
    dictionaryDefinitions.clear();
    dictionaryProblems.clear();
    outcomes.clear();
    dataPassRan = false;
    mailboxLosses = {};
    pagesRepaired = 0;
    dictionaryNames.clear();
    tablespacePath.clear();
    tablespaceFileName.clear();
    zarafaFolderPath.clear();
    databaseFolder.clear();
    tables.clear();
    failures.clear();
    writeFault.clear();
    workshopLock.reset();
    losses.clear();
    folderProblem.clear();
    readProblems.clear();
    tablesNotCreated.clear();
    resultFolder.clear();
    recoveredFolder.clear();
    dumpPath.clear();
    salvagedDumpPath.clear();
    nextListRow = 3;
}

} // namespace job

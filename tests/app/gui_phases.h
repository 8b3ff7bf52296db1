// GuiPhases: stands in for the MySQL and decoding phases under the window, with gates that hold
// the job at a chosen stage so that a test can look at the window there.
#pragma once

#include "job/repair_job.h"
#include "job/repair_phases.h"
#include "log/log_report.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace testing_support {

class GuiPhases : public job::RepairPhases
{
public:
    std::atomic<bool> holdStarting { false }; // held inside the backup step (job starting)
    std::atomic<bool> holdRunning { false }; // held at the start of the definition pass
    std::atomic<bool> atStarting { false };
    std::atomic<bool> atRunning { false };
    std::string repairedPath = "/recovered";
    // What the data pass is to have found; none: a run with nothing to judge (complete).
    std::vector<job::TableOutcome> outcomes;

    bool stopServiceAndBackUp(job::RepairJob &job) override
    {
        // As the real step does: the progress and status show from the service stop on.
        job.host.setVisible(job::Control::ProgressBar, true);
        job.host.setVisible(job::Control::StatusText, true);
        job.host.setEnabled(job::Control::SelectFolder, false);
        job.host.statusLine(5, "");
        job.backupDone = true;
        holdWhile(holdStarting, atStarting, job);
        return true;
    }
    bool startMySqlService(job::RepairJob &) override { return true; }
    common::Status openConnection(job::RepairJob &job) override
    {
        if (job.login.password != "secret") {
            return common::Error { common::ErrorKind::Database, "access denied", {} };
        }
        return common::okStatus();
    }
    bool createZarafaDatabase(job::RepairJob &) override { return true; }
    void definitionPass(job::RepairJob &job) override
    {
        holdWhile(holdRunning, atRunning, job);
        const char *files[] = { "stores.frm", "users.frm" };
        for (std::size_t i = 0; i < 2 && !job.stopping(); ++i) {
            job.host.statusLine(3, files[i]);
            job.log.setTableCount(10 + i);
            job.log.reportTableToList(files[i], i);
            showQueued(job, i, logreport::Pass::Definition);
        }
    }
    void saveDatabase(job::RepairJob &job) override
    {
        job.log.setTablespaceSize(3'221'225'472ULL);
        const char *tables[] = { "zarafa/stores", "zarafa/users" };
        for (std::size_t i = 0; i < 2 && !job.stopping(); ++i) {
            job.host.statusLine(4, tables[i]);
            job.log.setTableCount(100 + i);
            job.log.reportTableToList(tables[i], i);
            showQueued(job, i, logreport::Pass::Data);
            job.log.reportTableToLog(tables[i], i);
        }
        job.log.finish(
            job.nextListRow, [&job](int row, std::string_view text) { job.addListRow(row, text); });
        if (!outcomes.empty()) {
            job.outcomes = outcomes;
            job.dataPassRan = true;
        }
        finishRebuild(job);
        job.rebuildFinished = true;
    }
    void finishRebuild(job::RepairJob &job) override
    {
        job.host.statusLine(6, "");
        job.flags.stopRequested = 0;
        job.flags.setRepairedPath(repairedPath);
    }
    void restoreServer(job::RepairJob &) override { }

private:
    static void showQueued(job::RepairJob &job, std::size_t position, logreport::Pass pass)
    {
        job.log.showQueuedLines(job.nextListRow, position, pass, job.databaseFolder,
            [&job](int row, std::string_view text) { job.addListRow(row, text); });
    }
    static void holdWhile(std::atomic<bool> &hold, std::atomic<bool> &reached, job::RepairJob &job)
    {
        reached = true;
        while (hold && !job.stopping()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        reached = false;
    }
};

} // namespace testing_support

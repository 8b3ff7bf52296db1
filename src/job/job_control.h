// JobControl: the main window's side of the job: its flags, the login values, folder choice and
// the Start/Stop button, shared by every front end.
#pragma once

#include "job/job_flags.h"
#include "job/repair_host.h"
#include "job/repair_phases.h"
#include "job/zarafa_thread.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace job {

class JobControl
{
public:
    // The log is held for the whole program by the front end that owns this control.
    JobControl(RepairHost &host, RepairPhases &phases, logreport::LogReport &log);
    ~JobControl();

    JobFlags &flags() { return m_flags; }
    LoginValues &login() { return m_login; }
    logreport::LogReport &log() { return m_log; }

    // A folder was chosen in the browser: it becomes the folder of every later job.
    void folderChosen(const std::string &folder);

    // The Start/Stop button (user-interface thread): starts a job, or asks whether to stop it.
    void startStopPressed();

    bool jobRunning() const { return m_thread && !m_thread->finished(); }
    // Waits until the current job's thread has ended.
    void waitForJob();

    // Called on the worker thread with the job, before it runs; lets a front end or a test set
    // the pause or read the job's lists.
    std::function<void(RepairJob &)> prepareJob;
    // Called on the worker thread with the job's final state before it is reset (summaries).
    std::function<void(const RepairJob &)> jobEnding;

private:
    RepairHost &m_host;
    RepairPhases &m_phases;
    logreport::LogReport &m_log;
    JobFlags m_flags;
    LoginValues m_login;
    std::unique_ptr<CZarafaThread> m_thread;
};

} // namespace job

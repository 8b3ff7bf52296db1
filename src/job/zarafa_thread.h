// CZarafaThread: the worker thread that runs one repair job from the listing to its end message.
#pragma once

#include "job/repair_job.h"
#include "job/repair_phases.h"

#include <functional>
#include <thread>

namespace job {

class CZarafaThread
{
public:
    // The thread's exit code, as the quit request that ends its message loop carries it.
    static constexpr int kExitCode = 18;

    CZarafaThread(JobFlags &flags, RepairHost &host, RepairPhases &phases, LoginValues &login,
                  logreport::LogReport &log);
    ~CZarafaThread();
    CZarafaThread(const CZarafaThread &) = delete;
    CZarafaThread &operator=(const CZarafaThread &) = delete;

    // -1 when built; the Start handler sets 1 before resuming. The job runs only when it is 1.
    int runMode = -1;

    // Starts the thread (it is built suspended).
    void resume();
    void join();
    bool finished() const { return m_finished.load(); }
    int exitCode() const { return m_exitCode; }

    RepairJob &job() { return m_job; }

    // Called on the worker with the job's final state, just before the job is reset.
    std::function<void(const RepairJob &)> jobEnding;

    // The whole job on the calling thread; resume() runs it on the worker.
    int run();

private:
    void scanPhase();
    void restoreWindow();
    void endJob();

    RepairPhases &m_phases;
    RepairJob m_job;
    std::thread m_thread;
    std::atomic<bool> m_finished { false };
    int m_exitCode = 0;
    bool m_refusedBeforeStart = false; // refused before the server was touched (disk space)
};

} // namespace job

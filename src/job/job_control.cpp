#include "job/job_control.h"

#include "common/strings.h"

namespace job {

JobControl::JobControl(RepairHost &host, RepairPhases &phases, logreport::LogReport &log)
    : m_host(host), m_phases(phases), m_log(log)
{
}

JobControl::~JobControl()
{
    // A running job would touch this object's flags after it is gone; ask it to stop and let it
    // finish, so that the server's files are always put back.
    if (jobRunning()) {
        m_flags.stopRequested = 1;
        m_flags.userStopRequested = 1;
    }
    waitForJob();
}

void JobControl::folderChosen(const std::string &folder)
{
    m_flags.setDatabaseFolder(folder);
    m_flags.jobStarted = 0;
    m_flags.readyToStart = 1;
    m_flags.loginAllowed = 1;
    m_host.setEnabled(Control::StartStop, true);
}

void JobControl::startStopPressed()
{
    if (m_flags.readyToStart == 1) {
        m_host.setEnabled(Control::Update, false);
        m_host.setEnabled(Control::Log, false);
        m_host.setStartStopPicture(StartStopPicture::Stop);
        m_host.setEnabled(Control::SelectFolder, false);
        m_host.setVisible(Control::StatusText, true);
        m_host.clearList();
        m_flags.stopRequested = 0;
        m_flags.userStopRequested = 0;
        m_log.empty();
        waitForJob(); // the previous job's thread has ended; release it
        m_thread = std::make_unique<CZarafaThread>(m_flags, m_host, m_phases, m_login, m_log);
        m_thread->runMode = 1;
        if (prepareJob) {
            prepareJob(m_thread->job());
        }
        m_thread->jobEnding = jobEnding;
        // Set before the thread runs: a job that ends at once restores the ready state, and
        // setting these afterwards would overwrite it.
        m_flags.jobStarted = 1;
        m_flags.readyToStart = 0;
        m_thread->resume();
        return;
    }
    if (m_flags.jobStarted == 1) {
        const Answer answer = m_host.showMessage(
            Message { std::string(common::text(common::str::kStopQuestion)), 2, false, false });
        m_flags.confirmAnswer = answer == Answer::Yes ? 1 : 0;
        if (m_flags.confirmAnswer == 1) {
            m_flags.userStopRequested = 1;
            m_flags.stopRequested = 1;
            m_host.setVisible(Control::ProgressBar, false);
            m_host.setEnabled(Control::SelectFolder, true);
            m_host.setVisible(Control::StatusText, false);
            m_host.setStartStopPicture(StartStopPicture::Start);
            m_host.setEnabled(Control::StartStop, false);
        } else {
            m_host.setStartStopPicture(StartStopPicture::Stop);
        }
        // A job that ended while the question was open has restored the ready state already.
        if (jobRunning()) {
            m_flags.jobStarted = 1;
            m_flags.readyToStart = 0;
        }
    }
}

void JobControl::waitForJob()
{
    if (m_thread) {
        m_thread->join();
    }
}

} // namespace job

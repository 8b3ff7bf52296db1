#include "job/zarafa_thread.h"

#include "common/strings.h"
#include "job/definition_sources.h"
#include "job/folder_listing.h"
#include "job/login.h"
#include "job/run_outcome.h"

namespace job {

namespace {

void showOk(RepairJob &job, int stringId, const std::string &reason = {})
{
    // The message stays as it always read; the reason follows on a line of its own, naming
    // cause and path.
    std::string text(common::text(stringId));
    if (!reason.empty()) {
        text += "\n" + reason;
    }
    job.host.showMessage(Message { text, 1, true, false });
}

std::string joinedLines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const auto &line : lines) {
        text += (text.empty() ? "" : "\n") + line;
    }
    return text;
}

} // namespace

CZarafaThread::CZarafaThread(JobFlags &flags, RepairHost &host, RepairPhases &phases,
                             LoginValues &login, logreport::LogReport &log)
    : m_phases(phases), m_job(flags, host, login, log)
{
}

CZarafaThread::~CZarafaThread()
{
    join();
}

void CZarafaThread::resume()
{
    m_thread = std::thread([this] {
        m_exitCode = run();
        m_finished = true;
    });
}

void CZarafaThread::join()
{
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

int CZarafaThread::run()
{
    if (runMode != 1) {
        return kExitCode;
    }
    JobFlags &flags = m_job.flags;
    RepairHost &host = m_job.host;

    scanPhase();

    if (flags.scanSucceeded == 1 && flags.folderInvalid == 0) {
        // A stop during the preparation (possible from the command line) leaves no connection
        // to rebuild into; the finishing step below still puts the server's files back.
        if (m_job.connected) {
            m_phases.saveDatabase(m_job);
        }
    } else if (flags.scanSucceeded == 0) {
        if (m_job.backupDone && !m_job.rebuildFinished) {
            m_phases.restoreServer(m_job);
            m_job.rebuildFinished = true;
        }
        if (m_refusedBeforeStart) {
            // Nothing was touched; the reason alone is the truth, not the login or version text.
            m_job.host.showMessage(Message { std::string(common::kFailedText) + ":\n"
                    + joinedLines(m_job.failures), 1, true, false });
        } else {
            showOk(m_job, common::str::kStoppedFailure, joinedLines(m_job.failures));
        }
    }

    // The finishing step clears stopRequested so that a stop cannot cut it short; the user's own
    // request is kept apart, so that a stopped job ends as stopped and not as completed.
    const bool userStopped = flags.userStopRequested != 0 || flags.stopRequested != 0;
    if (userStopped) {
        showOk(m_job, common::str::kStoppedByUser);
        host.setEnabled(Control::StartStop, false);
        if (!m_job.rebuildFinished && m_job.backupDone) {
            m_phases.finishRebuild(m_job);
            m_job.rebuildFinished = true;
        }
        restoreWindow();
        host.scrollListToTop();
    }

    if (flags.scanSucceeded == 1 && flags.folderInvalid == 0 && !userStopped) {
        host.setVisible(Control::ProgressBar, false);
        host.setVisible(Control::StatusText, false);
        // "Database recovery completed" only for a run that lost nothing; a run with no result
        // ends with its cause instead.
        const RunVerdict verdict = judgeRun(m_job);
        if (verdict.outcome == Outcome::Failed) {
            host.showMessage(Message {
                std::string(common::kFailedText) + ":\n" + joinedLines(verdict.reasons), 1, true,
                false });
        } else {
            m_job.progress.complete();
            Completion completion { flags.repairedPath(),
                verdict.outcome == Outcome::CompletedWithLosses, countsLine(verdict.totals), {} };
            for (const MailboxLoss &mailbox : m_job.mailboxLosses.mailboxes) {
                completion.mailboxes.push_back(mailboxLine(mailbox));
            }
            host.showCompletion(completion);
        }
    }

    m_job.startPhase({});
    if (jobEnding) {
        jobEnding(m_job);
    }
    const std::string folderProblem = m_job.folderProblem;
    endJob();
    if (flags.folderInvalid == 1) {
        showOk(m_job, common::str::kFileCantBeOpened, folderProblem);
        endJob();
    }
    return kExitCode;
}

void CZarafaThread::endJob()
{
    m_job.reset();
    restoreWindow();
    m_job.host.scrollListToTop();
}

void CZarafaThread::scanPhase()
{
    JobFlags &flags = m_job.flags;
    RepairHost &host = m_job.host;

    host.setEnabled(Control::StartStop, false);

    flags.folderInvalid = 0;
    flags.scanSucceeded = 1;
    m_job.progress.restart();
    m_job.startPhase("listing");
    if (!listTableFiles(m_job, flags.databaseFolder()) || !m_phases.checkTablespaces(m_job)
        || !gatherDefinitionSources(m_job)) {
        flags.folderInvalid = 1;
        return;
    }
    if (!m_phases.lockWorkshop(m_job) || !m_phases.checkFreeSpace(m_job)) {
        flags.scanSucceeded = 0;
        m_refusedBeforeStart = true;
        return;
    }

    m_job.startPhase("preparation");
    bool backedUp = m_phases.stopServiceAndBackUp(m_job);
    m_job.sleepPause();
    for (int attempt = 0; !backedUp && !m_job.stopping(); ++attempt) {
        m_job.retryPause(attempt);
        backedUp = m_phases.stopServiceAndBackUp(m_job);
        m_job.sleepPause();
    }
    if (!backedUp) {
        return;
    }
    m_job.progress.step(Stage::Preparation, 1, 4, {});

    bool started = m_phases.startMySqlService(m_job);
    m_job.sleepPause();
    if (started) {
        m_job.progress.step(Stage::Preparation, 2, 4, {});
        obtainLogin(m_job, m_phases);
        connectToMySql(m_job, m_phases);
        m_job.sleepPause();
    } else {
        for (int attempt = 0; !started && !m_job.stopping(); ++attempt) {
            m_job.retryPause(attempt);
            started = m_phases.startMySqlService(m_job);
        }
        if (!started) {
            return;
        }
        m_job.progress.step(Stage::Preparation, 2, 4, {});
        obtainLogin(m_job, m_phases);
        connectToMySql(m_job, m_phases);
    }
    if (!m_job.connected) {
        flags.scanSucceeded = 0;
        return;
    }
    m_job.progress.step(Stage::Preparation, 3, 4, {});
    if (!m_phases.createZarafaDatabase(m_job)) {
        flags.scanSucceeded = 0;
        return;
    }
    m_job.progress.enter(Stage::Definitions);

    m_job.databaseFolder = flags.databaseFolder();

    host.setVisible(Control::ProgressBar, true);
    host.setEnabled(Control::SelectFolder, false);
    host.setVisible(Control::ListView, true);
    host.setVisible(Control::HintText, false);
    host.setEnabled(Control::StartStop, true);

    m_job.startPhase("definitions");
    m_phases.definitionPass(m_job);
}

void CZarafaThread::restoreWindow()
{
    RepairHost &host = m_job.host;
    host.setVisible(Control::ProgressBar, false);
    host.setVisible(Control::StatusText, false);
    host.setEnabled(Control::SelectFolder, true);
    host.setStartStopPicture(StartStopPicture::Start);
    host.setEnabled(Control::StartStop, true);
    host.setEnabled(Control::Update, true);
    host.setEnabled(Control::Log, true);
    m_job.flags.jobStarted = 0;
    m_job.flags.confirmAnswer = 1;
    m_job.flags.readyToStart = 1;
}

} // namespace job

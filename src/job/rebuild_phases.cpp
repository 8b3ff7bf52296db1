#include "job/rebuild_phases.h"

#include "frm/create_table_text.h"
#include "job/definition_pass.h"
#include "job/folder_listing.h"
#include "job/login.h"
#include "job/quarantine_database.h"
#include "job/result_delivery.h"
#include "job/row_insertion.h"
#include "job/save_database.h"
#include "job/table_switches.h"
#include "job/write_guard.h"
#include "mysql/child_process.h"
#include "mysql/data_folder_backup.h"
#include "mysql/statements.h"
#include "mysql/systemd_service.h"
#include "mysql/workshop_server.h"

namespace job {

namespace {

// Says a problem once, on the status line and in the list, so that a step that keeps retrying
// does not look hung.
void reportProblem(RepairJob &job, int kind, const std::string &problem)
{
    job.host.statusLine(kind, problem);
    job.addListRow(job.nextListRow++, problem);
}

mysql::MoveHooks moveHooks(RepairJob &job, int kind, bool pauseBetweenEntries)
{
    mysql::MoveHooks hooks;
    hooks.stopping = [&job] { return job.stopping(); };
    hooks.statusLine = [&job](int statusKind) { job.host.statusLine(statusKind, {}); };
    if (pauseBetweenEntries) {
        hooks.pause = [&job] { job.sleepPause(); };
    }
    hooks.reportProblem
        = [&job, kind](const std::string &problem) { reportProblem(job, kind, problem); };
    return hooks;
}

// Stops the server, retrying a few times: the finishing steps must not give up at once, nor
// wait forever on a server that will not stop.
bool stopForFinishing(RepairJob &job, mysql::ServerControl &server)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (server.stopMySqlService()) {
            return true;
        }
        job.retryPause(attempt);
    }
    reportProblem(job, 6, "the server does not stop: " + server.lastProblem());
    return false;
}

// What the server does while it stops or starts goes to the job's progress display, so that a
// long start (a first installation, a crash recovery) does not look hung; only while a phase
// runs, since the job does not outlive it.
class ServerWatch
{
public:
    ServerWatch(mysql::ServerControl &server, RepairJob &job)
        : m_server(server)
    {
        m_server.onActivity = [&job](const std::string &text) { job.progress.activity(text); };
    }
    ~ServerWatch() { m_server.onActivity = nullptr; }
    ServerWatch(const ServerWatch &) = delete;
    ServerWatch &operator=(const ServerWatch &) = delete;

private:
    mysql::ServerControl &m_server;
};

std::string unfinishedRestoreLine(
    const std::filesystem::path &oldData, const std::filesystem::path &recovered)
{
    const std::string done = mysql::serverFilesBack(oldData, mysql::serverLogName())
        ? "Server files put back from "
        : "Server files NOT all put back from ";
    return done + oldData.string()
        + (recovered.empty() ? "; nothing rebuilt was found"
                             : "; what was rebuilt is in " + recovered.string());
}

// The workshop's lock lives in its own folder; a real server's beside its data folder, where
// the tool may write.
std::filesystem::path lockFilePath(mysql::ServerControl &server)
{
    if (auto *workshop = dynamic_cast<mysql::WorkshopServer *>(&server)) {
        return workshop->location() / "zarafa-repair.lock";
    }
    const std::filesystem::path data = server.dataFolder();
    return std::filesystem::temp_directory_path()
        / ("zarafa-repair-server" + std::to_string(std::hash<std::string> {}(data.string()))
            + ".lock");
}

class RebuildPhases : public RepairPhases
{
public:
    RebuildPhases(std::unique_ptr<mysql::ServerControl> owned, mysql::ServerControl &server)
        : m_owned(std::move(owned))
        , m_server(server)
    {
    }

    bool checkTablespaces(RepairJob &job) override
    {
        // The result's place is made before the server is touched: a run that could not hand
        // over its result must not begin.
        return job::checkTablespaces(job) && prepareResultFolder(job, m_outputFolder);
    }

    bool lockWorkshop(RepairJob &job) override
    {
        auto lock = WorkshopLock::acquire(lockFilePath(m_server));
        if (!lock.ok()) {
            job.fail(lock.error().describe());
            return false;
        }
        job.workshopLock = std::move(lock).value();
        return true;
    }

    bool checkFreeSpace(RepairJob &job) override
    {
        return job::checkFreeSpace(
            job, { m_server.dataFolder(), std::filesystem::temp_directory_path() });
    }

    bool stopServiceAndBackUp(RepairJob &job) override
    {
        const ServerWatch watch(m_server, job);
        job.host.setVisible(Control::ProgressBar, true);
        job.host.setVisible(Control::StatusText, true);
        job.host.setEnabled(Control::SelectFolder, false);
        if (!m_server.stopMySqlService()) {
            if (!m_stopReported) {
                reportProblem(job, 5, "the server does not stop: " + m_server.lastProblem());
                m_stopReported = true;
            }
            return false;
        }
        m_stopReported = false;
        if (job.backupDone) {
            return true;
        }
        const std::string location = m_server.findMySqlLocation();
        if (mysql::isMySqlMissing(location)) {
            return true; // nothing to move: the start that follows fails and says why
        }
        offerUnfinishedRestore(job);
        const std::string dataFolder = m_server.dataFolder();
        auto oldData
            = mysql::backUpDataFolder(dataFolder, mysql::serverLogName(), moveHooks(job, 5, true));
        if (!oldData.ok()) {
            reportProblem(job, 5, oldData.error().describe());
            return true;
        }
        job.mysqlDataFolder = dataFolder;
        job.oldDataFolder = oldData->string();
        job.backupDone = true;
        return true;
    }

    bool startMySqlService(RepairJob &job) override
    {
        const ServerWatch watch(m_server, job);
        if (m_server.startMySqlService()) {
            m_startReported = false;
            return true;
        }
        if (!m_startReported) {
            reportProblem(job, 5, "the server does not start: " + m_server.lastProblem());
            m_startReported = true;
        }
        if (m_server.gaveUp()) {
            // No more starts are tried: the job ends here, as a failure with the server's reason.
            reportProblem(job, 5, m_server.lastProblem());
            job.fail(m_server.lastProblem());
            job.flags.stopRequested = 1;
        }
        return false;
    }

    std::optional<LoginValues> ownLogin() const override
    {
        // The workshop's root has no password and is reached only through its private socket.
        if (dynamic_cast<const mysql::WorkshopServer *>(&m_server)) {
            return LoginValues { "localhost", "root", "" };
        }
        return std::nullopt;
    }

    common::Status openConnection(RepairJob &job) override
    {
        job.connection.reset(); // opening a connection releases the one held before
        auto connection
            = mysql::connectToServer(m_server, job.login.host, job.login.user, job.login.password);
        if (!connection.ok()) {
            return connection.error();
        }
        job.connection = std::move(connection).value();
        return common::okStatus();
    }

    bool createZarafaDatabase(RepairJob &job) override
    {
        if (!job.connection) {
            return false;
        }
        const bool created = mysql::createZarafaDatabase(*job.connection).ok();
        job.sleepPause();
        return created;
    }

    void definitionPass(RepairJob &job) override
    {
        runDefinitionPass(job, [&job](const frm::FrmTableEntry &entry) -> common::Status {
            if (!job.connection) {
                return common::Error { common::ErrorKind::Database, "no connection", {} };
            }
            return mysql::createTableFromDefinition(*job.connection, frm::createTableText(entry));
        });
    }

    void saveDatabase(RepairJob &job) override
    {
        DataPassSteps steps;
        steps.includeDeleted = m_includeDeleted;
        steps.keepDamagedValues = m_keepDamagedValues;
        steps.openWriter = [&job](const frm::FrmTableEntry &table) {
            auto writer = std::make_unique<MySqlTableWriter>(*job.connection, table);
            guardWrites(job, *writer);
            return writer;
        };
        // The switches take a connection of their own, so that the server copies one table
        // into InnoDB while the next one fills.
        m_switches = std::make_unique<MySqlTableSwitches>(job, [this, &job] {
            return mysql::connectToServer(
                m_server, job.login.host, job.login.user, job.login.password);
        });
        steps.switches = m_switches.get();
        // The portable dump is written as the rows land, so that it costs no second pass.
        m_dump = openDump(job);
        steps.copy = m_dump.get();
        m_quarantine = std::make_unique<MySqlQuarantine>(job, [this, &job] {
            return mysql::connectToServer(
                m_server, job.login.host, job.login.user, job.login.password);
        });
        steps.quarantine = m_quarantine.get();
        steps.mergeSalvaged = m_mergeSalvaged;
        steps.finishRebuild = [this, &job] { finishRebuild(job); };
        job::saveDatabase(job, steps);
    }

    void setOutputFolder(std::string folder) { m_outputFolder = std::move(folder); }
    void setIncludeDeleted(bool include) { m_includeDeleted = include; }
    void setKeepDamagedValues(bool keep) { m_keepDamagedValues = keep; }
    void setMergeSalvaged(bool merge) { m_mergeSalvaged = merge; }

    void finishRebuild(RepairJob &job) override
    {
        const ServerWatch watch(m_server, job);
        job.rebuildFinished = true;
        if (m_dump) {
            finishDump(job, *m_dump);
            m_dump.reset();
        }
        if (m_quarantine) {
            m_quarantine->finish();
            m_quarantine.reset();
        }
        // The server is about to stop under it; a dead connection helps nobody.
        m_switches.reset();
        job.connection.reset();
        const bool stopped = stopForFinishing(job, m_server);
        // Cleared so that the moves below are not cut short; the user's own request survives in
        // userStopRequested.
        job.flags.stopRequested = 0;
        if (job.resultFolder.empty()) {
            // Not made before the start (a caller that checks the folder its own way): made now,
            // so that the result still leaves the server's data folder.
            prepareResultFolder(job, m_outputFolder);
        }
        if (stopped && job.backupDone) {
            const auto recovered = mysql::finishRebuildMoves(job.mysqlDataFolder, job.oldDataFolder,
                mysql::serverLogName(), moveHooks(job, 6, false));
            // Out of the server's data folder while the server is down: the workshop keeps no
            // copy of the user's mail.
            deliverRecoveredFolder(job, recovered);
        }
        job.flags.setRepairedPath(
            job.resultFolder.empty() ? job.recoveredFolder : job.resultFolder);
        job.host.statusLine(6, {});
        if (!m_server.startMySqlService()) {
            m_server.startMySqlService();
        }
    }

    void restoreServer(RepairJob &job) override
    {
        const ServerWatch watch(m_server, job);
        job.rebuildFinished = true;
        m_switches.reset();
        job.connection.reset();
        if (stopForFinishing(job, m_server) && job.backupDone) {
            mysql::putServerFilesBack(job.mysqlDataFolder, job.oldDataFolder,
                mysql::serverLogName(), moveHooks(job, 6, false));
        }
        if (!m_server.startMySqlService()) {
            m_server.startMySqlService();
        }
    }

private:
    // A repair that was killed between its backup and its end left the server's files in an
    // OldData folder: its journal says which, and they go back before this job moves anything.
    void offerUnfinishedRestore(RepairJob &job)
    {
        for (const auto &folder : mysql::unfinishedBackups(m_server.dataFolder())) {
            const auto recovered = mysql::finishRebuildMoves(
                m_server.dataFolder(), folder, mysql::serverLogName(), moveHooks(job, 5, false));
            job.addListRow(job.nextListRow++, unfinishedRestoreLine(folder, recovered));
        }
    }

    std::unique_ptr<mysql::ServerControl> m_owned;
    mysql::ServerControl &m_server;
    bool m_stopReported = false;
    bool m_startReported = false;
    bool m_includeDeleted = false;
    bool m_keepDamagedValues = false;
    bool m_mergeSalvaged = false;
    std::string m_outputFolder;
    std::unique_ptr<DumpWriter> m_dump;
    std::unique_ptr<MySqlQuarantine> m_quarantine;
    std::unique_ptr<MySqlTableSwitches> m_switches;
};

} // namespace

std::unique_ptr<mysql::ServerControl> createServerControl(const RebuildSettings &settings)
{
    if (!settings.serverService.empty()) {
        return std::make_unique<mysql::SystemdService>(
            settings.serverService, settings.serverDataFolder);
    }
    return std::make_unique<mysql::WorkshopServer>(settings.workshopFolder.empty()
            ? mysql::WorkshopServer::defaultLocation()
            : std::filesystem::path(settings.workshopFolder));
}

std::unique_ptr<RepairPhases> createRebuildPhases(const RebuildSettings &settings)
{
    auto server = createServerControl(settings);
    mysql::ServerControl &reference = *server;
    auto phases = std::make_unique<RebuildPhases>(std::move(server), reference);
    phases->setOutputFolder(settings.outputFolder);
    phases->setIncludeDeleted(settings.includeDeleted);
    phases->setKeepDamagedValues(settings.keepDamagedValues);
    phases->setMergeSalvaged(settings.mergeSalvaged);
    return phases;
}

std::unique_ptr<RepairPhases> createRebuildPhases(
    mysql::ServerControl &server, const std::string &outputFolder)
{
    auto phases = std::make_unique<RebuildPhases>(nullptr, server);
    phases->setOutputFolder(outputFolder);
    return phases;
}

std::vector<std::string> restoreUnfinishedRepairs(
    mysql::ServerControl &server, const std::function<void(const std::string &)> &say)
{
    std::vector<std::string> restored;
    const auto unfinished = mysql::unfinishedBackups(server.dataFolder());
    if (unfinished.empty()) {
        return restored;
    }
    if (!server.stopMySqlService()) {
        say("the server does not stop: " + server.lastProblem());
        return restored;
    }
    mysql::MoveHooks hooks;
    hooks.reportProblem = [&say](const std::string &problem) { say(problem); };
    for (const auto &folder : unfinished) {
        const auto recovered
            = mysql::finishRebuildMoves(server.dataFolder(), folder, mysql::serverLogName(), hooks);
        say(unfinishedRestoreLine(folder, recovered));
        restored.push_back(folder.string());
    }
    if (!server.startMySqlService()) {
        say("the server does not start: " + server.lastProblem());
    }
    return restored;
}

} // namespace job

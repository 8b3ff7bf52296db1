#include "job/rebuild_phases.h"

#include "frm/create_table_text.h"
#include "job/definition_pass.h"
#include "job/folder_listing.h"
#include "job/login.h"
#include "job/row_insertion.h"
#include "job/save_database.h"
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

class RebuildPhases : public RepairPhases
{
public:
    RebuildPhases(std::unique_ptr<mysql::ServerControl> owned, mysql::ServerControl &server)
        : m_owned(std::move(owned))
        , m_server(server)
    {
    }

    bool checkTablespaces(RepairJob &job) override { return job::checkTablespaces(job); }

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
            return std::make_unique<MySqlTableWriter>(*job.connection, table);
        };
        steps.switchToInnoDb = [&job](const frm::FrmTableEntry &table) {
            return switchTableToInnoDb(job, table.dictionaryName);
        };
        steps.finishRebuild = [this, &job] {
            // A portable dump of what was rebuilt, taken while the server still runs: it loads
            // into any server version, where the Recovered Folder's files need a matching one.
            const std::filesystem::path dump = dumpRebuiltDatabase(job);
            finishRebuild(job);
            keepDump(job, dump);
        };
        job::saveDatabase(job, steps);
    }

    void setIncludeDeleted(bool include) { m_includeDeleted = include; }
    void setKeepDamagedValues(bool keep) { m_keepDamagedValues = keep; }

    void finishRebuild(RepairJob &job) override
    {
        const ServerWatch watch(m_server, job);
        job.rebuildFinished = true;
        // The server is about to stop under it; a dead connection helps nobody.
        job.connection.reset();
        const bool stopped = stopForFinishing(job, m_server);
        // Cleared so that the moves below are not cut short; the user's own request survives in
        // userStopRequested.
        job.flags.stopRequested = 0;
        if (stopped && job.backupDone) {
            const auto recovered = mysql::finishRebuildMoves(job.mysqlDataFolder, job.oldDataFolder,
                mysql::serverLogName(), moveHooks(job, 6, false));
            job.flags.setRepairedPath(recovered.string());
        }
        job.host.statusLine(6, {});
        if (!m_server.startMySqlService()) {
            m_server.startMySqlService();
        }
    }

    void restoreServer(RepairJob &job) override
    {
        const ServerWatch watch(m_server, job);
        job.rebuildFinished = true;
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
    // Writes `mariadb-dump` of the rebuilt database into a private temporary folder; an empty
    // path when it could not be made (the Recovered Folder is still made without it).
    std::filesystem::path dumpRebuiltDatabase(RepairJob &job)
    {
        const auto program = mysql::findProgram({ "mariadb-dump", "mysqldump" });
        if (!program || !job.connection) {
            reportProblem(job, 6, "No SQL dump of the rebuilt database: mariadb-dump is missing");
            return {};
        }
        std::string pattern
            = (std::filesystem::temp_directory_path() / "zarafa-repair-dump-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            reportProblem(job, 6, "No SQL dump of the rebuilt database: no temporary folder");
            return {};
        }
        const std::filesystem::path file = std::filesystem::path(pattern) / "zarafa.sql";
        std::vector<std::string> arguments { *program, "--no-defaults", "--hex-blob",
            "--default-character-set=utf8mb4", "--result-file=" + file.string() };
        if (auto *workshop = dynamic_cast<mysql::WorkshopServer *>(&m_server)) {
            arguments.push_back("--socket=" + workshop->socketPath().string());
            arguments.push_back("--user=root");
        } else {
            arguments.push_back("--host=" + job.login.host);
            arguments.push_back("--user=" + job.login.user);
            // Through the environment, so that the password never shows in a process list.
            ::setenv("MYSQL_PWD", job.login.password.c_str(), 1);
        }
        arguments.push_back("zarafa");
        const int status = mysql::runProgram(arguments, {});
        ::unsetenv("MYSQL_PWD");
        if (status != 0) {
            reportProblem(job, 6, "The SQL dump of the rebuilt database could not be written");
            std::error_code error;
            std::filesystem::remove_all(file.parent_path(), error);
            return {};
        }
        return file;
    }

    // Moves the dump into the Recovered Folder beside the rebuilt files.
    void keepDump(RepairJob &job, const std::filesystem::path &dump)
    {
        if (dump.empty()) {
            return;
        }
        std::error_code error;
        const std::string recovered = job.flags.repairedPath();
        if (!recovered.empty()) {
            std::filesystem::copy_file(dump, std::filesystem::path(recovered) / "zarafa.sql",
                std::filesystem::copy_options::overwrite_existing, error);
            if (error) {
                reportProblem(job, 6,
                    "The SQL dump could not be put into the Recovered Folder: " + error.message());
            }
        }
        std::filesystem::remove_all(dump.parent_path(), error);
    }

    // A repair that crashed between its backup and its finishing step left the server's files in
    // an OldData folder: offer to put them back before this job moves anything.
    void offerUnfinishedRestore(RepairJob &job)
    {
        const auto unfinished = mysql::unfinishedBackups(m_server.dataFolder());
        for (const auto &folder : unfinished) {
            const std::string question = "An earlier repair did not finish: the server's own "
                                         "files are still in \""
                + folder.string() + "\". Put them back now?";
            const Answer answer = job.host.showMessage(Message { question, 2, false, false });
            if (answer != Answer::Yes) {
                continue;
            }
            const auto recovered = mysql::finishRebuildMoves(
                m_server.dataFolder(), folder, mysql::serverLogName(), moveHooks(job, 5, false));
            job.addListRow(job.nextListRow++,
                "Server files put back from " + folder.string() + "; what was rebuilt is in "
                    + recovered.string());
        }
    }

    std::unique_ptr<mysql::ServerControl> m_owned;
    mysql::ServerControl &m_server;
    bool m_stopReported = false;
    bool m_startReported = false;
    bool m_includeDeleted = false;
    bool m_keepDamagedValues = false;
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
    phases->setIncludeDeleted(settings.includeDeleted);
    phases->setKeepDamagedValues(settings.keepDamagedValues);
    return phases;
}

std::unique_ptr<RepairPhases> createRebuildPhases(mysql::ServerControl &server)
{
    return std::make_unique<RebuildPhases>(nullptr, server);
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
        say("Server files put back from " + folder.string() + "; what was rebuilt is in "
            + recovered.string());
        restored.push_back(folder.string());
    }
    if (!server.startMySqlService()) {
        say("the server does not start: " + server.lastProblem());
    }
    return restored;
}

common::Status switchTableToInnoDb(RepairJob &job, std::string_view dictionaryName)
{
    job.host.setEnabled(Control::StartStop, false);
    job.host.statusLine(1, {});
    // A table that cannot be switched stays a MyISAM table with all its rows; the data pass
    // counts it as a loss with the server's reason.
    common::Status switched = job.connection
        ? mysql::switchTableToInnoDb(*job.connection, dictionaryName)
        : common::Status(common::Error { common::ErrorKind::Database, "no connection", {} });
    job.host.setEnabled(Control::StartStop, true);
    return switched;
}

} // namespace job

#include "mysql/workshop_server.h"

#include "common/strings.h"
#include "mysql/child_process.h"
#include "mysql/connection_string.h"
#include "mysql/data_folder_lock.h"
#include "mysql/workshop_tuning.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <vector>
#include <unistd.h>

namespace mysql {

namespace fs = std::filesystem;

namespace {

// Generous: a first start after a crash runs InnoDB recovery. Reached only when a server hangs.
constexpr auto kStartLimit = std::chrono::seconds(180);
constexpr auto kStopLimit = std::chrono::seconds(180);
constexpr auto kPollInterval = std::chrono::milliseconds(50);
// Starts that end at once are tried kStartTries times in all, with pauses of 1, 2, 4 and 8 s.
constexpr auto kFirstRetryPause = std::chrono::seconds(1);
// The server's own reason for not starting, as much as a status line can carry.
constexpr std::size_t kQuotedLines = 3;

std::optional<std::string> serverProgram() { return findProgram({ "mariadbd", "mysqld" }); }

bool runningAsRoot() { return ::geteuid() == 0; }

// Whether the server log, from `from` on, says that InnoDB replays its redo log.
bool recovering(const fs::path &log, std::uintmax_t from)
{
    std::ifstream in(log, std::ios::binary);
    if (!in.seekg(static_cast<std::streamoff>(from))) {
        return false;
    }
    for (std::string line; std::getline(in, line);) {
        if (line.find("crash recovery") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// What the server wrote to its log from `from` on about why it did not start: its first [ERROR]
// lines, or else its last lines.
std::string lastLines(const fs::path &log, std::uintmax_t from)
{
    std::ifstream in(log, std::ios::binary);
    if (!in.seekg(static_cast<std::streamoff>(from))) {
        return "its log is empty";
    }
    std::vector<std::string> lines;
    std::vector<std::string> errors;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) {
            continue;
        }
        (line.find("[ERROR]") != std::string::npos ? errors : lines).push_back(line);
    }
    const std::vector<std::string> &chosen = errors.empty() ? lines : errors;
    if (chosen.empty()) {
        return "its log says nothing";
    }
    // The first errors name the cause ("File ./ib_logfile0 was not found"); the last ones only
    // say that the server gave up. Other lines: the last ones are the nearest to the end.
    std::string quoted;
    const std::size_t first
        = errors.empty() && chosen.size() > kQuotedLines ? chosen.size() - kQuotedLines : 0;
    for (std::size_t i = first; i < std::min(chosen.size(), first + kQuotedLines); ++i) {
        quoted += (quoted.empty() ? "\"" : " / \"") + chosen[i] + "\"";
    }
    return quoted;
}

} // namespace

WorkshopServer::WorkshopServer(fs::path location)
    : m_location(std::move(location))
{
}

WorkshopServer::~WorkshopServer()
{
    if (m_child > 0 && processRunning(m_child)) {
        stopMySqlService();
    }
}

fs::path WorkshopServer::defaultLocation()
{
    fs::path base;
    if (const char *data = std::getenv("XDG_DATA_HOME"); data && *data) {
        base = data;
    } else if (const char *home = std::getenv("HOME"); home && *home) {
        base = fs::path(home) / ".local" / "share";
    } else {
        base = fs::temp_directory_path();
    }
    return base / "zarafa-repair" / "workshop";
}

std::string WorkshopServer::findMySqlLocation() const
{
    if (!serverProgram()) {
        return std::string(common::text(common::str::kMySqlNotInstalled));
    }
    // The rebuild appends "data" to the location, so it ends in a separator.
    std::string location = m_location.string();
    if (location.empty() || location.back() != '/') {
        location.push_back('/');
    }
    return location;
}

std::string WorkshopServer::dataFolder() const { return (m_location / "data").string(); }

std::string WorkshopServer::connectionExtras() const
{
    return "SOCKET=" + bracedValue(socketPath().string()) + ";";
}

std::string WorkshopServer::connectionString(std::string_view user, std::string_view password) const
{
    return mysql::connectionString("localhost", user, password, connectionExtras());
}

pid_t WorkshopServer::runningPid()
{
    if (m_child > 0) {
        if (processRunning(m_child)) {
            return m_child;
        }
        m_child = 0;
    }
    const std::string ownFolder = "--datadir=" + dataFolder();
    // A server started by an earlier run of the program: trust the pid file only when that
    // process is a server on our own data folder, so that we never signal a stranger.
    std::ifstream file(pidFilePath());
    long pid = 0;
    if ((file >> pid) && pid > 0 && processRunning(static_cast<pid_t>(pid))
        && processCommandLine(static_cast<pid_t>(pid)).find(ownFolder + '\0')
            != std::string::npos) {
        return static_cast<pid_t>(pid);
    }
    // A server that is still starting has written no pid file yet, and it outlives a killed
    // program (it runs in a session of its own): its command line and the lock InnoDB holds on
    // the data folder tell.
    if (const auto servers = processesWithArgument(ownFolder); !servers.empty()) {
        return servers.front();
    }
    if (const pid_t holder = innodbLockHolder(dataFolder()); holder != 0) {
        const std::string program = holder > 0 ? processCommandLine(holder) : std::string();
        const std::string name = fs::path(program.substr(0, program.find('\0'))).filename();
        return name == "mariadbd" || name == "mysqld" ? holder : -1;
    }
    return listening() ? -1 : 0;
}

bool WorkshopServer::listening() const
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    socketPath().string().copy(address.sun_path, sizeof address.sun_path - 1);
    const bool connected
        = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

std::string WorkshopServer::unknownHolder() const
{
    return "a process this program did not start works on " + dataFolder()
        + " (it holds InnoDB's lock or the socket); stop it first";
}

void WorkshopServer::say(const std::string &activity) const
{
    if (onActivity) {
        onActivity(activity);
    }
}

bool WorkshopServer::prepareFolders()
{
    std::error_code error;
    fs::create_directories(m_location / "run", error);
    if (error) {
        m_problem
            = "cannot create the workshop folder " + m_location.string() + ": " + error.message();
        return false;
    }
    // The socket lets root in without a password: only we may reach it.
    fs::permissions(m_location, fs::perms::owner_all, fs::perm_options::replace, error);
    fs::permissions(m_location / "run", fs::perms::owner_all, fs::perm_options::replace, error);
    if (socketPath().string().size() >= sizeof(sockaddr_un {}.sun_path)) {
        m_problem = "the workshop folder path is too long for a socket: " + m_location.string();
        return false;
    }
    return true;
}

bool WorkshopServer::installDataFolder()
{
    // The system tables are what a first start needs; the rest of the folder may be moved aside
    // by a repair and is recreated by the server itself.
    if (fs::exists(m_location / "data" / "mysql")) {
        return true;
    }
    const auto installer = findProgram({ "mariadb-install-db", "mysql_install_db" });
    if (!installer) {
        m_problem = "mariadb-install-db was not found";
        return false;
    }
    // A temporary folder of our own: servers bootstrapping side by side in one /tmp collide on
    // their temporary table names and fail at random.
    std::vector<std::string> arguments = { *installer, "--no-defaults", "--datadir=" + dataFolder(),
        "--tmpdir=" + (m_location / "run").string(), "--auth-root-authentication-method=normal",
        "--skip-test-db", "--innodb-file-per-table=0" };
    if (runningAsRoot()) {
        arguments.push_back("--user=root");
    }
    const auto noSync = noSyncOptions();
    arguments.insert(arguments.end(), noSync.begin(), noSync.end());
    const std::string logPath = (m_location / "install.log").string();
    say("Setting up the workshop server (its first use: mariadb-install-db)");
    if (runProgram(arguments, logPath) != 0) {
        m_problem = "mariadb-install-db failed, see " + logPath;
        return false;
    }
    syncTree(m_location / "data");
    return true;
}

bool WorkshopServer::acceptsConnections() const
{
    // The server listens on its socket well before it has started: a connect alone succeeds
    // early, and a shutdown request in that window hangs MariaDB 10.11 in its start-up. Only
    // the greeting it sends once it serves clients says that it is ready.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath().string();
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    bool greeted = false;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
        pollfd wait { fd, POLLIN, 0 };
        if (::poll(&wait, 1, 250) == 1) {
            char packet[4];
            greeted = ::recv(fd, packet, sizeof packet, 0) == static_cast<ssize_t>(sizeof packet);
        }
    }
    ::close(fd);
    return greeted;
}

bool WorkshopServer::startMySqlService()
{
    m_problem.clear();
    const auto program = serverProgram();
    if (!program) {
        m_problem = std::string(common::text(common::str::kMySqlNotInstalled));
        return false;
    }
    if (!prepareFolders() || !installDataFolder()) {
        return false;
    }
    pid_t pid = runningPid();
    if (pid < 0) {
        m_problem = unknownHolder();
        return false;
    }
    const fs::path log = m_location / "data" / serverLogName();
    std::error_code sizeError;
    const auto logStart = fs::file_size(log, sizeError);
    if (pid == 0) {
        if (m_failedStarts >= kStartTries) {
            m_problem = "gave up after " + std::to_string(m_failedStarts)
                + " failed starts of the workshop server: " + m_startFailure;
            return false;
        }
        if (m_failedStarts > 0) {
            // A server that cannot start (a full disk, a damaged tablespace) fails the same way
            // at once; trying again at full speed only fills its log.
            std::this_thread::sleep_for(kFirstRetryPause * (1 << (m_failedStarts - 1)));
        }
        std::error_code ignored;
        fs::remove(socketPath(), ignored); // left behind by a server that did not end orderly
        std::vector<std::string> arguments = {
            *program,
            "--no-defaults",
            "--datadir=" + dataFolder(),
            "--socket=" + socketPath().string(),
            "--pid-file=" + pidFilePath().string(),
            "--skip-networking",
            "--tmpdir=" + (m_location / "run").string(),
            "--log-error=" + log.string(),
            // The rebuilt tables must land in the shared tablespace the Recovered Folder takes.
            "--innodb-file-per-table=0",
            // One row may carry a long BLOB value as a single parameter.
            "--max-allowed-packet=1G",
        };
        if (runningAsRoot()) {
            arguments.push_back("--user=root");
        }
        if (m_tuned) {
            const auto tuning
                = workshopTuningOptions(workshopSizes(availableMemoryBytes().value_or(0)));
            arguments.insert(arguments.end(), tuning.begin(), tuning.end());
        }
        say("Starting the workshop server");
        pid = startProgram(arguments, (m_location / "run" / "console.log").string());
        if (pid < 0) {
            m_problem = "cannot start " + *program;
            return false;
        }
        m_child = pid;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    bool recoverySaid = false;
    while (std::chrono::steady_clock::now() < deadline) {
        if (acceptsConnections()) {
            m_failedStarts = 0;
            return true;
        }
        if (!recoverySaid && recovering(log, sizeError ? 0 : logStart)) {
            // A start after a crash replays the redo log first; it can take minutes.
            say("The workshop server recovers its tablespace (InnoDB crash recovery)");
            recoverySaid = true;
        }
        if (!processRunning(pid)) {
            if (pid == m_child) {
                m_child = 0;
            }
            ++m_failedStarts;
            m_startFailure = "the workshop server ended while starting: "
                + lastLines(log, sizeError ? 0 : logStart) + " (see " + log.string() + ")";
            m_problem = m_startFailure;
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    m_problem = "the workshop server does not accept connections";
    return false;
}

bool WorkshopServer::stopMySqlService()
{
    m_problem.clear();
    const pid_t pid = runningPid();
    if (pid < 0) {
        m_problem = unknownHolder();
        return false;
    }
    if (pid == 0) {
        // The workshop is made on first use: a first repair stops it before it ever ran, and
        // its backup needs the data folder to exist.
        return prepareFolders() && installDataFolder();
    }
    say("Stopping the workshop server");
    if (::kill(pid, SIGTERM) != 0 && processRunning(pid)) {
        m_problem = "cannot signal the workshop server";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!processRunning(pid)) {
            if (pid == m_child) {
                m_child = 0;
            }
            // The server synced nothing while it ran: what it leaves must last from here on.
            syncTree(m_location / "data");
            // Its files are free only once nothing holds them: a second server on the same
            // folder (started by hand, or still starting) would be the next to find.
            return runningPid() == 0 || stopMySqlService();
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    m_problem = "the workshop server does not stop";
    return false;
}

} // namespace mysql

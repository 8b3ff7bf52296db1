// WorkshopServer: the private MariaDB server this program owns and rebuilds in, so that a repair
// never disturbs a production server. Tests of every module use it with a temporary folder:
//
//     mysql::WorkshopServer server(tempDir / "workshop");   // created on first start
//     ASSERT_TRUE(server.startMySqlService()) << server.lastProblem();
//     auto connection = mysql::Connection::open(server.connectionString("root", ""));
//     ...
//     server.stopMySqlService();                            // also done by the destructor
#pragma once

#include "mysql/server_control.h"

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace mysql {

class WorkshopServer : public ServerControl
{
public:
    // `location` holds data/ (the server's data folder) and run/ (socket and pid file, 0700).
    explicit WorkshopServer(std::filesystem::path location);
    // Stops a server this object started; one started by an earlier program is left running.
    ~WorkshopServer() override;
    WorkshopServer(const WorkshopServer &) = delete;
    WorkshopServer &operator=(const WorkshopServer &) = delete;

    // ~/.local/share/zarafa-repair/workshop (under $XDG_DATA_HOME when set).
    static std::filesystem::path defaultLocation();

    std::string findMySqlLocation() const override;
    std::string dataFolder() const override;
    bool stopMySqlService() override;
    bool startMySqlService() override;
    std::string connectionExtras() const override;

    // The connection string for host localhost, with the socket appended.
    std::string connectionString(std::string_view user, std::string_view password) const;

    const std::filesystem::path &location() const { return m_location; }
    std::filesystem::path socketPath() const { return m_location / "run" / "mysqld.sock"; }
    std::filesystem::path pidFilePath() const { return m_location / "run" / "mysqld.pid"; }
    // The pid of a server on our data folder when one runs (also one still starting, without a
    // pid file), 0 when none does, -1 when something we cannot signal holds the folder.
    pid_t runningPid();
    // True once the server failed to start so often in a row that no more starts are tried.
    bool gaveUp() const override { return m_failedStarts >= kStartTries; }
    static constexpr int kStartTries = 5;
    // Whether later starts use the sizes and the no-sync options of workshop_tuning.h (the
    // default), or the server's own defaults, as a production server would run.
    void setTuned(bool tuned) { m_tuned = tuned; }

private:
    bool prepareFolders();
    bool installDataFolder();
    bool acceptsConnections() const;
    bool listening() const;
    std::string unknownHolder() const;
    void say(const std::string &activity) const;

    std::filesystem::path m_location;
    pid_t m_child = 0; // the server this object started, until it ended
    int m_failedStarts = 0; // in a row; a start that serves clients clears it
    std::string m_startFailure; // the server's reason, from its log
    bool m_tuned = true;
};

} // namespace mysql

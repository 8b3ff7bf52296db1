// ServerControl: stopping, starting and locating the MySQL server whose data folder the rebuild
// uses. The workshop backend (our own private server) is the default; a systemd service is an
// explicit choice.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace mysql {

class ServerControl
{
public:
    virtual ~ServerControl() = default;

    // The installation folder, ending in a separator, or the text of string 149 "MySQL is not
    // installed" when no server can be found (compare with isMySqlMissing).
    virtual std::string findMySqlLocation() const = 0;
    // The server's data folder, whose own files the backup moves aside and back.
    virtual std::string dataFolder() const = 0;
    // True when the server stopped or was not running.
    virtual bool stopMySqlService() = 0;
    // True when the server runs (and, where that can be told, accepts connections) afterwards.
    virtual bool startMySqlService() = 0;
    // True when the server failed to start so often that trying again is pointless; the reason
    // is in lastProblem().
    virtual bool gaveUp() const { return false; }
    // Connection-string attributes this server needs besides host, user and password.
    virtual std::string connectionExtras() const { return {}; }
    // Why the last stop or start failed, in words for the user; empty when it did not.
    const std::string &lastProblem() const { return m_problem; }
    // Told what the server is doing while a stop or start takes long (installing, starting,
    // recovering its tablespace), in words for the user's status line.
    std::function<void(const std::string &)> onActivity;

protected:
    std::string m_problem;
};

// Whether a FindMySqlLocation result says that no server is installed.
bool isMySqlMissing(std::string_view location);

// The server log's name in the data folder: the computer name followed by ".err".
std::string serverLogName();

} // namespace mysql

#include "mysql/client_login.h"

#include "mysql/child_process.h"
#include "mysql/connection_string.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace mysql {

namespace {

// The output of a program, read through a pipe: an option file's password must not pass
// through a file on disk. Nothing when it could not be run or failed.
std::optional<std::string> outputOf(const std::vector<std::string> &arguments)
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    for (const std::string &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return output;
}

// The "--name=value" lines of my_print_defaults; a later line wins, as in the clients.
ClientLogin parseOptions(const std::string &output)
{
    ClientLogin login;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("--")) {
            continue;
        }
        const std::size_t equals = line.find('=');
        std::string name
            = line.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        for (char &c : name) {
            c = c == '_' ? '-' : c;
        }
        const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
        if (name == "user") {
            login.user = value;
        } else if (name == "password") {
            login.password = value;
        } else if (name == "host") {
            login.host = value;
        } else if (name == "socket") {
            login.socket = value;
        } else if (name == "port") {
            char *end = nullptr;
            const unsigned long port = std::strtoul(value.c_str(), &end, 10);
            if (end != value.c_str() && *end == '\0' && port > 0 && port < 65536) {
                login.port = static_cast<unsigned>(port);
            }
        }
    }
    return login;
}

std::string loginName()
{
    if (const passwd *entry = ::getpwuid(::geteuid()); entry && entry->pw_name) {
        return entry->pw_name;
    }
    const char *user = std::getenv("USER");
    return user ? user : "";
}

} // namespace

common::Result<ClientLogin> readOptionFiles(const std::string &defaultsFile)
{
    const auto program = findProgram({ "my_print_defaults" });
    if (!program) {
        if (!defaultsFile.empty()) {
            return common::Error { common::ErrorKind::NotFound,
                "my_print_defaults (of the MySQL or MariaDB client) is needed to read it",
                defaultsFile };
        }
        return ClientLogin {};
    }
    std::vector<std::string> arguments = { *program };
    if (!defaultsFile.empty()) {
        if (::access(defaultsFile.c_str(), R_OK) != 0) {
            return common::ioError(
                "cannot read the option file: " + std::string(std::strerror(errno)), defaultsFile);
        }
        arguments.push_back("--defaults-file=" + defaultsFile);
    }
    arguments.insert(arguments.end(), { "client", "mysql" });
    auto output = outputOf(arguments);
    if (!output) {
        return common::Error { common::ErrorKind::InvalidArgument,
            "my_print_defaults could not read the option files",
            defaultsFile.empty() ? std::string("~/.my.cnf") : defaultsFile };
    }
    ClientLogin login = parseOptions(*output);
    if (login.password && *login.password == "*****") {
        // MySQL's own my_print_defaults masks passwords unless asked to show them.
        std::vector<std::string> showing = arguments;
        showing.insert(showing.begin() + (defaultsFile.empty() ? 1 : 2), "--show");
        if (auto shown = outputOf(showing)) {
            login = parseOptions(*shown);
        }
    }
    return login;
}

ClientLogin mergeLogins(ClientLogin base, const ClientLogin &overrides)
{
    if (!overrides.host.empty()) {
        base.host = overrides.host;
        base.socket.clear(); // a host asked for by name is reached over the network
    }
    if (overrides.port) {
        base.port = overrides.port;
    }
    if (!overrides.socket.empty()) {
        base.socket = overrides.socket;
    }
    if (!overrides.user.empty()) {
        base.user = overrides.user;
    }
    if (overrides.password) {
        base.password = overrides.password;
    }
    return base;
}

std::string accountText(const ClientLogin &login)
{
    std::string text = (login.user.empty() ? loginName() : login.user) + "@";
    if (!login.socket.empty()) {
        return text + "localhost (socket " + login.socket + ")";
    }
    text += login.host.empty() ? "localhost" : login.host;
    if (login.port) {
        text += ":" + std::to_string(*login.port);
    }
    return text;
}

std::string clientConnectionString(const ClientLogin &login)
{
    std::string out = "DRIVER={";
    out.append(kDriverName).append("};SERVER=");
    out.append(bracedValue(login.host.empty() || !login.socket.empty() ? "localhost" : login.host));
    if (login.port) {
        out.append(";PORT=").append(std::to_string(*login.port));
    }
    if (!login.socket.empty()) {
        out.append(";SOCKET=").append(bracedValue(login.socket));
    }
    out.append(";USER=").append(bracedValue(login.user.empty() ? loginName() : login.user));
    out.append(";PASSWORD=").append(bracedValue(login.password.value_or(""))).append(";");
    return out;
}

bool isAccessDenied(const common::Error &error)
{
    return error.message.find("Access denied") != std::string::npos
        || error.message.find("1045") != std::string::npos;
}

} // namespace mysql

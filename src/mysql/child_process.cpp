#include "mysql/child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mysql {

namespace {

// The server must see SIGTERM: ignored signals and the signal mask would survive the exec, so
// the child starts with every signal at its default and none blocked.
pid_t spawn(const std::vector<std::string> &arguments, const std::string &outputPath, bool ownSession)
{
    if (arguments.empty()) {
        return -1;
    }
    std::vector<char *> argv;
    for (const std::string &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const char *output = outputPath.empty() ? "/dev/null" : outputPath.c_str();

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&files);
    ::posix_spawnattr_init(&attributes);
    ::posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(
        &files, STDOUT_FILENO, output, O_WRONLY | O_CREAT | O_APPEND, 0600);
    ::posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownSession) {
        flags |= POSIX_SPAWN_SETSID;
    }
    ::posix_spawnattr_setflags(&attributes, flags);
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, argv[0], &files, &attributes, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&files);
    ::posix_spawnattr_destroy(&attributes);
    return failed == 0 ? pid : -1;
}

} // namespace

std::optional<std::string> findProgram(const std::vector<std::string> &names)
{
    // $PATH first, as a shell would; the server folders after it, since /usr/sbin is often not
    // on an ordinary user's PATH.
    std::vector<std::string> folders;
    if (const char *path = std::getenv("PATH")) {
        std::stringstream stream(path);
        std::string folder;
        while (std::getline(stream, folder, ':')) {
            if (!folder.empty()) {
                folders.push_back(folder);
            }
        }
    }
    for (const char *folder : { "/usr/sbin", "/usr/local/sbin", "/usr/bin", "/usr/local/bin" }) {
        folders.emplace_back(folder);
    }
    for (const std::string &name : names) {
        for (const std::string &folder : folders) {
            const std::string candidate = folder + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
    }
    return std::nullopt;
}

int runProgram(const std::vector<std::string> &arguments, const std::string &outputPath)
{
    const pid_t pid = spawn(arguments, outputPath, false);
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

pid_t startProgram(const std::vector<std::string> &arguments, const std::string &outputPath)
{
    return spawn(arguments, outputPath, true);
}

bool processRunning(pid_t pid)
{
    if (pid <= 0) {
        return false;
    }
    int status = 0;
    const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == pid) {
        return false; // our child, just ended
    }
    if (reaped == 0) {
        return true; // our child, still running
    }
    // Not our child: ask the kernel, and treat a zombie (ended, not yet reaped) as ended.
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
        return false;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const auto close = text.rfind(')');
    if (close != std::string::npos && close + 2 < text.size()) {
        return text[close + 2] != 'Z' && text[close + 2] != 'X';
    }
    return true;
}

std::vector<pid_t> processesWithArgument(std::string_view argument)
{
    std::vector<pid_t> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const auto pid = static_cast<pid_t>(std::stol(name));
        const std::string commandLine = processCommandLine(pid);
        for (std::size_t start = 0; start < commandLine.size();) {
            const std::size_t nul = commandLine.find('\0', start);
            const std::size_t stop = nul == std::string::npos ? commandLine.size() : nul;
            if (std::string_view(commandLine).substr(start, stop - start) == argument) {
                if (processRunning(pid)) {
                    found.push_back(pid);
                }
                break;
            }
            start = stop + 1;
        }
    }
    return found;
}

std::string processCommandLine(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

} // namespace mysql

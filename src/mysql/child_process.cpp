#include "mysql/child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace mysql {

namespace {

// In the child between fork and exec only async-signal-safe calls are allowed: everything is
// prepared before the fork.
pid_t forkAndExec(
    const std::vector<std::string> &arguments, const std::string &outputPath, bool ownSession)
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

    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    // Ignored signals and the signal mask survive exec; the server must see SIGTERM.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal = 1; signal < NSIG; ++signal) {
        ::signal(signal, SIG_DFL);
    }
    if (ownSession) {
        ::setsid();
    }
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(output, O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (in >= 0) {
        ::dup2(in, STDIN_FILENO);
    }
    if (out >= 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

} // namespace

std::optional<std::string> findProgram(const std::vector<std::string> &names)
{
    std::vector<std::string> folders
        = { "/usr/sbin", "/usr/local/sbin", "/usr/bin", "/usr/local/bin" };
    if (const char *path = std::getenv("PATH")) {
        std::stringstream stream(path);
        std::string folder;
        while (std::getline(stream, folder, ':')) {
            if (!folder.empty()) {
                folders.push_back(folder);
            }
        }
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
    const pid_t pid = forkAndExec(arguments, outputPath, false);
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
    return forkAndExec(arguments, outputPath, true);
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

std::string processCommandLine(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

} // namespace mysql

// Starting the server programs we drive (mariadbd, mariadb-install-db, systemctl) and watching
// the processes we started.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace mysql {

// The full path of the first program of `names` found on PATH or else in the server folders.
std::optional<std::string> findProgram(const std::vector<std::string> &names);

// Runs a program to its end with stdin closed and its output appended to `outputPath` (or
// discarded when empty); the exit code, or -1 when it could not be run or ended by a signal.
int runProgram(const std::vector<std::string> &arguments, const std::string &outputPath);

// Starts a program in a session of its own (a Ctrl-C meant for us does not reach it), its
// output appended to `outputPath`; the pid, or -1.
pid_t startProgram(const std::vector<std::string> &arguments, const std::string &outputPath);

// Whether process `pid` still runs. Reaps it when it is our child; a zombie counts as ended.
bool processRunning(pid_t pid);

// Running processes with `argument` as one whole word of their command line.
std::vector<pid_t> processesWithArgument(std::string_view argument);

// The NUL-separated command line of a running process, or empty.
std::string processCommandLine(pid_t pid);

} // namespace mysql

// The options of a repair run and the diagnostic subcommands of zarafa-repair.
#pragma once

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace cli {

struct RepairOptions
{
    std::string folder;
    std::optional<std::string> host;
    std::optional<std::string> user;
    std::optional<std::string> password; // never from argv as given: see scrubPasswordArgument
    bool askPassword = false;             // --password alone: asked without echo
    std::string defaultsFile;             // the login of a real server, as the MySQL clients
    std::optional<bool> answer;
    bool quiet = false;
    std::string workshop;
    std::string serverService; // a systemd service instead of the workshop server
    std::string serverDataFolder; // that service's data folder
    std::string reportFile;
    std::string outputFolder; // where each run's result folder is made; empty for the default
    bool includeDeleted = false;
    bool keepDamagedValues = false;
    bool mergeSalvaged = false;
};

void addDescribeCommand(CLI::App &app);
int runDescribeCommand(CLI::App &app);
void addDumpRowsCommand(CLI::App &app);
int runDumpRowsCommand(CLI::App &app);
void addRestoreServerCommand(CLI::App &app);
int runRestoreServerCommand(CLI::App &app);
void addPutBackCommand(CLI::App &app);
int runPutBackCommand(CLI::App &app);

// Registers the diagnostic subcommands (describe, dump-rows, ...).
void addDiagnosticCommands(CLI::App &app);
// Runs the subcommand that was parsed and returns its exit code, or -1 when none was given.
int runDiagnosticCommand(CLI::App &app);

} // namespace cli

#include "cli/cli_commands.h"

#include <CLI/CLI.hpp>

namespace cli {

// Each diagnostic lives in its own file; a run function returns -1 when its subcommand was not
// the one given.
void addDiagnosticCommands(CLI::App &app)
{
    addDescribeCommand(app);
    addDumpRowsCommand(app);
    addRestoreServerCommand(app);
    addPutBackCommand(app);
}

int runDiagnosticCommand(CLI::App &app)
{
    for (auto run : { runDescribeCommand, runDumpRowsCommand, runRestoreServerCommand,
             runPutBackCommand }) {
        if (const int code = run(app); code >= 0) {
            return code;
        }
    }
    return -1;
}

} // namespace cli

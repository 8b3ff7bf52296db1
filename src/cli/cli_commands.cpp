#include "cli/cli_commands.h"

#include <CLI/CLI.hpp>

namespace cli {

void addDiagnosticCommands(CLI::App &)
{
}

int runDiagnosticCommand(CLI::App &)
{
    return -1;
}

} // namespace cli

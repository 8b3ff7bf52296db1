// zarafa-repair restore-server: puts back server files that an interrupted repair moved aside.
#include "cli/cli_commands.h"

#include <CLI/CLI.hpp>

namespace cli {

void addRestoreServerCommand(CLI::App &)
{
}

int runRestoreServerCommand(CLI::App &)
{
    return -1;
}

} // namespace cli

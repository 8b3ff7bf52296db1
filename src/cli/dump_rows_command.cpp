// zarafa-repair dump-rows FOLDER: the decoded rows of every table, without a server.
#include "cli/cli_commands.h"

#include <CLI/CLI.hpp>

namespace cli {

void addDumpRowsCommand(CLI::App &)
{
}

int runDumpRowsCommand(CLI::App &)
{
    return -1;
}

} // namespace cli

// zarafa-repair describe FILE.frm: what the definition reader understood of one file.
#include "cli/cli_commands.h"

#include <CLI/CLI.hpp>

namespace cli {

void addDescribeCommand(CLI::App &)
{
}

int runDescribeCommand(CLI::App &)
{
    return -1;
}

} // namespace cli

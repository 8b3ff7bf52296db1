// Asking for a password on the terminal without echo, and keeping one given on the command line
// out of the process list.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cli {

// Asks on the controlling terminal (not stdin, which may carry data) with echo off; nothing
// when there is no terminal or the user ends the input.
std::optional<std::string> askHidden(const std::string &label);

// Takes a password given as "--password=P" or "--password P" out of argv at once, overwriting
// its bytes so that `ps` and /proc/<pid>/cmdline no longer show it, and returns it. A bare
// "--password" (ask at a prompt) is left for the parser. `arguments` gets the arguments as they
// were, for the parser.
// It is also kept for scrubbedPassword().
std::optional<std::string> scrubPasswordArgument(
    int argc, char **argv, std::vector<std::string> &arguments);

// The password scrubPasswordArgument took out of argv, if any.
const std::optional<std::string> &scrubbedPassword();

} // namespace cli

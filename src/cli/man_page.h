// The manual pages and the version text, made from the same CLI11 option tables as --help, so
// that the installed manual cannot say other than the program does.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
class ParseError;
} // namespace CLI

namespace cli {

struct ManSection
{
    std::string title; // "EXIT STATUS", "FILES", ...
    std::string body; // roff text
};

struct ManPage
{
    std::string name; // "zarafa-repair"
    std::string summary; // one line, for NAME
    std::string synopsis; // roff text
    std::vector<ManSection> sections; // after OPTIONS and COMMANDS
};

// roff for `app`'s visible options and subcommands (each with its own options), under the page.
std::string manPage(const CLI::App &app, const ManPage &page);

// Exit codes of a repair, as --help's footer and the manual list them.
std::string repairExitStatusText();
// The EXIT STATUS, FILES and ENVIRONMENT sections of zarafa-repair(1) and zarafa-repair-gui(1).
std::vector<ManSection> repairManSections(bool window);

// "<program> <version>" and the versions of the libraries the program was built with; `qt` is
// the window's Qt line, or empty for the command line (which has no Qt).
std::string versionText(std::string_view program, std::string_view qt);

// --help and --version print and give 0; any other parse error is said on stderr after the
// program's name, and gives 2 (a usage error).
int parseErrorExit(const CLI::App &app, const CLI::ParseError &error);

// The window's command line: an optional FOLDER, --version, and the hidden --man. Other
// arguments are left to Qt.
struct WindowArguments
{
    std::string folder;
    bool man = false;
};
void addWindowOptions(CLI::App &app, WindowArguments &arguments, std::string qtVersion);
ManPage windowManPage();

} // namespace cli

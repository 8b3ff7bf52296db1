#include "cli/man_page.h"

#include "common/strings.h"

#include <CLI/CLI.hpp>
#include <array>
#include <iostream>

#ifndef ZR_UNIXODBC_VERSION
#define ZR_UNIXODBC_VERSION "unknown"
#endif
#ifndef ZR_CONNECTOR_ODBC_VERSION
#define ZR_CONNECTOR_ODBC_VERSION "unknown"
#endif
#ifndef ZR_MARIADB_VERSION
#define ZR_MARIADB_VERSION "unknown"
#endif

namespace cli {

namespace {

struct ExitCode
{
    int code;
    std::string_view meaning;
};

// job::exitCode() gives 0, 1, 3 and 4; 2 is the parser's.
constexpr std::array<ExitCode, 5> kExitCodes { {
    { 0, "complete: every table was read and nothing was lost" },
    { 1,
        "stopped by the user: Ctrl-C, or SIGTERM or SIGHUP (the server's own files are put back "
        "first)" },
    { 2, "bad arguments" },
    { 3, "failed: no table's rows could be read, or the rebuild could not be finished" },
    { 4,
        "completed with losses: a result, but rows, pages or tables are missing from it (each "
        "named in the summary, the log and the --report file)" },
} };

struct SettingsKey
{
    std::string_view key;
    std::string_view meaning;
};

constexpr std::array<SettingsKey, 10> kSettingsKeys { {
    { "Location", "the workshop server's folder (default ~/.local/share/zarafa-repair/workshop)" },
    { "ServerService", "a systemd MySQL service to rebuild in instead of the workshop" },
    { "ServerDataFolder", "that service's data folder" },
    { "Path", "the folder of the help page (the window)" },
    { "SupSec", "the address the \"Download MySQL\" link opens (the window)" },
    { "ExeName", "the update package's name on the update server" },
    { "Version", "the installed version, four dotted numbers" },
    { "update", "the upgrade page the update wizard links to" },
    { "UpdateServer", "the update server's upgrade folder (https://)" },
    { "AllowPlainHttp", "true lets the update use a plain http:// server (a test server)" },
} };

// roff takes a leading "." or "'" as a request and "\" as an escape; "-" is a hyphen unless
// escaped as a minus, which option names must be to be searchable and copyable.
std::string roff(std::string_view text)
{
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else if (lineStart && (c == '.' || c == '\'')) {
            out += "\\&";
            out += c;
        } else {
            out += c;
        }
        lineStart = c == '\n';
    }
    return out;
}

std::string optionEntries(const CLI::App &app)
{
    std::string out;
    for (const CLI::Option *option : app.get_options()) {
        if (option->get_group().empty()) {
            continue; // hidden
        }
        out += ".TP\n";
        std::string names = option->get_name(false, true);
        if (option->get_positional() && names.empty()) {
            names = option->get_name(true, false);
        }
        for (std::size_t comma = names.find(','); comma != std::string::npos;
             comma = names.find(',', comma + 2)) {
            names.insert(comma + 1, " ");
        }
        out += "\\fB" + roff(names) + "\\fR";
        if (option->get_expected_min() != 0 && !option->get_type_name().empty()) {
            out += " \\fI" + roff(option->get_type_name()) + "\\fR";
        }
        out += "\n" + roff(option->get_description()) + "\n";
    }
    return out;
}

} // namespace

std::string manPage(const CLI::App &app, const ManPage &page)
{
    std::string upper;
    for (const char c : page.name) {
        upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    std::string out = ".TH " + roff(upper) + " 1 \"\" \"" + roff(page.name) + " "
        + std::string(common::kProductVersion) + "\" \"User Commands\"\n";
    out += ".SH NAME\n" + roff(page.name) + " \\- " + roff(page.summary) + "\n";
    out += ".SH SYNOPSIS\n" + page.synopsis + "\n";
    out += ".SH DESCRIPTION\n" + roff(app.get_description()) + "\n";
    out += ".SH OPTIONS\n" + optionEntries(app);
    const auto commands = app.get_subcommands([](const CLI::App *) { return true; });
    if (!commands.empty()) {
        out += ".SH COMMANDS\n";
        for (const CLI::App *command : commands) {
            out += ".SS " + roff(command->get_name()) + "\n" + roff(command->get_description())
                + "\n" + optionEntries(*command);
        }
    }
    for (const auto &section : page.sections) {
        out += ".SH " + section.title + "\n" + section.body;
    }
    return out;
}

std::string repairExitStatusText()
{
    std::string out = "Exit status of a repair:\n";
    for (const auto &exit : kExitCodes) {
        out += "  " + std::to_string(exit.code) + "  " + std::string(exit.meaning) + "\n";
    }
    out.pop_back();
    return out;
}

std::vector<ManSection> repairManSections(bool window)
{
    std::vector<ManSection> sections;
    if (!window) {
        std::string exits;
        for (const auto &exit : kExitCodes) {
            exits += ".TP\n" + std::to_string(exit.code) + "\n" + roff(exit.meaning) + "\n";
        }
        exits += ".PP\n\\fBput\\-back\\fR: 0 loaded and every table's rows counted as the dump "
                 "says, 3 nothing was changed, 4 loaded but a count differs, 5 the load stopped "
                 "part\\-way, 2 bad arguments.\n";
        sections.push_back({ "EXIT STATUS", exits });
    }
    std::string files = ".TP\n\\fI$XDG_CONFIG_HOME/zarafa\\-repair/settings.ini\\fR "
                        "(\\fI~/.config/zarafa\\-repair/settings.ini\\fR by default)\n"
                        "The settings, in the [General] section of an INI file as Qt's "
                        "QSettings writes it. Command\\-line options win. Keys:\n"
                        ".RS\n";
    for (const auto &key : kSettingsKeys) {
        files += ".TP\n\\fB" + roff(key.key) + "\\fR\n" + roff(key.meaning) + "\n";
    }
    files += ".RE\n";
    sections.push_back({ "FILES", files });
    sections.push_back({ "ENVIRONMENT",
        ".TP\n\\fBXDG_CONFIG_HOME\\fR\nWhere the settings file is looked for.\n"
        ".TP\n\\fBMYSQL_PWD\\fR\nThe password of a real server's login "
        "(\\-\\-server\\-service only).\n" });
    sections.push_back({ "SEE ALSO",
        window ? std::string("\\fBzarafa\\-repair\\fR(1)\n")
               : std::string("\\fBzarafa\\-repair\\-gui\\fR(1), \\fBmariadb\\fR(1)\n") });
    return sections;
}

std::string versionText(std::string_view program, std::string_view qt)
{
    std::string out = std::string(program) + " " + std::string(common::kProductVersion) + " ("
        + std::string(common::kProductName) + ")\n";
    out += "built with unixODBC " ZR_UNIXODBC_VERSION
           ", MariaDB Connector/ODBC " ZR_CONNECTOR_ODBC_VERSION
           ", MariaDB server and client " ZR_MARIADB_VERSION "\n";
    out += qt.empty() ? std::string("Qt: none (the command line has no Qt; "
                                    "zarafa-repair-gui --version names the window's)")
                      : std::string(qt);
    return out;
}

int parseErrorExit(const CLI::App &app, const CLI::ParseError &error)
{
    if (error.get_exit_code() == 0) {
        return app.exit(error); // help or version, on stdout
    }
    std::cerr << app.get_name() << ": " << error.what() << "\nRun " << app.get_name()
              << " --help for more information.\n";
    return 2;
}

void addWindowOptions(CLI::App &app, WindowArguments &arguments, std::string qtVersion)
{
    app.description(std::string(common::kProductName)
        + ": the desktop window that rebuilds a damaged Zarafa MySQL database from its data "
          "folder");
    app.add_option("folder", arguments.folder,
        "The damaged MySQL data folder to choose at start, as if picked in the folder browser");
    app.set_version_flag(
        "--version", [qtVersion] { return versionText("zarafa-repair-gui", qtVersion); });
    app.add_flag("--man", arguments.man, "Print this manual page")->group("");
    // Qt's own arguments (-platform, -style, ...) are Qt's.
    app.allow_extras();
}

ManPage windowManPage()
{
    return { "zarafa-repair-gui", "rebuild a damaged Zarafa MySQL database, in a window",
        "\\fBzarafa\\-repair\\-gui\\fR [\\fIFOLDER\\fR]", repairManSections(true) };
}

} // namespace cli

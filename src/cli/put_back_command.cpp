// zarafa-repair put-back: loads a recovered zarafa.sql into the administrator's own server.
#include "cli/cli_commands.h"
#include "cli/password_prompt.h"
#include "job/put_back.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace cli {

namespace {

struct PutBackOptions
{
    std::string dump;
    std::string socket;
    std::string host;
    std::optional<unsigned> port;
    std::string user;
    std::string defaultsFile;
    std::string database;
    bool renameExisting = false;
    bool askPassword = false;
    bool quiet = false;
};

PutBackOptions g_options;

// Exit codes beyond 0 (loaded, every count as the dump says) and 2 (bad arguments).
constexpr int kNotChanged = 3;
constexpr int kCountsDiffer = 4;
constexpr int kLoadFailed = 5;

std::string megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

} // namespace

void addPutBackCommand(CLI::App &app)
{
    auto *command = app.add_subcommand("put-back",
        "Load a recovered zarafa.sql into your own MySQL or MariaDB server (MySQL 5.0 to 8.4, "
        "MariaDB 5.5 to 11); an existing database is only changed with --rename-existing");
    command->add_option("--dump", g_options.dump, "The zarafa.sql of a repair")
        ->required()
        ->check(CLI::ExistingFile);
    auto *socket = command->add_option(
        "--socket", g_options.socket, "The server's Unix socket, e.g. /run/mysqld/mysqld.sock");
    auto *host = command->add_option("--host", g_options.host, "The server's host name");
    socket->excludes(host);
    command->add_option("--port", g_options.port, "The server's TCP port (with --host)")
        ->needs(host);
    command->add_option("--user", g_options.user,
        "The MySQL account (default: from the option files, else your login name)");
    command->add_option("--defaults-file", g_options.defaultsFile,
        "Read the login only from this option file ([client] and [mysql] groups), as the "
        "MySQL clients do; without it /etc/my.cnf, /etc/mysql/my.cnf and ~/.my.cnf are read");
    command->add_option(
        "--database", g_options.database, "The database to fill (default: the dump's own, zarafa)");
    command->add_flag("--rename-existing", g_options.renameExisting,
        "Move the tables of an existing database of that name into <name>_broken_<time> first");
    command->add_flag("-p,--password", g_options.askPassword,
        "Ask for the password (it is also asked when the server refuses the login without "
        "one); never give it on the command line, use a prompt, --defaults-file or MYSQL_PWD");
    command->add_flag("-q,--quiet", g_options.quiet, "Do not show the progress");
}

int runPutBackCommand(CLI::App &app)
{
    const CLI::App *command = app.get_subcommand("put-back");
    if (command == nullptr || !command->parsed()) {
        return -1;
    }
    auto files = mysql::readOptionFiles(g_options.defaultsFile);
    if (!files) {
        std::cerr << "zarafa-repair: " << files.error().describe() << '\n';
        return 2;
    }
    mysql::ClientLogin given;
    given.socket = g_options.socket;
    given.host = g_options.host;
    given.port = g_options.port;
    given.user = g_options.user;
    mysql::ClientLogin login = mysql::mergeLogins(*files, given);
    if (scrubbedPassword()) {
        login.password = scrubbedPassword();
    }
    if (!login.password) {
        if (const char *environment = std::getenv("MYSQL_PWD")) {
            login.password = environment;
        }
    }
    if (login.socket.empty() && login.host.empty()) {
        std::cerr << "zarafa-repair: say where the server is: --socket PATH or --host NAME "
                     "(or socket= / host= in the option file)\n";
        return 2;
    }
    if (g_options.askPassword) {
        login.password = askHidden("Password for " + mysql::accountText(login));
        if (!login.password) {
            std::cerr << "zarafa-repair: no terminal to ask the password on\n";
            return 2;
        }
    }

    const bool terminal = ::isatty(STDERR_FILENO) == 1 && !g_options.quiet;
    auto lastShown = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    bool progressOpen = false;
    job::PutBackHooks hooks;
    hooks.say = [&progressOpen](const std::string &line) {
        if (progressOpen) {
            std::cerr << '\n';
            progressOpen = false;
        }
        std::cout << line << std::endl;
    };
    hooks.progress = [&](std::uint64_t done, std::uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (!terminal || (now - lastShown < std::chrono::milliseconds(200) && done < total)) {
            return;
        }
        lastShown = now;
        const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
        std::cerr << "\rLoading: " << percent << "% (" << megabytes(done) << " of "
                  << megabytes(total) << ")\033[K" << std::flush;
        progressOpen = true;
    };
    hooks.askPassword = [](const std::string &account) {
        return askHidden(
            "The server refused the login without a password. Password for " + account);
    };

    const job::PutBackResult result = job::putBack(
        { g_options.dump, login, g_options.database, g_options.renameExisting }, hooks);
    if (progressOpen) {
        std::cerr << '\n';
    }
    for (const job::PutBackTable &table : result.tables) {
        std::cout << "  " << table.name << ": " << table.rows
                  << " rows (the dump: " << table.dumpRows;
        if (table.reportRows) {
            std::cout << ", the report: " << *table.reportRows;
        }
        std::cout << ")" << (table.rows == table.dumpRows ? "" : "  <- differs") << '\n';
    }
    switch (result.outcome) {
    case job::PutBackOutcome::Loaded:
        std::cout << "Loaded the recovered database into `" << result.database
                  << "`: " << result.tables.size()
                  << " tables, every row count as the dump says.\n";
        if (!result.renamedTo.empty()) {
            std::cout << "The tables that were there before are in `" << result.renamedTo
                      << "`; drop that database once Zarafa works again.\n";
        }
        std::cout << "Next: restart the Zarafa server so that it opens the recovered database "
                     "(systemctl restart zarafa-server, or /etc/init.d/zarafa-server restart).\n";
        return 0;
    case job::PutBackOutcome::NotChanged:
        std::cerr << "zarafa-repair: nothing was changed on the server: " << result.reason << '\n';
        return kNotChanged;
    case job::PutBackOutcome::CountsDiffer:
        std::cerr << "zarafa-repair: the load finished, but " << result.reason
                  << "; do not start Zarafa on it before you know why\n";
        return kCountsDiffer;
    case job::PutBackOutcome::LoadFailed:
        std::cerr << "zarafa-repair: " << result.reason << '\n';
        return kLoadFailed;
    }
    return kLoadFailed;
}

} // namespace cli

// zarafa-repair: the command-line front end. Runs a repair headless, or one of the diagnostics.
#include "cli/cli_commands.h"
#include "cli/console_host.h"
#include "cli/man_page.h"
#include "cli/password_prompt.h"
#include "common/settings.h"
#include "common/strings.h"
#include "job/job_control.h"
#include "job/rebuild_phases.h"
#include "job/result_folder.h"
#include "job/run_report.h"
#include "job/run_temp_folder.h"
#include "log/log_report.h"
#include "mysql/client_login.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <iostream>
#include <thread>

namespace {

std::atomic<int> g_interrupts { 0 };

extern "C" void onInterrupt(int signal)
{
    g_interrupts.fetch_add(1);
    // A second Ctrl-C ends the program the usual way. A second SIGTERM or SIGHUP does not: a
    // service manager or a closed terminal repeats them, and the finishing step that puts the
    // server's own files back must not be cut short.
    if (signal == SIGINT) {
        std::signal(SIGINT, SIG_DFL);
    }
}

// Ctrl-C, SIGTERM (kill, a shutdown) and SIGHUP (the terminal closed) all stop the run as the
// user's stop: the server's own files go back before the program ends.
void catchStopSignals(bool catching)
{
    struct sigaction action {};
    action.sa_handler = catching ? onInterrupt : SIG_DFL;
    // Restarted, so that a signal landing on the worker's thread does not break the read it
    // waits in (the driver would take it for a lost connection).
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
        ::sigaction(signal, &action, nullptr);
    }
}

// Saves the log report as the window's Save Log does; the repair's own result is not changed by
// it, but a log that cannot be written is said so. The path written, or empty.
std::string saveLog(const logreport::LogReport &log, const std::string &path)
{
    const auto rows = log.reportRows();
    if (rows.empty()) {
        std::cerr << "zarafa-repair: the log report is empty; nothing was saved to " << path
                  << '\n';
        return {};
    }
    const std::string written = logreport::saveLogFile(path, rows);
    if (written.empty()) {
        std::cerr << "zarafa-repair: " << common::text(common::str::kFileCantBeOpened) << ' '
                  << logreport::withTxtExtension(path) << '\n';
        return {};
    }
    std::cerr << common::text(common::str::kLogSaved) << ": " << written << '\n';
    return written;
}

int runRepair(const cli::RepairOptions &options, const std::string &logFile)
{
    cli::ConsoleOptions consoleOptions;
    const bool loginGiven = options.host || options.user || options.password
        || options.askPassword || !options.defaultsFile.empty();
    if (options.serverService.empty() && loginGiven) {
        std::cerr << "zarafa-repair: the workshop server needs no login (the tool logs in to it "
                     "itself); --host, --user, --password and --defaults-file are for "
                     "--server-service\n";
    }
    if (!options.serverService.empty()) {
        // A real server's login, from where the MySQL clients take it; the command line wins.
        auto files = mysql::readOptionFiles(options.defaultsFile);
        if (!files) {
            std::cerr << "zarafa-repair: " << files.error().describe() << '\n';
            return 2;
        }
        job::LoginValues login { files->host.empty() ? "localhost" : files->host,
            files->user.empty() ? "root" : files->user, files->password.value_or("") };
        if (!files->password) {
            if (const char *environment = std::getenv("MYSQL_PWD")) {
                login.password = environment;
            }
        }
        login.host = options.host.value_or(login.host);
        login.user = options.user.value_or(login.user);
        login.password = options.password.value_or(login.password);
        if (options.askPassword) {
            auto typed = cli::askHidden("Password for " + login.user + "@" + login.host);
            if (!typed) {
                std::cerr << "zarafa-repair: no terminal to ask the password on\n";
                return 2;
            }
            login.password = *typed;
        }
        consoleOptions.login = login;
    }

    // Every temporary file of the run lands in one private folder, removed at every ending this
    // process sees; one a killed run left behind goes now.
    const auto tempFolder = job::RunTempFolder::create();

    consoleOptions.answer = options.answer;
    consoleOptions.quiet = options.quiet;
    cli::ConsoleHost host(consoleOptions);

    job::RebuildSettings settings;
    settings.workshopFolder = options.workshop;
    settings.serverService = options.serverService;
    settings.serverDataFolder = options.serverDataFolder;
    settings.outputFolder = options.outputFolder;
    settings.includeDeleted = options.includeDeleted;
    settings.keepDamagedValues = options.keepDamagedValues;
    settings.mergeSalvaged = options.mergeSalvaged;
    auto phases = job::createRebuildPhases(settings);
    logreport::LogReport log;
    log.setProgramStartTime(logreport::LogReport::ctimeNow());
    job::JobControl control(host, *phases, log);

    std::optional<job::RunReport> report;
    control.jobEnding = [&report](const job::RepairJob &finished) {
        report = job::makeRunReport(finished);
    };

    control.folderChosen(options.folder);
    catchStopSignals(true);
    control.startStopPressed();
    bool stopSent = false;
    while (control.jobRunning()) {
        if (!stopSent && g_interrupts.load() > 0) {
            // Ctrl-C (or SIGTERM, SIGHUP) is the command line's Yes to "Do You want to stop
            // process?".
            control.flags().userStopRequested = 1;
            control.flags().stopRequested = 1;
            stopSent = true;
            std::cerr << "\nStopping at the next safe point; the server's files are put back.\n";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    control.waitForJob();
    catchStopSignals(false);
    if (!report) {
        // The job ended before it had a state to judge: nothing was done.
        std::cerr << "zarafa-repair: the repair did not run\n";
        return 3;
    }
    // The log and the report go beside the result, where put-back looks for the report; a
    // --log or --report file is written as well.
    const std::string resultFolder = report->resultPath;
    if (!resultFolder.empty()) {
        report->logPath = saveLog(log, (std::filesystem::path(resultFolder) / job::kLogName).string());
        report->reportPath = (std::filesystem::path(resultFolder) / job::kReportName).string();
    }
    if (!logFile.empty()) {
        const std::string saved = saveLog(log, logFile);
        report->logPath = report->logPath.empty() ? saved : report->logPath;
    }
    if (report->reportPath.empty()) {
        report->reportPath = options.reportFile;
    }
    if (!report->tables.empty()) {
        std::cout << job::summaryText(*report) << std::flush;
    } else {
        // No table was reached: the outcome and its reasons are all there is to say.
        std::cout << job::outcomeLine(report->verdict) << '\n' << std::flush;
        for (std::size_t i = 1; i < report->verdict.reasons.size(); ++i) {
            std::cout << "  " << report->verdict.reasons[i] << '\n';
        }
    }
    const std::string json = job::reportJson(*report);
    std::vector<std::string> reportFiles { report->reportPath };
    if (options.reportFile != report->reportPath) {
        reportFiles.push_back(options.reportFile);
    }
    for (const std::string &path : reportFiles) {
        if (path.empty()) {
            continue;
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << json;
        out.close();
        if (!out) {
            std::cerr << "zarafa-repair: cannot write the report " << path << '\n';
        }
    }
    // One verdict for the exit code, the summary and the report alike.
    return job::exitCode(report->verdict.outcome);
}

} // namespace

int main(int argc, char **argv)
{
    // First of all: a password given on the command line leaves the process list at once.
    std::vector<std::string> arguments;
    const std::optional<std::string> givenPassword
        = cli::scrubPasswordArgument(argc, argv, arguments);

    CLI::App app { std::string(common::kProductName)
                       + ": rebuilds a damaged Zarafa MySQL database from its data folder",
        "zarafa-repair" };
    app.set_version_flag("--version", [] { return cli::versionText("zarafa-repair", {}); });
    app.require_subcommand(0, 1);
    app.footer(cli::repairExitStatusText());
    // The manual is made from these very options at build time.
    bool man = false;
    app.add_flag("--man", man, "Print the manual page")->group("");

    cli::RepairOptions repair;
    app.add_option("-f,--folder", repair.folder,
                   "The damaged MySQL data folder (holds the Zarafa subfolder and ibdata1)");
    app.add_option("--host", repair.host, "MySQL host name for the login");
    app.add_option("--user", repair.user, "MySQL user name for the login");
    app.add_flag("-p,--password", repair.askPassword,
        "Ask for the MySQL password without echo (a real server's login only; the workshop "
        "needs none). Also read from --defaults-file, ~/.my.cnf or MYSQL_PWD; a value given "
        "here is taken out of the process list at once, but use one of those instead");
    app.add_option("--defaults-file", repair.defaultsFile,
        "Read a real server's login only from this option file ([client] and [mysql]), as the "
        "MySQL clients do");
    auto *yes = app.add_flag_callback(
        "-y,--yes", [&] { repair.answer = true; }, "Answer Yes to every question");
    auto *no = app.add_flag_callback(
        "-n,--no", [&] { repair.answer = false; }, "Answer No to every question");
    yes->excludes(no);
    app.add_flag("-q,--quiet", repair.quiet, "Do not show the status line");
    app.add_option("--report", repair.reportFile,
                   "Write a JSON account of every table (rows recovered, refused, skipped)");
    app.add_option("--output", repair.outputFolder,
        "Folder in which each run makes its result folder (recovered-DATE-TIME: the Recovered "
        "Folder, zarafa.sql, the log and the report); created when missing. Default: "
        "~/zarafa-repair");
    app.add_option("--workshop", repair.workshop,
                   "Folder of the private workshop server (default: in the user's data folder)");
    auto *service = app.add_option("--server-service", repair.serverService,
                                   "Rebuild in this systemd MySQL service instead of the workshop");
    app.add_option("--server-data-folder", repair.serverDataFolder,
                   "The data folder of that service's server (e.g. /var/lib/mysql)")
        ->needs(service);

    app.add_flag("--include-deleted", repair.includeDeleted,
        "Also bring back rows that were deleted but not yet purged (left out and counted by "
        "default)");
    app.add_flag("--keep-damaged-values", repair.keepDamagedValues,
        "Keep rows whose long value lies partly on damaged pages, with the value cut where the "
        "damage starts (left out by default); either way each such row is named in the report");
    app.add_flag("--merge-salvaged", repair.mergeSalvaged,
        "Put the rows salvaged from damaged pages that passed every check into zarafa itself "
        "when their key is not there (by default they go into the database zarafa_salvaged and "
        "zarafa-salvaged.sql); rows in doubt always stay there");
    std::string settingsFile = common::Settings::defaultPath().string();
    app.add_option("--settings", settingsFile,
        "The settings file (Location, Output, ServerService, ServerDataFolder); options given here win")
        ->capture_default_str();

    std::string logFile;
    app.add_option("--log", logFile,
                   "Save the log report to FILE at the end of the run (\".txt\" is appended "
                   "when missing)");

    cli::addDiagnosticCommands(app);

    try {
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        reversed.pop_back(); // the program's name
        app.parse(reversed);
    } catch (const CLI::ParseError &error) {
        return cli::parseErrorExit(app, error);
    }
    if (man) {
        std::cout << cli::manPage(app,
            { "zarafa-repair", "rebuild a damaged Zarafa MySQL database from its data folder",
                "\\fBzarafa\\-repair\\fR \\fB\\-\\-folder\\fR \\fIDIR\\fR [\\fIOPTIONS\\fR]\n.br\n"
                "\\fBzarafa\\-repair\\fR \\fICOMMAND\\fR [\\fIOPTIONS\\fR]",
                cli::repairManSections(false) });
        return 0;
    }
    if (givenPassword) {
        std::cerr << "zarafa-repair: a password on the command line shows in the process list "
                     "(it was taken out of it now, but may have been seen); use --password "
                     "alone to be asked, --defaults-file or MYSQL_PWD\n";
        repair.password = givenPassword;
    }
    if (const int handled = cli::runDiagnosticCommand(app); handled >= 0) {
        return handled;
    }
    if (repair.folder.empty()) {
        std::cerr << "zarafa-repair: --folder is required\n" << app.help();
        return 2;
    }
    const auto stored = common::Settings::load(settingsFile);
    if (repair.workshop.empty()) {
        repair.workshop = stored.value("Location").value_or("");
    }
    if (repair.outputFolder.empty()) {
        repair.outputFolder = stored.value("Output").value_or("");
    }
    if (repair.serverService.empty()) {
        repair.serverService = stored.value("ServerService").value_or("");
        if (repair.serverDataFolder.empty()) {
            repair.serverDataFolder = stored.value("ServerDataFolder").value_or("");
        }
    }
    return runRepair(repair, logFile);
}

// zarafa-repair-gui [FOLDER]: the desktop program. One copy at a time; the window runs until
// closed.
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/stop_signals.h"
#include "common/settings.h"
#include "cli/man_page.h"
#include "job/rebuild_phases.h"
#include "job/run_temp_folder.h"
#include "log/log_report.h"

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QIcon>
#include <iostream>

int main(int argc, char **argv)
{
    // --help, --version and the manual answer before Qt looks for a display.
    CLI::App commandLine { "", "zarafa-repair-gui" };
    cli::WindowArguments arguments;
    cli::addWindowOptions(commandLine, arguments,
        std::string("Qt ") + qVersion() + " (built with " QT_VERSION_STR ")");
    try {
        commandLine.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        return cli::parseErrorExit(commandLine, error);
    }
    if (arguments.man) {
        std::cout << cli::manPage(commandLine, cli::windowManPage());
        return 0;
    }

    // A second copy ends silently; the first one's window is the program. Its lock lies in the
    // user's temporary folder, so it is taken before this run's private one replaces TMPDIR.
    app::SingleInstance instance;
    if (!instance.acquired()) {
        return 0;
    }
    // The repairs' temporary files land in one private folder, removed when the program ends;
    // made before any thread runs, since it sets TMPDIR.
    const auto tempFolder = job::RunTempFolder::create();

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane Lumaris Repair for Zarafa"));
    // The icon the package installs into the desktop's icon theme.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("zarafa-repair")));

    logreport::LogReport log;
    log.setProgramStartTime(logreport::LogReport::ctimeNow());

    job::RebuildSettings settings;
    settings.outputFolder
        = common::Settings::load(common::Settings::defaultPath()).value("Output").value_or("");
    auto phases = job::createRebuildPhases(settings);
    app::CCorvaneLumerisZarafaRepairDlg window(*phases, log);
    // An optional folder argument is chosen as if picked in the folder browser.
    if (!arguments.folder.empty()) {
        window.useFolder(QString::fromStdString(arguments.folder));
    }
    // SIGTERM, SIGHUP and Ctrl-C stop a running job as the stop question's Yes does, then end
    // the program with 1.
    app::StopSignals stopSignals;
    QObject::connect(&stopSignals, &app::StopSignals::stopAsked, &window,
        &app::CCorvaneLumerisZarafaRepairDlg::endOnSignal);
    window.show();
    return QApplication::exec();
}

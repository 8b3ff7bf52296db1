// zarafa-repair-gui [FOLDER]: the desktop program. One copy at a time; the window runs until
// closed.
#include "app/main_window.h"
#include "app/single_instance.h"
#include "common/settings.h"
#include "job/rebuild_phases.h"
#include "job/result_folder.h"
#include "job/run_report.h"
#include "log/log_report.h"

#include <QApplication>
#include <filesystem>
#include <fstream>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane Lumaris Repair for Zarafa"));

    // A second copy ends silently; the first one's window is the program.
    app::SingleInstance instance;
    if (!instance.acquired()) {
        return 0;
    }

    logreport::LogReport log;
    log.setProgramStartTime(logreport::LogReport::ctimeNow());

    job::RebuildSettings settings;
    settings.outputFolder
        = common::Settings::load(common::Settings::defaultPath()).value("Output").value_or("");
    auto phases = job::createRebuildPhases(settings);
    app::CCorvaneLumerisZarafaRepairDlg window(*phases, log);
    // The log and the report go beside the result, as the command line puts them.
    window.control().jobEnding = [&log](const job::RepairJob &finished) {
        if (finished.resultFolder.empty()) {
            return;
        }
        const std::filesystem::path folder = finished.resultFolder;
        job::RunReport report = job::makeRunReport(finished);
        report.logPath
            = logreport::saveLogFile((folder / job::kLogName).string(), log.reportRows());
        report.reportPath = (folder / job::kReportName).string();
        std::ofstream(report.reportPath, std::ios::binary | std::ios::trunc)
            << job::reportJson(report);
    };
    // An optional folder argument is chosen as if picked in the folder browser.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1 && !arguments.at(1).isEmpty()) {
        window.useFolder(arguments.at(1));
    }
    window.show();
    return QApplication::exec();
}

#include "update/update_wizard.h"

#include "update/update_property_sheet.h"

namespace update {

void runUpdateWizard(QWidget *parent)
{
    SystemDesktop desktop;
    runUpdateWizard(parent, UpdateSettings::load(UpdateSettings::defaultPath()), desktop,
        CUpdatePropertySheet::kStartDelayMs);
}

bool runUpdateWizard(
    QWidget *parent, const UpdateSettings &settings, UpdateDesktop &desktop, int startDelayMs)
{
    QString file;
    {
        CUpdatePropertySheet sheet(settings, desktop, parent);
        sheet.setStartDelay(startDelayMs);
        sheet.exec();
        file = sheet.fileToStart();
    }
    return startDownloadedProgram(file, desktop, parent);
}

bool startDownloadedProgram(const QString &fileToStart, UpdateDesktop &desktop, QWidget *parent)
{
    // A wizard closed without a finished download ends nothing and starts nothing.
    if (fileToStart.isEmpty()) {
        return false;
    }
    if (!desktop.startAfterExit(fileToStart)) {
        desktop.inform(parent,
            QStringLiteral("The downloaded update could not be started:\n%1").arg(fileToStart));
        return false;
    }
    desktop.quitProgram();
    return true;
}

} // namespace update

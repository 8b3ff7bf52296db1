// runUpdateWizard: what the main window's Update button does.
#pragma once

#include "update/update_desktop.h"
#include "update/update_settings.h"

class QWidget;

namespace update {

// Runs the update wizard modally with the settings in UpdateSettings::defaultPath(). When the
// user finishes a complete download, the new program is set to start once this one has ended
// and the program's event loop is ended (QCoreApplication::exit(0), so the main window's close
// question is not asked). Closing the wizard any other way changes nothing.
void runUpdateWizard(QWidget *parent);

// The same with explicit settings and desktop; `startDelayMs` is the pause before each page
// talks to the server. True when the program is ending for the new version.
bool runUpdateWizard(
    QWidget *parent, const UpdateSettings &settings, UpdateDesktop &desktop, int startDelayMs);

// The step after the wizard: with a file to start, arrange its start and end the program;
// with none, do nothing. True when the program is ending.
bool startDownloadedProgram(const QString &fileToStart, UpdateDesktop &desktop, QWidget *parent);

} // namespace update

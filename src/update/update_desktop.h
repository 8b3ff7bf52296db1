// UpdateDesktop: what the update wizard asks of the desktop around it.
#pragma once

#include <QString>

class QWidget;

namespace update {

// The program's own implementation talks to the user and the system; tests record the calls.
class UpdateDesktop
{
public:
    virtual ~UpdateDesktop() = default;
    // A message with an OK button.
    virtual void inform(QWidget *parent, const QString &text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool confirm(QWidget *parent, const QString &text) = 0;
    // Opens a web address in the user's browser; false when nothing took it.
    virtual bool openAddress(const QString &address) = 0;
    // Arranges for `path` to run once this program has ended; false when that cannot be done.
    virtual bool startAfterExit(const QString &path) = 0;
    // Ends the program's event loop, without asking the windows.
    virtual void quitProgram() = 0;
};

// Message boxes titled like the program's other dialogs, the desktop's URL handler, and a
// detached shell that waits for this process to end before it runs the new file.
class SystemDesktop : public UpdateDesktop
{
public:
    void inform(QWidget *parent, const QString &text) override;
    bool confirm(QWidget *parent, const QString &text) override;
    bool openAddress(const QString &address) override;
    bool startAfterExit(const QString &path) override;
    void quitProgram() override;
};

// Starts `path` detached, as soon as the process `waitFor` has ended.
bool startAfterProcessEnds(const QString &path, qint64 waitFor);

} // namespace update

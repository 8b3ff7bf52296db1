// CSaveComplete: the completion dialog that offers the result. A run that lost anything says so
// here with one plain line of counts and a link to the log; only a complete run reads "Database
// recovery completed" alone. The result's path is selectable text with "Open folder" and "Copy
// path" beside it, so that a machine without a file manager still tells the user where it is.
#pragma once

#include "job/repair_host.h"

#include <QDialog>
#include <functional>

class QLabel;

namespace app {

class LinkLabel;

class CSaveComplete : public QDialog
{
    Q_OBJECT
public:
    explicit CSaveComplete(const job::Completion &completion, QWidget *parent = nullptr);

    // Opens the log of the run; the window sets it (its log report dialog).
    std::function<void()> openLog;
    // Shows a folder in the desktop's file manager; false when none could be started. Tests
    // replace it.
    std::function<bool(const QString &folder)> openFolder;

private:
    void openRepairedPath();

    QString m_repairedPath;
    LinkLabel *m_link = nullptr;
    QLabel *m_openProblem = nullptr;
};

} // namespace app

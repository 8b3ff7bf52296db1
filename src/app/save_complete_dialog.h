// CSaveComplete: the completion dialog that offers the Recovered Folder. A run that lost anything
// says so here with one plain line of counts and a link to the log; only a complete run reads
// "Database recovery completed" alone.
#pragma once

#include "job/repair_host.h"

#include <QDialog>
#include <functional>

namespace app {

class LinkLabel;

class CSaveComplete : public QDialog
{
    Q_OBJECT
public:
    explicit CSaveComplete(const job::Completion &completion, QWidget *parent = nullptr);

    // Opens the log of the run; the window sets it (its log report dialog).
    std::function<void()> openLog;

private:
    void openRepairedPath();

    QString m_repairedPath;
    LinkLabel *m_link = nullptr;
};

} // namespace app

// CLogReport: the log report dialog that shows the run's lines, clears them and saves them.
#pragma once

#include "log/log_report.h"

#include <QDialog>
#include <functional>

class QPushButton;
class QTreeWidget;

namespace app {

class CLogReport : public QDialog
{
    Q_OBJECT
public:
    explicit CLogReport(logreport::LogReport &log, QWidget *parent = nullptr);

    // Asks for the file to save to; an empty text cancels. The save-file dialog by default;
    // tests put their own choice here.
    std::function<QString(QWidget *parent)> chooseSaveFile;

    // The rows the list shows.
    QStringList rows() const;

public slots:
    void saveLog();
    void clearLog();

private:
    logreport::LogReport &m_log;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_clear = nullptr;
};

} // namespace app

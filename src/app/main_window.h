// CCorvaneLumerisZarafaRepairDlg: the program's main window: folder choice, Start/Stop, the
// status line and progress bar, the list of the run's lines, and the buttons for the log report,
// help, update, About, minimise and close.
#pragma once

#include "job/job_control.h"
#include "job/repair_host.h"
#include "log/log_report.h"

#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class QTreeWidget;

namespace app {

class QtRepairHost;

class CCorvaneLumerisZarafaRepairDlg : public QWidget
{
    Q_OBJECT
public:
    // The progress bar's range: the whole of a run's known work.
    static constexpr int kProgressMaximum = 500;

    // The phases and the log are held for the whole program by whoever builds the window.
    CCorvaneLumerisZarafaRepairDlg(
        job::RepairPhases &phases, logreport::LogReport &log, QWidget *parent = nullptr);
    ~CCorvaneLumerisZarafaRepairDlg() override;

    job::JobControl &control() { return *m_control; }
    QtRepairHost &host() { return *m_host; }
    logreport::LogReport &log() { return m_log; }

    // Hooks for what the desktop provides; tests put their own choices here.
    // The folder browser: the chosen folder, or an empty text when cancelled.
    std::function<QString(QWidget *parent)> chooseFolder;
    // True when a database server program is installed to rebuild with.
    std::function<bool()> serverInstalled;
    // Opens the log report (modal); tests replace it to drive the dialog themselves.
    std::function<void()> openLogReport;
    // Which server the login is for, shown in the login dialog.
    QString serverDescription;

    // The window's side of the host calls; always on the window's thread.
    QWidget *controlWidget(job::Control control) const;
    job::Answer showMessage(const job::Message &message, bool commandKeys);
    void statusLine(int kind, const QString &name);
    // The bar follows the run's fraction and never goes back within a run; an activity text
    // replaces the status text until the next status line.
    void showProgress(const job::Progress &progress);
    void setStartStopPicture(job::StartStopPicture picture);
    void scrollListToTop();
    void clearList();
    void addListRow(int position, const QString &text);
    void showCompletion(const job::Completion &completion);
    std::optional<job::LoginValues> askLogin(const std::function<bool()> &confirmAbandon);

    // The rows of the list of the run's lines.
    QStringList listRows() const;
    // "start" or "stop": the Start/Stop button's picture.
    QString startStopPicture() const { return m_startStopPicture; }

    // Chooses `folder` as the folder browser would (the program's folder argument).
    void useFolder(const QString &folder);
    // A stop signal (SIGTERM, SIGHUP, Ctrl-C): the running job stops as at the user's Yes, the
    // server's files go back, and the program ends with 1.
    void endOnSignal();

public slots:
    void selectFolder();
    void startStop();
    void showLogReport();
    void showHelp();
    void showUpdate();
    void showAbout();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void buildControls();
    // Ends a running job before the window goes: stop request, then wait while it puts the
    // server's files back.
    void endJobForExit();

    job::RepairPhases &m_phases;
    logreport::LogReport &m_log;
    QtRepairHost *m_host = nullptr;
    std::unique_ptr<job::JobControl> m_control;

    QLabel *m_heading = nullptr;
    QLineEdit *m_folderEdit = nullptr;
    QPushButton *m_selectFolder = nullptr;
    QPushButton *m_startStop = nullptr;
    QLabel *m_statusText = nullptr;
    QProgressBar *m_progress = nullptr;
    QTreeWidget *m_list = nullptr;
    QLabel *m_hint = nullptr;
    QToolButton *m_about = nullptr;
    QToolButton *m_help = nullptr;
    QToolButton *m_update = nullptr;
    QToolButton *m_logButton = nullptr;
    QToolButton *m_minimize = nullptr;
    QToolButton *m_close = nullptr;
    QString m_startStopPicture = QStringLiteral("start");
    bool m_closing = false;
};

} // namespace app

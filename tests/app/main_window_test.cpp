// The real main window driven with scripted phases: control states through a job's stages, the
// status line, the exit question, keys that must do nothing, and a second copy of the program.
#include "app/main_window.h"
#include "app/qt_repair_host.h"
#include "app/single_instance.h"
#include "gui_phases.h"
#include "modal_driver.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTimer>
#include <QTreeWidget>
#include <memory>
#include <thread>

using app::CCorvaneLumerisZarafaRepairDlg;
using testing_support::GuiPhases;
using testing_support::ModalDriver;

namespace {

// One letter per control, in the order of the state table: Select Folder, Start/Stop, Update,
// Log, progress bar, status text, list, hint. Buttons: E or D; the rest: S or H. The Start/Stop
// picture follows as "+start" or "+stop".
QString controlStates(CCorvaneLumerisZarafaRepairDlg &window)
{
    const auto enabled = [&](const char *id) {
        return window.findChild<QWidget *>(QLatin1String(id))->isEnabled() ? QStringLiteral("E")
                                                                           : QStringLiteral("D");
    };
    const auto shown = [&](const char *id) {
        return window.findChild<QWidget *>(QLatin1String(id))->isVisible() ? QStringLiteral("S")
                                                                           : QStringLiteral("H");
    };
    return enabled("1016") + enabled("1018") + enabled("1023") + enabled("1024") + shown("1019")
        + shown("1020") + shown("1017") + shown("1025") + "+" + window.startStopPicture();
}

QString saveScreenshot(QWidget &widget, const QString &name)
{
    const QString folder = QStringLiteral(ZR_BINARY_DIR) + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    const QString path = folder + "/" + name + ".png";
    widget.grab().save(path);
    return path;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithNothingChosen();
    void choosingAFolderEnablesStart();
    void cancellingTheFolderBrowserChangesNothing();
    void missingServerShowsTheDownloadMessageInsteadOfTheBrowser();
    void wholeRunPassesThroughTheStatesOfTheStateTable();
    void stopConfirmedAndStopRefused();
    void failedLoginEndsWithTheFailureMessage();
    void completionSaysCompletedOnlyWhenNothingWasLost();
    void statusLineTextsAndProgress();
    void workerCallsArriveOnTheWindowThread();
    void noToTheExitQuestionKeepsTheWindow();
    void enterEscapeAndSpaceDoNotActAsWindowCommands();
    void secondCopyOfTheProgramExitsAtOnce();

private:
    void chooseFolder();
    void clickStartStop() { m_window->findChild<QPushButton *>(QStringLiteral("1018"))->click(); }

    std::unique_ptr<testing_support::TempDir> m_dir;
    std::unique_ptr<GuiPhases> m_phases;
    std::unique_ptr<logreport::LogReport> m_log;
    std::unique_ptr<CCorvaneLumerisZarafaRepairDlg> m_window;
    std::unique_ptr<ModalDriver> m_driver;
    int m_folderBrowserCalls = 0;
};

void MainWindowTest::init()
{
    m_dir = std::make_unique<testing_support::TempDir>();
    m_dir->write("data/Zarafa/stores.frm", "x");
    m_dir->write("data/Zarafa/users.frm", "x");
    m_phases = std::make_unique<GuiPhases>();
    m_log = std::make_unique<logreport::LogReport>();
    m_log->setProgramStartTime("Sun Dec 06 22:14:41 2026");
    m_window = std::make_unique<CCorvaneLumerisZarafaRepairDlg>(*m_phases, *m_log);
    m_window->control().prepareJob
        = [](job::RepairJob &job) { job.pause = std::chrono::milliseconds(0); };
    m_folderBrowserCalls = 0;
    m_window->serverInstalled = [] { return true; };
    m_window->chooseFolder = [this](QWidget *) {
        ++m_folderBrowserCalls;
        return QString::fromStdString((m_dir->path() / "data").string());
    };
    m_driver = std::make_unique<ModalDriver>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void MainWindowTest::cleanup()
{
    QCOMPARE(m_driver->unexpected(), 0);
    m_window.reset();
    m_driver.reset();
    m_phases.reset();
    m_log.reset();
    m_dir.reset();
}

void MainWindowTest::chooseFolder()
{
    m_window->findChild<QPushButton *>(QStringLiteral("1016"))->click();
}

void MainWindowTest::opensWithNothingChosen()
{
    QCOMPARE(
        m_window->windowTitle(), QStringLiteral("Corvane Lumaris Recovery for Zarafa Database"));
    QCOMPARE(controlStates(*m_window), QStringLiteral("EDEDHSHS+start"));
    QVERIFY(m_window->findChild<QLabel *>(QStringLiteral("1020"))->text().isEmpty());
    QCOMPARE(m_window->palette().color(QPalette::Window), QColor(241, 241, 241));
    auto *list = m_window->findChild<QTreeWidget *>(QStringLiteral("1017"));
    QCOMPARE(list->headerItem()->text(0), QStringLiteral("Description"));
    QCOMPARE(list->columnWidth(0), 500);
    QCOMPARE(m_window->findChild<QToolButton *>(QStringLiteral("1024"))->toolTip(),
        QStringLiteral("View Logs"));
}

void MainWindowTest::choosingAFolderEnablesStart()
{
    chooseFolder();
    QCOMPARE(controlStates(*m_window), QStringLiteral("EEEDHSHS+start"));
    QCOMPARE(m_window->findChild<QLineEdit *>(QStringLiteral("1015"))->text(),
        QString::fromStdString((m_dir->path() / "data").string()));
    QCOMPARE(m_window->control().flags().databaseFolder(), (m_dir->path() / "data").string());
}

void MainWindowTest::cancellingTheFolderBrowserChangesNothing()
{
    chooseFolder();
    m_window->chooseFolder = [this](QWidget *) {
        ++m_folderBrowserCalls;
        return QString();
    };
    chooseFolder();
    QCOMPARE(m_folderBrowserCalls, 2);
    QCOMPARE(m_window->control().flags().databaseFolder(), (m_dir->path() / "data").string());
    QCOMPARE(controlStates(*m_window), QStringLiteral("EEEDHSHS+start"));
}

void MainWindowTest::missingServerShowsTheDownloadMessageInsteadOfTheBrowser()
{
    m_window->serverInstalled = [] { return false; };
    bool linkShown = false;
    bool yesShown = true;
    m_driver->add([&](QWidget *dialog) {
        linkShown = dialog->findChild<QWidget *>(QStringLiteral("1029"))->isVisible();
        yesShown = dialog->findChild<QWidget *>(QStringLiteral("1017"))->isVisible();
        dialog->findChild<QPushButton *>(QStringLiteral("1"))->click();
    });
    chooseFolder();
    QCOMPARE(m_folderBrowserCalls, 0);
    QVERIFY(linkShown);
    QVERIFY(!yesShown);
    QVERIFY(m_driver->seen().at(0).contains(QStringLiteral("MySQL not installed in your system.")));
    QCOMPARE(controlStates(*m_window), QStringLiteral("EDEDHSHS+start"));
}

void MainWindowTest::wholeRunPassesThroughTheStatesOfTheStateTable()
{
    chooseFolder();
    m_phases->holdStarting = true;
    m_phases->holdRunning = true;
    clickStartStop();

    // Job starting: held in the backup step, before the login.
    QTRY_VERIFY(m_phases->atStarting.load());
    QTRY_COMPARE(controlStates(*m_window), QStringLiteral("DDDDSSHS+stop"));

    m_driver->login(QStringLiteral("localhost"), QStringLiteral("root"), QStringLiteral("secret"));
    m_phases->holdStarting = false;

    // Job running: held at the start of the definition pass.
    QTRY_VERIFY(m_phases->atRunning.load());
    QTRY_COMPARE(controlStates(*m_window), QStringLiteral("DEDDSSSH+stop"));
    QCOMPARE(m_window->control().login().password, std::string("secret"));

    m_driver->add([](QWidget *dialog) {
        QCOMPARE(dialog->objectName(), QStringLiteral("CSaveComplete"));
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("1026"))->toolTip(),
            QStringLiteral("/recovered"));
        dialog->findChild<QPushButton *>(QStringLiteral("1028"))->click();
    });
    m_phases->holdRunning = false;
    QTRY_VERIFY(!m_window->control().jobRunning());
    QTRY_VERIFY(m_driver->idle());

    // Job ended: ready again, rows kept, Log available.
    QTRY_COMPARE(controlStates(*m_window), QStringLiteral("EEEEHHSH+start"));
    const QStringList rows = m_window->listRows();
    QCOMPARE(rows.size(), 12);
    QCOMPARE(rows.at(0),
        "Selected database :  " + QString::fromStdString((m_dir->path() / "data").string()));
    QCOMPARE(rows.at(1), QStringLiteral("File Size:3.00GB"));
    QVERIFY(rows.at(2).startsWith(QStringLiteral("Recovery started on:Sun Dec 06, ")));
    QCOMPARE(rows.at(3), QStringLiteral("File selected for recovery : stores.frm"));
    QCOMPARE(rows.at(4), QStringLiteral("Total records recovered :  10"));
    QCOMPARE(rows.at(7), QStringLiteral("File selected for recovery : zarafa/stores"));
    QCOMPARE(rows.at(10), QStringLiteral("Total records recovered :  101"));
    QVERIFY(rows.at(11).startsWith(QStringLiteral("Recovery finished on:")));
    QCOMPARE(m_log->reportRows().size(), std::size_t { 8 });
    QCOMPARE(m_driver->seen(), (QStringList { "CUserInfo", "CSaveComplete" }));

    const QString shot = saveScreenshot(*m_window, QStringLiteral("main_window_finished_run"));
    QVERIFY(QFile::exists(shot));

    // The next Start deletes the rows and runs a new job on the same folder.
    m_driver->login(QStringLiteral("localhost"), QStringLiteral("root"), QStringLiteral("secret"));
    m_driver->click(QStringLiteral("1028"));
    clickStartStop();
    QTRY_VERIFY(m_driver->idle());
    QTRY_VERIFY(!m_window->control().jobRunning());
    QTRY_COMPARE(m_window->listRows().size(), 12);
}

void MainWindowTest::stopConfirmedAndStopRefused()
{
    chooseFolder();
    m_phases->holdRunning = true;
    m_driver->login(QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("secret"));
    clickStartStop();
    QTRY_VERIFY(m_phases->atRunning.load());
    QTRY_COMPARE(controlStates(*m_window), QStringLiteral("DEDDSSSH+stop"));

    // No keeps the job running with the stop picture.
    m_driver->click(QStringLiteral("2"));
    clickStartStop();
    QCOMPARE(m_driver->seen().last(), QStringLiteral("CStartStop: Do You want to stop process?"));
    QVERIFY(m_window->control().jobRunning());
    QCOMPARE(controlStates(*m_window), QStringLiteral("DEDDSSSH+stop"));

    // Yes: the stop is confirmed; the job is told and the window says so at once.
    m_driver->click(QStringLiteral("1017"));
    m_driver->click(QStringLiteral("1")); // "Process stopped by user"
    clickStartStop();
    // Right after the answer, before the worker has ended the job.
    const QString afterYes = controlStates(*m_window);
    QCOMPARE(afterYes, QStringLiteral("EDDDHHSH+start"));
    QTRY_VERIFY(!m_window->control().jobRunning());
    QTRY_VERIFY(m_driver->idle());
    QTRY_COMPARE(controlStates(*m_window), QStringLiteral("EEEEHHSH+start"));
    QVERIFY(m_driver->seen().contains(QStringLiteral("CStartStop: Process stopped by user")));
    QVERIFY(!m_driver->seen().contains(QStringLiteral("CSaveComplete")));
}

void MainWindowTest::failedLoginEndsWithTheFailureMessage()
{
    chooseFolder();
    m_driver->login(QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("wrong"));
    m_driver->click(QStringLiteral("2")); // No to "Invalid login information..."
    m_driver->click(QStringLiteral("1")); // the failure message
    clickStartStop();
    QTRY_VERIFY(m_driver->idle());
    QTRY_VERIFY(!m_window->control().jobRunning());
    QTRY_COMPARE(controlStates(*m_window), QStringLiteral("EEEEHHHS+start"));
    QCOMPARE(m_driver->seen().at(1),
        QStringLiteral("CStartStop: Invalid login information.Enter valid login details."));
    QVERIFY(
        m_driver->seen().at(2).startsWith(QStringLiteral("CStartStop: Process stopped either")));
}

void MainWindowTest::completionSaysCompletedOnlyWhenNothingWasLost()
{
    chooseFolder();
    job::TableOutcome stores;
    stores.name = "zarafa/stores";
    stores.pagesRead = 2;
    stores.rowsInserted = 40;
    job::TableOutcome lob = stores;
    lob.name = "zarafa/lob";
    lob.rowsInserted = 70;
    lob.rowsWithDamagedLongValues = 2;
    lob.pagesRejected = 1;

    // A run that lost nothing: the completion as it always read, with no counts.
    m_phases->outcomes = { stores };
    QString completeText;
    bool completeHasCounts = true;
    m_driver->login(QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("secret"));
    m_driver->add([&](QWidget *dialog) {
        completeText = dialog->findChild<QLabel *>(QStringLiteral("1027"))->text();
        completeHasCounts = dialog->findChild<QLabel *>(QStringLiteral("counts")) != nullptr;
        dialog->findChild<QPushButton *>(QStringLiteral("1028"))->click();
    });
    clickStartStop();
    QTRY_VERIFY(m_driver->idle());
    QTRY_VERIFY(!m_window->control().jobRunning());
    QCOMPARE(completeText, QStringLiteral("Database recovery completed"));
    QVERIFY(!completeHasCounts);

    // A run with losses says so, counts them in one line, and opens the log from the dialog.
    m_phases->outcomes = { stores, lob };
    QString lossText;
    QString counts;
    m_driver->login(QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("secret"));
    m_driver->add([&](QWidget *dialog) {
        lossText = dialog->findChild<QLabel *>(QStringLiteral("1027"))->text();
        counts = dialog->findChild<QLabel *>(QStringLiteral("counts"))->text();
        const QString shot = saveScreenshot(*dialog, QStringLiteral("completion_with_losses"));
        QVERIFY(QFile::exists(shot));
        // After this step: the log opens as a dialog of its own, answered by the next step.
        auto *viewLog = dialog->findChild<QLabel *>(QStringLiteral("viewLog"));
        QTimer::singleShot(0, viewLog, [viewLog] { QTest::mouseClick(viewLog, Qt::LeftButton); });
    });
    m_driver->add([](QWidget *dialog) {
        QCOMPARE(dialog->objectName(), QStringLiteral("CLogReport"));
        dialog->close();
        // Back in the completion dialog, which the driver has answered already: close it too.
        QTimer::singleShot(0, [] {
            QWidget *completion = QApplication::activeModalWidget();
            QCOMPARE(completion->objectName(), QStringLiteral("CSaveComplete"));
            completion->findChild<QPushButton *>(QStringLiteral("1028"))->click();
        });
    });
    clickStartStop();
    QTRY_VERIFY(m_driver->idle());
    QTRY_VERIFY(!m_window->control().jobRunning());
    QCOMPARE(lossText, QStringLiteral("Database recovery completed with losses"));
    QCOMPARE(counts,
        QStringLiteral("110 rows recovered, 2 rows lost (and the rows of 1 damaged page), 1 table "
                       "affected."));

    // Nothing read: no completion at all, but the cause.
    job::TableOutcome unread;
    unread.name = "zarafa/stores";
    unread.notRead = "none of its pages could be read";
    m_phases->outcomes = { unread };
    m_driver->login(QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("secret"));
    m_driver->click(QStringLiteral("1"));
    clickStartStop();
    QTRY_VERIFY(m_driver->idle());
    QTRY_VERIFY(!m_window->control().jobRunning());
    QVERIFY(m_driver->seen().last().startsWith(
        QStringLiteral("CStartStop: Database recovery failed:\nno table's rows could be read")));
}

void MainWindowTest::statusLineTextsAndProgress()
{
    auto *status = m_window->findChild<QLabel *>(QStringLiteral("1020"));
    auto *progress = m_window->findChild<QProgressBar *>(QStringLiteral("1019"));
    job::Progress start;
    start.newRun = true;
    m_window->showProgress(start);
    m_window->statusLine(4, QStringLiteral("zarafa/stores"));
    QCOMPARE(status->text(), QStringLiteral("Inserting data of table stores into MySQL"));
    QCOMPARE(progress->maximum(), 500);
    // The status line names the step; it no longer moves the bar (which measures the work).
    QCOMPARE(progress->value(), 0);
    m_window->statusLine(3, QStringLiteral("stores.frm"));
    QCOMPARE(status->text(), QStringLiteral("Getting information of table : stores.frm"));
    m_window->statusLine(1, QStringLiteral("zarafa"));
    QCOMPARE(status->text(),
        QStringLiteral("Wait while managing data in database.Don't stop the process "));
    // Any other kind does nothing at all.
    m_window->statusLine(7, QStringLiteral("zarafa/users"));
    QCOMPARE(status->text(),
        QStringLiteral("Wait while managing data in database.Don't stop the process "));

    // The bar follows the fraction and never goes back within a run.
    job::Progress half;
    half.fraction = 0.5;
    m_window->showProgress(half);
    QCOMPARE(progress->value(), 250);
    job::Progress lower;
    lower.fraction = 0.3;
    m_window->showProgress(lower);
    QCOMPARE(progress->value(), 250);
    job::Progress starting;
    starting.fraction = 0.6;
    starting.activity = "Starting the workshop server";
    m_window->showProgress(starting);
    QCOMPARE(progress->value(), 300);
    QCOMPARE(status->text(), QStringLiteral("Starting the workshop server"));
    m_window->statusLine(2, QStringLiteral("ibdata1"));
    QCOMPARE(status->text(), QStringLiteral("Loading Data ibdata1"));

    m_window->statusLine(6, QString());
    QCOMPARE(progress->value(), 500);
    QCOMPARE(status->text(), QStringLiteral("Closing connection with MySQL"));
    // A new run starts from nothing.
    m_window->showProgress(start);
    QCOMPARE(progress->value(), 0);
}

void MainWindowTest::workerCallsArriveOnTheWindowThread()
{
    app::QtRepairHost &host = m_window->host();
    job::Answer answer = job::Answer::Ok;
    m_driver->click(QStringLiteral("1017"));
    std::thread worker([&] {
        host.statusLine(4, "zarafa/users");
        host.setVisible(job::Control::ListView, true);
        host.addListRow(0, "first");
        host.addListRow(7, "second"); // beyond the end: appended
        host.addListRow(0, "zeroth");
        answer = host.showMessage(job::Message { "Really?", 2, false, false });
    });
    QTRY_VERIFY(m_driver->idle());
    worker.join();
    QCOMPARE(answer, job::Answer::Yes);
    QTRY_COMPARE(m_window->findChild<QLabel *>(QStringLiteral("1020"))->text(),
        QStringLiteral("Inserting data of table users into MySQL"));
    QCOMPARE(m_window->listRows(), (QStringList { "zeroth", "first", "second" }));
    QVERIFY(m_window->findChild<QWidget *>(QStringLiteral("1017"))->isVisible());
}

void MainWindowTest::noToTheExitQuestionKeepsTheWindow()
{
    m_driver->click(QStringLiteral("2"));
    m_window->findChild<QToolButton *>(QStringLiteral("1033"))->click();
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_driver->seen().last(),
        QStringLiteral("CStartStop: Exit Application!\n\nDo you want to exit Corvane Lumaris "
                       "Repair for Zarafa?"));
    m_driver->click(QStringLiteral("1017"));
    QVERIFY(m_window->close());
    QVERIFY(!m_window->isVisible());
}

void MainWindowTest::enterEscapeAndSpaceDoNotActAsWindowCommands()
{
    chooseFolder();
    QCOMPARE(m_folderBrowserCalls, 1);
    auto *start = m_window->findChild<QPushButton *>(QStringLiteral("1018"));
    start->setFocus();
    QTest::keyClick(start, Qt::Key_Return);
    QTest::keyClick(start, Qt::Key_Enter);
    QTest::keyClick(start, Qt::Key_Escape);
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QTest::keyClick(m_window.get(), Qt::Key_Return);
    QTest::keyClick(m_window.get(), Qt::Key_Space);
    QTest::qWait(50);
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->control().jobRunning());
    QCOMPARE(m_window->control().flags().readyToStart.load(), 1);
    QCOMPARE(m_driver->seen().size(), 0);
    QCOMPARE(m_folderBrowserCalls, 1);
}

void MainWindowTest::secondCopyOfTheProgramExitsAtOnce()
{
    QLockFile firstCopy(app::singleInstanceLockPath());
    QVERIFY(firstCopy.tryLock(0));
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(ZR_GUI_PROGRAM), {});
    QVERIFY(second.waitForStarted());
    // A copy that opened its window would run until closed.
    const bool ended = second.waitForFinished(60000);
    if (!ended) {
        second.kill();
        second.waitForFinished();
    }
    QVERIFY(ended);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"

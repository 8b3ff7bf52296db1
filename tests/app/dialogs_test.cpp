// The dialogs on their own: the log report (rows, Clear Log, Save Log and its failures), the
// message dialog's layouts and answers, the login dialog's keys and close box, the About box.
#include "app/about_dialog.h"
#include "app/log_report_dialog.h"
#include "app/start_stop_dialog.h"
#include "app/user_info_dialog.h"
#include "modal_driver.h"
#include "support/temp_dir.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

using app::CLogReport;
using app::CStartStop;
using app::CUserInfo;
using testing_support::ModalDriver;

namespace {

void fillTwoTableRun(logreport::LogReport &log)
{
    log.setProgramStartTime("Sun Dec 06 22:14:41 2026");
    log.setTablespaceSize(1'048'575);
    int nextRow = 3;
    const auto ignore = [](int, std::string_view) {};
    log.setTableCount(12);
    log.reportTableToList("stores.frm", 0);
    log.showQueuedLines(nextRow, 0, logreport::Pass::Definition, "/srv/Daten-Müller", ignore);
    const char *tables[] = { "zarafa/stores", "zarafa/users" };
    for (std::size_t i = 0; i < 2; ++i) {
        log.setTableCount(40 + i);
        log.reportTableToLog(tables[i], i);
    }
    log.finish(nextRow, ignore);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString saveScreenshot(QWidget &widget, const QString &name)
{
    const QString folder = QStringLiteral(ZR_BINARY_DIR) + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    const QString path = folder + "/" + name + ".png";
    widget.grab().save(path);
    return path;
}

QPushButton *button(QWidget &dialog, const char *id)
{
    return dialog.findChild<QPushButton *>(QLatin1String(id));
}

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void logReportShowsTheRunAndSavesItExactly();
    void failedSaveAsksAgainUntilCancelled();
    void clearLogThenReopen();
    void emptyLogSavesNothing();
    void messageDialogLayoutsAndAnswers();
    void loginDialogKeepsItsValuesAndAsksBeforeClosing();
    void aboutBoxNamesProductVersionAndSystem();
};

void DialogsTest::logReportShowsTheRunAndSavesItExactly()
{
    testing_support::TempDir dir;
    logreport::LogReport log;
    fillTwoTableRun(log);
    CLogReport dialog(log);
    auto *list = dialog.findChild<QTreeWidget *>(QStringLiteral("1017"));
    QCOMPARE(list->columnWidth(0), 700);
    const QStringList rows = dialog.rows();
    QCOMPARE(rows.size(), 8);
    QCOMPARE(rows.at(0), QStringLiteral("Selected database :  /srv/Daten-Müller"));
    QCOMPARE(rows.at(1), QStringLiteral("File Size:1023.99KB"));
    QCOMPARE(rows.at(2).left(32), QStringLiteral("Recovery started on:Sun Dec 06, "));
    QCOMPARE(rows.at(3), QStringLiteral("File selected for recovery : zarafa/stores"));
    QVERIFY(rows.at(7).startsWith(QStringLiteral("Recovery finished on:")));
    QVERIFY(button(dialog, "1")->isEnabled());
    QVERIFY(button(dialog, "1008")->isEnabled());

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    saveScreenshot(dialog, QStringLiteral("log_report"));

    ModalDriver driver;
    driver.click(QStringLiteral("1")); // "Log information saved successfully"
    dialog.chooseSaveFile = [&](QWidget *) { return QString::fromStdString(dir.str()) + "/name"; };
    button(dialog, "1")->click();
    QVERIFY(driver.idle());
    QCOMPARE(driver.seen(), QStringList { "CStartStop: Log information saved successfully" });
    const QByteArray expected
        = (rows.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
    QCOMPARE(readFile(QString::fromStdString(dir.str()) + "/name.txt"), expected);
    QVERIFY(!button(dialog, "1")->isEnabled());
    QVERIFY(log.saved());

    // An upper-case ".TXT" is kept as it is.
    CLogReport again(log);
    QVERIFY(!button(again, "1")->isEnabled()); // saved once: stays so for the program
    driver.click(QStringLiteral("1"));
    again.chooseSaveFile
        = [&](QWidget *) { return QString::fromStdString(dir.str()) + "/NAME.TXT"; };
    again.saveLog();
    QCOMPARE(readFile(QString::fromStdString(dir.str()) + "/NAME.TXT"), expected);
    QVERIFY(!QFile::exists(QString::fromStdString(dir.str()) + "/NAME.TXT.txt"));
}

void DialogsTest::failedSaveAsksAgainUntilCancelled()
{
    testing_support::TempDir dir;
    dir.mkdir("taken.txt");
    logreport::LogReport log;
    fillTwoTableRun(log);
    CLogReport dialog(log);
    QStringList answers { QString::fromStdString(dir.str()) + "/taken",
        QString::fromStdString(dir.str()) + "/missing/log", QString() };
    int asked = 0;
    dialog.chooseSaveFile = [&](QWidget *) { return answers.at(asked++); };
    ModalDriver driver;
    driver.add([](QWidget *message) {
        // The file error keeps the dialog's own picture layout and offers OK only.
        QVERIFY(message->findChild<QLabel *>(QStringLiteral("1016"))->isVisible());
        QVERIFY(!message->findChild<QWidget *>(QStringLiteral("1017"))->isVisible());
        message->findChild<QPushButton *>(QStringLiteral("1"))->click();
    });
    driver.click(QStringLiteral("1"));
    dialog.saveLog();
    QCOMPARE(asked, 3);
    QCOMPARE(driver.seen(),
        (QStringList { "CStartStop: File can't be opened.", "CStartStop: File can't be opened." }));
    QVERIFY(button(dialog, "1")->isEnabled());
    QVERIFY(!log.saved());
}

void DialogsTest::clearLogThenReopen()
{
    logreport::LogReport log;
    fillTwoTableRun(log);
    {
        CLogReport dialog(log);
        button(dialog, "1008")->click();
        QCOMPARE(dialog.rows().size(), 0);
        QVERIFY(!button(dialog, "1")->isEnabled());
        QVERIFY(!button(dialog, "1008")->isEnabled());
    }
    CLogReport reopened(log);
    QCOMPARE(reopened.rows().size(), 0);
    QVERIFY(!button(reopened, "1008")->isEnabled());
    QVERIFY(button(reopened, "1")->isEnabled());

    // A new run's entry makes Clear Log available again.
    log.empty();
    log.reportTableToLog("zarafa/stores", 0);
    CLogReport afterRun(log);
    QVERIFY(button(afterRun, "1008")->isEnabled());
    QCOMPARE(afterRun.rows().size(), 5);
}

void DialogsTest::emptyLogSavesNothing()
{
    logreport::LogReport log;
    CLogReport dialog(log);
    bool asked = false;
    dialog.chooseSaveFile = [&](QWidget *) {
        asked = true;
        return QString();
    };
    ModalDriver driver;
    dialog.saveLog();
    QVERIFY(!asked);
    QCOMPARE(driver.seen().size(), 0);
}

void DialogsTest::messageDialogLayoutsAndAnswers()
{
    {
        CStartStop question(job::Message { "Do You want to stop process?", 2, false, false });
        QVERIFY(!question.findChild<QWidget *>(QStringLiteral("1016"))->isVisibleTo(&question));
        QVERIFY(question.findChild<QWidget *>(QStringLiteral("picture2"))->isVisibleTo(&question));
        QVERIFY(!button(question, "1")->isVisibleTo(&question));
        QVERIFY(button(question, "1017")->isVisibleTo(&question));
        QVERIFY(!question.findChild<QWidget *>(QStringLiteral("1029"))->isVisibleTo(&question));
        question.show();
        QVERIFY(QTest::qWaitForWindowExposed(&question));
        saveScreenshot(question, QStringLiteral("message_dialog"));
    }
    ModalDriver driver;
    // The close box of a question counts as No; of an OK-only message, as OK.
    driver.add([](QWidget *dialog) { dialog->close(); });
    driver.add([](QWidget *dialog) { dialog->close(); });
    QCOMPARE(CStartStop::showModal(job::Message { "Q?", 2, false, false }, true, nullptr),
        job::Answer::No);
    QCOMPARE(CStartStop::showModal(job::Message { "Note", 1, true, false }, true, nullptr),
        job::Answer::Ok);
    // Escape in a dialog shown for the job answers No; in one opened by a window button it does
    // nothing, and the question stays until answered.
    driver.add([](QWidget *dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QCOMPARE(CStartStop::showModal(job::Message { "Q?", 2, false, false }, true, nullptr),
        job::Answer::No);
    driver.add([](QWidget *dialog) {
        QTest::keyClick(dialog, Qt::Key_Escape);
        QTest::keyClick(dialog, Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        dialog->findChild<QPushButton *>(QStringLiteral("1017"))->click();
    });
    QCOMPARE(CStartStop::showModal(job::Message { "Q?", 2, false, false }, false, nullptr),
        job::Answer::Yes);
    QVERIFY(driver.idle());
    // The download link shows OK only.
    CStartStop download(job::Message { "MySQL not installed", 1, false, true });
    QVERIFY(download.findChild<QWidget *>(QStringLiteral("1029"))->isVisibleTo(&download));
    QVERIFY(button(download, "1")->isVisibleTo(&download));
    QVERIFY(!button(download, "2")->isVisibleTo(&download));
}

void DialogsTest::loginDialogKeepsItsValuesAndAsksBeforeClosing()
{
    int questions = 0;
    bool abandon = false;
    const auto confirmAbandon = [&] {
        ++questions;
        return abandon;
    };
    {
        CUserInfo dialog(QStringLiteral("workshop server"), confirmAbandon);
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("server"))->text(),
            QStringLiteral("workshop server"));
        QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("password"))->echoMode(),
            QLineEdit::Password);
        QVERIFY(button(dialog, "1")->isDefault());
        const QFont labels = dialog.findChild<QGroupBox *>()->font();
        QVERIFY(labels.italic() && labels.underline());
        ModalDriver driver;
        driver.add([&](QWidget *shown) {
            QTest::keyClick(shown, Qt::Key_Escape); // ignored
            QVERIFY(shown->isVisible());
            shown->close(); // close box: asked; "Yes, run on" keeps the dialog
            QVERIFY(shown->isVisible());
            QCOMPARE(questions, 1);
            shown->findChild<QLineEdit *>(QStringLiteral("host"))->setText("localhost");
            shown->findChild<QLineEdit *>(QStringLiteral("password"))->setText("p;w");
            // Enter presses the default button, OK.
            QTest::keyClick(
                shown->findChild<QLineEdit *>(QStringLiteral("password")), Qt::Key_Return);
        });
        const auto values = dialog.ask();
        QVERIFY(values.has_value());
        QCOMPARE(values->host, std::string("localhost"));
        QCOMPARE(values->user, std::string());
        QCOMPARE(values->password, std::string("p;w"));
    }
    abandon = true;
    CUserInfo dialog(QString(), confirmAbandon);
    ModalDriver driver;
    driver.add([](QWidget *shown) { shown->close(); });
    QVERIFY(!dialog.ask().has_value());
    QCOMPARE(questions, 2);
}

void DialogsTest::aboutBoxNamesProductVersionAndSystem()
{
    app::CAboutDlg about;
    QCOMPARE(about.windowTitle(), QStringLiteral("Corvane Lumaris Zarafa Recovery"));
    QCOMPARE(about.findChild<QLabel *>(QStringLiteral("product"))->text(),
        QStringLiteral("Corvane Lumaris Repair for Zarafa"));
    QCOMPARE(about.findChild<QLabel *>(QStringLiteral("version"))->text(),
        QStringLiteral("Version : 1.0.0.0"));
    const QString system = about.findChild<QLabel *>(QStringLiteral("system"))->text();
    QVERIFY(system.contains(QSysInfo::kernelVersion()));
    QVERIFY(system.contains(QSysInfo::prettyProductName()));
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"

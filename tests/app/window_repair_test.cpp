// A whole repair from the window with the real phases on a private workshop server: no login is
// asked (the tool logs in to its own workshop itself), the progress bar never goes backwards
// from the first report to the completion dialog, and the window is grabbed at each stage for
// the help file's pictures (build/screenshots, copied to docs/ by scripts/screenshots.sh).
#include "app/main_window.h"
#include "job/rebuild_phases.h"
#include "modal_driver.h"
#include "mysql/workshop_server.h"
#include "support/temp_dir.h"
#include "support/truth_files.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using testing_support::ModalDriver;

namespace {

QString screenshotPath(const QString &name)
{
    const QString folder = QStringLiteral(ZR_BINARY_DIR) + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    return folder + "/" + name + ".png";
}

} // namespace

class WindowRepairTest : public QObject
{
    Q_OBJECT

private slots:
    void workshopRepairAsksNoLoginAndTheBarNeverGoesBack();
};

void WindowRepairTest::workshopRepairAsksNoLoginAndTheBarNeverGoesBack()
{
    const fs::path fixture = testing_support::fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (!fs::exists(fixture / "ibdata1")) {
        QSKIP("the generated Zarafa fixture is not there");
    }
    testing_support::TempDir dir;
    mysql::WorkshopServer server(dir.path() / "workshop");
    auto phases = job::createRebuildPhases(server, (dir.path() / "output").string());
    logreport::LogReport log;
    log.setProgramStartTime(logreport::LogReport::ctimeNow());
    app::CCorvaneLumerisZarafaRepairDlg window(*phases, log);
    window.control().prepareJob
        = [](job::RepairJob &job) { job.pause = std::chrono::milliseconds(0); };
    window.serverInstalled = [] { return true; };
    window.chooseFolder
        = [&fixture](QWidget *) { return QString::fromStdString(fixture.string()); };
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *bar = window.findChild<QProgressBar *>(QStringLiteral("1019"));
    auto *status = window.findChild<QLabel *>(QStringLiteral("1020"));
    QList<int> values;
    QString shownWhileStarting;
    bool grabbedMidway = false;
    connect(bar, &QProgressBar::valueChanged, &window, [&](int value) {
        values << value;
        if (!grabbedMidway && value >= bar->maximum() / 2 && value < bar->maximum()) {
            grabbedMidway = true;
            window.grab().save(screenshotPath(QStringLiteral("repair-progress")));
        }
    });

    QTimer watch;
    connect(&watch, &QTimer::timeout, &window, [&] {
        if (status->text().startsWith(QStringLiteral("Starting the workshop server"))) {
            shownWhileStarting = status->text();
        }
    });
    watch.start(5);

    ModalDriver driver;
    QString completionPath;
    driver.add([&](QWidget *dialog) {
        QCOMPARE(dialog->objectName(), QStringLiteral("CSaveComplete"));
        dialog->grab().save(screenshotPath(QStringLiteral("repair-complete-dialog")));
        window.grab().save(screenshotPath(QStringLiteral("repair-complete-window")));
        completionPath = dialog->findChild<QLineEdit *>(QStringLiteral("resultPath"))->text();
        dialog->findChild<QPushButton *>(QStringLiteral("1028"))->click();
    });
    window.findChild<QPushButton *>(QStringLiteral("1016"))->click();
    window.findChild<QPushButton *>(QStringLiteral("1018"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.control().jobRunning(), 600000);
    QTRY_VERIFY(driver.idle());

    QCOMPARE(driver.seen(), QStringList { QStringLiteral("CSaveComplete") });
    QCOMPARE(driver.unexpected(), 0);
    QVERIFY(!completionPath.isEmpty());
    QVERIFY(fs::exists(fs::path(completionPath.toStdString()) / "Recovered Folder" / "ibdata1"));
    QVERIFY(fs::exists(fs::path(completionPath.toStdString()) / "zarafa.sql"));
    // The window, too, leaves the log and the report beside the result.
    QVERIFY(fs::exists(fs::path(completionPath.toStdString()) / "report.json"));

    QVERIFY2(values.size() > 5, qPrintable(QString::number(values.size())));
    for (qsizetype i = 1; i < values.size(); ++i) {
        QVERIFY2(values[i] >= values[i - 1],
            qPrintable(QStringLiteral("the bar went from %1 back to %2 at change %3")
                           .arg(values[i - 1])
                           .arg(values[i])
                           .arg(i)));
    }
    QCOMPARE(values.last(), bar->maximum());
    QVERIFY(grabbedMidway);
    QVERIFY2(!shownWhileStarting.isEmpty(), "the server's start was not named on the status line");
}

QTEST_MAIN(WindowRepairTest)
#include "window_repair_test.moc"

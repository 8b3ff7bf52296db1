// The update wizard driven as a user would, against a real HTTP server on loopback.
#include "common/strings.h"
#include "support/temp_dir.h"
#include "update/loopback_http_server.h"
#include "update/qt_printers.h"
#include "update/signed_release.h"
#include "update/update_final_page.h"
#include "update/update_process_page.h"
#include "update/update_property_sheet.h"
#include "update/update_wizard.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using update::CUpdatePropertySheet;
using update_test::HttpResponse;
using update_test::LoopbackHttpServer;

namespace {

const QString kVersionPath = QStringLiteral("/upgrade/zr-setup/zr-setup.txt");
const QString kProgramPath = QStringLiteral("/upgrade/zr-setup/zr-setup");
constexpr int kPatience = 20'000; // ms; only a hung transfer takes this long

QString text(int id)
{
    const auto value = common::text(id);
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

class RecordingDesktop : public update::UpdateDesktop
{
public:
    void inform(QWidget *, const QString &message) override { informed << message; }
    bool confirm(QWidget *, const QString &question) override
    {
        asked << question;
        return answer;
    }
    bool openAddress(const QString &address) override
    {
        opened << address;
        return true;
    }
    bool startAfterExit(const QString &path) override
    {
        started << path;
        return startWorks;
    }
    void quitProgram() override { ++quits; }

    QStringList informed;
    QStringList asked;
    QStringList opened;
    QStringList started;
    bool answer = true;
    bool startWorks = true;
    int quits = 0;
};

class UpdateWizardTest : public ::testing::Test
{
protected:
    update::UpdateSettings settings() const
    {
        update::UpdateSettings values;
        values.exeName = QStringLiteral("zr-setup");
        values.version = QStringLiteral("1.0.0.1");
        values.upgradePage = QStringLiteral("http://upgrade.example.invalid/buy");
        values.serverAddress = m_server.baseAddress();
        values.downloadParent = QString::fromStdString(m_downloads.str());
        values.allowPlainHttp = true; // the test server speaks plain http on loopback
        values.publicKey = m_release.publicKey();
        return values;
    }

    QStringList downloadsLeft() const
    {
        return QDir(QString::fromStdString(m_downloads.str()))
            .entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    }

    // Shows the sheet and goes to the process page; true once its check has returned.
    bool checkWith(CUpdatePropertySheet &sheet, const QByteArray &versionFile)
    {
        m_server.serve(kVersionPath, HttpResponse { 200, versionFile });
        sheet.setStartDelay(0);
        sheet.show();
        sheet.nextButton()->click();
        return sheet.currentPage() == 1
            && QTest::qWaitFor([&] { return !sheet.processPage()->searching(); }, kPatience);
    }

    // Runs the modal wizard through runUpdateWizard with `drive` acting as the user inside it.
    bool runWizard(const std::function<void(CUpdatePropertySheet &)> &drive)
    {
        bool driven = false;
        QTimer::singleShot(0, [&] {
            auto *sheet = qobject_cast<CUpdatePropertySheet *>(QApplication::activeModalWidget());
            if (sheet == nullptr) {
                ADD_FAILURE() << "the wizard is not the active modal window";
                return;
            }
            driven = true;
            drive(*sheet);
            if (sheet->isVisible()) {
                ADD_FAILURE() << "the driver left the wizard open";
                sheet->done(QDialog::Rejected);
            }
        });
        const bool ending = update::runUpdateWizard(nullptr, settings(), m_desktop, 0);
        EXPECT_TRUE(driven);
        return ending;
    }

    LoopbackHttpServer m_server;
    update_test::SignedRelease m_release;
    testing_support::TempDir m_downloads;
    RecordingDesktop m_desktop;
};

} // namespace

TEST_F(UpdateWizardTest, NewerVersionIsNamedAndNextLeadsOn)
{
    CUpdatePropertySheet sheet(settings(), m_desktop);
    EXPECT_EQ(sheet.windowTitle(), "Corvane Lumaris Update Wizard");
    EXPECT_FALSE(sheet.backButton()->isEnabled());
    ASSERT_TRUE(checkWith(sheet, "1.0.0.2\r\n"));
    auto *page = sheet.processPage();
    EXPECT_EQ(
        page->statusText(), "A new update 1.0.0.2 is available. Click Next to proceed further.");
    EXPECT_TRUE(sheet.nextButton()->isEnabled());
    EXPECT_TRUE(sheet.backButton()->isEnabled());
    EXPECT_FALSE(page->majorReleaseShown());
}

TEST_F(UpdateWizardTest, MajorReleaseShowsTheUpgradeLinkAndNoNext)
{
    CUpdatePropertySheet sheet(settings(), m_desktop);
    ASSERT_TRUE(checkWith(sheet, "2.0.0.0\r\n"));
    auto *page = sheet.processPage();
    EXPECT_EQ(page->statusText(), text(120));
    EXPECT_TRUE(page->majorReleaseShown());
    auto *major = page->findChild<QLabel *>(QStringLiteral("majorReleaseText"));
    ASSERT_NE(major, nullptr);
    EXPECT_EQ(major->text(),
        "A new major release is available.You need to pay to upgrade to new version.");
    EXPECT_FALSE(sheet.nextButton()->isEnabled());

    auto *link = page->findChild<QLabel *>(QStringLiteral("upgradeLink"));
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->isVisible());
    EXPECT_TRUE(link->text().contains("Visit upgrade page"));
    emit link->linkActivated(QStringLiteral("upgrade"));
    EXPECT_EQ(m_desktop.opened, QStringList { "http://upgrade.example.invalid/buy" });
    EXPECT_TRUE(link->text().contains("purple")) << "a followed link is drawn as visited";
}

TEST_F(UpdateWizardTest, SecondLineOffersAnUpdateBesideTheMajorRelease)
{
    CUpdatePropertySheet sheet(settings(), m_desktop);
    // Line 1 offers an update of this release, line 2 the next major release.
    ASSERT_TRUE(checkWith(sheet, "1.0.0.2\r\n2.0.0.0\r\n"));
    EXPECT_EQ(sheet.processPage()->statusText(),
        "A new update 1.0.0.2 is available. Click Next to proceed further.");
    EXPECT_TRUE(sheet.processPage()->majorReleaseShown());
    EXPECT_TRUE(sheet.nextButton()->isEnabled());
}

TEST_F(UpdateWizardTest, EachCheckResultHasItsText)
{
    struct Case
    {
        QByteArray versionFile;
        QString status;
    };
    // A version text that cannot be read leaves the searching text, with Next disabled.
    for (const Case &c : { Case { "1.0.0.1\r\n", text(125) }, Case { "1.0.a.2\r\n", text(123) } }) {
        CUpdatePropertySheet sheet(settings(), m_desktop);
        ASSERT_TRUE(checkWith(sheet, c.versionFile));
        EXPECT_EQ(sheet.processPage()->statusText(), c.status) << c.versionFile.constData();
        EXPECT_FALSE(sheet.nextButton()->isEnabled());
        EXPECT_TRUE(sheet.backButton()->isEnabled());
        EXPECT_FALSE(sheet.processPage()->majorReleaseShown());
    }

    auto missingFile = settings();
    missingFile.exeName = QStringLiteral("not-served");
    CUpdatePropertySheet notOpened(missingFile, m_desktop);
    ASSERT_TRUE(checkWith(notOpened, "1.0.0.2\r\n"));
    EXPECT_EQ(notOpened.processPage()->statusText(), text(120));

    auto noServer = settings();
    noServer.serverAddress = LoopbackHttpServer::unusedAddress();
    CUpdatePropertySheet unreachable(noServer, m_desktop);
    ASSERT_TRUE(checkWith(unreachable, "1.0.0.2\r\n"));
    EXPECT_EQ(unreachable.processPage()->statusText(),
        "Connection to server could not be established. Please try later.");
    EXPECT_FALSE(unreachable.nextButton()->isEnabled());
}

TEST_F(UpdateWizardTest, FinishedDownloadStartsTheNewProgramAndEndsThisOne)
{
    const QByteArray program(3'145'728, 'z');
    m_release.publish(m_server, QStringLiteral("zr-setup"), program);
    QString savedPath;
    const bool ending = runWizard([&](CUpdatePropertySheet &sheet) {
        sheet.nextButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.nextButton()->isEnabled(); }, kPatience));
        sheet.nextButton()->click();
        ASSERT_EQ(sheet.currentPage(), 2);
        EXPECT_FALSE(sheet.nextButton()->isVisible());
        EXPECT_FALSE(sheet.finishButton()->isEnabled());
        EXPECT_FALSE(sheet.backButton()->isEnabled());
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.finishButton()->isEnabled(); }, kPatience));
        auto *page = sheet.finalPage();
        EXPECT_EQ(page->savingFileText(), "Download completed");
        EXPECT_EQ(page->fileText(), "zr-setup from 127.0.0.1");
        EXPECT_TRUE(page->timeText().endsWith(" sec(3.00 MB of 3.00 MB copied)"))
            << page->timeText().toStdString();
        EXPECT_TRUE(page->rateText().endsWith(" MB/sec")) << page->rateText().toStdString();
        EXPECT_EQ(page->progressMaximum(), 3'145'728 / 4096);
        EXPECT_EQ(page->progressValue(), page->progressMaximum());
        EXPECT_TRUE(sheet.backButton()->isEnabled());
        EXPECT_TRUE(m_desktop.informed.isEmpty()) << m_desktop.informed.join('|').toStdString();
        savedPath = sheet.updater().downloadedPath();
        sheet.finishButton()->click();
    });
    EXPECT_TRUE(ending);
    ASSERT_EQ(m_desktop.started, QStringList { savedPath });
    EXPECT_EQ(m_desktop.quits, 1);
    QFile saved(savedPath);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll() == program);
    EXPECT_TRUE(QFileInfo(savedPath).isExecutable());
}

TEST_F(UpdateWizardTest, WizardClosedWithoutDownloadEndsNothing)
{
    m_server.serve(kVersionPath, HttpResponse { 200, "1.0.0.1\r\n" });
    const bool ending = runWizard([&](CUpdatePropertySheet &sheet) {
        sheet.nextButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet.processPage()->searching(); }, kPatience));
        EXPECT_EQ(sheet.processPage()->statusText(), text(125));
        sheet.cancelButton()->click();
    });
    EXPECT_FALSE(ending);
    EXPECT_TRUE(m_desktop.started.isEmpty());
    EXPECT_EQ(m_desktop.quits, 0);
    EXPECT_TRUE(m_desktop.asked.isEmpty()) << "no download ran, so there is nothing to confirm";
    EXPECT_EQ(m_server.requestCount(kProgramPath), 0);

    // Closed on the first page, and closed after a download without pressing Finish.
    EXPECT_FALSE(runWizard([](CUpdatePropertySheet &sheet) { sheet.reject(); }));
    m_release.publish(m_server, QStringLiteral("zr-setup"), QByteArray(10'000, 'p'));
    EXPECT_FALSE(runWizard([&](CUpdatePropertySheet &sheet) {
        sheet.nextButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.nextButton()->isEnabled(); }, kPatience));
        sheet.nextButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.finishButton()->isEnabled(); }, kPatience));
        sheet.cancelButton()->click();
    }));
    EXPECT_TRUE(m_desktop.started.isEmpty());
    EXPECT_EQ(m_desktop.quits, 0);
    EXPECT_TRUE(downloadsLeft().isEmpty()) << "a download nobody will start is removed";
}

TEST_F(UpdateWizardTest, CancelDuringDownloadAsksThenRemovesThePartialFile)
{
    HttpResponse held { 200, QByteArray(3'145'728, 'h') };
    held.holdAfter = 40'960;
    m_release.publish(m_server, QStringLiteral("zr-setup"), held.body);
    m_server.serve(kProgramPath, held);
    const bool ending = runWizard([&](CUpdatePropertySheet &sheet) {
        sheet.nextButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.nextButton()->isEnabled(); }, kPatience));
        sheet.nextButton()->click();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return sheet.finalPage()->progressValue() > 0; }, kPatience));
        EXPECT_EQ(sheet.flags().downloadBusy.load(), 1);
        EXPECT_EQ(downloadsLeft().size(), 1) << "the partial file is being written";

        // No: the wizard stays and the download goes on.
        m_desktop.answer = false;
        sheet.cancelButton()->click();
        EXPECT_TRUE(sheet.isVisible());
        EXPECT_EQ(sheet.flags().updateCancelled.load(), 0);
        EXPECT_EQ(sheet.flags().downloadBusy.load(), 1);

        m_desktop.answer = true;
        sheet.cancelButton()->click();
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_EQ(sheet.flags().updateCancelled.load(), 1);
        EXPECT_EQ(sheet.flags().downloadBusy.load(), 0);
        EXPECT_TRUE(sheet.fileToStart().isEmpty());
    });
    EXPECT_FALSE(ending);
    ASSERT_EQ(m_desktop.asked.size(), 2);
    EXPECT_EQ(m_desktop.asked[0],
        "This process can not be resumed from the current stage.\n\n Do "
        "you want to abort the current process?");
    EXPECT_TRUE(m_desktop.started.isEmpty());
    EXPECT_EQ(m_desktop.quits, 0);
    EXPECT_TRUE(m_desktop.informed.isEmpty());
    EXPECT_TRUE(downloadsLeft().isEmpty()) << downloadsLeft().join(' ').toStdString();
}

TEST_F(UpdateWizardTest, FailedDownloadSaysSoAndStartsNothing)
{
    HttpResponse cut { 200, QByteArray(300'000, 'c') };
    cut.cutAfter = 100'000;
    m_release.publish(m_server, QStringLiteral("zr-setup"), cut.body);
    struct Case
    {
        HttpResponse response;
        QString message;
    };
    for (const Case &c :
        { Case { HttpResponse { 404, "gone" }, text(121) }, Case { cut, text(119) } }) {
        m_server.serve(kProgramPath, c.response);
        m_desktop.informed.clear();
        const bool ending = runWizard([&](CUpdatePropertySheet &sheet) {
            sheet.nextButton()->click();
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return sheet.nextButton()->isEnabled(); }, kPatience));
            sheet.nextButton()->click();
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return sheet.finishButton()->isEnabled(); }, kPatience));
            EXPECT_TRUE(sheet.backButton()->isEnabled());
            EXPECT_NE(sheet.finalPage()->savingFileText(), "Download completed");
            sheet.finishButton()->click();
        });
        EXPECT_FALSE(ending);
        EXPECT_EQ(m_desktop.informed, QStringList { c.message });
    }
    EXPECT_TRUE(m_desktop.started.isEmpty());
    EXPECT_EQ(m_desktop.quits, 0);
    EXPECT_TRUE(downloadsLeft().isEmpty());
}

TEST_F(UpdateWizardTest, UnsignedDownloadIsRefusedWithItsReasonAndStartsNothing)
{
    const QByteArray program(50'000, 's');
    m_release.publish(m_server, QStringLiteral("zr-setup"), program);
    // Signed, but by a key this program does not trust.
    m_server.serve(kProgramPath + QLatin1String(".sig"),
        HttpResponse { 200, update_test::SignedRelease().sign(program) });
    const bool ending = runWizard([&](CUpdatePropertySheet &sheet) {
        sheet.nextButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.nextButton()->isEnabled(); }, kPatience));
        sheet.nextButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.finishButton()->isEnabled(); }, kPatience));
        EXPECT_NE(sheet.finalPage()->savingFileText(), "Download completed");
        EXPECT_TRUE(sheet.fileToStart().isEmpty());
        sheet.finishButton()->click();
    });
    EXPECT_FALSE(ending);
    ASSERT_EQ(m_desktop.informed.size(), 1);
    EXPECT_TRUE(m_desktop.informed[0].startsWith("The update was not started. "));
    EXPECT_TRUE(m_desktop.informed[0].contains("does not verify"))
        << m_desktop.informed[0].toStdString();
    EXPECT_TRUE(m_desktop.started.isEmpty());
    EXPECT_EQ(m_desktop.quits, 0);
    EXPECT_TRUE(downloadsLeft().isEmpty());
}

TEST_F(UpdateWizardTest, PlainHttpServerIsRefusedAtTheCheck)
{
    auto plain = settings();
    plain.allowPlainHttp = false;
    CUpdatePropertySheet sheet(plain, m_desktop);
    ASSERT_TRUE(checkWith(sheet, "1.0.0.2\r\n"));
    EXPECT_TRUE(sheet.processPage()->statusText().contains("https://"));
    EXPECT_FALSE(sheet.nextButton()->isEnabled());
    EXPECT_EQ(m_server.requestCount(kVersionPath), 0);
}

TEST(StartDownloadedProgramTest, ProgramEndsOnlyWhenTheNewFileCanStart)
{
    RecordingDesktop desktop;
    EXPECT_FALSE(update::startDownloadedProgram(QString(), desktop, nullptr));
    EXPECT_TRUE(desktop.started.isEmpty());
    EXPECT_EQ(desktop.quits, 0);

    desktop.startWorks = false;
    EXPECT_FALSE(update::startDownloadedProgram("/tmp/x/zr-setup", desktop, nullptr));
    EXPECT_EQ(desktop.quits, 0);
    ASSERT_EQ(desktop.informed.size(), 1);
    EXPECT_TRUE(desktop.informed[0].contains("/tmp/x/zr-setup"));

    desktop.startWorks = true;
    EXPECT_TRUE(update::startDownloadedProgram("/tmp/x/zr-setup", desktop, nullptr));
    EXPECT_EQ(desktop.quits, 1);
}

TEST(StartDownloadedProgramTest, NewProgramRunsAfterTheOldOneHasEnded)
{
    testing_support::TempDir dir;
    const auto marker = dir.path() / "started";
    const auto script
        = dir.write("zr-setup", "#!/bin/sh\necho started > '" + marker.string() + "'\n");
    const QString scriptPath = QString::fromStdString(script.string());

    // Not executable: refused, so the program would not end for nothing.
    EXPECT_FALSE(update::startAfterProcessEnds(scriptPath, QCoreApplication::applicationPid()));
    QFile::setPermissions(scriptPath, QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    // Stands in for the old program: runs until its input closes.
    QProcess oldProgram;
    oldProgram.start(QStringLiteral("cat"), {});
    ASSERT_TRUE(oldProgram.waitForStarted());
    ASSERT_TRUE(update::startAfterProcessEnds(scriptPath, oldProgram.processId()));
    EXPECT_FALSE(std::filesystem::exists(marker)) << "started while the old program still ran";

    oldProgram.closeWriteChannel();
    ASSERT_TRUE(oldProgram.waitForFinished());
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(marker); }, kPatience));
}

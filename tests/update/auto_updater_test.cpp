// The version check and the download against a real HTTP server on loopback.
#include "support/temp_dir.h"
#include "update/auto_updater.h"
#include "update/loopback_http_server.h"
#include "update/qt_printers.h"
#include "update/signed_release.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <map>
#include <vector>

using update::CAutoUpdater;
using update::CheckResult;
using update::DownloadLine;
using update::DownloadResult;
using update_test::HttpResponse;
using update_test::LoopbackHttpServer;
using update_test::SignedRelease;

namespace {

const QString kExe = QStringLiteral("zr-setup");
const QString kVersionPath = QStringLiteral("/upgrade/zr-setup/zr-setup.txt");
const QString kProgramPath = QStringLiteral("/upgrade/zr-setup/zr-setup");
const QString kSignaturePath = QStringLiteral("/upgrade/zr-setup/zr-setup.sig");

// One key pair for the whole run; the updaters below trust it instead of the release key.
const SignedRelease &release()
{
    static const SignedRelease keys;
    return keys;
}

update::UpdateSettings settingsFor(
    const QString &server, const testing_support::TempDir *downloads = nullptr)
{
    update::UpdateSettings settings;
    settings.exeName = kExe;
    settings.version = QStringLiteral("1.0.0.1");
    settings.serverAddress = server;
    settings.allowPlainHttp = true; // the test server speaks plain http on loopback
    settings.publicKey = release().publicKey();
    if (downloads != nullptr) {
        settings.downloadParent = QString::fromStdString(downloads->str());
    }
    return settings;
}

QByteArray programBytes(qsizetype size)
{
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xff);
    }
    return bytes;
}

QStringList entriesOf(const testing_support::TempDir &dir)
{
    return QDir(QString::fromStdString(dir.str()))
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
}

class RecordingObserver : public update::DownloadObserver
{
public:
    void lineChanged(DownloadLine line, const QString &text) override
    {
        lines[line].push_back(text);
    }
    void progressChanged(qint64 copied, qint64 total) override
    {
        progress.push_back(copied);
        lastTotal = total;
        if (onProgress) {
            onProgress(copied);
        }
    }
    QString last(DownloadLine line) const
    {
        const auto found = lines.find(line);
        return found == lines.end() || found->second.empty() ? QString() : found->second.back();
    }

    std::map<DownloadLine, QStringList> lines;
    std::vector<qint64> progress;
    qint64 lastTotal = -2;
    std::function<void(qint64)> onProgress;
};

} // namespace

TEST(CheckForUpdateTest, ResultFollowsTheServersVersionFile)
{
    LoopbackHttpServer server;
    struct Case
    {
        QByteArray body;
        CheckResult expected;
        QString offered;
    };
    const std::vector<Case> cases {
        { "1.0.0.2\r\n", CheckResult::NewerVersion, "1.0.0.2" },
        { "2.0.0.0\r\n", CheckResult::NewMajorRelease, "2.0.0.0" },
        { "1.0.0.1\r\n", CheckResult::UpToDate, "1.0.0.1" },
        { "1.0.0.2\r\n1.0.0.3\r\n", CheckResult::NewerWithSecondLine, "1.0.0.3" },
        { "1.0.a.2\r\n", CheckResult::NotUnderstood, "1.0.a.2" },
    };
    for (const auto &c : cases) {
        server.serve(kVersionPath, HttpResponse { 200, c.body });
        CAutoUpdater updater(settingsFor(server.baseAddress()));
        EXPECT_EQ(updater.CheckForUpdate(), c.expected) << c.body.constData();
        EXPECT_EQ(updater.offeredVersion(), c.offered) << c.body.constData();
    }
    // Asked as the update agent, past any cache.
    const QByteArray head = server.lastRequestHead(kVersionPath).toLower();
    EXPECT_TRUE(head.startsWith("get /upgrade/zr-setup/zr-setup.txt ")) << head.constData();
    EXPECT_TRUE(head.contains("user-agent: autoupdateagent")) << head.constData();
    EXPECT_TRUE(head.contains("cache-control: no-cache")) << head.constData();
}

TEST(CheckForUpdateTest, HttpErrorsAreAVersionFileThatCouldNotBeOpened)
{
    LoopbackHttpServer server;
    // Not served at all: the server's own 404 page must not be read as a version.
    CAutoUpdater missing(settingsFor(server.baseAddress()));
    EXPECT_EQ(missing.CheckForUpdate(), CheckResult::VersionFileNotOpened);
    EXPECT_TRUE(missing.offeredVersion().isEmpty());

    server.serve(kVersionPath, HttpResponse { 404, "1.0.0.2\r\n" });
    EXPECT_EQ(CAutoUpdater(settingsFor(server.baseAddress())).CheckForUpdate(),
        CheckResult::VersionFileNotOpened);
    server.serve(kVersionPath, HttpResponse { 500, "2.0.0.0\r\n" });
    EXPECT_EQ(CAutoUpdater(settingsFor(server.baseAddress())).CheckForUpdate(),
        CheckResult::VersionFileNotOpened);

    // A version file cut short by the server is not read as a whole one.
    HttpResponse cut { 200, "1.0.0.2\r\n1.0.0.3\r\n" };
    cut.cutAfter = 4;
    server.serve(kVersionPath, cut);
    EXPECT_EQ(CAutoUpdater(settingsFor(server.baseAddress())).CheckForUpdate(),
        CheckResult::VersionFileNotOpened);
}

TEST(CheckForUpdateTest, AnswerLongerThanAVersionFileIsRefused)
{
    LoopbackHttpServer server;
    HttpResponse longAnswer { 200, "1.0.0.2\r\n" + QByteArray(4096, 'x') };
    server.serve(kVersionPath, longAnswer);
    EXPECT_EQ(CAutoUpdater(settingsFor(server.baseAddress())).CheckForUpdate(),
        CheckResult::NotUnderstood);
    // Also when the server does not say how long it is.
    longAnswer.sendLength = false;
    server.serve(kVersionPath, longAnswer);
    EXPECT_EQ(CAutoUpdater(settingsFor(server.baseAddress())).CheckForUpdate(),
        CheckResult::NotUnderstood);
    // Exactly the limit is still a version file.
    QByteArray atLimit = "1.0.0.2\r\n";
    atLimit.append(4096 - atLimit.size(), '\n');
    server.serve(kVersionPath, HttpResponse { 200, atLimit });
    EXPECT_EQ(CAutoUpdater(settingsFor(server.baseAddress())).CheckForUpdate(),
        CheckResult::NewerVersion);
}

TEST(CheckForUpdateTest, MissingSettingsAndServerAreReportedBeforeAnyRequest)
{
    EXPECT_EQ(CAutoUpdater(settingsFor(LoopbackHttpServer::unusedAddress())).CheckForUpdate(),
        CheckResult::NoConnection);
    EXPECT_EQ(CAutoUpdater(settingsFor(QString())).CheckForUpdate(), CheckResult::NoConnection);

    LoopbackHttpServer server;
    server.serve(kVersionPath, HttpResponse { 200, "1.0.0.2\r\n" });
    auto noVersion = settingsFor(server.baseAddress());
    noVersion.version.clear();
    EXPECT_EQ(CAutoUpdater(noVersion).CheckForUpdate(), CheckResult::NoInstalledVersion);
    auto badName = settingsFor(server.baseAddress());
    badName.exeName = QStringLiteral("../zr-setup");
    EXPECT_EQ(CAutoUpdater(badName).CheckForUpdate(), CheckResult::VersionFileNotOpened);
    EXPECT_EQ(server.requestCount(kVersionPath), 0);
}

TEST(DownloadUpdateTest, KnownSizeDownloadLeavesTheExactBytesExecutable)
{
    LoopbackHttpServer server;
    testing_support::TempDir downloads;
    const QByteArray program = programBytes(3'145'728);
    release().publish(server, kExe, program);
    CAutoUpdater updater(settingsFor(server.baseAddress(), &downloads));
    ASSERT_EQ(updater.CheckForUpdate(), CheckResult::NewerVersion);
    RecordingObserver observer;
    std::atomic<int> cancelled { 0 };

    ASSERT_EQ(updater.DownloadUpdate(observer, cancelled), DownloadResult::Done);

    const QString path = updater.downloadedPath();
    ASSERT_FALSE(path.isEmpty());
    const QFileInfo info(path);
    EXPECT_EQ(info.fileName(), kExe);
    EXPECT_EQ(info.dir().dirName().left(21), "zarafa-repair-update-");
    EXPECT_EQ(QFileInfo(info.path()).path(), QString::fromStdString(downloads.str()));
    EXPECT_TRUE(info.isExecutable());
    EXPECT_FALSE(QFileInfo(info.path()).permissions() & QFileDevice::ReadOther)
        << "the download folder must be private";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == program);
    EXPECT_EQ(updater.serverFileSize(), program.size());

    EXPECT_EQ(observer.lines[DownloadLine::SavingFile],
        QStringList({ "Getting Internet Session", "Downloading files ...", "Download completed" }));
    EXPECT_EQ(observer.last(DownloadLine::File), "zr-setup from 127.0.0.1");
    const QString time = observer.last(DownloadLine::Time);
    EXPECT_TRUE(time.endsWith(" sec(3.00 MB of 3.00 MB copied)")) << time.toStdString();
    const QString rate = observer.last(DownloadLine::Rate);
    EXPECT_TRUE(rate.endsWith(" MB/sec")) << rate.toStdString();
    // Progress comes in steps of at most 4,096 bytes and ends at the size.
    ASSERT_GT(observer.progress.size(), 3'145'728u / 4096u);
    for (std::size_t i = 1; i < observer.progress.size(); ++i) {
        EXPECT_LE(observer.progress[i] - observer.progress[i - 1], 4096);
    }
    EXPECT_EQ(observer.progress.back(), program.size());
    EXPECT_EQ(observer.lastTotal, program.size());
}

TEST(DownloadUpdateTest, UnknownSizeCountsKilobytes)
{
    LoopbackHttpServer server;
    testing_support::TempDir downloads;
    HttpResponse response { 200, programBytes(20'480) };
    response.sendLength = false;
    release().publish(server, kExe, response.body);
    server.serve(kProgramPath, response);
    CAutoUpdater updater(settingsFor(server.baseAddress(), &downloads));
    ASSERT_EQ(updater.CheckForUpdate(), CheckResult::NewerVersion);
    RecordingObserver observer;
    std::atomic<int> cancelled { 0 };

    ASSERT_EQ(updater.DownloadUpdate(observer, cancelled), DownloadResult::Done);
    EXPECT_EQ(QFileInfo(updater.downloadedPath()).size(), 20'480);
    EXPECT_EQ(updater.serverFileSize(), -1);
    const QString time = observer.last(DownloadLine::Time);
    EXPECT_TRUE(time.startsWith("20 Ko in ")) << time.toStdString();
    EXPECT_TRUE(time.endsWith(" sec")) << time.toStdString();
    EXPECT_TRUE(observer.last(DownloadLine::Rate).endsWith("/sec"));
}

TEST(DownloadUpdateTest, FailuresLeaveNothingBehind)
{
    LoopbackHttpServer server;
    testing_support::TempDir downloads;
    RecordingObserver observer;
    std::atomic<int> cancelled { 0 };

    // Not on the server.
    release().publish(server, kExe, programBytes(300'000));
    server.serve(kProgramPath, HttpResponse { 404, "not here" });
    CAutoUpdater missing(settingsFor(server.baseAddress(), &downloads));
    ASSERT_EQ(missing.CheckForUpdate(), CheckResult::NewerVersion);
    EXPECT_EQ(missing.DownloadUpdate(observer, cancelled), DownloadResult::RequestFailed);
    server.serve(kProgramPath, HttpResponse { 500, "oops" });
    EXPECT_EQ(missing.DownloadUpdate(observer, cancelled), DownloadResult::RequestFailed);
    EXPECT_TRUE(missing.downloadedPath().isEmpty());

    // No server at all.
    CAutoUpdater unreachable(settingsFor(LoopbackHttpServer::unusedAddress(), &downloads));
    EXPECT_EQ(unreachable.CheckForUpdate(), CheckResult::NoConnection);
    // Without a version file there is no hash to hold the download to: nothing is fetched.
    EXPECT_EQ(unreachable.DownloadUpdate(observer, cancelled), DownloadResult::Refused);

    // Cut after a third of the file.
    HttpResponse cut { 200, programBytes(300'000) };
    cut.cutAfter = 100'000;
    server.serve(kProgramPath, cut);
    CAutoUpdater broken(settingsFor(server.baseAddress(), &downloads));
    ASSERT_EQ(broken.CheckForUpdate(), CheckResult::NewerVersion);
    EXPECT_EQ(broken.DownloadUpdate(observer, cancelled), DownloadResult::TransferFailed);
    EXPECT_TRUE(broken.downloadedPath().isEmpty());

    // An empty answer is no program.
    server.serve(kProgramPath, HttpResponse { 200, QByteArray() });
    EXPECT_EQ(broken.DownloadUpdate(observer, cancelled), DownloadResult::TransferFailed);

    EXPECT_TRUE(entriesOf(downloads).isEmpty()) << entriesOf(downloads).join(' ').toStdString();
}

TEST(DownloadUpdateTest, CancelEndsTheTransferAndRemovesThePartialFile)
{
    LoopbackHttpServer server;
    testing_support::TempDir downloads;
    HttpResponse held { 200, programBytes(3'145'728) };
    held.holdAfter = 40'960;
    release().publish(server, kExe, held.body);
    server.serve(kProgramPath, held);
    std::atomic<int> cancelled { 0 };

    // Cancelled while bytes arrive: the next step ends it.
    CAutoUpdater updater(settingsFor(server.baseAddress(), &downloads));
    ASSERT_EQ(updater.CheckForUpdate(), CheckResult::NewerVersion);
    RecordingObserver observer;
    observer.onProgress = [&](qint64 copied) {
        if (copied > 0) {
            cancelled.store(1);
        }
    };
    EXPECT_EQ(updater.DownloadUpdate(observer, cancelled), DownloadResult::Done);
    EXPECT_TRUE(updater.downloadedPath().isEmpty());
    EXPECT_FALSE(observer.lines[DownloadLine::SavingFile].contains("Download completed"));
    EXPECT_TRUE(entriesOf(downloads).isEmpty()) << entriesOf(downloads).join(' ').toStdString();

    // Cancelled while the server says nothing after its headers.
    held.holdAfter = 0;
    server.serve(kProgramPath, held);
    cancelled.store(0);
    RecordingObserver silent;
    silent.onProgress = [&](qint64) { cancelled.store(1); };
    EXPECT_EQ(updater.DownloadUpdate(silent, cancelled), DownloadResult::Done);
    EXPECT_TRUE(updater.downloadedPath().isEmpty());
    EXPECT_TRUE(entriesOf(downloads).isEmpty());

    // Cancelled before it began: not even a request.
    const int requests = server.requestCount(kProgramPath);
    RecordingObserver early;
    EXPECT_EQ(updater.DownloadUpdate(early, cancelled), DownloadResult::Done);
    EXPECT_EQ(server.requestCount(kProgramPath), requests);
    EXPECT_TRUE(entriesOf(downloads).isEmpty());
}

TEST(DownloadUpdateTest, OnlyASignedFileWithTheNamedHashIsKept)
{
    LoopbackHttpServer server;
    testing_support::TempDir downloads;
    const QByteArray program = programBytes(100'000);
    std::atomic<int> cancelled { 0 };
    const auto refusalOf = [&](const char *what) {
        CAutoUpdater updater(settingsFor(server.baseAddress(), &downloads));
        EXPECT_EQ(updater.CheckForUpdate(), CheckResult::NewerVersion) << what;
        RecordingObserver observer;
        EXPECT_EQ(updater.DownloadUpdate(observer, cancelled), DownloadResult::Refused) << what;
        EXPECT_TRUE(updater.downloadedPath().isEmpty()) << what;
        EXPECT_FALSE(observer.lines[DownloadLine::SavingFile].contains("Download completed"));
        EXPECT_TRUE(entriesOf(downloads).isEmpty())
            << what << ": " << entriesOf(downloads).join(' ').toStdString();
        return updater.refusalReason();
    };

    // The good one first, so that the refusals below are the signature's doing.
    release().publish(server, kExe, program);
    {
        CAutoUpdater updater(settingsFor(server.baseAddress(), &downloads));
        ASSERT_EQ(updater.CheckForUpdate(), CheckResult::NewerVersion);
        RecordingObserver observer;
        ASSERT_EQ(updater.DownloadUpdate(observer, cancelled), DownloadResult::Done);
        EXPECT_TRUE(updater.refusalReason().isEmpty());
        QFile saved(updater.downloadedPath());
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        EXPECT_TRUE(saved.readAll() == program);
        updater.discardDownload();
    }

    QByteArray bad = release().sign(program);
    bad[0] = static_cast<char>(bad[0] ^ 0x40);
    server.serve(kSignaturePath, HttpResponse { 200, bad });
    EXPECT_TRUE(refusalOf("bad signature").contains("does not verify"));

    server.serve(kSignaturePath, HttpResponse { 404, "not here" });
    EXPECT_TRUE(refusalOf("missing signature").contains("no signature"));

    // Someone else's key signed it.
    server.serve(kSignaturePath, HttpResponse { 200, SignedRelease().sign(program) });
    EXPECT_TRUE(refusalOf("foreign signature").contains("does not verify"));

    // The file changed on the way (or on the server) after it was published.
    release().publish(server, kExe, program);
    QByteArray changed = program;
    changed[50'000] = static_cast<char>(changed[50'000] ^ 1);
    server.serve(kProgramPath, HttpResponse { 200, changed });
    EXPECT_TRUE(refusalOf("changed file").contains("SHA-256 differs"));

    // A version file that names no hash: refused before the program is even asked for.
    release().publish(server, kExe, program);
    server.serve(kVersionPath, HttpResponse { 200, "1.0.0.2\r\n" });
    const int requests = server.requestCount(kProgramPath);
    EXPECT_TRUE(refusalOf("no hash").contains("names no SHA-256"));
    EXPECT_EQ(server.requestCount(kProgramPath), requests);
}

TEST(DownloadUpdateTest, PlainHttpAndAMissingKeyAreRefusedBeforeAnyTransfer)
{
    LoopbackHttpServer server;
    testing_support::TempDir downloads;
    release().publish(server, kExe, programBytes(10'000));
    std::atomic<int> cancelled { 0 };
    RecordingObserver observer;

    auto plain = settingsFor(server.baseAddress(), &downloads);
    plain.allowPlainHttp = false;
    CAutoUpdater refused(plain);
    EXPECT_EQ(refused.CheckForUpdate(), CheckResult::PlainHttpRefused);
    EXPECT_EQ(refused.DownloadUpdate(observer, cancelled), DownloadResult::Refused);
    EXPECT_TRUE(refused.refusalReason().contains("https://"));

    auto keyless = settingsFor(server.baseAddress(), &downloads);
    keyless.publicKey.reset();
    CAutoUpdater unkeyed(keyless);
    EXPECT_EQ(unkeyed.CheckForUpdate(), CheckResult::NewerVersion);
    EXPECT_EQ(unkeyed.DownloadUpdate(observer, cancelled), DownloadResult::Refused);
    EXPECT_TRUE(unkeyed.refusalReason().contains("signing key"));

    EXPECT_EQ(server.requestCount(kProgramPath), 0);
    EXPECT_EQ(server.requestCount(kVersionPath), 1) << "plain http is not even asked";
    EXPECT_TRUE(entriesOf(downloads).isEmpty());
}

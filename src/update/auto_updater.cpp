#include "update/auto_updater.h"

#include "common/strings.h"
#include "update/download_signature.h"
#include "update/size_text.h"
#include "update/version_file.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>

namespace update {

namespace {

constexpr qint64 kStep = 4096;
// How often a waiting transfer looks at the cancel and abort flags, so that a stalled server
// does not hold a cancel back until its next byte.
constexpr int kFlagPollMs = 50;
// A server that stops answering for this long counts as unreachable (check) or as a broken
// transfer (download).
constexpr int kTransferTimeoutMs = 30'000;

// The whole file is read back into memory for its signature check; an installer is a few MiB.
constexpr qint64 kProgramFileLimit = qint64 { 512 } << 20;

// The private download folders carry this name, so that only they are ever removed.
const QLatin1String kFolderPrefix("zarafa-repair-update-");

void removePrivateFolder(const QString &folder)
{
    if (QFileInfo(folder).fileName().startsWith(kFolderPrefix)) {
        QDir(folder).removeRecursively();
    }
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString qSizeText(qint64 bytes)
{
    return QString::fromStdString(sizeText(static_cast<quint64>(bytes)));
}

// Loopback traffic never goes through a proxy; anything else follows the system's settings.
QNetworkProxy proxyFor(const QUrl &url)
{
    const QString host = url.host();
    const QHostAddress address(host);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
        || (!address.isNull() && address.isLoopback())) {
        return QNetworkProxy::NoProxy;
    }
    const auto proxies = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : proxies.first();
}

QNetworkRequest freshRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("AutoUpdateAgent"));
    // Always from the server, never from a cache on the way.
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");
    request.setTransferTimeout(kTransferTimeoutMs);
    return request;
}

// 0 when no HTTP answer arrived at all.
int httpStatus(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool isSuccess(int status) { return status >= 200 && status < 300; }

// Runs `loop` until `reply` finishes, aborting it when `stop` says so.
template <typename Stop> void waitForReply(QNetworkReply *reply, Stop stop)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer poll;
    poll.setInterval(kFlagPollMs);
    QObject::connect(&poll, &QTimer::timeout, reply, [reply, &stop] {
        if (stop()) {
            reply->abort();
        }
    });
    poll.start();
    if (!reply->isFinished()) {
        loop.exec();
    }
}

struct SmallFile
{
    int status = 0; // 0 when no HTTP answer arrived at all
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    bool tooLong = false;
    QByteArray body;

    bool ok() const { return !tooLong && isSuccess(status) && error == QNetworkReply::NoError; }
};

// Reads a file of at most `limit` bytes whole; a longer answer is refused as soon as it
// outgrows the limit, rather than read on.
SmallFile fetchSmallFile(const QUrl &url, std::size_t limit, const std::atomic<bool> &aborted)
{
    QNetworkAccessManager manager;
    manager.setProxy(proxyFor(url));
    QNetworkReply *reply = manager.get(freshRequest(url));
    SmallFile answer;
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        if (!isSuccess(httpStatus(reply))) {
            return; // an error page is not the file
        }
        if (answer.body.size() + reply->bytesAvailable() > static_cast<qint64>(limit)) {
            answer.tooLong = true;
            reply->abort();
            return;
        }
        answer.body += reply->readAll();
    });
    waitForReply(reply, [&aborted] { return aborted.load(); });
    answer.status = httpStatus(reply);
    answer.error = reply->error();
    if (answer.ok()) {
        answer.body += reply->readAll();
        answer.tooLong = answer.body.size() > static_cast<qsizetype>(limit);
    }
    reply->deleteLater();
    return answer;
}

} // namespace

CAutoUpdater::CAutoUpdater(UpdateSettings settings)
    : m_settings(std::move(settings))
{
}

QString CAutoUpdater::offeredVersion() const
{
    std::lock_guard lock(m_mutex);
    return m_offeredVersion;
}

QString CAutoUpdater::downloadedPath() const
{
    std::lock_guard lock(m_mutex);
    return m_downloadedPath;
}

std::string CAutoUpdater::offeredSha256() const
{
    std::lock_guard lock(m_mutex);
    return m_offeredSha256;
}

QString CAutoUpdater::refusalReason() const
{
    std::lock_guard lock(m_mutex);
    return m_refusalReason;
}

DownloadResult CAutoUpdater::refuse(std::string_view reason)
{
    std::lock_guard lock(m_mutex);
    m_refusalReason = fromUtf8(reason);
    return DownloadResult::Refused;
}

// Reads the file back from the disk, so that what is checked is what would be started.
std::string CAutoUpdater::verifyDownload(const QString &path, const std::string &expectedSha256)
{
    QFile saved(path);
    if (saved.size() > kProgramFileLimit || !saved.open(QIODevice::ReadOnly)) {
        return "The downloaded file could not be read back for its check.";
    }
    const QByteArray bytes = saved.readAll();
    const SmallFile signature
        = fetchSmallFile(m_settings.signatureFileUrl(), kSignatureSize * 2, m_aborted);
    if (!signature.ok() && signature.status == 0) {
        return "The download's signature could not be fetched: the server did not answer.";
    }
    if (signature.tooLong) {
        return "The download's signature is not a 64-byte Ed25519 signature.";
    }
    const QByteArray &sig = signature.ok() ? signature.body : QByteArray();
    return downloadRefusal(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), expectedSha256,
        std::string_view(sig.constData(), static_cast<std::size_t>(sig.size())),
        m_settings.publicKey);
}

void CAutoUpdater::discardDownload()
{
    QString path;
    {
        std::lock_guard lock(m_mutex);
        path.swap(m_downloadedPath);
    }
    if (!path.isEmpty()) {
        removePrivateFolder(QFileInfo(path).path());
    }
}

CheckResult CAutoUpdater::CheckForUpdate()
{
    {
        std::lock_guard lock(m_mutex);
        m_offeredVersion.clear();
        m_offeredSha256.clear();
    }
    if (m_settings.version.isEmpty()) {
        return CheckResult::NoInstalledVersion;
    }
    const QUrl url = m_settings.versionFileUrl();
    if (!url.isValid()) {
        // Without a usable server address there is nothing to connect to; with one, the name
        // of the package is what cannot be asked for.
        return m_settings.exeNameUsable() ? CheckResult::NoConnection
                                          : CheckResult::VersionFileNotOpened;
    }
    if (m_settings.plainHttpRefused(url)) {
        return CheckResult::PlainHttpRefused;
    }
    if (m_aborted.load()) {
        return CheckResult::NoConnection;
    }

    const SmallFile answer = fetchSmallFile(url, kVersionFileLimit, m_aborted);
    if (answer.tooLong) {
        return CheckResult::NotUnderstood;
    }
    if (answer.status == 0) {
        return CheckResult::NoConnection;
    }
    if (!answer.ok()) {
        return CheckResult::VersionFileNotOpened;
    }
    const QByteArray &body = answer.body;
    const std::string installed = m_settings.version.toStdString();
    const VersionOffer offer = readVersionFile(
        std::string_view(body.constData(), static_cast<std::size_t>(body.size())), installed);
    {
        std::lock_guard lock(m_mutex);
        m_offeredVersion = QString::fromStdString(offer.offeredVersion);
        m_offeredSha256 = offer.sha256;
    }
    return offer.result;
}

DownloadResult CAutoUpdater::DownloadUpdate(
    DownloadObserver &observer, const std::atomic<int> &updateCancelled)
{
    // A download made earlier in the same wizard is replaced, not kept beside the new one.
    discardDownload();
    m_serverFileSize.store(-1);
    {
        std::lock_guard lock(m_mutex);
        m_refusalReason.clear();
    }
    const QUrl url = m_settings.programFileUrl();
    if (!url.isValid()) {
        return m_settings.exeNameUsable() ? DownloadResult::NoConnection
                                          : DownloadResult::RequestFailed;
    }
    // What can be refused before a single byte is fetched, is.
    if (m_settings.plainHttpRefused(url)) {
        return refuse(kPlainHttpRefusal);
    }
    if (!m_settings.publicKey) {
        return refuse(downloadRefusal({}, {}, {}, std::nullopt));
    }
    const std::string expectedSha256 = offeredSha256();
    if (!isSha256Hex(expectedSha256)) {
        return refuse(downloadRefusal({}, expectedSha256, {}, m_settings.publicKey));
    }
    observer.lineChanged(
        DownloadLine::SavingFile, fromUtf8(common::text(common::str::kGettingSession)));
    const auto stopping = [&] { return updateCancelled.load() == 1 || m_aborted.load(); };
    if (stopping()) {
        return DownloadResult::Done;
    }

    QNetworkAccessManager manager;
    manager.setProxy(proxyFor(url));
    QElapsedTimer clock;
    clock.start();
    QNetworkReply *reply = manager.get(freshRequest(url));

    // The private folder exists only once the server has answered with the file.
    QString folder;
    QFile file;
    bool headersSeen = false;
    bool writeFailed = false;
    bool cancelled = false;
    qint64 size = -1;
    qint64 copied = 0;
    qint64 lastElapsed = 1;

    const auto onHeaders = [&] {
        if (headersSeen || !isSuccess(httpStatus(reply))) {
            return;
        }
        headersSeen = true;
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        size = length.isValid() ? length.toLongLong() : -1;
        m_serverFileSize.store(size);
        observer.progressChanged(0, size);
        observer.lineChanged(
            DownloadLine::SavingFile, fromUtf8(common::text(common::str::kDownloading)));
        observer.lineChanged(
            DownloadLine::File, m_settings.exeName + QLatin1String(" from ") + url.host());
        const QString parent
            = m_settings.downloadParent.isEmpty() ? QDir::tempPath() : m_settings.downloadParent;
        QTemporaryDir privateFolder(
            parent + QLatin1Char('/') + kFolderPrefix + QLatin1String("XXXXXX"));
        privateFolder.setAutoRemove(false);
        if (!privateFolder.isValid()) {
            writeFailed = true;
            reply->abort();
            return;
        }
        folder = privateFolder.path();
        file.setFileName(folder + QLatin1Char('/') + m_settings.exeName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            writeFailed = true;
            reply->abort();
        }
    };

    const auto copyAvailable = [&] {
        onHeaders();
        if (!file.isOpen() || writeFailed || cancelled) {
            return;
        }
        while (reply->bytesAvailable() > 0) {
            const QByteArray chunk = reply->read(kStep);
            if (chunk.isEmpty()) {
                break;
            }
            if (file.write(chunk) != chunk.size()) {
                writeFailed = true;
                reply->abort();
                return;
            }
            copied += chunk.size();
            const qint64 elapsed = std::llround(static_cast<double>(clock.elapsed()) / 1000.0);
            observer.lineChanged(DownloadLine::Time,
                size >= 0 ? QString::asprintf("%d sec(%s of %s copied)", static_cast<int>(elapsed),
                    qUtf8Printable(qSizeText(copied)), qUtf8Printable(qSizeText(size)))
                          : QString::asprintf("%d Ko in %d sec", static_cast<int>(copied / 1024),
                              static_cast<int>(elapsed)));
            if (stopping()) {
                cancelled = true;
                reply->abort();
                return;
            }
            if (elapsed > 0) {
                lastElapsed = elapsed;
            }
            const qint64 divisor = elapsed > 0 ? elapsed : lastElapsed;
            observer.lineChanged(DownloadLine::Rate,
                size >= 0 ? qSizeText(copied / divisor) + QLatin1String("/sec")
                          : QString::number(copied / 1024 / divisor) + QLatin1String("/sec"));
            observer.progressChanged(copied, size);
        }
    };

    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, onHeaders);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, copyAvailable);
    waitForReply(reply, stopping);
    if (!cancelled && !writeFailed && reply->error() == QNetworkReply::NoError) {
        copyAvailable();
    }
    cancelled = cancelled || stopping();
    const int status = httpStatus(reply);
    const auto error = reply->error();
    reply->deleteLater();

    const bool complete = headersSeen && !writeFailed && !cancelled
        && error == QNetworkReply::NoError && copied > 0 && (size < 0 || copied == size);
    if (file.isOpen()) {
        file.close();
    }
    if (!complete) {
        // A partial program file must never be started by anyone: remove it with its folder.
        if (!folder.isEmpty()) {
            removePrivateFolder(folder);
        }
        if (cancelled) {
            return DownloadResult::Done;
        }
        if (!headersSeen) {
            return status == 0 ? DownloadResult::NoConnection : DownloadResult::RequestFailed;
        }
        return DownloadResult::TransferFailed;
    }
    if (file.error() != QFileDevice::NoError
        || !file.setPermissions(
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        removePrivateFolder(folder);
        return DownloadResult::TransferFailed;
    }
    const std::string refusal = verifyDownload(file.fileName(), expectedSha256);
    if (!refusal.empty()) {
        removePrivateFolder(folder);
        return stopping() ? DownloadResult::Done : refuse(refusal);
    }
    observer.progressChanged(copied, size >= 0 ? size : copied);
    observer.lineChanged(
        DownloadLine::SavingFile, fromUtf8(common::text(common::str::kDownloadCompleted)));
    {
        std::lock_guard lock(m_mutex);
        m_downloadedPath = file.fileName();
    }
    return DownloadResult::Done;
}

} // namespace update

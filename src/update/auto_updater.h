// CAutoUpdater: asks the update server for a newer version and downloads the new program file.
#pragma once

#include "update/download_observer.h"
#include "update/update_results.h"
#include "update/update_settings.h"

#include <QString>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

namespace update {

// Both calls block the calling thread while they talk HTTP through a network manager of that
// thread, so the wizard runs them on threads of their own. They never touch a widget.
class CAutoUpdater
{
public:
    explicit CAutoUpdater(UpdateSettings settings);

    // Reads the version file (at most kVersionFileLimit bytes) and compares it with `Version`.
    CheckResult CheckForUpdate();

    // Downloads the program file into a new private folder under the download parent, named
    // after `ExeName` and made executable. It is kept only when its SHA-256 is the one the last
    // check's version file named and its signature (<ExeName>.sig beside it) verifies against
    // the settings' public key; otherwise, and for a plain http:// address the settings do not
    // allow, the result is Refused, nothing is kept and refusalReason() says why. The transfer ends
    // at the next 4,096-byte step (or sooner, on a stalled server) once `updateCancelled` is 1. A
    // cancelled or failed transfer leaves nothing behind; only a finished one sets
    // downloadedPath().
    DownloadResult DownloadUpdate(
        DownloadObserver &observer, const std::atomic<int> &updateCancelled);

    // Removes a finished download that is not going to be started, with its private folder.
    void discardDownload();

    // Makes a running or later call end as soon as it can: the wizard is closing.
    void abort() { m_aborted.store(true); }

    const UpdateSettings &settings() const { return m_settings; }
    // The version the last check named ("1.0.0.2"), or empty.
    QString offeredVersion() const;
    // Why the last download was refused, or empty.
    QString refusalReason() const;
    // The finished download to start, or empty.
    QString downloadedPath() const;
    // The size the server gave for the program file; -1 when unknown.
    qint64 serverFileSize() const { return m_serverFileSize.load(); }

private:
    std::string offeredSha256() const;
    DownloadResult refuse(std::string_view reason);
    // Empty when the saved file passes its checks; otherwise the reason.
    std::string verifyDownload(const QString &path, const std::string &expectedSha256);

    const UpdateSettings m_settings;
    std::atomic<bool> m_aborted { false };
    std::atomic<qint64> m_serverFileSize { -1 };
    mutable std::mutex m_mutex;
    QString m_offeredVersion;
    QString m_downloadedPath;
    std::string m_offeredSha256;
    QString m_refusalReason;
};

} // namespace update

// CUpdateThread: runs the download of the new program file off the user-interface thread.
#pragma once

#include "update/auto_updater.h"
#include "update/update_flags.h"

#include <QThread>

namespace update {

// Never touches a widget: the page learns everything through the queued signals.
class CUpdateThread : public QThread, private DownloadObserver
{
    Q_OBJECT
public:
    CUpdateThread(CAutoUpdater &updater, UpdateFlags &flags, QObject *parent = nullptr);
    ~CUpdateThread() override;

signals:
    void lineUpdated(int line, const QString &text); // line is a DownloadLine
    void progressUpdated(qint64 copied, qint64 total);
    // `result` is a DownloadResult; `cancelled` when the user aborted the transfer.
    void downloadFinished(int result, bool cancelled);

protected:
    void run() override;

private:
    void lineChanged(DownloadLine line, const QString &text) override;
    void progressChanged(qint64 copied, qint64 total) override;

    CAutoUpdater &m_updater;
    UpdateFlags &m_flags;
};

} // namespace update

#include "update/update_thread.h"

namespace update {

CUpdateThread::CUpdateThread(CAutoUpdater &updater, UpdateFlags &flags, QObject *parent)
    : QThread(parent)
    , m_updater(updater)
    , m_flags(flags)
{
}

CUpdateThread::~CUpdateThread()
{
    // The owner aborts the updater before it lets go of the thread; this only waits.
    wait();
}

void CUpdateThread::run()
{
    m_flags.updateCancelled.store(0);
    m_flags.downloadBusy.store(1);
    const DownloadResult result = m_updater.DownloadUpdate(*this, m_flags.updateCancelled);
    const bool cancelled = m_flags.updateCancelled.load() == 1;
    if (!cancelled) {
        m_flags.downloadBusy.store(0);
    }
    emit downloadFinished(static_cast<int>(result), cancelled);
}

void CUpdateThread::lineChanged(DownloadLine line, const QString &text)
{
    emit lineUpdated(static_cast<int>(line), text);
}

void CUpdateThread::progressChanged(qint64 copied, qint64 total)
{
    emit progressUpdated(copied, total);
}

} // namespace update

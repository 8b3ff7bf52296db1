// CUpdateFinalPage: downloads the new program file and shows how far the transfer has come.
#pragma once

#include "update/update_page.h"

#include <QTimer>
#include <memory>

class QLabel;
class QProgressBar;

namespace update {

class CUpdateThread;

class CUpdateFinalPage : public UpdatePage
{
    Q_OBJECT
public:
    explicit CUpdateFinalPage(CUpdatePropertySheet &sheet);
    ~CUpdateFinalPage() override;

    void activate() override;
    void deactivate() override;
    // Blocks until a running download has returned; the sheet cancels or aborts it first.
    void waitForDownload();

    QString savingFileText() const;
    QString fileText() const;
    QString timeText() const;
    QString rateText() const;
    int progressValue() const;
    int progressMaximum() const;

signals:
    // The download of this activation has ended with `result` (a DownloadResult).
    void downloadEnded(int result, bool cancelled);
    // The first bytes of the file have arrived.
    void transferStarted();

private:
    void startDownload();
    void showLine(int line, const QString &text);
    void showProgress(qint64 copied, qint64 total);
    void finishDownload(int result, bool cancelled);

    QLabel *m_savingFile;
    QLabel *m_file;
    QProgressBar *m_progress;
    QLabel *m_time;
    QLabel *m_rate;
    QTimer m_timer;
    std::unique_ptr<CUpdateThread> m_thread;
    bool m_active = false;
    bool m_transferSeen = false;
};

} // namespace update

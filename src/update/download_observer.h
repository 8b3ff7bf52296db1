// DownloadObserver: what a running download tells the page that shows it.
#pragma once

#include <QString>
#include <QtGlobal>

namespace update {

// The lines of the download page that the transfer fills in.
enum class DownloadLine {
    SavingFile, // "Saving file:" stage: getting the session, downloading, completed
    File, // the file and the server it comes from
    Time, // seconds so far and how much is copied
    Rate, // bytes per second
};

// Called on the thread that runs the download; an implementation that owns widgets must hand
// the news over to its own thread.
class DownloadObserver
{
public:
    virtual ~DownloadObserver() = default;
    virtual void lineChanged(DownloadLine line, const QString &text) = 0;
    // `total` is -1 while the server has not said how large the file is.
    virtual void progressChanged(qint64 copied, qint64 total) = 0;
};

} // namespace update

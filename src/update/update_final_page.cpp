#include "update/update_final_page.h"

#include "common/strings.h"
#include "update/update_property_sheet.h"
#include "update/update_thread.h"

#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace update {

namespace {

// The bar moves in steps of one transfer unit, so that its range fits an int for any size.
constexpr qint64 kStep = 4096;

int steps(qint64 bytes) { return static_cast<int>((bytes + kStep - 1) / kStep); }

} // namespace

CUpdateFinalPage::CUpdateFinalPage(CUpdatePropertySheet &sheet)
    : UpdatePage(sheet, QStringLiteral("Downloading files..."))
    , m_savingFile(new QLabel(this))
    , m_file(new QLabel(this))
    , m_progress(new QProgressBar(this))
    , m_time(new QLabel(this))
    , m_rate(new QLabel(this))
{
    m_savingFile->setObjectName(QStringLiteral("savingFileText"));
    m_file->setObjectName(QStringLiteral("fileText"));
    m_progress->setObjectName(QStringLiteral("downloadProgress"));
    m_time->setObjectName(QStringLiteral("timeText"));
    m_rate->setObjectName(QStringLiteral("rateText"));
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Saving file:"), m_savingFile);
    form->addRow(QStringLiteral("File:"), m_file);
    form->addRow(m_progress);
    form->addRow(QStringLiteral("Time:"), m_time);
    form->addRow(QStringLiteral("Rate:"), m_rate);
    body()->addLayout(form);

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CUpdateFinalPage::startDownload);
}

// The sheet has cancelled and waited already; the thread's destructor only joins.
CUpdateFinalPage::~CUpdateFinalPage() = default;

void CUpdateFinalPage::activate()
{
    m_active = true;
    m_transferSeen = false;
    // Neither Back nor Finish until the download has ended.
    sheet().setBackEnabled(false);
    sheet().setFinishEnabled(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    for (QLabel *line : { m_savingFile, m_file, m_time, m_rate }) {
        line->clear();
    }
    m_timer.start(sheet().startDelay());
}

void CUpdateFinalPage::deactivate()
{
    m_active = false;
    m_timer.stop();
}

void CUpdateFinalPage::waitForDownload()
{
    if (m_thread) {
        m_thread->wait();
    }
}

QString CUpdateFinalPage::savingFileText() const { return m_savingFile->text(); }
QString CUpdateFinalPage::fileText() const { return m_file->text(); }
QString CUpdateFinalPage::timeText() const { return m_time->text(); }
QString CUpdateFinalPage::rateText() const { return m_rate->text(); }
int CUpdateFinalPage::progressValue() const { return m_progress->value(); }
int CUpdateFinalPage::progressMaximum() const { return m_progress->maximum(); }

void CUpdateFinalPage::startDownload()
{
    waitForDownload();
    m_thread = std::make_unique<CUpdateThread>(sheet().updater(), sheet().flags());
    connect(m_thread.get(), &CUpdateThread::lineUpdated, this, &CUpdateFinalPage::showLine);
    connect(m_thread.get(), &CUpdateThread::progressUpdated, this, &CUpdateFinalPage::showProgress);
    connect(
        m_thread.get(), &CUpdateThread::downloadFinished, this, &CUpdateFinalPage::finishDownload);
    m_thread->start();
}

void CUpdateFinalPage::showLine(int line, const QString &text)
{
    switch (static_cast<DownloadLine>(line)) {
    case DownloadLine::SavingFile:
        m_savingFile->setText(text);
        break;
    case DownloadLine::File:
        m_file->setText(text);
        break;
    case DownloadLine::Time:
        m_time->setText(text);
        break;
    case DownloadLine::Rate:
        m_rate->setText(text);
        break;
    }
}

void CUpdateFinalPage::showProgress(qint64 copied, qint64 total)
{
    if (total < 0) {
        m_progress->setRange(0, 0); // size unknown: a busy bar
    } else {
        m_progress->setRange(0, qMax(1, steps(total)));
        m_progress->setValue(qMin(steps(copied), m_progress->maximum()));
    }
    if (copied > 0 && !m_transferSeen) {
        m_transferSeen = true;
        emit transferStarted();
    }
}

void CUpdateFinalPage::finishDownload(int result, bool cancelled)
{
    if (cancelled || !m_active) {
        return; // the wizard is closing; nothing more to say
    }
    sheet().setBackEnabled(true);
    sheet().setFinishEnabled(true);
    switch (static_cast<DownloadResult>(result)) {
    case DownloadResult::Done:
        if (m_progress->maximum() == 0) {
            m_progress->setRange(0, 1);
            m_progress->setValue(1);
        }
        break;
    case DownloadResult::RequestFailed:
        sheet().desktop().inform(&sheet(), text(common::str::kLatestUpdates));
        break;
    case DownloadResult::NoConnection:
    case DownloadResult::TransferFailed:
        sheet().desktop().inform(&sheet(), text(common::str::kNoConnection));
        break;
    case DownloadResult::Refused:
        sheet().desktop().inform(&sheet(),
            QStringLiteral("The update was not started. ") + sheet().updater().refusalReason());
        break;
    }
    emit downloadEnded(result, cancelled);
}

} // namespace update

#include "update/update_property_sheet.h"

#include "common/strings.h"
#include "update/update_final_page.h"
#include "update/update_process_page.h"
#include "update/update_start_page.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace update {

namespace {

QPushButton *wizardButton(const QString &label, const char *name, QWidget *parent)
{
    auto *button = new QPushButton(label, parent);
    button->setObjectName(QLatin1String(name));
    // Enter must not press a button the user did not choose.
    button->setAutoDefault(false);
    return button;
}

} // namespace

CUpdatePropertySheet::CUpdatePropertySheet(
    UpdateSettings settings, UpdateDesktop &desktop, QWidget *parent)
    : QDialog(parent)
    , m_updater(std::move(settings))
    , m_desktop(desktop)
    , m_pages(new QStackedWidget(this))
    , m_startPage(new CUpdateStartPage(*this))
    , m_processPage(new CUpdateProcessPage(*this))
    , m_finalPage(new CUpdateFinalPage(*this))
    , m_back(wizardButton(QStringLiteral("< Back"), "backButton", this))
    , m_next(wizardButton(QStringLiteral("Next >"), "nextButton", this))
    , m_finish(wizardButton(QStringLiteral("Finish"), "finishButton", this))
    , m_cancel(wizardButton(QStringLiteral("Cancel"), "cancelButton", this))
{
    setWindowTitle(QStringLiteral("Corvane Lumaris Update Wizard"));
    setModal(true);
    m_pages->addWidget(m_startPage);
    m_pages->addWidget(m_processPage);
    m_pages->addWidget(m_finalPage);

    auto *rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addWidget(m_finish);
    buttons->addSpacing(12);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages, 1);
    layout->addWidget(rule);
    layout->addLayout(buttons);

    connect(m_back, &QPushButton::clicked, this, &CUpdatePropertySheet::back);
    connect(m_next, &QPushButton::clicked, this, &CUpdatePropertySheet::next);
    connect(m_finish, &QPushButton::clicked, this, &CUpdatePropertySheet::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CUpdatePropertySheet::reject);
    resize(520, 380);
    showPage(0);
}

CUpdatePropertySheet::~CUpdatePropertySheet()
{
    // The pages' threads use the updater and flags, which die before the child widgets do.
    shutDown();
}

void CUpdatePropertySheet::setBackEnabled(bool enabled) { m_back->setEnabled(enabled); }
void CUpdatePropertySheet::setNextEnabled(bool enabled) { m_next->setEnabled(enabled); }
void CUpdatePropertySheet::setFinishEnabled(bool enabled) { m_finish->setEnabled(enabled); }

int CUpdatePropertySheet::currentPage() const { return m_pages->currentIndex(); }

QString CUpdatePropertySheet::fileToStart() const
{
    if (!m_finished || m_flags.updateCancelled.load() == 1) {
        return {};
    }
    return m_updater.downloadedPath();
}

void CUpdatePropertySheet::next()
{
    if (m_next->isEnabled() && currentPage() + 1 < m_pages->count()) {
        showPage(currentPage() + 1);
    }
}

void CUpdatePropertySheet::back()
{
    if (m_back->isEnabled() && currentPage() > 0) {
        showPage(currentPage() - 1);
    }
}

void CUpdatePropertySheet::accept()
{
    if (!m_finish->isEnabled() || m_finish->isHidden()) {
        return;
    }
    m_finished = true;
    shutDown();
    QDialog::accept();
}

void CUpdatePropertySheet::reject()
{
    if (m_flags.downloadBusy.load() == 1) {
        const std::string_view question = common::text(common::str::kAbortQuestion);
        if (!m_desktop.confirm(this,
                QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size())))) {
            return;
        }
        m_flags.updateCancelled.store(1);
        m_flags.downloadBusy.store(0);
    }
    shutDown();
    // Nothing is going to start a download made before the user cancelled.
    m_updater.discardDownload();
    QDialog::reject();
}

void CUpdatePropertySheet::showPage(int index)
{
    if (auto *leaving = qobject_cast<UpdatePage *>(m_pages->currentWidget())) {
        leaving->deactivate();
    }
    m_pages->setCurrentIndex(index);
    const bool last = index + 1 == m_pages->count();
    m_back->setEnabled(index > 0);
    m_next->setVisible(!last);
    m_next->setEnabled(!last);
    m_finish->setVisible(last);
    m_finish->setEnabled(false);
    static_cast<UpdatePage *>(m_pages->widget(index))->activate();
}

void CUpdatePropertySheet::shutDown()
{
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    for (int index = 0; index < m_pages->count(); ++index) {
        static_cast<UpdatePage *>(m_pages->widget(index))->deactivate();
    }
    if (!m_finished) {
        m_updater.abort();
    }
    m_processPage->waitForCheck();
    m_finalPage->waitForDownload();
}

} // namespace update

#include "update/update_process_page.h"

#include "common/strings.h"
#include "update/download_signature.h"
#include "update/update_property_sheet.h"

#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QVBoxLayout>

namespace update {

namespace {

// String 122 has two blanks after "update": the offered version goes between them.
constexpr qsizetype kVersionInsertAt = 13;

QString linkHtml(const char *colour)
{
    return QStringLiteral("<a href=\"upgrade\" style=\"color:%1\">Visit upgrade page</a>")
        .arg(QLatin1String(colour));
}

} // namespace

CUpdateProcessPage::CUpdateProcessPage(CUpdatePropertySheet &sheet)
    : UpdatePage(sheet, QStringLiteral("Checking for updates..."))
    , m_status(new QLabel(this))
    , m_animation(new QProgressBar(this))
    , m_majorRelease(new QLabel(QStringLiteral("A new major release is available.You need to pay "
                                               "to upgrade to new version."),
          this))
    , m_link(new QLabel(linkHtml("blue"), this))
{
    m_status->setObjectName(QStringLiteral("statusText"));
    m_status->setWordWrap(true);
    m_animation->setObjectName(QStringLiteral("searchAnimation"));
    m_animation->setTextVisible(false);
    m_majorRelease->setObjectName(QStringLiteral("majorReleaseText"));
    m_majorRelease->setWordWrap(true);
    m_link->setObjectName(QStringLiteral("upgradeLink"));
    m_link->setTextFormat(Qt::RichText);
    m_link->setCursor(Qt::PointingHandCursor);
    m_link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(m_link, &QLabel::linkActivated, this, &CUpdateProcessPage::openUpgradePage);
    body()->addWidget(m_status);
    body()->addWidget(m_animation);
    body()->addWidget(m_majorRelease);
    body()->addWidget(m_link);

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CUpdateProcessPage::startCheck);
}

CUpdateProcessPage::~CUpdateProcessPage()
{
    // The sheet has aborted and waited already; its updater may be gone by now.
    waitForCheck();
    delete m_check;
}

void CUpdateProcessPage::activate()
{
    m_active = true;
    m_status->setText(text(common::str::kSearchingUpdates));
    sheet().setNextEnabled(false);
    sheet().setBackEnabled(false);
    m_majorRelease->hide();
    m_link->hide();
    m_animation->setRange(0, 0); // a busy bar is the search animation
    m_animation->show();
    m_timer.start(sheet().startDelay());
}

void CUpdateProcessPage::deactivate()
{
    m_active = false;
    m_timer.stop();
}

void CUpdateProcessPage::waitForCheck()
{
    if (m_check != nullptr) {
        m_check->wait();
    }
}

QString CUpdateProcessPage::statusText() const { return m_status->text(); }

bool CUpdateProcessPage::majorReleaseShown() const { return !m_majorRelease->isHidden(); }

bool CUpdateProcessPage::searching() const { return !m_animation->isHidden(); }

void CUpdateProcessPage::startCheck()
{
    // Back stays disabled while a check runs, so the page cannot start a second one meanwhile.
    waitForCheck();
    delete m_check;
    CAutoUpdater &updater = sheet().updater();
    m_check = QThread::create(
        [this, &updater] { m_result.store(static_cast<int>(updater.CheckForUpdate())); });
    connect(m_check, &QThread::finished, this, &CUpdateProcessPage::showResult);
    m_check->start();
}

void CUpdateProcessPage::showResult()
{
    if (!m_active) {
        return; // the wizard is closing
    }
    const int result = m_result.load();
    m_animation->hide();
    sheet().setBackEnabled(true);
    const QString offered = sheet().updater().offeredVersion();
    const auto newUpdateText
        = [&] { return text(common::str::kNewUpdate).insert(kVersionInsertAt, offered); };
    switch (static_cast<CheckResult>(result)) {
    case CheckResult::NewerVersion:
        m_status->setText(newUpdateText());
        sheet().setNextEnabled(true);
        break;
    case CheckResult::NewMajorRelease:
        m_status->setText(text(common::str::kLatestUpdatesCancel));
        m_majorRelease->show();
        m_link->show();
        break;
    case CheckResult::NewerWithSecondLine:
        m_status->setText(newUpdateText());
        m_majorRelease->show();
        m_link->show();
        sheet().setNextEnabled(true);
        break;
    case CheckResult::NoConnection:
        m_status->setText(text(common::str::kNoConnection));
        break;
    case CheckResult::VersionFileNotOpened:
        m_status->setText(text(common::str::kLatestUpdatesCancel));
        break;
    case CheckResult::UpToDate:
        m_status->setText(text(common::str::kUpdated));
        break;
    case CheckResult::PlainHttpRefused:
        m_status->setText(QString::fromUtf8(
            kPlainHttpRefusal.data(), static_cast<qsizetype>(kPlainHttpRefusal.size())));
        break;
    case CheckResult::NotUnderstood:
    case CheckResult::NoInstalledVersion:
        break;
    }
    emit checkFinished(result);
}

void CUpdateProcessPage::openUpgradePage()
{
    const QString address = sheet().updater().settings().upgradePage;
    if (!address.isEmpty() && sheet().desktop().openAddress(address)) {
        m_link->setText(linkHtml("purple"));
    }
}

} // namespace update

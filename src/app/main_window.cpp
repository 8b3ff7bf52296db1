#include "app/main_window.h"

#include "job/result_delivery.h"
#include "job/run_report.h"

#include "app/about_dialog.h"
#include "app/app_settings.h"
#include "app/dialog_keys.h"
#include "app/log_report_dialog.h"
#include "app/pictures.h"
#include "app/qt_repair_host.h"
#include "app/save_complete_dialog.h"
#include "app/start_stop_dialog.h"
#include "app/user_info_dialog.h"
#include "common/strings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#ifdef ZR_HAVE_UPDATE_WIZARD
#include "update/update_wizard.h"
#endif

namespace app {

namespace {

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString resourceText(int id) { return fromView(common::text(id)); }

QString browseFolder(QWidget *parent)
{
    // "&Select folder" without its mnemonic, as a window title shows it.
    QString title = resourceText(common::str::kSelectFolder);
    title.remove(QLatin1Char('&'));
    return QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
}

// The workshop is a private MariaDB (or MySQL) server started from the installed server program.
bool findServerProgram()
{
    const QStringList extraPaths { QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"),
        QStringLiteral("/usr/libexec") };
    for (const QString &name : { QStringLiteral("mariadbd"), QStringLiteral("mysqld") }) {
        if (!QStandardPaths::findExecutable(name).isEmpty()
            || !QStandardPaths::findExecutable(name, extraPaths).isEmpty()) {
            return true;
        }
    }
    return false;
}

QToolButton *pictureButton(QWidget *parent, const char *id, Picture picture, int tooltipId)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(id));
    button->setIcon(pictureIcon(picture));
    button->setIconSize(QSize(24, 24));
    button->setAutoRaise(true);
    button->setToolTip(resourceText(tooltipId));
    return button;
}

} // namespace

CCorvaneLumerisZarafaRepairDlg::CCorvaneLumerisZarafaRepairDlg(
    job::RepairPhases &phases, logreport::LogReport &log, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , chooseFolder(browseFolder)
    , serverInstalled(findServerProgram)
    , serverDescription(tr("The database is rebuilt in the tool's own private workshop server; "
                           "enter the login for that server."))
    , m_phases(phases)
    , m_log(log)
{
    setObjectName(QStringLiteral("CCorvaneLumerisZarafaRepairDlg"));
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(241, 241, 241));
    setPalette(background);
    setAutoFillBackground(true);
    setWindowIcon(pictureIcon(Picture::Start));

    buildControls();

    m_host = new QtRepairHost(*this);
    m_control = std::make_unique<job::JobControl>(*m_host, m_phases, m_log);
    // The log and the report go beside the result, as the command line puts them.
    m_control->jobEnding = [this](const job::RepairJob &finished) {
        job::RunReport report = job::makeRunReport(finished);
        job::saveBesideResult(report, m_log);
    };

    // The window opens with nothing chosen: no progress, no list, Start/Stop and Log disabled.
    m_progress->hide();
    m_control->flags().readyToStart = 1;
    m_list->hide();
    m_startStop->setEnabled(false);
    m_logButton->setEnabled(false);
    setWindowTitle(fromView(common::kWindowTitle));

    ignoreDialogKeys(this);
}

CCorvaneLumerisZarafaRepairDlg::~CCorvaneLumerisZarafaRepairDlg()
{
    endJobForExit();
    m_control.reset();
}

void CCorvaneLumerisZarafaRepairDlg::buildControls()
{
    m_heading = new QLabel(tr("Repair Zarafa Mail Server Database"), this);
    m_heading->setObjectName(QStringLiteral("1014"));
    QFont headingFont = m_heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.6);
    headingFont.setBold(true);
    m_heading->setFont(headingFont);

    m_about = pictureButton(this, "1032", Picture::About, common::str::kAbout);
    m_help = pictureButton(this, "1022", Picture::Help, common::str::kHelp);
    m_update = pictureButton(this, "1023", Picture::Update, common::str::kUpdate);
    m_logButton = pictureButton(this, "1024", Picture::ViewLogs, common::str::kViewLogs);
    m_minimize = pictureButton(this, "1031", Picture::Minimize, common::str::kMinimize);
    m_close = pictureButton(this, "1033", Picture::Close, common::str::kClose);

    auto *pathLabel = new QLabel(tr("Specify Zarafa database folder path to repair"), this);
    pathLabel->setObjectName(QStringLiteral("1021"));
    m_folderEdit = new QLineEdit(this);
    m_folderEdit->setObjectName(QStringLiteral("1015"));
    m_folderEdit->setReadOnly(true);
    m_selectFolder
        = new QPushButton(pictureIcon(Picture::SelectFolder), tr("Select  Folder"), this);
    m_selectFolder->setObjectName(QStringLiteral("1016"));
    m_selectFolder->setIconSize(QSize(24, 24));

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("1017"));
    m_list->setColumnCount(1);
    m_list->setHeaderLabels({ resourceText(common::str::kDescription) });
    m_list->setRootIsDecorated(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setUniformRowHeights(true);
    m_list->header()->setSectionsMovable(true);
    m_list->header()->setStretchLastSection(false);
    m_list->setColumnWidth(0, 500);

    m_hint = new QLabel(tr("Click \"Select Folder\" button to specify database folder path.\n\n"
                           "Specified folder must contain a Zarafa database and related IBDATA1 "
                           "file."),
        this);
    m_hint->setObjectName(QStringLiteral("1025"));
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setWordWrap(true);

    m_statusText = new QLabel(this);
    m_statusText->setObjectName(QStringLiteral("1020"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("1019"));
    m_progress->setTextVisible(false);

    m_startStop = new QPushButton(this);
    m_startStop->setObjectName(QStringLiteral("1018"));
    m_startStop->setIconSize(QSize(24, 24));
    m_startStop->setMinimumWidth(120);
    setStartStopPicture(job::StartStopPicture::Start);

    auto *titleBar = new QHBoxLayout;
    titleBar->addWidget(m_heading);
    titleBar->addStretch();
    for (QToolButton *button : { m_about, m_help, m_update, m_logButton, m_minimize, m_close }) {
        titleBar->addWidget(button);
    }
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folderEdit, 1);
    folderRow->addWidget(m_selectFolder);
    // The hint lies where the list is shown; the two share one place.
    auto *listPlace = new QGridLayout;
    listPlace->addWidget(m_list, 0, 0);
    listPlace->addWidget(m_hint, 0, 0);
    auto *bottomRow = new QHBoxLayout;
    auto *statusColumn = new QVBoxLayout;
    statusColumn->addWidget(m_statusText);
    statusColumn->addWidget(m_progress);
    bottomRow->addLayout(statusColumn, 1);
    bottomRow->addSpacing(12);
    bottomRow->addWidget(m_startStop, 0, Qt::AlignBottom);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 10, 16, 14);
    layout->addLayout(titleBar);
    layout->addSpacing(6);
    layout->addWidget(pathLabel);
    layout->addLayout(folderRow);
    layout->addLayout(listPlace, 1);
    layout->addLayout(bottomRow);
    resize(780, 520);

    connect(
        m_selectFolder, &QPushButton::clicked, this, &CCorvaneLumerisZarafaRepairDlg::selectFolder);
    connect(m_startStop, &QPushButton::clicked, this, &CCorvaneLumerisZarafaRepairDlg::startStop);
    connect(
        m_logButton, &QToolButton::clicked, this, &CCorvaneLumerisZarafaRepairDlg::showLogReport);
    connect(m_help, &QToolButton::clicked, this, &CCorvaneLumerisZarafaRepairDlg::showHelp);
    connect(m_update, &QToolButton::clicked, this, &CCorvaneLumerisZarafaRepairDlg::showUpdate);
    connect(m_about, &QToolButton::clicked, this, &CCorvaneLumerisZarafaRepairDlg::showAbout);
    connect(m_minimize, &QToolButton::clicked, this, &QWidget::showMinimized);
    connect(m_close, &QToolButton::clicked, this, &QWidget::close);
}

QWidget *CCorvaneLumerisZarafaRepairDlg::controlWidget(job::Control control) const
{
    switch (control) {
    case job::Control::SelectFolder:
        return m_selectFolder;
    case job::Control::StartStop:
        return m_startStop;
    case job::Control::Update:
        return m_update;
    case job::Control::Log:
        return m_logButton;
    case job::Control::ProgressBar:
        return m_progress;
    case job::Control::StatusText:
        return m_statusText;
    case job::Control::ListView:
        return m_list;
    case job::Control::HintText:
        return m_hint;
    }
    return m_hint;
}

job::Answer CCorvaneLumerisZarafaRepairDlg::showMessage(
    const job::Message &message, bool commandKeys)
{
    return CStartStop::showModal(message, commandKeys, this);
}

void CCorvaneLumerisZarafaRepairDlg::statusLine(int kind, const QString &name)
{
    if (kind < 1 || kind > 6) {
        return;
    }
    // The bar measures the run's work (showProgress); the status line only names the step, and
    // its last kind puts the bar at its end.
    m_progress->setRange(0, kProgressMaximum);
    if (kind == 6) {
        m_progress->setValue(kProgressMaximum);
    }
    m_statusText->setText(QString::fromStdString(common::statusText(kind, name.toStdString())));
}

void CCorvaneLumerisZarafaRepairDlg::showProgress(const job::Progress &progress)
{
    m_progress->setRange(0, kProgressMaximum);
    const int value = static_cast<int>(progress.fraction * kProgressMaximum + 0.5);
    if (progress.newRun) {
        m_progress->setValue(value);
    } else if (value > m_progress->value()) {
        m_progress->setValue(value);
    }
    if (!progress.activity.empty()) {
        m_statusText->setText(QString::fromStdString(progress.activity));
    }
}

void CCorvaneLumerisZarafaRepairDlg::setStartStopPicture(job::StartStopPicture picture)
{
    const bool start = picture == job::StartStopPicture::Start;
    m_startStopPicture = start ? QStringLiteral("start") : QStringLiteral("stop");
    m_startStop->setIcon(pictureIcon(start ? Picture::Start : Picture::Stop));
    m_startStop->setText(start ? tr("Start") : tr("Stop"));
}

void CCorvaneLumerisZarafaRepairDlg::scrollListToTop() { m_list->scrollToTop(); }

void CCorvaneLumerisZarafaRepairDlg::clearList() { m_list->clear(); }

void CCorvaneLumerisZarafaRepairDlg::addListRow(int position, const QString &text)
{
    auto *item = new QTreeWidgetItem({ text });
    if (position < 0 || position >= m_list->topLevelItemCount()) {
        m_list->addTopLevelItem(item);
    } else {
        m_list->insertTopLevelItem(position, item);
    }
    m_list->scrollToItem(item);
}

void CCorvaneLumerisZarafaRepairDlg::showCompletion(const job::Completion &completion)
{
    CSaveComplete dialog(completion, this);
    dialog.openLog = [this] { showLogReport(); };
    dialog.exec();
}

std::optional<job::LoginValues> CCorvaneLumerisZarafaRepairDlg::askLogin(
    const std::function<bool()> &confirmAbandon)
{
    CUserInfo dialog(serverDescription, confirmAbandon, this);
    return dialog.ask();
}

QStringList CCorvaneLumerisZarafaRepairDlg::listRows() const
{
    QStringList rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        rows << m_list->topLevelItem(i)->text(0);
    }
    return rows;
}

void CCorvaneLumerisZarafaRepairDlg::selectFolder()
{
    if (!serverInstalled()) {
        showMessage(
            job::Message {
                std::string(common::text(common::str::kMySqlNotInstalledMessage)), 1, true, true },
            false);
        return;
    }
    const QString folder = chooseFolder(this);
    if (folder.isEmpty()) {
        return; // cancelled: the previous folder and the Start/Stop state stay
    }
    useFolder(folder);
}

void CCorvaneLumerisZarafaRepairDlg::useFolder(const QString &folder)
{
    m_folderEdit->setText(folder);
    m_control->folderChosen(QFile::encodeName(folder).toStdString());
    m_progress->setRange(0, 0);
}

void CCorvaneLumerisZarafaRepairDlg::startStop() { m_control->startStopPressed(); }

void CCorvaneLumerisZarafaRepairDlg::showLogReport()
{
    if (openLogReport) {
        openLogReport();
        return;
    }
    CLogReport dialog(m_log, this);
    dialog.exec();
}

void CCorvaneLumerisZarafaRepairDlg::showHelp()
{
    QString folder = helpFolderSetting();
    if (folder.isEmpty()) {
        // No help folder configured: the page that ships beside the program in the build, or
        // in the package's documentation folder once installed.
        folder = QCoreApplication::applicationDirPath();
        if (!QFileInfo::exists(folder + QStringLiteral("/help.html"))) {
            folder += QStringLiteral("/../share/doc/zarafa-repair");
        }
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder + QStringLiteral("/help.html")));
}

void CCorvaneLumerisZarafaRepairDlg::showUpdate()
{
#ifdef ZR_HAVE_UPDATE_WIZARD
    update::runUpdateWizard(this);
#endif
}

void CCorvaneLumerisZarafaRepairDlg::showAbout()
{
    CAboutDlg dialog(this);
    dialog.exec();
}

void CCorvaneLumerisZarafaRepairDlg::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    const job::Answer answer = showMessage(
        job::Message { std::string(common::text(common::str::kExitQuestion)), 2, false, false },
        false);
    m_control->flags().confirmAnswer = answer == job::Answer::Yes ? 1 : 0;
    if (answer != job::Answer::Yes) {
        event->ignore();
        return;
    }
    m_closing = true;
    hide();
    endJobForExit();
    event->accept();
}

void CCorvaneLumerisZarafaRepairDlg::endOnSignal()
{
    if (m_closing) {
        return;
    }
    m_closing = true;
    hide();
    endJobForExit();
    QCoreApplication::exit(1);
}

void CCorvaneLumerisZarafaRepairDlg::endJobForExit()
{
    if (!m_control) {
        return;
    }
    m_host->shutDown();
    if (m_control->jobRunning()) {
        m_control->flags().userStopRequested = 1;
        m_control->flags().stopRequested = 1;
    }
    // The job may be waiting for this thread to take one of its calls; keep taking them (they
    // return at once now) until the job has put the server's files back and ended.
    while (m_control->jobRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    m_control->waitForJob();
}

void CCorvaneLumerisZarafaRepairDlg::mousePressEvent(QMouseEvent *event)
{
    // The window has no title bar; dragging its background moves it.
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CCorvaneLumerisZarafaRepairDlg::contextMenuEvent(QContextMenuEvent *event)
{
    // The window menu's About item, where a window without a title bar can offer it.
    QMenu menu(this);
    menu.addAction(
        resourceText(common::str::kAboutMenu), this, &CCorvaneLumerisZarafaRepairDlg::showAbout);
    menu.exec(event->globalPos());
}

} // namespace app

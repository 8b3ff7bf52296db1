#include "app/save_complete_dialog.h"

#include "app/link_label.h"
#include "app/pictures.h"
#include "common/strings.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QUrl>
#include <QVBoxLayout>

namespace app {

namespace {

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Mailbox lines the dialog shows before it points to the log for the rest.
constexpr std::size_t kMailboxesShown = 8;

} // namespace

CSaveComplete::CSaveComplete(const job::Completion &completion, QWidget *parent)
    : QDialog(parent)
    , openFolder([](const QString &folder) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    })
    , m_repairedPath(fromUtf8(completion.repairedPath))
{
    const QString repairedPath = m_repairedPath;
    setObjectName(QStringLiteral("CSaveComplete"));
    setWindowTitle(QString::fromUtf8(
        common::kDialogTitle.data(), static_cast<qsizetype>(common::kDialogTitle.size())));
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(241, 241, 241));
    setPalette(background);
    setAutoFillBackground(true);

    auto *picture = new QLabel(this);
    // The check mark only for a run that lost nothing.
    picture->setPixmap(
        picturePixmap(completion.withLosses ? Picture::Information : Picture::Completed, 48));
    auto *text = new QLabel(fromUtf8(completion.withLosses ? common::kCompletionWithLossesText
                                                           : common::kCompletionText),
        this);
    text->setObjectName(QStringLiteral("1027"));
    m_link = new LinkLabel(tr("Repaired File Path"), this);
    m_link->setObjectName(QStringLiteral("1026"));
    // The folder itself, so that the user can read where the result lies even without a file
    // manager.
    m_link->setToolTip(repairedPath);
    auto *ok = new QPushButton(tr("Ok"), this);
    ok->setObjectName(QStringLiteral("1028"));
    ok->setDefault(true);

    connect(m_link, &LinkLabel::clicked, this, &CSaveComplete::openRepairedPath);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *texts = new QVBoxLayout;
    texts->addWidget(text);
    if (completion.withLosses) {
        auto *counts = new QLabel(fromUtf8(completion.counts) + QStringLiteral("."), this);
        counts->setObjectName(QStringLiteral("counts"));
        counts->setWordWrap(true);
        counts->setTextInteractionFlags(Qt::TextSelectableByMouse);
        texts->addWidget(counts);
        if (!completion.mailboxes.empty()) {
            // Whose mail it was, the first few mailboxes; the log names every one.
            QStringList lines;
            for (std::size_t i = 0; i < completion.mailboxes.size() && i < kMailboxesShown; ++i) {
                lines << fromUtf8(completion.mailboxes[i]);
            }
            if (completion.mailboxes.size() > kMailboxesShown) {
                lines << tr("%n more mailbox(es) in the log", nullptr,
                    static_cast<int>(completion.mailboxes.size() - kMailboxesShown));
            }
            auto *mailboxes = new QLabel(lines.join(QLatin1Char('\n')), this);
            mailboxes->setObjectName(QStringLiteral("mailboxes"));
            mailboxes->setWordWrap(true);
            mailboxes->setTextInteractionFlags(Qt::TextSelectableByMouse);
            texts->addWidget(mailboxes);
        }
        // Which rows, pages and tables: the log names each one.
        auto *log = new LinkLabel(tr("View the log of what was lost"), this);
        log->setObjectName(QStringLiteral("viewLog"));
        connect(log, &LinkLabel::clicked, this, [this, log] {
            log->setVisited(true);
            if (openLog) {
                openLog();
            }
        });
        texts->addWidget(log);
    }
    texts->addWidget(m_link);
    // The path as text to select, copy or type into a terminal.
    auto *path = new QLineEdit(repairedPath, this);
    path->setObjectName(QStringLiteral("resultPath"));
    path->setReadOnly(true);
    path->setMinimumWidth(path->fontMetrics().horizontalAdvance(repairedPath) + 16);
    auto *open = new QPushButton(tr("Open folder"), this);
    open->setObjectName(QStringLiteral("openFolder"));
    auto *copy = new QPushButton(tr("Copy path"), this);
    copy->setObjectName(QStringLiteral("copyPath"));
    connect(open, &QPushButton::clicked, this, &CSaveComplete::openRepairedPath);
    connect(copy, &QPushButton::clicked, this,
        [this] { QGuiApplication::clipboard()->setText(m_repairedPath); });
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(path, 1);
    pathRow->addWidget(open);
    pathRow->addWidget(copy);
    texts->addLayout(pathRow);
    m_openProblem = new QLabel(
        tr("No file manager could be started. The result is in the folder shown above."), this);
    m_openProblem->setObjectName(QStringLiteral("openProblem"));
    m_openProblem->setWordWrap(true);
    m_openProblem->hide();
    texts->addWidget(m_openProblem);
    auto *top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

void CSaveComplete::openRepairedPath()
{
    m_link->setVisited(true);
    const bool opened = openFolder && openFolder(m_repairedPath);
    m_openProblem->setVisible(!opened);
}

} // namespace app

#include "app/log_report_dialog.h"

#include "app/dialog_keys.h"
#include "app/start_stop_dialog.h"
#include "common/strings.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace app {

namespace {

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString askSaveFile(QWidget *parent)
{
    // The filter "Log File (*.TXT)|*.TXT||" in Qt's form; both cases, as names on this system
    // are case-sensitive. Replacing an existing file is asked by the dialog itself.
    return QFileDialog::getSaveFileName(
        parent, QObject::tr("Save Log"), QString(), QObject::tr("Log File (*.TXT *.txt)"));
}

} // namespace

CLogReport::CLogReport(logreport::LogReport &log, QWidget *parent)
    : QDialog(parent)
    , chooseSaveFile(askSaveFile)
    , m_log(log)
{
    setObjectName(QStringLiteral("CLogReport"));
    setWindowTitle(tr("Log Report"));
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(241, 241, 241));
    setPalette(background);
    setAutoFillBackground(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("1017"));
    m_list->setColumnCount(1);
    m_list->setHeaderLabels({ fromView(common::text(common::str::kDescription)) });
    m_list->setRootIsDecorated(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setUniformRowHeights(true);
    m_list->header()->setStretchLastSection(false);
    m_list->setColumnWidth(0, 700);
    m_list->setMinimumSize(720, 300);

    m_save = new QPushButton(tr("Save Log"), this);
    m_save->setObjectName(QStringLiteral("1"));
    m_clear = new QPushButton(tr("Clear Log"), this);
    m_clear->setObjectName(QStringLiteral("1008"));
    auto *close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("2"));
    connect(m_save, &QPushButton::clicked, this, &CLogReport::saveLog);
    connect(m_clear, &QPushButton::clicked, this, &CLogReport::clearLog);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_save);
    buttons->addWidget(m_clear);
    buttons->addStretch();
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);

    m_clear->setEnabled(!m_log.cleared());
    m_save->setEnabled(!m_log.saved());
    for (const std::string &row : m_log.reportRows()) {
        new QTreeWidgetItem(m_list, { QString::fromStdString(row) });
    }

    ignoreDialogKeys(this);
}

QStringList CLogReport::rows() const
{
    QStringList out;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        out << m_list->topLevelItem(i)->text(0);
    }
    return out;
}

void CLogReport::clearLog()
{
    m_list->clear();
    m_save->setEnabled(false);
    m_clear->setEnabled(false);
    m_log.clear();
}

void CLogReport::saveLog()
{
    if (m_list->topLevelItemCount() == 0) {
        return;
    }
    std::vector<std::string> lines;
    for (const QString &row : rows()) {
        lines.push_back(row.toStdString());
    }
    for (;;) {
        const QString chosen = chooseSaveFile(this);
        if (chosen.isEmpty()) {
            return;
        }
        const std::string written
            = logreport::saveLogFile(QFile::encodeName(chosen).toStdString(), lines);
        if (written.empty()) {
            CStartStop::showModal(
                job::Message {
                    std::string(common::text(common::str::kFileCantBeOpened)), 4, true, false },
                false, this);
            continue;
        }
        CStartStop::showModal(
            job::Message { std::string(common::text(common::str::kLogSaved)), 1, true, false },
            false, this);
        m_save->setEnabled(false);
        m_log.markSaved();
        return;
    }
}

} // namespace app

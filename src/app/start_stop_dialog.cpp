#include "app/start_stop_dialog.h"

#include "app/app_settings.h"
#include "app/dialog_keys.h"
#include "app/link_label.h"
#include "app/pictures.h"
#include "common/strings.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace app {

namespace {

constexpr int kPictureSize = 48;

QString qText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CStartStop::CStartStop(const job::Message &message, bool commandKeys, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(qText(common::kDialogTitle));
    setObjectName(QStringLiteral("CStartStop"));
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(241, 241, 241));
    setPalette(background);
    setAutoFillBackground(true);

    m_text = new QLabel(QString::fromStdString(message.text), this);
    m_text->setObjectName(QStringLiteral("1006"));
    m_text->setWordWrap(true);
    m_text->setMinimumWidth(320);
    m_picture1 = new QLabel(this);
    m_picture1->setObjectName(QStringLiteral("1016"));
    m_picture1->setPixmap(picturePixmap(Picture::Information, kPictureSize));
    m_picture2 = new QLabel(this);
    m_picture2->setObjectName(QStringLiteral("picture2"));
    m_picture2->setPixmap(picturePixmap(Picture::Question, kPictureSize));
    m_ok = new QPushButton(tr("OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_yes = new QPushButton(tr("Yes"), this);
    m_yes->setObjectName(QStringLiteral("1017"));
    m_no = new QPushButton(tr("No"), this);
    m_no->setObjectName(QStringLiteral("2"));
    m_link = new LinkLabel(tr("Download MySQL"), this);
    m_link->setObjectName(QStringLiteral("1029"));

    // Both pictures sit at the same place; which one shows is the message's choice. Any other
    // value keeps the first, as the dialog is laid out.
    m_picture2->setVisible(message.picture == 2);
    m_picture1->setVisible(message.picture != 2);

    const bool okOnly = message.okOnly || message.downloadLink;
    m_question = !okOnly;
    m_ok->setVisible(okOnly);
    m_yes->setVisible(!okOnly);
    m_no->setVisible(!okOnly);
    m_link->setVisible(message.downloadLink);

    connect(m_ok, &QPushButton::clicked, this, [this] {
        m_answer = job::Answer::Ok;
        accept();
    });
    connect(m_yes, &QPushButton::clicked, this, [this] {
        m_answer = job::Answer::Yes;
        accept();
    });
    connect(m_no, &QPushButton::clicked, this, [this] {
        m_answer = job::Answer::No;
        QDialog::reject();
    });
    connect(m_link, &LinkLabel::clicked, this, &CStartStop::followDownloadLink);

    auto *pictures = new QVBoxLayout;
    pictures->addWidget(m_picture1);
    pictures->addWidget(m_picture2);
    pictures->addStretch();
    auto *top = new QHBoxLayout;
    top->addLayout(pictures);
    top->addSpacing(12);
    top->addWidget(m_text, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_link);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_yes);
    buttons->addWidget(m_no);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    if (!commandKeys) {
        ignoreDialogKeys(this);
    } else if (okOnly) {
        m_ok->setDefault(true);
    }
}

void CStartStop::reject()
{
    // The close box and Escape: No for a question; a dialog with OK only just closes.
    m_answer = m_question ? job::Answer::No : job::Answer::Ok;
    QDialog::reject();
}

job::Answer CStartStop::ask()
{
    exec();
    return m_answer;
}

job::Answer CStartStop::showModal(const job::Message &message, bool commandKeys, QWidget *parent)
{
    CStartStop dialog(message, commandKeys, parent);
    return dialog.ask();
}

void CStartStop::followDownloadLink()
{
    const QString address = downloadLinkSetting();
    if (address.isEmpty()) {
        return;
    }
    m_link->setVisited(true);
    const QUrl url = QUrl::fromUserInput(address);
    if (QDesktopServices::openUrl(url)) {
        m_link->setVisited(false);
    }
}

} // namespace app

#include "app/user_info_dialog.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

namespace {

// Arial, 30 pixels high and 10 wide on average: a narrow, italic, underlined face.
QFont labelFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(22);
    font.setStretch(QFont::Condensed);
    font.setItalic(true);
    font.setUnderline(true);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace

CUserInfo::CUserInfo(const QString &server, std::function<bool()> confirmAbandon, QWidget *parent)
    : QDialog(parent)
    , m_confirmAbandon(std::move(confirmAbandon))
{
    setObjectName(QStringLiteral("CUserInfo"));
    setWindowTitle(tr("Connecting to MySQL..."));
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(241, 241, 241));
    setPalette(background);
    setAutoFillBackground(true);

    auto *group = new QGroupBox(tr("User Login Information"), this);
    group->setFont(labelFont());
    const QFont plain = font();
    m_host = new QLineEdit(this);
    m_host->setObjectName(QStringLiteral("host"));
    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("user"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    auto *form = new QFormLayout(group);
    const auto addRow = [&](const QString &label, QLineEdit *edit) {
        auto *text = new QLabel(label, group);
        text->setFont(labelFont());
        edit->setFont(plain);
        form->addRow(text, edit);
    };
    addRow(tr("Host Name"), m_host);
    addRow(tr("User Name"), m_user);
    addRow(tr("Password"), m_password);

    auto *serverLine = new QLabel(server, this);
    serverLine->setObjectName(QStringLiteral("server"));
    serverLine->setWordWrap(true);

    auto *ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    // OK is the default button, so that Enter after the password logs in.
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        m_accepted = true;
        accept();
    });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(serverLine);
    layout->addLayout(buttons);
    setMinimumWidth(420);
    m_host->setFocus();
}

std::optional<job::LoginValues> CUserInfo::ask()
{
    exec();
    if (!m_accepted) {
        return std::nullopt;
    }
    return job::LoginValues { m_host->text().toStdString(), m_user->text().toStdString(),
        m_password->text().toStdString() };
}

void CUserInfo::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CUserInfo::reject()
{
    // The close box arrives here (Escape is held back above): ask whether to run on. When the
    // dialog stays visible, QDialog's close handling keeps it open.
    if (!m_confirmAbandon || m_confirmAbandon()) {
        QDialog::reject();
    }
}

} // namespace app

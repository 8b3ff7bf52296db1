#include "modal_driver.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace testing_support {

ModalDriver::ModalDriver()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    m_timer.start(10);
}

QString messageText(QWidget *dialog)
{
    auto *text = dialog->findChild<QLabel *>(QStringLiteral("1006"));
    return text ? text->text() : QString();
}

void ModalDriver::click(const QString &objectName)
{
    add([objectName](QWidget *dialog) {
        auto *button = dialog->findChild<QPushButton *>(objectName);
        if (button && button->isVisible()) {
            button->click();
        } else {
            qWarning("no visible button %s in %s", qPrintable(objectName),
                qPrintable(dialog->objectName()));
            static_cast<QDialog *>(dialog)->done(QDialog::Rejected);
        }
    });
}

void ModalDriver::login(const QString &host, const QString &user, const QString &password)
{
    add([=](QWidget *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("host"))->setText(host);
        dialog->findChild<QLineEdit *>(QStringLiteral("user"))->setText(user);
        dialog->findChild<QLineEdit *>(QStringLiteral("password"))->setText(password);
        dialog->findChild<QPushButton *>(QStringLiteral("1"))->click();
    });
}

void ModalDriver::poll()
{
    QWidget *dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || !dialog->isVisible() || dialog->property("zrHandled").toBool()) {
        return;
    }
    dialog->setProperty("zrHandled", true);
    const QString text = messageText(dialog);
    m_seen << (text.isEmpty() ? dialog->objectName() : dialog->objectName() + ": " + text);
    if (m_steps.empty()) {
        ++m_unexpected;
        qWarning("unexpected dialog %s", qPrintable(m_seen.last()));
        static_cast<QDialog *>(dialog)->done(QDialog::Rejected);
        return;
    }
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    step(dialog);
}

} // namespace testing_support

// CUserInfo: the login dialog that asks for the MySQL host, user name and password.
#pragma once

#include "job/repair_host.h"

#include <QDialog>
#include <functional>
#include <optional>

class QLineEdit;

namespace app {

class CUserInfo : public QDialog
{
    Q_OBJECT
public:
    // `server` says which server the login is for; `confirmAbandon` is asked when the dialog is
    // closed without OK and returns true to let it close.
    CUserInfo(
        const QString &server, std::function<bool()> confirmAbandon, QWidget *parent = nullptr);

    // The values typed when OK was pressed; nothing when the login was abandoned.
    std::optional<job::LoginValues> ask();

protected:
    void reject() override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::function<bool()> m_confirmAbandon;
    QLineEdit *m_host = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    bool m_accepted = false;
};

} // namespace app

// CAboutDlg: the About box with the product, its version and the running system.
#pragma once

#include <QDialog>

namespace app {

class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget *parent = nullptr);

    // The distribution's name and the kernel version, e.g. "Debian GNU/Linux 12 (bookworm)" and
    // "Kernel 6.1.0-18-amd64".
    static QString systemInformation();
};

} // namespace app

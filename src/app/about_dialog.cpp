#include "app/about_dialog.h"

#include "app/dialog_keys.h"
#include "app/pictures.h"
#include "common/strings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

namespace app {

namespace {

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr const char *kEula
    = "This program reads the damaged database folder only and never writes to it. It rebuilds "
      "the database in a private server and hands the result over as a new folder.\n\n"
      "The program is provided as is, without warranty of any kind. Keep a copy of the damaged "
      "folder until the recovered database has been checked.";

} // namespace

QString CAboutDlg::systemInformation()
{
    return QSysInfo::prettyProductName() + QStringLiteral("\n") + QSysInfo::kernelType()
        + QStringLiteral(" ") + QSysInfo::kernelVersion() + QStringLiteral(" (")
        + QSysInfo::currentCpuArchitecture() + QStringLiteral(")");
}

CAboutDlg::CAboutDlg(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CAboutDlg"));
    setWindowTitle(tr("Corvane Lumaris Zarafa Recovery"));
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(241, 241, 241));
    setPalette(background);
    setAutoFillBackground(true);

    auto *picture = new QLabel(this);
    picture->setPixmap(picturePixmap(Picture::About, 48));
    auto *product = new QLabel(fromView(common::kProductName), this);
    product->setObjectName(QStringLiteral("product"));
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    auto *version = new QLabel(
        tr("Version :") + QStringLiteral(" ") + fromView(common::kProductVersion), this);
    version->setObjectName(QStringLiteral("version"));
    auto *systemTitle = new QLabel(tr("System Information"), this);
    systemTitle->setFont(bold);
    auto *system = new QLabel(systemInformation(), this);
    system->setObjectName(QStringLiteral("system"));
    system->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *eula = new QPushButton(tr("EULA"), this);
    eula->setObjectName(QStringLiteral("eula"));
    auto *ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    connect(eula, &QPushButton::clicked, this, [this] {
        QMessageBox box(
            QMessageBox::NoIcon, tr("EULA"), QString::fromUtf8(kEula), QMessageBox::Ok, this);
        box.exec();
    });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(version);
    texts->addSpacing(10);
    texts->addWidget(systemTitle);
    texts->addWidget(system);
    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(eula);
    buttons->addStretch();
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    ignoreDialogKeys(this);
}

} // namespace app

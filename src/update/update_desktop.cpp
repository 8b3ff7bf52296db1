#include "update/update_desktop.h"

#include "common/strings.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace update {

namespace {

QString dialogTitle()
{
    return QString::fromUtf8(
        common::kDialogTitle.data(), static_cast<qsizetype>(common::kDialogTitle.size()));
}

} // namespace

void SystemDesktop::inform(QWidget *parent, const QString &text)
{
    QMessageBox::information(parent, dialogTitle(), text, QMessageBox::Ok);
}

bool SystemDesktop::confirm(QWidget *parent, const QString &text)
{
    return QMessageBox::question(
               parent, dialogTitle(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

bool SystemDesktop::openAddress(const QString &address)
{
    return QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

bool SystemDesktop::startAfterExit(const QString &path)
{
    return startAfterProcessEnds(path, QCoreApplication::applicationPid());
}

void SystemDesktop::quitProgram()
{
    // exit() rather than quit(): the main window's close question must not stop an update that
    // the user has just finished.
    QCoreApplication::exit(0);
}

bool startAfterProcessEnds(const QString &path, qint64 waitFor)
{
    const QFileInfo file(path);
    if (!file.isFile() || !file.isExecutable()) {
        return false;
    }
    // The shell outlives this process; it polls for the old program's end so that the new
    // installer never finds it still running.
    const QString script
        = QStringLiteral("while kill -0 \"$1\" 2>/dev/null; do sleep 1; done; exec \"$0\"");
    return QProcess::startDetached(QStringLiteral("/bin/sh"),
        { QStringLiteral("-c"), script, file.absoluteFilePath(), QString::number(waitFor) },
        file.absolutePath());
}

} // namespace update

// The completion dialog's result path: shown as text to select, copied to the clipboard, opened in
// the file manager, and said plainly when no file manager can be started.
#include "app/save_complete_dialog.h"
#include "support/temp_dir.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdlib>

using app::CSaveComplete;

class CompletionDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void pathIsSelectableTextAndCopies();
    void openFolderSaysSoWhenNoFileManagerStarts();
};

namespace {

const job::Completion kResult {
    "/root/zarafa-repair/recovered-2026-12-08T04-53-05", false, {}, {} };

QPushButton *button(QWidget &dialog, const char *name)
{
    auto *found = dialog.findChild<QPushButton *>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no button %s", name);
    }
    return found;
}

} // namespace

void CompletionDialogTest::pathIsSelectableTextAndCopies()
{
    CSaveComplete dialog(kResult);
    dialog.show();
    auto *path = dialog.findChild<QLineEdit *>(QStringLiteral("resultPath"));
    QVERIFY(path != nullptr);
    QCOMPARE(path->text(), QString::fromStdString(kResult.repairedPath));
    QVERIFY(path->isReadOnly());
    path->selectAll();
    QCOMPARE(path->selectedText(), path->text());
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    button(dialog, "copyPath")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), path->text());
}

void CompletionDialogTest::openFolderSaysSoWhenNoFileManagerStarts()
{
    CSaveComplete dialog(kResult);
    dialog.show();
    auto *problem = dialog.findChild<QLabel *>(QStringLiteral("openProblem"));
    QVERIFY(problem != nullptr);
    QVERIFY(!problem->isVisible());

    QString asked;
    dialog.openFolder = [&asked](const QString &folder) {
        asked = folder;
        return true;
    };
    button(dialog, "openFolder")->click();
    QCOMPARE(asked, QString::fromStdString(kResult.repairedPath));
    QVERIFY(!problem->isVisible());

    // The desktop's own opener, on a machine where no program to open folders can be found.
    CSaveComplete bare(kResult);
    bare.show();
    testing_support::TempDir empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(empty.path().string()));
    button(bare, "openFolder")->click();
    qputenv("PATH", path);
    QVERIFY(bare.findChild<QLabel *>(QStringLiteral("openProblem"))->isVisible());
    // The path stays readable in the dialog, whatever the file manager did.
    QCOMPARE(bare.findChild<QLineEdit *>(QStringLiteral("resultPath"))->text(),
        QString::fromStdString(kResult.repairedPath));
}

QTEST_MAIN(CompletionDialogTest)
#include "completion_dialog_test.moc"

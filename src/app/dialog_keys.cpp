#include "app/dialog_keys.h"

#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QPushButton>
#include <QWidget>

namespace app {

namespace {

class DialogKeyFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && watched == parent()) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            // The window sees these only after the focused control left them alone; from here
            // on they would close the dialog or press its default button.
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
                event->accept();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void ignoreDialogKeys(QWidget *window)
{
    for (auto *button : window->findChildren<QPushButton *>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    window->installEventFilter(new DialogKeyFilter(window));
}

} // namespace app

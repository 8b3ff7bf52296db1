// ModalDriver: answers the modal dialogs the window opens, in turn, from a script; it watches the
// active modal widget from the test's own event loop, also inside nested dialog loops.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>

class QWidget;

namespace testing_support {

class ModalDriver : public QObject
{
    Q_OBJECT
public:
    // A step gets the dialog; it acts on it (usually clicks a button).
    using Step = std::function<void(QWidget *dialog)>;

    ModalDriver();

    void add(Step step) { m_steps.push_back(std::move(step)); }
    // Clicks the button named `objectName` of the next dialog.
    void click(const QString &objectName);
    // Fills the login dialog and presses OK.
    void login(const QString &host, const QString &user, const QString &password);

    // The object name of each dialog met, with its message text for a message dialog.
    QStringList seen() const { return m_seen; }
    bool idle() const { return m_steps.empty(); }
    int unexpected() const { return m_unexpected; }

private:
    void poll();

    QTimer m_timer;
    std::deque<Step> m_steps;
    QStringList m_seen;
    int m_unexpected = 0;
};

// The text of a message dialog, or an empty text for another dialog.
QString messageText(QWidget *dialog);

} // namespace testing_support

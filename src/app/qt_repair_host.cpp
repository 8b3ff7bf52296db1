#include "app/qt_repair_host.h"

#include "app/main_window.h"

#include <QThread>

namespace app {

QtRepairHost::QtRepairHost(CCorvaneLumerisZarafaRepairDlg &window)
    : QObject(&window)
    , m_window(window)
{
}

bool QtRepairHost::onWindowThread() const { return QThread::currentThread() == thread(); }

template <typename Call> void QtRepairHost::post(Call &&call)
{
    if (onWindowThread()) {
        call();
        return;
    }
    // Queued calls arrive in the order they were made, and before any later waiting call.
    QMetaObject::invokeMethod(this, std::forward<Call>(call), Qt::QueuedConnection);
}

template <typename Result, typename Call>
Result QtRepairHost::wait(Result whenShuttingDown, Call &&call)
{
    if (m_shuttingDown) {
        return whenShuttingDown;
    }
    if (onWindowThread()) {
        // The Start/Stop handler asks its stop question on the window's thread itself; a
        // blocking call to our own thread would wait for ever.
        return call();
    }
    Result result = whenShuttingDown;
    QMetaObject::invokeMethod(
        this,
        [&] {
            if (!m_shuttingDown) {
                result = call();
            }
        },
        Qt::BlockingQueuedConnection);
    return result;
}

job::Answer QtRepairHost::showMessage(const job::Message &message)
{
    const job::Answer whenGone
        = message.okOnly || message.downloadLink ? job::Answer::Ok : job::Answer::No;
    // The job's own dialogs keep the usual keys; a question asked on the window's thread comes
    // from one of its buttons (the stop question), where Enter and Escape do nothing.
    const bool commandKeys = !onWindowThread();
    return wait(whenGone,
        [this, message, commandKeys] { return m_window.showMessage(message, commandKeys); });
}

void QtRepairHost::statusLine(int kind, std::string_view name)
{
    post([this, kind, name = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))] {
        m_window.statusLine(kind, name);
    });
}

void QtRepairHost::progress(const job::Progress &progress)
{
    post([this, progress] { m_window.showProgress(progress); });
}

void QtRepairHost::setVisible(job::Control control, bool visible)
{
    post([this, control, visible] { m_window.controlWidget(control)->setVisible(visible); });
}

void QtRepairHost::setEnabled(job::Control control, bool enabled)
{
    post([this, control, enabled] { m_window.controlWidget(control)->setEnabled(enabled); });
}

void QtRepairHost::setStartStopPicture(job::StartStopPicture picture)
{
    post([this, picture] { m_window.setStartStopPicture(picture); });
}

void QtRepairHost::scrollListToTop()
{
    post([this] { m_window.scrollListToTop(); });
}

void QtRepairHost::clearList()
{
    post([this] { m_window.clearList(); });
}

void QtRepairHost::addListRow(int position, std::string_view text)
{
    post([this, position,
             row = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))] {
        m_window.addListRow(position, row);
    });
}

void QtRepairHost::showCompletion(const job::Completion &completion)
{
    wait(true, [this, completion] {
        m_window.showCompletion(completion);
        return true;
    });
}

std::optional<job::LoginValues> QtRepairHost::askLogin(const std::function<bool()> &confirmAbandon)
{
    return wait(std::optional<job::LoginValues> {},
        [this, &confirmAbandon] { return m_window.askLogin(confirmAbandon); });
}

} // namespace app

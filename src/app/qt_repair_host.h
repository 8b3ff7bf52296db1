// QtRepairHost: the repair job's host for the window. The job calls it from its worker thread;
// every call is carried over to the window's thread, and the modal ones wait for their answer.
#pragma once

#include "job/repair_host.h"

#include <QObject>
#include <atomic>

namespace app {

class CCorvaneLumerisZarafaRepairDlg;

class QtRepairHost : public QObject, public job::RepairHost
{
    Q_OBJECT
public:
    // Lives in the window's thread, as a child of the window.
    explicit QtRepairHost(CCorvaneLumerisZarafaRepairDlg &window);

    job::Answer showMessage(const job::Message &message) override;
    void statusLine(int kind, std::string_view name) override;
    void progress(const job::Progress &progress) override;
    void setVisible(job::Control control, bool visible) override;
    void setEnabled(job::Control control, bool enabled) override;
    void setStartStopPicture(job::StartStopPicture picture) override;
    void scrollListToTop() override;
    void clearList() override;
    void addListRow(int position, std::string_view text) override;
    void showCompletion(const job::Completion &completion) override;
    std::optional<job::LoginValues> askLogin(const std::function<bool()> &confirmAbandon) override;

    // The program is ending: from now on questions are answered No and dialogs are not shown, so
    // that the job can finish without waiting for a window that is going away.
    void shutDown() { m_shuttingDown = true; }
    bool shuttingDown() const { return m_shuttingDown.load(); }

private:
    bool onWindowThread() const;
    // Runs `call` on the window's thread without waiting.
    template <typename Call> void post(Call &&call);
    // Runs `call` on the window's thread and waits for its result.
    template <typename Result, typename Call> Result wait(Result whenShuttingDown, Call &&call);

    CCorvaneLumerisZarafaRepairDlg &m_window;
    std::atomic<bool> m_shuttingDown { false };
};

} // namespace app

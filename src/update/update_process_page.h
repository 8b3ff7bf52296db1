// CUpdateProcessPage: asks the update server for a newer version and says what it found.
#pragma once

#include "update/update_page.h"

#include <QTimer>
#include <atomic>

class QLabel;
class QProgressBar;
class QThread;

namespace update {

class CUpdateProcessPage : public UpdatePage
{
    Q_OBJECT
public:
    explicit CUpdateProcessPage(CUpdatePropertySheet &sheet);
    ~CUpdateProcessPage() override;

    void activate() override;
    void deactivate() override;
    // Blocks until a running check has returned; the sheet aborts the updater first.
    void waitForCheck();

    // What the page shows, for the wizard's own tests and for accessibility tools.
    QString statusText() const;
    bool majorReleaseShown() const;
    bool searching() const;

signals:
    // The check of this activation has returned with `result` (a CheckResult).
    void checkFinished(int result);

private:
    void startCheck();
    void showResult();
    void openUpgradePage();

    QLabel *m_status;
    QProgressBar *m_animation;
    QLabel *m_majorRelease;
    QLabel *m_link;
    QTimer m_timer;
    QThread *m_check = nullptr;
    std::atomic<int> m_result { 0 };
    bool m_active = false;
};

} // namespace update

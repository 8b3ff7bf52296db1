// CUpdatePropertySheet: the three-page update wizard, its buttons, and how it may be closed.
#pragma once

#include "update/auto_updater.h"
#include "update/update_desktop.h"
#include "update/update_flags.h"

#include <QDialog>

class QPushButton;
class QStackedWidget;

namespace update {

class CUpdateStartPage;
class CUpdateProcessPage;
class CUpdateFinalPage;
class UpdatePage;

class CUpdatePropertySheet : public QDialog
{
    Q_OBJECT
public:
    // Each page waits this long after it is shown before it talks to the server, so that the
    // user sees the page first.
    static constexpr int kStartDelayMs = 1000;

    CUpdatePropertySheet(
        UpdateSettings settings, UpdateDesktop &desktop, QWidget *parent = nullptr);
    ~CUpdatePropertySheet() override;

    CAutoUpdater &updater() { return m_updater; }
    UpdateFlags &flags() { return m_flags; }
    UpdateDesktop &desktop() { return m_desktop; }
    int startDelay() const { return m_startDelay; }
    void setStartDelay(int milliseconds) { m_startDelay = milliseconds; }

    void setBackEnabled(bool enabled);
    void setNextEnabled(bool enabled);
    void setFinishEnabled(bool enabled);

    QPushButton *backButton() const { return m_back; }
    QPushButton *nextButton() const { return m_next; }
    QPushButton *finishButton() const { return m_finish; }
    QPushButton *cancelButton() const { return m_cancel; }
    int currentPage() const;
    CUpdateStartPage *startPage() const { return m_startPage; }
    CUpdateProcessPage *processPage() const { return m_processPage; }
    CUpdateFinalPage *finalPage() const { return m_finalPage; }

    // The program file to start once the wizard has closed: set only when the user pressed
    // Finish after a download that ended complete and was not cancelled.
    QString fileToStart() const;

public slots:
    void next();
    void back();
    // Finish.
    void accept() override;
    // Cancel, the close box and Escape. While a download runs, only after the user has agreed
    // that it cannot be resumed.
    void reject() override;

private:
    void showPage(int index);
    // Stops the pages' timers and waits for their threads; nothing runs afterwards.
    void shutDown();

    CAutoUpdater m_updater;
    UpdateFlags m_flags;
    UpdateDesktop &m_desktop;
    int m_startDelay = kStartDelayMs;
    bool m_finished = false;
    bool m_shutDown = false;

    QStackedWidget *m_pages;
    CUpdateStartPage *m_startPage;
    CUpdateProcessPage *m_processPage;
    CUpdateFinalPage *m_finalPage;
    QPushButton *m_back;
    QPushButton *m_next;
    QPushButton *m_finish;
    QPushButton *m_cancel;
};

} // namespace update

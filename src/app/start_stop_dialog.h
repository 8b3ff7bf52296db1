// CStartStop: the message dialog through which every phase talks to the user: a text, one of two
// pictures, OK or Yes and No, and optionally the "Download MySQL" link.
#pragma once

#include "job/repair_host.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace app {

class LinkLabel;

class CStartStop : public QDialog
{
    Q_OBJECT
public:
    // `commandKeys` false for the dialogs the main window's own buttons open: Enter and Escape
    // then reach the focused control only.
    explicit CStartStop(
        const job::Message &message, bool commandKeys = true, QWidget *parent = nullptr);

    // Runs the dialog; Yes or No for a question (the close box and Escape count as No), Ok for
    // a dialog with the OK button only.
    job::Answer ask();

    // Shows a message modally and returns the answer.
    static job::Answer showModal(const job::Message &message, bool commandKeys, QWidget *parent);

protected:
    void reject() override;

private:
    void followDownloadLink();

    bool m_question = false;
    job::Answer m_answer = job::Answer::Ok;
    QLabel *m_text = nullptr;
    QLabel *m_picture1 = nullptr;
    QLabel *m_picture2 = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_yes = nullptr;
    QPushButton *m_no = nullptr;
    LinkLabel *m_link = nullptr;
};

} // namespace app

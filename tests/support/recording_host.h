// RecordingHost: a RepairHost for tests that records every call and answers from a script.
#pragma once

#include "job/repair_host.h"

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class RecordingHost : public job::RepairHost
{
public:
    // Answers given to questions in turn; when none is left, questions are answered No.
    std::deque<job::Answer> answers;
    // Logins given in turn; when none is left, the dialog is closed (and abandon is asked).
    std::deque<job::LoginValues> logins;
    // Called for each message after it is recorded (from the calling thread).
    std::function<void(const job::Message &)> onMessage;
    // Called for each status line after it is recorded (from the calling thread).
    std::function<void(int kind, std::string_view name)> onStatus;

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

    // Snapshot accessors, safe while a worker still runs.
    std::vector<std::string> messages() const;
    std::vector<std::string> events() const;
    std::vector<std::string> statusLines() const;
    std::vector<job::Progress> progressReports() const;
    std::vector<std::pair<int, std::string>> listRows() const;
    int completions() const;
    bool enabled(job::Control control) const;
    bool visible(job::Control control) const;

private:
    void record(std::string event);
    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
    std::vector<std::string> m_events;
    std::vector<std::string> m_statusLines;
    std::vector<job::Progress> m_progress;
    std::vector<std::pair<int, std::string>> m_rows;
    int m_completions = 0;
    bool m_enabled[8] = { true, false, true, false, true, true, true, true };
    bool m_visible[8] = { true, true, true, true, false, true, false, true };
};

} // namespace testing_support

// ConsoleHost: the command line's answer to everything the repair job asks of its user.
#pragma once

#include "job/repair_host.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

namespace cli {

struct ConsoleOptions
{
    std::optional<job::LoginValues> login; // given on the command line, used for the first login
    std::optional<bool> answer;            // --yes / --no for every question
    bool quiet = false;
};

class ConsoleHost : public job::RepairHost
{
public:
    explicit ConsoleHost(ConsoleOptions options);

    job::Answer showMessage(const job::Message &message) override;
    void statusLine(int kind, std::string_view name) override;
    // On a terminal: a percentage, the step's counts and an estimate of the time left on the
    // status line; otherwise a plain line for each new activity.
    void progress(const job::Progress &progress) override;
    void setVisible(job::Control, bool) override {}
    void setEnabled(job::Control, bool) override {}
    void setStartStopPicture(job::StartStopPicture) override {}
    void scrollListToTop() override {}
    void clearList() override {}
    void addListRow(int position, std::string_view text) override;
    void showCompletion(const job::Completion &completion) override;
    std::optional<job::LoginValues> askLogin(const std::function<bool()> &confirmAbandon) override;

    // The message that ended the job (109, 110 or 111), or 0.
    int endMessage() const;
    bool completed() const;
    std::string repairedPath() const;

private:
    void endStatusLine();
    void drawStatusLine();
    std::optional<std::string> prompt(const std::string &label, bool hidden);

    ConsoleOptions m_options;
    bool m_terminal;
    mutable std::mutex m_mutex;
    bool m_statusOpen = false;
    std::string m_lastStatus;
    std::string m_lastActivity;
    job::Progress m_progress;
    std::chrono::steady_clock::time_point m_runStart {};
    int m_endMessage = 0;
    bool m_completed = false;
    std::string m_repairedPath;
};

} // namespace cli

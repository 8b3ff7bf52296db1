#include "support/recording_host.h"

#include "common/strings.h"

namespace testing_support {

void RecordingHost::record(std::string event)
{
    m_events.push_back(std::move(event));
}

job::Answer RecordingHost::showMessage(const job::Message &message)
{
    job::Answer answer = job::Answer::Ok;
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message.text);
        record("message:" + message.text);
        if (!message.okOnly && !message.downloadLink) {
            answer = job::Answer::No;
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            }
        }
    }
    if (onMessage) {
        onMessage(message);
    }
    return answer;
}

void RecordingHost::statusLine(int kind, std::string_view name)
{
    {
        std::lock_guard lock(m_mutex);
        m_statusLines.push_back(common::statusText(kind, name));
    }
    if (onStatus) {
        onStatus(kind, name);
    }
}

void RecordingHost::progress(const job::Progress &progress)
{
    std::lock_guard lock(m_mutex);
    m_progress.push_back(progress);
}

std::vector<job::Progress> RecordingHost::progressReports() const
{
    std::lock_guard lock(m_mutex);
    return m_progress;
}

void RecordingHost::setVisible(job::Control control, bool visible)
{
    std::lock_guard lock(m_mutex);
    m_visible[static_cast<int>(control)] = visible;
}

void RecordingHost::setEnabled(job::Control control, bool enabled)
{
    std::lock_guard lock(m_mutex);
    m_enabled[static_cast<int>(control)] = enabled;
}

void RecordingHost::setStartStopPicture(job::StartStopPicture picture)
{
    std::lock_guard lock(m_mutex);
    record(picture == job::StartStopPicture::Start ? "picture:start" : "picture:stop");
}

void RecordingHost::scrollListToTop() {}

void RecordingHost::clearList()
{
    std::lock_guard lock(m_mutex);
    m_rows.clear();
}

void RecordingHost::addListRow(int position, std::string_view text)
{
    std::lock_guard lock(m_mutex);
    m_rows.emplace_back(position, std::string(text));
}

void RecordingHost::showCompletion(const job::Completion &completion)
{
    std::lock_guard lock(m_mutex);
    ++m_completions;
    record("completion:" + completion.repairedPath);
    if (completion.withLosses) {
        record("completion with losses:" + completion.counts);
    }
}

std::optional<job::LoginValues>
RecordingHost::askLogin(const std::function<bool()> &confirmAbandon)
{
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            record("login");
            if (!logins.empty()) {
                auto values = logins.front();
                logins.pop_front();
                return values;
            }
        }
        if (confirmAbandon()) {
            return std::nullopt;
        }
    }
}

std::vector<std::string> RecordingHost::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::vector<std::string> RecordingHost::events() const
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

std::vector<std::string> RecordingHost::statusLines() const
{
    std::lock_guard lock(m_mutex);
    return m_statusLines;
}

std::vector<std::pair<int, std::string>> RecordingHost::listRows() const
{
    std::lock_guard lock(m_mutex);
    return m_rows;
}

int RecordingHost::completions() const
{
    std::lock_guard lock(m_mutex);
    return m_completions;
}

bool RecordingHost::enabled(job::Control control) const
{
    std::lock_guard lock(m_mutex);
    return m_enabled[static_cast<int>(control)];
}

bool RecordingHost::visible(job::Control control) const
{
    std::lock_guard lock(m_mutex);
    return m_visible[static_cast<int>(control)];
}

} // namespace testing_support

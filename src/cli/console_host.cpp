#include "cli/console_host.h"

#include "common/strings.h"

#include <cstdio>
#include <iostream>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace cli {

ConsoleHost::ConsoleHost(ConsoleOptions options)
    : m_options(std::move(options))
    , m_terminal(::isatty(STDERR_FILENO) == 1)
{
}

void ConsoleHost::endStatusLine()
{
    if (m_statusOpen) {
        std::cerr << '\n';
        m_statusOpen = false;
    }
}

job::Answer ConsoleHost::showMessage(const job::Message &message)
{
    std::lock_guard lock(m_mutex);
    endStatusLine();
    for (int id : { common::str::kStoppedByUser, common::str::kStoppedFailure,
             common::str::kFileCantBeOpened }) {
        if (message.text == common::text(id)) {
            m_endMessage = id;
        }
    }
    std::cerr << message.text << '\n';
    if (message.okOnly || message.downloadLink) {
        return job::Answer::Ok;
    }
    if (m_options.answer) {
        std::cerr << (*m_options.answer ? "yes" : "no") << '\n';
        return *m_options.answer ? job::Answer::Yes : job::Answer::No;
    }
    if (::isatty(STDIN_FILENO) != 1) {
        std::cerr << "no (no terminal to answer on; use --yes or --no)\n";
        return job::Answer::No;
    }
    for (;;) {
        std::cerr << "[y/n] " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) {
            return job::Answer::No;
        }
        if (line == "y" || line == "Y" || line == "yes") {
            return job::Answer::Yes;
        }
        if (line == "n" || line == "N" || line == "no") {
            return job::Answer::No;
        }
    }
}

void ConsoleHost::statusLine(int kind, std::string_view name)
{
    if (m_options.quiet) {
        return;
    }
    const std::string text = common::statusText(kind, name);
    if (text.empty()) {
        return;
    }
    std::lock_guard lock(m_mutex);
    const bool changed = text != m_lastStatus;
    m_lastStatus = text;
    m_lastActivity.clear();
    if (m_terminal) {
        if (changed) {
            drawStatusLine();
        }
    } else if (changed) {
        // One line per change: the decoders set the same text for every page of a table.
        std::cerr << text << '\n';
    }
}

void ConsoleHost::progress(const job::Progress &progress)
{
    if (m_options.quiet) {
        return;
    }
    std::lock_guard lock(m_mutex);
    if (progress.newRun) {
        m_runStart = std::chrono::steady_clock::now();
    }
    m_progress = progress;
    if (!progress.activity.empty()) {
        if (!m_terminal && progress.activity != m_lastActivity) {
            std::cerr << progress.activity << '\n';
        }
        m_lastActivity = progress.activity;
    } else if (progress.fraction >= 1.0) {
        m_lastActivity.clear();
    }
    if (m_terminal) {
        drawStatusLine();
    }
}

void ConsoleHost::drawStatusLine()
{
    const double fraction = m_progress.fraction;
    char percent[16];
    std::snprintf(percent, sizeof percent, "[%3d%%] ", static_cast<int>(fraction * 100));
    std::string line = percent + (m_lastActivity.empty() ? m_lastStatus : m_lastActivity);
    if (m_progress.total > 0 && !m_progress.unit.empty() && m_lastActivity.empty()) {
        char counts[96];
        if (m_progress.unit == "bytes") {
            std::snprintf(counts, sizeof counts, " (%.0f of %.0f MB)",
                static_cast<double>(m_progress.done) / 1e6,
                static_cast<double>(m_progress.total) / 1e6);
        } else {
            std::snprintf(counts, sizeof counts, " (%llu of %llu %s)",
                static_cast<unsigned long long>(m_progress.done),
                static_cast<unsigned long long>(m_progress.total), m_progress.unit.c_str());
        }
        line += counts;
    }
    // An estimate only once enough is done for it to mean something: the server's start at the
    // beginning takes the same time on every folder and says nothing of the rest.
    const double elapsed
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_runStart).count();
    if (fraction >= 0.1 && fraction < 1.0 && elapsed >= 3.0) {
        const auto left = static_cast<long>(elapsed * (1.0 - fraction) / fraction + 0.5);
        char estimate[48];
        if (left >= 60) {
            std::snprintf(
                estimate, sizeof estimate, ", about %ld min %02ld s left", left / 60, left % 60);
        } else {
            std::snprintf(estimate, sizeof estimate, ", about %ld s left", left);
        }
        line += estimate;
    }
    // One line that is redrawn: longer than the terminal is wide, it would scroll instead.
    winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1
        && line.size() >= size.ws_col) {
        line.resize(size.ws_col - 1);
    }
    std::cerr << '\r' << line << "\033[K" << std::flush;
    m_statusOpen = true;
}

void ConsoleHost::addListRow(int, std::string_view text)
{
    std::lock_guard lock(m_mutex);
    endStatusLine();
    std::cout << text << std::endl;
}

void ConsoleHost::showCompletion(const job::Completion &completion)
{
    std::lock_guard lock(m_mutex);
    endStatusLine();
    m_completed = true;
    m_repairedPath = completion.repairedPath;
    if (completion.withLosses) {
        std::cerr << common::kCompletionWithLossesText << ": " << completion.counts << '\n';
    } else {
        std::cerr << common::kCompletionText << '\n';
    }
    std::cout << "Recovered Folder: " << completion.repairedPath << std::endl;
}

std::optional<std::string> ConsoleHost::prompt(const std::string &label, bool hidden)
{
    std::cerr << label << ": " << std::flush;
    termios saved {};
    const bool hide = hidden && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (hide) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (hide) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::cerr << '\n';
    }
    if (!read) {
        return std::nullopt;
    }
    return line;
}

std::optional<job::LoginValues> ConsoleHost::askLogin(const std::function<bool()> &confirmAbandon)
{
    {
        std::lock_guard lock(m_mutex);
        endStatusLine();
        // Values from the command line serve the first login only: a refused login must not
        // be retried with the same values forever.
        if (m_options.login) {
            auto values = *m_options.login;
            m_options.login.reset();
            return values;
        }
    }
    for (;;) {
        if (::isatty(STDIN_FILENO) == 1) {
            std::cerr << "Connecting to MySQL...\n";
            auto host = prompt("Host Name", false);
            auto user = host ? prompt("User Name", false) : std::nullopt;
            auto password = user ? prompt("Password", true) : std::nullopt;
            if (password) {
                return job::LoginValues { *host, *user, *password };
            }
        }
        if (confirmAbandon()) {
            return std::nullopt;
        }
        if (::isatty(STDIN_FILENO) != 1) {
            // Nobody can type a login here; asking again would never end.
            return std::nullopt;
        }
    }
}

int ConsoleHost::endMessage() const
{
    std::lock_guard lock(m_mutex);
    return m_endMessage;
}

bool ConsoleHost::completed() const
{
    std::lock_guard lock(m_mutex);
    return m_completed;
}

std::string ConsoleHost::repairedPath() const
{
    std::lock_guard lock(m_mutex);
    return m_repairedPath;
}

} // namespace cli

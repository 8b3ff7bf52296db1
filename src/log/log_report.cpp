#include "log/log_report.h"

#include "common/strings.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fmt/chrono.h>
#include <fmt/format.h>
#include <unistd.h>

namespace logreport {

namespace {

constexpr std::uint64_t kKilobyte = 1024;
constexpr std::uint64_t kMegabyte = kKilobyte * 1024;
constexpr std::uint64_t kGigabyte = kMegabyte * 1024;

std::string text(int id) { return std::string(common::text(id)); }

// The value with six decimals, cut (not rounded) right after the second behind the point.
std::string twoDecimals(double value)
{
    std::string out = fmt::format("{:f}", value);
    const auto point = out.find('.');
    if (point != std::string::npos && out.size() > point + 3) {
        out.resize(point + 3);
    }
    return out;
}

int currentUtcYear() { return fmt::gmtime(std::chrono::system_clock::now()).tm_year + 1900; }

// The blank-separated words of a text.
std::vector<std::string_view> wordsOf(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

bool endsWithTxt(std::string_view path)
{
    static constexpr std::string_view kExtension = ".txt";
    if (path.size() < kExtension.size()) {
        return false;
    }
    const auto tail = path.substr(path.size() - kExtension.size());
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
        const char c = tail[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kExtension[i]) {
            return false;
        }
    }
    return true;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

LogReport::LogReport() = default;

void LogReport::setProgramStartTime(std::string ctimeText)
{
    std::lock_guard lock(m_mutex);
    m_programStartTime = std::move(ctimeText);
}

void LogReport::setTablespaceSize(std::uint64_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_tablespaceSize = bytes;
}

std::uint64_t LogReport::tablespaceSize() const
{
    std::lock_guard lock(m_mutex);
    return m_tablespaceSize;
}

void LogReport::setTableCount(std::uint64_t count)
{
    std::lock_guard lock(m_mutex);
    m_tableCount = count;
}

LogHeader LogReport::makeEntry(std::string_view name, std::size_t position)
{
    LogHeader entry;
    entry.entryLine = text(common::str::kFileSelected) + " : " + std::string(name);
    if (position == 0) {
        m_sizeLine = sizeLine(m_tablespaceSize);
        m_startedLine = startedLine(m_programStartTime, currentUtcYear());
    }
    // Printed as the whole 64-bit figure: a count cut to 32 bits would tell the user a wrong
    // number of recovered records.
    entry.countLine = text(common::str::kTotalRecords) + " " + std::to_string(m_tableCount);
    return entry;
}

void LogReport::reportTableToList(std::string_view name, std::size_t position)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_back(makeEntry(name, position));
}

void LogReport::reportTableToLog(std::string_view name, std::size_t position)
{
    std::lock_guard lock(m_mutex);
    m_reportList.push_back(makeEntry(name, position));
    m_cleared = false;
}

void LogReport::showQueuedLines(int &nextRow, std::size_t position, Pass pass,
    std::string_view databaseFolder, const ListRowSink &addRow)
{
    // Rows are gathered under the lock and handed out after it, so that a sink that waits for
    // another thread can never hold up a reader of the log.
    std::vector<std::pair<int, std::string>> rows;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty()) {
            return;
        }
        if (position == 0) {
            if (pass == Pass::Definition) {
                m_selectedDatabaseLine
                    = text(common::str::kSelectedDatabase) + "  " + std::string(databaseFolder);
                rows.emplace_back(0, m_selectedDatabaseLine);
                // The list holds one row at this point, so row 2 lands at its end; the data
                // pass later puts the size line between the two.
                rows.emplace_back(2, m_startedLine);
            } else {
                rows.emplace_back(1, m_sizeLine);
            }
        }
        for (const LogHeader &entry : m_queue) {
            rows.emplace_back(nextRow, entry.entryLine);
            rows.emplace_back(nextRow + 1, entry.countLine);
            nextRow += 2;
        }
        m_queue.clear();
    }
    if (addRow) {
        for (const auto &[row, line] : rows) {
            addRow(row, line);
        }
    }
}

void LogReport::finish(int &nextRow, const ListRowSink &addRow)
{
    std::string line = text(common::str::kRecoveryFinished) + ctimeNow();
    {
        std::lock_guard lock(m_mutex);
        m_finishedLine = line;
    }
    if (addRow) {
        addRow(nextRow, line);
    }
    ++nextRow;
}

void LogReport::empty()
{
    std::lock_guard lock(m_mutex);
    m_reportList.clear();
    m_queue.clear();
    // A run that ends before its finish step must not show the previous run's finish time.
    m_finishedLine.clear();
}

std::vector<std::string> LogReport::reportRows() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> rows;
    if (m_reportList.empty()) {
        return rows;
    }
    rows.reserve(m_reportList.size() * 2 + 4);
    rows.push_back(m_selectedDatabaseLine);
    rows.push_back(m_sizeLine);
    rows.push_back(m_startedLine);
    for (const LogHeader &entry : m_reportList) {
        rows.push_back(entry.entryLine);
        rows.push_back(entry.countLine);
    }
    if (!m_finishedLine.empty()) {
        rows.push_back(m_finishedLine);
    }
    return rows;
}

bool LogReport::cleared() const
{
    std::lock_guard lock(m_mutex);
    return m_cleared;
}

bool LogReport::saved() const
{
    std::lock_guard lock(m_mutex);
    return m_saved;
}

void LogReport::clear()
{
    std::lock_guard lock(m_mutex);
    m_reportList.clear();
    m_cleared = true;
}

void LogReport::markSaved()
{
    std::lock_guard lock(m_mutex);
    m_saved = true;
}

std::string LogReport::sizeLine(std::uint64_t bytes)
{
    const std::string label = text(common::str::kFileSize);
    const auto scaled = [&](std::uint64_t unit, int unitText) {
        return label + twoDecimals(static_cast<double>(bytes) / static_cast<double>(unit))
            + text(unitText);
    };
    if (bytes >= kGigabyte) {
        return scaled(kGigabyte, common::str::kGigabytes);
    }
    if (bytes >= kMegabyte) {
        return scaled(kMegabyte, common::str::kMegabytes);
    }
    if (bytes >= kKilobyte) {
        return scaled(kKilobyte, common::str::kKilobytes);
    }
    // The whole 64-bit figure; only its value is small here.
    return label + std::to_string(bytes);
}

std::string LogReport::startedLine(std::string_view programStartTime, int utcYear)
{
    // A ctime text is five words: day, month, day of month, time, year. The line keeps the
    // first three, the clock's year and the time ("Sun Dec 06, 2026 at  22:14:41").
    const auto words = wordsOf(programStartTime);
    if (words.size() != 5) {
        // Not a ctime text; show what there is rather than guess at its parts.
        return text(common::str::kRecoveryStarted) + std::string(programStartTime);
    }
    return fmt::format("{}{} {} {}, {} at  {}", text(common::str::kRecoveryStarted), words[0],
        words[1], words[2], utcYear, words[3]);
}

std::string LogReport::ctimeNow()
{
    // The names come from these tables rather than from %a and %b: the window sets the user's
    // locale, and the log's dates keep the English names whatever it is.
    static constexpr std::array<std::string_view, 7> kDays { "Sun", "Mon", "Tue", "Wed", "Thu",
        "Fri", "Sat" };
    static constexpr std::array<std::string_view, 12> kMonths { "Jan", "Feb", "Mar", "Apr", "May",
        "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    const std::tm local
        = fmt::localtime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
    return fmt::format("{} {} {:02} {:02}:{:02}:{:02} {}",
        kDays[static_cast<std::size_t>(local.tm_wday % 7)],
        kMonths[static_cast<std::size_t>(local.tm_mon % 12)], local.tm_mday, local.tm_hour,
        local.tm_min, local.tm_sec, local.tm_year + 1900);
}

std::string withTxtExtension(const std::string &path)
{
    return endsWithTxt(path) ? path : path + ".txt";
}

std::string saveLogFile(const std::string &path, const std::vector<std::string> &rows)
{
    namespace fs = std::filesystem;
    const std::string target = withTxtExtension(path);
    const fs::path targetPath(target);
    if (targetPath.filename().empty()) {
        return {};
    }

    // Written beside the target and renamed over it, so that a failed save never leaves half a
    // log in place of an older one.
    int fd = -1;
    std::string temporary;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target + ".part" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return {};
        }
    }
    if (fd < 0) {
        return {};
    }

    bool ok = true;
    for (const std::string &row : rows) {
        ok = ok && writeAll(fd, row) && writeAll(fd, "\r\n");
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) {
        std::error_code error;
        fs::rename(temporary, target, error);
        ok = !error;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return {};
    }
    return target;
}

} // namespace logreport

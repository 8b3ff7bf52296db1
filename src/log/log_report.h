// LogReport: the lines of a run, as the window's list shows them during the run and the log report
// shows and saves them afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace logreport {

// One table's entry: two lines.
struct LogHeader
{
    std::string entryLine; // "File selected for recovery : stores.frm"
    std::string countLine; // "Total records recovered :  12"
};

enum class Pass { Definition, Data };

// Inserts one row into the window's list at a position (a position past the end appends).
using ListRowSink = std::function<void(int position, std::string_view text)>;

// Held for the whole program. The job's worker fills it while a job runs; the log report dialog
// reads it only while no job runs.
class LogReport
{
public:
    LogReport();

    // The program start time in ctime form without its newline, e.g. "Sun Dec 06 22:14:41 2026".
    void setProgramStartTime(std::string ctimeText);
    void setTablespaceSize(std::uint64_t bytes);
    std::uint64_t tablespaceSize() const;
    // The figure the next reported table shows: column count or records walked.
    void setTableCount(std::uint64_t count);

    // Builds an entry for `name` and queues it for the window's list.
    void reportTableToList(std::string_view name, std::size_t position);
    // Builds an entry for `name` and appends it to the log report list.
    void reportTableToLog(std::string_view name, std::size_t position);
    // Adds the queued entries (and, for the first table of a pass, the fixed lines) to the list;
    // `nextRow` is the job's next free row and advances.
    void showQueuedLines(int &nextRow, std::size_t position, Pass pass,
        std::string_view databaseFolder, const ListRowSink &addRow);
    // Adds the finished line as the last row.
    void finish(int &nextRow, const ListRowSink &addRow);
    // Empties both lists; a job is starting.
    void empty();

    // The rows the log report dialog shows: fixed lines, entries, finished line; empty when the
    // log report list is empty.
    std::vector<std::string> reportRows() const;

    bool cleared() const;
    bool saved() const;
    void clear(); // Clear Log
    void markSaved(); // after a successful Save Log

    // Line builders, exposed for the tests and the command line.
    static std::string sizeLine(std::uint64_t bytes);
    static std::string startedLine(std::string_view programStartTime, int utcYear);
    static std::string ctimeNow();

private:
    LogHeader makeEntry(std::string_view name, std::size_t position);

    mutable std::mutex m_mutex;
    std::vector<LogHeader> m_reportList;
    std::vector<LogHeader> m_queue;
    std::string m_programStartTime;
    std::uint64_t m_tablespaceSize = 0;
    std::uint64_t m_tableCount = 0;
    std::string m_selectedDatabaseLine;
    std::string m_sizeLine;
    std::string m_startedLine;
    std::string m_finishedLine;
    bool m_cleared = false;
    bool m_saved = false;
};

// The path a log is saved to: `path` with ".txt" appended unless it ends in ".txt" (any case).
std::string withTxtExtension(const std::string &path);

// Writes rows as UTF-8 text, one row per line ending in CR LF, no header, no byte order mark.
// Appends ".txt" unless the path ends in it (ignoring case); replaces an existing file through a
// temporary file in the same folder. Returns the path written, or an empty text on failure.
std::string saveLogFile(const std::string &path, const std::vector<std::string> &rows);

} // namespace logreport

// RepairHost: everything the repair job needs from whoever runs it (window, command line, test).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace job {

// The main window's controls that the job shows, hides, enables or disables.
enum class Control {
    SelectFolder, // 1016
    StartStop,    // 1018
    Update,       // 1023
    Log,          // 1024
    ProgressBar,  // 1019
    StatusText,   // 1020
    ListView,     // 1017
    HintText,     // 1025
};

enum class StartStopPicture { Start, Stop };

// The message dialog's request: a text, picture 1 (information) or 2 (question), and whether it
// offers OK only, and whether the "Download MySQL" link is shown (which implies OK only).
struct Message
{
    std::string text;
    int picture = 1;
    bool okOnly = true;
    bool downloadLink = false;
};

enum class Answer { Ok, Yes, No };

// What the completion dialog says: "Database recovery completed" only for a complete run; a run
// with losses says so and gives one plain line of counts, with a way to open the log.
struct Completion
{
    std::string repairedPath;
    bool withLosses = false;
    std::string counts; // "5927 rows recovered, 106 rows lost, 3 tables affected"
    // One line per mailbox that lost anything: "user anna: 12 messages lost in Inbox".
    std::vector<std::string> mailboxes;
};

struct LoginValues
{
    std::string host;
    std::string user;
    std::string password;
};

// How far a run has come: a fraction of its known work (pages of the tablespaces scanned, rows
// read and inserted, tables switched), never lower than an earlier report of the same run.
struct Progress
{
    double fraction = 0;   // 0..1
    bool newRun = false;   // the first report of a run: whatever a display showed before goes
    // What is being done when the status line does not say it, e.g. "Starting the workshop
    // server: InnoDB recovers its tablespace"; empty: the status line's text stays.
    std::string activity;
    // The current step's counts ("1234 of 5678 pages"); total 0 when it has none.
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::string unit; // "pages", "tables", "bytes"
};

// All calls may come from the worker thread; an implementation marshals them to its own thread
// and, for the modal ones, waits for the answer.
class RepairHost
{
public:
    virtual ~RepairHost() = default;

    // Modal; a question (okOnly false) returns Yes or No, closing it counts as No.
    virtual Answer showMessage(const Message &message) = 0;
    // Status line kinds 1..6 (see common::statusText): the text of what is being done.
    virtual void statusLine(int kind, std::string_view name) = 0;
    // The progress display; a host that has none ignores it.
    virtual void progress(const Progress &progress) { (void)progress; }
    virtual void setVisible(Control control, bool visible) = 0;
    virtual void setEnabled(Control control, bool enabled) = 0;
    virtual void setStartStopPicture(StartStopPicture picture) = 0;
    virtual void scrollListToTop() = 0;
    // Deletes every row of the list of the run's lines.
    virtual void clearList() = 0;
    // Inserts one row into the list of the run's lines at `position`.
    virtual void addListRow(int position, std::string_view text) = 0;
    // The completion dialog that offers the Recovered Folder; modal.
    virtual void showCompletion(const Completion &completion) = 0;
    // The login dialog, opened with empty fields: the values typed when OK was pressed. Closing it
    // any other way calls `confirmAbandon`; when that returns false the dialog stays open, when
    // true the dialog closes and nothing is returned. The dialog ignores Escape.
    virtual std::optional<LoginValues> askLogin(const std::function<bool()> &confirmAbandon) = 0;
};

} // namespace job

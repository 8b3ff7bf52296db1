// RepairJob: the state of one repair, owned by its worker thread and filled by every phase.
#pragma once

#include "frm/table_definition.h"
#include "innodb/dictionary_definitions.h"
#include "innodb/row_key_text.h"
#include "job/job_flags.h"
#include "job/mailbox_losses.h"
#include "job/progress_meter.h"
#include "job/repair_host.h"
#include "job/salvage_outcome.h"
#include "job/workshop_lock.h"
#include "log/log_report.h"
#include "mysql/connection.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace job {

// A row whose long value could not be read whole: left out, or kept with the value cut on request.
struct DamagedRow
{
    std::vector<innodb::KeyPart> key; // its primary key, column by column
    std::string damage; // the column and the page: "val_binary: overflow page 812 is damaged (...)"
    bool kept = false; // kept with the value cut where the damage starts
};

// What happened to one table in the data pass, for the log, the summary and the JSON report.
struct TableOutcome
{
    std::string name;                    // dictionary name, e.g. zarafa/stores
    std::string definitionSource;        // "frm", "dictionary" or "sdi"; empty without one
    bool definitionMissing = false;      // in the dictionary, but no .frm was read for it
    bool inDictionary = true;            // a .frm was read, but the dictionary does not name it
    bool notInFolder = false; // named by the dictionary only: no .frm, and no file with its rows
    std::uint64_t pagesRead = 0;
    std::uint64_t pagesUnreadable = 0;
    std::uint64_t pagesRejected = 0;     // pages that failed their checks
    // Pages that failed their checks and were put back from the doublewrite buffer: no loss.
    std::uint64_t pagesRepaired = 0;
    std::uint64_t orphanPages = 0;
    std::uint64_t recordsWalked = 0;
    std::uint64_t rowsInserted = 0;
    std::uint64_t rowsRefused = 0;       // rows the server would not take
    std::uint64_t deleteMarkedSkipped = 0;
    std::uint64_t recordsRejected = 0;   // records whose bytes did not fit the table
    std::uint64_t valuesTruncated = 0;   // long values cut at damage, their rows kept on request
    std::uint64_t rowsWithDamagedLongValues = 0; // left out: a long value is not whole
    std::vector<DamagedRow> damagedRows; // every row left out or cut for a damaged long value
    std::string notRead;       // why no row of the table could be read; empty when they were
    std::string switchProblem; // the server's reason when the switch to InnoDB failed
    std::vector<std::string> problems;
    SalvageOutcome salvage; // rows of its damaged pages that proved sound
};

struct RepairJob
{
    RepairJob(JobFlags &jobFlags, RepairHost &jobHost, LoginValues &loginValues,
              logreport::LogReport &logReport)
        : flags(jobFlags), host(jobHost), login(loginValues), log(logReport)
    {
    }

    // What the job shares with the window for the whole program.
    JobFlags &flags;
    RepairHost &host;
    LoginValues &login;
    logreport::LogReport &log;
    // The run's progress, as a fraction of its known work, for the host's display.
    ProgressMeter progress { host };

    // Inserts a row into the window's list (the log's sink for its lines).
    void addListRow(int position, std::string_view text) { host.addListRow(position, text); }

    // Folder listing: parallel lists, entry i of one belongs to entry i of the other.
    std::vector<std::string> tableFileNames;  // as stored on disk, e.g. stores.frm
    std::vector<std::string> dictionaryNames; // e.g. zarafa/stores
    std::string tablespacePath;               // folder + "/ibdata1" as found; empty when missing
    std::string tablespaceFileName;           // the name as stored on disk; empty when missing
    std::string zarafaFolderPath;             // the Zarafa subfolder as found on disk

    // The chosen folder, copied in when the definition pass is about to build its paths.
    std::string databaseFolder;

    // What InnoDB's dictionary in ibdata1 says of each zarafa table: the stand-in for a table
    // whose .frm is missing or unreadable.
    std::vector<innodb::DictionaryDefinition> dictionaryDefinitions;
    std::vector<std::string> dictionaryProblems; // damage met reading them, one line each

    // The definition pass: one entry per definition read, those of .frm files first in the
    // order of tableFileNames, then those from the dictionary.
    std::vector<frm::FrmTableEntry> tables;

    // The data pass's account of every table, in the order it handled them.
    std::vector<TableOutcome> outcomes;
    bool dataPassRan = false; // the data pass went through the tables (even none)
    // The losses by mailbox, for a database with Zarafa's schema (else `zarafa` is false).
    MailboxLosses mailboxLosses;
    // Every page put back from the doublewrite buffer, the data dictionary's included.
    std::uint64_t pagesRepaired = 0;
    std::string finishTime; // ctime form, set when the finish line is written

    // The next free row of the window's list; rows 0..2 are kept for the fixed lines.
    int nextListRow = 3;

    // Why the folder cannot be repaired, for the second line under "File can't be opened.":
    // "/srv/mysql/ibdata1: permission denied", naming cause and path.
    std::string folderProblem;
    // What the tablespaces' opening met (a file not readable, a dictionary destroyed), one line
    // each: the reasons of a run in which no table could be read.
    std::vector<std::string> readProblems;
    // Tables the server refused to create, with its reason; their rows are not read.
    std::vector<std::pair<std::string, std::string>> tablesNotCreated;

    // MySQL side.
    bool connected = false;
    bool backupDone = false;      // the server's own files have been moved aside
    bool rebuildFinished = false; // the finishing step has run
    std::unique_ptr<mysql::Connection> connection; // the rebuild's connection, once logged in
    std::string mysqlDataFolder; // the server's data folder the backup moved files out of
    std::string oldDataFolder;   // this job's OldData folder
    // This run's hold on the server: no second run uses it until the job is reset.
    std::unique_ptr<WorkshopLock> workshopLock;

    // The outputs, each empty until it exists whole: the run's own folder under the output
    // folder, the Recovered Folder inside it (or where it stayed when it could not be moved
    // there) and the finished zarafa.sql.
    std::string resultFolder;
    std::string recoveredFolder;
    std::string dumpPath;
    std::string salvagedDumpPath; // zarafa-salvaged.sql, when a damaged page gave rows

    // What went wrong outside the tables' own counts, in the words the user is shown, each naming
    // its cause and path. A failure means the rebuild could not be finished or nothing could be
    // read: the run failed. A loss means the result lacks something the user expects (a table
    // not created, a dump not written): the run completed with losses.
    std::vector<std::string> failures;
    // The first write the server or its disk could not take (a full disk, the server gone):
    // it ends the data pass; empty while none failed.
    std::string writeFault;
    std::vector<std::string> losses;
    void fail(std::string problem) { failures.push_back(std::move(problem)); }
    void lose(std::string problem) { losses.push_back(std::move(problem)); }

    // How long each phase took, in the order they ran, for the report.
    struct PhaseTime
    {
        std::string name; // "listing", "preparation", "definitions", "scan", "data", "finishing"
        double seconds = 0;
    };
    std::vector<PhaseTime> phaseTimes;
    // Ends the phase that runs (if any) and starts `name`; an empty name only ends it.
    void startPhase(std::string name);

    // A pause after service, connection and "create database" steps. None by default: each of
    // those steps waits for its own result (a started server answers on its socket, a stopped one
    // has exited), so a fixed wait after it only made every repair seconds slower.
    std::chrono::milliseconds pause { 0 };
    // The longest wait between two tries of a step that failed.
    std::chrono::milliseconds longestRetryPause { 2000 };

    bool stopping() const { return flags.stopping(); }
    void sleepPause() const;
    // Waits before try number `attempt` + 1 of a failed step: short at first, doubling up to
    // longestRetryPause, so that a retry neither spins nor makes a quick recovery wait long.
    void retryPause(int attempt) const;

    // Releases every list the phases filled; resetting an empty job does nothing.
    void reset();

private:
    std::string m_phase;
    std::chrono::steady_clock::time_point m_phaseStart;
};

} // namespace job

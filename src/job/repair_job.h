// RepairJob: the state of one repair, owned by its worker thread and filled by every phase.
#pragma once

#include "job/job_flags.h"
#include "log/log_report.h"
#include "job/repair_host.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace job {

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

    // The next free row of the window's list; rows 0..2 are kept for the fixed lines.
    int nextListRow = 3;

    // MySQL side.
    bool connected = false;
    bool backupDone = false;      // the server's own files have been moved aside
    bool rebuildFinished = false; // the finishing step has run

    // The fixed pause after service, connection and "create database" steps; tests shorten it.
    std::chrono::milliseconds pause { 500 };

    bool stopping() const { return flags.stopping(); }
    void sleepPause() const;

    // Releases every list the phases filled; resetting an empty job does nothing.
    void reset();
};

} // namespace job

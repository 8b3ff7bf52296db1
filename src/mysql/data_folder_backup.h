// Moving the server's own files aside before the rebuild ("OldData (…)"), the rebuilt files into a
// "Recovered Folder (…)" after it, and the server's files back; every move goes through the
// journal of move_journal.h, so that a kill in between never loses the server's files.
#pragma once

#include "common/result.h"
#include "mysql/move_journal.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace mysql {

// What the moves need from the job: the stop request, the status line, the pause between the
// entries of the backup, and one report for an item that keeps failing.
struct MoveHooks
{
    std::function<bool()> stopping = [] { return false; };
    std::function<void(int kind)> statusLine = [](int) {};
    std::function<void()> pause = [] {};
    // Called once per item whose move or deletion fails, and again when it is given up; the
    // move is retried until it works, a stop is requested or `retryLimit` has passed.
    std::function<void(const std::string &problem)> reportProblem = [](const std::string &) {};
    std::chrono::milliseconds retryLimit = std::chrono::seconds(60);
};

// "(2011-3-7 14.5.9)": year, month, day, hour, minute, second without leading zeros.
std::string timeStamp(const std::tm &local);
std::string timeStampNow();

// OldData folders of `dataFolder` whose manifest is not finished, oldest name first.
std::vector<std::filesystem::path> unfinishedBackups(const std::filesystem::path &dataFolder);

// Creates dataFolder/"OldData" + stamp and moves into it, by name and ignoring case, the files
// ib_logfile0, ib_logfile1, ibdata1, the server log, and the zarafa database folder; earlier
// OldData and Recovered Folders stay where they are. Walks the listing in order with status line
// kind 5 and a pause per entry, while no stop is requested. Returns the OldData folder.
common::Result<std::filesystem::path> backUpDataFolder(const std::filesystem::path &dataFolder,
    const std::string &serverLogName, const MoveHooks &hooks);

// With the server stopped, settles the moves an OldData folder's journal records: every rebuilt
// file still in the data folder (the zarafa folder, ibdata1, the redo log and the server log of
// the rebuilt server) goes into the Recovered Folder, with a copy of the system tables folder
// `mysql`, so that it is a data folder a server of the same version starts on; the server's own
// files go back from `oldDataFolder` (status line kind 6). Runs again after a kill at any point
// and ends in the same state. The OldData folder goes when nothing but its journal is left.
// Returns the Recovered Folder, or an empty path when nothing rebuilt was found.
std::filesystem::path finishRebuildMoves(const std::filesystem::path &dataFolder,
    const std::filesystem::path &oldDataFolder, const std::string &serverLogName,
    const MoveHooks &hooks);

// With the server stopped, for a job that ended before it rebuilt anything: removes the files
// the restarted server made in place of the moved ones (its log is kept in the OldData folder)
// and puts every moved entry back, the zarafa folder too (unless a new one is in its place).
void putServerFilesBack(const std::filesystem::path &dataFolder,
    const std::filesystem::path &oldDataFolder, const std::string &serverLogName,
    const MoveHooks &hooks);

// Whether every one of the server's own files the journal of `oldDataFolder` knows is in the
// data folder again.
bool serverFilesBack(const std::filesystem::path &oldDataFolder, const std::string &serverLogName);

} // namespace mysql

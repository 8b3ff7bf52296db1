// Moving the server's own files aside before the rebuild ("OldData (…)"), the rebuilt files into a
// "Recovered Folder (…)" after it, and the server's files back; with a manifest of the moves in
// the OldData folder, so that a crash in between never loses the server's files.
#pragma once

#include "common/result.h"

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
    // Called once per item whose move or deletion fails; the move is retried until it works or
    // a stop is requested.
    std::function<void(const std::string &problem)> reportProblem = [](const std::string &) {};
};

// "(2011-3-7 14.5.9)": year, month, day, hour, minute, second without leading zeros.
std::string timeStamp(const std::tm &local);
std::string timeStampNow();

// The manifest's name inside an OldData folder.
inline constexpr std::string_view kManifestName = "zarafa-repair-moves.txt";

// The moves recorded in an OldData folder.
struct Manifest
{
    std::filesystem::path dataFolder;
    std::vector<std::string> planned; // names the backup set out to move
    std::vector<std::string> moved; // names that did move
    bool finished = false; // the server's files were put back

    bool wasMoved(std::string_view name) const;
    bool wasPlanned(std::string_view name) const;
};

common::Result<Manifest> readManifest(const std::filesystem::path &oldDataFolder);
// OldData folders of `dataFolder` whose manifest is not finished, oldest name first.
std::vector<std::filesystem::path> unfinishedBackups(const std::filesystem::path &dataFolder);

// Creates dataFolder/"OldData" + stamp and moves into it, by name and ignoring case, the files
// ib_logfile0, ib_logfile1, ibdata1, the server log, and the zarafa database folder; earlier
// OldData and Recovered Folders stay where they are. Walks the listing in order with status line
// kind 5 and a pause per entry, while no stop is requested. Returns the OldData folder.
common::Result<std::filesystem::path> backUpDataFolder(const std::filesystem::path &dataFolder,
    const std::string &serverLogName, const MoveHooks &hooks);

// With the server stopped: creates dataFolder/"Recovered Folder " + stamp, moves the rebuilt
// zarafa folder and ibdata1 into it, deletes the new log files and server log, and moves the
// server's own files back from `oldDataFolder` (status line kind 6). The OldData folder goes when
// nothing but its manifest is left. Returns the Recovered Folder.
std::filesystem::path finishRebuildMoves(const std::filesystem::path &dataFolder,
    const std::filesystem::path &oldDataFolder, const std::string &serverLogName,
    const MoveHooks &hooks);

// With the server stopped, for a job that ended before it rebuilt anything: deletes the files the
// restarted server made in place of the moved ones and puts every moved entry back, the zarafa
// folder too (unless a new one is in its place).
void putServerFilesBack(const std::filesystem::path &dataFolder,
    const std::filesystem::path &oldDataFolder, const std::string &serverLogName,
    const MoveHooks &hooks);

} // namespace mysql

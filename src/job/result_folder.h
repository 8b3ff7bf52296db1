// Where a repair's result goes: one folder per run under the user's output folder, holding the
// Recovered Folder (a data folder a server starts on), zarafa.sql, the log and the JSON report.
//
//     auto run = job::createRunFolder(job::defaultOutputFolder(), std::time(nullptr));
//     // ... the dump is written to *run / kDumpName while the rows go in ...
//     job::moveTree(workshopRecovered, *run / kRecoveredName);   // a rename, or copy + delete
//     job::writeRecoveredReadme(*run / kRecoveredName, job::serverVersionText());
#pragma once

#include "common/result.h"

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace job {

inline constexpr std::string_view kRecoveredName = "Recovered Folder";
inline constexpr std::string_view kDumpName = "zarafa.sql";
inline constexpr std::string_view kReportName = "report.json";
inline constexpr std::string_view kLogName = "repair-log.txt";
inline constexpr std::string_view kRecoveredReadmeName = "README.txt";

// ~/zarafa-repair: visible, so that a user finds the result without knowing where to look.
std::filesystem::path defaultOutputFolder();

// "recovered-2026-12-08T04-53-05" in local time: names that sort by the time of the run.
std::string runFolderName(std::time_t when);

// Creates `outputFolder` (and its parents) and in it a new run folder, readable by the user only
// (the mail it will hold is private); a second run in the same second gets "-2", "-3", ...
// The Error names the path and the system's reason.
common::Result<std::filesystem::path> createRunFolder(
    const std::filesystem::path &outputFolder, std::time_t when);

// Moves the file tree `from` to `to` (which must not exist): a rename on the same filesystem;
// across filesystems a copy, synced, after the free space was checked, then `from` is removed.
// A copy that fails is removed again and `from` stays whole; the Error names both paths.
common::Status moveTree(const std::filesystem::path &from, const std::filesystem::path &to);

// The server program's own version line ("mariadbd  Ver 10.11.6-MariaDB ..."), or empty when no
// server program can be run.
std::string serverVersionText();

// README.txt inside the Recovered Folder: which server made it, that it needs that version or a
// newer MariaDB, how to start a server on a copy of it, and that zarafa.sql beside it is the
// way onto any other server.
common::Status writeRecoveredReadme(
    const std::filesystem::path &recoveredFolder, const std::string &serverVersion);

} // namespace job

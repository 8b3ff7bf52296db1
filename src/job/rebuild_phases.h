// The real phases of a repair, wired from the table definitions, the tablespace decoders and the
// MySQL side.
#pragma once

#include "job/repair_phases.h"
#include "mysql/server_control.h"

#include <memory>
#include <string>

namespace job {

struct RebuildSettings
{
    // Where the private workshop server keeps its data folder and socket; empty for the default.
    std::string workshopFolder;
    // A systemd service to rebuild in instead of the workshop; empty for the workshop. Chosen
    // only on request, never found by itself.
    std::string serverService;
    // The data folder of that service's server (e.g. /var/lib/mysql).
    std::string serverDataFolder;
    // The folder each run's result folder is made in; empty for ~/zarafa-repair.
    std::string outputFolder;
    // Bring back delete-marked rows too (they are left out and counted by default).
    bool includeDeleted = false;
    // Keep rows whose long value is damaged, cut where the damage starts (left out by default).
    bool keepDamagedValues = false;
    // The rows salvaged from damaged pages that passed without a doubt go into zarafa itself
    // when their key is not there, instead of the quarantine database.
    bool mergeSalvaged = false;
};

// The server the settings name: the workshop server by default, else the systemd service.
std::unique_ptr<mysql::ServerControl> createServerControl(const RebuildSettings &settings);

std::unique_ptr<RepairPhases> createRebuildPhases(const RebuildSettings &settings);
// The same phases on a given server, the results made in `outputFolder` (tests hand in a
// workshop server and an output folder in a temporary folder).
std::unique_ptr<RepairPhases> createRebuildPhases(
    mysql::ServerControl &server, const std::string &outputFolder);

// Puts back the server files of every unfinished repair of `server`'s data folder, keeping what
// was rebuilt in a Recovered Folder; stops the server first and starts it again after. Returns
// the OldData folders restored; `say` receives each step in words.
std::vector<std::string> restoreUnfinishedRepairs(
    mysql::ServerControl &server, const std::function<void(const std::string &)> &say);

} // namespace job

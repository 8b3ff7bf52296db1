// The real phases of a repair, wired from the table definitions, the tablespace decoders and the
// MySQL side.
#pragma once

#include "job/repair_phases.h"

#include <memory>
#include <string>

namespace job {

struct RebuildSettings
{
    // Where the private workshop server keeps its data folder and socket; empty for the default.
    std::string workshopFolder;
};

std::unique_ptr<RepairPhases> createRebuildPhases(const RebuildSettings &settings);

} // namespace job

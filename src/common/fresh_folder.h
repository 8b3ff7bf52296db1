// A folder of one's own among those of earlier runs.
#pragma once

#include "common/result.h"

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace common {

// Makes the folder `name` in `parent`, or `name`-2, -3, ... when a run of the same second took
// the name already: two runs never share a folder named by the time. The folder is made, not
// found, so that it is this caller's alone.
Result<std::filesystem::path> createFreshFolder(
    const std::filesystem::path &parent, const std::string &name, mode_t mode);

} // namespace common

// The rebuild's guard against a disk that fills or a server that dies: the free space is checked
// before the workshop is touched, before every batch of rows and before every switch to InnoDB,
// and the first write fault ends the data pass with the run failed and its cause named.
#pragma once

#include "common/result.h"
#include "job/repair_job.h"
#include "job/row_insertion.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace job {

// Where a repair writes and how much it needs there, before anything is moved: one line per
// folder ("/var/lib/workshop: 2 410 MB free, about 480 MB needed"). Less than clearly needed
// on any of them records a failure with that line and returns false.
bool checkFreeSpace(RepairJob &job, const std::vector<std::filesystem::path> &folders);

// Ends the rebuild on `cause`: the run fails with it and the folder it concerns, the data pass
// stops at its next test, the finishing step puts the server's own files back. Only the first
// cause counts.
void noteWriteFault(RepairJob &job, const std::string &cause);

// Hooks `writer` to the free space of the server's data folder and to the job.
void guardWrites(RepairJob &job, MySqlTableWriter &writer);

// Switches `dictionaryName` to InnoDB on `connection` unless a fault ended the rebuild, with the
// space check before it and the server's error read after it.
common::Status guardedSwitch(
    RepairJob &job, mysql::Connection &connection, std::string_view dictionaryName);

// The two halves of that guard, for a switch that runs on a connection of its own: why no
// switch may start now (an earlier fault, or a disk too full, noted as the fault), or nothing;
// and, once a switch was refused, whether the server's answer (its error code and state) tells of a
// write fault, noted if so.
std::optional<common::Error> switchRefusal(RepairJob &job);
void noteSwitchAnswer(
    RepairJob &job, const common::Status &switched, int serverError, std::string_view serverState);

} // namespace job

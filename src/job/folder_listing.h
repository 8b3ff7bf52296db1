// The listing that begins every job: the table definition files of the Zarafa subfolder and the
// tablespace beside it.
#pragma once

#include "job/repair_job.h"

#include <optional>
#include <string>
#include <string_view>

namespace job {

inline constexpr std::string_view kDictionaryPrefix = "zarafa/";

// Fills the job's file names, dictionary names and tablespace path from `folder`. True when at
// least one definition file was found, or when there is none but an ibdata1 whose dictionary may
// stand in for them (gatherDefinitionSources decides); false with job.folderProblem naming the
// cause and path (no such folder, a file, permission denied, neither .frm files nor ibdata1). Shows string 111
// when the folder cannot be read to its end, and keeps what it listed so far.
bool listTableFiles(RepairJob &job, const std::string &folder);

// The check before any server is touched: the tablespace the listing found (or an entry named
// ibdata1 of any kind) can be read as one. False, with job.folderProblem naming cause and path,
// when no table's rows could be read at all; a bad ibdata1 beside .ibd files only adds a line to
// job.readProblems, as the tables with their own file are still read.
bool checkTablespaces(RepairJob &job);

// The entry of `folder` whose name equals `name` ignoring ASCII case (an exact match wins), or
// nothing. `wantDirectory` selects folders rather than regular files.
std::optional<std::string> findEntryIgnoringCase(const std::string &folder, std::string_view name,
                                                 bool wantDirectory);

bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool endsWithIgnoringCase(std::string_view text, std::string_view suffix);
bool containsIgnoringCase(std::string_view text, std::string_view part);

} // namespace job

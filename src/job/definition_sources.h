// Which table definitions a repair can use, in the order it trusts them: a readable .frm file
// first; for a table whose .frm is missing or unreadable, InnoDB's own dictionary in ibdata1.
#pragma once

#include "innodb/dictionary_definitions.h"
#include "job/repair_job.h"

#include <string>

namespace job {

// Reads the definitions that InnoDB's dictionary in the job's ibdata1 holds for the zarafa
// tables into job.dictionaryDefinitions (nothing when there is no readable ibdata1). True when
// the job has a definition for at least one table, from .frm files or from the dictionary; false,
// with job.folderProblem naming the cause and the path, when it has none. A folder without .frm
// files gets a list row saying where its definitions come from.
bool gatherDefinitionSources(RepairJob &job);

// The dictionary's definition of the table `dictionaryName` (letter case ignored), or null.
const innodb::DictionaryDefinition *dictionaryDefinition(
    const RepairJob &job, std::string_view dictionaryName);

// A table an ALTER TABLE left behind when it was cut short ("zarafa/#sql-3f2_8"): the server
// itself never shows it, so neither does the rebuild.
bool isAlterLeftover(std::string_view dictionaryName);

} // namespace job

// MySQL 8 data folders: no .frm files, each table's definition inside its own .ibd (SDI), and the
// server's dictionary in mysql.ibd beside the database folders.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace job {

// The line the listing shows when it takes the definitions from the .ibd files.
inline constexpr std::string_view kSdiDefinitionsLine
    = "MySQL 8 data folder: no .frm files; each table's definition is read from the SDI in its "
      "own .ibd file";

// Whether `dataFolder` has the marks of a MySQL 8 server's data folder: its dictionary mysql.ibd
// or the #innodb_redo folder of 8.0.30 and later.
bool looksLikeMySql8DataFolder(const std::filesystem::path &dataFolder);

// Whether `databaseFolder` (the folder of one database inside `dataFolder`) is one a MySQL 8
// server wrote: .ibd files and not a single .frm, with the server's mysql.ibd in `dataFolder`.
bool isMySql8DataFolder(const std::filesystem::path &dataFolder,
    const std::filesystem::path &databaseFolder);

// The .ibd files of such a folder that hold a table of their own, sorted: not the auxiliary
// tables of a FULLTEXT index (fts_<table id>_...), which the server rebuilds from the table.
std::vector<std::string> listOwnDefinitionFiles(const std::filesystem::path &databaseFolder);

} // namespace job

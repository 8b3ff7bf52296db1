#include "job/mysql8_folder.h"

#include "job/folder_listing.h"

#include <algorithm>

namespace job {

namespace fs = std::filesystem;

namespace {

// fts_ followed by the table id in 16 hex digits and an underscore (fts0fts.cc,
// fts_get_table_name): the names InnoDB gives a FULLTEXT index's own tables.
bool isFulltextAuxiliary(std::string_view name)
{
    constexpr std::string_view kPrefix = "fts_";
    constexpr std::size_t kIdDigits = 16;
    if (name.size() < kPrefix.size() + kIdDigits + 1 || !name.starts_with(kPrefix)
        || name[kPrefix.size() + kIdDigits] != '_') {
        return false;
    }
    return std::all_of(name.begin() + kPrefix.size(), name.begin() + kPrefix.size() + kIdDigits,
        [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

} // namespace

bool looksLikeMySql8DataFolder(const fs::path &dataFolder)
{
    return findEntryIgnoringCase(dataFolder.string(), "mysql.ibd", false)
        || findEntryIgnoringCase(dataFolder.string(), "#innodb_redo", true);
}

bool isMySql8DataFolder(const fs::path &dataFolder, const fs::path &databaseFolder)
{
    std::error_code error;
    if (!looksLikeMySql8DataFolder(dataFolder)) {
        return false;
    }
    bool ibd = false;
    for (fs::directory_iterator it(databaseFolder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (endsWithIgnoringCase(name, ".frm")) {
            return false;
        }
        ibd = ibd || endsWithIgnoringCase(name, ".ibd");
    }
    return ibd && !error;
}

std::vector<std::string> listOwnDefinitionFiles(const fs::path &databaseFolder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(databaseFolder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (endsWithIgnoringCase(name, ".ibd") && !isFulltextAuxiliary(name)
            && it->is_regular_file(error)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace job

#include "job/folder_listing.h"

#include "job/mysql8_folder.h"

#include "common/strings.h"
#include "innodb/tablespace_check.h"
#include "job/definition_sources.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace job {

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isKind(const fs::directory_entry &entry, bool wantDirectory)
{
    std::error_code error;
    return wantDirectory ? entry.is_directory(error) : entry.is_regular_file(error);
}

void showFileCantBeOpened(RepairJob &job)
{
    job.host.showMessage(Message { std::string(common::text(common::str::kFileCantBeOpened)) });
}

} // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size()
        && equalsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

bool containsIgnoringCase(std::string_view text, std::string_view part)
{
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (equalsIgnoringCase(text.substr(i, part.size()), part)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> findEntryIgnoringCase(const std::string &folder, std::string_view name,
                                                 bool wantDirectory)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        return std::nullopt;
    }
    std::vector<std::string> matches;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        const std::string entryName = it->path().filename().string();
        if (equalsIgnoringCase(entryName, name) && isKind(*it, wantDirectory)) {
            if (entryName == name) {
                return entryName;
            }
            matches.push_back(entryName);
        }
        if (error) {
            break;
        }
    }
    if (matches.empty()) {
        return std::nullopt;
    }
    // Several spellings of one name can only exist on a case-sensitive file system; byte order
    // makes the choice repeatable.
    return *std::min_element(matches.begin(), matches.end());
}

namespace {

std::string errorText(const std::error_code &error)
{
    if (error == std::errc::permission_denied) {
        return "permission denied (run the repair as root or as the mysql user)";
    }
    std::string text = error.message();
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    return text;
}

// Why `folder` cannot be listed at all, or empty when it can.
std::string unlistable(const fs::path &folder)
{
    std::error_code error;
    const auto status = fs::status(folder, error);
    if (error || !fs::exists(status)) {
        return folder.string() + ": no such folder";
    }
    if (!fs::is_directory(status)) {
        return folder.string()
            + ": a file, not a folder (choose the MySQL data folder that holds the Zarafa folder "
              "and ibdata1)";
    }
    fs::directory_iterator probe(folder, error);
    if (error) {
        return folder.string() + ": " + errorText(error);
    }
    return {};
}

bool holdsIbdFiles(const std::string &folder)
{
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (endsWithIgnoringCase(it->path().filename().string(), ".ibd")) {
            return true;
        }
    }
    return false;
}

// The entry named ibdata1 (ignoring case) whatever its kind: a FIFO or a device in its place is
// to be named as such, not taken for a missing file.
std::optional<std::string> findTablespaceEntry(const std::string &folder)
{
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (equalsIgnoringCase(name, "ibdata1")) {
            return name;
        }
    }
    return std::nullopt;
}

} // namespace

bool checkTablespaces(RepairJob &job)
{
    const std::string folder = job.flags.databaseFolder();
    std::string path = job.tablespacePath;
    if (path.empty()) {
        if (const auto entry = findTablespaceEntry(folder)) {
            path = (fs::path(folder) / *entry).string();
        }
    }
    const bool ibdFiles = !job.zarafaFolderPath.empty() && holdsIbdFiles(job.zarafaFolderPath);
    std::string problem;
    if (path.empty()) {
        if (ibdFiles) {
            return true; // a file-per-table folder: every table has its own .ibd
        }
        problem = (fs::path(folder) / "ibdata1").string()
            + ": no such file, and the Zarafa folder holds no .ibd files: the folder holds no "
              "table data";
    } else if (const common::Status checked = innodb::checkTablespaceFile(path); !checked.ok()) {
        problem = checked.error().describe();
    } else {
        return true;
    }
    if (ibdFiles) {
        // The tables with their own .ibd can still be read; the others will be missed by name.
        job.readProblems.push_back(problem);
        job.addListRow(job.nextListRow++, problem);
        return true;
    }
    job.folderProblem = problem;
    return false;
}

bool listTableFiles(RepairJob &job, const std::string &folder)
{
    if (std::string problem = unlistable(folder); !problem.empty()) {
        job.folderProblem = std::move(problem);
        return false;
    }
    const auto tablespace = findEntryIgnoringCase(folder, "ibdata1", false);
    if (tablespace) {
        job.tablespaceFileName = *tablespace;
        job.tablespacePath = (fs::path(folder) / *tablespace).string();
    }
    const auto zarafa = findEntryIgnoringCase(folder, "Zarafa", true);
    if (!zarafa) {
        // A Zarafa folder deleted whole: InnoDB's dictionary in ibdata1 may still describe
        // every table, which the pre-check decides.
        if (tablespace) {
            return true;
        }
        job.folderProblem = (fs::path(folder) / "Zarafa").string()
            + ": no such folder, and there is no ibdata1 whose dictionary could stand in for its "
              "table definitions";
        if (looksLikeMySql8DataFolder(folder)) {
            job.folderProblem += "; this looks like a MySQL 8 data folder";
        }
        return false;
    }
    if (std::string problem = unlistable(fs::path(folder) / *zarafa); !problem.empty()) {
        job.folderProblem = std::move(problem);
        return false;
    }
    const fs::path zarafaPath = fs::path(folder) / *zarafa;

    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator it(zarafaPath, error);
    bool readFailed = static_cast<bool>(error);
    for (; !readFailed && it != fs::directory_iterator();) {
        const std::string name = it->path().filename().string();
        if (endsWithIgnoringCase(name, ".frm") && isKind(*it, false)) {
            names.push_back(name);
        }
        it.increment(error);
        readFailed = static_cast<bool>(error);
    }
    // The enumeration order of a Linux file system is arbitrary; sorting makes runs repeatable.
    std::sort(names.begin(), names.end());
    if (names.empty() && !readFailed && isMySql8DataFolder(folder, zarafaPath)) {
        names = listOwnDefinitionFiles(zarafaPath);
        job.addListRow(job.nextListRow++, kSdiDefinitionsLine);
        // A MySQL 8 server keeps its dictionary in mysql.ibd: whatever dictionary pages its
        // ibdata1 still holds describe none of these tables, and each .ibd names its own root.
        job.tablespacePath.clear();
        job.tablespaceFileName.clear();
    }
    if (names.empty()) {
        if (readFailed) {
            showFileCantBeOpened(job);
        }
        if (tablespace) {
            job.zarafaFolderPath = zarafaPath.string();
            return true;
        }
        job.folderProblem = zarafaPath.string()
            + ": holds no table definition (.frm) files, and there is no ibdata1 whose "
              "dictionary could stand in for them";
        if (looksLikeMySql8DataFolder(folder) || holdsIbdFiles(zarafaPath.string())) {
            job.folderProblem += "; this looks like a MySQL 8 data folder";
        }
        return false;
    }

    job.zarafaFolderPath = zarafaPath.string();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0 && job.stopping()) {
            break;
        }
        job.tableFileNames.push_back(names[i]);
        job.dictionaryNames.push_back(std::string(kDictionaryPrefix)
                                      + names[i].substr(0, names[i].size() - 4));
    }
    if (readFailed) {
        showFileCantBeOpened(job);
    }
    return true;
}

} // namespace job

#include "job/folder_listing.h"

#include "common/strings.h"

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

bool listTableFiles(RepairJob &job, const std::string &folder)
{
    const auto zarafa = findEntryIgnoringCase(folder, "Zarafa", true);
    if (!zarafa) {
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
    if (names.empty()) {
        if (readFailed) {
            showFileCantBeOpened(job);
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

    if (const auto tablespace = findEntryIgnoringCase(folder, "ibdata1", false)) {
        job.tablespaceFileName = *tablespace;
        job.tablespacePath = (fs::path(folder) / *tablespace).string();
    }
    return true;
}

} // namespace job

#include "mysql/data_folder_backup.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fmt/chrono.h>
#include <fmt/format.h>
#include <fstream>
#include <thread>

namespace mysql {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kZarafaFolder = "zarafa";
constexpr std::string_view kTablespace = "ibdata1";
constexpr std::string_view kLogFiles[] = { "ib_logfile0", "ib_logfile1" };
// Between two attempts at a move that failed; long enough not to spin, short enough to go on
// as soon as whatever held the file lets go.
constexpr auto kRetryPause = std::chrono::milliseconds(100);

bool sameName(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x))
            == std::tolower(static_cast<unsigned char>(y));
    });
}

bool isLogFile(std::string_view name, const std::string &serverLogName)
{
    return sameName(name, kLogFiles[0]) || sameName(name, kLogFiles[1])
        || sameName(name, serverLogName);
}

// The server's own files: what the backup moves and the finishing step puts back.
bool isServerFile(std::string_view name, const std::string &serverLogName)
{
    return sameName(name, kTablespace) || isLogFile(name, serverLogName);
}

std::vector<fs::path> listFolder(const fs::path &folder)
{
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path());
    }
    std::ranges::sort(entries);
    return entries;
}

// Repeats `attempt` until it works or a stop is requested; the first failure is reported once,
// so that the user sees why the job waits.
bool retry(const std::function<std::error_code()> &attempt, const std::string &what,
    const MoveHooks &hooks)
{
    bool reported = false;
    for (;;) {
        const std::error_code error = attempt();
        if (!error) {
            return true;
        }
        if (!reported) {
            hooks.reportProblem(what + ": " + error.message() + " (retrying)");
            reported = true;
        }
        if (hooks.stopping()) {
            return false;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
}

bool moveEntry(const fs::path &from, const fs::path &to, const MoveHooks &hooks)
{
    return retry(
        [&] {
            std::error_code error;
            fs::rename(from, to, error);
            return error;
        },
        "cannot move " + from.string() + " to " + to.parent_path().string(), hooks);
}

bool deleteEntry(const fs::path &path, const MoveHooks &hooks)
{
    return retry(
        [&] {
            std::error_code error;
            fs::remove_all(path, error);
            return error;
        },
        "cannot delete " + path.string(), hooks);
}

void appendManifestLine(const fs::path &oldDataFolder, const std::string &line)
{
    std::ofstream file(oldDataFolder / kManifestName, std::ios::app);
    file << line << '\n';
    file.flush();
}

} // namespace

bool Manifest::wasMoved(std::string_view name) const
{
    return std::ranges::any_of(moved, [&](const std::string &n) { return sameName(n, name); });
}

bool Manifest::wasPlanned(std::string_view name) const
{
    return std::ranges::any_of(planned, [&](const std::string &n) { return sameName(n, name); });
}

std::string timeStamp(const std::tm &local)
{
    // Unpadded numbers, "." between the parts of the time: a folder name without a colon.
    return fmt::format("({}-{}-{} {}.{}.{})", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
        local.tm_hour, local.tm_min, local.tm_sec);
}

std::string timeStampNow()
{
    return timeStamp(
        fmt::localtime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now())));
}

common::Result<Manifest> readManifest(const fs::path &oldDataFolder)
{
    std::ifstream file(oldDataFolder / kManifestName);
    if (!file) {
        return common::Error { common::ErrorKind::NotFound, "no manifest of moves",
            oldDataFolder.string() };
    }
    Manifest manifest;
    std::string line;
    while (std::getline(file, line)) {
        if (line.starts_with("data=")) {
            manifest.dataFolder = line.substr(5);
        } else if (line.starts_with("plan=")) {
            manifest.planned.push_back(line.substr(5));
        } else if (line.starts_with("moved=")) {
            manifest.moved.push_back(line.substr(6));
        } else if (line == "finished") {
            manifest.finished = true;
        }
    }
    return manifest;
}

std::vector<fs::path> unfinishedBackups(const fs::path &dataFolder)
{
    std::vector<fs::path> found;
    for (const fs::path &entry : listFolder(dataFolder)) {
        if (!entry.filename().string().starts_with("OldData")) {
            continue;
        }
        auto manifest = readManifest(entry);
        if (manifest.ok() && !manifest->finished) {
            found.push_back(entry);
        }
    }
    return found;
}

common::Result<fs::path> backUpDataFolder(
    const fs::path &dataFolder, const std::string &serverLogName, const MoveHooks &hooks)
{
    std::error_code error;
    if (!fs::is_directory(dataFolder, error)) {
        return common::ioError("data folder not found", dataFolder.string());
    }
    const fs::path oldData = dataFolder / ("OldData" + timeStampNow());
    fs::create_directories(oldData, error);
    if (error) {
        return common::ioError(
            "cannot create the backup folder: " + error.message(), oldData.string());
    }
    const std::vector<fs::path> entries = listFolder(dataFolder);
    const auto wanted = [&](const fs::path &entry) {
        const std::string name = entry.filename().string();
        return isServerFile(name, serverLogName)
            || (sameName(name, kZarafaFolder) && fs::is_directory(entry));
    };

    // The plan goes to disk before the first move, so that a crash at any later point leaves
    // a record of where the server's files are.
    {
        std::ofstream manifest(oldData / kManifestName, std::ios::app);
        manifest << "zarafa-repair moves\n"
                 << "data=" << dataFolder.string() << '\n';
        for (const fs::path &entry : entries) {
            if (wanted(entry)) {
                manifest << "plan=" << entry.filename().string() << '\n';
            }
        }
        manifest.flush();
        if (!manifest) {
            return common::ioError("cannot write the manifest of moves", oldData.string());
        }
    }

    for (const fs::path &entry : entries) {
        if (hooks.stopping()) {
            break;
        }
        hooks.statusLine(5);
        hooks.pause();
        if (wanted(entry) && moveEntry(entry, oldData / entry.filename(), hooks)) {
            appendManifestLine(oldData, "moved=" + entry.filename().string());
        }
    }
    return oldData;
}

fs::path finishRebuildMoves(const fs::path &dataFolder, const fs::path &oldDataFolder,
    const std::string &serverLogName, const MoveHooks &hooks)
{
    const fs::path recovered = dataFolder / ("Recovered Folder " + timeStampNow());
    std::error_code error;
    fs::create_directories(recovered, error);
    auto manifest = readManifest(oldDataFolder);

    // An entry the backup meant to move but did not is still the server's own: leave it.
    const auto rebuilt = [&](const std::string &name) {
        return !manifest.ok() || manifest->wasMoved(name) || !manifest->wasPlanned(name);
    };
    // The walks themselves always run to their end, so that a stop cannot strand the server's
    // files; only the retries of an entry that keeps failing give way to a stop request.
    for (const fs::path &entry : listFolder(dataFolder)) {
        hooks.statusLine(6);
        const std::string name = entry.filename().string();
        if (!rebuilt(name)) {
            continue;
        }
        if (sameName(name, kZarafaFolder) || sameName(name, kTablespace)) {
            moveEntry(entry, recovered / name, hooks);
        } else if (isLogFile(name, serverLogName)) {
            deleteEntry(entry, hooks);
        }
    }
    for (const fs::path &entry : listFolder(oldDataFolder)) {
        hooks.statusLine(6);
        const std::string name = entry.filename().string();
        if (isServerFile(name, serverLogName)) {
            moveEntry(entry, dataFolder / name, hooks);
        }
    }
    appendManifestLine(oldDataFolder, "finished");
    const auto left = listFolder(oldDataFolder);
    if (left.size() == 1 && left.front().filename() == kManifestName) {
        fs::remove_all(oldDataFolder, error);
    }
    return recovered;
}

void putServerFilesBack(const fs::path &dataFolder, const fs::path &oldDataFolder,
    const std::string &serverLogName, const MoveHooks &hooks)
{
    for (const fs::path &entry : listFolder(oldDataFolder)) {
        hooks.statusLine(6);
        const std::string name = entry.filename().string();
        const fs::path target = dataFolder / name;
        if (isServerFile(name, serverLogName)) {
            // What the restarted server made in its place holds nothing of the user's.
            if (fs::exists(target)) {
                deleteEntry(target, hooks);
            }
            moveEntry(entry, target, hooks);
        } else if (sameName(name, kZarafaFolder)) {
            if (fs::exists(target)) {
                hooks.reportProblem(
                    "a new zarafa folder is in the data folder; the old one stays in "
                    + oldDataFolder.string());
            } else {
                moveEntry(entry, target, hooks);
            }
        }
    }
    appendManifestLine(oldDataFolder, "finished");
    std::error_code error;
    const auto left = listFolder(oldDataFolder);
    if (left.size() == 1 && left.front().filename() == kManifestName) {
        fs::remove_all(oldDataFolder, error);
    }
}

} // namespace mysql

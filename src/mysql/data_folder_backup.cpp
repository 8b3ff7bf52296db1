#include "mysql/data_folder_backup.h"

#include "common/fresh_folder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <optional>
#include <fmt/chrono.h>
#include <fmt/format.h>
#include <fstream>
#include <thread>
#include <utility>

namespace mysql {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kZarafaFolder = "zarafa";
constexpr std::string_view kSalvagedFolder = "zarafa_salvaged";
constexpr std::string_view kTablespace = "ibdata1";
constexpr std::string_view kLogFiles[] = { "ib_logfile0", "ib_logfile1" };
// The system tables a server needs to start on the Recovered Folder.
constexpr std::string_view kSystemTables = "mysql";
// Between two attempts at a move that failed; long enough not to spin, short enough to go on
// as soon as whatever held the file lets go.
constexpr auto kRetryPause = std::chrono::milliseconds(100);

bool isRedoLog(std::string_view name)
{
    return sameFileName(name, kLogFiles[0]) || sameFileName(name, kLogFiles[1]);
}

bool isLogFile(std::string_view name, const std::string &serverLogName)
{
    return isRedoLog(name) || sameFileName(name, serverLogName);
}

// The server's own files: what the backup moves and the finishing step puts back.
bool isServerFile(std::string_view name, const std::string &serverLogName)
{
    return sameFileName(name, kTablespace) || isLogFile(name, serverLogName);
}

// The rebuilt database and its quarantine of salvaged rows: their tables live in the tablespace
// that moves with them.
bool isZarafaFolder(const fs::path &entry)
{
    std::error_code error;
    const std::string name = entry.filename().string();
    return (sameFileName(name, kZarafaFolder) || sameFileName(name, kSalvagedFolder))
        && fs::is_directory(entry, error);
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

bool present(const fs::path &path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// Repeats `attempt` until it works, a stop is requested or the hooks' limit has passed; the
// first failure is reported, so that the user sees why the job waits, and so is giving up.
bool retry(const std::function<std::error_code()> &attempt, const std::string &what,
    const MoveHooks &hooks)
{
    const auto deadline = std::chrono::steady_clock::now() + hooks.retryLimit;
    bool reported = false;
    for (;;) {
        const std::error_code error = attempt();
        if (!error) {
            return true;
        }
        // Something at the target stays there whatever the wait: a move never replaces it.
        if (error == std::errc::file_exists) {
            hooks.reportProblem(what + ": " + error.message() + " (it stays where it is)");
            return false;
        }
        if (!reported) {
            hooks.reportProblem(what + ": " + error.message() + " (retrying)");
            reported = true;
        }
        if (hooks.stopping()) {
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            hooks.reportProblem(
                what + ": " + error.message() + " (given up; it stays where it is)");
            return false;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
}

// A move never replaces what is at its target: that could only be a file the journal does not
// know, and it may be the one copy of someone's data.
std::error_code renameWithoutReplacing(const fs::path &from, const fs::path &to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return { errno, std::generic_category() };
    }
    // A file system without RENAME_NOREPLACE: look first; nobody else moves here.
    if (present(to)) {
        return std::make_error_code(std::errc::file_exists);
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return { errno, std::generic_category() };
    }
    return {};
}

void reportStatus(const common::Status &status, const MoveHooks &hooks)
{
    if (!status.ok()) {
        hooks.reportProblem(status.error().describe());
    }
}

// One journaled step: the intent on disk, the change, both folders on disk, then the done.
// A step whose intent cannot be written is not taken.
bool journaled(MoveJournal &journal, MoveStep step, const std::string &name,
    const std::function<bool()> &change, const std::vector<fs::path> &folders,
    const MoveHooks &hooks)
{
    if (auto intended = journal.intend(step, name); !intended.ok()) {
        reportStatus(intended, hooks);
        return false;
    }
    if (!change()) {
        return false;
    }
    for (const fs::path &folder : folders) {
        reportStatus(syncFolder(folder), hooks);
    }
    reportStatus(journal.done(step, name), hooks);
    return true;
}

bool journaledMove(MoveJournal &journal, MoveStep step, const fs::path &from, const fs::path &to,
    const MoveHooks &hooks)
{
    const auto move = [&] {
        return retry([&] { return renameWithoutReplacing(from, to); },
            "cannot move " + from.string() + " to " + to.parent_path().string(), hooks);
    };
    return journaled(journal, step, from.filename().string(), move,
        { from.parent_path(), to.parent_path() }, hooks);
}

bool journaledDelete(MoveJournal &journal, const fs::path &path, const MoveHooks &hooks)
{
    const auto remove = [&] {
        return retry(
            [&] {
                std::error_code error;
                fs::remove_all(path, error);
                return error;
            },
            "cannot delete " + path.string(), hooks);
    };
    return journaled(journal, MoveStep::Discard, path.filename().string(), remove,
        { path.parent_path() }, hooks);
}

// The journal of an OldData folder, read and opened for appending; nothing is moved without it,
// since without it the server's own files cannot be told from rebuilt ones.
std::optional<std::pair<Manifest, MoveJournal>> openJournal(
    const fs::path &oldDataFolder, const MoveHooks &hooks)
{
    auto manifest = readManifest(oldDataFolder);
    if (!manifest.ok()) {
        hooks.reportProblem(manifest.error().describe() + "; nothing was moved");
        return std::nullopt;
    }
    auto journal = MoveJournal::open(oldDataFolder);
    if (!journal.ok()) {
        hooks.reportProblem(journal.error().describe() + "; nothing was moved");
        return std::nullopt;
    }
    return std::make_pair(std::move(manifest).value(), std::move(journal).value());
}

// Ends an OldData folder's journal once every server file is back, and removes the folder when
// nothing but the journal is left in it.
void closeBackup(const fs::path &oldDataFolder, MoveJournal &journal,
    const std::string &serverLogName, const MoveHooks &hooks)
{
    if (!serverFilesBack(oldDataFolder, serverLogName)) {
        hooks.reportProblem("some of the server's own files are still in "
            + oldDataFolder.string() + "; zarafa-repair restore-server puts them back");
        return;
    }
    reportStatus(journal.finished(), hooks);
    const auto left = listFolder(oldDataFolder);
    if (left.size() == 1 && left.front().filename() == kManifestName) {
        std::error_code error;
        fs::remove_all(oldDataFolder, error);
    }
}

} // namespace

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
    auto created = common::createFreshFolder(dataFolder, "OldData" + timeStampNow(), 0755);
    if (!created.ok()) {
        return created.error();
    }
    const fs::path oldData = std::move(created).value();
    const std::vector<fs::path> entries = listFolder(dataFolder);
    const auto wanted = [&](const fs::path &entry) {
        return isServerFile(entry.filename().string(), serverLogName) || isZarafaFolder(entry);
    };
    std::vector<std::string> planned;
    for (const fs::path &entry : entries) {
        if (wanted(entry)) {
            planned.push_back(entry.filename().string());
        }
    }
    auto journal = MoveJournal::create(oldData, dataFolder, planned);
    if (!journal.ok()) {
        fs::remove_all(oldData, error);
        return journal.error();
    }

    for (const fs::path &entry : entries) {
        if (hooks.stopping()) {
            break;
        }
        hooks.statusLine(5);
        hooks.pause();
        if (wanted(entry)) {
            journaledMove(*journal, MoveStep::Aside, entry, oldData / entry.filename(), hooks);
        }
    }
    return oldData;
}

fs::path finishRebuildMoves(const fs::path &dataFolder, const fs::path &oldDataFolder,
    const std::string &serverLogName, const MoveHooks &hooks)
{
    auto opened = openJournal(oldDataFolder, hooks);
    if (!opened) {
        return {};
    }
    auto &[manifest, journal] = *opened;

    // Rebuilt is what stands in the data folder under the name of a server file whose own copy
    // is in the OldData folder, or of one the server did not have before.
    const auto rebuilt = [&](const fs::path &entry) {
        const std::string name = entry.filename().string();
        if (!isServerFile(name, serverLogName) && !isZarafaFolder(entry)) {
            return false;
        }
        return !manifest.wasPlanned(name) || manifest.ownCopy(name) == OwnCopy::InOldData;
    };
    fs::path recovered = manifest.recoveredFolder;
    bool recoveredNoted = !recovered.empty();
    bool anyRebuilt = false;
    // The walks always run to their end, so that a stop cannot strand the server's files; only
    // the retries of an entry that keeps failing give way to a stop request.
    for (const fs::path &entry : listFolder(dataFolder)) {
        hooks.statusLine(6);
        if (!rebuilt(entry)) {
            continue;
        }
        if (!recoveredNoted) {
            // Made before it is noted: a folder that an earlier run left under the same name
            // is never filled with this run's files.
            auto created = common::createFreshFolder(
                dataFolder, "Recovered Folder " + timeStampNow(), 0755);
            if (!created.ok()) {
                hooks.reportProblem(created.error().describe());
                break;
            }
            recovered = std::move(created).value();
            reportStatus(journal.recoveredFolder(recovered), hooks);
            recoveredNoted = true;
        }
        std::error_code error;
        fs::create_directories(recovered, error);
        anyRebuilt = true;
        journaledMove(journal, MoveStep::Rebuilt, entry, recovered / entry.filename(), hooks);
    }
    if (anyRebuilt && fs::is_directory(dataFolder / kSystemTables)) {
        // A copy: the server's own system tables stay where they are.
        std::error_code error;
        fs::copy(dataFolder / kSystemTables, recovered / kSystemTables,
            fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
        if (error) {
            hooks.reportProblem("cannot copy the system tables into " + recovered.string() + ": "
                + error.message());
        }
    }
    for (const fs::path &entry : listFolder(oldDataFolder)) {
        hooks.statusLine(6);
        const std::string name = entry.filename().string();
        if (isServerFile(name, serverLogName) && manifest.ownCopy(name) == OwnCopy::InOldData) {
            journaledMove(journal, MoveStep::Back, entry, dataFolder / name, hooks);
        }
    }
    closeBackup(oldDataFolder, journal, serverLogName, hooks);
    return present(recovered) ? recovered : fs::path();
}

void putServerFilesBack(const fs::path &dataFolder, const fs::path &oldDataFolder,
    const std::string &serverLogName, const MoveHooks &hooks)
{
    auto opened = openJournal(oldDataFolder, hooks);
    if (!opened) {
        return;
    }
    auto &[manifest, journal] = *opened;
    for (const fs::path &entry : listFolder(oldDataFolder)) {
        hooks.statusLine(6);
        const std::string name = entry.filename().string();
        const fs::path target = dataFolder / name;
        if (manifest.ownCopy(name) != OwnCopy::InOldData) {
            continue;
        }
        if (isServerFile(name, serverLogName)) {
            if (present(target) && !isRedoLog(name) && !sameFileName(name, kTablespace)) {
                // The restarted server's log says why this job ended: it stays, beside the
                // journal.
                journaledMove(journal, MoveStep::Discard, target,
                    oldDataFolder / ("repair run " + name), hooks);
            } else if (present(target)) {
                // What the restarted server made in its place holds nothing of the user's.
                journaledDelete(journal, target, hooks);
            }
            journaledMove(journal, MoveStep::Back, entry, target, hooks);
        } else if (isZarafaFolder(entry)) {
            if (present(target)) {
                hooks.reportProblem("a new zarafa folder is in the data folder; the old one "
                                    "stays in "
                    + oldDataFolder.string());
            } else {
                journaledMove(journal, MoveStep::Back, entry, target, hooks);
            }
        }
    }
    closeBackup(oldDataFolder, journal, serverLogName, hooks);
}

bool serverFilesBack(const fs::path &oldDataFolder, const std::string &serverLogName)
{
    if (!present(oldDataFolder)) {
        return true; // removed once it held nothing but its journal
    }
    auto manifest = readManifest(oldDataFolder);
    if (!manifest.ok()) {
        return false;
    }
    for (const fs::path &entry : listFolder(oldDataFolder)) {
        const std::string name = entry.filename().string();
        if (isServerFile(name, serverLogName) && manifest->ownCopy(name) == OwnCopy::InOldData) {
            return false;
        }
    }
    return true;
}

} // namespace mysql

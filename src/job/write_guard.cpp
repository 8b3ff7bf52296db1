#include "job/write_guard.h"

#include "job/write_fault.h"
#include "mysql/statements.h"

#include <filesystem>

namespace job {

namespace {

std::uint64_t tablespaceBytes(const RepairJob &job)
{
    namespace fs = std::filesystem;
    std::uint64_t bytes = 0;
    std::error_code error;
    if (!job.tablespacePath.empty()) {
        const auto size = fs::file_size(job.tablespacePath, error);
        bytes += error ? 0 : size;
    }
    for (fs::directory_iterator it(job.zarafaFolderPath, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code sizeError;
        const auto size = it->is_regular_file(sizeError) ? it->file_size(sizeError) : 0;
        bytes += sizeError ? 0 : size;
    }
    return bytes;
}

// The folder the server writes into: its data folder once the backup found it.
std::filesystem::path serverFolder(const RepairJob &job) { return job.mysqlDataFolder; }

} // namespace

bool checkFreeSpace(RepairJob &job, const std::vector<std::filesystem::path> &folders)
{
    const std::uint64_t bytes = tablespaceBytes(job);
    const std::uint64_t need = estimatedNeed(bytes);
    const std::uint64_t floor = clearlyTooLittle(bytes);
    bool enough = true;
    for (const auto &folder : folders) {
        const auto available = freeBytes(folder);
        if (!available) {
            continue;
        }
        const std::string line = folder.string() + ": " + megabytes(*available) + " free, about "
            + megabytes(need) + " needed for a tablespace of " + megabytes(bytes);
        if (*available < floor) {
            job.fail("Not enough free disk space: " + line
                + "; free space there or choose a workshop on a larger disk (--workshop)");
            enough = false;
        } else if (*available < need) {
            job.addListRow(job.nextListRow++, "Little free disk space: " + line);
        }
    }
    return enough;
}

void noteWriteFault(RepairJob &job, const std::string &cause)
{
    if (!job.writeFault.empty()) {
        return;
    }
    job.writeFault = cause;
    const std::string folder
        = job.mysqlDataFolder.empty() ? std::string("its data folder") : job.mysqlDataFolder;
    const std::string line = "The rebuild was ended: " + cause + "; server data folder " + folder;
    job.fail(line);
    job.host.statusLine(6, line);
    job.addListRow(job.nextListRow++, line);
    // Not the user's stop: the finishing step clears it and the verdict says failed.
    job.flags.stopRequested = 1;
}

void guardWrites(RepairJob &job, MySqlTableWriter &writer)
{
    writer.checkSpace = [&job](std::uint64_t bytes) -> std::optional<std::string> {
        if (job.mysqlDataFolder.empty()) {
            return std::nullopt;
        }
        // The server writes a row about twice over (data and index) while it goes in.
        return spaceFault(serverFolder(job), 2 * bytes);
    };
    writer.onFault = [&job](const std::string &cause) { noteWriteFault(job, cause); };
}

std::optional<common::Error> switchRefusal(RepairJob &job)
{
    if (!job.writeFault.empty()) {
        return common::Error { common::ErrorKind::Database, "not switched: " + job.writeFault, {} };
    }
    if (!job.mysqlDataFolder.empty()) {
        if (auto cause = spaceFault(serverFolder(job))) {
            noteWriteFault(job, *cause);
            return common::Error { common::ErrorKind::Database, "not switched: " + *cause, {} };
        }
    }
    return std::nullopt;
}

void noteSwitchAnswer(
    RepairJob &job, const common::Status &switched, int serverError, std::string_view serverState)
{
    if (switched.ok()) {
        return;
    }
    if (auto cause = serverWriteFault(serverError, serverState, switched.error().message)) {
        noteWriteFault(job, *cause);
    }
}

common::Status guardedSwitch(
    RepairJob &job, mysql::Connection &connection, std::string_view dictionaryName)
{
    if (auto refusal = switchRefusal(job)) {
        return *refusal;
    }
    common::Status switched = mysql::switchTableToInnoDb(connection, dictionaryName);
    noteSwitchAnswer(job, switched, connection.lastServerError(), connection.lastState());
    return switched;
}

} // namespace job

#include "job/save_database.h"

#include "innodb/tablespace_set.h"
#include "job/folder_listing.h"
#include "job/heap_release.h"

#include <filesystem>
#include <map>

namespace job {

namespace {

// The bytes of every tablespace the scan will read: ibdata1 and the .ibd files of the Zarafa
// folder, so that the scan's progress is a share of all of them, not of the file at hand.
std::map<std::string, std::uint64_t> tablespaceSizes(const RepairJob &job)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::uint64_t> sizes;
    std::error_code error;
    if (!job.tablespacePath.empty()) {
        const auto size = fs::file_size(job.tablespacePath, error);
        sizes[fs::path(job.tablespacePath).filename().string()] = error ? 0 : size;
    }
    for (fs::directory_iterator it(job.zarafaFolderPath, error), end; !error && it != end;
         it.increment(error)) {
        if (endsWithIgnoringCase(it->path().filename().string(), ".ibd")) {
            std::error_code sizeError;
            const auto size = it->file_size(sizeError);
            sizes[it->path().filename().string()] = sizeError ? 0 : size;
        }
    }
    return sizes;
}

} // namespace

void saveDatabase(RepairJob &job, const DataPassSteps &steps)
{
    job.startPhase("scan");
    job.progress.enter(Stage::Scan);
    mapLargeBlocksApart();
    const std::map<std::string, std::uint64_t> sizes = tablespaceSizes(job);
    std::uint64_t allBytes = 0;
    for (const auto &[name, size] : sizes) {
        allBytes += size;
    }
    std::uint64_t bytesOfEarlierFiles = 0;
    std::string current;
    innodb::TablespaceSetCallbacks callbacks;
    callbacks.progress = [&](const std::string &fileName, std::uint64_t done, std::uint64_t total) {
        job.host.statusLine(2, fileName);
        const auto size = sizes.find(fileName);
        const std::uint64_t fileBytes = size == sizes.end() ? 0 : size->second;
        if (fileName != current) {
            if (const auto earlier = sizes.find(current); earlier != sizes.end()) {
                bytesOfEarlierFiles += earlier->second;
            }
            current = fileName;
        }
        const std::uint64_t inFile = total == 0
            ? 0
            : static_cast<std::uint64_t>(static_cast<double>(fileBytes)
                * static_cast<double>(std::min(done, total)) / static_cast<double>(total));
        job.progress.step(Stage::Scan, bytesOfEarlierFiles + inFile, allBytes, "bytes");
    };
    callbacks.stopRequested = [&job] { return job.stopping(); };
    // ibdata1 and the .ibd files of the Zarafa folder: a server with file-per-table keeps the
    // rows in the latter, and without ibdata1 they are still found through their own page 3.
    const innodb::TablespaceSet spaces = innodb::TablespaceSet::open(
        job.tablespacePath, job.zarafaFolderPath, job.tables, "zarafa", callbacks);
    job.log.setTablespaceSize(spaces.totalBytes());
    if (job.tablespacePath.empty()) {
        job.addListRow(job.nextListRow++,
            "The folder holds no ibdata1: rows are read from the "
            ".ibd files of the Zarafa folder only");
    }
    for (const auto &problem : spaces.problems()) {
        job.addListRow(job.nextListRow++, problem);
        job.readProblems.push_back(problem);
    }
    job.startPhase("data");
    runTableDataPass(job, &spaces, steps);
}

} // namespace job

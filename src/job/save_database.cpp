#include "job/save_database.h"

#include "innodb/table_discovery.h"
#include "innodb/tablespace_file.h"

#include <optional>

namespace job {

namespace {

void addRow(RepairJob &job, const std::string &text) { job.addListRow(job.nextListRow++, text); }

} // namespace

void saveDatabase(RepairJob &job, const DataPassSteps &steps)
{
    TablespaceView view;
    std::optional<innodb::TablespaceFile> file;
    std::optional<innodb::ScanResult> scan;
    std::optional<innodb::TableDiscovery> discovery;

    if (job.tablespacePath.empty()) {
        addRow(job, "The folder holds no ibdata1: no rows can be read");
    } else if (auto opened = innodb::TablespaceFile::open(job.tablespacePath); !opened) {
        addRow(job, job.tablespaceFileName + ": " + opened.error().describe());
    } else {
        file.emplace(std::move(*opened));
        job.log.setTablespaceSize(file->sizeBytes());
        innodb::ScanCallbacks callbacks;
        const std::string name = job.tablespaceFileName;
        callbacks.progress
            = [&job, name](std::uint64_t, std::uint64_t) { job.host.statusLine(2, name); };
        callbacks.stopRequested = [&job] { return job.stopping(); };
        if (auto scanned = innodb::scanTablespace(*file, callbacks); !scanned) {
            addRow(job, job.tablespaceFileName + ": " + scanned.error().describe());
        } else {
            scan.emplace(std::move(*scanned));
            auto found
                = innodb::discoverTables(*file, *scan, "zarafa", [&job] { return job.stopping(); });
            if (!found) {
                addRow(job,
                    job.tablespaceFileName + ": the data dictionary cannot be read ("
                        + found.error().describe() + ")");
            } else {
                discovery.emplace(std::move(*found));
                for (const auto &problem : discovery->problems) {
                    addRow(job, problem);
                }
                view = TablespaceView { &*file, &*scan, &*discovery };
            }
        }
    }
    runTableDataPass(job, view, steps);
}

} // namespace job

#include "job/save_database.h"

#include "innodb/tablespace_set.h"

namespace job {

void saveDatabase(RepairJob &job, const DataPassSteps &steps)
{
    job.startPhase("scan");
    innodb::TablespaceSetCallbacks callbacks;
    callbacks.progress = [&job](const std::string &fileName, std::uint64_t, std::uint64_t) {
        job.host.statusLine(2, fileName);
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

// The table data pass: every table's rows from the tablespace into the rebuilt database, one
// table after the other, each logged and switched to InnoDB when its rows are in.
#pragma once

#include "innodb/page_scanner.h"
#include "innodb/page_source.h"
#include "innodb/row_sink.h"
#include "innodb/table_discovery.h"
#include "job/repair_job.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace job {

// Where one table's rows go: the insertion into the rebuilt table, or a test's list.
class TableWriter : public innodb::RowSink
{
public:
    virtual std::uint64_t rowsInserted() const = 0;
    virtual std::uint64_t rowsRefused() const = 0;
};

struct DataPassSteps
{
    // A writer for the rows of `table`.
    std::function<std::unique_ptr<TableWriter>(const frm::FrmTableEntry &table)> openWriter;
    // Converts the rebuilt table to InnoDB (status line kind 1 is the step's own).
    std::function<void(const frm::FrmTableEntry &table)> switchToInnoDb;
    // Moves the rebuilt files to the Recovered Folder; runs after the last table or a stop.
    std::function<void()> finishRebuild;
    bool includeDeleted = false;
};

// The tablespace as the save phase read it.
struct TablespaceView
{
    innodb::PageSource *file = nullptr;
    const innodb::ScanResult *scan = nullptr;
    const innodb::TableDiscovery *discovery = nullptr;
};

// Runs the pass over the tables of `view.discovery` in dictionary order, records what happened to
// each table in job.outcomes, then runs the finishing step and adds the finish line.
void runTableDataPass(RepairJob &job, const TablespaceView &view, const DataPassSteps &steps);

} // namespace job

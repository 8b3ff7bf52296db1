// The table data pass: every table's rows from the tablespace into the rebuilt database, one
// table after the other, each logged and switched to InnoDB when its rows are in.
#pragma once

#include "common/result.h"
#include "innodb/row_sink.h"
#include "innodb/tablespace_set.h"
#include "job/landed_rows.h"
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
    // Called once after the table's last row (also after a stop): a writer that holds rows back
    // sends them now.
    virtual void finish() { }
    // Where the rows that land are copied as well (the portable dump); a writer that cannot say
    // which rows landed ignores it.
    virtual void copyLandedRowsTo(LandedRows *copy) { (void)copy; }
    virtual std::uint64_t rowsInserted() const = 0;
    virtual std::uint64_t rowsRefused() const = 0;
    // The server's words for the last row it refused, empty when none was.
    virtual std::string lastRefusal() const { return {}; }
};

class Quarantine;
class TableSwitches;

struct DataPassSteps
{
    // A writer for the rows of `table`.
    std::function<std::unique_ptr<TableWriter>(const frm::FrmTableEntry &table)> openWriter;
    // Converts the rebuilt table to InnoDB (status line kind 1 is the step's own); the server's
    // reason when it refuses. Not run for a table that was not read.
    std::function<common::Status(const frm::FrmTableEntry &table)> switchToInnoDb;
    // Where the switches run instead, beside the next tables' inserts (table_switches.h); null:
    // switchToInnoDb runs in place.
    TableSwitches *switches = nullptr;
    // A second home for the rows that land, told of every table the pass goes through; may be
    // null.
    DatabaseCopy *copy = nullptr;
    // Moves the rebuilt files to the Recovered Folder; runs after the last table or a stop.
    std::function<void()> finishRebuild;
    bool includeDeleted = false;
    // Keep rows whose long value is damaged, with the value cut where the damage starts (they
    // are left out by default); either way each is named in the table's outcome.
    bool keepDamagedValues = false;
    // Where the rows of pages that fail their checks go when they prove sound (salvage_rows.h);
    // null: such pages are left out whole.
    Quarantine *quarantine = nullptr;
    // The sound ones into the rebuilt table instead, when no intact page had their key.
    bool mergeSalvaged = false;
};

// Runs the pass over the tables of `spaces` (ibdata1 and any .ibd files) in dictionary order,
// records what happened to each table in job.outcomes, then runs the finishing step and adds the
// finish line. With no tablespace at all (`spaces` null) every table is logged with no rows.
void runTableDataPass(
    RepairJob &job, const innodb::TablespaceSet *spaces, const DataPassSteps &steps);

} // namespace job

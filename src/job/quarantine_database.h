// The quarantine in the workshop: the database zarafa_salvaged beside the rebuilt zarafa, on a
// connection of its own, and its portable dump zarafa-salvaged.sql in the run's folder. Both are
// made only when the first salvaged row arrives, and hold only the tables that have such rows: a
// run without damaged pages leaves no empty quarantine behind to wonder about.
#pragma once

#include "common/result.h"
#include "job/dump_writer.h"
#include "job/row_insertion.h"
#include "job/salvage_rows.h"

#include <functional>
#include <memory>

namespace job {

class MySqlQuarantine : public Quarantine
{
public:
    using Connect = std::function<common::Result<std::unique_ptr<mysql::Connection>>()>;
    MySqlQuarantine(RepairJob &job, Connect connect);
    ~MySqlQuarantine() override;

    TableWriter *writerFor(const frm::FrmTableEntry &table, std::string &problem) override;
    void endTable(const frm::FrmTableEntry &table, SalvageOutcome &outcome) override;

    // Completes the dump (job.salvagedDumpPath) and lets go of the connection; before the server
    // stops.
    void finish();

private:
    common::Status open();

    RepairJob &m_job;
    Connect m_connect;
    std::unique_ptr<mysql::Connection> m_connection;
    std::unique_ptr<DumpWriter> m_dump;
    std::unique_ptr<MySqlTableWriter> m_writer;
    std::string m_problem; // why the quarantine cannot be made; then it is not tried again
    bool m_opened = false;
};

} // namespace job

#include "job/quarantine_database.h"

#include "frm/create_table_text.h"
#include "job/result_delivery.h"
#include "job/write_guard.h"
#include "mysql/statements.h"

namespace job {

MySqlQuarantine::MySqlQuarantine(RepairJob &job, Connect connect)
    : m_job(job)
    , m_connect(std::move(connect))
{
}

MySqlQuarantine::~MySqlQuarantine() = default;

common::Status MySqlQuarantine::open()
{
    auto connection = m_connect();
    if (!connection.ok()) {
        return connection.error();
    }
    m_connection = std::move(connection).value();
    for (const std::string &statement : { "create database " + std::string(kSalvagedDatabase),
             "use " + std::string(kSalvagedDatabase) }) {
        if (const common::Status done = m_connection->execute(statement); !done.ok()) {
            return done;
        }
    }
    m_dump = openDump(m_job, kSalvagedDumpName, kSalvagedDatabase);
    return common::okStatus();
}

TableWriter *MySqlQuarantine::writerFor(const frm::FrmTableEntry &table, std::string &problem)
{
    if (m_writer) {
        return m_writer.get();
    }
    if (!m_opened) {
        m_opened = true;
        if (const common::Status opened = open(); !opened.ok()) {
            m_problem = "the quarantine database " + std::string(kSalvagedDatabase)
                + " cannot be made: " + opened.error().describe();
            m_connection.reset();
            m_job.addListRow(m_job.nextListRow++, m_problem);
        }
    }
    if (!m_connection) {
        problem = m_problem;
        return nullptr;
    }
    // The same definition as the rebuilt table, so that its rows can be compared and moved over
    // with plain SQL.
    if (const common::Status created = m_connection->execute(frm::createTableText(table));
        !created.ok()) {
        problem = "the quarantine's table cannot be made: " + created.error().describe();
        return nullptr;
    }
    m_writer = std::make_unique<MySqlTableWriter>(*m_connection, table);
    guardWrites(m_job, *m_writer);
    if (m_dump) {
        m_writer->copyLandedRowsTo(&m_dump->beginTable(table));
    }
    return m_writer.get();
}

void MySqlQuarantine::endTable(const frm::FrmTableEntry &table, SalvageOutcome &outcome)
{
    if (!m_writer) {
        return;
    }
    m_writer->finish();
    outcome.rowsQuarantined = m_writer->rowsInserted();
    outcome.rowsRefused = m_writer->rowsRefused();
    if (m_dump) {
        m_dump->endTable(table, m_writer->rowsInserted());
    }
    m_writer.reset();
    const common::Status switched = guardedSwitch(m_job, *m_connection, table.dictionaryName);
    if (!switched.ok() && outcome.problem.empty()) {
        outcome.problem = "the quarantine's table stays MyISAM: " + switched.error().describe();
    }
}

void MySqlQuarantine::finish()
{
    if (m_dump) {
        finishDump(m_job, *m_dump, m_job.salvagedDumpPath);
        m_dump.reset();
    }
    m_writer.reset();
    m_connection.reset();
}

} // namespace job

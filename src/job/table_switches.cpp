#include "job/table_switches.h"

#include "job/write_guard.h"
#include "mysql/statements.h"

#include <chrono>

namespace job {

MySqlTableSwitches::MySqlTableSwitches(RepairJob &job, Connect connect)
    : m_job(job)
    , m_connect(std::move(connect))
{
}

MySqlTableSwitches::~MySqlTableSwitches() { close(); }

void MySqlTableSwitches::close()
{
    m_queue.reset(); // runs what it holds to the end
    m_connection.reset();
}

bool MySqlTableSwitches::connect()
{
    if (!m_connectTried) {
        m_connectTried = true;
        auto opened = m_connect ? m_connect()
                                : common::Result<std::unique_ptr<mysql::Connection>>(common::Error {
                                    common::ErrorKind::Database, "no second connection", {} });
        if (opened.ok() && (*opened)->execute("use zarafa").ok()) {
            m_connection = std::move(opened).value();
            m_queue.emplace();
        }
    }
    return m_connection != nullptr;
}

void MySqlTableSwitches::begin(const frm::FrmTableEntry &table)
{
    auto next = std::make_unique<Switch>();
    Switch &slot = *next;
    m_switches.push_back(std::move(next));
    if (auto refusal = switchRefusal(m_job)) {
        slot.answer = *refusal;
        return;
    }
    if (!connect()) {
        if (!m_job.connection) {
            slot.answer = common::Error { common::ErrorKind::Database, "no connection", {} };
            return;
        }
        slot.answer = mysql::switchTableToInnoDb(*m_job.connection, table.dictionaryName);
        slot.serverError = m_job.connection->lastServerError();
        slot.serverState = m_job.connection->lastState();
        return;
    }
    const std::string statement = mysql::switchStatementText(table.dictionaryName);
    mysql::Connection &connection = *m_connection;
    slot.ended = m_queue->push([&slot, &connection, statement] {
        slot.answer = connection.execute(statement);
        slot.serverError = connection.lastServerError();
        slot.serverState = connection.lastState();
    });
}

bool MySqlTableSwitches::oldestEnded() const
{
    if (m_switches.empty()) {
        return false;
    }
    const Switch &oldest = *m_switches.front();
    return !oldest.ended.valid()
        || oldest.ended.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

common::Status MySqlTableSwitches::endOldest()
{
    if (m_switches.empty()) {
        return common::Error { common::ErrorKind::Database, "no switch was started", {} };
    }
    std::unique_ptr<Switch> oldest = std::move(m_switches.front());
    m_switches.pop_front();
    if (oldest->ended.valid()) {
        oldest->ended.get();
    }
    noteSwitchAnswer(m_job, oldest->answer, oldest->serverError, oldest->serverState);
    return oldest->answer;
}

} // namespace job

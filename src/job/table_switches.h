// Switches to InnoDB that run beside the inserts of the tables after them. The server copies a
// switched table's rows once more; on a connection of its own that copy takes the second core
// while the next tables fill. Each switch is handed over once its table's rows are in and its
// answer collected, in the order handed over, before that table's lines are shown, so that the
// log reads as it would had each switch run in place.
#pragma once

#include "common/result.h"
#include "common/serial_queue.h"
#include "frm/table_definition.h"
#include "job/repair_job.h"
#include "mysql/connection.h"

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

namespace job {

class TableSwitches
{
public:
    virtual ~TableSwitches() = default;
    // Hands the switch of `table` over; its rows are all in.
    virtual void begin(const frm::FrmTableEntry &table) = 0;
    // Whether the oldest switch not yet collected has ended (false when there is none).
    virtual bool oldestEnded() const = 0;
    // Waits for the oldest switch not yet collected and returns the server's answer.
    virtual common::Status endOldest() = 0;
};

// The rebuild's switches, on a second connection to the same server. Without one (the server
// takes no second login) each switch runs in place on the job's connection, as before.
class MySqlTableSwitches : public TableSwitches
{
public:
    using Connect = std::function<common::Result<std::unique_ptr<mysql::Connection>>()>;

    MySqlTableSwitches(RepairJob &job, Connect connect);
    // Waits for every switch handed over.
    ~MySqlTableSwitches() override;
    MySqlTableSwitches(const MySqlTableSwitches &) = delete;
    MySqlTableSwitches &operator=(const MySqlTableSwitches &) = delete;

    void begin(const frm::FrmTableEntry &table) override;
    bool oldestEnded() const override;
    common::Status endOldest() override;

    // Waits for every switch and lets the connection go, before the server stops.
    void close();

private:
    struct Switch
    {
        std::future<void> ended; // invalid when the answer was known at once
        common::Status answer = common::okStatus();
        int serverError = 0;
        std::string serverState;
    };

    bool connect();

    RepairJob &m_job;
    Connect m_connect;
    bool m_connectTried = false;
    std::unique_ptr<mysql::Connection> m_connection;
    std::deque<std::unique_ptr<Switch>> m_switches;
    // Last, so that it goes first: its thread uses the connection and the switches.
    std::optional<common::SerialQueue> m_queue;
};

} // namespace job

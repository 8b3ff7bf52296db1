// Row insertion: each decoded row becomes one INSERT statement on the rebuild's connection, its
// character and binary values bound as raw-byte parameters.
#pragma once

#include "innodb/value_text.h"
#include "job/table_data_pass.h"
#include "mysql/connection.h"

#include <cstdint>
#include <string>
#include <vector>

namespace job {

// The fourteen-digit YYYYMMDDhhmmss form of a TIMESTAMP's stored seconds, as UTC: the session
// time zone of the rebuild's connection is UTC, so the server stores the same instant. The zero
// value stays the zero timestamp.
std::string TimestampToText(std::uint32_t seconds);

// "Insert into `t`(`a`,`b`) values(1,?)" from a table name and the insert form of one row.
std::string insertStatementText(std::string_view tableName, const innodb::InsertForm &form);

// The parameter type for a long value's column type: BLOB types travel as long variable binary,
// every other character or binary type as variable binary.
mysql::ParameterType parameterTypeFor(std::string_view typeName);

// Inserts each row with one statement; a row the server refuses is counted, never shown.
class MySqlTableWriter : public TableWriter
{
public:
    MySqlTableWriter(mysql::Connection &connection, const frm::FrmTableEntry &table);

    void acceptRow(const innodb::DecodedRow &row) override;
    std::uint64_t rowsInserted() const override { return m_inserted; }
    std::uint64_t rowsRefused() const override { return m_refused; }
    // The driver's description of the last refusal, for diagnostics.
    const std::string &lastRefusal() const { return m_lastRefusal; }

private:
    mysql::Connection &m_connection;
    std::string m_tableName;
    std::vector<std::vector<std::uint8_t>> m_spilled; // spilled values read back for binding
    std::uint64_t m_inserted = 0;
    std::uint64_t m_refused = 0;
    std::string m_lastRefusal;
};

} // namespace job

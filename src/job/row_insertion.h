// Row insertion: decoded rows go to the rebuild's connection in multi-row INSERT statements, their
// character and binary values bound as raw-byte parameters. A row the server refuses is refused
// on its own, in the one-row statement it would have had without batching.
#pragma once

#include "common/background_call.h"
#include "innodb/value_text.h"
#include "job/table_data_pass.h"
#include "mysql/connection.h"

#include <cstdint>
#include <functional>
#include <optional>
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

// How many rows, bytes and parameters one multi-row statement may carry.
struct BatchLimits
{
    std::size_t rows = 1000;
    // Statement text and parameter bytes together. The client library keeps buffers as large as
    // the largest statement for the rest of the session (twice over), and a batch's rows are
    // held several times over while it travels (the batch, its statement text, the driver's
    // packet, the dump's copy).
    // Batches of 256 KiB ran faster than those of 1 and 4 MiB, and keep the tool's memory flat
    // as the folder grows.
    std::size_t bytes = 1 << 18;
    std::size_t parameters = 30000; // a prepared statement takes at most 65535
};

// Collects rows into batches. A batch the server takes whole counts every row. When it refuses
// one, the rows ahead of the refused one have landed (the tables are MyISAM while they fill and
// strict mode stops at the first bad row; a transactional table rolls the statement back, so
// none landed): the table's row count before and after says how many, and the rest of the batch
// goes one row per statement, so a row is refused exactly when it would be on its own.
// One batch at a time is with the server while the next one fills: the rows of a table are
// decoded while the server stores the ones before them. A batch's answer is collected before
// the next batch goes out, so the rows are counted and settled in the order they came.
class MySqlTableWriter : public TableWriter
{
public:
    MySqlTableWriter(
        mysql::Connection &connection, const frm::FrmTableEntry &table, BatchLimits limits = {});
    ~MySqlTableWriter() override;

    void acceptRow(const innodb::DecodedRow &row) override;
    void finish() override;
    // Every row that lands is staged with `copy` before it is sent and settled once the server
    // answered, in the order the rows came.
    void copyLandedRowsTo(LandedRows *copy) override { m_copy = copy; }
    std::uint64_t rowsInserted() const override { return m_inserted; }
    std::uint64_t rowsRefused() const override { return m_refused; }
    // The driver's description of the last refusal, for diagnostics.
    std::string lastRefusal() const override { return m_lastRefusal; }
    // Rows sent one per statement after a batch was refused (for tests and figures).
    std::uint64_t rowsSentAlone() const { return m_sentAlone; }

    // Asked before each statement with the bytes it carries: why the disk cannot take them, or
    // nothing. Without it only the server's own errors tell of a full disk.
    std::function<std::optional<std::string>(std::uint64_t bytes)> checkSpace;
    // Told once when the server cannot write any more (a full disk, the server gone); from then
    // on no statement is sent and every further row counts as refused with that cause.
    std::function<void(const std::string &cause)> onFault;
    // The cause of that fault, empty while there is none.
    const std::string &fault() const { return m_fault; }

private:
    // A row of a batch: its slice of the batch's values, and its parameters.
    struct PendingRow
    {
        std::size_t valuesBegin = 0;
        std::size_t valuesEnd = 0; // without the "," that ends the last value
        std::size_t parametersBegin = 0;
        std::size_t parametersEnd = 0;
        // It holds a value a strict server refuses to store though its own table held it (an
        // ENUM's empty error value): sent alone, with the session's strictness lifted.
        bool lenient = false;
    };
    // A parameter's bytes, kept in the batch's bytes until the batch is sent.
    struct PendingParameter
    {
        std::size_t column = 0;
        std::size_t offset = 0;
        std::size_t size = 0;
    };
    // Rows on their way: the one being filled, or the one with the server.
    struct Batch
    {
        std::string values; // every row's values text, back to back
        std::vector<std::uint8_t> bytes;
        std::vector<PendingRow> rows;
        std::vector<PendingParameter> parameters;
        void clear();
    };

    void prepareSession();
    // Sends the filling batch: as one statement that the server answers while the caller goes
    // on, or row by row at once.
    void flush();
    // Waits for the batch with the server and settles its rows: counted, and after a refusal
    // the rest of it sent one row per statement.
    void collect();
    // flush() and collect(): nothing is left with the server.
    void drain();
    void sendAlone(const Batch &batch, const PendingRow &row);
    void settle(std::size_t rows, bool landed);
    // Sets the session's sql_mode without its STRICT_* words; the mode to put back, or nothing
    // when it could not be changed.
    std::optional<std::string> relaxStrictMode();
    std::vector<mysql::Parameter> parametersOf(const Batch &batch, const PendingRow &row) const;
    bool countRows(std::uint64_t &rows);
    // Whether the server can take no more writes: before a statement (the disk's free space) or
    // after a failed one (its error). Declares the fault the first time.
    bool faultBefore(std::uint64_t bytes);
    bool faultAfter(const common::Status &done);
    void declareFault(std::string cause);
    // The rows of `batch` from `first` on, refused unsent after a fault.
    void refuseUnsent(const Batch &batch, std::size_t first);

    mysql::Connection &m_connection;
    const frm::FrmTableEntry &m_table;
    LandedRows *m_copy = nullptr;
    BatchLimits m_limits;
    std::string m_tableName;
    std::string m_head; // "Insert into `t`(`a`,`b`) values"
    std::vector<mysql::ParameterType> m_types; // per column in definition order

    Batch m_filling;
    Batch m_sending; // with the server while m_inFlight
    std::vector<std::size_t> m_parameterColumns;
    std::string m_statement;
    std::vector<mysql::Parameter> m_bound; // m_sending's parameters, in statement order
    bool m_inFlight = false;
    common::Status m_sent = common::okStatus(); // the server's answer to m_sending

    bool m_sessionReady = false;
    bool m_batching = true; // false when the row count or the session cannot be learnt
    std::optional<std::string> m_savedSqlMode; // restored by finish()
    std::uint64_t m_tableRows = 0; // the table's row count, kept up to date while batching
    bool m_tableRowsKnown = false;

    std::uint64_t m_inserted = 0;
    std::uint64_t m_refused = 0;
    std::uint64_t m_sentAlone = 0;
    std::string m_lastRefusal;
    std::string m_fault;
    // Last, so that it goes first: its thread uses the members above until it is collected.
    common::BackgroundCall m_sender;
};

} // namespace job

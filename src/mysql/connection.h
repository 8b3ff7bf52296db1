// Connection: our thin layer over unixODBC, the one way this program runs SQL on a server.
//
// The connection is the connection slot; each statement takes a fresh command (an ODBC statement
// handle) and releases it together with any result set before returning, so that no command or
// result set outlives the statement that made it.
//
//     auto connection = mysql::Connection::open(mysql::connectionString("localhost", "root", ""));
//     if (!connection.ok()) { report(connection.error().message); } // the driver's description
//     (*connection)->execute("create database zarafa");
#pragma once

#include "common/result.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mysql {

// The parameter types of a row's long values, with the numbers ADO gives them.
enum class ParameterType {
    VarBinary = 204, // texts, VARCHAR and VARBINARY values
    LongVarBinary = 205, // BLOB values
};

// One positional "?" parameter: input direction, declared size = the byte length, raw bytes.
struct Parameter
{
    std::string name; // the column it belongs to; for messages only, binding is positional
    ParameterType type = ParameterType::LongVarBinary;
    std::span<const std::byte> bytes;
};

// The rows of a query as texts; NULL is an empty optional.
using Row = std::vector<std::optional<std::string>>;
using Rows = std::vector<Row>;

class Connection
{
public:
    // Opens a connection with a full ODBC connection string. A refusal is an Error of kind
    // Database whose message is the driver's description.
    static common::Result<std::unique_ptr<Connection>> open(const std::string &connectionString);

    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Runs one text; rows it returns are discarded unread.
    common::Status execute(std::string_view sql);
    // Runs one text whose "?" placeholders take `parameters` in order, bound as raw bytes.
    common::Status execute(std::string_view sql, std::span<const Parameter> parameters);
    // Runs one text and returns every row it produced, each value as raw bytes in a string.
    common::Result<Rows> query(std::string_view sql);

    // The server's error number (1114, 2013, ...) and SQLSTATE of the last statement that
    // failed; 0 and empty while none has.
    int lastServerError() const { return m_lastServerError; }
    const std::string &lastState() const { return m_lastState; }

private:
    Connection(void *environment, void *connection);
    common::Error failure(short handleType, void *handle, std::string where);

    void *m_environment; // SQLHENV
    void *m_connection; // SQLHDBC
    int m_lastServerError = 0;
    std::string m_lastState;
};

} // namespace mysql

#include "mysql/connection.h"

#include <sql.h>
#include <sqlext.h>

namespace mysql {

namespace {

// Every diagnostic record of a handle, joined; the drivers put the useful text in the first.
std::string describeDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    std::string out;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER nativeError = 0;
        SQLCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRec(
            handleType, handle, record, state, &nativeError, message, sizeof message, &length);
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        if (!out.empty()) {
            out.append("; ");
        }
        out.append(reinterpret_cast<const char *>(message));
    }
    return out.empty() ? std::string("the driver gave no description") : out;
}

common::Error databaseError(SQLSMALLINT handleType, SQLHANDLE handle, std::string where)
{
    return common::Error { common::ErrorKind::Database, describeDiagnostics(handleType, handle),
        std::move(where) };
}

SQLCHAR *sqlText(std::string_view text)
{
    // ODBC takes non-const pointers to texts it only reads.
    return reinterpret_cast<SQLCHAR *>(const_cast<char *>(text.data()));
}

SQLINTEGER sqlLength(std::string_view text) { return static_cast<SQLINTEGER>(text.size()); }

// A command: a statement handle freed, with any open result set, when it goes out of scope.
class Command
{
public:
    explicit Command(SQLHDBC connection)
    {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &m_handle))) {
            m_handle = SQL_NULL_HSTMT;
        }
    }
    ~Command()
    {
        if (m_handle != SQL_NULL_HSTMT) {
            SQLFreeStmt(m_handle, SQL_CLOSE);
            SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
        }
    }
    Command(const Command &) = delete;
    Command &operator=(const Command &) = delete;

    bool valid() const { return m_handle != SQL_NULL_HSTMT; }
    SQLHSTMT handle() const { return m_handle; }

    // Consumes every result set so the connection is free for the next statement.
    void discardResults()
    {
        do {
            SQLFreeStmt(m_handle, SQL_CLOSE);
        } while (SQLMoreResults(m_handle) == SQL_SUCCESS);
    }

private:
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
};

} // namespace

Connection::Connection(void *environment, void *connection)
    : m_environment(environment)
    , m_connection(connection)
{
}

Connection::~Connection()
{
    SQLDisconnect(m_connection);
    SQLFreeHandle(SQL_HANDLE_DBC, m_connection);
    SQLFreeHandle(SQL_HANDLE_ENV, m_environment);
}

common::Result<std::unique_ptr<Connection>> Connection::open(const std::string &connectionString)
{
    SQLHENV environment = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
        return common::Error { common::ErrorKind::Database, "odbc environment not available", {} };
    }
    SQLSetEnvAttr(
        environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC connection = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection))) {
        SQLFreeHandle(SQL_HANDLE_ENV, environment);
        return common::Error { common::ErrorKind::Database, "odbc connection not available", {} };
    }
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(connection, nullptr, sqlText(connectionString),
        static_cast<SQLSMALLINT>(connectionString.size()), nullptr, 0, &outLength,
        SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        common::Error error = databaseError(SQL_HANDLE_DBC, connection, "connect");
        SQLFreeHandle(SQL_HANDLE_DBC, connection);
        SQLFreeHandle(SQL_HANDLE_ENV, environment);
        return error;
    }
    return std::unique_ptr<Connection>(new Connection(environment, connection));
}

common::Error Connection::failure(short handleType, void *handle, std::string where)
{
    // The first record carries the server's own error number and state; the caller decides
    // from them whether the server can still write at all.
    SQLCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLSMALLINT length = 0;
    m_lastServerError = 0;
    m_lastState.clear();
    if (SQL_SUCCEEDED(SQLGetDiagRec(
            handleType, handle, 1, state, &nativeError, nullptr, 0, &length))) {
        m_lastServerError = static_cast<int>(nativeError);
        m_lastState = reinterpret_cast<const char *>(state);
    }
    return databaseError(handleType, handle, std::move(where));
}

common::Status Connection::execute(std::string_view sql) { return execute(sql, {}); }

common::Status Connection::execute(std::string_view sql, std::span<const Parameter> parameters)
{
    Command command(m_connection);
    if (!command.valid()) {
        return failure(SQL_HANDLE_DBC, m_connection, "command");
    }
    SQLRETURN rc = SQL_SUCCESS;
    if (parameters.empty()) {
        rc = SQLExecDirect(command.handle(), sqlText(sql), sqlLength(sql));
    } else {
        // The lengths must stay put until the statement has run.
        std::vector<SQLLEN> lengths(parameters.size());
        static std::byte empty {};
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            const Parameter &parameter = parameters[i];
            lengths[i] = static_cast<SQLLEN>(parameter.bytes.size());
            const SQLSMALLINT sqlType = parameter.type == ParameterType::LongVarBinary
                ? SQL_LONGVARBINARY
                : SQL_VARBINARY;
            const std::byte *data = parameter.bytes.empty() ? &empty : parameter.bytes.data();
            rc = SQLBindParameter(command.handle(), static_cast<SQLUSMALLINT>(i + 1),
                SQL_PARAM_INPUT, SQL_C_BINARY, sqlType,
                static_cast<SQLULEN>(parameter.bytes.size()), 0, const_cast<std::byte *>(data),
                lengths[i], &lengths[i]);
            if (!SQL_SUCCEEDED(rc)) {
                return failure(
                    SQL_HANDLE_STMT, command.handle(), "parameter " + parameter.name);
            }
        }
        // Bound first and run directly: the driver sends the statement and its values in one go
        // instead of waiting for the server's answer to a separate prepare, a round trip per
        // statement in which the server would sit idle.
        rc = SQLExecDirect(command.handle(), sqlText(sql), sqlLength(sql));
    }
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        return failure(SQL_HANDLE_STMT, command.handle(), "execute");
    }
    command.discardResults();
    return common::okStatus();
}

common::Result<Rows> Connection::query(std::string_view sql)
{
    Command command(m_connection);
    if (!command.valid()) {
        return failure(SQL_HANDLE_DBC, m_connection, "command");
    }
    SQLRETURN rc = SQLExecDirect(command.handle(), sqlText(sql), sqlLength(sql));
    if (!SQL_SUCCEEDED(rc)) {
        return failure(SQL_HANDLE_STMT, command.handle(), "query");
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(command.handle(), &columns);
    Rows rows;
    while (columns > 0) {
        rc = SQLFetch(command.handle());
        if (rc == SQL_NO_DATA) {
            break;
        }
        if (!SQL_SUCCEEDED(rc)) {
            return failure(SQL_HANDLE_STMT, command.handle(), "fetch");
        }
        Row row;
        for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(columns); ++column) {
            std::string value;
            bool isNull = false;
            // Long values arrive in pieces; each call returns the next piece.
            for (;;) {
                char buffer[8192];
                SQLLEN indicator = 0;
                rc = SQLGetData(
                    command.handle(), column, SQL_C_BINARY, buffer, sizeof buffer, &indicator);
                if (rc == SQL_NO_DATA) {
                    break;
                }
                if (!SQL_SUCCEEDED(rc)) {
                    return failure(SQL_HANDLE_STMT, command.handle(), "read value");
                }
                if (indicator == SQL_NULL_DATA) {
                    isNull = true;
                    break;
                }
                const std::size_t piece
                    = indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(sizeof buffer)
                    ? sizeof buffer
                    : static_cast<std::size_t>(indicator);
                value.append(buffer, piece);
                if (rc == SQL_SUCCESS) {
                    break;
                }
            }
            row.push_back(isNull ? std::nullopt : std::optional<std::string>(std::move(value)));
        }
        rows.push_back(std::move(row));
    }
    command.discardResults();
    return rows;
}

} // namespace mysql

#include "mysql/statements.h"

#include "mysql/connection_string.h"

namespace mysql {

namespace {

constexpr std::string_view kDictionaryPrefix = "zarafa/";

std::string quoted(std::string_view name)
{
    std::string out = "`";
    for (const char c : name) {
        out.push_back(c);
        if (c == '`') {
            out.push_back('`');
        }
    }
    return out + "`";
}

} // namespace

common::Result<std::unique_ptr<Connection>> connectToServer(const ServerControl &server,
    std::string_view host, std::string_view user, std::string_view password)
{
    auto connection
        = Connection::open(connectionString(host, user, password, server.connectionExtras()));
    if (!connection.ok()) {
        return connection;
    }
    const common::Status utc = (*connection)->execute("SET time_zone = '+00:00'");
    if (!utc.ok()) {
        // Without UTC every TIMESTAMP would shift by the server's offset: better no rebuild.
        return common::Error { common::ErrorKind::Database,
            "cannot set the session time zone: " + utc.error().message, {} };
    }
    // Without it a row whose AUTO_INCREMENT column holds 0 would be given the next number
    // instead: the row would land, changed. The rest of the server's mode stays.
    const common::Status zero = (*connection)
                                    ->execute("SET SESSION sql_mode = CONCAT_WS(',', "
                                              "NULLIF(@@SESSION.sql_mode, ''), "
                                              "'NO_AUTO_VALUE_ON_ZERO')");
    if (!zero.ok()) {
        return common::Error { common::ErrorKind::Database,
            "cannot keep stored zeros of AUTO_INCREMENT columns: " + zero.error().message, {} };
    }
    return connection;
}

common::Status createZarafaDatabase(Connection &connection)
{
    return connection.execute("create database zarafa");
}

common::Status createTableFromDefinition(Connection &connection, std::string_view createTableText)
{
    const common::Status selected = connection.execute("use zarafa");
    if (!selected.ok()) {
        return selected;
    }
    return connection.execute(createTableText);
}

std::string switchStatementText(std::string_view dictionaryName)
{
    if (dictionaryName.starts_with(kDictionaryPrefix)) {
        dictionaryName.remove_prefix(kDictionaryPrefix.size());
    }
    return "ALTER TABLE " + quoted(dictionaryName) + " ENGINE = INNODB";
}

common::Status switchTableToInnoDb(Connection &connection, std::string_view dictionaryName)
{
    return connection.execute(switchStatementText(dictionaryName));
}

} // namespace mysql

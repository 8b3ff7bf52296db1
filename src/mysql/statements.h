// The statements of the rebuild: connecting for a login, "create database", CREATE TABLE and the
// switch to InnoDB. Each returns the driver's description on failure; the job decides what the
// user sees (nothing, as a rule).
#pragma once

#include "common/result.h"
#include "mysql/connection.h"
#include "mysql/server_control.h"

#include <memory>
#include <string>
#include <string_view>

namespace mysql {

// Opens a connection to `server` with a login, and sets the session time zone to UTC at once so
// that TIMESTAMP values written as UTC text keep their instant, and NO_AUTO_VALUE_ON_ZERO so
// that a stored 0 of an AUTO_INCREMENT column stays 0.
common::Result<std::unique_ptr<Connection>> connectToServer(const ServerControl &server,
    std::string_view host, std::string_view user, std::string_view password);

// "create database zarafa"; fails when the server already has that database.
common::Status createZarafaDatabase(Connection &connection);

// Selects zarafa ("use zarafa") and runs `createTableText`; the text is not run when the
// selection fails.
common::Status createTableFromDefinition(Connection &connection, std::string_view createTableText);

// "ALTER TABLE t ENGINE = INNODB" for the dictionary name "zarafa/t".
std::string switchStatementText(std::string_view dictionaryName);
common::Status switchTableToInnoDb(Connection &connection, std::string_view dictionaryName);

} // namespace mysql

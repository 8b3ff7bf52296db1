// ClientLogin: how a MySQL client reaches and logs in to an administrator's own server, from the
// same places the MySQL clients take it: the option files (--defaults-file, else /etc/my.cnf,
// /etc/mysql/my.cnf and ~/.my.cnf), MYSQL_PWD, and the command line, which wins. A password is
// never taken from, or put on, a command line that `ps` shows.
#pragma once

#include "common/result.h"

#include <optional>
#include <string>

namespace mysql {

struct ClientLogin
{
    std::string host; // empty: localhost
    std::optional<unsigned> port;
    std::string socket; // a Unix socket; wins over host and port
    std::string user; // empty: the login name, as the clients take it
    std::optional<std::string> password; // nothing: none was given anywhere
};

// The [client] and [mysql] groups of the option files as the MySQL clients read them, through
// the server distribution's own my_print_defaults: only `defaultsFile` when it is not empty,
// else the usual files. Without my_print_defaults the usual files are left unread (an empty
// login); a named file then is an error.
common::Result<ClientLogin> readOptionFiles(const std::string &defaultsFile);

// Every value of `overrides` that is set replaces the one in `base`.
ClientLogin mergeLogins(ClientLogin base, const ClientLogin &overrides);

// "root@localhost" or "admin@db.example.org:3307", for messages and the password prompt.
std::string accountText(const ClientLogin &login);

// The ODBC connection string for the login, with no default database (an administrator's
// account may not reach the mysql schema).
std::string clientConnectionString(const ClientLogin &login);

// Whether a connection Error is the server's refusal of the account or password (error 1045),
// which a password typed at a prompt may mend.
bool isAccessDenied(const common::Error &error);

} // namespace mysql

// The ODBC connection string for a login, with every value braced so that no password can break it.
#pragma once

#include <string>
#include <string_view>

namespace mysql {

// The driver name our installer registers for MariaDB Connector/ODBC.
inline constexpr std::string_view kDriverName = "MySQL ODBC 5.1 Driver";

// A value as an ODBC connection-string attribute value: "{" value "}" with every "}" doubled
// (an empty value stays empty).
// Braces keep ";", "=" and "}" in a password from ending the value or adding attributes.
std::string bracedValue(std::string_view value);

// "DRIVER={MySQL ODBC 5.1 Driver};SERVER={host};DATABASE=mysql;USER={user};PASSWORD={password};"
// followed by `extras` (already in attribute form, e.g. "SOCKET={/run/x.sock};").
std::string connectionString(std::string_view host, std::string_view user,
    std::string_view password, std::string_view extras = {});

} // namespace mysql

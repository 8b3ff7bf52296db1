#include "mysql/server_control.h"

#include "common/strings.h"

#include <algorithm>
#include <cctype>
#include <unistd.h>

namespace mysql {

bool isMySqlMissing(std::string_view location)
{
    const std::string_view missing = common::text(common::str::kMySqlNotInstalled);
    return std::ranges::equal(location, missing, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a))
            == std::tolower(static_cast<unsigned char>(b));
    });
}

std::string serverLogName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost.err";
    }
    return std::string(name) + ".err";
}

} // namespace mysql

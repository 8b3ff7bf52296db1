#include "mysql/connection_string.h"

namespace mysql {

std::string bracedValue(std::string_view value)
{
    // An empty value needs no braces; left bare it keeps the familiar "PASSWORD=;" form.
    if (value.empty()) {
        return {};
    }
    std::string out;
    out.reserve(value.size() + 2);
    out.push_back('{');
    for (char c : value) {
        out.push_back(c);
        if (c == '}') {
            out.push_back('}');
        }
    }
    out.push_back('}');
    return out;
}

std::string connectionString(std::string_view host, std::string_view user,
    std::string_view password, std::string_view extras)
{
    std::string out = "DRIVER={";
    out.append(kDriverName).append("};SERVER=").append(bracedValue(host));
    out.append(";DATABASE=mysql;USER=").append(bracedValue(user));
    out.append(";PASSWORD=").append(bracedValue(password)).append(";");
    out.append(extras);
    return out;
}

} // namespace mysql

#include "common/settings.h"

#include <cstdlib>
#include <fstream>

namespace common {

namespace {

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// QSettings quotes values that carry separators or leading blanks; take them back out.
std::string unquoted(const std::string &text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        std::string out;
        for (std::size_t i = 1; i + 1 < text.size(); ++i) {
            if (text[i] == '\\' && i + 2 < text.size()) {
                ++i;
            }
            out += text[i];
        }
        return out;
    }
    return text;
}

} // namespace

std::filesystem::path Settings::defaultPath()
{
    std::filesystem::path base;
    if (const char *config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        base = config;
    } else if (const char *home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".config";
    } else {
        base = ".config";
    }
    return base / "zarafa-repair" / "settings.ini";
}

Settings Settings::load(const std::filesystem::path &path)
{
    Settings settings;
    std::ifstream in(path);
    std::string section = "General";
    for (std::string line; std::getline(in, line);) {
        line = trimmed(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos || section != "General") {
            continue;
        }
        settings.m_values[trimmed(line.substr(0, equals))]
            = unquoted(trimmed(line.substr(equals + 1)));
    }
    return settings;
}

std::optional<std::string> Settings::value(const std::string &key) const
{
    const auto found = m_values.find(key);
    if (found == m_values.end()) {
        return std::nullopt;
    }
    return found->second;
}

} // namespace common

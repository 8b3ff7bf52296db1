// Settings: the program's INI file, read the way the desktop program's QSettings writes it, so
// that the command line and the window share one configuration.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace common {

class Settings
{
public:
    // $XDG_CONFIG_HOME/zarafa-repair/settings.ini, or ~/.config/... when the variable is unset.
    static std::filesystem::path defaultPath();
    // The values of `path`; a missing or unreadable file gives no values (all defaults).
    static Settings load(const std::filesystem::path &path);

    // The value of `key` in the [General] section (or before any section), trimmed.
    std::optional<std::string> value(const std::string &key) const;

private:
    std::map<std::string, std::string> m_values;
};

} // namespace common

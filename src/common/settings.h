// Settings: the program's INI file, read the way the desktop program's QSettings writes it, so
// that the command line and the window share one configuration. Not libinih: Debian's build of
// it ends a value at " ;" even inside QSettings' quotes, joins indented lines to the key above
// and refuses lines past 200 bytes, so it would misread files that QSettings wrote.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

class Settings
{
public:
    // $XDG_CONFIG_HOME/zarafa-repair/settings.ini, or ~/.config/... when the variable is unset.
    static std::filesystem::path defaultPath();
    // The values of `path`; a missing or unreadable file gives no values (all defaults).
    static Settings load(const std::filesystem::path &path);
    // The values of an INI text in QSettings' form: quoting and escapes in values, %XX and
    // %UXXXX in keys and group names, "\" for "/" in keys.
    static Settings parse(std::string_view contents);

    // The text of `key` in the [General] section (or before any section); "Group/key" for a key
    // in [Group]. Nothing when the key is missing or holds no text (a byte array, a variant); a
    // list ("a, b" unquoted) holds the empty text, as QSettings reads it.
    std::optional<std::string> value(const std::string &key) const;

private:
    std::map<std::string, std::string> m_values;
};

} // namespace common

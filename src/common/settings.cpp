#include "common/settings.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace common {

namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void appendCodePoint(std::string &out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | ((code >> 18) & 0x07));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Reads `count` hex digits at `at`; -1 when they are not all there.
long hexRun(std::string_view text, std::size_t at, std::size_t count)
{
    if (at + count > text.size()) {
        return -1;
    }
    long value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int digit = hexValue(text[at + i]);
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// QSettings writes a key's "/" as "\", and every character but letters, digits, "-", "_" and "."
// as %XX (up to U+00FF) or %UXXXX; anything else it reads as written.
std::string unescapedKey(std::string_view key)
{
    std::string out;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const char c = key[i];
        if (c == '\\') {
            out += '/';
        } else if (c == '%') {
            // "%U" and four digits, or two digits.
            const bool wide = i + 1 < key.size() && key[i + 1] == 'U';
            const std::size_t skip = wide ? 2 : 1;
            const long code = hexRun(key, i + skip, wide ? 4 : 2);
            if (code < 0) {
                out += c;
                continue;
            }
            appendCodePoint(out, static_cast<std::uint32_t>(code));
            i += skip + (wide ? 4 : 2) - 1;
        } else {
            out += c;
        }
    }
    return out;
}

// A value as QSettings reads it: blanks around it dropped, "..." quoting (blanks and separators
// kept inside), backslash escapes (\n, \t, \", \\, \xHH..., octal), ";" outside quotes starting a
// comment, "," outside quotes separating the items of a list.
std::vector<std::string> unescapedValue(std::string_view text)
{
    std::vector<std::string> items(1);
    bool quoted = false;
    bool pendingBlanks = false; // blanks seen outside quotes, kept only if more text follows
    std::string blanks;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (!items.back().empty()) {
                blanks += c;
                pendingBlanks = true;
            }
            continue;
        }
        if (!quoted && c == ';') {
            break;
        }
        if (!quoted && c == ',') {
            items.emplace_back();
            blanks.clear();
            pendingBlanks = false;
            continue;
        }
        if (pendingBlanks) {
            items.back() += blanks;
            blanks.clear();
            pendingBlanks = false;
        }
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c != '\\' || i + 1 >= text.size()) {
            items.back() += c;
            continue;
        }
        const char e = text[++i];
        // Letter escapes, as pairs: the letter, then the character it stands for.
        static constexpr std::string_view kLetterEscapes = "a\ab\bf\fn\nr\rt\tv\v";
        const auto letter = kLetterEscapes.find(e);
        // Digits of a numeric escape: hexadecimal after "x", octal from the first digit on.
        const bool hex = e == 'x';
        const bool octal = e >= '0' && e <= '7';
        if (letter != std::string_view::npos && letter % 2 == 0) {
            items.back() += kLetterEscapes[letter + 1];
        } else if (hex || octal) {
            const std::uint32_t base = hex ? 16 : 8;
            std::uint32_t code = octal ? static_cast<std::uint32_t>(e - '0') : 0;
            const auto digit
                = [&](char d) { return hex ? hexValue(d) : (d >= '0' && d <= '7' ? d - '0' : -1); };
            while (i + 1 < text.size() && digit(text[i + 1]) >= 0) {
                code = code * base + static_cast<std::uint32_t>(digit(text[++i]));
            }
            appendCodePoint(items.back(), code);
        } else {
            items.back() += e; // \" \' \? \\ and anything else: the character itself
        }
    }
    return items;
}

// "@String(...)" is how QSettings marks a text that would otherwise look like one of its
// special forms; other "@" forms (byte arrays, variants) are not texts.
std::optional<std::string> textOf(const std::vector<std::string> &items)
{
    if (items.size() != 1) {
        return std::string(); // a list: QSettings' toString() gives no text for it
    }
    const std::string &item = items.front();
    if (item.rfind("@String(", 0) == 0 && item.back() == ')') {
        return item.substr(8, item.size() - 9);
    }
    if (item.rfind("@", 0) == 0 && item.size() > 1 && item[1] != '@') {
        return std::nullopt;
    }
    return item.rfind("@@", 0) == 0 ? item.substr(1) : item;
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

Settings Settings::parse(std::string_view contents)
{
    Settings settings;
    std::string group; // "" is [General], the root
    std::istringstream in { std::string(contents) };
    std::string line;
    while (std::getline(in, line)) {
        // A value may go on over the next line after a backslash at the end.
        while (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        while (!line.empty() && line.back() == '\\' && in.peek() != EOF) {
            std::string next;
            std::getline(in, next);
            line.pop_back();
            line += next;
        }
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == ';' || text.front() == '#') {
            continue;
        }
        if (text.front() == '[') {
            const auto close = text.find(']');
            group = unescapedKey(
                text.substr(1, close == std::string_view::npos ? text.size() - 1 : close - 1));
            if (group == "General") {
                group.clear();
            }
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        std::string key = unescapedKey(trimmed(text.substr(0, equals)));
        if (key.empty()) {
            continue;
        }
        if (!group.empty()) {
            key = group + "/" + key;
        }
        // Of two lines with the same key, the later one is the one QSettings keeps.
        if (const auto value = textOf(unescapedValue(text.substr(equals + 1)))) {
            settings.m_values.insert_or_assign(std::move(key), *value);
        } else {
            settings.m_values.erase(key);
        }
    }
    return settings;
}

Settings Settings::load(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return parse(contents.str());
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

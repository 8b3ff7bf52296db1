// The character sets and collations a definition file names by number, as far as this program
// needs them: the bytes per character of a column and the names the CREATE TABLE text uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace frm {

inline constexpr std::uint16_t kCharsetLatin1 = 8; // latin1_swedish_ci, the latin1 default
inline constexpr std::uint16_t kCharsetUtf8 = 33; // utf8_general_ci, Zarafa's default
inline constexpr std::uint16_t kCharsetLatin1Bin = 47;
inline constexpr std::uint16_t kCharsetBinary = 63;
inline constexpr std::uint16_t kCharsetUtf8Bin = 83;
inline constexpr std::uint16_t kCharsetUtf8mb4 = 45; // utf8mb4_general_ci
inline constexpr std::uint16_t kCharsetUtf8mb4Binary = 46; // utf8mb4_bin
inline constexpr std::uint16_t kCharsetUtf8mb4Unicode = 224; // utf8mb4_unicode_ci

struct Collation
{
    std::uint16_t id = 0;
    std::string_view charset; // "utf8", as CREATE TABLE accepts it on every server version
    std::string_view name; // "utf8_general_ci"
    std::uint8_t maxBytesPerChar = 1;
    std::uint8_t minBytesPerChar = 1; // 2 for ucs2 and utf16, 4 for utf32
    bool isDefault = false; // the default collation of its character set
    // The name a CREATE TABLE on the workshop server uses instead, for a collation of another
    // server family that MariaDB does not have; empty when `name` itself is accepted.
    std::string_view workshopName = {};
};

// The collation name a CREATE TABLE on the workshop uses: its own name, or the workshop's
// counterpart of one MariaDB does not have.
inline std::string_view workshopCollationName(const Collation &collation)
{
    return collation.workshopName.empty() ? collation.name : collation.workshopName;
}

// The collation with number `id`, or nullptr for a number this program does not know.
const Collation *findCollation(std::uint16_t id);

// The collation a dump meant for any server since MySQL 5.5 writes for collation `id`: `id`
// itself, or for one of MySQL 8's 0900 collations the older collation of the same language and
// strength (utf8mb4_unicode_ci or its language's, utf8mb4_bin for accent- and case-sensitive).
std::uint16_t portableCollation(std::uint16_t id);

// The bytes a CHAR column of collation `id` pads its values with: the space character in that
// character set ("\x20", "\x00\x20" in ucs2 and utf16, "\x20\x00" in utf16le, "\0\0\0\x20" in
// utf32); a single space for a number this program does not know.
std::string_view paddingCharacter(std::uint16_t id);

// The smallest character of collation `id`, in bytes (1 for a number this program does not
// know).
std::uint8_t minBytesPerChar(std::uint16_t id);

// An ASCII character as collation `id` stores it (",", " "): one byte, or the wide forms of
// ucs2, utf16, utf16le and utf32.
std::string encodedCharacter(char c, std::uint16_t id);

// `bytes` of collation `id` as UTF-8 text (through the C library's iconv); nothing when the
// character set has no converter here or the bytes are not well formed in it.
std::optional<std::string> toUtf8(std::string_view bytes, std::uint16_t id);

// Bytes per character of collation `id`: 3 for utf8, 4 for utf8mb4, 1 for latin1 and binary, and
// 1 for a number this program does not know (so a length is never divided by a guess).
std::uint8_t maxBytesPerChar(std::uint16_t id);

} // namespace frm

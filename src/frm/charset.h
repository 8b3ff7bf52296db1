// The character sets and collations a definition file names by number, as far as this program
// needs them: the bytes per character of a column and the names the CREATE TABLE text uses.
#pragma once

#include <cstdint>
#include <string_view>

namespace frm {

inline constexpr std::uint16_t kCharsetLatin1 = 8; // latin1_swedish_ci, the latin1 default
inline constexpr std::uint16_t kCharsetUtf8 = 33; // utf8_general_ci, Zarafa's default
inline constexpr std::uint16_t kCharsetLatin1Bin = 47;
inline constexpr std::uint16_t kCharsetBinary = 63;
inline constexpr std::uint16_t kCharsetUtf8Bin = 83;

struct Collation
{
    std::uint16_t id = 0;
    std::string_view charset; // "utf8", as CREATE TABLE accepts it on every server version
    std::string_view name; // "utf8_general_ci"
    std::uint8_t maxBytesPerChar = 1;
    bool isDefault = false; // the default collation of its character set
};

// The collation with number `id`, or nullptr for a number this program does not know.
const Collation *findCollation(std::uint16_t id);

// Bytes per character of collation `id`: 3 for utf8, 4 for utf8mb4, 1 for latin1 and binary, and
// 1 for a number this program does not know (so a length is never divided by a guess).
std::uint8_t maxBytesPerChar(std::uint16_t id);

} // namespace frm

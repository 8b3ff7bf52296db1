#include "frm/charset.h"

#include <array>

namespace frm {

namespace {

// The collations MySQL 5.x and MariaDB 10.x number alike (ctype tables of both servers).
constexpr std::array kCollations {
    Collation { 1, "big5", "big5_chinese_ci", 2, true },
    Collation { 3, "dec8", "dec8_swedish_ci", 1, true },
    Collation { 4, "cp850", "cp850_general_ci", 1, true },
    Collation { 5, "latin1", "latin1_german1_ci", 1, false },
    Collation { 6, "hp8", "hp8_english_ci", 1, true },
    Collation { 7, "koi8r", "koi8r_general_ci", 1, true },
    Collation { 8, "latin1", "latin1_swedish_ci", 1, true },
    Collation { 9, "latin2", "latin2_general_ci", 1, true },
    Collation { 10, "swe7", "swe7_swedish_ci", 1, true },
    Collation { 11, "ascii", "ascii_general_ci", 1, true },
    Collation { 12, "ujis", "ujis_japanese_ci", 3, true },
    Collation { 13, "sjis", "sjis_japanese_ci", 2, true },
    Collation { 15, "latin1", "latin1_danish_ci", 1, false },
    Collation { 19, "euckr", "euckr_korean_ci", 2, true },
    Collation { 24, "gb2312", "gb2312_chinese_ci", 2, true },
    Collation { 28, "gbk", "gbk_chinese_ci", 2, true },
    Collation { 31, "latin1", "latin1_german2_ci", 1, false },
    Collation { 32, "armscii8", "armscii8_general_ci", 1, true },
    Collation { 33, "utf8", "utf8_general_ci", 3, true },
    Collation { 35, "ucs2", "ucs2_general_ci", 2, true },
    Collation { 45, "utf8mb4", "utf8mb4_general_ci", 4, true },
    Collation { 46, "utf8mb4", "utf8mb4_bin", 4, false },
    Collation { 47, "latin1", "latin1_bin", 1, false },
    Collation { 48, "latin1", "latin1_general_ci", 1, false },
    Collation { 49, "latin1", "latin1_general_cs", 1, false },
    Collation { 51, "cp1251", "cp1251_general_ci", 1, true },
    Collation { 57, "cp1256", "cp1256_general_ci", 1, true },
    Collation { 63, "binary", "binary", 1, true },
    Collation { 65, "ascii", "ascii_bin", 1, false },
    Collation { 83, "utf8", "utf8_bin", 3, false },
    Collation { 94, "latin1", "latin1_spanish_ci", 1, false },
    Collation { 192, "utf8", "utf8_unicode_ci", 3, false },
    Collation { 224, "utf8mb4", "utf8mb4_unicode_ci", 4, false },
};

} // namespace

const Collation *findCollation(std::uint16_t id)
{
    for (const Collation &collation : kCollations) {
        if (collation.id == id) {
            return &collation;
        }
    }
    return nullptr;
}

std::uint8_t maxBytesPerChar(std::uint16_t id)
{
    const Collation *collation = findCollation(id);
    return collation ? collation->maxBytesPerChar : 1;
}

} // namespace frm

#include "frm/charset.h"

#include <array>
#include <cerrno>
#include <iconv.h>
#include <utility>

namespace frm {

namespace {

// The collations MySQL 5.x and MariaDB 10.x number alike, as MariaDB 10.11's
// information_schema.COLLATIONS lists them (utf8mb3 under its older name utf8, which every
// server of the period accepts). The smallest character of ucs2 and the utf16 sets is 2 bytes,
// of utf32 4.
// A plain array: deducing std::array of this many elements exceeds clang's nesting limit.
constexpr Collation kCollations[] = {
    Collation { 1, "big5", "big5_chinese_ci", 2, 1, true },
    Collation { 2, "latin2", "latin2_czech_cs", 1, 1, false },
    Collation { 3, "dec8", "dec8_swedish_ci", 1, 1, true },
    Collation { 4, "cp850", "cp850_general_ci", 1, 1, true },
    Collation { 5, "latin1", "latin1_german1_ci", 1, 1, false },
    Collation { 6, "hp8", "hp8_english_ci", 1, 1, true },
    Collation { 7, "koi8r", "koi8r_general_ci", 1, 1, true },
    Collation { 8, "latin1", "latin1_swedish_ci", 1, 1, true },
    Collation { 9, "latin2", "latin2_general_ci", 1, 1, true },
    Collation { 10, "swe7", "swe7_swedish_ci", 1, 1, true },
    Collation { 11, "ascii", "ascii_general_ci", 1, 1, true },
    Collation { 12, "ujis", "ujis_japanese_ci", 3, 1, true },
    Collation { 13, "sjis", "sjis_japanese_ci", 2, 1, true },
    Collation { 14, "cp1251", "cp1251_bulgarian_ci", 1, 1, false },
    Collation { 15, "latin1", "latin1_danish_ci", 1, 1, false },
    Collation { 16, "hebrew", "hebrew_general_ci", 1, 1, true },
    Collation { 18, "tis620", "tis620_thai_ci", 1, 1, true },
    Collation { 19, "euckr", "euckr_korean_ci", 2, 1, true },
    Collation { 20, "latin7", "latin7_estonian_cs", 1, 1, false },
    Collation { 21, "latin2", "latin2_hungarian_ci", 1, 1, false },
    Collation { 22, "koi8u", "koi8u_general_ci", 1, 1, true },
    Collation { 23, "cp1251", "cp1251_ukrainian_ci", 1, 1, false },
    Collation { 24, "gb2312", "gb2312_chinese_ci", 2, 1, true },
    Collation { 25, "greek", "greek_general_ci", 1, 1, true },
    Collation { 26, "cp1250", "cp1250_general_ci", 1, 1, true },
    Collation { 27, "latin2", "latin2_croatian_ci", 1, 1, false },
    Collation { 28, "gbk", "gbk_chinese_ci", 2, 1, true },
    Collation { 29, "cp1257", "cp1257_lithuanian_ci", 1, 1, false },
    Collation { 30, "latin5", "latin5_turkish_ci", 1, 1, true },
    Collation { 31, "latin1", "latin1_german2_ci", 1, 1, false },
    Collation { 32, "armscii8", "armscii8_general_ci", 1, 1, true },
    Collation { 33, "utf8", "utf8_general_ci", 3, 1, true },
    Collation { 34, "cp1250", "cp1250_czech_cs", 1, 1, false },
    Collation { 35, "ucs2", "ucs2_general_ci", 2, 2, true },
    Collation { 36, "cp866", "cp866_general_ci", 1, 1, true },
    Collation { 37, "keybcs2", "keybcs2_general_ci", 1, 1, true },
    Collation { 38, "macce", "macce_general_ci", 1, 1, true },
    Collation { 39, "macroman", "macroman_general_ci", 1, 1, true },
    Collation { 40, "cp852", "cp852_general_ci", 1, 1, true },
    Collation { 41, "latin7", "latin7_general_ci", 1, 1, true },
    Collation { 42, "latin7", "latin7_general_cs", 1, 1, false },
    Collation { 43, "macce", "macce_bin", 1, 1, false },
    Collation { 44, "cp1250", "cp1250_croatian_ci", 1, 1, false },
    Collation { 45, "utf8mb4", "utf8mb4_general_ci", 4, 1, true },
    Collation { 46, "utf8mb4", "utf8mb4_bin", 4, 1, false },
    Collation { 47, "latin1", "latin1_bin", 1, 1, false },
    Collation { 48, "latin1", "latin1_general_ci", 1, 1, false },
    Collation { 49, "latin1", "latin1_general_cs", 1, 1, false },
    Collation { 50, "cp1251", "cp1251_bin", 1, 1, false },
    Collation { 51, "cp1251", "cp1251_general_ci", 1, 1, true },
    Collation { 52, "cp1251", "cp1251_general_cs", 1, 1, false },
    Collation { 53, "macroman", "macroman_bin", 1, 1, false },
    Collation { 54, "utf16", "utf16_general_ci", 4, 2, true },
    Collation { 55, "utf16", "utf16_bin", 4, 2, false },
    Collation { 56, "utf16le", "utf16le_general_ci", 4, 2, true },
    Collation { 57, "cp1256", "cp1256_general_ci", 1, 1, true },
    Collation { 58, "cp1257", "cp1257_bin", 1, 1, false },
    Collation { 59, "cp1257", "cp1257_general_ci", 1, 1, true },
    Collation { 60, "utf32", "utf32_general_ci", 4, 4, true },
    Collation { 61, "utf32", "utf32_bin", 4, 4, false },
    Collation { 62, "utf16le", "utf16le_bin", 4, 2, false },
    Collation { 63, "binary", "binary", 1, 1, true },
    Collation { 64, "armscii8", "armscii8_bin", 1, 1, false },
    Collation { 65, "ascii", "ascii_bin", 1, 1, false },
    Collation { 66, "cp1250", "cp1250_bin", 1, 1, false },
    Collation { 67, "cp1256", "cp1256_bin", 1, 1, false },
    Collation { 68, "cp866", "cp866_bin", 1, 1, false },
    Collation { 69, "dec8", "dec8_bin", 1, 1, false },
    Collation { 70, "greek", "greek_bin", 1, 1, false },
    Collation { 71, "hebrew", "hebrew_bin", 1, 1, false },
    Collation { 72, "hp8", "hp8_bin", 1, 1, false },
    Collation { 73, "keybcs2", "keybcs2_bin", 1, 1, false },
    Collation { 74, "koi8r", "koi8r_bin", 1, 1, false },
    Collation { 75, "koi8u", "koi8u_bin", 1, 1, false },
    Collation { 77, "latin2", "latin2_bin", 1, 1, false },
    Collation { 78, "latin5", "latin5_bin", 1, 1, false },
    Collation { 79, "latin7", "latin7_bin", 1, 1, false },
    Collation { 80, "cp850", "cp850_bin", 1, 1, false },
    Collation { 81, "cp852", "cp852_bin", 1, 1, false },
    Collation { 82, "swe7", "swe7_bin", 1, 1, false },
    Collation { 83, "utf8", "utf8_bin", 3, 1, false },
    Collation { 84, "big5", "big5_bin", 2, 1, false },
    Collation { 85, "euckr", "euckr_bin", 2, 1, false },
    Collation { 86, "gb2312", "gb2312_bin", 2, 1, false },
    Collation { 87, "gbk", "gbk_bin", 2, 1, false },
    Collation { 88, "sjis", "sjis_bin", 2, 1, false },
    Collation { 89, "tis620", "tis620_bin", 1, 1, false },
    Collation { 90, "ucs2", "ucs2_bin", 2, 2, false },
    Collation { 91, "ujis", "ujis_bin", 3, 1, false },
    Collation { 92, "geostd8", "geostd8_general_ci", 1, 1, true },
    Collation { 93, "geostd8", "geostd8_bin", 1, 1, false },
    Collation { 94, "latin1", "latin1_spanish_ci", 1, 1, false },
    Collation { 95, "cp932", "cp932_japanese_ci", 2, 1, true },
    Collation { 96, "cp932", "cp932_bin", 2, 1, false },
    Collation { 97, "eucjpms", "eucjpms_japanese_ci", 3, 1, true },
    Collation { 98, "eucjpms", "eucjpms_bin", 3, 1, false },
    Collation { 99, "cp1250", "cp1250_polish_ci", 1, 1, false },
    Collation { 101, "utf16", "utf16_unicode_ci", 4, 2, false },
    Collation { 102, "utf16", "utf16_icelandic_ci", 4, 2, false },
    Collation { 103, "utf16", "utf16_latvian_ci", 4, 2, false },
    Collation { 104, "utf16", "utf16_romanian_ci", 4, 2, false },
    Collation { 105, "utf16", "utf16_slovenian_ci", 4, 2, false },
    Collation { 106, "utf16", "utf16_polish_ci", 4, 2, false },
    Collation { 107, "utf16", "utf16_estonian_ci", 4, 2, false },
    Collation { 108, "utf16", "utf16_spanish_ci", 4, 2, false },
    Collation { 109, "utf16", "utf16_swedish_ci", 4, 2, false },
    Collation { 110, "utf16", "utf16_turkish_ci", 4, 2, false },
    Collation { 111, "utf16", "utf16_czech_ci", 4, 2, false },
    Collation { 112, "utf16", "utf16_danish_ci", 4, 2, false },
    Collation { 113, "utf16", "utf16_lithuanian_ci", 4, 2, false },
    Collation { 114, "utf16", "utf16_slovak_ci", 4, 2, false },
    Collation { 115, "utf16", "utf16_spanish2_ci", 4, 2, false },
    Collation { 116, "utf16", "utf16_roman_ci", 4, 2, false },
    Collation { 117, "utf16", "utf16_persian_ci", 4, 2, false },
    Collation { 118, "utf16", "utf16_esperanto_ci", 4, 2, false },
    Collation { 119, "utf16", "utf16_hungarian_ci", 4, 2, false },
    Collation { 120, "utf16", "utf16_sinhala_ci", 4, 2, false },
    Collation { 121, "utf16", "utf16_german2_ci", 4, 2, false },
    Collation { 122, "utf16", "utf16_croatian_mysql561_ci", 4, 2, false },
    Collation { 123, "utf16", "utf16_unicode_520_ci", 4, 2, false },
    Collation { 124, "utf16", "utf16_vietnamese_ci", 4, 2, false },
    Collation { 128, "ucs2", "ucs2_unicode_ci", 2, 2, false },
    Collation { 129, "ucs2", "ucs2_icelandic_ci", 2, 2, false },
    Collation { 130, "ucs2", "ucs2_latvian_ci", 2, 2, false },
    Collation { 131, "ucs2", "ucs2_romanian_ci", 2, 2, false },
    Collation { 132, "ucs2", "ucs2_slovenian_ci", 2, 2, false },
    Collation { 133, "ucs2", "ucs2_polish_ci", 2, 2, false },
    Collation { 134, "ucs2", "ucs2_estonian_ci", 2, 2, false },
    Collation { 135, "ucs2", "ucs2_spanish_ci", 2, 2, false },
    Collation { 136, "ucs2", "ucs2_swedish_ci", 2, 2, false },
    Collation { 137, "ucs2", "ucs2_turkish_ci", 2, 2, false },
    Collation { 138, "ucs2", "ucs2_czech_ci", 2, 2, false },
    Collation { 139, "ucs2", "ucs2_danish_ci", 2, 2, false },
    Collation { 140, "ucs2", "ucs2_lithuanian_ci", 2, 2, false },
    Collation { 141, "ucs2", "ucs2_slovak_ci", 2, 2, false },
    Collation { 142, "ucs2", "ucs2_spanish2_ci", 2, 2, false },
    Collation { 143, "ucs2", "ucs2_roman_ci", 2, 2, false },
    Collation { 144, "ucs2", "ucs2_persian_ci", 2, 2, false },
    Collation { 145, "ucs2", "ucs2_esperanto_ci", 2, 2, false },
    Collation { 146, "ucs2", "ucs2_hungarian_ci", 2, 2, false },
    Collation { 147, "ucs2", "ucs2_sinhala_ci", 2, 2, false },
    Collation { 148, "ucs2", "ucs2_german2_ci", 2, 2, false },
    Collation { 149, "ucs2", "ucs2_croatian_mysql561_ci", 2, 2, false },
    Collation { 150, "ucs2", "ucs2_unicode_520_ci", 2, 2, false },
    Collation { 151, "ucs2", "ucs2_vietnamese_ci", 2, 2, false },
    Collation { 159, "ucs2", "ucs2_general_mysql500_ci", 2, 2, false },
    Collation { 160, "utf32", "utf32_unicode_ci", 4, 4, false },
    Collation { 161, "utf32", "utf32_icelandic_ci", 4, 4, false },
    Collation { 162, "utf32", "utf32_latvian_ci", 4, 4, false },
    Collation { 163, "utf32", "utf32_romanian_ci", 4, 4, false },
    Collation { 164, "utf32", "utf32_slovenian_ci", 4, 4, false },
    Collation { 165, "utf32", "utf32_polish_ci", 4, 4, false },
    Collation { 166, "utf32", "utf32_estonian_ci", 4, 4, false },
    Collation { 167, "utf32", "utf32_spanish_ci", 4, 4, false },
    Collation { 168, "utf32", "utf32_swedish_ci", 4, 4, false },
    Collation { 169, "utf32", "utf32_turkish_ci", 4, 4, false },
    Collation { 170, "utf32", "utf32_czech_ci", 4, 4, false },
    Collation { 171, "utf32", "utf32_danish_ci", 4, 4, false },
    Collation { 172, "utf32", "utf32_lithuanian_ci", 4, 4, false },
    Collation { 173, "utf32", "utf32_slovak_ci", 4, 4, false },
    Collation { 174, "utf32", "utf32_spanish2_ci", 4, 4, false },
    Collation { 175, "utf32", "utf32_roman_ci", 4, 4, false },
    Collation { 176, "utf32", "utf32_persian_ci", 4, 4, false },
    Collation { 177, "utf32", "utf32_esperanto_ci", 4, 4, false },
    Collation { 178, "utf32", "utf32_hungarian_ci", 4, 4, false },
    Collation { 179, "utf32", "utf32_sinhala_ci", 4, 4, false },
    Collation { 180, "utf32", "utf32_german2_ci", 4, 4, false },
    Collation { 181, "utf32", "utf32_croatian_mysql561_ci", 4, 4, false },
    Collation { 182, "utf32", "utf32_unicode_520_ci", 4, 4, false },
    Collation { 183, "utf32", "utf32_vietnamese_ci", 4, 4, false },
    Collation { 192, "utf8", "utf8_unicode_ci", 3, 1, false },
    Collation { 193, "utf8", "utf8_icelandic_ci", 3, 1, false },
    Collation { 194, "utf8", "utf8_latvian_ci", 3, 1, false },
    Collation { 195, "utf8", "utf8_romanian_ci", 3, 1, false },
    Collation { 196, "utf8", "utf8_slovenian_ci", 3, 1, false },
    Collation { 197, "utf8", "utf8_polish_ci", 3, 1, false },
    Collation { 198, "utf8", "utf8_estonian_ci", 3, 1, false },
    Collation { 199, "utf8", "utf8_spanish_ci", 3, 1, false },
    Collation { 200, "utf8", "utf8_swedish_ci", 3, 1, false },
    Collation { 201, "utf8", "utf8_turkish_ci", 3, 1, false },
    Collation { 202, "utf8", "utf8_czech_ci", 3, 1, false },
    Collation { 203, "utf8", "utf8_danish_ci", 3, 1, false },
    Collation { 204, "utf8", "utf8_lithuanian_ci", 3, 1, false },
    Collation { 205, "utf8", "utf8_slovak_ci", 3, 1, false },
    Collation { 206, "utf8", "utf8_spanish2_ci", 3, 1, false },
    Collation { 207, "utf8", "utf8_roman_ci", 3, 1, false },
    Collation { 208, "utf8", "utf8_persian_ci", 3, 1, false },
    Collation { 209, "utf8", "utf8_esperanto_ci", 3, 1, false },
    Collation { 210, "utf8", "utf8_hungarian_ci", 3, 1, false },
    Collation { 211, "utf8", "utf8_sinhala_ci", 3, 1, false },
    Collation { 212, "utf8", "utf8_german2_ci", 3, 1, false },
    Collation { 213, "utf8", "utf8_croatian_mysql561_ci", 3, 1, false },
    Collation { 214, "utf8", "utf8_unicode_520_ci", 3, 1, false },
    Collation { 215, "utf8", "utf8_vietnamese_ci", 3, 1, false },
    Collation { 223, "utf8", "utf8_general_mysql500_ci", 3, 1, false },
    Collation { 224, "utf8mb4", "utf8mb4_unicode_ci", 4, 1, false },
    Collation { 225, "utf8mb4", "utf8mb4_icelandic_ci", 4, 1, false },
    Collation { 226, "utf8mb4", "utf8mb4_latvian_ci", 4, 1, false },
    Collation { 227, "utf8mb4", "utf8mb4_romanian_ci", 4, 1, false },
    Collation { 228, "utf8mb4", "utf8mb4_slovenian_ci", 4, 1, false },
    Collation { 229, "utf8mb4", "utf8mb4_polish_ci", 4, 1, false },
    Collation { 230, "utf8mb4", "utf8mb4_estonian_ci", 4, 1, false },
    Collation { 231, "utf8mb4", "utf8mb4_spanish_ci", 4, 1, false },
    Collation { 232, "utf8mb4", "utf8mb4_swedish_ci", 4, 1, false },
    Collation { 233, "utf8mb4", "utf8mb4_turkish_ci", 4, 1, false },
    Collation { 234, "utf8mb4", "utf8mb4_czech_ci", 4, 1, false },
    Collation { 235, "utf8mb4", "utf8mb4_danish_ci", 4, 1, false },
    Collation { 236, "utf8mb4", "utf8mb4_lithuanian_ci", 4, 1, false },
    Collation { 237, "utf8mb4", "utf8mb4_slovak_ci", 4, 1, false },
    Collation { 238, "utf8mb4", "utf8mb4_spanish2_ci", 4, 1, false },
    Collation { 239, "utf8mb4", "utf8mb4_roman_ci", 4, 1, false },
    Collation { 240, "utf8mb4", "utf8mb4_persian_ci", 4, 1, false },
    Collation { 241, "utf8mb4", "utf8mb4_esperanto_ci", 4, 1, false },
    Collation { 242, "utf8mb4", "utf8mb4_hungarian_ci", 4, 1, false },
    Collation { 243, "utf8mb4", "utf8mb4_sinhala_ci", 4, 1, false },
    Collation { 244, "utf8mb4", "utf8mb4_german2_ci", 4, 1, false },
    Collation { 245, "utf8mb4", "utf8mb4_croatian_mysql561_ci", 4, 1, false },
    Collation { 246, "utf8mb4", "utf8mb4_unicode_520_ci", 4, 1, false },
    Collation { 247, "utf8mb4", "utf8mb4_vietnamese_ci", 4, 1, false },
    // MySQL 8's UCA 9.0.0 collations (all NO PAD), which MariaDB 10.11 does not know: the
    // workshop builds their columns with its closest UCA 14.0.0 NO PAD collation of the same
    // strength and language, so that no two values the source told apart become duplicates.
    Collation { 255, "utf8mb4", "utf8mb4_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_nopad_ai_ci" },
    Collation { 256, "utf8mb4", "utf8mb4_de_pb_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_german2_nopad_ai_ci" },
    Collation { 257, "utf8mb4", "utf8mb4_is_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_icelandic_nopad_ai_ci" },
    Collation { 258, "utf8mb4", "utf8mb4_lv_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_latvian_nopad_ai_ci" },
    Collation { 259, "utf8mb4", "utf8mb4_ro_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_romanian_nopad_ai_ci" },
    Collation { 260, "utf8mb4", "utf8mb4_sl_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_slovenian_nopad_ai_ci" },
    Collation { 261, "utf8mb4", "utf8mb4_pl_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_polish_nopad_ai_ci" },
    Collation { 262, "utf8mb4", "utf8mb4_et_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_estonian_nopad_ai_ci" },
    Collation { 263, "utf8mb4", "utf8mb4_es_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_spanish_nopad_ai_ci" },
    Collation { 264, "utf8mb4", "utf8mb4_sv_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_swedish_nopad_ai_ci" },
    Collation { 265, "utf8mb4", "utf8mb4_tr_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_turkish_nopad_ai_ci" },
    Collation { 266, "utf8mb4", "utf8mb4_cs_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_czech_nopad_ai_ci" },
    Collation { 267, "utf8mb4", "utf8mb4_da_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_danish_nopad_ai_ci" },
    Collation { 268, "utf8mb4", "utf8mb4_lt_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_lithuanian_nopad_ai_ci" },
    Collation { 269, "utf8mb4", "utf8mb4_sk_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_slovak_nopad_ai_ci" },
    Collation { 270, "utf8mb4", "utf8mb4_es_trad_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_spanish2_nopad_ai_ci" },
    Collation { 271, "utf8mb4", "utf8mb4_la_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_roman_nopad_ai_ci" },
    Collation { 273, "utf8mb4", "utf8mb4_eo_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_esperanto_nopad_ai_ci" },
    Collation { 274, "utf8mb4", "utf8mb4_hu_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_hungarian_nopad_ai_ci" },
    Collation { 275, "utf8mb4", "utf8mb4_hr_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_croatian_nopad_ai_ci" },
    Collation { 277, "utf8mb4", "utf8mb4_vi_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_vietnamese_nopad_ai_ci" },
    Collation { 278, "utf8mb4", "utf8mb4_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_nopad_as_cs" },
    Collation { 279, "utf8mb4", "utf8mb4_de_pb_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_german2_nopad_as_cs" },
    Collation { 280, "utf8mb4", "utf8mb4_is_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_icelandic_nopad_as_cs" },
    Collation { 281, "utf8mb4", "utf8mb4_lv_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_latvian_nopad_as_cs" },
    Collation { 282, "utf8mb4", "utf8mb4_ro_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_romanian_nopad_as_cs" },
    Collation { 283, "utf8mb4", "utf8mb4_sl_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_slovenian_nopad_as_cs" },
    Collation { 284, "utf8mb4", "utf8mb4_pl_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_polish_nopad_as_cs" },
    Collation { 285, "utf8mb4", "utf8mb4_et_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_estonian_nopad_as_cs" },
    Collation { 286, "utf8mb4", "utf8mb4_es_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_spanish_nopad_as_cs" },
    Collation { 287, "utf8mb4", "utf8mb4_sv_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_swedish_nopad_as_cs" },
    Collation { 288, "utf8mb4", "utf8mb4_tr_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_turkish_nopad_as_cs" },
    Collation { 289, "utf8mb4", "utf8mb4_cs_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_czech_nopad_as_cs" },
    Collation { 290, "utf8mb4", "utf8mb4_da_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_danish_nopad_as_cs" },
    Collation { 291, "utf8mb4", "utf8mb4_lt_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_lithuanian_nopad_as_cs" },
    Collation { 292, "utf8mb4", "utf8mb4_sk_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_slovak_nopad_as_cs" },
    Collation { 293, "utf8mb4", "utf8mb4_es_trad_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_spanish2_nopad_as_cs" },
    Collation { 294, "utf8mb4", "utf8mb4_la_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_roman_nopad_as_cs" },
    Collation { 296, "utf8mb4", "utf8mb4_eo_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_esperanto_nopad_as_cs" },
    Collation { 297, "utf8mb4", "utf8mb4_hu_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_hungarian_nopad_as_cs" },
    Collation { 298, "utf8mb4", "utf8mb4_hr_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_croatian_nopad_as_cs" },
    Collation { 300, "utf8mb4", "utf8mb4_vi_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_vietnamese_nopad_as_cs" },
    Collation { 303, "utf8mb4", "utf8mb4_ja_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_nopad_as_cs" },
    Collation { 304, "utf8mb4", "utf8mb4_ja_0900_as_cs_ks", 4, 1, false, "utf8mb4_uca1400_nopad_as_cs" },
    Collation { 305, "utf8mb4", "utf8mb4_0900_as_ci", 4, 1, false, "utf8mb4_uca1400_nopad_as_ci" },
    Collation { 306, "utf8mb4", "utf8mb4_ru_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_nopad_ai_ci" },
    Collation { 307, "utf8mb4", "utf8mb4_ru_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_nopad_as_cs" },
    Collation { 308, "utf8mb4", "utf8mb4_zh_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_nopad_as_cs" },
    Collation { 309, "utf8mb4", "utf8mb4_0900_bin", 4, 1, false, "utf8mb4_nopad_bin" },
    Collation { 310, "utf8mb4", "utf8mb4_nb_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_danish_nopad_ai_ci" },
    Collation { 311, "utf8mb4", "utf8mb4_nb_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_danish_nopad_as_cs" },
    Collation { 312, "utf8mb4", "utf8mb4_nn_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_danish_nopad_ai_ci" },
    Collation { 313, "utf8mb4", "utf8mb4_nn_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_danish_nopad_as_cs" },
    Collation { 314, "utf8mb4", "utf8mb4_sr_latn_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_nopad_ai_ci" },
    Collation { 315, "utf8mb4", "utf8mb4_sr_latn_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_nopad_as_cs" },
    Collation { 316, "utf8mb4", "utf8mb4_bs_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_nopad_ai_ci" },
    Collation { 317, "utf8mb4", "utf8mb4_bs_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_nopad_as_cs" },
    Collation { 318, "utf8mb4", "utf8mb4_bg_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_nopad_ai_ci" },
    Collation { 319, "utf8mb4", "utf8mb4_bg_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_nopad_as_cs" },
    Collation { 320, "utf8mb4", "utf8mb4_gl_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_nopad_ai_ci" },
    Collation { 321, "utf8mb4", "utf8mb4_gl_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_nopad_as_cs" },
    Collation { 322, "utf8mb4", "utf8mb4_mn_cyrl_0900_ai_ci", 4, 1, false, "utf8mb4_uca1400_nopad_ai_ci" },
    Collation { 323, "utf8mb4", "utf8mb4_mn_cyrl_0900_as_cs", 4, 1, false, "utf8mb4_uca1400_nopad_as_cs" },
    Collation { 576, "utf8", "utf8_croatian_ci", 3, 1, false },
    Collation { 577, "utf8", "utf8_myanmar_ci", 3, 1, false },
    Collation { 578, "utf8", "utf8_thai_520_w2", 3, 1, false },
    Collation { 608, "utf8mb4", "utf8mb4_croatian_ci", 4, 1, false },
    Collation { 609, "utf8mb4", "utf8mb4_myanmar_ci", 4, 1, false },
    Collation { 610, "utf8mb4", "utf8mb4_thai_520_w2", 4, 1, false },
    Collation { 640, "ucs2", "ucs2_croatian_ci", 2, 2, false },
    Collation { 641, "ucs2", "ucs2_myanmar_ci", 2, 2, false },
    Collation { 642, "ucs2", "ucs2_thai_520_w2", 2, 2, false },
    Collation { 672, "utf16", "utf16_croatian_ci", 4, 2, false },
    Collation { 673, "utf16", "utf16_myanmar_ci", 4, 2, false },
    Collation { 674, "utf16", "utf16_thai_520_w2", 4, 2, false },
    Collation { 736, "utf32", "utf32_croatian_ci", 4, 4, false },
    Collation { 737, "utf32", "utf32_myanmar_ci", 4, 4, false },
    Collation { 738, "utf32", "utf32_thai_520_w2", 4, 4, false },
    Collation { 1025, "big5", "big5_chinese_nopad_ci", 2, 1, false },
    Collation { 1027, "dec8", "dec8_swedish_nopad_ci", 1, 1, false },
    Collation { 1028, "cp850", "cp850_general_nopad_ci", 1, 1, false },
    Collation { 1030, "hp8", "hp8_english_nopad_ci", 1, 1, false },
    Collation { 1031, "koi8r", "koi8r_general_nopad_ci", 1, 1, false },
    Collation { 1032, "latin1", "latin1_swedish_nopad_ci", 1, 1, false },
    Collation { 1033, "latin2", "latin2_general_nopad_ci", 1, 1, false },
    Collation { 1034, "swe7", "swe7_swedish_nopad_ci", 1, 1, false },
    Collation { 1035, "ascii", "ascii_general_nopad_ci", 1, 1, false },
    Collation { 1036, "ujis", "ujis_japanese_nopad_ci", 3, 1, false },
    Collation { 1037, "sjis", "sjis_japanese_nopad_ci", 2, 1, false },
    Collation { 1040, "hebrew", "hebrew_general_nopad_ci", 1, 1, false },
    Collation { 1042, "tis620", "tis620_thai_nopad_ci", 1, 1, false },
    Collation { 1043, "euckr", "euckr_korean_nopad_ci", 2, 1, false },
    Collation { 1046, "koi8u", "koi8u_general_nopad_ci", 1, 1, false },
    Collation { 1048, "gb2312", "gb2312_chinese_nopad_ci", 2, 1, false },
    Collation { 1049, "greek", "greek_general_nopad_ci", 1, 1, false },
    Collation { 1050, "cp1250", "cp1250_general_nopad_ci", 1, 1, false },
    Collation { 1052, "gbk", "gbk_chinese_nopad_ci", 2, 1, false },
    Collation { 1054, "latin5", "latin5_turkish_nopad_ci", 1, 1, false },
    Collation { 1056, "armscii8", "armscii8_general_nopad_ci", 1, 1, false },
    Collation { 1057, "utf8", "utf8_general_nopad_ci", 3, 1, false },
    Collation { 1059, "ucs2", "ucs2_general_nopad_ci", 2, 2, false },
    Collation { 1060, "cp866", "cp866_general_nopad_ci", 1, 1, false },
    Collation { 1061, "keybcs2", "keybcs2_general_nopad_ci", 1, 1, false },
    Collation { 1062, "macce", "macce_general_nopad_ci", 1, 1, false },
    Collation { 1063, "macroman", "macroman_general_nopad_ci", 1, 1, false },
    Collation { 1064, "cp852", "cp852_general_nopad_ci", 1, 1, false },
    Collation { 1065, "latin7", "latin7_general_nopad_ci", 1, 1, false },
    Collation { 1067, "macce", "macce_nopad_bin", 1, 1, false },
    Collation { 1069, "utf8mb4", "utf8mb4_general_nopad_ci", 4, 1, false },
    Collation { 1070, "utf8mb4", "utf8mb4_nopad_bin", 4, 1, false },
    Collation { 1071, "latin1", "latin1_nopad_bin", 1, 1, false },
    Collation { 1074, "cp1251", "cp1251_nopad_bin", 1, 1, false },
    Collation { 1075, "cp1251", "cp1251_general_nopad_ci", 1, 1, false },
    Collation { 1077, "macroman", "macroman_nopad_bin", 1, 1, false },
    Collation { 1078, "utf16", "utf16_general_nopad_ci", 4, 2, false },
    Collation { 1079, "utf16", "utf16_nopad_bin", 4, 2, false },
    Collation { 1080, "utf16le", "utf16le_general_nopad_ci", 4, 2, false },
    Collation { 1081, "cp1256", "cp1256_general_nopad_ci", 1, 1, false },
    Collation { 1082, "cp1257", "cp1257_nopad_bin", 1, 1, false },
    Collation { 1083, "cp1257", "cp1257_general_nopad_ci", 1, 1, false },
    Collation { 1084, "utf32", "utf32_general_nopad_ci", 4, 4, false },
    Collation { 1085, "utf32", "utf32_nopad_bin", 4, 4, false },
    Collation { 1086, "utf16le", "utf16le_nopad_bin", 4, 2, false },
    Collation { 1088, "armscii8", "armscii8_nopad_bin", 1, 1, false },
    Collation { 1089, "ascii", "ascii_nopad_bin", 1, 1, false },
    Collation { 1090, "cp1250", "cp1250_nopad_bin", 1, 1, false },
    Collation { 1091, "cp1256", "cp1256_nopad_bin", 1, 1, false },
    Collation { 1092, "cp866", "cp866_nopad_bin", 1, 1, false },
    Collation { 1093, "dec8", "dec8_nopad_bin", 1, 1, false },
    Collation { 1094, "greek", "greek_nopad_bin", 1, 1, false },
    Collation { 1095, "hebrew", "hebrew_nopad_bin", 1, 1, false },
    Collation { 1096, "hp8", "hp8_nopad_bin", 1, 1, false },
    Collation { 1097, "keybcs2", "keybcs2_nopad_bin", 1, 1, false },
    Collation { 1098, "koi8r", "koi8r_nopad_bin", 1, 1, false },
    Collation { 1099, "koi8u", "koi8u_nopad_bin", 1, 1, false },
    Collation { 1101, "latin2", "latin2_nopad_bin", 1, 1, false },
    Collation { 1102, "latin5", "latin5_nopad_bin", 1, 1, false },
    Collation { 1103, "latin7", "latin7_nopad_bin", 1, 1, false },
    Collation { 1104, "cp850", "cp850_nopad_bin", 1, 1, false },
    Collation { 1105, "cp852", "cp852_nopad_bin", 1, 1, false },
    Collation { 1106, "swe7", "swe7_nopad_bin", 1, 1, false },
    Collation { 1107, "utf8", "utf8_nopad_bin", 3, 1, false },
    Collation { 1108, "big5", "big5_nopad_bin", 2, 1, false },
    Collation { 1109, "euckr", "euckr_nopad_bin", 2, 1, false },
    Collation { 1110, "gb2312", "gb2312_nopad_bin", 2, 1, false },
    Collation { 1111, "gbk", "gbk_nopad_bin", 2, 1, false },
    Collation { 1112, "sjis", "sjis_nopad_bin", 2, 1, false },
    Collation { 1113, "tis620", "tis620_nopad_bin", 1, 1, false },
    Collation { 1114, "ucs2", "ucs2_nopad_bin", 2, 2, false },
    Collation { 1115, "ujis", "ujis_nopad_bin", 3, 1, false },
    Collation { 1116, "geostd8", "geostd8_general_nopad_ci", 1, 1, false },
    Collation { 1117, "geostd8", "geostd8_nopad_bin", 1, 1, false },
    Collation { 1119, "cp932", "cp932_japanese_nopad_ci", 2, 1, false },
    Collation { 1120, "cp932", "cp932_nopad_bin", 2, 1, false },
    Collation { 1121, "eucjpms", "eucjpms_japanese_nopad_ci", 3, 1, false },
    Collation { 1122, "eucjpms", "eucjpms_nopad_bin", 3, 1, false },
    Collation { 1125, "utf16", "utf16_unicode_nopad_ci", 4, 2, false },
    Collation { 1147, "utf16", "utf16_unicode_520_nopad_ci", 4, 2, false },
    Collation { 1152, "ucs2", "ucs2_unicode_nopad_ci", 2, 2, false },
    Collation { 1174, "ucs2", "ucs2_unicode_520_nopad_ci", 2, 2, false },
    Collation { 1184, "utf32", "utf32_unicode_nopad_ci", 4, 4, false },
    Collation { 1206, "utf32", "utf32_unicode_520_nopad_ci", 4, 4, false },
    Collation { 1216, "utf8", "utf8_unicode_nopad_ci", 3, 1, false },
    Collation { 1238, "utf8", "utf8_unicode_520_nopad_ci", 3, 1, false },
    Collation { 1248, "utf8mb4", "utf8mb4_unicode_nopad_ci", 4, 1, false },
    Collation { 1270, "utf8mb4", "utf8mb4_unicode_520_nopad_ci", 4, 1, false },
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

std::uint16_t portableCollation(std::uint16_t id)
{
    const Collation *collation = findCollation(id);
    if (!collation || collation->workshopName.empty()) {
        return id;
    }
    const std::string_view name = collation->name;
    if (name.ends_with("_bin") || name.find("_as_c") != std::string_view::npos) {
        return kCharsetUtf8mb4Binary; // accent and case matter: compared by their bytes
    }
    // The language, as the workshop's counterpart names it: "utf8mb4_uca1400_german2_nopad_ai_ci".
    constexpr std::string_view kPrefix = "utf8mb4_uca1400_";
    const std::string_view workshop = collation->workshopName;
    const std::size_t end = workshop.find("_nopad");
    if (workshop.starts_with(kPrefix) && end != std::string_view::npos && end > kPrefix.size()) {
        const std::string older
            = "utf8mb4_" + std::string(workshop.substr(kPrefix.size(), end - kPrefix.size()))
            + "_ci";
        for (const Collation &candidate : kCollations) {
            if (candidate.name == older) {
                return candidate.id;
            }
        }
    }
    return kCharsetUtf8mb4Unicode;
}

std::string encodedCharacter(char c, std::uint16_t id)
{
    const Collation *collation = findCollation(id);
    if (!collation || collation->minBytesPerChar == 1) {
        return std::string(1, c);
    }
    if (collation->charset == "utf16le") {
        return std::string { c, '\0' };
    }
    std::string wide(collation->minBytesPerChar, '\0');
    wide.back() = c;
    return wide;
}

std::string_view paddingCharacter(std::uint16_t id)
{
    using namespace std::string_view_literals;
    const Collation *collation = findCollation(id);
    if (!collation || collation->minBytesPerChar == 1) {
        return " "sv;
    }
    if (collation->charset == "utf16le") {
        return " \0"sv;
    }
    return collation->minBytesPerChar == 4 ? "\0\0\0 "sv : "\0 "sv;
}

namespace {

// The server's character sets by the names iconv knows them by; the server's latin1 is
// Windows-1252, its ucs2, utf16 and utf32 are big-endian.
constexpr std::array<std::pair<std::string_view, const char *>, 29> kIconvNames {
    { { "latin1", "CP1252" }, { "latin2", "ISO-8859-2" }, { "latin5", "ISO-8859-9" },
        { "latin7", "ISO-8859-13" }, { "greek", "ISO-8859-7" }, { "hebrew", "ISO-8859-8" },
        { "cp1250", "CP1250" }, { "cp1251", "CP1251" }, { "cp1256", "CP1256" },
        { "cp1257", "CP1257" }, { "cp850", "CP850" }, { "cp852", "CP852" }, { "cp866", "CP866" },
        { "cp932", "CP932" }, { "koi8r", "KOI8-R" }, { "koi8u", "KOI8-U" }, { "big5", "BIG5" },
        { "gbk", "GBK" }, { "gb2312", "GB2312" }, { "sjis", "SHIFT_JIS" }, { "ujis", "EUC-JP" },
        { "eucjpms", "EUC-JP-MS" }, { "euckr", "EUC-KR" }, { "tis620", "TIS-620" },
        { "ucs2", "UCS-2BE" }, { "utf16", "UTF-16BE" }, { "utf16le", "UTF-16LE" },
        { "utf32", "UTF-32BE" }, { "macroman", "MACINTOSH" } }
};

} // namespace

std::optional<std::string> toUtf8(std::string_view bytes, std::uint16_t id)
{
    const Collation *collation = findCollation(id);
    if (!collation) {
        return std::nullopt;
    }
    if (collation->charset == "utf8" || collation->charset == "utf8mb4"
        || collation->charset == "ascii" || collation->charset == "binary") {
        return std::string(bytes);
    }
    const char *from = nullptr;
    for (const auto &[name, iconvName] : kIconvNames) {
        if (name == collation->charset) {
            from = iconvName;
        }
    }
    if (!from) {
        return std::nullopt;
    }
    const iconv_t converter = ::iconv_open("UTF-8", from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string input(bytes);
    std::string output(input.size() * 4 + 4, '\0');
    char *in = input.data();
    char *out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    const std::size_t converted = ::iconv(converter, &in, &inLeft, &out, &outLeft);
    ::iconv_close(converter);
    if (converted == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    output.resize(output.size() - outLeft);
    return output;
}

std::uint8_t minBytesPerChar(std::uint16_t id)
{
    const Collation *collation = findCollation(id);
    return collation ? collation->minBytesPerChar : 1;
}

std::uint8_t maxBytesPerChar(std::uint16_t id)
{
    const Collation *collation = findCollation(id);
    return collation ? collation->maxBytesPerChar : 1;
}

} // namespace frm

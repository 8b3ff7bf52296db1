// MariaDB's "extra2" segment, between a definition file's header and its key block (10.0+):
// typed items (table.h, extra2_frm_value_type), of which these matter to the columns and keys.
#pragma once

#include "common/result.h"
#include "frm/frm_bytes.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace frm {

struct Extra2Segment
{
    // By column number: the name of the data type plugin that owns the column ("inet6", "uuid",
    // "inet4"); its record only says STRING.
    std::map<std::size_t, std::string> dataTypeNames;
    std::vector<std::uint8_t> fieldFlags; // by column, when given: bits 0-2 invisibility
    std::vector<std::uint8_t> indexFlags; // by key, when given: bit 0 IGNORED
    bool systemVersioned = false; // WITH SYSTEM VERSIONING: the rows include history
    // Item types this program does not know that the server, too, refuses to ignore (128+).
    std::vector<std::uint8_t> unknownImportant;
};

// The segment of `file`; empty for MySQL's files, which hold "//" where it would start.
// Corruption when an item leaves the segment.
common::Result<Extra2Segment> readExtra2Segment(const FrmBytes &file);

inline constexpr std::uint8_t kFieldInvisibleMask = 0x07; // 1 INVISIBLE, 2 and 3 the server's own
inline constexpr std::uint8_t kFieldInvisibleUser = 1;
inline constexpr std::uint8_t kIndexIgnored = 0x01;

} // namespace frm

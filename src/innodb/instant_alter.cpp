#include "innodb/instant_alter.h"

#include <algorithm>
#include <string_view>

namespace innodb {

namespace {

// PAGE_DIRECTION of an instant root: the direction in bits 0-2, the core field count above.
inline constexpr std::uint16_t kInstantCoreShift = 3;
inline constexpr std::uint16_t kInstantCoreMask = 0x3FF;

// The system records' data: "infimum\0" in both formats, "supremum" (new-style) or
// "supremum\0" (old-style).
inline constexpr std::string_view kInfimum { "infimum\0", 8 };
inline constexpr std::string_view kSupremum { "supremum", 8 };
inline constexpr std::size_t kZeroedSupremum = 7; // the 8th byte then holds the null bytes

// A field map element (dict0mem.h, field_map_element_t).
inline constexpr std::uint16_t kMapDropped = 0x8000;
inline constexpr std::uint16_t kMapNotNull = 0x4000;
inline constexpr std::uint16_t kMapIndexMask = 0x3FFF;
// A dropped column's stored length is kept as fixed length + 1, 1 for a variable column of more
// than 255 bytes and 0 for a shorter one; no fixed column is longer than 768 bytes
// (DICT_MAX_FIXED_COL_LEN).
inline constexpr std::uint16_t kMaxDroppedIndex = 768 + 1;
// No index has more fields than this (REC_MAX_N_FIELDS - 3).
inline constexpr std::uint32_t kMaxMappedFields = 1024 - 1 - 3;

bool allZero(ConstPage page, std::size_t offset, std::size_t length)
{
    return std::all_of(page.begin() + static_cast<std::ptrdiff_t>(offset),
        page.begin() + static_cast<std::ptrdiff_t>(offset + length),
        [](std::uint8_t b) { return b == 0; });
}

bool holds(ConstPage page, std::size_t offset, std::string_view text)
{
    return std::equal(text.begin(), text.end(), page.begin() + static_cast<std::ptrdiff_t>(offset),
        [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

} // namespace

std::optional<InstantRoot> readInstantRoot(ConstPage root)
{
    if (pageTypeOf(root) != kFilPageTypeInstant) {
        return std::nullopt;
    }
    InstantRoot result;
    result.coreFields
        = (readUint16(root, kFilPageData + kPageDirection) >> kInstantCoreShift) & kInstantCoreMask;
    const bool compact = isCompactPage(root);
    const std::size_t infimum = compact ? kPageNewInfimum : kPageOldInfimum;
    const std::size_t supremum = compact ? kPageNewSupremum : kPageOldSupremum;
    if (holds(root, infimum, kInfimum) && holds(root, supremum, kSupremum)) {
        return result;
    }
    if (!allZero(root, infimum, kInfimum.size()) || !allZero(root, supremum, kZeroedSupremum)) {
        return std::nullopt;
    }
    result.columnMap = true;
    result.coreNullBytes = root[supremum + kZeroedSupremum];
    // A record has at most 1023 fields: more null bytes than that are not this format.
    if (result.coreNullBytes > 128) {
        return std::nullopt;
    }
    return result;
}

common::Result<std::vector<MappedField>> parseColumnMap(common::Bytes blob)
{
    if (blob.size() < 4) {
        return common::corruption("column map shorter than its field count");
    }
    const auto count = static_cast<std::uint32_t>(common::readBigEndianUnchecked(blob.data(), 4));
    if (count > kMaxMappedFields || blob.size() < 4 + std::size_t { 2 } * count) {
        return common::corruption("column map of " + std::to_string(blob.size())
            + " bytes cannot hold " + std::to_string(count) + " fields");
    }
    std::vector<MappedField> fields;
    fields.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto element = static_cast<std::uint16_t>(
            common::readBigEndianUnchecked(blob.data() + 4 + 2 * i, 2));
        MappedField field;
        field.dropped = (element & kMapDropped) != 0;
        field.notNull = (element & kMapNotNull) != 0;
        const std::uint16_t index = element & kMapIndexMask;
        if (!field.dropped) {
            field.column = index;
        } else if (index > kMaxDroppedIndex) {
            return common::corruption("column map names a dropped column of impossible length");
        } else {
            field.fixedLength = index > 1 ? index - 1U : 0U;
            field.longLength = index == 1;
        }
        fields.push_back(field);
    }
    return fields;
}

} // namespace innodb

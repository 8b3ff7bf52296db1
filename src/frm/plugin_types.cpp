#include "frm/plugin_types.h"

#include <array>
#include <cstdio>

namespace frm {

namespace {

constexpr std::size_t kInet6Size = 16;
constexpr std::size_t kUuidSize = 16;
constexpr std::size_t kInet4Size = 4;

std::string inet4Text(common::Bytes stored)
{
    std::array<char, 20> text {};
    std::snprintf(
        text.data(), text.size(), "%u.%u.%u.%u", stored[0], stored[1], stored[2], stored[3]);
    return text.data();
}

// Groups of 16 bits in lower-case hex without leading zeros; the first longest run of zero
// groups, even a single one, becomes "::"; an address that is all zeros but its last 32 bits
// (IPv4-compatible) or all zeros and ffff before them (IPv4-mapped) ends in dotted decimal
// (sql_type_inet.cc, Inet6::to_string).
std::string inet6Text(common::Bytes stored)
{
    std::array<unsigned, 8> groups {};
    for (std::size_t i = 0; i < groups.size(); ++i) {
        groups[i] = (unsigned { stored[2 * i] } << 8) | stored[2 * i + 1];
    }
    int gapStart = -1;
    int gapLength = 0;
    for (int i = 0; i < 8;) {
        if (groups[static_cast<std::size_t>(i)] != 0) {
            ++i;
            continue;
        }
        int run = 0;
        while (i + run < 8 && groups[static_cast<std::size_t>(i + run)] == 0) {
            ++run;
        }
        if (run > gapLength) {
            gapStart = i;
            gapLength = run;
        }
        i += run;
    }
    const bool ipv4Tail
        = gapStart == 0 && (gapLength == 6 || (gapLength == 5 && groups[5] == 0xFFFF));
    std::string text;
    for (int i = 0; i < 8; ++i) {
        if (i == gapStart) {
            text += i == 0 ? "::" : ":";
            i += gapLength - 1;
            continue;
        }
        if (i == 6 && ipv4Tail) {
            return text + inet4Text(stored.subspan(12));
        }
        std::array<char, 8> group {};
        std::snprintf(group.data(), group.size(), "%x", groups[static_cast<std::size_t>(i)]);
        text += group.data();
        if (i < 7) {
            text += ':';
        }
    }
    return text;
}

// A UUID's text is the bytes of its usual (memory) order. For UUIDs of versions 1 to 5 and the
// standard variant, a record holds the segments in the reverse order, node first, so that the
// time-based ones sort by time; legacy columns do so for every value (plugin/type_uuid,
// UUID::record_to_memory).
std::string uuidText(common::Bytes stored, bool legacyUuid)
{
    // memory offset, record offset, length of each segment
    constexpr std::array<std::array<std::size_t, 3>, 5> kSegments { { { 0, 12, 4 }, { 4, 10, 2 },
        { 6, 8, 2 }, { 8, 6, 2 }, { 10, 0, 6 } } };
    // In record order the variant byte sits at 6 and the version byte at 8; the server tests
    // `s[6] & -s[8] & 0x80` on signed bytes, which also holds for a version byte of 0x80.
    const int variant = static_cast<std::int8_t>(stored[6]);
    const int negatedVersion = -static_cast<int>(static_cast<std::int8_t>(stored[8]));
    const bool swapped = legacyUuid || (variant & negatedVersion & 0x80) != 0;
    std::array<std::uint8_t, kUuidSize> memory {};
    for (const auto &[memoryAt, recordAt, length] : kSegments) {
        for (std::size_t i = 0; i < length; ++i) {
            memory[memoryAt + i] = swapped ? stored[recordAt + i] : stored[memoryAt + i];
        }
    }
    std::string text;
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < memory.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += kDigits[memory[i] >> 4];
        text += kDigits[memory[i] & 15];
    }
    return text;
}

struct PluginTypeInfo
{
    PluginType type;
    std::string_view sqlName; // as CREATE TABLE and the definition file name it
    std::string_view typeName;
    std::uint32_t size;
};

constexpr std::array<PluginTypeInfo, 3> kPluginTypes { {
    { PluginType::Inet6, "inet6", "Inet6", kInet6Size },
    { PluginType::Uuid, "uuid", "Uuid", kUuidSize },
    { PluginType::Inet4, "inet4", "Inet4", kInet4Size },
} };

const PluginTypeInfo *infoOf(PluginType type)
{
    for (const PluginTypeInfo &info : kPluginTypes) {
        if (info.type == type) {
            return &info;
        }
    }
    return nullptr;
}

} // namespace

PluginType pluginTypeNamed(std::string_view dataTypeName)
{
    for (const PluginTypeInfo &info : kPluginTypes) {
        if (info.sqlName == dataTypeName) {
            return info.type;
        }
    }
    return PluginType::Unknown;
}

std::uint32_t pluginTypeSize(PluginType type)
{
    const PluginTypeInfo *info = infoOf(type);
    return info ? info->size : 0;
}

std::string_view pluginSqlType(PluginType type)
{
    const PluginTypeInfo *info = infoOf(type);
    return info ? info->sqlName : std::string_view();
}

std::string_view pluginTypeName(PluginType type)
{
    const PluginTypeInfo *info = infoOf(type);
    return info ? info->typeName : std::string_view();
}

std::string pluginValueText(PluginType type, common::Bytes stored, bool legacyUuid)
{
    if (stored.size() != pluginTypeSize(type) || stored.empty()) {
        return {};
    }
    switch (type) {
    case PluginType::Inet6:
        return inet6Text(stored);
    case PluginType::Uuid:
        return uuidText(stored, legacyUuid);
    case PluginType::Inet4:
        return inet4Text(stored);
    case PluginType::Unknown:
        break;
    }
    return {};
}

bool isLegacyUuidServer(std::uint32_t serverVersion)
{
    // The releases that shipped the fix (plugin/type_uuid/plugin.cc); 0 (no version) counts as
    // new, as there.
    const auto within = [serverVersion](std::uint32_t from, std::uint32_t below) {
        return serverVersion >= from && serverVersion < below;
    };
    const bool fixed = serverVersion == 0 || within(100908, 100999) || within(101006, 101099)
        || within(101105, 101199) || within(110003, 110099) || within(110102, 110199)
        || serverVersion >= 110201;
    return !fixed;
}

} // namespace frm

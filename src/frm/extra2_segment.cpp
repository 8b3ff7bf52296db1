#include "frm/extra2_segment.h"

namespace frm {

namespace {

constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kSegmentLength = 4; // LE16 in the header
constexpr std::uint8_t kMySqlNames = '/'; // MySQL's files: "//" and 0 where the segment would be

// extra2_frm_value_type (table.h).
constexpr std::uint8_t kPeriodForSystemTime = 4;
constexpr std::uint8_t kIndexFlags = 5;
constexpr std::uint8_t kImportant = 128; // a server that does not know such an item refuses
constexpr std::uint8_t kEngineTableOptions = 128;
constexpr std::uint8_t kFieldFlags = 129;
constexpr std::uint8_t kFieldDataTypeInfo = 130;
constexpr std::uint8_t kPeriodWithoutOverlaps = 131;

// The client protocol's length-encoded number, as the data type info writes its field numbers
// and name lengths: below 251 one byte, else 252/253/254 and 2, 3 or 8 bytes.
std::optional<std::uint64_t> netLength(const FrmBytes &file, std::size_t &at, std::size_t end)
{
    if (at >= end) {
        return std::nullopt;
    }
    const std::uint8_t first = file.u8(at++);
    std::size_t width = 0;
    switch (first) {
    case 252:
        width = 2;
        break;
    case 253:
        width = 3;
        break;
    case 254:
        width = 8;
        break;
    case 251:
    case 255:
        return std::nullopt;
    default:
        return first;
    }
    if (width > end - at) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= std::uint64_t { file.u8(at + i) } << (8 * i);
    }
    at += width;
    return value;
}

common::Status readDataTypeInfo(
    const FrmBytes &file, std::size_t at, std::size_t end, Extra2Segment &segment)
{
    while (at < end) {
        const auto field = netLength(file, at, end);
        const auto length = netLength(file, at, end);
        if (!field || !length || *length == 0 || *length > end - at) {
            return common::corruption("data type names of the columns unreadable");
        }
        segment.dataTypeNames[static_cast<std::size_t>(*field)]
            = file.text(at, static_cast<std::size_t>(*length));
        at += static_cast<std::size_t>(*length);
    }
    return common::okStatus();
}

std::vector<std::uint8_t> bytesOf(const FrmBytes &file, std::size_t at, std::size_t length)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < length; ++i) {
        bytes.push_back(file.u8(at + i));
    }
    return bytes;
}

} // namespace

common::Result<Extra2Segment> readExtra2Segment(const FrmBytes &file)
{
    Extra2Segment segment;
    const std::size_t end = kHeaderSize + file.u16(kSegmentLength);
    if (!file.has(kHeaderSize, 1) || file.u8(kHeaderSize) == kMySqlNames) {
        return segment;
    }
    if (!file.has(kHeaderSize, end - kHeaderSize)) {
        return common::corruption("extra2 segment beyond end of file");
    }
    // Each item: a type byte, a length (1-255 in one byte, or 0 and LE16), the value.
    std::size_t at = kHeaderSize;
    while (at + 3 <= end) {
        const std::uint8_t type = file.u8(at++);
        std::size_t length = file.u8(at++);
        if (length == 0) {
            if (end - at < 2) {
                return common::corruption("extra2 item " + std::to_string(type) + " cut short");
            }
            length = file.u16(at);
            at += 2;
        }
        if (length == 0 || length > end - at) {
            return common::corruption(
                "extra2 item " + std::to_string(type) + " leaves its segment");
        }
        switch (type) {
        case kPeriodForSystemTime:
            segment.systemVersioned = true;
            break;
        case kIndexFlags:
            segment.indexFlags = bytesOf(file, at, length);
            break;
        case kFieldFlags:
            segment.fieldFlags = bytesOf(file, at, length);
            break;
        case kFieldDataTypeInfo:
            if (auto read = readDataTypeInfo(file, at, at + length, segment); !read) {
                return read.error();
            }
            break;
        case kEngineTableOptions:
        case kPeriodWithoutOverlaps:
            break; // engine options and WITHOUT OVERLAPS change no record
        default:
            if (type >= kImportant) {
                segment.unknownImportant.push_back(type);
            }
        }
        at += length;
    }
    return segment;
}

} // namespace frm

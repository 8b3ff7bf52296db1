#include "innodb/zip_record.h"

namespace innodb {

namespace {

// rem0rec.h: no index has more fields (REC_MAX_N_FIELDS).
constexpr std::size_t kMaxFields = 1023;
// dict0mem.h, DICT_MAX_FIXED_COL_LEN: a longer fixed field is stored like a variable one.
constexpr std::size_t kMaxFixedLength = 768;

} // namespace

std::optional<ZipIndex> decodeZipIndex(std::span<const std::uint8_t> bytes, bool leaf)
{
    // The entries, and one last number after them.
    std::size_t entries = 0;
    for (std::size_t i = 0; i < bytes.size(); ++entries) {
        i += (bytes[i] & 0x80) != 0 ? 2u : 1u;
        if (i > bytes.size()) {
            return std::nullopt;
        }
    }
    if (entries == 0 || entries - 1 > kMaxFields) {
        return std::nullopt;
    }
    ZipIndex index;
    index.nodePointers = !leaf;
    std::size_t at = 0;
    const auto next = [&] {
        std::size_t value = bytes[at++];
        if ((value & 0x80) != 0) {
            value = (value & 0x7Fu) << 8 | bytes[at++];
        }
        return value;
    };
    for (std::size_t i = 0; i + 1 < entries; ++i) {
        const bool twoBytes = (bytes[at] & 0x80) != 0;
        const std::size_t value = next();
        ZipField field;
        field.nullable = (value & 1) == 0;
        if (twoBytes || (value >= 2 && value < 126)) {
            field.fixedLength = static_cast<std::uint32_t>(value >> 1);
            if (field.fixedLength > kMaxFixedLength) {
                field.fixedLength = 0;
                field.big = true;
            }
        } else {
            field.big = value >= 126;
        }
        index.nullable += field.nullable ? 1 : 0;
        index.fields.push_back(field);
    }
    const std::size_t last = next();
    if (leaf) {
        if (last >= index.fields.size()) {
            return std::nullopt;
        }
        if (last != 0) {
            index.trxIdField = last;
        }
    } else {
        if (last < index.nullable) {
            return std::nullopt;
        }
        index.nullable = last;
    }
    return index;
}

bool layoutZipRecord(const ZipIndex &index, const std::uint8_t *first, std::ptrdiff_t step,
    std::size_t available, ZipRecordLayout &layout)
{
    const auto extra = [&](std::size_t k) { return first[static_cast<std::ptrdiff_t>(k) * step]; };
    const std::size_t nullBytes = (index.nullable + 7) / 8;
    if (nullBytes > available) {
        return false;
    }
    std::size_t lengthAt = nullBytes; // the next length byte
    std::size_t nullBit = 0;
    std::size_t at = 0;
    layout.fields.clear();
    layout.anyExternal = false;
    for (const ZipField &field : index.fields) {
        ZipRecordLayout::Field placed;
        placed.start = at;
        bool isNull = false;
        if (field.nullable) {
            isNull = ((extra(nullBit / 8) >> (nullBit % 8)) & 1) != 0;
            ++nullBit;
        }
        if (!isNull && field.fixedLength != 0) {
            placed.length = field.fixedLength;
        } else if (!isNull) {
            if (lengthAt >= available) {
                return false;
            }
            const std::uint8_t length = extra(lengthAt++);
            placed.length = length;
            if (field.big && (length & 0x80) != 0) {
                if (lengthAt >= available) {
                    return false;
                }
                placed.length = (std::size_t { length & 0x3Fu } << 8) | extra(lengthAt++);
                placed.external = (length & 0x40) != 0;
                layout.anyExternal = layout.anyExternal || placed.external;
            }
        }
        at += placed.length;
        layout.fields.push_back(placed);
    }
    if (index.nodePointers) {
        layout.fields.push_back({ at, 4, false });
        at += 4;
    }
    layout.extraSize = lengthAt;
    layout.dataSize = at;
    return true;
}

} // namespace innodb

#include "frm/key_reader.h"

#include "frm/column_type.h"

namespace frm {

namespace {

using common::corruption;
using namespace fieldtype;

// Key block: a 6-byte header (key count, part count, LE16 names length), then per key 8 bytes
// (LE16 flags, LE16 length, part count, algorithm, LE16 block size) and 9 per part.
constexpr std::size_t kKeyHeaderSize = 6;
constexpr std::size_t kKeyNamesLength = 4;
constexpr std::size_t kKeyEntrySize = 8;
constexpr std::size_t kKeyPartCount = 4;
constexpr std::size_t kKeyAlgorithm = 5;
constexpr std::size_t kKeyPartSize = 9;
constexpr std::uint16_t kKeyFlagNotUnique = 0x0001; // stored XOR 1: unique keys have it clear
constexpr std::uint16_t kKeyFlagFulltext = 0x0080;
constexpr std::uint16_t kKeyFlagSpatial = 0x0400;
constexpr std::uint16_t kKeyFlagComment = 0x1000;
constexpr std::uint16_t kKeyPartColumnMask = 0x3FFF;

} // namespace

common::Status readKeys(
    const FrmBytes &file, std::size_t block, FrmTableEntry &table, std::size_t columnCount)
{
    std::size_t keyCount = file.u8(block);
    if (keyCount & 0x80) {
        keyCount = (keyCount & 0x7F) | (static_cast<std::size_t>(file.u8(block + 1)) << 7);
    }
    const std::size_t namesLength = file.u16(block + kKeyNamesLength);
    std::size_t pos = block + kKeyHeaderSize;
    for (std::size_t k = 0; k < keyCount; ++k) {
        if (!file.has(pos, kKeyEntrySize)) {
            return corruption("key " + std::to_string(k + 1) + " beyond end of file");
        }
        KeyDef key;
        key.flags = file.u16(pos);
        const std::size_t partCount = file.u8(pos + kKeyPartCount);
        key.algorithm = file.u8(pos + kKeyAlgorithm);
        pos += kKeyEntrySize;
        if (!file.has(pos, partCount * kKeyPartSize)) {
            return corruption("parts of key " + std::to_string(k + 1) + " beyond end of file");
        }
        for (std::size_t p = 0; p < partCount; ++p, pos += kKeyPartSize) {
            const std::size_t column = file.u16(pos) & kKeyPartColumnMask;
            if (column == 0 || column > columnCount) {
                return corruption("key " + std::to_string(k + 1) + " names column "
                    + std::to_string(column) + " of " + std::to_string(columnCount));
            }
            KeyPart part;
            part.column = static_cast<std::uint16_t>(column - 1);
            part.byteLength = file.u16(pos + 7);
            key.parts.push_back(part);
        }
        table.keys.push_back(std::move(key));
    }
    if (keyCount == 0) {
        return common::okStatus();
    }
    const auto names = splitNames(file, pos, namesLength, keyCount);
    if (!names) {
        return corruption("key names unreadable");
    }
    // The comments follow the names' closing 00, in key order, each as LE16 length and text.
    std::size_t commentAt = pos + 1;
    for (const std::string &name : *names) {
        commentAt += name.size() + 1;
    }
    ++commentAt;
    for (std::size_t k = 0; k < keyCount; ++k) {
        KeyDef &key = table.keys[k];
        key.name = (*names)[k];
        if (sameName(key.name, "PRIMARY")) {
            key.kind = KeyKind::Primary;
        } else if (key.flags & kKeyFlagFulltext) {
            key.kind = KeyKind::Fulltext;
        } else if (key.flags & kKeyFlagSpatial) {
            key.kind = KeyKind::Spatial;
        } else if ((key.flags & kKeyFlagNotUnique) == 0) {
            key.kind = KeyKind::Unique;
        } else {
            key.kind = KeyKind::Plain;
        }
        if ((key.flags & kKeyFlagComment) != 0) {
            if (!file.has(commentAt, 2) || !file.has(commentAt + 2, file.u16(commentAt))) {
                return corruption("comment of key " + key.name + " beyond end of file");
            }
            key.comment = file.text(commentAt + 2, file.u16(commentAt));
            commentAt += 2 + key.comment.size();
        }
    }
    return common::okStatus();
}

void setPrefixLengths(FrmTableEntry &table)
{
    for (KeyDef &key : table.keys) {
        for (KeyPart &part : key.parts) {
            const ColumnDef &column = table.definitionOrder[part.column];
            // A spatial key indexes the whole geometry, whatever length its part names; a data
            // type plugin's value is indexed whole, the record's length being its text's.
            const bool blob = isBlobFieldType(column.fieldType) && key.kind != KeyKind::Spatial;
            const bool shortString = (column.fieldType == kVarchar || column.fieldType == kString
                                         || column.fieldType == kVarString)
                && part.byteLength < column.byteLength;
            const bool prefix = column.dataTypeName.empty() && (blob || shortString);
            if (prefix) {
                const std::uint8_t perChar = column.maxBytesPerChar ? column.maxBytesPerChar : 1;
                part.prefixLength = static_cast<std::uint16_t>(part.byteLength / perChar);
            }
        }
    }
}

int findClusteredKey(const FrmTableEntry &table)
{
    for (std::size_t k = 0; k < table.keys.size(); ++k) {
        const KeyDef &key = table.keys[k];
        if (key.kind == KeyKind::Primary) {
            return static_cast<int>(k);
        }
    }
    for (std::size_t k = 0; k < table.keys.size(); ++k) {
        const KeyDef &key = table.keys[k];
        if (key.kind != KeyKind::Unique) {
            continue;
        }
        bool eligible = !key.parts.empty();
        for (const KeyPart &part : key.parts) {
            const ColumnDef &column = table.definitionOrder[part.column];
            if (column.nullable || part.prefixLength != 0) {
                eligible = false;
            }
        }
        if (eligible) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

} // namespace frm

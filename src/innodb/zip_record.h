// The records of a ROW_FORMAT=COMPRESSED page as its own stream describes them (page0zip.cc,
// page_zip_fields_decode()): the compressed stream opens with a list of the index's fields, so a
// page can be rebuilt without the table's definition.
//
// Each field is one or two bytes: 0 / 1 a nullable / NOT NULL variable field of at most 255
// bytes, 126 / 127 the same of more, 2 to 125 a fixed field of val >> 1 bytes, and 0x80 | high,
// low for a fixed field of more than 62 bytes (val >> 1, bit 0 NOT NULL). Runs of NOT NULL fixed
// fields are merged into one; DB_TRX_ID starts a run of its own, so on a clustered leaf the field
// at trxIdField begins with DB_TRX_ID and DB_ROLL_PTR. A last number, one or two bytes, is that
// field's position on leaf pages (0 for a secondary index) and the index's nullable field count
// on node pointer pages, whose records carry a null bitmap sized for the whole index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace innodb {

struct ZipField
{
    std::uint32_t fixedLength = 0; // 0: variable length
    bool nullable = false;
    bool big = false; // a variable field of more than 255 bytes: 2 length bytes when 0x80
};

struct ZipIndex
{
    std::vector<ZipField> fields; // node pointer pages: the key fields, not the child number
    std::size_t nullable = 0; // fields with a bit in the null bitmap
    std::optional<std::size_t> trxIdField; // clustered leaf pages only
    bool nodePointers = false;
};

// Decodes the field list. Nullopt when it is not one a server writes.
std::optional<ZipIndex> decodeZipIndex(std::span<const std::uint8_t> bytes, bool leaf);

// Where one record's fields lie, relative to its origin.
struct ZipRecordLayout
{
    struct Field
    {
        std::size_t start = 0;
        std::size_t length = 0;
        bool external = false;
    };
    std::vector<Field> fields; // node pointer records end with the 4-byte child page number
    std::size_t extraSize = 0; // null bitmap and length bytes, below the 5-byte header
    std::size_t dataSize = 0;
    bool anyExternal = false;
};

// Reads a record's null bitmap and lengths. Its k-th byte below the 5-byte header is
// first[k * step]: step -1 on the page (first = origin - 6), +1 in the modification log, which
// keeps them in that order. At most `available` of them are read; false when they run out.
bool layoutZipRecord(const ZipIndex &index, const std::uint8_t *first, std::ptrdiff_t step,
    std::size_t available, ZipRecordLayout &layout);

} // namespace innodb

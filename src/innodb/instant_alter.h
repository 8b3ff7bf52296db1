// What MariaDB's instant ALTER TABLE leaves in a clustered index: the core field count on the
// root, and, once a column was dropped or the columns reordered in place, the column map kept in
// the hidden metadata record's BLOB.
//
// An instant ALTER never rewrites a record. ADD COLUMN (10.3+) appends fields to the index;
// records written before it are shorter and take the added columns' defaults from the metadata
// record that heads the leftmost leaf. DROP COLUMN and any change of the column order (10.4+:
// ADD ... FIRST / AFTER, MODIFY ... FIRST) leave the index fields where they are: a dropped column
// stays in every record (NULL, or zero bytes, in the newer ones), an added one is still appended
// at the end, and a map says which table column each index field holds (btr0cur.cc,
// btr_cur_instant_init_low; dict0mem.cc, dict_table_t::deserialise_columns).
#pragma once

#include "common/result.h"
#include "innodb/page_layout.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace innodb {

// The root page of type 18 (FIL_PAGE_TYPE_INSTANT).
struct InstantRoot
{
    // Index fields of a record written before the first instant ALTER, hidden ones counted
    // (PAGE_DIRECTION bits 3-12 of the root).
    std::size_t coreFields = 0;
    // Set once columns were dropped or reordered: the root's infimum and supremum texts are then
    // zeroed, the supremum's last byte keeping the null bitmap size of the core records and node
    // pointers, and the metadata record carries the column map.
    bool columnMap = false;
    std::uint8_t coreNullBytes = 0;
};

// Nothing for a root that is not of type 18 or whose system records are neither the texts nor
// zeroed as described (a damaged root, or a later format).
std::optional<InstantRoot> readInstantRoot(ConstPage root);

// One index field past DB_TRX_ID and DB_ROLL_PTR, as the column map names it (dict0mem.h,
// field_map_element_t: bit 15 dropped, bit 14 NOT NULL, bits 0-13 the column or, for a dropped
// column, its stored length).
struct MappedField
{
    bool dropped = false;
    std::uint16_t column = 0; // a kept column: its position among the table's stored columns
    // A dropped column: how its bytes were laid out, so that they can be skipped.
    bool notNull = false;
    std::uint32_t fixedLength = 0; // 0: variable length
    bool longLength = false; // variable and longer than 255 bytes: two-byte lengths possible
};

// The column map BLOB: BE32 field count, then BE16 per field past the hidden ones. Corruption
// when its length does not match or a field is impossible.
common::Result<std::vector<MappedField>> parseColumnMap(common::Bytes blob);

// Where the metadata record keeps that BLOB: 20 bytes after DB_ROLL_PTR, always off-page and
// without a local prefix, whatever the row format.
inline constexpr std::size_t kColumnMapReferenceSize = 20;

} // namespace innodb

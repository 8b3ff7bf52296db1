// The InnoDB data dictionary as stored in ibdata1: SYS_TABLES and SYS_INDEXES records, read with
// a small old-style (REDUNDANT) record reader.
//
// Both dictionary indexes are read from every leaf page that their trees reach (index ids 1 and
// 3; the root pages come from the dictionary header on page 7), not only from their roots, so a
// dictionary that has outgrown one page is read whole. Fields are located through each record's
// own end-offset array, which is what makes 9-field (MySQL 5) and 10-field (MySQL 5.7, MariaDB
// 10.2+, with MERGE_THRESHOLD) SYS_INDEXES records read alike.
#pragma once

#include "common/result.h"
#include "innodb/page_layout.h"
#include "innodb/page_scanner.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace innodb {

// One field of an old-style record: its bytes lie at [offset, offset + length) of the page.
struct OldStyleField
{
    std::size_t offset = 0;
    std::size_t length = 0;
    bool isNull = false;
    bool isExternal = false;
};

// Old-style end offsets, below the 6-byte header, field 0 first and growing down:
// one-byte entries (bit 7 NULL, bits 0-6 end) or two-byte ones (bit 15 NULL, bit 14 external,
// bits 0-13 end); each end is relative to the origin (rem0rec.inl, rec_1/2_get_field_end_info).
struct OldStyleRecord
{
    std::size_t origin = 0;
    std::uint8_t infoBits = 0;
    bool oneByteOffsets = true;
    std::vector<OldStyleField> fields;

    bool isDeleted() const;
    // The field's bytes, or nullopt for NULL and for an index outside the record.
    std::optional<common::Bytes> bytes(ConstPage page, std::size_t field) const;
    // A big-endian number of exactly `width` bytes, or nullopt for NULL or another width.
    std::optional<std::uint64_t> number(ConstPage page, std::size_t field, std::size_t width) const;
    // The field's bytes as text; empty for NULL.
    std::string text(ConstPage page, std::size_t field) const;
};

// Corruption when the header, the offset array or a field leaves the page, or ends decrease.
common::Result<OldStyleRecord> readOldStyleRecord(ConstPage page, std::size_t origin);

// One SYS_TABLES record.
struct IBData1TableInfo
{
    std::uint8_t flag = 0; // not used
    std::string name; // as stored: "zarafa/stores"
    std::uint64_t tableId = 0;
    std::uint32_t columnCount = 0; // N_COLS bits 0-15
    bool compact = false; // N_COLS bit 31: COMPACT family rows
    std::uint32_t type = 0; // SYS_TABLES.TYPE flags
    std::uint32_t space = 0; // 0 = ibdata1, else the table's own .ibd
};

// One SYS_INDEXES record.
struct DictionaryIndex
{
    std::uint64_t tableId = 0;
    std::uint64_t indexId = 0;
    std::string name; // "PRIMARY", "GEN_CLUST_INDEX", a key name
    std::uint32_t fieldCount = 0;
    std::uint32_t type = 0; // bit 0 clustered, bit 1 unique: 3 primary key, 1 hidden row id
    std::uint32_t space = 0;
    std::uint32_t rootPage = kFilNull;

    bool isClustered() const { return (type & 1) != 0; }
};

struct Dictionary
{
    std::vector<IBData1TableInfo> tables; // SYS_FOREIGN and SYS_FOREIGN_COLS left out
    std::vector<DictionaryIndex> indexes;
    std::vector<std::string> problems; // damage met and read around, one line each
};

// Reads every live record of one dictionary index (its leaf pages that the tree from `root`
// reaches, then orphan leaf pages of `scan` whose keys the tree lacks) and hands each to `take`.
// `keyFields` leading fields make a record's key. Damage met goes to `problems`, named `name`.
using OldStyleRecordVisitor = std::function<void(ConstPage page, const OldStyleRecord &record)>;
void readDictionaryIndex(PageSource &source, const ScanResult &scan, std::uint64_t indexId,
    std::uint32_t root, std::size_t keyFields, const char *name, const std::function<bool()> &stop,
    std::vector<std::string> &problems, const OldStyleRecordVisitor &take);

// The root of a dictionary index as the header on page 7 names it at `headerOffset`, or
// `fallback` (the place every server has used) when the header is damaged.
std::uint32_t dictionaryRoot(PageSource &source, std::size_t headerOffset, std::uint32_t fallback);

// Reads SYS_TABLES and SYS_INDEXES of a system tablespace. Delete-marked records (dropped
// tables not yet purged) are left out. Corruption when either index gives no record at all.
common::Result<Dictionary> readDictionary(
    PageSource &source, const ScanResult &scan, const std::function<bool()> &stopRequested = {});

} // namespace innodb

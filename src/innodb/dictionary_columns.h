// The column half of the InnoDB data dictionary in ibdata1: SYS_COLUMNS (every stored column of
// every table: name, position, main type, precise type, length) and SYS_FIELDS (the columns of
// every index, in key order, with their prefix lengths). With SYS_TABLES and SYS_INDEXES they
// describe each table well enough to lay out its records when its .frm file is gone.
#pragma once

#include "common/result.h"
#include "innodb/dictionary.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace innodb {

// Main types of a column (data0type.h, DATA_*).
namespace mtype {
inline constexpr std::uint32_t kVarchar = 1; // latin1 VARCHAR
inline constexpr std::uint32_t kChar = 2; // latin1 CHAR
inline constexpr std::uint32_t kFixBinary = 3; // BINARY, and the binary temporal and DECIMAL forms
inline constexpr std::uint32_t kBinary = 4; // VARBINARY
inline constexpr std::uint32_t kBlob = 5; // every BLOB and TEXT
inline constexpr std::uint32_t kInt = 6;
inline constexpr std::uint32_t kSys = 8; // DB_ROW_ID, DB_TRX_ID, DB_ROLL_PTR
inline constexpr std::uint32_t kFloat = 9;
inline constexpr std::uint32_t kDouble = 10;
inline constexpr std::uint32_t kDecimal = 11; // the old string DECIMAL
inline constexpr std::uint32_t kVarMySql = 12; // VARCHAR in another charset
inline constexpr std::uint32_t kMySql = 13; // CHAR in another charset
inline constexpr std::uint32_t kGeometry = 14;
} // namespace mtype

// Bits of the precise type: the MySQL field type in the low byte, flags above, the collation
// number in bits 16-31 (data0type.h, DATA_NOT_NULL ... dtype_form_prtype).
namespace prtype {
inline constexpr std::uint32_t kFieldTypeMask = 0xFF;
inline constexpr std::uint32_t kNotNull = 256;
inline constexpr std::uint32_t kUnsigned = 512;
inline constexpr std::uint32_t kBinaryType = 1024;
inline constexpr std::uint32_t kLongTrueVarchar = 4096; // a VARCHAR with a two-byte length
inline constexpr std::uint32_t kVirtual = 8192; // a VIRTUAL generated column: never stored
inline constexpr std::uint32_t kVersioned = 16384 | 32768; // system-versioning row start/end
inline constexpr unsigned kCharsetShift = 16;
} // namespace prtype

// One SYS_COLUMNS record.
struct DictionaryColumn
{
    std::uint64_t tableId = 0;
    std::uint32_t position = 0; // 0-based among the stored columns; virtual ones carry more bits
    std::string name;
    std::uint32_t mainType = 0; // mtype::*
    std::uint32_t preciseType = 0; // prtype bits
    std::uint32_t length = 0; // bytes: the maximum for a VARCHAR, the pack length for a BLOB

    std::uint8_t fieldType() const { return preciseType & prtype::kFieldTypeMask; }
    std::uint16_t collation() const
    {
        return static_cast<std::uint16_t>(preciseType >> prtype::kCharsetShift);
    }
};

// One SYS_FIELDS record.
struct DictionaryField
{
    std::uint64_t indexId = 0;
    std::uint32_t position = 0; // 0-based in the index
    std::uint32_t prefixLength = 0; // bytes of a prefix part; 0 when the column is taken whole
    std::string columnName;
};

struct DictionaryColumns
{
    std::vector<DictionaryColumn> columns; // in the order of SYS_COLUMNS: table id, position
    std::vector<DictionaryField> fields; // in the order of SYS_FIELDS: index id, position
    std::vector<std::string> problems; // damage met and read around, one line each
};

// Reads SYS_COLUMNS and SYS_FIELDS of a system tablespace. Delete-marked records are left out.
// Corruption when SYS_COLUMNS gives no record at all.
common::Result<DictionaryColumns> readDictionaryColumns(
    PageSource &source, const ScanResult &scan, const std::function<bool()> &stopRequested = {});

// SYS_FIELDS.POS packs the prefix length into its low 16 bits once an index has a prefix part;
// the first field of an index is always read that way (dict0load.cc, dict_load_field_low).
DictionaryField unpackFieldPosition(DictionaryField field, std::uint32_t storedPosition, bool first);

} // namespace innodb

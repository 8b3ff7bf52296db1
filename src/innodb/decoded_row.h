// DecodedRow: one row of a table as the record decoders read it, a plain value that the insertion
// code and the tests consume without knowing anything of pages.
#pragma once

#include "frm/table_definition.h"
#include "innodb/key_bytes.h"
#include "innodb/long_value_store.h"

#include <cstdint>
#include <string>
#include <vector>

namespace innodb {

enum class ValueKind {
    Null,
    Signed, // integer: `integer`
    Unsigned, // integer, YEAR-less unsigned types, BIT: `unsignedInteger`
    Double, // `real`
    Float, // `single`
    Decimal, // `text`, e.g. "-12345678.91"
    Date, // `text`, "YYYY-MM-DD"
    Time, // `text`, "[-]hh:mm:ss[.ffffff]"
    DateTime, // `text`, "YYYY-MM-DD hh:mm:ss[.ffffff]"
    Timestamp, // `unsignedInteger`: seconds since 1970-01-01 UTC as stored; 0 is the zero value;
               // `text` holds the fraction digits of a fractional TIMESTAMP (else empty)
    Year, // `unsignedInteger`: 0 or 1901..2155
    Enum, // `unsignedInteger`: the 1-based member index (0 = the empty error value)
    Set, // `unsignedInteger`: member bitmap, bit 0 = first member
    Bytes, // `bytes`: every character and binary value (CHAR ... LONGBLOB), raw
    Text, // `text`: the server's own text of a value (INET6, UUID, INET4), plain ASCII
};

// One column's value in a row.
struct FieldValue
{
    ValueKind kind = ValueKind::Null;
    std::int64_t integer = 0;
    std::uint64_t unsignedInteger = 0;
    double real = 0;
    float single = 0;
    std::string text;
    StoredBytes bytes;

    bool isNull() const { return kind == ValueKind::Null; }
};

// One decoded row. `values` runs parallel to table->definitionOrder. The row and the table entry
// it points to are valid for the duration of RowSink::acceptRow only; a sink that keeps data
// copies it (spilled bytes are removed once the next row is decoded).
struct DecodedRow
{
    const frm::FrmTableEntry *table = nullptr;
    std::vector<FieldValue> values;
    bool deleteMarked = false; // only handed on when the caller asked for deleted rows
    std::uint32_t pageNumber = 0;
    std::uint16_t origin = 0; // the record's origin within its page
    // The clustered key as stored (DB_ROW_ID for a table without a primary key): what tells two
    // copies of one row apart, e.g. on a page the tree no longer reaches.
    KeyBytes key;
    // Columns whose long value was cut where its overflow pages are damaged (definition-order
    // indexes); only when the decoder was asked to keep such rows. `damage` says what was found,
    // naming the column and the page, for a row cut or left out.
    std::vector<std::size_t> cutColumns;
    std::string damage;

    const std::string &dictionaryName() const { return table->dictionaryName; }
    const frm::ColumnDef &column(std::size_t i) const { return table->definitionOrder[i]; }
};

} // namespace innodb

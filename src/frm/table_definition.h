// ColumnDef and FrmTableEntry: one column and one table as read from a .frm definition file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace frm {

// One column. The first block mirrors the definition record as the rest of the program knows it;
// the second block holds what the record layout and the CREATE TABLE text need beyond that.
struct ColumnDef
{
    std::string keyText;               // "PRIMARY KEY" when part of the primary key, else empty
    std::uint8_t keyCount = 0;         // the table's number of keys
    std::uint8_t firstKeyParts = 0;    // parts of the table's first key
    std::uint16_t primaryPosition = 0; // 1-based position in the primary key; 0 when not in it
    std::uint16_t row = 0;             // screen row: column number + 3
    std::string name;
    std::uint16_t size = 0;            // on-disk size of a fixed-size type, else declared length
    std::string typeName;              // "TinyInt", "Varchar", "LongBlob", ... (compare ignoring case)
    std::string nullability;           // "NULL", "NOT NULL", ... empty when the code is unknown
    std::string kind;                  // "AUTO_INCREMENT" or empty
    std::string signedness;            // "signed", "unsigned" or empty
    std::uint8_t recordPosition = 0;   // low byte of the position in the default record
    std::uint8_t columnCount = 0;      // the table's column count
    std::uint16_t typeCode = 0;        // character set * 256 + MySQL field type
    bool longLength = false;           // Varchar whose byte length exceeds 255

    std::uint8_t fieldType = 0;        // MySQL field type number (MYSQL_TYPE_*)
    std::uint16_t charset = 0;         // the column's own character set number
    std::uint8_t maxBytesPerChar = 1;  // of that character set: 3 for utf8, 1 for latin1/binary
    std::uint32_t byteLength = 0;      // declared length in bytes, undivided: the record layout
    bool nullable = false;             // the record carries a null bit for this column
    bool isUnsigned = false;
    std::uint8_t precision = 0;        // DECIMAL digits in all
    std::uint8_t scale = 0;            // DECIMAL digits after the point; FLOAT/DOUBLE decimals
    std::vector<std::string> elements; // ENUM and SET member names, in order
};

// One table, as the definition pass appends it to the job's table list.
struct FrmTableEntry
{
    std::string fileName;            // e.g. stores.frm
    std::string dictionaryName;      // e.g. zarafa/stores, as InnoDB's dictionary names the table
    std::uint8_t firstKeyParts = 0;  // 0 when the table has no key
    std::uint8_t variableColumns = 0;
    std::uint8_t nullableColumns = 0;
    std::vector<ColumnDef> recordOrder;     // primary-key columns in key order, then the others
    std::vector<ColumnDef> definitionOrder; // all columns in definition order

    std::uint16_t defaultCharset = 0; // the table's default character set number (33 = utf8)
    bool hasPrimaryKey = false;       // the first key is the primary key
    std::vector<std::string> keyClauses; // "PRIMARY KEY (`a`,`b`)", "UNIQUE KEY `k` (`c`)", ...
    std::string engine;               // "InnoDB" for the tables this program repairs
};

} // namespace frm

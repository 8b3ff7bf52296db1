// ColumnDef and FrmTableEntry: one column and one table as read from a .frm definition file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace frm {

// One column. The first block mirrors the definition record as the rest of the program knows it;
// the second block holds what the record layout and the CREATE TABLE text need beyond that.
struct ColumnDef
{
    std::string keyText; // "PRIMARY KEY" when part of the primary key, else empty
    std::uint8_t keyCount = 0; // the table's number of keys
    std::uint8_t firstKeyParts = 0; // parts of the table's first key
    std::uint16_t primaryPosition = 0; // 1-based position in the primary key; 0 when not in it
    std::uint16_t row = 0; // screen row: column number + 3
    std::string name;
    std::uint16_t size = 0; // on-disk size of a fixed-size type, else declared length
    std::string typeName; // "TinyInt", "Varchar", "LongBlob", ... (compare ignoring case)
    std::string nullability; // "NULL", "NOT NULL", ... empty when the code is unknown
    std::string kind; // "AUTO_INCREMENT" or empty
    std::string signedness; // "signed", "unsigned" or empty
    std::uint8_t recordPosition = 0; // low byte of the position in the default record
    std::uint8_t columnCount = 0; // the table's column count
    std::uint16_t typeCode = 0; // character set * 256 + MySQL field type
    bool longLength = false; // Varchar whose byte length exceeds 255

    std::uint8_t fieldType = 0; // MySQL field type number (MYSQL_TYPE_*)
    std::uint16_t charset = 0; // the column's own character set number
    std::uint8_t maxBytesPerChar = 1; // of that character set: 3 for utf8, 1 for latin1/binary
    std::uint8_t minBytesPerChar = 1; // 2 for ucs2 and utf16, 4 for utf32
    std::uint32_t byteLength = 0; // declared length in bytes, undivided: the record layout
    bool nullable = false; // the record carries a null bit for this column
    bool isUnsigned = false;
    std::uint8_t precision = 0; // DECIMAL digits in all
    std::uint8_t scale = 0; // DECIMAL digits after the point; FLOAT/DOUBLE decimals
    std::vector<std::string> elements; // ENUM and SET member names, in order
    // GEOMETRY's subtype (the byte that holds the charset of other columns): 0 geometry, 1 point,
    // 2 linestring, 3 polygon, 4 multipoint, 5 multilinestring, 6 multipolygon,
    // 7 geometrycollection.
    std::uint8_t geometryType = 0;

    std::uint16_t index = 0; // 0-based position in definition order
    std::uint16_t packFlags = 0; // the record's pack flag word (bytes 8-9)
    std::uint8_t uniregCheck = 0; // byte 10: 15 AUTO_INCREMENT, 21-23 CURRENT_TIMESTAMP
    bool zerofill = false;
    std::uint8_t fractionalDigits = 0; // TIME, DATETIME, TIMESTAMP fractional seconds
    // The DEFAULT clause's value as SQL ("0", "'abc'", "NULL", "current_timestamp()"), or nothing
    // when the column has none (NOT NULL without default, AUTO_INCREMENT, BLOB and TEXT).
    std::optional<std::string> defaultValue;
    bool onUpdateCurrentTimestamp = false;
    std::string comment;

    // MariaDB's data type plugins (10.5+): "inet6", "uuid" or "inet4", stored in a STRING
    // column's record; empty for the classic types.
    std::string dataTypeName;
    // A UUID column of a MariaDB 10.7-10.11.4 table, whose values keep their segments swapped
    // whatever their version.
    bool legacyUuid = false;
    bool invisible = false; // MariaDB's INVISIBLE: left out of SELECT *
    // A column the server adds and hides itself, the hash of a long UNIQUE key (MariaDB 10.4+):
    // no part of the table as its owner made it, and never stored in a clustered record.
    bool hiddenByServer = false;
    // Of those, one InnoDB stores in every clustered record all the same: the FTS_DOC_ID of a
    // table with a FULLTEXT index, which MySQL 8's definition lists among InnoDB's own columns.
    bool storedByServer = false;
    // A generated column: VIRTUAL ones are computed on reading and never stored in a record,
    // STORED ones are; either way the server computes them, so a row never names them.
    enum class Generation { None, Virtual, Stored };
    Generation generation = Generation::None;
    std::string expression; // of a generated column, as the server printed it
    std::string check; // the column's CHECK constraint; MariaDB's JSON is CHECK (json_valid(col))
};

// A table's CHECK constraint: CONSTRAINT `name` CHECK (expression).
struct CheckConstraint
{
    std::string name;
    std::string expression;
};

enum class KeyKind { Primary, Unique, Plain, Fulltext, Spatial };

// A key's declared algorithm (my_base.h, ha_key_alg).
inline constexpr std::uint8_t kKeyAlgorithmDefault = 0;
inline constexpr std::uint8_t kKeyAlgorithmBtree = 1;
inline constexpr std::uint8_t kKeyAlgorithmRtree = 2;
inline constexpr std::uint8_t kKeyAlgorithmHash = 3;
inline constexpr std::uint8_t kKeyAlgorithmFulltext = 4;
inline constexpr std::uint8_t kKeyAlgorithmLongHash = 5; // MariaDB: a long UNIQUE key's hash

struct KeyPart
{
    std::uint16_t column = 0; // 0-based column index in definition order
    std::uint16_t prefixLength = 0; // characters of a prefix part, e.g. guid(16); 0 = whole column
    std::uint16_t byteLength = 0; // the part's length in bytes as stored
};

struct KeyDef
{
    std::string name;
    KeyKind kind = KeyKind::Plain;
    std::uint16_t flags = 0; // as stored (unique keys have bit 0 clear)
    std::vector<KeyPart> parts;
    std::uint8_t algorithm = kKeyAlgorithmDefault; // kKeyAlgorithm*
    std::string comment;
    bool ignored = false; // MariaDB's IGNORED index
};

// Where a table's definition came from: its .frm file, InnoDB's dictionary in ibdata1 (when the
// .frm is missing or unreadable), or the serialized dictionary inside a MySQL 8 .ibd.
enum class DefinitionSource { Frm, Dictionary, Sdi };

// "frm", "dictionary" or "sdi": the name the log and the report use.
inline const char *definitionSourceName(DefinitionSource source)
{
    switch (source) {
    case DefinitionSource::Dictionary:
        return "dictionary";
    case DefinitionSource::Sdi:
        return "sdi";
    default:
        return "frm";
    }
}

// One table, as the definition pass appends it to the job's table list.
struct FrmTableEntry
{
    std::string fileName; // e.g. stores.frm
    std::string dictionaryName; // e.g. zarafa/stores, as InnoDB's dictionary names the table
    std::uint8_t firstKeyParts = 0; // 0 when the table has no key
    std::uint8_t variableColumns = 0;
    std::uint8_t nullableColumns = 0;
    std::vector<ColumnDef> recordOrder; // primary-key columns in key order, then the others
    std::vector<ColumnDef> definitionOrder; // all columns in definition order

    std::uint16_t defaultCharset = 0; // the table's default character set number (33 = utf8)
    bool hasPrimaryKey = false; // the first key is the primary key
    std::vector<std::string> keyClauses; // "PRIMARY KEY (`a`,`b`)", "UNIQUE KEY `k` (`c`)", ...
    std::string engine; // "InnoDB" for the tables this program repairs

    std::string tableName; // the file name without ".frm", decoded (@0020 -> blank)
    std::vector<KeyDef> keys; // in file order: PRIMARY first, then unique, then plain
    // The key InnoDB clusters the rows on: the primary key, else the first unique key whose
    // columns are all NOT NULL and whole; -1 when the rows carry a hidden row id instead.
    int clusteredKey = -1;
    std::uint8_t clusteredKeyParts = 0; // parts of that key; 0 with a hidden row id
    std::uint32_t serverVersion = 0; // e.g. 50096 or 101119
    std::uint8_t rowFormat = 0; // ROW_FORMAT clause: 0 none, 2 DYNAMIC, 4 REDUNDANT, 5 COMPACT
    std::uint32_t maxRows = 0;
    std::uint32_t minRows = 0;
    std::uint32_t averageRowLength = 0;
    std::string comment;
    std::vector<CheckConstraint> checks;

    DefinitionSource source = DefinitionSource::Frm;
    // What the source could not tell and the rebuilt table therefore lacks, one line each
    // ("column defaults and AUTO_INCREMENT are not kept in the dictionary ...").
    std::vector<std::string> definitionNotes;
    // The clustered index as a MySQL 8 definition names it: its root page and index id; 0 when
    // the definition does not say (a .frm), and the tablespace's own structure tells.
    std::uint32_t clusteredRootPage = 0;
    std::uint64_t clusteredIndexId = 0;
};

} // namespace frm

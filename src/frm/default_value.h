// The DEFAULT value of a column, decoded from the definition file's default record (the server's
// own row image: little-endian numbers, packed dates, length-prefixed strings).
#pragma once

#include "common/byte_reader.h"
#include "frm/table_definition.h"

#include <cstdint>
#include <optional>
#include <string>

namespace frm {

// The value of `column` as an SQL literal ("-5", "'abc'", "b'101'", "X'00FF'") from `value`, the
// default record from the column's first byte to the record's end. Nothing when the bytes do not
// suffice or the type has no default this program can write.
std::optional<std::string> defaultValueLiteral(const ColumnDef &column, common::Bytes value);

// A string value as an SQL literal: quoted text when it is plain, else a hex literal, so that no
// byte of a damaged file can change the meaning of the statement. With `introducer` the hex
// literal names the value's character set (_utf16 X'...'): a column DEFAULT in ucs2, utf16, gbk
// ... then means its own characters; an ENUM member list takes no introducer, and its hex bytes
// are the column's own.
std::string stringLiteral(std::string_view bytes, std::uint16_t charset, bool introducer = false);

// "YYYY-MM-DD hh:mm:ss" of seconds since 1970-01-01 UTC.
std::string utcDateTimeText(std::int64_t seconds);

} // namespace frm

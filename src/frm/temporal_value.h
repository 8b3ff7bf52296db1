// The text of stored DATE, TIME, DATETIME and TIMESTAMP values, in the form the server writes
// them ("2009-05-01 10:00:00.25", "-838:59:59"), for the definition file's defaults and for the
// values of InnoDB records alike.
//
// The classic forms are integers, which a server row holds little-endian and InnoDB big-endian
// with the sign bit inverted: callers turn them into numbers first. MariaDB's hires forms and
// MySQL 5.6's are binary strings, the same bytes in both places.
#pragma once

#include "common/byte_reader.h"
#include "frm/column_type.h"

#include <cstdint>
#include <optional>
#include <string>

namespace frm {

// "YYYY-MM-DD" of a DATE's D + 32 M + 512 Y.
std::string packedDateText(std::uint64_t packed);
// A classic DATETIME's YYYYMMDDhhmmss.
std::string classicDateTimeText(std::uint64_t number);
// A classic TIME's +-HHMMSS.
std::string classicTimeText(std::int64_t number);

// TIME or DATETIME of `fieldType` in its hires (types 11, 12 with a fraction) or MySQL 5.6
// (types 19, 18) form; nothing when `bytes` are not that form's size.
std::optional<std::string> binaryTemporalText(
    std::uint8_t fieldType, std::uint8_t digits, common::Bytes bytes);

// A TIMESTAMP of those forms (type 7 with a fraction, type 17): seconds since 1970-01-01 UTC as
// stored, and the fraction's digits (empty without).
struct TimestampValue
{
    std::uint32_t seconds = 0;
    std::string fraction;
};
std::optional<TimestampValue> binaryTimestamp(
    std::uint8_t fieldType, std::uint8_t digits, common::Bytes bytes);

} // namespace frm

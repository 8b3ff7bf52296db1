// The renderings of a DecodedRow: the column list, values text and parameters of one INSERT, the
// same row as literals for a dump, and the tab-separated line that dump-rows writes.
#pragma once

#include "innodb/decoded_row.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace innodb {

// One "?" of the values text: a character or binary value that travels as raw bytes.
struct InsertParameter
{
    std::string columnName;
    std::string typeName; // the column's type name, e.g. "LongBlob"
    const StoredBytes *bytes; // points into the DecodedRow; valid while it is
};

struct InsertForm
{
    std::vector<std::string> columnNames; // in value order, every column of the row
    std::string valuesText; // each value followed by ",": 1,NULL,'2011-07-31 19:30:00',?,
    std::vector<InsertParameter> parameters; // in the order of the "?" in valuesText
};

// The SQL text of a TIMESTAMP's stored seconds; the insertion side decides the form.
using TimestampText = std::function<std::string(std::uint32_t seconds)>;

// Numbers unquoted, dates and times in single quotes, DOUBLE and FLOAT in the shortest text that
// reads back to the same value, every non-empty character or binary value as "?" with its own
// parameter, an empty one as ''.
InsertForm makeInsertForm(const DecodedRow &row, const TimestampText &timestampText);
// The values text of makeInsertForm appended to `text`, without building the form: the
// definition-order index of each "?" column is appended to `parameterColumns`.
void appendInsertValues(const DecodedRow &row, const TimestampText &timestampText,
    std::string &text, std::vector<std::size_t> &parameterColumns);
// The values of one row as plain SQL literals, comma-separated, for a dump that any server loads:
// the forms of makeInsertForm, but every non-empty character or binary value as a hex literal
// (0x414243) in place of its "?". Fails only when a spilled value cannot be read back.
common::Status appendLiteralValues(
    const DecodedRow &row, const TimestampText &timestampText, std::string &text);
// The same, with each hex literal's bytes handed to `hexBytes` raw, in order, where their digits
// would be appended to `text` (after its "0x"): a caller that keeps rows a while keeps half.
common::Status appendLiteralValues(const DecodedRow &row, const TimestampText &timestampText,
    std::string &text, const std::function<void(common::Bytes)> &hexBytes);
// The hex digits of `bytes`, two a byte, upper case, appended to `text`.
void appendHexDigits(std::string &text, common::Bytes bytes);

// True when the row holds a value its server stored but a strict server refuses to take again:
// an ENUM's empty error value (index 0), which only a non-strict INSERT writes.
bool holdsErrorValue(const DecodedRow &row);

// The shortest decimal text that reads back to exactly `value` ("0.1", "1.5e-09", "-0").
std::string doubleText(double value);
std::string floatText(float value);
// "YYYY-MM-DD hh:mm:ss" of a UTC instant; 0 gives "0000-00-00 00:00:00".
std::string utcDateTimeText(std::uint64_t seconds);

// The dump-rows form: column names in definition order, tab-separated.
std::string tsvHeader(const frm::FrmTableEntry &table);
// One row, tab-separated, in definition order, ending with "\n"; a column the server hides itself
// is left out, and a VIRTUAL generated one, never stored, is \N. NULL as \N, integers in decimal,
// DOUBLE as doubleText, DATETIME and TIMESTAMP (as UTC) as "YYYY-MM-DD hh:mm:ss", every character
// and binary value as upper-case hex. Fails only when a spilled value cannot be read back.
common::Status writeTsvLine(const DecodedRow &row, std::ostream &out);

} // namespace innodb

// The clustered key of a decoded row in words: how a row that is left out or cut is named to the
// user and in the report, so that its absence can be checked against the mail server's own data.
#pragma once

#include "innodb/decoded_row.h"

#include <string>
#include <vector>

namespace innodb {

struct KeyPart
{
    std::string column;
    std::string value;
};

// Each primary-key column with its value, in key order; a table without one by its DB_ROW_ID.
// Numbers and dates as SQL shows them; character and binary values as themselves when they are
// printable UTF-8, otherwise "0x" and upper-case hex, so that no byte is lost or misread.
std::vector<KeyPart> keyParts(const DecodedRow &row);

// The same as one line: "hierarchyid=12, tag=4096, type=30".
std::string keyText(const std::vector<KeyPart> &parts);
std::string keyText(const DecodedRow &row);

} // namespace innodb

// The table definition of a MySQL 8 .ibd file, from its SDI: what the definition pass and
// `describe` use in place of a .frm file when the folder holds none.
#pragma once

#include "common/result.h"
#include "frm/table_definition.h"
#include "innodb/page_source.h"

#include <string>

namespace innodb {

// The one table the space's SDI describes. NotSupported when the file keeps no SDI (it was
// written before MySQL 8.0) or the table cannot be rebuilt (naming why), Corruption when the SDI
// cannot be read or holds no table, or more than one (a general tablespace, or the server's own
// dictionary).
common::Result<frm::FrmTableEntry> readSdiDefinition(
    PageSource &source, const std::string &fileName, const std::string &dictionaryName);

// The same from the file at `path`, opened read-only.
common::Result<frm::FrmTableEntry> readSdiDefinition(
    const std::string &path, const std::string &fileName, const std::string &dictionaryName);

} // namespace innodb

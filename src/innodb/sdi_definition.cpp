#include "innodb/sdi_definition.h"

#include "frm/sdi_table.h"
#include "innodb/sdi_reader.h"
#include "innodb/tablespace_file.h"

namespace innodb {

common::Result<frm::FrmTableEntry> readSdiDefinition(
    PageSource &source, const std::string &fileName, const std::string &dictionaryName)
{
    auto records = readSdiRecords(source);
    if (!records) {
        return records.error();
    }
    const SdiRecord *table = nullptr;
    for (const SdiRecord &record : *records) {
        if (record.type != kSdiTypeTable) {
            continue;
        }
        if (table) {
            return common::corruption("the SDI describes more than one table: a shared "
                                      "tablespace, not one table's own file");
        }
        table = &record;
    }
    if (!table) {
        return common::corruption("the SDI holds no table definition");
    }
    return frm::tableFromSdi(table->json, fileName, dictionaryName);
}

common::Result<frm::FrmTableEntry> readSdiDefinition(
    const std::string &path, const std::string &fileName, const std::string &dictionaryName)
{
    auto file = TablespaceFile::open(path);
    if (!file) {
        common::Error error = file.error();
        error.where = path;
        return error;
    }
    auto table = readSdiDefinition(*file, fileName, dictionaryName);
    if (!table) {
        common::Error error = table.error();
        error.where = path;
        return error;
    }
    return table;
}

} // namespace innodb

// The .frm reader on one file's bytes: a table definition or an error, never a crash. A definition
// that comes out is composed back to its CREATE TABLE text, which walks every column and key.
#include "frm/create_table_text.h"
#include "frm/table_definition_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto table
        = frm::parseTableDefinition(common::Bytes(data, size), "fuzzed.frm", "zarafa/fuzzed");
    if (table) {
        (void)frm::createTableText(*table);
    } else {
        (void)frm::definitionProblem(table.error());
    }
    return 0;
}

// Helpers of the record decoder tests: column definitions as the definition reader makes them,
// a tablespace held in memory, a sink that keeps rows as text, and the sakila data file's rows.
#pragma once

#include "frm/table_definition.h"
#include "innodb/page_layout.h"
#include "innodb/row_sink.h"
#include "innodb/value_text.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

// MySQL field type numbers used by the tests.
inline constexpr std::uint8_t kTiny = 1, kShort = 2, kLong = 3, kDouble = 5, kTimestamp = 7,
                              kLongLong = 8, kInt24 = 9, kDateTime = 12, kVarchar = 15,
                              kLongBlob = 251, kBlob = 252;

struct ColumnSpec
{
    std::string name;
    std::uint8_t fieldType;
    bool isUnsigned = false;
    std::uint32_t byteLength = 0; // declared bytes of a character or binary column
    bool nullable = false;
    std::uint16_t primaryPosition = 0;
    std::uint16_t charset = 33;
};

inline frm::FrmTableEntry makeTable(
    const std::string &dictionaryName, const std::vector<ColumnSpec> &specs)
{
    frm::FrmTableEntry table;
    table.dictionaryName = dictionaryName;
    for (const auto &spec : specs) {
        frm::ColumnDef column;
        column.name = spec.name;
        column.fieldType = spec.fieldType;
        column.isUnsigned = spec.isUnsigned;
        column.signedness = spec.isUnsigned ? "unsigned" : "signed";
        column.byteLength = spec.byteLength;
        column.nullable = spec.nullable;
        column.nullability = spec.nullable ? "NULL" : "NOT NULL";
        column.primaryPosition = spec.primaryPosition;
        column.keyText = spec.primaryPosition > 0 ? "PRIMARY KEY" : "";
        column.charset = spec.charset;
        column.maxBytesPerChar = spec.charset == 33 ? 3 : 1;
        table.definitionOrder.push_back(column);
        if (spec.primaryPosition > 0) {
            table.hasPrimaryKey = true;
            ++table.firstKeyParts;
        }
    }
    table.recordOrder = table.definitionOrder;
    return table;
}

// A whole tablespace file in memory.
class MemoryTablespace : public innodb::PageSource
{
public:
    explicit MemoryTablespace(std::vector<std::uint8_t> bytes)
        : m_bytes(std::move(bytes))
    {
    }
    static MemoryTablespace load(const std::filesystem::path &path)
    {
        std::ifstream in(path, std::ios::binary);
        return MemoryTablespace(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
    }
    innodb::PageRead readPage(std::uint32_t pageNumber, innodb::PageBuffer buffer) override
    {
        if (pageNumber >= pageCount()) {
            return innodb::PageRead::missing();
        }
        std::memcpy(buffer.data(),
            m_bytes.data() + std::size_t { pageNumber } * innodb::kDefaultPageSize,
            innodb::kDefaultPageSize);
        return {};
    }
    std::uint64_t pageCount() const override { return m_bytes.size() / innodb::kDefaultPageSize; }
    innodb::ConstPage page(std::uint32_t pageNumber) const
    {
        return innodb::ConstPage(
            m_bytes.data() + std::size_t { pageNumber } * innodb::kDefaultPageSize,
            innodb::kDefaultPageSize);
    }
    std::vector<std::uint8_t> &bytes() { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

// Keeps every row as its dump-rows line.
class TsvSink : public innodb::RowSink
{
public:
    void acceptRow(const innodb::DecodedRow &row) override
    {
        std::ostringstream line;
        (void)innodb::writeTsvLine(row, line);
        lines.push_back(line.str());
        deleted.push_back(row.deleteMarked);
    }
    std::vector<std::string> lines;
    std::vector<bool> deleted;
};

} // namespace testing_support

// Helpers of the fuzz targets: a tablespace made of the fuzzer's bytes, a sink that touches every
// value, and the table definitions the page target decodes with.
#pragma once

#include "frm/table_definition_reader.h"
#include "innodb/page_layout.h"
#include "innodb/page_source.h"
#include "innodb/row_sink.h"
#include "innodb/value_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fuzzing {

// The input cut into pages, the last one padded with zeros. Page numbers past the end wrap
// around, so overflow chains and tree links always land on some page of the input: the readers
// must then tell a wrong page from a right one by its contents, as with a real damaged file.
class InputPages : public innodb::PageSource
{
public:
    InputPages(const std::uint8_t *data, std::size_t size, bool wrap)
        : m_bytes(data, data + size)
        , m_wrap(wrap)
    {
        const std::size_t pages = std::max<std::size_t>(
            1, (size + innodb::kDefaultPageSize - 1) / innodb::kDefaultPageSize);
        m_bytes.resize(pages * innodb::kDefaultPageSize, 0);
    }
    innodb::PageRead readPage(std::uint32_t pageNumber, innodb::PageBuffer buffer) override
    {
        const std::uint64_t count = pageCount();
        if (pageNumber >= count && !m_wrap) {
            return innodb::PageRead::missing();
        }
        const std::uint64_t at = (pageNumber % count) * innodb::kDefaultPageSize;
        std::memcpy(buffer.data(), m_bytes.data() + at, innodb::kDefaultPageSize);
        return {};
    }
    std::uint64_t pageCount() const override { return m_bytes.size() / innodb::kDefaultPageSize; }
    innodb::ConstPage page(std::uint32_t pageNumber) const
    {
        return innodb::ConstPage(
            m_bytes.data() + std::size_t { pageNumber } * innodb::kDefaultPageSize,
            innodb::kDefaultPageSize);
    }

private:
    std::vector<std::uint8_t> m_bytes;
    bool m_wrap;
};

// Renders every row both ways, so that each value's bytes are read and formatted.
class RenderingSink : public innodb::RowSink
{
public:
    void acceptRow(const innodb::DecodedRow &row) override
    {
        std::ostringstream out;
        (void)innodb::writeTsvLine(row, out);
        const auto form = innodb::makeInsertForm(
            row, [](std::uint32_t seconds) { return innodb::utcDateTimeText(seconds); });
        m_bytes += out.str().size() + form.valuesText.size();
    }
    std::size_t m_bytes = 0;
};

inline std::vector<std::uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace fuzzing

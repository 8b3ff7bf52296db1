// RepairedPageSource: a tablespace file whose damaged pages are put back from the doublewrite
// buffer, for every reader of the file (dictionary, tree walk, records, overflow chains).
//
// A page that fails its checks at its place, or lies past the end of a cut-off file, is given
// from the newest intact copy of the same space and page number when the doublewrite buffer
// holds one. The file itself is never written; the pages so given are counted, once each.
#pragma once

#include "innodb/doublewrite_buffer.h"
#include "innodb/page_source.h"
#include "innodb/tablespace_file.h"

#include <cstdint>
#include <set>

namespace innodb {

class RepairedPageSource : public PageSource
{
public:
    // `copies` may be null (no doublewrite buffer): the file's pages are then given as they are.
    RepairedPageSource(TablespaceFile &file, std::uint32_t spaceId, const DoublewriteBuffer *copies);

    std::size_t pageSize() const override { return m_file.pageSize(); }
    std::uint64_t pageCount() const override { return m_file.pageCount(); }
    std::size_t compressedPageSize() const override { return m_file.compressedPageSize(); }
    PageRead readPage(std::uint32_t pageNumber, PageBuffer buffer) override;

    TablespaceFile &file() { return m_file; }
    // The pages given from a copy so far, in rising order.
    const std::set<std::uint32_t> &repairedPages() const { return m_repaired; }

private:
    TablespaceFile &m_file;
    std::uint32_t m_spaceId;
    // Null where copies cannot stand in: no buffer, or a space whose pages are stored in another
    // form than their view (compressed, encrypted), whose copies are that form too.
    const DoublewriteBuffer *m_copies;
    std::set<std::uint32_t> m_repaired;
};

} // namespace innodb

#include "innodb/overflow_chain.h"

#include "innodb/page_layout.h"
#include "innodb/zip_blob.h"

#include <unordered_set>
#include <vector>

namespace innodb {

OverflowResult ReadOverflowChain(PageSource &pages, std::uint32_t firstPage,
    std::uint64_t expectedLength, LongValueWriter &writer)
{
    if (pages.compressedPageSize() != 0) {
        return readCompressedBlob(pages, firstPage, expectedLength, writer);
    }
    OverflowResult result;
    // One page buffer for the whole chain, so that any value size costs the same memory.
    static thread_local std::vector<std::uint8_t> buffer;
    buffer.resize(pages.pageSize());
    std::unordered_set<std::uint32_t> seen;
    std::uint32_t page = firstPage;
    while (result.bytesRead < expectedLength) {
        if (page == kFilNull || !seen.insert(page).second || !pages.readPage(page, buffer)) {
            return result;
        }
        const ConstPage view(buffer);
        const std::uint32_t partLength = readUint32(view, kBlobPartLength);
        if (partLength == 0 || !common::fits(filTrailerOf(view.size()), kBlobData, partLength)) {
            return result;
        }
        const std::uint64_t wanted
            = std::min<std::uint64_t>(partLength, expectedLength - result.bytesRead);
        if (!writer.append(common::Bytes(buffer.data() + kBlobData, wanted)).ok()) {
            return result;
        }
        result.bytesRead += wanted;
        page = readUint32(view, kBlobNextPage);
    }
    result.complete = true;
    return result;
}

} // namespace innodb

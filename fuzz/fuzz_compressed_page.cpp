// One stored page of a compressed tablespace through the code that turns it into a page view:
// the rebuild of a ROW_FORMAT=COMPRESSED index page (then its record chain, as the decoders walk
// it) and the decompression of a MariaDB PAGE_COMPRESSED page of either layout.
//
// Input: byte 0 picks the form: 0-4 a compressed index page of 1, 2, 4, 8 or 16 KiB; 5 a classic
// PAGE_COMPRESSED page; 6-11 a full_crc32 one of the algorithms zlib, lz4, lzo, lzma, bzip2,
// snappy. The rest is the stored page, cut or padded with zeros to its size.
#include "innodb/page_check.h"
#include "innodb/page_compressed.h"
#include "innodb/page_layout.h"
#include "innodb/record_chain.h"
#include "innodb/zip_page.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const unsigned form = data[0] % 12;
    const std::size_t stored = form < 5 ? std::size_t { 1024 } << form : innodb::kDefaultPageSize;
    std::vector<std::uint8_t> page(stored, 0);
    std::copy_n(data + 1, std::min(size - 1, stored), page.begin());
    std::vector<std::uint8_t> view(innodb::kDefaultPageSize);
    if (form < 5) {
        (void)innodb::checkCompressedPage(page);
        if (innodb::decompressIndexPage(page, view).ok()) {
            const auto chain = innodb::walkRecordChain(view);
            for (const auto origin : chain.origins) {
                (void)innodb::recordInfoBits(view, origin, innodb::isCompactPage(view));
            }
        }
        return 0;
    }
    innodb::SpaceFormat format;
    format.pageCompressed = true;
    if (form > 5) {
        format.fullCrc32 = true;
        format.algorithm = static_cast<innodb::PageCompression>(form - 5);
    }
    if (innodb::isPageCompressed(page, format)) {
        const auto read = innodb::decompressPageCompressed(page, view, format);
        if (read.ok()) {
            (void)innodb::checkPage(view, format.fullCrc32);
        }
    }
    return 0;
}

// The dictionary reader on the first pages of a system tablespace: SYS_TABLES and SYS_INDEXES
// through the dictionary header on page 7, their trees and their old-style records, then the
// table discovery. Input: pages 0, 1, 2, ... of the tablespace (the seeds hold pages 0-15).
#include "fuzz_pages.h"
#include "innodb/dictionary.h"
#include "innodb/page_check.h"
#include "innodb/page_scanner.h"
#include "innodb/table_discovery.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzing::InputPages pages(data, size, false);
    innodb::ScanResult scan;
    for (std::uint32_t number = 0; number < pages.pageCount(); ++number) {
        innodb::strcUniqueIdPages entry;
        (void)innodb::checkPage(pages.page(number));
        if (innodb::examinePage(pages.page(number), number, std::nullopt, entry)) {
            scan.addPage(entry.indexId, entry);
        }
    }
    const auto dictionary = innodb::readDictionary(pages, scan);
    if (dictionary) {
        const auto discovery = innodb::discoverTables(*dictionary, "zarafa");
        (void)discovery.find("zarafa/properties");
    }
    return 0;
}

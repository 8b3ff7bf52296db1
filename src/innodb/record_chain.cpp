#include "innodb/record_chain.h"

#include <algorithm>
#include <bitset>

namespace innodb {

std::size_t recordHeapEnd(ConstPage page)
{
    const std::size_t firstUser = isCompactPage(page) ? kPageNewSupremumEnd : kPageOldSupremumEnd;
    const std::size_t heapEnd = heapTopOf(page);
    const std::size_t directoryStart = directoryStartOf(page);
    return heapEnd <= firstUser || heapEnd > directoryStart ? directoryStart : heapEnd;
}

RecordChain walkRecordChain(ConstPage page)
{
    RecordChain chain;
    const bool compact = isCompactPage(page);
    const std::size_t supremum = compact ? kPageNewSupremum : kPageOldSupremum;
    const std::size_t firstUser = compact ? kPageNewSupremumEnd : kPageOldSupremumEnd;
    const std::size_t heapEnd = recordHeapEnd(page);
    // The smallest record (header and one byte) bounds how many can fit.
    const std::size_t maxRecords = (heapEnd - firstUser) / (kNewRecordHeaderSize + 1) + 1;
    // One allocation a page: the page's own record count, when it is not damaged, is the length.
    chain.origins.reserve(
        std::min<std::size_t>(maxRecords, recordCountOf(page) + std::size_t { 1 }));
    // Origins seen, one bit per byte of the page: this runs for every record of every page, and
    // a hash set would allocate for each.
    std::bitset<kMaxPageSize> visited;
    std::size_t origin = firstRecordOrigin(page);
    while (true) {
        if (origin == supremum) {
            chain.complete = true;
            return chain;
        }
        if (origin < firstUser || origin >= heapEnd || chain.origins.size() >= maxRecords
            || visited.test(origin)) {
            return chain;
        }
        visited.set(origin);
        chain.origins.push_back(origin);
        const auto field = readUint16(page, origin - 2);
        origin = compact ? (origin + field) & 0xFFFF : field;
    }
}

std::uint8_t recordInfoBits(ConstPage page, std::size_t origin, bool compact)
{
    const auto at = origin - (compact ? kNewRecordHeaderSize : kOldRecordHeaderSize);
    return static_cast<std::uint8_t>(page[at] & 0xF0);
}

std::uint8_t recordStatus(ConstPage page, std::size_t origin, bool compact)
{
    return compact ? static_cast<std::uint8_t>(page[origin - 3] & 0x07) : 0;
}

} // namespace innodb

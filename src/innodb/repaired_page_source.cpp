#include "innodb/repaired_page_source.h"

#include "innodb/page_check.h"

#include <algorithm>

namespace innodb {

RepairedPageSource::RepairedPageSource(
    TablespaceFile &file, std::uint32_t spaceId, const DoublewriteBuffer *copies)
    : m_file(file)
    , m_spaceId(spaceId)
{
    const SpaceFormat &format = file.format();
    const bool storedAsViewed = format.zipSize == 0 && !format.pageCompressed && !format.encrypted;
    m_copies = copies && !copies->empty() && storedAsViewed ? copies : nullptr;
}

PageRead RepairedPageSource::readPage(std::uint32_t pageNumber, PageBuffer buffer)
{
    PageRead read = m_file.readPage(pageNumber, buffer);
    if (!m_copies) {
        return read;
    }
    const bool damaged = read.outcome == PageRead::Outcome::Missing
        || (read.ok() && !checkPageEitherLayout(ConstPage(buffer)).ok());
    if (!damaged) {
        return read;
    }
    const std::vector<std::uint8_t> *copy = m_copies->copyOf(m_spaceId, pageNumber, pageSize());
    if (!copy) {
        return read;
    }
    std::copy(copy->begin(), copy->end(), buffer.begin());
    m_repaired.insert(pageNumber);
    return PageRead {};
}

} // namespace innodb

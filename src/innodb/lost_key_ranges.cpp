#include "innodb/lost_key_ranges.h"

namespace innodb {

void LostRangeTrail::pageLost()
{
    if (m_open) {
        return; // two lost leaves in a row make one gap
    }
    KeyRange range;
    range.low = m_lastKey;
    range.lowRead = m_lastKey.has_value();
    m_open = std::move(range);
}

void LostRangeTrail::seen(const KeyBytes &key)
{
    if (m_open) {
        m_open->high = key;
        m_ranges.push_back(std::move(*m_open));
        m_open.reset();
    }
    m_lastKey = key;
}

void LostRangeTrail::acceptRow(const DecodedRow &row)
{
    seen(row.key);
    m_next.acceptRow(row);
}

void LostRangeTrail::rowLeftOut(const DecodedRow &row)
{
    seen(row.key);
    m_next.rowLeftOut(row);
}

std::vector<KeyRange> LostRangeTrail::take()
{
    if (m_open) {
        m_ranges.push_back(std::move(*m_open));
        m_open.reset();
    }
    return std::move(m_ranges);
}

std::optional<std::uint64_t> keyFieldNumber(const KeyBytes &key, std::size_t field, bool isSigned)
{
    if (field >= key.size() || key[field].empty() || key[field].size() > 8) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const std::uint8_t byte : key[field]) {
        value = (value << 8) | byte;
    }
    if (isSigned) {
        value ^= std::uint64_t { 1 } << (8 * key[field].size() - 1);
    }
    return value;
}

} // namespace innodb

#include "innodb/key_pool.h"

#include <cstring>

namespace innodb {

namespace {

void appendCount(std::vector<std::uint8_t> &to, std::size_t count)
{
    const auto value = static_cast<std::uint16_t>(count);
    std::uint8_t bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    to.insert(to.end(), bytes, bytes + sizeof value);
}

std::size_t readCount(const std::uint8_t *at)
{
    std::uint16_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

} // namespace

std::uint32_t KeyPool::add(const KeyBytes &key)
{
    const auto position = static_cast<std::uint32_t>(m_starts.size());
    m_starts.push_back(static_cast<std::uint32_t>(m_bytes.size()));
    appendCount(m_bytes, key.size());
    for (const auto &field : key) {
        appendCount(m_bytes, field.size());
        m_bytes.insert(m_bytes.end(), field.begin(), field.end());
    }
    return position;
}

KeyBytes KeyPool::at(std::uint32_t position) const
{
    const std::uint8_t *at = m_bytes.data() + m_starts[position];
    KeyBytes key(readCount(at));
    at += 2;
    for (auto &field : key) {
        const std::size_t length = readCount(at);
        at += 2;
        field.assign(at, at + length);
        at += length;
    }
    return key;
}

} // namespace innodb

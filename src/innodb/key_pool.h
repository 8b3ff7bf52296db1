// KeyPool: many keys held back to back in one buffer, each named by its position. A table's tree
// pages carry the keys their parents allow, one or two per leaf page; as KeyBytes each would cost
// a vector per field and one for the key, some two hundred bytes for a key of three short fields.
#pragma once

#include "innodb/key_bytes.h"

#include <cstdint>
#include <vector>

namespace innodb {

class KeyPool
{
public:
    // The position of no key: an unbounded side.
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    // The position `key` is kept at from now on.
    std::uint32_t add(const KeyBytes &key);
    // The key kept at `position`, which add() gave.
    KeyBytes at(std::uint32_t position) const;
    std::size_t size() const { return m_starts.size(); }

private:
    // Per key: its field count, then per field its length and bytes; counts and lengths as two
    // bytes, host order. A key field never outgrows a page, and pages are at most 64 KiB.
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::uint32_t> m_starts;
};

} // namespace innodb

// DenseIdMap: values by 32-bit id for ids that come mostly in one run from 1 up, as Zarafa's
// hierarchy ids do. Consecutive ids share a block, so a value costs its own size and a bit; a
// hash map spends some thirty bytes of node and bucket on each. An id far from the others costs
// a block of its own (a few hundred bytes), so scattered ids from damaged rows stay affordable.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <map>

namespace job {

template <typename Value> class DenseIdMap
{
public:
    // The value of `id`, made (value-initialized) on first use. References stay valid.
    Value &operator[](std::uint32_t id)
    {
        Block &block = blockOf(id);
        const std::uint32_t bit = std::uint32_t { 1 } << (id % kBlockIds);
        if ((block.present & bit) == 0) {
            block.present |= bit;
            ++m_size;
        }
        return block.values[id % kBlockIds];
    }

    // Null when `id` was never used.
    const Value *find(std::uint32_t id) const
    {
        const auto it = m_blocks.find(id / kBlockIds);
        if (it == m_blocks.end()
            || (it->second.present & (std::uint32_t { 1 } << (id % kBlockIds))) == 0) {
            return nullptr;
        }
        return &it->second.values[id % kBlockIds];
    }

    std::size_t size() const { return m_size; }

    // Calls `visit(id, value)` for every id used, in rising order.
    template <typename Visit> void forEach(Visit &&visit) const
    {
        for (const auto &[number, block] : m_blocks) {
            for (std::uint32_t present = block.present; present != 0; present &= present - 1) {
                const auto slot = static_cast<std::uint32_t>(std::countr_zero(present));
                visit(number * kBlockIds + slot, block.values[slot]);
            }
        }
    }

private:
    static constexpr std::uint32_t kBlockIds = 32; // one bit each in `present`
    struct Block
    {
        std::uint32_t present = 0;
        std::array<Value, kBlockIds> values {};
    };

    Block &blockOf(std::uint32_t id)
    {
        const std::uint32_t number = id / kBlockIds;
        // Rows name ids in runs: the block of the last one is nearly always the one asked for.
        if (m_last == nullptr || m_lastNumber != number) {
            m_last = &m_blocks[number];
            m_lastNumber = number;
        }
        return *m_last;
    }

    std::map<std::uint32_t, Block> m_blocks; // by id / kBlockIds; nodes never move
    Block *m_last = nullptr;
    std::uint32_t m_lastNumber = 0;
    std::size_t m_size = 0;
};

} // namespace job

// The store of mailbox objects by hierarchy id: dense runs, scattered and extreme ids, and the
// rising order the judgement relies on.
#include "job/dense_id_map.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<std::uint32_t, int>> contents(const job::DenseIdMap<int> &map)
{
    std::vector<std::pair<std::uint32_t, int>> out;
    map.forEach([&out](std::uint32_t id, int value) { out.emplace_back(id, value); });
    return out;
}

} // namespace

TEST(DenseIdMapTest, AnIdUnusedIsNotFoundAndOneUsedIsMadeOnce)
{
    job::DenseIdMap<int> map;
    EXPECT_EQ(map.find(7), nullptr);
    EXPECT_EQ(map.size(), 0u);
    map[7] = 3;
    map[7] += 1;
    ASSERT_NE(map.find(7), nullptr);
    EXPECT_EQ(*map.find(7), 4);
    EXPECT_EQ(map.size(), 1u);
    // Its neighbours in the same block were not used.
    EXPECT_EQ(map.find(6), nullptr);
    EXPECT_EQ(map.find(8), nullptr);
    // A value made by use alone is value-initialized.
    EXPECT_EQ(map[8], 0);
    EXPECT_EQ(map.size(), 2u);
}

TEST(DenseIdMapTest, ScatteredAndExtremeIdsComeBackInRisingOrder)
{
    job::DenseIdMap<int> map;
    const std::uint32_t top = std::numeric_limits<std::uint32_t>::max();
    for (const std::uint32_t id : { top, 0u, 31u, 32u, 1000000u, top - 1, 63u, 5u }) {
        map[id] = static_cast<int>(id % 1000);
    }
    const std::vector<std::pair<std::uint32_t, int>> expected { { 0u, 0 }, { 5u, 5 }, { 31u, 31 },
        { 32u, 32 }, { 63u, 63 }, { 1000000u, 0 }, { top - 1, static_cast<int>((top - 1) % 1000) },
        { top, static_cast<int>(top % 1000) } };
    EXPECT_EQ(contents(map), expected);
    EXPECT_EQ(map.size(), expected.size());
    EXPECT_EQ(map.find(top - 2), nullptr);
    EXPECT_EQ(map.find(33), nullptr);
}

TEST(DenseIdMapTest, ReferencesStayValidWhileOtherIdsAreAdded)
{
    job::DenseIdMap<int> map;
    int &first = map[1];
    first = 11;
    for (std::uint32_t id = 2; id < 100000; id += 3) {
        map[id] = 1;
    }
    map[1] += 1;
    EXPECT_EQ(first, 12);
    EXPECT_EQ(map.size(), 1u + (100000 - 2 + 2) / 3);
}

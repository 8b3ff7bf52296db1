// The pool of tree page bounds: every key comes back as it went in, whatever its fields.
#include "innodb/index_tree.h"
#include "innodb/key_pool.h"

#include <gtest/gtest.h>

TEST(KeyPoolTest, KeysComeBackAsTheyWentInEmptyFieldsAndLongOnesToo)
{
    innodb::KeyPool pool;
    const std::vector<innodb::KeyBytes> keys {
        {}, // no field at all
        { {} }, // one empty field
        { { 0x80, 0x00, 0x00, 0x01 }, { 0x30, 0x01 }, {} },
        { std::vector<std::uint8_t>(16383, 0x5A) }, // the longest field a record holds
        { { 0x00 }, { 0xFF, 0xFF } },
    };
    std::vector<std::uint32_t> positions;
    for (const auto &key : keys) {
        positions.push_back(pool.add(key));
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(pool.at(positions[i]), keys[i]) << "key " << i;
    }
    EXPECT_EQ(pool.size(), keys.size());
}

TEST(KeyPoolTest, TablePagesGiveEachSideOfTheirBounds)
{
    innodb::TablePages pages;
    const innodb::KeyBytes low { { 0x01 } };
    const innodb::KeyBytes high { { 0x02 } };
    const innodb::TablePage page { 7, 0, pages.boundKeys.add(low), pages.boundKeys.add(high) };
    EXPECT_FALSE(page.unbounded());
    const innodb::KeyRange range = pages.boundsOf(page);
    EXPECT_EQ(range.low, low);
    EXPECT_EQ(range.high, high);
    EXPECT_FALSE(range.lowRead);

    const innodb::TablePage open { 8, 0, innodb::KeyPool::kNone, pages.boundKeys.add(low) };
    EXPECT_FALSE(pages.boundsOf(open).low);
    EXPECT_EQ(pages.boundsOf(open).high, low);
    EXPECT_TRUE(innodb::TablePage {}.unbounded());
}

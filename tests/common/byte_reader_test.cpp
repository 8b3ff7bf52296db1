#include "common/byte_reader.h"

#include <array>
#include <gtest/gtest.h>
#include <limits>

TEST(ByteReaderTest, ReadsBothByteOrdersAndRefusesToLeaveTheBuffer)
{
    const std::array<std::uint8_t, 4> bytes { 0x12, 0x34, 0x56, 0x78 };
    common::ByteReader reader(bytes);
    EXPECT_EQ(reader.bigEndian(0, 4), 0x12345678u);
    EXPECT_EQ(reader.littleEndian(0, 2), 0x3412u);
    EXPECT_EQ(reader.bigEndian(3, 1), 0x78u);
    EXPECT_FALSE(reader.bigEndian(3, 2).has_value());
    EXPECT_FALSE(reader.bigEndian(0, 0).has_value());
    EXPECT_FALSE(reader.bigEndian(std::numeric_limits<std::size_t>::max(), 2).has_value());
    EXPECT_FALSE(reader.slice(2, 3).has_value());
    EXPECT_EQ(reader.slice(4, 0)->size(), 0u);
}

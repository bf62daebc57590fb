#include <gtest/gtest.h>

#include "foundation/types.h"

TEST(Types, NaHasItsBitPattern) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(NA), 0xF6800000u);
    EXPECT_TRUE(is_na(NA));
    EXPECT_FALSE(is_na(0.0f));
}

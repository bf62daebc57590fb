// A tool's option line at the edges of its block and of a number: a byte in
// the block's last byte is kept, the largest whole number reads back whole,
// and a number past it saturates instead of wrapping.
#include "shell/toolset.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// An int and three bytes: seven bytes, the last field in the last byte.
constexpr toptset_field packed_fields[] = {
    {0, tf_int}, {4, tf_byte}, {5, tf_byte}, {6, tf_byte}, {-1, 0},
};

TEST(ToptsetEdges, BytesUpToTheBlocksLastByteAreWrittenAndRead) {
    unsigned char block[7] = {};
    const std::int32_t count = 12;
    std::memcpy(block, &count, 4);
    block[4] = 9;
    block[5] = 8;
    block[6] = 7;
    std::string line;
    write_toptset(&line, block, sizeof block, packed_fields);
    EXPECT_EQ(line, "12,9,8,7,\n");
    unsigned char back[7] = {};
    read_toptset("3,1,2,250,", back, sizeof back, packed_fields);
    EXPECT_EQ(back[4], 1);
    EXPECT_EQ(back[5], 2);
    EXPECT_EQ(back[6], 250);
    // One byte short of the block: the last byte field has no room.
    line.clear();
    write_toptset(&line, block, 6, packed_fields);
    EXPECT_EQ(line, "12,9,8,,\n");
}

TEST(ToptsetEdges, WholeNumbersAtTheirLimitsReadBackAndBeyondThemSaturate) {
    std::int32_t v[1] = {};
    constexpr toptset_field one[] = {{0, tf_int}, {-1, 0}};
    read_toptset("2147483647,", v, sizeof v, one);
    EXPECT_EQ(v[0], 2147483647);
    read_toptset("-2147483648,", v, sizeof v, one);
    EXPECT_EQ(v[0], INT32_MIN);
    read_toptset("99999999999,", v, sizeof v, one);
    EXPECT_EQ(v[0], 2147483647);
    read_toptset("-99999999999,", v, sizeof v, one);
    EXPECT_EQ(v[0], INT32_MIN);
}

} // namespace

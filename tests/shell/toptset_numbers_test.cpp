// Numbers in a tool's option line: what is written reads back as the same
// value, to the digits a user types into an option.
#include "shell/toolset.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace {

struct scales {
    float low;
    float high;
    float step;
    std::int32_t count;
};
constexpr toptset_field scale_fields[] = {
    {offsetof(scales, low), tf_float},
    {offsetof(scales, high), tf_float},
    {offsetof(scales, step), tf_float},
    {offsetof(scales, count), tf_int},
    {-1, 0},
};

// Six significant digits survive the text: a graph's range of 1234.56 to
// 98765.4 in steps of 0.015625 comes back as typed, not rounded to fewer digits.
TEST(ToptsetNumbers, SixDigitValuesReadBackAsTheyWere) {
    const scales cases[] = {
        {1234.56f, 98765.4f, 0.015625f, 7},
        {-0.000123457f, 123457.0f, 2.71828f, -3},
        {0.1f, 0.2f, 0.3f, 0},
    };
    for (const scales& a : cases) {
        std::string line;
        write_toptset(&line, &a, sizeof a, scale_fields);
        scales b{};
        read_toptset(line.c_str(), &b, sizeof b, scale_fields);
        EXPECT_EQ(b.low, a.low) << line;
        EXPECT_EQ(b.high, a.high) << line;
        EXPECT_EQ(b.step, a.step) << line;
        EXPECT_EQ(b.count, a.count) << line;
    }
    std::string line;
    const scales shown{1234.56f, 98765.4f, 0.015625f, 7};
    write_toptset(&line, &shown, sizeof shown, scale_fields);
    EXPECT_EQ(line, "1234.56,98765.4,0.015625,7,\n");
}

} // namespace

// Axis label lists and band specs as graph definitions give them.
#include "draw/graphtexts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(GraphTexts, AxisLabelsArePlacedAlongTheirRange) {
    axis_labels y = parse_axis_labels("??0=Low?50=Mid?100=High", false);
    ASSERT_TRUE(y.ok);
    ASSERT_EQ(y.labels.size(), 3u);
    EXPECT_EQ(y.labels[0].text, "Low");
    EXPECT_EQ(y.labels[0].pos, 10000); // the bottom
    EXPECT_EQ(y.labels[1].pos, 5000);
    EXPECT_EQ(y.labels[2].pos, 0); // the top
    axis_labels x = parse_axis_labels("1990=start?2000?2010=end", true);
    ASSERT_TRUE(x.ok);
    EXPECT_EQ(x.labels[1].text, "");
    EXPECT_EQ(x.labels[1].pos, 5000);
    EXPECT_EQ(x.min, 1990);
    EXPECT_EQ(x.max, 2010);
    // Ignored: one piece, no range, values that cannot be placed.
    EXPECT_FALSE(parse_axis_labels("5=only", true).ok);
    EXPECT_FALSE(parse_axis_labels("5=a?5=b", true).ok);
    EXPECT_FALSE(parse_axis_labels("1=a?inf=b", true).ok);
    EXPECT_FALSE(parse_axis_labels("-1e308=a?1e308=b", true).ok); // the span overflows
    EXPECT_FALSE(parse_axis_labels("", true).ok);
    EXPECT_FALSE(parse_axis_labels(nullptr, true).ok);
    // A long list is cut, not followed for ever.
    std::string many;
    for (int i = 0; i < 3000; ++i) many += std::to_string(i) + "=x?";
    axis_labels m = parse_axis_labels(many.c_str(), true);
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.labels.size(), static_cast<std::size_t>(graph_text_max_labels));
}

TEST(GraphTexts, BandSpecsReadPercentAndColourWidestFirst) {
    auto b = parse_band_spec("50=255|0|0,100=0|0|255, 95=0|128|0,bad,75=1|2");
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].per_mille, 1000);
    EXPECT_EQ(b[0].colour, RGB(0, 0, 255));
    EXPECT_EQ(b[1].per_mille, 950);
    EXPECT_EQ(b[2].per_mille, 500);
    EXPECT_EQ(b[2].colour, RGB(255, 0, 0));
    auto lim = parse_band_spec("150=300|-5|7,12.34=0|0|0");
    ASSERT_EQ(lim.size(), 2u);
    EXPECT_EQ(lim[0].per_mille, 1000);
    EXPECT_EQ(lim[0].colour, RGB(255, 0, 7));
    EXPECT_EQ(lim[1].per_mille, 123);
    // Tenths of a percent are rounded to the nearest: 66.66 % is 667 per mille,
    // 0.06 % is 1 and 0.04 % is 0.
    auto round = parse_band_spec("66.66=0|0|0,0.06=0|0|0,0.04=0|0|0");
    ASSERT_EQ(round.size(), 3u);
    EXPECT_EQ(round[0].per_mille, 667);
    EXPECT_EQ(round[1].per_mille, 1);
    EXPECT_EQ(round[2].per_mille, 0);
    EXPECT_TRUE(parse_band_spec("nan=1|2|3").empty());
    EXPECT_EQ(parse_rgb_bars("10|20|30", 0), RGB(10, 20, 30));
    EXPECT_EQ(parse_rgb_bars("10|20", 77u), 77u);
    // A sign before a number is part of it, '+' as well as '-'; blanks
    // before a number are passed over.
    EXPECT_EQ(parse_rgb_bars("+10| +20|30", 0), RGB(10, 20, 30));
    EXPECT_EQ(parse_rgb_bars("-10|20|+300", 0), RGB(0, 20, 255));
    EXPECT_EQ(parse_rgb_bars("+|20|30", 77u), 77u);
}

} // namespace

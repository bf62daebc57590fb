// A quick slider's knob stays where it was put: the value a position gives,
// kept as the model's 32-bit number, shows at that same position again when
// the slider is drawn anew (after a re-run, a view change, a new range).
#include <gtest/gtest.h>

#include "foundation/types.h"
#include "sketch/sliders.h"

namespace {

TEST(SliderPositions, EveryPositionsValueShowsAtThatPosition) {
    const float ranges[][2] = {{0, 1},         {-2, 2},     {0, 10},  {0, 0.3f},    {0.1f, 0.7f},
                               {1e-3f, 7e-3f}, {100, 2000}, {-5, -1}, {100, 100.5f}};
    for (const auto& range : ranges) {
        qslider_rec r;
        r.min = range[0];
        r.max = range[1];
        r.increment = 0;
        for (int p = 0; p <= qslider_positions; ++p) {
            r.value = slider_value_at(r, p);
            EXPECT_EQ(slider_position(r), p) << range[0] << " to " << range[1] << ": " << r.value;
        }
    }
}

TEST(SliderPositions, AValueBetweenPositionsShowsAtTheOneBelowIt) {
    qslider_rec r;
    r.min = 0;
    r.max = 80;
    r.increment = 0;
    r.value = 40.9f;
    EXPECT_EQ(slider_position(r), 40);
    r.value = 40.1f;
    EXPECT_EQ(slider_position(r), 40);
    r.value = 79.99f;
    EXPECT_EQ(slider_position(r), 79);
    r.value = -0.5f; // below the range: at its left end
    EXPECT_EQ(slider_position(r), 0);
    r.value = 80.5f;
    EXPECT_EQ(slider_position(r), 80);
}

} // namespace

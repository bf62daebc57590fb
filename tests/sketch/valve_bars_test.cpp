// The valve shapes made of straight strokes, each in a box from (30, 30) to
// (70, 70) around its centre: the bow tie standing on its sides (1), the
// hourglass standing on its ends (2) and the H of two posts and a crossbar (3).
#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "sketch/drawsketch.h"
#include "tests/sketch/sketch_fixture.h"

namespace {

class ValveBars : public SketchPaintTest {
protected:
    ValveBars() : SketchPaintTest(100) {}
    void paint_valve(int shape) {
        box(50, 50, 20, 20, shape, ek_valve);
        RECT all{0, 0, 100, 100};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        paint_sketch(dc_, s, all);
    }
    // Anything but white within a pixel of (x, y).
    bool ink(int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (GetPixel(dc_, x + dx, y + dy) != RGB(255, 255, 255)) return true;
        return false;
    }
};

TEST_F(ValveBars, TheBowTieHasItsSidesAndNoTopOrBottom) {
    paint_valve(1);
    EXPECT_TRUE(ink(30, 50)) << "left side";
    EXPECT_TRUE(ink(70, 50)) << "right side";
    EXPECT_TRUE(ink(50, 50)) << "the diagonals cross at the centre";
    EXPECT_TRUE(ink(40, 40));
    EXPECT_TRUE(ink(60, 40));
    EXPECT_FALSE(ink(50, 32)) << "no top edge";
    EXPECT_FALSE(ink(50, 68)) << "no bottom edge";
    EXPECT_FALSE(ink(50, 38)) << "above the centre lies outside both halves";
}

TEST_F(ValveBars, TheHourglassHasItsEndsAndNoSides) {
    paint_valve(2);
    EXPECT_TRUE(ink(50, 30)) << "top edge";
    EXPECT_TRUE(ink(50, 70)) << "bottom edge";
    EXPECT_TRUE(ink(50, 50));
    EXPECT_TRUE(ink(40, 60));
    EXPECT_FALSE(ink(32, 50)) << "no left side";
    EXPECT_FALSE(ink(68, 50)) << "no right side";
    EXPECT_FALSE(ink(38, 50));
}

TEST_F(ValveBars, TheHHasTwoPostsAndACrossbar) {
    paint_valve(3);
    EXPECT_TRUE(ink(30, 35));
    EXPECT_TRUE(ink(30, 65));
    EXPECT_TRUE(ink(70, 35));
    EXPECT_TRUE(ink(70, 65));
    EXPECT_TRUE(ink(50, 50)) << "the crossbar at mid height";
    EXPECT_TRUE(ink(38, 50));
    EXPECT_FALSE(ink(50, 32)) << "no top bar";
    EXPECT_FALSE(ink(50, 68)) << "no bottom bar";
    EXPECT_FALSE(ink(40, 40)) << "no diagonals";
}

} // namespace

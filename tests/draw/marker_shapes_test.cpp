// The open marker shapes a curve can carry: the cross, the diamond and the
// two triangles, each drawn in its square around the point and left hollow.
#include "draw/drawing.h"
#include "draw/prims.h"
#include "tests/draw/prims_fixture.h"

#include "platform/gdi_internal.h"
#include "shell/settings_rows.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

class MarkerShapes : public PrimsTest {
protected:
    void SetUp() override {
        PrimsTest::SetUp();
        opts.colour_modes[0] = 1;
    }
    // One marker of the shape at the middle of the 64 x 32 square, size 20:
    // a 22-pixel box from (21, 5) to (43, 27), its middle at (32, 16).
    QImage draw(int shape) {
        RECT all{0, 0, 64, 32};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EXPECT_EQ(active_dc_push(dc_, dc_), 1);
        const std::int16_t xs[] = {5000}, ys[] = {5000};
        draw_point_markers(nullptr, 0, 20, shape, 0, 0, 64, 32, xs, ys, 1, false);
        active_dc_pop(dc_);
        return gdi_bitmap_image(bm_);
    }
    static bool inked(const QImage& img, int x, int y) {
        return (img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    }
};

TEST_F(MarkerShapes, TheCrossRunsCornerToCorner) {
    QImage img = draw(5);
    EXPECT_TRUE(inked(img, 21, 5));
    EXPECT_TRUE(inked(img, 26, 10));
    EXPECT_TRUE(inked(img, 32, 16)) << "both diagonals cross at the middle";
    EXPECT_TRUE(inked(img, 43, 5));
    EXPECT_TRUE(inked(img, 38, 10));
    EXPECT_FALSE(inked(img, 32, 6)) << "nothing along the top edge";
    EXPECT_FALSE(inked(img, 22, 16)) << "nothing along the left edge";
}

TEST_F(MarkerShapes, TheDiamondTouchesTheMiddleOfEachSideAndIsHollow) {
    QImage img = draw(6);
    EXPECT_TRUE(inked(img, 32, 5));
    EXPECT_TRUE(inked(img, 43, 16));
    EXPECT_TRUE(inked(img, 32, 27));
    EXPECT_TRUE(inked(img, 21, 16));
    EXPECT_FALSE(inked(img, 32, 16)) << "open shapes are not filled";
    EXPECT_FALSE(inked(img, 22, 6)) << "the box's corners stay white";
    EXPECT_FALSE(inked(img, 42, 26));
}

TEST_F(MarkerShapes, TheTrianglesPointOppositeWays) {
    QImage down = draw(7);
    EXPECT_TRUE(inked(down, 25, 5)) << "the flat side is on top";
    EXPECT_TRUE(inked(down, 40, 5));
    EXPECT_TRUE(inked(down, 32, 27)) << "the point is at the bottom middle";
    EXPECT_FALSE(inked(down, 25, 27));
    EXPECT_FALSE(inked(down, 32, 16));

    QImage up = draw(8);
    EXPECT_TRUE(inked(up, 25, 27)) << "the flat side is at the bottom";
    EXPECT_TRUE(inked(up, 40, 27));
    EXPECT_TRUE(inked(up, 32, 5)) << "the point is at the top middle";
    EXPECT_FALSE(inked(up, 25, 5));
    EXPECT_FALSE(inked(up, 32, 16));
}

// A shape number past the known ones draws nothing rather than some shape.
TEST_F(MarkerShapes, AnUnknownShapeDrawsNothing) {
    QImage img = draw(12);
    int ink = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) ink += inked(img, x, y);
    EXPECT_EQ(ink, 0);
}

} // namespace

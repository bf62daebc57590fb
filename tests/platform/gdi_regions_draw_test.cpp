// Drawing layer: region fills and frames, runs of polylines, the current
// position handed back, and pixels read back through a clip.
#include "image_canvas.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

constexpr QRgb black = 0xFF000000;

struct Canvas : ImageCanvas {
    explicit Canvas(int w = 48, int h = 48) : ImageCanvas(w, h) {}
};

TEST(GdiRegionDrawing, FillRgnCoversEveryPixelOfTheRegionAndNoMore) {
    Canvas c;
    // An L of two rectangles: 10 x 4 pixels over 4 x 10 pixels.
    HRGN a = CreateRectRgn(2, 3, 12, 7);
    HRGN b = CreateRectRgn(2, 7, 6, 13);
    HRGN l = CreateRectRgn(0, 0, 0, 0);
    ASSERT_EQ(CombineRgn(l, a, b, RGN_OR), COMPLEXREGION);
    HBRUSH br = CreateSolidBrush(RGB(0, 0, 0));
    EXPECT_TRUE(FillRgn(c.dc, l, br));
    EXPECT_EQ(c.count_ink(), 10 * 4 + 4 * 6);
    EXPECT_TRUE(c.ink(11, 6));  // last column and row of the bar
    EXPECT_TRUE(c.ink(5, 12));  // last row of the stem
    EXPECT_FALSE(c.ink(12, 6)); // right edge excluded
    EXPECT_FALSE(c.ink(6, 7));  // beside the stem
    EXPECT_FALSE(c.ink(2, 13));
    EXPECT_EQ(c.img.pixel(3, 4), black);
    EXPECT_FALSE(FillRgn(c.dc, reinterpret_cast<HRGN>(0x4242), br)); // not a region
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(a), static_cast<HGDIOBJ>(b), static_cast<HGDIOBJ>(l),
                      static_cast<HGDIOBJ>(br)})
        DeleteObject(o);
}

TEST(GdiRegionDrawing, FrameRgnTakesItsWidthAcrossAndItsHeightUpAndDown) {
    Canvas c;
    HRGN r = CreateRectRgn(10, 10, 30, 30); // pixels 10..29
    HBRUSH br = CreateSolidBrush(RGB(0, 0, 0));
    ASSERT_TRUE(FrameRgn(c.dc, r, br, 2, 3));
    // Sides two pixels wide, top and bottom three high.
    EXPECT_TRUE(c.ink(10, 20));
    EXPECT_TRUE(c.ink(11, 20));
    EXPECT_FALSE(c.ink(12, 20));
    EXPECT_TRUE(c.ink(29, 20));
    EXPECT_TRUE(c.ink(28, 20));
    EXPECT_FALSE(c.ink(27, 20));
    EXPECT_TRUE(c.ink(20, 12));
    EXPECT_FALSE(c.ink(20, 13));
    EXPECT_TRUE(c.ink(20, 27));
    EXPECT_FALSE(c.ink(20, 26));
    EXPECT_FALSE(c.ink(30, 20));
    EXPECT_FALSE(c.ink(20, 30));
    EXPECT_EQ(c.count_ink(), 20 * 20 - 16 * 14);
    EXPECT_FALSE(FrameRgn(c.dc, r, br, 0, 3)); // a frame needs a width and a height
    DeleteObject(r);
    DeleteObject(br);
}

TEST(GdiRegionDrawing, PolyPolylineDrawsEachRunFromItsOwnPoints) {
    Canvas c;
    const POINT pts[5] = {{5, 5}, {15, 5}, {5, 20}, {15, 20}, {15, 30}};
    const DWORD counts[2] = {2, 3};
    ASSERT_TRUE(PolyPolyline(c.dc, pts, counts, 2));
    EXPECT_TRUE(c.ink(10, 5));
    EXPECT_TRUE(c.ink(10, 20));
    EXPECT_TRUE(c.ink(15, 25));
    EXPECT_FALSE(c.ink(10, 12)); // the runs are not joined
    EXPECT_EQ(c.count_ink(), 10 + 10 + 10);
    const DWORD bad[2] = {2, 1}; // a run of one point is refused
    EXPECT_FALSE(PolyPolyline(c.dc, pts, bad, 2));
}

TEST(GdiRegionDrawing, PolyPolygonFillsEachShapeFromItsOwnPoints) {
    Canvas c;
    SelectObject(c.dc, GetStockObject(BLACK_BRUSH));
    const POINT pts[7] = {{5, 30}, {15, 30}, {15, 40}, {5, 40}, {25, 30}, {35, 30}, {30, 40}};
    const int counts[2] = {4, 3};
    ASSERT_TRUE(PolyPolygon(c.dc, pts, counts, 2));
    EXPECT_TRUE(c.ink(10, 35));
    EXPECT_TRUE(c.ink(30, 34));  // inside the triangle
    EXPECT_FALSE(c.ink(20, 35)); // the shapes are not joined
    EXPECT_FALSE(c.ink(10, 20));
    const int bad[2] = {4, 1};
    EXPECT_FALSE(PolyPolygon(c.dc, pts, bad, 2));
}

TEST(GdiRegionDrawing, MoveToHandsBackThePreviousPosition) {
    Canvas c;
    MoveToEx(c.dc, 3, 4, nullptr);
    POINT old{-1, -1};
    ASSERT_TRUE(MoveToEx(c.dc, 7, 8, &old));
    EXPECT_EQ(old.x, 3);
    EXPECT_EQ(old.y, 4);
    LineTo(c.dc, 20, 8);
    ASSERT_TRUE(MoveToEx(c.dc, 0, 0, &old));
    EXPECT_EQ(old.x, 20); // a line leaves the position at its end
    EXPECT_EQ(old.y, 8);
}

TEST(GdiRegionDrawing, PixelsOutsideTheClipReadAsInvalid) {
    Canvas c;
    SetPixel(c.dc, 20, 20, RGB(1, 2, 3));
    SetPixel(c.dc, 5, 5, RGB(4, 5, 6));
    IntersectClipRect(c.dc, 0, 0, 10, 10);
    EXPECT_EQ(GetPixel(c.dc, 5, 5), RGB(4, 5, 6));
    EXPECT_EQ(GetPixel(c.dc, 20, 20), CLR_INVALID);
    EXPECT_EQ(GetPixel(c.dc, 10, 5), CLR_INVALID); // the clip's right edge is outside
    EXPECT_EQ(SetPixel(c.dc, 20, 20, RGB(9, 9, 9)), CLR_INVALID);
    EXPECT_EQ(c.img.pixel(20, 20), qRgb(1, 2, 3));
}

} // namespace

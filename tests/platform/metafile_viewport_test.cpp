// Viewport moves, extent scaling and clip offsets, drawn directly and played
// back from both metafile kinds: each uses x and y that differ, so a
// recording or a player that swaps them, or a sign that flips, puts the
// shapes elsewhere.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"
#include "tests/platform/metafile_replay.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

constexpr QRgb white = 0xFFFFFFFF;
constexpr QRgb black = 0xFF000000;

struct Canvas {
    QImage img;
    HDC dc;
    Canvas() : img(200, 160, QImage::Format_RGB32) {
        img.fill(white);
        dc = gdi_create_image_dc(&img, nullptr, QRegion());
    }
    ~Canvas() { gdi_delete_image_dc(dc); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
};

// Three black shapes (a null pen: a rectangle fills up to one short of its
// right and bottom):
//  - logical (0,0)-(12,12) under a viewport origin set to (10,20) and moved
//    by (30,5): device (40,25)-(50,35);
//  - logical (10,10)-(21,21) with the window extents 100 by 100 and the
//    viewport's scaled from 100 by 100 by 2/1 across and 3/2 down, from the
//    viewport origin (100,0): device x 120 to 141, y 15 to 31;
//  - the whole page filled through a clip of (0,0)-(20,20) moved by
//    (100,60): device (100,60)-(119,79).
void scene(HDC dc) {
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    SelectObject(dc, GetStockObject(NULL_PEN));
    SaveDC(dc);
    SetViewportOrgEx(dc, 10, 20, nullptr);
    OffsetViewportOrgEx(dc, 30, 5, nullptr);
    Rectangle(dc, 0, 0, 12, 12);
    RestoreDC(dc, -1);

    SaveDC(dc);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 100, 100, nullptr);
    SetViewportExtEx(dc, 100, 100, nullptr);
    ScaleViewportExtEx(dc, 2, 1, 3, 2, nullptr);
    SetViewportOrgEx(dc, 100, 0, nullptr);
    Rectangle(dc, 10, 10, 21, 21);
    RestoreDC(dc, -1);

    SaveDC(dc);
    IntersectClipRect(dc, 0, 0, 20, 20);
    OffsetClipRgn(dc, 100, 60);
    Rectangle(dc, 0, 0, 201, 161);
    RestoreDC(dc, -1);
}

void expect_shapes(const QImage& img) {
    // Moved viewport.
    EXPECT_EQ(img.pixel(40, 25), black);
    EXPECT_EQ(img.pixel(50, 35), black);
    EXPECT_EQ(img.pixel(51, 36), white);
    EXPECT_EQ(img.pixel(25, 40), white); // the origin moved by (5, 30)
    EXPECT_EQ(img.pixel(39, 24), white);
    // Scaled viewport: twice as wide, one and a half times as tall.
    EXPECT_EQ(img.pixel(120, 15), black);
    EXPECT_EQ(img.pixel(140, 30), black);
    EXPECT_EQ(img.pixel(143, 20), white);
    EXPECT_EQ(img.pixel(125, 34), white);
    EXPECT_EQ(img.pixel(119, 20), white);
    // Moved clip.
    EXPECT_EQ(img.pixel(100, 60), black);
    EXPECT_EQ(img.pixel(119, 79), black);
    EXPECT_EQ(img.pixel(99, 70), white);
    EXPECT_EQ(img.pixel(110, 80), white);
    EXPECT_EQ(img.pixel(120, 70), white);
    EXPECT_EQ(img.pixel(60, 100), white); // the clip moved by (60, 100)
    EXPECT_EQ(img.pixel(5, 5), white);
}

TEST(MetafileViewport, MovedAndScaledViewportsAndMovedClipsPlayBackInPlace) {
    expect_metafiles_replay<Canvas>(scene, [](const Canvas& c) { expect_shapes(c.img); });
}

} // namespace

// The window origin recorded in a metafile, with x and y different, played
// back where it was drawn: a player that reads the two co-ordinates of the
// origin in the wrong order draws the picture elsewhere, which an origin
// with x equal to y cannot show.
#include "image_canvas.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"
#include "tests/platform/metafile_replay.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

constexpr QRgb white = 0xFFFFFFFF;
constexpr QRgb black = 0xFF000000;

struct Canvas : ImageCanvas {
    Canvas() : ImageCanvas(200, 160) {}
};

// A black square at logical (60, 30)-(80, 50) under a window origin of
// (40, 10): device (20, 20)-(40, 40); then the origin moved by (50, -5) and
// a second square at logical (100, 20)-(110, 30): device (10, 15)-(20, 25)
// from the origin (90, 5).
void scene(HDC dc) {
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    SelectObject(dc, GetStockObject(NULL_PEN));
    SetWindowOrgEx(dc, 40, 10, nullptr);
    Rectangle(dc, 60, 30, 81, 51);
    OffsetWindowOrgEx(dc, 50, -5, nullptr);
    Rectangle(dc, 100, 20, 111, 31);
}

void expect_squares(const QImage& img) {
    EXPECT_EQ(img.pixel(30, 30), black);
    EXPECT_EQ(img.pixel(20, 20), black);
    EXPECT_EQ(img.pixel(39, 39), black);
    EXPECT_EQ(img.pixel(15, 20), black);
    // Where swapped co-ordinates would have put them.
    EXPECT_EQ(img.pixel(45, 5), white);
    EXPECT_EQ(img.pixel(25, 5), white);
    EXPECT_EQ(img.pixel(50, 50), white);
}

TEST(MetafileOrigin, AWindowOriginOfTwoDifferentCoordinatesPlaysBackInPlace) {
    expect_metafiles_replay<Canvas>(scene, [](const Canvas& c) { expect_squares(c.img); });
}

} // namespace

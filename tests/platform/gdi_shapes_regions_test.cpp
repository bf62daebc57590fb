// Regions and shapes by their definitions: a region's box excludes its right
// and bottom edges, a star's middle is inside under winding fill and outside
// under alternate fill, a rounded rectangle's corners take their own width
// and height; pens keep the width asked for, a fresh memory context's
// compatible bitmap is monochrome, a focus frame is a checkerboard of
// inverted pixels, and shapes recorded keep their box and their numbers.
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/metafile.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdint>
#include <vector>

namespace {

constexpr QRgb white = 0xFFFFFFFF;

TEST(GdiShapesRegions, ARegionsBoxEndsPastItsLastPixels) {
    HRGN r = CreateRectRgn(10, 20, 50, 70);
    RECT box{};
    EXPECT_EQ(GetRgnBox(r, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 10);
    EXPECT_EQ(box.top, 20);
    EXPECT_EQ(box.right, 50);
    EXPECT_EQ(box.bottom, 70);
    EXPECT_EQ(OffsetRgn(r, 5, -10), SIMPLEREGION);
    GetRgnBox(r, &box);
    EXPECT_EQ(box.left, 15);
    EXPECT_EQ(box.top, 10);
    EXPECT_EQ(box.right, 55);
    EXPECT_EQ(box.bottom, 60);
    EXPECT_TRUE(PtInRegion(r, 54, 59));
    EXPECT_FALSE(PtInRegion(r, 55, 59));
    EXPECT_FALSE(PtInRegion(r, 54, 60));
    SetRectRgn(r, 0, 0, 0, 0);
    EXPECT_EQ(GetRgnBox(r, &box), NULLREGION);
    EXPECT_EQ(box.right, 0);
    EXPECT_EQ(box.bottom, 0);
    DeleteObject(r);
}

TEST(GdiShapesRegions, AStarsMiddleIsInsideOnlyUnderWindingFill) {
    // A five-pointed star drawn in one stroke: its middle pentagon is wound
    // twice.
    const POINT star[5] = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
    HRGN winding = CreatePolygonRgn(star, 5, WINDING);
    HRGN alternate = CreatePolygonRgn(star, 5, ALTERNATE);
    ASSERT_NE(winding, nullptr);
    ASSERT_NE(alternate, nullptr);
    EXPECT_TRUE(PtInRegion(winding, 50, 50));
    EXPECT_FALSE(PtInRegion(alternate, 50, 50));
    // A point: inside under both.
    EXPECT_TRUE(PtInRegion(winding, 50, 15));
    EXPECT_TRUE(PtInRegion(alternate, 50, 15));
    DeleteObject(winding);
    DeleteObject(alternate);
}

TEST(GdiShapesRegions, RoundedCornersTakeTheirOwnWidthAndHeight) {
    // Corners 60 wide and 20 high: ellipses of radii 30 and 10.
    HRGN r = CreateRoundRectRgn(0, 0, 100, 100, 60, 20);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(PtInRegion(r, 50, 50));
    EXPECT_FALSE(PtInRegion(r, 1, 1));
    EXPECT_TRUE(PtInRegion(r, 2, 14));  // below the corner's 10: the straight side
    EXPECT_TRUE(PtInRegion(r, 8, 5));   // (22/30)^2 + (5/10)^2 < 1
    EXPECT_FALSE(PtInRegion(r, 4, 2));  // (26/30)^2 + (8/10)^2 > 1
    EXPECT_TRUE(PtInRegion(r, 45, 1));  // past the corner's 30 along the top
    EXPECT_FALSE(PtInRegion(r, 20, 0)); // (10/30)^2 + (10/10)^2 > 1
    DeleteObject(r);
}

TEST(GdiShapesRegions, PensKeepTheirWidthAndMemoryContextsStartMonochrome) {
    for (int w : {0, 1, 7}) {
        HPEN p = CreatePen(PS_SOLID, w, RGB(1, 2, 3));
        LOGPEN lp{};
        ASSERT_EQ(GetObject(p, sizeof lp, &lp), static_cast<int>(sizeof lp));
        EXPECT_EQ(lp.lopnWidth.x, w);
        EXPECT_EQ(lp.lopnColor, RGB(1, 2, 3));
        DeleteObject(p);
    }
    HDC screen = gdi_create_screen_dc();
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP mono = CreateCompatibleBitmap(mem, 16, 8);
    HBITMAP colour = CreateCompatibleBitmap(screen, 16, 8);
    BITMAP bm{};
    ASSERT_EQ(GetObject(mono, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidth, 16);
    EXPECT_EQ(bm.bmHeight, 8);
    ASSERT_EQ(GetObject(colour, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_GT(bm.bmBitsPixel, 1);
    // With a colour bitmap selected, the memory context makes colour ones.
    HGDIOBJ old = SelectObject(mem, colour);
    HBITMAP after = CreateCompatibleBitmap(mem, 4, 4);
    ASSERT_EQ(GetObject(after, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_GT(bm.bmBitsPixel, 1);
    SelectObject(mem, old);
    DeleteObject(after);
    DeleteObject(mono);
    DeleteObject(colour);
    DeleteDC(mem);
    gdi_delete_image_dc(screen);
}

// Every pixel of the frame whose distance from the frame's corner (across
// plus down) is even is inverted; the others and the inside are left.
TEST(GdiShapesRegions, AFocusFrameIsACheckerboardOfInvertedPixels) {
    for (const RECT rc : {RECT{3, 2, 9, 6}, RECT{3, 2, 10, 7}, RECT{4, 3, 9, 9}}) {
        QImage img(20, 20, QImage::Format_RGB32);
        img.fill(white);
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
        ASSERT_TRUE(DrawFocusRect(dc, &rc));
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool on_frame =
                    x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom &&
                    (x == rc.left || x == rc.right - 1 || y == rc.top || y == rc.bottom - 1);
                const bool inverted = on_frame && (x - rc.left + y - rc.top) % 2 == 0;
                EXPECT_EQ(img.pixel(x, y), inverted ? 0xFF000000u : white)
                    << x << "," << y << " in " << rc.left << "," << rc.top << "," << rc.right << ","
                    << rc.bottom;
            }
        ASSERT_TRUE(DrawFocusRect(dc, &rc)); // twice: gone
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) ASSERT_EQ(img.pixel(x, y), white);
        gdi_delete_image_dc(dc);
    }
}

std::uint16_t w16(const std::vector<BYTE>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t w32(const std::vector<BYTE>& b, std::size_t at) {
    return w16(b, at) | (static_cast<std::uint32_t>(w16(b, at + 2)) << 16);
}

TEST(GdiShapesRegions, RecordedShapesKeepTheirBoxAndNumbers) {
    // A pattern fill recorded in an enhanced metafile bounds the pixels it
    // covers: 30 across from 10 and 40 down from 20 end at 39 and 59.
    HDC edc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edc, nullptr);
    ASSERT_TRUE(PatBlt(edc, 10, 20, 30, 40, BLACKNESS));
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ASSERT_NE(emf, nullptr);
    ENHMETAHEADER h{};
    ASSERT_NE(GetEnhMetaFileHeader(emf, sizeof h, &h), 0u);
    EXPECT_EQ(h.rclBounds.left, 10);
    EXPECT_EQ(h.rclBounds.top, 20);
    EXPECT_EQ(h.rclBounds.right, 39);
    EXPECT_EQ(h.rclBounds.bottom, 59);
    DeleteEnhMetaFile(emf);

    // A rounded rectangle's Windows metafile record holds its numbers last
    // to first: corner height, corner width, bottom, right, top, left.
    HDC mdc = CreateMetaFile(nullptr);
    ASSERT_NE(mdc, nullptr);
    ASSERT_TRUE(RoundRect(mdc, 10, 20, 110, 80, 30, 12));
    HMETAFILE wmf = CloseMetaFile(mdc);
    ASSERT_NE(wmf, nullptr);
    std::vector<BYTE> b(GetMetaFileBitsEx(wmf, 0, nullptr));
    GetMetaFileBitsEx(wmf, static_cast<UINT>(b.size()), b.data());
    bool found = false;
    for (std::size_t p = 18; p + 6 <= b.size();) {
        const std::uint32_t words = w32(b, p);
        if (words < 3 || p + 2 * words > b.size()) break;
        if (w16(b, p + 4) == wmf::ROUNDRECT) {
            ASSERT_EQ(words, 9u);
            const int want[6] = {12, 30, 80, 110, 20, 10};
            for (int k = 0; k < 6; ++k)
                EXPECT_EQ(static_cast<std::int16_t>(w16(b, p + 6 + 2 * k)), want[k]) << k;
            found = true;
        }
        p += 2 * words;
    }
    EXPECT_TRUE(found);
    DeleteMetaFile(wmf);
}

} // namespace

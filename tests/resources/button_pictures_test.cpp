// The pictures of single buttons, pixel by pixel where the meaning sits: the
// direction of an arrow, which box is in front, the fold of a page, and the
// size and ink of the drop-down mark.
#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "platform/win.h"
#include "resources/bitmaps.h"

namespace {

constexpr COLORREF face = RGB(200, 200, 200), ink = RGB(0, 0, 128);
constexpr COLORREF white = RGB(255, 255, 255), grey = RGB(128, 128, 128);

// A painted bitmap selected into a memory context for reading pixels.
struct Painted {
    HBITMAP bmp = nullptr;
    HDC dc = nullptr;
    HGDIOBJ old = nullptr;
    explicit Painted(int id) {
        bmp = paint_resource_bitmap(id, face, ink);
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        if (bmp) old = SelectObject(dc, bmp);
    }
    ~Painted() {
        if (bmp) SelectObject(dc, old);
        DeleteDC(dc);
        if (bmp) DeleteObject(bmp);
    }
    COLORREF at(int x, int y) const { return GetPixel(dc, x, y) & 0xFFFFFF; }
    bool inked(int x, int y) const { return at(x, y) != face && at(x, y) != white; }
};

TEST(ButtonPictures, TheDropDownMarkIsNineByTwelveWithAnInkedArrow) {
    Painted p(bitmap_dropdown);
    ASSERT_NE(p.bmp, nullptr);
    BITMAP b{};
    ASSERT_EQ(GetObject(p.bmp, sizeof b, &b), static_cast<int>(sizeof b));
    EXPECT_EQ(b.bmWidth, 9);
    EXPECT_EQ(b.bmHeight, 12);
    // A triangle pointing down, filled and outlined in the text colour.
    EXPECT_EQ(p.at(4, 5), ink);
    EXPECT_EQ(p.at(4, 4), ink);
    EXPECT_EQ(p.at(4, 2), face);
    EXPECT_EQ(p.at(4, 10), face);
}

TEST(ButtonPictures, BottomBarPicturesShowTheirMeaning) {
    Painted p(bitmap_bottom_bar);
    ASSERT_NE(p.bmp, nullptr);
    // Polarity (cell at 12): a plus at the top left and a minus at the
    // bottom right.
    EXPECT_EQ(p.at(12 + 3, 3), ink);
    EXPECT_EQ(p.at(12 + 8, 9), ink);
    EXPECT_EQ(p.at(12 + 8, 3), face);
    // Next view (48) points right, previous view (60) left: near the top
    // only the side the arrow comes from is inked.
    EXPECT_TRUE(p.inked(48 + 4, 2));
    EXPECT_FALSE(p.inked(48 + 8, 2));
    EXPECT_TRUE(p.inked(60 + 8, 2));
    EXPECT_FALSE(p.inked(60 + 4, 2));
    // To the background (72): the white box stands in front of the grey
    // one where they overlap.
    EXPECT_EQ(p.at(72 + 6, 6), white);
    EXPECT_EQ(p.at(72 + 3, 3), grey);
}

TEST(ButtonPictures, TheNewModelPageHasAFoldedCorner) {
    Painted p(bitmap_toolbar);
    ASSERT_NE(p.bmp, nullptr);
    // The page (cell at 16) is white, with the fold inked at its top right:
    // a short line down from the top and one across to the right edge.
    EXPECT_EQ(p.at(16 + 6, 8), white);
    EXPECT_EQ(p.at(16 + 9, 3), ink);
    EXPECT_EQ(p.at(16 + 11, 5), ink);
    EXPECT_EQ(p.at(16 + 11, 7), white);
}

} // namespace

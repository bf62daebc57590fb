// The painted button bitmaps: every cell of a strip carries its picture, in
// the colours asked for.
#include <gtest/gtest.h>

#include <ios>
#include <vector>

#include "platform/gdi.h"
#include "platform/win.h"
#include "resources/bitmaps.h"

namespace {

constexpr COLORREF face = RGB(200, 200, 200), ink = RGB(0, 0, 128);

// The pixels of a painted bitmap that are not the face colour, per cell of
// cell_w x cell_h, row by row.
std::vector<int> inked_per_cell(int id, int w, int h, int cell_w, int cell_h) {
    HBITMAP bmp = paint_resource_bitmap(id, face, ink);
    EXPECT_NE(bmp, nullptr);
    std::vector<int> out((w / cell_w) * (h / cell_h), 0);
    if (!bmp) return out;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((GetPixel(dc, x, y) & 0xFFFFFF) != face)
                ++out[static_cast<std::size_t>((y / cell_h) * (w / cell_w) + x / cell_w)];
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bmp);
    return out;
}

TEST(ButtonBitmaps, TheToolbarStripsButtonsSitInTheirCells) {
    // 31 cells of 16: a blank lead, then New, Open and Save at 16, 32 and 48
    // and the last button (save this run) at 480.
    std::vector<int> cells =
        inked_per_cell(bitmap_toolbar, 496, toolbar_strip_h, toolbar_cell_w, toolbar_strip_h);
    ASSERT_EQ(cells.size(), 31u);
    EXPECT_EQ(cells[0], 0);
    for (std::size_t i : {1, 2, 3, 30}) EXPECT_GT(cells[i], 0) << "cell " << i;
}

TEST(ButtonBitmaps, EveryCaptionButtonHasItsPicture) {
    std::vector<int> cells = inked_per_cell(bitmap_caption, caption_cells * caption_cell_w,
                                            caption_cell_h, caption_cell_w, caption_cell_h);
    ASSERT_EQ(cells.size(), static_cast<std::size_t>(caption_cells));
    for (std::size_t i = 0; i < cells.size(); ++i) EXPECT_GT(cells[i], 0) << "cell " << i;
}

TEST(ButtonBitmaps, TheBottomBarsButtonsSitInTheirCells) {
    // Cells of 12: a blank lead, polarity at 12, arrow width at 24 and the
    // surround shape last at 108.
    std::vector<int> cells =
        inked_per_cell(bitmap_bottom_bar, 120, bottom_strip_h, bottom_cell_w, bottom_strip_h);
    ASSERT_EQ(cells.size(), 10u);
    EXPECT_EQ(cells[0], 0);
    for (std::size_t i : {1, 2, 9}) EXPECT_GT(cells[i], 0) << "cell " << i;
}

TEST(ButtonBitmaps, UnknownIdsGiveNoBitmap) {
    EXPECT_EQ(paint_resource_bitmap(0, face, ink), nullptr);
    EXPECT_EQ(paint_resource_bitmap(bitmap_caption + 1, face, ink), nullptr);
}

} // namespace

namespace {

// The caption strip's pixels, one vector of colours per cell.
std::vector<std::vector<COLORREF>> caption_pixels() {
    std::vector<std::vector<COLORREF>> cells(caption_cells);
    HBITMAP bmp = paint_resource_bitmap(bitmap_caption, face, ink);
    EXPECT_NE(bmp, nullptr);
    if (!bmp) return cells;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    for (int i = 0; i < caption_cells; ++i)
        for (int y = 0; y < caption_cell_h; ++y)
            for (int x = 0; x < caption_cell_w; ++x)
                cells[static_cast<std::size_t>(i)].push_back(
                    GetPixel(dc, i * caption_cell_w + x, y) & 0xFFFFFF);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bmp);
    return cells;
}

COLORREF at(const std::vector<COLORREF>& cell, int x, int y) {
    return cell[static_cast<std::size_t>(y * caption_cell_w + x)];
}

// Each caption button shows a picture of its own: locked and unlocked,
// maximise and restore can be told apart.
TEST(ButtonBitmaps, NoTwoCaptionPicturesAreAlike) {
    const auto cells = caption_pixels();
    for (int i = 0; i < caption_cells; ++i)
        for (int k = i + 1; k < caption_cells; ++k)
            EXPECT_NE(cells[static_cast<std::size_t>(i)], cells[static_cast<std::size_t>(k)])
                << "cells " << i << " and " << k;
}

// The window pictures draw every window's title bar in one colour, the
// colour of no other part (not the face, the ink or a window's white).
TEST(ButtonBitmaps, TheWindowPicturesTitleBarsShareOneColour) {
    const auto cells = caption_pixels();
    const auto& maximise = cells[caption_maximise];
    const auto& restore = cells[caption_restore];
    const COLORREF bar = at(maximise, 6, 3);
    EXPECT_NE(bar, face);
    EXPECT_NE(bar, ink);
    EXPECT_NE(bar, static_cast<COLORREF>(RGB(255, 255, 255)));
    EXPECT_EQ(at(restore, 8, 2), bar) << "the window behind";
    EXPECT_EQ(at(restore, 5, 6), bar) << "the window in front";
    EXPECT_EQ(at(restore, 5, 10), static_cast<COLORREF>(RGB(255, 255, 255))) << "its body";
}

// The colour of the pixel (x, y) of the toolbar's strip.
COLORREF toolbar_pixel(int x, int y) {
    HBITMAP bmp = paint_resource_bitmap(bitmap_toolbar, face, ink);
    EXPECT_NE(bmp, nullptr);
    if (!bmp) return face;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    const COLORREF c = GetPixel(dc, x, y) & 0xFFFFFF;
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bmp);
    return c;
}
bool greenish(COLORREF c) {
    return GetGValue(c) > 2 * GetRValue(c) && GetGValue(c) > 2 * GetBValue(c);
}
bool reddish(COLORREF c) {
    return GetRValue(c) > 2 * GetGValue(c) && GetRValue(c) > 2 * GetBValue(c);
}

// Run is a green triangle and Stop a red square, as on every player: the
// middle of each button says which.
TEST(ButtonBitmaps, RunIsGreenAndStopIsRed) {
    const COLORREF run = toolbar_pixel(208 + 7, 8), stop = toolbar_pixel(240 + 8, 8);
    EXPECT_TRUE(greenish(run)) << std::hex << run;
    EXPECT_FALSE(reddish(run)) << std::hex << run;
    EXPECT_TRUE(reddish(stop)) << std::hex << stop;
    EXPECT_FALSE(greenish(stop)) << std::hex << stop;
}

} // namespace

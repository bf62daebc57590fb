// The painted button bitmaps: every cell of a strip carries its picture, in
// the colours asked for.
#include <gtest/gtest.h>

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

// The fill patterns as a pattern brush paints them: ink in the text colour
// where the pattern's rows set a bit, the background elsewhere.
#include "resources/patterns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/win.h"

namespace {

// An 8 x 8 area filled with pattern `id`'s brush, ink red on white; the
// pixels as '#' (ink) and '.' (background), row by row.
std::string painted(int id) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, target);
    HBITMAP pattern = load_fill_pattern(id);
    HBRUSH brush = CreatePatternBrush(pattern);
    SetTextColor(dc, RGB(255, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    const RECT all{0, 0, 8, 8};
    FillRect(dc, &all, brush);
    std::string out;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            out += c == RGB(255, 0, 0) ? '#' : c == RGB(255, 255, 255) ? '.' : '?';
        }
        out += '\n';
    }
    SelectObject(dc, old);
    DeleteObject(brush);
    DeleteObject(pattern);
    DeleteObject(target);
    DeleteDC(dc);
    return out;
}

TEST(FillPatterns, ABrushPaintsTheRowsInkWhereTheirBitsAreSet) {
    // 152, the falling diagonal: one ink pixel a row, moving right.
    EXPECT_EQ(painted(152), "#.......\n"
                            ".#......\n"
                            "..#.....\n"
                            "...#....\n"
                            "....#...\n"
                            ".....#..\n"
                            "......#.\n"
                            ".......#\n");
    // 158, sparse dots: two ink pixels in every other row.
    EXPECT_EQ(painted(158), "#...#...\n"
                            "........\n"
                            "..#...#.\n"
                            "........\n"
                            "#...#...\n"
                            "........\n"
                            "..#...#.\n"
                            "........\n");
    EXPECT_EQ(load_fill_pattern(151), nullptr);
    EXPECT_EQ(load_fill_pattern(164), nullptr);
}

// In monochrome each of the twelve series is told apart by its pattern alone:
// no two patterns paint alike, and the two diagonals run opposite ways (each
// is the other mirrored left to right).
TEST(FillPatterns, EverySeriesHasAPatternOfItsOwn) {
    std::vector<std::string> seen;
    for (int id = fill_pattern_first; id < fill_pattern_first + fill_pattern_count; ++id) {
        const std::string p = painted(id);
        EXPECT_EQ(p.find('?'), std::string::npos) << id;
        for (std::size_t k = 0; k < seen.size(); ++k)
            EXPECT_NE(p, seen[k]) << id << " paints as " << fill_pattern_first + k;
        seen.push_back(p);
    }
    std::string mirrored;
    const std::string falling = painted(152);
    for (std::size_t row = 0; row < 8; ++row) {
        const std::string line = falling.substr(row * 9, 8);
        mirrored += std::string(line.rbegin(), line.rend()) + "\n";
    }
    EXPECT_EQ(painted(153), mirrored);
}

} // namespace

// Selecting a name in the grid window with the mouse: the character under
// the pointer, up to the last pixel of a name's last letter, picks the name,
// and the picked name is shown inverted from its first letter on, in the
// first field of a row and in a later one.
#include "tests/driver/driver.h"
#include "tests/tools/grid_fixture.h"
#include "tools/gridwin.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>

namespace {

class GridSelect : public GridWindowTest {
protected:
    // The columns of a band of rows between x0 and x1 that hold a dark pixel.
    static std::vector<int> dark_columns(const QImage& img, int y0, int y1, int x0, int x1) {
        std::vector<int> out;
        for (int x = std::max(0, x0); x < std::min(x1, img.width()); ++x)
            for (int y = std::max(0, y0); y < std::min(y1, img.height()); ++y)
                if (qGray(img.pixel(x, y)) < 96) {
                    out.push_back(x);
                    break;
                }
        return out;
    }
    // Dark pixels of a band (an inverted white background is dark).
    static int dark_pixels(const QImage& img, int y0, int y1, int x0, int x1) {
        int n = 0;
        for (int y = std::max(0, y0); y < std::min(y1, img.height()); ++y)
            for (int x = std::max(0, x0); x < std::min(x1, img.width()); ++x)
                if (qGray(img.pixel(x, y)) < 96) ++n;
        return n;
    }
};

TEST_F(GridSelect, TheLastPixelOfANamePicksItAndThePickIsShownInverted) {
    handle rec = open_spread_window("Names", 10, 10, 600, 200, nullptr, 20, 10, 0);
    ASSERT_NE(rec, 0u);
    HWND w = outwin_window(rec);
    spread_add_row(rec, "birth rate\tdeath rate", nullptr, nullptr, nullptr, 0, false, nullptr, 0,
                   0);
    test_driver::run_until_idle();
    const int lh = spread_line_height(rec), tab = spread_first_tab(rec);
    ASSERT_GT(lh, 0);
    ASSERT_GT(tab, 0);
    const QImage plain = test_driver::image(w);
    const std::vector<int> first = dark_columns(plain, 0, lh, 0, tab);
    const std::vector<int> second = dark_columns(plain, 0, lh, tab, tab * 2);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    const int unselected = dark_pixels(plain, 0, lh, 0, first.back() + 1);

    int row = -2, s = -2, e = -2;
    // The last inked column of "birth rate" is in its last letter.
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(first.back(), lh / 2));
    spread_selection(rec, &row, &s, &e);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(e, 10);
    test_driver::run_until_idle();
    // Shown inverted: the band over the name turns mostly dark.
    const QImage picked = test_driver::image(w);
    const int area = (first.back() + 1 - first.front()) * lh;
    EXPECT_GT(dark_pixels(picked, 0, lh, first.front(), first.back() + 1), area / 2);
    EXPECT_GT(dark_pixels(picked, 0, lh, 0, first.back() + 1), unselected);
    SendMessage(w, WM_LBUTTONUP, 0, MAKELPARAM(first.back(), lh / 2));

    // The first inked column of the second field picks "death rate".
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(second.front(), lh / 2));
    spread_selection(rec, &row, &s, &e);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(s, 11);
    EXPECT_EQ(e, 21);
    test_driver::run_until_idle();
    const QImage later = test_driver::image(w);
    const int area2 = (second.back() + 1 - second.front()) * lh;
    EXPECT_GT(dark_pixels(later, 0, lh, second.front(), second.back() + 1), area2 / 2);
    SendMessage(w, WM_LBUTTONUP, 0, MAKELPARAM(second.front(), lh / 2));
}

} // namespace

// Boxed names: one line or word-wrapped by mode, the 16-line limit, even
// splitting, the bands of modes 9 and 10, and aligned texts.
#include "draw/boxname.h"
#include "draw/drawing.h"
#include "draw/prims.h"

#include "platform/gdi_internal.h"
#include "platform/win.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

class BoxedName : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        drawing = draw_state{};
        dc_ = CreateCompatibleDC(nullptr);
        bm_ = CreateCompatibleBitmap(dc_, 400, 300);
        old_ = SelectObject(dc_, bm_);
        RECT all{0, 0, 400, 300};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetBkMode(dc_, TRANSPARENT);
        ASSERT_EQ(active_dc_push(dc_, dc_), 1);
        font_spec f{};
        f.size = 10;
        std::strcpy(f.face, "DejaVu Sans");
        select_font(1, &f, nullptr, 0, 0, 0, true);
        lh_ = drawing.line_height;
        ASSERT_GT(lh_, 5);
    }
    void TearDown() override {
        while (drawing.depth > 0) active_dc_pop(nullptr);
        SelectObject(dc_, old_);
        DeleteObject(bm_);
        DeleteDC(dc_);
        set_gtx_sink(nullptr);
    }
    int width(const std::string& s) {
        SIZE z{};
        GetTextExtentPoint32(dc_, s.c_str(), static_cast<int>(s.size()), &z);
        return z.cx;
    }
    // The box of the ink in the image (empty when none).
    QRect ink() {
        QImage img = gdi_bitmap_image(bm_);
        QRect r;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) r |= QRect(x, y, 1, 1);
        return r;
    }
    HDC dc_ = nullptr;
    HBITMAP bm_ = nullptr;
    HGDIOBJ old_ = nullptr;
    int lh_ = 0;
};

TEST_F(BoxedName, ModeZeroKeepsOneLineAndModeOneWrapsAtBlanks) {
    RECT r{10, 10, 85, 110};
    const char* name = "total population growth";
    EXPECT_EQ(draw_boxed_name(dc_, dc_, r, 0, name, nullptr, nullptr, false, true, false), lh_);
    EXPECT_EQ(draw_boxed_name(dc_, dc_, r, 0, "", nullptr, nullptr, false, false, false), 0);
    int h = draw_boxed_name(dc_, dc_, r, 1, name, nullptr, nullptr, false, true, false);
    EXPECT_EQ(h, 3 * lh_); // "total", "population", "growth" in 72 pixels
    bool forced = true;
    auto lines = wrap_boxed_name(dc_, name, 72, 100, false, &forced);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_FALSE(forced);
    EXPECT_EQ(lines[0], "total");
    EXPECT_EQ(lines[1], "population");
    EXPECT_EQ(lines[2], "growth");
    // Drawn centred in the box, below one another.
    int bottom = draw_boxed_name(dc_, dc_, r, 1, name, nullptr, nullptr, false, false, false);
    QRect seen = ink();
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_GE(seen.left(), 10);
    EXPECT_LE(seen.right(), 85);
    EXPECT_NEAR((seen.left() + seen.right()) / 2.0, 47.5, 3);
    EXPECT_GT(seen.height(), 2 * lh_);
    EXPECT_EQ(bottom, 10 + (100 - 3 * lh_) / 2 + 3 * lh_);
}

TEST_F(BoxedName, ANameWithNoBlankIsCutAtTheWidthAndNeverPastSixteenLines) {
    std::string name = "Populationgrowthratewithoutanyblank";
    bool forced = false;
    auto lines = wrap_boxed_name(dc_, name.c_str(), 40, 400, false, &forced);
    EXPECT_TRUE(forced);
    ASSERT_GT(lines.size(), 1u);
    std::string joined;
    for (const auto& l : lines) {
        EXPECT_LE(width(l), 40) << l;
        EXPECT_FALSE(l.empty());
        joined += l;
    }
    EXPECT_EQ(joined, name);
    std::string longer(400, 'W');
    lines = wrap_boxed_name(dc_, longer.c_str(), 30, 1000, false, nullptr);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(boxed_max_lines));
    // A box too narrow for one character still takes one per line.
    lines = wrap_boxed_name(dc_, "WWW", 1, 1000, false, nullptr);
    EXPECT_EQ(lines.size(), 3u);
}

// A name with no blank breaks before a hyphen or another break character
// rather than inside a word.
TEST_F(BoxedName, ANameWithoutBlanksBreaksBeforeItsHyphens) {
    const char* name = "birthrate-deathrate";
    const int w = std::max(width("birthrate"), width("-deathrate")) + 1;
    ASSERT_LT(w, width(name));
    bool forced = false;
    auto lines = wrap_boxed_name(dc_, name, w, 100 * lh_, false, &forced);
    EXPECT_TRUE(forced); // no blank to wrap at
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "birthrate");
    EXPECT_EQ(lines[1], "-deathrate");
    lines = wrap_boxed_name(dc_, "stock/flow", std::max(width("stock"), width("/flow")) + 1,
                            100 * lh_, false, nullptr);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "stock");
    EXPECT_EQ(lines[1], "/flow");
}

// However many lines the even split is held to, no character is lost: the
// last line takes what is left.
TEST_F(BoxedName, EvenSplitOfALongNameKeepsEveryCharacter) {
    std::string name;
    for (int i = 0; i < 40; ++i) name += "abcdefghij";
    auto lines = wrap_boxed_name(dc_, name.c_str(), 30, 2 * lh_, true, nullptr);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(boxed_max_lines));
    std::string joined;
    for (const auto& l : lines) joined += l;
    EXPECT_EQ(joined, name);
    EXPECT_GT(lines.back().size(), lines.front().size());
}

// On one line in a window, the text's whole line is marked to be painted
// again, its full height.
TEST_F(BoxedName, OneLineInAWindowMarksItsWholeLineForPainting) {
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "KavrelBoxedNameTest";
    RegisterClass(&wc);
    HWND w = CreateWindowEx(0, "KavrelBoxedNameTest", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200,
                            nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    ValidateRect(w, nullptr);
    RECT r{20, 40, 180, 40 + 3 * lh_};
    draw_boxed_name(dc_, dc_, r, 0, "growth", nullptr, w, false, false, false);
    RECT u{};
    ASSERT_TRUE(GetUpdateRect(w, &u, FALSE));
    EXPECT_EQ(u.bottom - u.top, lh_);
    EXPECT_EQ(u.top, 40 + lh_); // centred: the middle of three lines
    EXPECT_EQ(u.right - u.left, width("growth"));
    DestroyWindow(w);
}

TEST_F(BoxedName, EvenSplitCutsEqualCountsAndKeepsCharactersWhole) {
    const char* name = "abcdefghij\xC3\xA9klmnopqrst"; // an e-acute in the middle
    bool forced = false;
    auto lines = wrap_boxed_name(dc_, name, 30, 2 * lh_, true, &forced);
    ASSERT_GE(lines.size(), 2u);
    std::string joined;
    for (const auto& l : lines) joined += l;
    EXPECT_EQ(joined, name);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].size() - (lines[i].find('\xC3') != std::string::npos),
                  lines[0].size() - (lines[0].find('\xC3') != std::string::npos));
        EXPECT_NE(static_cast<unsigned char>(lines[i + 1][0]), 0xA9); // not split inside
    }
}

TEST_F(BoxedName, ShapesUseTheirInnerBoxAndHalfBandsSitInTheirHalf) {
    RECT r{0, 0, 140, 140};
    RECT inner = r;
    draw_boxed_name(dc_, dc_, r, 2, "a long variable name that wraps", &inner, nullptr, false,
                    false, false);
    EXPECT_EQ(inner.left, 19); // 14% of 140
    EXPECT_EQ(inner.right, 121);
    EXPECT_EQ(inner.top, 19);
    // Mode 9 with a short name stays one line in the whole box; a wide one
    // that still fits goes into a band of the lower half.
    RECT band = r;
    draw_boxed_name(dc_, dc_, r, 9, "ab", &band, nullptr, false, false, false);
    EXPECT_EQ(band.top, 0);
    std::string wide = "WWWWWWWW";
    while (10 * width(wide) / 8 * 100 / 140 < 60) wide += "W";
    if (8 * 140 >= 10 * width(wide)) {
        band = r;
        draw_boxed_name(dc_, dc_, r, 9, wide.c_str(), &band, nullptr, false, false, false);
        EXPECT_GE(band.top, 70);
        band = r;
        draw_boxed_name(dc_, dc_, r, 10, wide.c_str(), &band, nullptr, false, false, false);
        EXPECT_LE(band.bottom, 70);
    }
    // Beside a point: -4 starts at the right edge, -1 below.
    RECT pt{200, 100, 210, 110};
    draw_boxed_name(dc_, dc_, pt, -4, "x", nullptr, nullptr, false, false, false);
    QRect seen = ink();
    EXPECT_GE(seen.right(), 210);
    int y = draw_boxed_name(dc_, dc_, pt, -1, "x", nullptr, nullptr, false, false, false);
    EXPECT_EQ(y, 110 + lh_);
}

// Exactly at the width a shape allows, a name stays on one line; a pixel
// narrower, it wraps. A rectangle allows its whole width, an ellipse (and the
// other round shapes) nine tenths, a triangle eight tenths.
TEST_F(BoxedName, ANameThatJustFitsItsShapeStaysOnOneLine) {
    // A name of two words whose width divides by m, so the boundary width
    // (width * 10 / share) is whole.
    auto name_of_width_dividing_by = [&](int m) {
        for (int a = 1; a < 40; ++a)
            for (int b = 1; b < 40; ++b) {
                const std::string t = std::string(static_cast<std::size_t>(a), 'e') + " " +
                                      std::string(static_cast<std::size_t>(b), 'i');
                if (width(t) % m == 0) return t;
            }
        return std::string();
    };
    auto lines = [&](const std::string& name, int mode, int w) {
        const RECT r{0, 0, w, 40 * lh_};
        return draw_boxed_name(dc_, dc_, r, mode, name.c_str(), nullptr, nullptr, false, true,
                               false) /
               lh_;
    };
    for (const auto& [share, modes] : {std::pair{10, std::vector<int>{1, 12}},
                                       {9, std::vector<int>{2, 4, 5, 6, 11}},
                                       {8, std::vector<int>{9, 10}}}) {
        const std::string name = name_of_width_dividing_by(share == 8 ? 4 : share);
        ASSERT_FALSE(name.empty()) << share;
        const int fits = width(name) * 10 / share;
        for (int mode : modes) {
            EXPECT_EQ(lines(name, mode, fits), 1) << "mode " << mode << " at " << fits;
            EXPECT_GT(lines(name, mode, fits - 1), 1) << "mode " << mode << " at " << fits - 1;
        }
    }
}

TEST_F(BoxedName, AlignedTextsAreWrittenAtTheirLeftEdgeAndBaseline) {
    std::string text;
    set_gtx_sink(&text);
    drawing.device_res[0] = drawing.device_res[1] = 72; // points are pixels
    int w = text_width("Population");
    RECT r = draw_text_aligned(200, 50, 'C', 'T', "Population");
    EXPECT_EQ(r.left, 200 - w / 2);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(text, "1|(" + std::to_string(200 - w / 2) + "," +
                        std::to_string(50 + drawing.ascent) + ")10\nPopulation\n");
    r = draw_text_aligned(200, 50, 'R', 'B', "x");
    EXPECT_EQ(r.right, 200);
    EXPECT_EQ(r.top, 50 - drawing.ascent - drawing.descent);
    QRect seen = ink();
    EXPECT_GE(seen.top(), 50 - lh_);
    EXPECT_LE(seen.bottom(), 50 + lh_);
}

// Characters beyond the basic plane take four bytes and stay whole, wrapped
// one to a line in a box too narrow for any, as three-byte ones do.
TEST_F(BoxedName, FourByteCharactersAreNeverCut) {
    const std::string smile = "\xF0\x9F\x98\x80", han = "\xE4\xB8\xAD";
    const std::string name = smile + han + smile;
    auto lines = wrap_boxed_name(dc_, name.c_str(), 1, 1000, false, nullptr);
    EXPECT_EQ(lines, (std::vector<std::string>{smile, han, smile}));
    // The even split counts them as one character each.
    const std::string many = smile + smile + smile + smile + smile + smile;
    lines = wrap_boxed_name(dc_, many.c_str(), 1, 1000, true, nullptr);
    ASSERT_FALSE(lines.empty());
    std::string joined;
    for (const std::string& l : lines) {
        EXPECT_EQ(l.size() % 4, 0u) << "a line of whole characters";
        joined += l;
    }
    EXPECT_EQ(joined, many);
}

// Beside its point a name ends at the left edge (-3), sits above the top
// (-2) or below the bottom (-1), centred across; the y after its line.
TEST_F(BoxedName, ANameBesideItsPointSitsOnTheSideItsModeSays) {
    const RECT pt{200, 100, 210, 110};
    const int w = width("Stock");
    auto drawn = [&](int mode, int* y) {
        RECT all{0, 0, 400, 300};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        *y = draw_boxed_name(dc_, dc_, pt, mode, "Stock", nullptr, nullptr, false, false, false);
        return ink();
    };
    int y = 0;
    QRect left = drawn(-3, &y);
    ASSERT_FALSE(left.isEmpty());
    EXPECT_LE(left.right(), 200);
    EXPECT_GE(left.left(), 200 - w - 1);
    EXPECT_EQ(y, (100 + 110 - lh_) / 2 + lh_);
    QRect above = drawn(-2, &y);
    ASSERT_FALSE(above.isEmpty());
    EXPECT_LE(above.bottom(), 100);
    EXPECT_EQ(y, 100);
    EXPECT_NEAR(above.center().x(), 205, w / 4 + 2);
    QRect below = drawn(-1, &y);
    EXPECT_GE(below.top(), 110);
    EXPECT_EQ(y, 110 + lh_);
    QRect right = drawn(-4, &y);
    EXPECT_GE(right.left(), 210);
}

// The lower and upper half bands are each other's mirror: a name wide enough
// to leave the whole box in one mode leaves it in the other too, and the
// bands meet the box's edges the same distance from its middle.
TEST_F(BoxedName, TheLowerAndUpperHalfBandsAreMirrorsForEveryWidth) {
    const RECT r{0, 0, 140, 140};
    int tried = 0;
    for (int k = 1; k < 60; ++k) {
        const std::string name = std::string(static_cast<std::size_t>(k), 'i');
        if (8 * 140 < 10 * width(name)) break; // no longer one line
        RECT lower = r, upper = r;
        draw_boxed_name(dc_, dc_, r, 9, name.c_str(), &lower, nullptr, false, false, false);
        draw_boxed_name(dc_, dc_, r, 10, name.c_str(), &upper, nullptr, false, false, false);
        const bool lower_band = lower.top != 0, upper_band = upper.bottom != 140;
        EXPECT_EQ(lower_band, upper_band) << k << " characters, " << width(name) << " wide";
        if (lower_band && upper_band) {
            EXPECT_GE(lower.top, 70);
            EXPECT_LE(upper.bottom, 70);
        }
        ++tried;
    }
    EXPECT_GT(tried, 20);
}

} // namespace

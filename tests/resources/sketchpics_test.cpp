// The sketch's pictures as a user sees them: each drawn inside its box and
// stretched to it, hollow outlines left on the paper, filled dots inked, and
// the cloud wider than high.
#include "resources/sketchpics.h"

#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "platform/win.h"

namespace {

constexpr COLORREF ink = RGB(0, 0, 200), paper = RGB(255, 255, 255), ground = RGB(0, 200, 0);

// A w x h bitmap on a green ground with picture n drawn into box.
struct Drawn {
    HDC dc = nullptr;
    HBITMAP bm = nullptr;
    HGDIOBJ old = nullptr;
    bool ok = false;
    int w, h;
    Drawn(int n, int width, int height, RECT box) : w(width), h(height) {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bm = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bm);
        HBRUSH g = CreateSolidBrush(ground);
        const RECT all{0, 0, w, h};
        FillRect(dc, &all, g);
        DeleteObject(g);
        ok = draw_sketch_picture(dc, n, box, ink, paper);
    }
    ~Drawn() {
        SelectObject(dc, old);
        DeleteObject(bm);
        DeleteDC(dc);
    }
    COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }
    // The box of the pixels that are not the ground (empty: left > right).
    RECT marked() const {
        RECT r{w, h, -1, -1};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (at(x, y) != ground) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x);
                    r.bottom = std::max<LONG>(r.bottom, y);
                }
        return r;
    }
};

TEST(SketchPictures, EveryNumberFromOneToFiftyDrawsInsideItsBox) {
    for (int n = 1; n <= sketch_picture_count; ++n) {
        SCOPED_TRACE(n);
        Drawn d(n, 100, 100, RECT{20, 20, 80, 80});
        EXPECT_TRUE(d.ok);
        const RECT m = d.marked();
        ASSERT_LE(m.left, m.right) << "something is drawn";
        EXPECT_GE(m.left, 20);
        EXPECT_GE(m.top, 20);
        EXPECT_LE(m.right, 79);
        EXPECT_LE(m.bottom, 79);
        const SIZE s = sketch_picture_size(n);
        if (n == sketch_picture_cloud) {
            EXPECT_EQ(s.cx, 28);
            EXPECT_EQ(s.cy, 18);
        } else {
            EXPECT_EQ(s.cx, 24);
            EXPECT_EQ(s.cy, 24);
        }
    }
    for (int n : {0, -1, sketch_picture_count + 1}) {
        Drawn d(n, 20, 20, RECT{0, 0, 20, 20});
        EXPECT_FALSE(d.ok) << n;
        EXPECT_GT(d.marked().left, d.marked().right) << "nothing drawn for " << n;
        EXPECT_EQ(sketch_picture_size(n).cx, 0);
        EXPECT_EQ(sketch_picture_size(n).cy, 0);
    }
}

// Picture 22 is a circle round the middle of the grid: hollow, and in a box
// twice as wide as high it stays round the box's middle, no taller than the
// box.
TEST(SketchPictures, ACircleIsHollowAndSitsInTheMiddleOfAnyBox) {
    Drawn square(22, 160, 160, RECT{0, 0, 160, 160});
    EXPECT_EQ(square.at(80, 80), ground) << "a circle is not filled";
    const RECT m = square.marked();
    EXPECT_NEAR((m.left + m.right) / 2.0, 80, 3);
    EXPECT_NEAR((m.top + m.bottom) / 2.0, 80, 3);

    Drawn wide(22, 200, 120, RECT{0, 0, 200, 100});
    const RECT w = wide.marked();
    ASSERT_LE(w.left, w.right);
    EXPECT_NEAR((w.left + w.right) / 2.0, 100, 3);
    EXPECT_NEAR((w.top + w.bottom) / 2.0, 50, 3);
    EXPECT_LT(w.bottom, 100);
}

// Picture 38 (a bell) ends in a filled dot at the bottom of the grid: the
// dot's middle is inked, where a hollow ring would leave it open.
TEST(SketchPictures, ADotIsFilledWithTheInk) {
    Drawn d(38, 160, 160, RECT{0, 0, 160, 160});
    // The dot sits at grid (8, 14) with a radius of one sixteenth of the box:
    // about (80, 140), ten pixels across each way.
    EXPECT_EQ(d.at(80, 140), ink);
}

} // namespace

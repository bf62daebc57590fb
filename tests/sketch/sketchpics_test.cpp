// The sketch's pictures drawn into a memory bitmap: every number from 1 to
// 50 draws a picture of its own, other numbers nothing; the cloud shows one
// outline round its puffs, not the puffs' edges across its inside.
#include "platform/win.h"
#include "resources/sketchpics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int side = 48;
constexpr COLORREF paper = RGB(255, 255, 255), ink = RGB(0, 0, 0);

class SketchPictures : public ::testing::Test {
protected:
    void SetUp() override {
        screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, side, side);
        old = SelectObject(dc, bitmap);
    }
    void TearDown() override {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
    }
    // Draws picture n over paper; the ink pixels as a bit pattern.
    std::vector<bool> draw(int n, const RECT& r, bool* drawn) {
        RECT all{0, 0, side, side};
        HBRUSH white = CreateSolidBrush(paper);
        FillRect(dc, &all, white);
        DeleteObject(white);
        *drawn = draw_sketch_picture(dc, n, r, ink, paper);
        std::vector<bool> bits;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) bits.push_back((GetPixel(dc, x, y) & 0xFFFFFF) != paper);
        return bits;
    }
    static int count(const std::vector<bool>& bits) {
        int n = 0;
        for (bool b : bits) n += b ? 1 : 0;
        return n;
    }
    HDC screen = nullptr, dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
};

TEST_F(SketchPictures, EachNumberDrawsAPictureOfItsOwnAndOthersNothing) {
    const RECT r{4, 4, 44, 44};
    bool drawn = true;
    for (int n : {0, -1, 51, 1000}) {
        EXPECT_EQ(count(draw(n, r, &drawn)), 0) << n;
        EXPECT_FALSE(drawn) << n;
        EXPECT_EQ(sketch_picture_size(n).cx, 0) << n;
    }
    std::vector<std::vector<bool>> seen;
    for (int n = 1; n <= sketch_picture_count; ++n) {
        SCOPED_TRACE(n);
        const std::vector<bool> bits = draw(n, r, &drawn);
        EXPECT_TRUE(drawn);
        EXPECT_GT(count(bits), 20);
        // Inside its rectangle (the pen may reach one pixel past it).
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                if (x < r.left - 1 || x > r.right || y < r.top - 1 || y > r.bottom) {
                    ASSERT_FALSE(bits[static_cast<std::size_t>(y * side + x)]) << x << "," << y;
                }
            }
        }
        for (std::size_t k = 0; k < seen.size(); ++k)
            EXPECT_NE(bits, seen[k]) << "same as " << k + 1;
        seen.push_back(bits);
        EXPECT_GT(sketch_picture_size(n).cx, 0);
    }
}

TEST_F(SketchPictures, TheCloudHasOneOutline) {
    const SIZE size = sketch_picture_size(sketch_picture_cloud);
    EXPECT_EQ(size.cx, 28);
    EXPECT_EQ(size.cy, 18);
    const RECT r{2, 10, 2 + size.cx, 10 + size.cy}; // at 100 %
    bool drawn = false;
    const std::vector<bool> bits = draw(sketch_picture_cloud, r, &drawn);
    ASSERT_TRUE(drawn);
    auto at = [&](int x, int y) { return bits[static_cast<std::size_t>(y * side + x)]; };
    // The inside, where the puffs overlap, is clear of their edges: a row
    // through the middle meets the outline only near both ends.
    const int mid = (r.top + r.bottom) / 2 + 2;
    int inner = 0;
    for (int x = r.left + 4; x < r.right - 4; ++x) inner += at(x, mid) ? 1 : 0;
    EXPECT_EQ(inner, 0);
    int left = 0;
    for (int x = r.left - 1; x <= r.left + 2; ++x) left += at(x, mid) ? 1 : 0;
    EXPECT_GT(left, 0);
    // The lower puffs' bottoms are whole: every column about each one's
    // lowest point has ink in the cloud's lowest rows.
    const int w = r.right - r.left, h = r.bottom - r.top;
    for (int x : {r.left + w / 4 - 3, r.left + w / 4, r.left + w / 4 + 3, r.left + 3 * w / 4 - 3,
                  r.left + 3 * w / 4, r.left + 3 * w / 4 + 3}) {
        int bottom = 0;
        for (int y = r.bottom - h / 4; y <= r.bottom; ++y) bottom += at(x, y) ? 1 : 0;
        EXPECT_GT(bottom, 0) << x;
    }
}

} // namespace

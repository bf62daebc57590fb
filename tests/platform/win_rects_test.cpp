// The rectangle helpers programs lay out and hit-test with (a rectangle
// holds its left and top edges, not its right and bottom), and finding
// windows by name and by point.
#include "win_fixture.h"

using namespace wintest;

namespace {

bool same(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

TEST(WinRects, ArithmeticOnRectangles) {
    RECT r{10, 20, 30, 60};
    ASSERT_TRUE(InflateRect(&r, 2, 5));
    EXPECT_TRUE(same(r, RECT{8, 15, 32, 65}));
    ASSERT_TRUE(InflateRect(&r, -3, -1));
    EXPECT_TRUE(same(r, RECT{11, 16, 29, 64}));
    ASSERT_TRUE(OffsetRect(&r, -11, 4));
    EXPECT_TRUE(same(r, RECT{0, 20, 18, 68}));
    RECT c{};
    ASSERT_TRUE(CopyRect(&c, &r));
    EXPECT_TRUE(same(c, r));
    ASSERT_TRUE(SetRect(&c, 1, 2, 3, 4));
    EXPECT_TRUE(same(c, RECT{1, 2, 3, 4}));
    EXPECT_FALSE(same(c, RECT{1, 2, 3, 5}));
    EXPECT_FALSE(IsRectEmpty(&c));
    const RECT flat{5, 5, 5, 9}, upside{5, 5, 9, 4};
    EXPECT_TRUE(IsRectEmpty(&flat));
    EXPECT_TRUE(IsRectEmpty(&upside));
}

TEST(WinRects, APointIsInsideUpToButNotOnTheRightAndBottomEdges) {
    const RECT r{10, 20, 30, 60};
    EXPECT_TRUE(PtInRect(&r, POINT{10, 20}));
    EXPECT_TRUE(PtInRect(&r, POINT{29, 59}));
    EXPECT_FALSE(PtInRect(&r, POINT{30, 40}));
    EXPECT_FALSE(PtInRect(&r, POINT{15, 60}));
    EXPECT_FALSE(PtInRect(&r, POINT{9, 40}));
    EXPECT_FALSE(PtInRect(&r, POINT{15, 19}));
}

TEST(WinRects, IntersectionsUnionsAndDifferences) {
    const RECT a{0, 0, 100, 50}, b{60, 20, 150, 90}, far{200, 200, 210, 210}, none{};
    RECT r{};
    EXPECT_TRUE(IntersectRect(&r, &a, &b));
    EXPECT_TRUE(same(r, RECT{60, 20, 100, 50}));
    EXPECT_FALSE(IntersectRect(&r, &a, &far));
    EXPECT_TRUE(same(r, RECT{0, 0, 0, 0}));
    // Touching edges share nothing.
    const RECT beside{100, 0, 120, 50};
    EXPECT_FALSE(IntersectRect(&r, &a, &beside));

    EXPECT_TRUE(UnionRect(&r, &a, &b));
    EXPECT_TRUE(same(r, RECT{0, 0, 150, 90}));
    EXPECT_TRUE(UnionRect(&r, &none, &b)); // an empty one adds nothing
    EXPECT_TRUE(same(r, b));
    EXPECT_TRUE(UnionRect(&r, &a, &none));
    EXPECT_TRUE(same(r, a));
    EXPECT_FALSE(UnionRect(&r, &none, &none));

    // Only a cut across a whole side leaves a smaller rectangle.
    const RECT top_band{-5, -5, 105, 10}, bottom_band{-5, 40, 105, 55}, left_band{-5, -5, 30, 55},
        right_band{80, -5, 105, 55}, hole{20, 10, 40, 30};
    EXPECT_TRUE(SubtractRect(&r, &a, &top_band));
    EXPECT_TRUE(same(r, RECT{0, 10, 100, 50}));
    EXPECT_TRUE(SubtractRect(&r, &a, &bottom_band));
    EXPECT_TRUE(same(r, RECT{0, 0, 100, 40}));
    EXPECT_TRUE(SubtractRect(&r, &a, &left_band));
    EXPECT_TRUE(same(r, RECT{30, 0, 100, 50}));
    EXPECT_TRUE(SubtractRect(&r, &a, &right_band));
    EXPECT_TRUE(same(r, RECT{0, 0, 80, 50}));
    EXPECT_TRUE(SubtractRect(&r, &a, &hole)); // a hole: the rectangle stays whole
    EXPECT_TRUE(same(r, a));
    const RECT all{-1, -1, 101, 51};
    EXPECT_FALSE(SubtractRect(&r, &a, &all));
}

class WinFind : public WinTest {};

TEST_F(WinFind, WindowsAreFoundByNameWhateverTheCase) {
    HWND a = CreateWindowEx(0, "Test_plain", "Kavrel Results", WS_POPUP, 0, 0, 50, 50, nullptr,
                            nullptr, nullptr, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(FindWindow(nullptr, "kavrel results"), a);
    EXPECT_EQ(FindWindow("TEST_PLAIN", "KAVREL RESULTS"), a);
    EXPECT_EQ(FindWindow(nullptr, "Kavrel"), nullptr); // the whole name only
    HWND p = top(0, 0, 300, 200);
    HWND c1 = CreateWindowEx(0, "Test_plain", "Item", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, p,
                             nullptr, nullptr, nullptr);
    HWND c2 = CreateWindowEx(0, "Test_plain", "ITEM", WS_CHILD | WS_VISIBLE, 20, 0, 10, 10, p,
                             nullptr, nullptr, nullptr);
    EXPECT_EQ(FindWindowEx(p, nullptr, nullptr, "item"), c1);
    EXPECT_EQ(FindWindowEx(p, c1, nullptr, "item"), c2);
    EXPECT_EQ(FindWindowEx(p, c2, nullptr, "item"), nullptr);
}

TEST_F(WinFind, TheChildAtAPointHoldsItsLeftAndTopEdgesOnly) {
    HWND p = top(0, 0, 300, 200);
    HWND c = child(p, 1, 20, 30, 40, 50); // client of the parent: 20..59 across, 30..79 down
    HWND glass = CreateWindowEx(WS_EX_TRANSPARENT, "Test_plain", "", WS_CHILD | WS_VISIBLE, 100,
                                100, 40, 40, p, nullptr, nullptr, nullptr);
    ASSERT_NE(glass, nullptr);
    EXPECT_EQ(ChildWindowFromPointEx(p, POINT{20, 30}, CWP_ALL), c);
    EXPECT_EQ(ChildWindowFromPointEx(p, POINT{59, 79}, CWP_ALL), c);
    EXPECT_EQ(ChildWindowFromPointEx(p, POINT{60, 50}, CWP_ALL), p);
    EXPECT_EQ(ChildWindowFromPointEx(p, POINT{40, 80}, CWP_ALL), p);
    EXPECT_EQ(ChildWindowFromPointEx(p, POINT{110, 110}, CWP_ALL), glass);
    EXPECT_EQ(ChildWindowFromPointEx(p, POINT{110, 110}, CWP_SKIPTRANSPARENT), p);
    ShowWindow(c, SW_HIDE);
    EXPECT_EQ(ChildWindowFromPointEx(p, POINT{30, 40}, CWP_SKIPINVISIBLE), p);
    EXPECT_EQ(ChildWindowFromPointEx(p, POINT{30, 40}, CWP_ALL), c);
}

} // namespace

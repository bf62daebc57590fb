// The main window's remembered place at its edges: the smallest window kept,
// a place below or beside the screen moved up or across by no more than it
// must, and the first start's window.
#include "shell_fixture.h"

#include "shell/mainplace.h"

namespace {

// 200 by 150 is the smallest window worth keeping, in each direction alone.
TEST(MainPlaceEdges, TheSmallestKeptWindowIs200By150) {
    EXPECT_TRUE(parse_main_place("0,0,200,150"));
    EXPECT_TRUE(parse_main_place("0,0,400,160")) << "a low wide window is kept";
    EXPECT_TRUE(parse_main_place("0,0,210,900")) << "a narrow tall one too";
    EXPECT_FALSE(parse_main_place("0,0,199,150"));
    EXPECT_FALSE(parse_main_place("0,0,200,149"));
    // Written and read back with the smallest size.
    const main_place small{{30, 40, 230, 190}, false};
    const auto back = parse_main_place(format_main_place(small));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rect.right, 230);
    EXPECT_EQ(back->rect.bottom, 190);
    EXPECT_FALSE(back->maximised);
}

// A wide, low window below the screen comes up until its bottom is the
// screen's; one right of it comes left until its right edge is; one larger
// than the screen shrinks to it.
TEST(MainPlaceEdges, AWindowOffTheScreenMovesOnlyAsFarAsItMust) {
    const RECT screen{0, 0, 1024, 768};
    RECT r = bring_onto({100, 700, 900, 900}, screen);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 568);
    EXPECT_EQ(r.right, 900);
    EXPECT_EQ(r.bottom, 768);
    r = bring_onto({1000, 100, 1250, 300}, screen);
    EXPECT_EQ(r.left, 774);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right, 1024);
    EXPECT_EQ(r.bottom, 300);
    r = bring_onto({-50, -20, 1950, 1180}, screen);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 1024);
    EXPECT_EQ(r.bottom, 768);
    // A screen that does not start at the origin (a second monitor).
    r = bring_onto({0, 0, 300, 200}, {1024, 100, 2048, 868});
    EXPECT_EQ(r.left, 1024);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right, 1324);
    EXPECT_EQ(r.bottom, 300);
}

class MainPlaceStart : public ShellWorkbenchTest {};

// The first start (no setting): three quarters of the screen each way,
// centred, maximised. With a setting: that place.
TEST_F(MainPlaceStart, TheFirstStartTakesThreeQuartersOfTheScreenCentred) {
    ini_set("MainWindow", nullptr);
    const int sw = GetSystemMetrics(SM_CXVIRTUALSCREEN), sh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int sx = GetSystemMetrics(SM_XVIRTUALSCREEN), sy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    ASSERT_GT(sw, 0);
    ASSERT_GT(sh, 0);
    const main_place p = initial_main_place();
    EXPECT_TRUE(p.maximised);
    const LONG w = p.rect.right - p.rect.left, h = p.rect.bottom - p.rect.top;
    EXPECT_NEAR(static_cast<double>(w), 0.75 * sw, 1.0);
    EXPECT_NEAR(static_cast<double>(h), 0.75 * sh, 1.0);
    // As much room left as right, above as below.
    EXPECT_NEAR(static_cast<double>(p.rect.left - sx), static_cast<double>(sx + sw - p.rect.right),
                1.0);
    EXPECT_NEAR(static_cast<double>(p.rect.top - sy), static_cast<double>(sy + sh - p.rect.bottom),
                1.0);

    ini_set("MainWindow", "20,30,300,200,0");
    const main_place saved = initial_main_place();
    EXPECT_FALSE(saved.maximised);
    ASSERT_EQ(sx, 0);
    ASSERT_EQ(sy, 0);
    EXPECT_EQ(saved.rect.left, 20);
    EXPECT_EQ(saved.rect.top, 30);
    EXPECT_EQ(saved.rect.right - saved.rect.left, 300);
    EXPECT_EQ(saved.rect.bottom - saved.rect.top, 200);
    ini_set("MainWindow", nullptr);
}

} // namespace

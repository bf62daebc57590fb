// The small controls' faces and places read back by pixel: the bevel's four
// edges raised and pressed, a colour button holding "none" where none is not
// allowed, the picker's place at the screen's very edges, and a tip's size
// round its text.
#include "shell_fixture.h"

#include "shell/controls/bevel.h"
#include "shell/controls/buttons.h"
#include "shell/controls/colorpick.h"
#include "shell/controls/tooltip.h"

#include <QImage>

namespace td = test_driver;

namespace {

class ControlFaces : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        screen_right = 1280;
        screen_bottom = 800;
    }
    void TearDown() override {
        screen_right = screen_bottom = 0;
        ShellWorkbenchTest::TearDown();
    }
};

// Raised: white along the top and left, black along the bottom and right
// with a shadow line inside them. Pressed: the other way round, the shadow
// inside the black top and left.
TEST_F(ControlFaces, TheBevelsEdgesRaisedAndPressed) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 40, 30);
    HGDIOBJ old = SelectObject(dc, target);
    auto at = [&](int x, int y) { return GetPixel(dc, x, y) & 0xFFFFFF; };
    const COLORREF white = RGB(255, 255, 255), black = 0, shadow = bevel_shadow_colour() & 0xFFFFFF,
                   face = bevel_face_colour() & 0xFFFFFF;
    bevel_content c{};
    c.dc_mode = bevel_content::dc_clear;
    draw_bevel_button(dc, dc, 0, 0, 30, 20, 0, &c);
    EXPECT_EQ(at(15, 0), white) << "top";
    EXPECT_EQ(at(0, 10), white) << "left";
    EXPECT_EQ(at(15, 19), black) << "bottom";
    EXPECT_EQ(at(29, 10), black) << "right";
    EXPECT_EQ(at(15, 18), shadow) << "inside the bottom";
    EXPECT_EQ(at(28, 10), shadow) << "inside the right";
    EXPECT_EQ(at(15, 10), face);
    draw_bevel_button(dc, dc, 0, 0, 30, 20, 1, &c);
    EXPECT_EQ(at(15, 0), black) << "top";
    EXPECT_EQ(at(0, 10), black) << "left";
    EXPECT_EQ(at(15, 19), white) << "bottom";
    EXPECT_EQ(at(29, 10), white) << "right";
    EXPECT_EQ(at(15, 1), shadow) << "inside the top";
    EXPECT_EQ(at(1, 10), shadow) << "inside the left";
    EXPECT_EQ(at(15, 10), face);
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

// "None" held by a button that does not allow it shows the black the picker
// gives for that cell; allowed, it shows "-" on the plain face.
TEST_F(ControlFaces, AColourButtonHoldingNoneShowsBlackUnlessNoneIsAllowed) {
    HWND parent =
        make_test_window("FacesParent", DefWindowProc, WS_POPUP | WS_VISIBLE, 200, 100, main_wnd);
    ASSERT_NE(parent, nullptr);
    HWND b = CreateWindow("Kavrel_colorbutton", "", WS_CHILD | WS_VISIBLE, 10, 10, 40, 20, parent,
                          handle_from_token<HMENU>(57), hinst, nullptr);
    ASSERT_NE(b, nullptr);
    SendMessage(b, cb_set_colour, 0, static_cast<LPARAM>(no_colour));
    td::run_until_idle();
    QImage img = td::image(b);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.pixel(20, 10) & 0xFFFFFF, 0u) << "black in the middle";
    EXPECT_EQ(img.pixel(6, 6) & 0xFFFFFF, 0u);
    EXPECT_EQ(static_cast<COLORREF>(SendMessage(b, cb_get_colour, 0, 0)), no_colour)
        << "the colour held stays none";
    SendMessage(b, cb_set_flags, cbf_allow_none, 0);
    td::run_until_idle();
    img = td::image(b);
    const QRgb face = qRgb(GetRValue(bevel_face_colour()), GetGValue(bevel_face_colour()),
                           GetBValue(bevel_face_colour())) &
                      0xFFFFFF;
    EXPECT_EQ(img.pixel(6, 6) & 0xFFFFFF, face) << "the plain face round the \"-\"";
    DestroyWindow(parent);
}

// Setting a colour without flags keeps the button's flags: a button that
// allows "none" still shows "-" for it after its colour was set.
TEST_F(ControlFaces, SettingAColourKeepsTheButtonsFlags) {
    HWND parent =
        make_test_window("FacesParent", DefWindowProc, WS_POPUP | WS_VISIBLE, 200, 100, main_wnd);
    HWND b = CreateWindow("Kavrel_colorbutton", "", WS_CHILD | WS_VISIBLE, 10, 10, 40, 20, parent,
                          handle_from_token<HMENU>(58), hinst, nullptr);
    ASSERT_NE(b, nullptr);
    SendMessage(b, cb_set_flags, cbf_allow_none, 0);
    SendMessage(b, cb_set_colour, 0, RGB(255, 0, 0));
    SendMessage(b, cb_set_colour, 0, static_cast<LPARAM>(no_colour));
    td::run_until_idle();
    const QImage img = td::image(b);
    ASSERT_FALSE(img.isNull());
    const QRgb face = qRgb(GetRValue(bevel_face_colour()), GetGValue(bevel_face_colour()),
                           GetBValue(bevel_face_colour())) &
                      0xFFFFFF;
    EXPECT_EQ(img.pixel(6, 6) & 0xFFFFFF, face) << "still a \"-\" button, not black";
    DestroyWindow(parent);
}

// A press on a cell, moved off it and back before the release, still picks
// that cell; moved about off it and released there, nothing is picked.
TEST_F(ControlFaces, APressMovedOffACellAndBackStillPicksIt) {
    HWND parent =
        make_test_window("FacesParent", DefWindowProc, WS_POPUP | WS_VISIBLE, 200, 100, main_wnd);
    HWND b = CreateWindow("Kavrel_colorbutton", "", WS_CHILD | WS_VISIBLE, 10, 10, 40, 20, parent,
                          handle_from_token<HMENU>(59), hinst, nullptr);
    ASSERT_NE(b, nullptr);
    SendMessage(b, cb_set_colour, 0, RGB(1, 2, 3));
    const RECT cell = picker_cell_rect(9); // row 1, column 1
    const int cx = (cell.left + cell.right) / 2, cy = (cell.top + cell.bottom) / 2;
    auto pick = [&](bool back) {
        td::on_idle([&, back] {
            HWND p = picker_window();
            ASSERT_NE(p, nullptr);
            // Each move taken before the next (moves waiting together are one).
            td::mouse_down(p, cx, cy);
            td::run_until_idle();
            td::mouse_move(p, cx + 60, cy + 40);
            td::run_until_idle();
            td::mouse_move(p, cx + 80, cy + 40); // still off it
            td::run_until_idle();
            if (back) td::mouse_move(p, cx, cy);
            td::run_until_idle();
            td::mouse_up(p, back ? cx : cx + 80, back ? cy : cy + 40);
            td::run_until_idle();
            PostMessage(nullptr, WM_NULL, 0, 0);
        });
        td::advance(1000);
        td::click(b, 5, 5);
        td::run_until_idle();
        return static_cast<COLORREF>(SendMessage(b, cb_get_colour, 0, 0));
    };
    EXPECT_EQ(pick(false), RGB(1, 2, 3)) << "released off the cell: no change";
    EXPECT_EQ(pick(true), picker_colour(9));
    DestroyWindow(parent);
}

// The picker goes below its button when it just fits there, and keeps its
// left edge when its right edge just meets the screen's.
TEST_F(ControlFaces, ThePickerFitsExactlyAgainstTheScreensEdges) {
    const int below = 800 - picker_height; // the top that ends at the bottom edge
    POINT p = picker_origin(100, below - 20, 20, 0);
    EXPECT_EQ(p.y, below) << "ends on the last row: still below";
    p = picker_origin(100, below - 19, 20, 0);
    EXPECT_EQ(p.y, below - 19 - picker_height) << "a row too low: above";
    p = picker_origin(1280 - picker_width, 100, 20, 0);
    EXPECT_EQ(p.x, 1280 - picker_width);
    p = picker_origin(1281 - picker_width, 100, 20, 0);
    EXPECT_EQ(p.x, 1280 - picker_width);
    // Above when asked, when that fits.
    p = picker_origin(100, 400, 20, 1);
    EXPECT_EQ(p.y, 400 - picker_height);
}

// A one-line tip holds its text with two pixels to spare on each side and
// one above and below, where the tip draws it.
TEST_F(ControlFaces, AOneLineTipHoldsItsTextWithAMargin) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    for (const char* text : {"Run", "Simulate the model with the current settings"}) {
        SIZE ext{};
        GetTextExtentPoint32(dc, text, static_cast<int>(std::strlen(text)), &ext);
        const SIZE tip = tooltip_size(dc, text, false);
        EXPECT_GE(tip.cx, ext.cx + 4) << text;
        EXPECT_GE(tip.cy, ext.cy + 2) << text;
        EXPECT_LE(tip.cx, ext.cx + 8) << "no more than a margin: " << text;
        EXPECT_LE(tip.cy, ext.cy + 4) << text;
    }
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
}

} // namespace

// The bitmap button, the colour button and the colour picker, driven as a
// user would: presses and releases through the test driver, the picker's own
// loop level answered from on_idle, and the drawn faces read back by pixel.
#include "shell_fixture.h"

#include "resources/bitmaps.h"
#include "shell/controls/bevel.h"
#include "shell/controls/buttons.h"
#include "shell/controls/colorpick.h"

#include <QColor>
#include <QImage>

namespace td = test_driver;

namespace {

// A parent that records the WM_COMMANDs its buttons send.
std::vector<int> commands;
LRESULT parent_proc_rec(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND) {
        commands.push_back(static_cast<int>(LOWORD(wp)));
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

QRgb rgb(COLORREF c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}
QRgb pixel(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFF;
}

class Buttons : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        commands.clear();
        make_workbench();
        parent = make_test_window("ButtonParent", parent_proc_rec, WS_POPUP | WS_VISIBLE, 300, 200,
                                  main_wnd); // owned, as the dialogs are
        ASSERT_NE(parent, nullptr);
        screen_right = 1280;
        screen_bottom = 800;
    }
    HWND child(const char* cls, const char* text, int id, int x, int y, int w, int h) {
        return CreateWindow(cls, text, WS_CHILD | WS_VISIBLE, x, y, w, h, parent,
                            handle_from_token<HMENU>(static_cast<std::uint32_t>(id)), hinst,
                            nullptr);
    }
    // Opens the picker with a click on `button` and, inside its loop level,
    // does `inside` with the picker window.
    void pick_with(HWND button, const std::function<void(HWND)>& inside) {
        td::on_idle([&, inside] {
            HWND p = picker_window();
            ASSERT_NE(p, nullptr);
            seen_picker = td::image(p);
            RECT wr{};
            GetWindowRect(p, &wr);
            picker_rect = wr;
            inside(p);
            td::run_until_idle();
            PostMessage(nullptr, WM_NULL, 0, 0);
        });
        td::advance(1000); // apart from the last click: not a double click
        td::click(button, 5, 5);
        td::run_until_idle();
    }
    HWND parent = nullptr;
    QImage seen_picker;
    RECT picker_rect{};
};

TEST_F(Buttons, BitmapButtonSendsItsCommandWhereverThePressEnds) {
    HWND b = child("Kavrel_bitbutton", "#164", 77, 10, 10, 30, 24);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(GetWindowLong(b, 0) & 0xFFFF, 77);
    // Pressed, dragged out (state 1), released outside: the command is sent.
    td::mouse_down(b, 5, 5);
    td::run_until_idle();
    EXPECT_EQ((GetWindowLong(b, 0) >> 16) & 0xFF, 2);
    td::mouse_move(b, 60, 60, 0);
    td::run_until_idle();
    EXPECT_EQ((GetWindowLong(b, 0) >> 16) & 0xFF, 1);
    td::mouse_move(b, 6, 6, 0);
    td::run_until_idle();
    EXPECT_EQ((GetWindowLong(b, 0) >> 16) & 0xFF, 2);
    td::mouse_move(b, 80, 5, 0);
    td::mouse_up(b, 80, 5);
    td::run_until_idle();
    EXPECT_EQ(commands, std::vector<int>{77});
    EXPECT_EQ((GetWindowLong(b, 0) >> 16) & 0xFF, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    // A release with no press before it sends nothing.
    td::mouse_up(b, 5, 5);
    td::run_until_idle();
    EXPECT_EQ(commands.size(), 1u);
}

TEST_F(Buttons, BitmapButtonFaceAndAMissingBitmap) {
    HWND with = child("Kavrel_bitbutton", "#164", 1, 10, 10, 40, 24);
    HWND without = child("Kavrel_bitbutton", "no such bitmap", 2, 60, 10, 40, 24);
    ASSERT_NE(with, nullptr);
    ASSERT_NE(without, nullptr);
    EXPECT_EQ(GetWindowLong(without, 4), 0);
    td::run_until_idle();
    QImage a = td::image(with), n = td::image(without);
    QRgb face = rgb(bevel_face_colour()) & 0xFFFFFF;
    // Both: the black frame, the white top-left line and the two-pixel shadow.
    for (const QImage* img : {&a, &n}) {
        EXPECT_EQ(pixel(*img, 0, 0), 0u);
        EXPECT_EQ(pixel(*img, 39, 23), 0u);
        EXPECT_EQ(pixel(*img, 1, 5), 0xFFFFFFu);
        EXPECT_EQ(pixel(*img, 37, 10), rgb(bevel_shadow_colour()) & 0xFFFFFF);
        EXPECT_EQ(pixel(*img, 38, 10), rgb(bevel_shadow_colour()) & 0xFFFFFF);
    }
    // The missing bitmap leaves the whole inside in the face colour; the
    // strip's first cell (x 0 to 15 of the strip is its blank start, the
    // "new" page at 16) shows the face too, so only count differences over
    // the blitted area.
    int differ = 0;
    for (int y = 3; y < 21; ++y)
        for (int x = 3; x < 35; ++x) differ += pixel(n, x, y) != face;
    EXPECT_EQ(differ, 0);
    td::save_png(with, testing::TempDir() + "/kavrel_bitbutton.png");
}

TEST_F(Buttons, PickerPlacementStaysOnScreen) {
    // Below the button, left edge at its left.
    POINT p = picker_origin(100, 100, 20, 0);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 120);
    // Near the right edge: shifted left so that it ends inside.
    p = picker_origin(1250, 100, 20, 0);
    EXPECT_EQ(p.x, 1280 - picker_width);
    // No room below: above the button.
    p = picker_origin(100, 750, 20, 0);
    EXPECT_EQ(p.y, 750 - picker_height);
    // Asked to go above with no room there: below after all.
    p = picker_origin(100, 50, 20, 1);
    EXPECT_EQ(p.y, 70);
    // Off the left edge, and a screen too short for either side.
    p = picker_origin(-40, 10, 20, 0);
    EXPECT_EQ(p.x, 0);
    screen_bottom = 120;
    p = picker_origin(10, 60, 20, 0);
    EXPECT_EQ(p.y, 0);
}

TEST_F(Buttons, PickerCellsLeaveTheGapsOut) {
    EXPECT_EQ(picker_cell_at(2, 2), 0);
    EXPECT_EQ(picker_cell_at(19, 13), 0);
    EXPECT_EQ(picker_cell_at(20, 5), -1); // the gap between columns 0 and 1
    EXPECT_EQ(picker_cell_at(5, 14), -1); // the gap between rows 0 and 1
    EXPECT_EQ(picker_cell_at(22, 16), 9);
    EXPECT_EQ(picker_cell_at(2 + 20 * 7 + 17, 2 + 14 * 7 + 11), 63);
    EXPECT_EQ(picker_cell_at(1, 5), -1);
    EXPECT_EQ(picker_cell_at(200, 5), -1);
    // The custom colours fill the last two rows, grey until set.
    EXPECT_EQ(picker_colour(48), 0x00C0C0C0u);
    set_custom_colour(3, RGB(1, 2, 3));
    EXPECT_EQ(picker_colour(51), RGB(1, 2, 3));
    set_custom_colour(3, 0x00C0C0C0);
}

TEST_F(Buttons, ColourButtonPicksACellUnderItsOwnLoopLevel) {
    HWND b = child("Kavrel_colorbutton", "", 55, 100, 50, 30, 16);
    ASSERT_NE(b, nullptr);
    SendMessage(b, cb_set_colour, 0, RGB(0, 0, 255));
    EXPECT_EQ(static_cast<COLORREF>(SendMessage(b, cb_get_colour, 0, 0)), RGB(0, 0, 255));
    int depth_inside = -1;
    pick_with(b, [&](HWND p) {
        depth_inside = maintain_depth();
        RECT r = picker_cell_rect(8 * 3 + 3); // row 3, column 3: 0062A040
        td::mouse_down(p, r.left + 4, r.top + 4);
        td::mouse_up(p, r.left + 4, r.top + 4);
    });
    EXPECT_EQ(depth_inside, 1);
    EXPECT_EQ(picker_window(), nullptr);
    EXPECT_EQ(static_cast<COLORREF>(SendMessage(b, cb_get_colour, 0, 0)), 0x0062A040u);
    EXPECT_EQ(commands, std::vector<int>{55});
    // The picker opened just below the button's window rectangle.
    RECT br{};
    GetWindowRect(b, &br);
    EXPECT_EQ(picker_rect.left, br.left);
    EXPECT_EQ(picker_rect.top, br.bottom);
    EXPECT_EQ(busy_depth, 0);
}

TEST_F(Buttons, NoneCellPicksBlackWithoutNoneAndMinusOneWithIt) {
    HWND b = child("Kavrel_colorbutton", "", 56, 10, 10, 30, 16);
    SendMessage(b, cb_set_colour, 0, RGB(255, 0, 0));
    auto cell0 = [](HWND p) {
        td::mouse_down(p, 8, 7);
        td::mouse_up(p, 8, 7);
    };
    pick_with(b, cell0);
    EXPECT_EQ(static_cast<COLORREF>(SendMessage(b, cb_get_colour, 0, 0)), 0u);
    // Without "none" the top-left cell shows the black it picks.
    ASSERT_FALSE(seen_picker.isNull());
    EXPECT_EQ(pixel(seen_picker, 10, 8), 0u);
    QImage face_black = td::image(b);
    EXPECT_EQ(pixel(face_black, 15, 8), 0u);

    SendMessage(b, cb_set_colour, cbf_allow_none, RGB(255, 0, 0));
    pick_with(b, cell0);
    EXPECT_EQ(static_cast<COLORREF>(SendMessage(b, cb_get_colour, 0, 0)), no_colour);
    // With "none" the cell shows "-" on the face: no black fill.
    EXPECT_EQ(pixel(seen_picker, 4, 5), rgb(bevel_face_colour()) & 0xFFFFFF);
    EXPECT_EQ(commands, (std::vector<int>{56, 56}));
}

TEST_F(Buttons, AClickInAGapOrAFocusChangeLeavesTheColour) {
    HWND b = child("Kavrel_colorbutton", "", 57, 10, 10, 30, 16);
    SendMessage(b, cb_set_colour, 0, RGB(255, 0, 0));
    pick_with(b, [](HWND p) {
        EXPECT_NE(p, nullptr);
        td::mouse_down(p, 20, 5); // between two cells
        td::mouse_up(p, 20, 5);
    });
    EXPECT_EQ(static_cast<COLORREF>(SendMessage(b, cb_get_colour, 0, 0)), RGB(255, 0, 0));
    // Pressed on a cell, released off it: nothing either.
    pick_with(b, [](HWND p) {
        td::mouse_down(p, 30, 20);
        td::mouse_move(p, 100, 100, 0);
        td::mouse_up(p, 100, 100);
    });
    EXPECT_EQ(static_cast<COLORREF>(SendMessage(b, cb_get_colour, 0, 0)), RGB(255, 0, 0));
    pick_with(b, [&](HWND) { SetFocus(parent); });
    EXPECT_EQ(static_cast<COLORREF>(SendMessage(b, cb_get_colour, 0, 0)), RGB(255, 0, 0));
    EXPECT_EQ(picker_window(), nullptr);
}

TEST_F(Buttons, ScreenshotOfThePicker) {
    HWND b = child("Kavrel_colorbutton", "", 58, 10, 10, 30, 16);
    SendMessage(b, cb_set_colour, cbf_allow_none, RGB(255, 0, 0));
    std::string png = testing::TempDir() + "/kavrel_colour_picker.png";
    bool saved = false;
    pick_with(b, [&](HWND p) {
        saved = td::save_png(p, png);
        SetFocus(parent);
    });
    ASSERT_TRUE(saved);
    QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.width(), picker_width - 2);
    EXPECT_EQ(img.height(), picker_height - 2);
    // Every cell shows its colour at its centre (cell 0 its "-" on the face),
    // and the gaps the face.
    for (int i = 1; i < picker_cells; ++i) {
        RECT r = picker_cell_rect(i);
        EXPECT_EQ(pixel(img, (r.left + r.right) / 2, (r.top + r.bottom) / 2),
                  rgb(picker_colour(i)) & 0xFFFFFF)
            << "cell " << i;
    }
    EXPECT_EQ(pixel(img, 20, 30), rgb(bevel_face_colour()) & 0xFFFFFF);
    // Raised cells: white top-left, black bottom-right.
    RECT r = picker_cell_rect(9);
    EXPECT_EQ(pixel(img, r.left, r.top + 3), 0xFFFFFFu);
    EXPECT_EQ(pixel(img, r.right - 1, r.top + 3), 0u);
}

TEST_F(Buttons, BevelStatesAndPaintedStrips) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 40, 30);
    HGDIOBJ old = SelectObject(dc, target);
    HBITMAP strip = paint_resource_bitmap(bitmap_toolbar, bevel_face_colour(), 0);
    ASSERT_NE(strip, nullptr);
    bevel_content c{};
    c.kind = bevel_content::strip_cell;
    c.image = strip;
    c.cell_x = 240; // stop: a red square from (3, 3) to (13, 13) in its cell
    auto at = [&](int x, int y) { return GetPixel(dc, x, y) & 0xFFFFFF; };
    draw_bevel_button(dc, dc, 0, 0, 23, 22, 0, &c);
    EXPECT_EQ(at(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(at(22, 21), 0u);
    EXPECT_EQ(at(21, 10), bevel_shadow_colour() & 0xFFFFFF);
    EXPECT_EQ(at(3 + 8, 3 + 8), RGB(192, 0, 0));
    draw_bevel_button(dc, dc, 0, 0, 23, 22, 1, &c);
    EXPECT_EQ(at(0, 0), 0u);
    EXPECT_EQ(at(22, 21), RGB(255, 255, 255));
    EXPECT_EQ(at(1, 10), bevel_shadow_colour() & 0xFFFFFF);
    // Pressed, the image moves one pixel: its top-left corner (the square's
    // outline at 3, 3 of the cell) is now at (7, 7).
    EXPECT_EQ(at(3 + 4, 3 + 4), 0u);
    EXPECT_EQ(at(3 + 3, 3 + 3), bevel_face_colour() & 0xFFFFFF);
    // Flat: no bevel at all, the face everywhere but the image.
    draw_bevel_button(dc, dc, 0, 0, 23, 22, -1, &c);
    EXPECT_EQ(at(0, 0), bevel_face_colour() & 0xFFFFFF);
    EXPECT_EQ(at(22, 21), bevel_face_colour() & 0xFFFFFF);
    // A missing image draws no content and does not fail.
    c.image = nullptr;
    draw_bevel_button(dc, dc, 0, 0, 23, 22, 0, &c);
    EXPECT_EQ(at(11, 11), bevel_face_colour() & 0xFFFFFF);
    // Every painted bitmap exists; other ids give none.
    for (int id : {bitmap_dropdown, bitmap_bottom_bar, bitmap_caption, bitmap_palette,
                   bitmap_sketch_tools}) {
        HBITMAP b = paint_resource_bitmap(id, 0xC0C0C0, 0);
        EXPECT_NE(b, nullptr) << id;
        DeleteObject(b);
    }
    EXPECT_EQ(paint_resource_bitmap(149, 0, 0), nullptr);
    DeleteObject(strip);
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

} // namespace

// The bottom bar and the menu bar following the active build window: the
// build table filled from the window's view on activation (and given up to
// an output window), and the maximised build window's caption buttons on the
// menu bar with what each does.
#include "shell_fixture.h"
#include "shot.h"

#include "platform/menu.h"
#include "resources/menus.h"
#include "shell/bottombar.h"
#include "shell/captionbtn.h"
#include "shell/controls/bevel.h"
#include "shell/menubar.h"
#include "shell/title.h"
#include "shell/winlist.h"

namespace td = test_driver;

namespace {

bottom_view_values fake_values;
HWND asked_for = nullptr;

bool fake_hook(HWND frame, bottom_view_values* out) {
    asked_for = frame;
    *out = fake_values;
    return true;
}

class BuildBar : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        MoveWindow(main_wnd, 0, 0, 900, 500, TRUE);
        layout_frame(main_wnd);
        td::run_until_idle();
        set_bottom_status(nullptr);
        fake_values = bottom_view_values{};
        asked_for = nullptr;
        bottom_view_hook = fake_hook;
        shell_opts.build_maximised = 1;
    }
    void TearDown() override {
        bottom_view_hook = nullptr;
        shell_opts.build_maximised = 1;
        ShellWorkbenchTest::TearDown();
    }
    static HWND build_window() {
        return CreateWindow("Kavrel_sketch_mother", "Model: m View: 1", WS_CHILD | WS_VISIBLE, 0, 0,
                            300, 200, container_wnd, nullptr, hinst, nullptr);
    }
    static std::string text(int index) {
        return bottom_items()[static_cast<std::size_t>(index)].text;
    }
};

TEST_F(BuildBar, ActivationFillsTheTableFromTheWindowsView) {
    fake_values.view_name = "Overview";
    fake_values.shown_level = 3;
    fake_values.face = "Serif";
    fake_values.size = 123; // shown up to 99
    fake_values.style = 1 | 4;
    fake_values.text_colour = RGB(1, 2, 3);
    fake_values.outline_colour = RGB(4, 5, 6);
    fake_values.connector_colour = RGB(7, 8, 9);
    HWND w = build_window();
    activate_window(w, 0, 0);
    td::run_until_idle();
    EXPECT_EQ(asked_for, w);
    EXPECT_EQ(bottom_mode(), bm_build);
    ASSERT_EQ(bottom_items().size(), static_cast<std::size_t>(build_item_count));
    EXPECT_EQ(text(bi_choose_view), "Overview");
    EXPECT_EQ(text(bi_depth), "Depth 3");
    EXPECT_EQ(text(bi_font), "Serif");
    EXPECT_EQ(text(bi_size), "99");
    EXPECT_EQ(text(bi_bold) + text(bi_bold + 1) + text(bi_bold + 2) + text(bi_bold + 3), "BiUs");
    EXPECT_EQ(bottom_items()[bi_text_colour].colour, RGB(1, 2, 3));
    EXPECT_EQ(bottom_items()[bi_outline_colour].colour, RGB(4, 5, 6));
    EXPECT_EQ(bottom_items()[bi_connector_colour].colour, RGB(7, 8, 9));

    // The depth's two ends have names; a small size keeps its column.
    fake_values.shown_level = 0;
    fake_values.size = 8;
    set_bottom_view_values(fake_values);
    EXPECT_EQ(text(bi_depth), "Hide");
    EXPECT_EQ(text(bi_size), " 8");
    fake_values.shown_level = 17;
    set_bottom_view_values(fake_values);
    EXPECT_EQ(text(bi_depth), "Show");
}

TEST_F(BuildBar, TheBarFollowsTheActiveWindowsKind) {
    HWND build = build_window();
    activate_window(build, 0, 0);
    EXPECT_EQ(bottom_mode(), bm_build);
    // An output window takes the bar to its text mode ...
    output_menu_bar();
    active_kind = kind_output;
    EXPECT_EQ(bottom_mode(), bm_text);
    // ... and the build window brings its table back, with a stored status
    // text shown after the view items instead of the table.
    active_child = nullptr;
    set_bottom_status("12,40");
    activate_window(build, 0, 0);
    EXPECT_EQ(bottom_mode(), bm_build);
    ASSERT_EQ(bottom_items().size(), 4u);
    EXPECT_EQ(bottom_items()[3].text, "12,40");
    EXPECT_EQ(bottom_items()[3].command, bottom_no_command);
}

TEST_F(BuildBar, CaptionButtonsShowOnlyForTheActiveMaximisedBuildWindow) {
    EXPECT_FALSE(caption_buttons_shown());
    HWND build = build_window();
    activate_window(build, 0, 0);
    EXPECT_EQ(GetMenuBarButtonCount(main_wnd), 3);
    // With no active window they go.
    active_child = nullptr;
    active_kind = kind_none;
    rebuild_menu_bar();
    EXPECT_FALSE(caption_buttons_shown());
    // Not shown maximised: none.
    shell_opts.build_maximised = 0;
    active_child = nullptr;
    activate_window(build, 0, 0);
    EXPECT_FALSE(caption_buttons_shown());
}

TEST_F(BuildBar, CaptionButtonsMinimiseRestoreAndClose) {
    HWND build = build_window();
    activate_window(build, 0, 0);
    ASSERT_EQ(GetMenuBarButtonCount(main_wnd), 3);

    // Minimise: hidden, listed in the Windows menu, no longer active; the
    // buttons go. Choosing it from the list shows it again.
    ASSERT_TRUE(ClickMenuBarButton(main_wnd, 0));
    td::run_until_idle();
    EXPECT_FALSE(IsWindowVisible(build));
    EXPECT_NE(active_child, build);
    EXPECT_FALSE(caption_buttons_shown());
    select_window_item(first_window_item);
    td::run_until_idle();
    EXPECT_TRUE(IsWindowVisible(build));
    EXPECT_EQ(active_child, build);
    EXPECT_TRUE(caption_buttons_shown());

    // Restore: its own caption and border, three quarters of the container,
    // no buttons on the menu bar.
    ASSERT_TRUE(ClickMenuBarButton(main_wnd, 1));
    td::run_until_idle();
    EXPECT_EQ(shell_opts.build_maximised, 0);
    EXPECT_EQ(GetWindowLong(build, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
    RECT c{}, r{};
    GetClientRect(container_wnd, &c);
    GetWindowRect(build, &r);
    EXPECT_EQ(r.right - r.left, c.right * 3 / 4);
    EXPECT_FALSE(caption_buttons_shown());

    // The next build window, made without a caption, is shown maximised
    // again, with the buttons.
    HWND next = build_window();
    activate_window(next, 0, 0);
    EXPECT_EQ(shell_opts.build_maximised, 1);
    EXPECT_TRUE(caption_buttons_shown());
    RECT n{};
    GetWindowRect(next, &n);
    EXPECT_EQ(n.right - n.left, c.right);

    // Close goes to the active window as the Close command.
    activate_window(build, 0, 0);
    ASSERT_TRUE(caption_buttons_shown());
    std::vector<int> got;
    static std::vector<int>* sink;
    sink = &got;
    SetWindowLongPtr(build, GWLP_WNDPROC,
                     reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) {
                         if (m == WM_COMMAND) sink->push_back(LOWORD(wp));
                         return DefWindowProc(w, m, wp, lp);
                     }));
    ASSERT_TRUE(ClickMenuBarButton(main_wnd, 2));
    td::run_until_idle();
    EXPECT_EQ(got, std::vector<int>{cmd_close});
    EXPECT_FALSE(ClickMenuBarButton(main_wnd, 3));
}

// The buttons as the menu bar shows them: dark outlines and pictures at its
// right end that were not there before, and faces drawn from the caption
// bitmap (the pressed close face differs from the raised one).
TEST_F(BuildBar, ScreenshotOfTheCaptionButtonsOnTheMenuBar) {
    ShowWindow(main_wnd, SW_SHOW);
    td::run_until_idle();
    auto dark_at_right_end = [](const QImage& img) {
        int dark = 0;
        for (int y = 0; y < 22 && y < img.height(); ++y)
            for (int x = std::max(0, img.width() - 70); x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 60) ++dark;
        return dark;
    };
    QImage before = save_shot(main_wnd, "menubar_plain.png");
    ASSERT_FALSE(before.isNull());
    HWND build = build_window();
    activate_window(build, 0, 0);
    QImage after = save_shot(main_wnd, "menubar_caption_buttons.png");
    EXPECT_EQ(dark_at_right_end(before), 0);
    EXPECT_GT(dark_at_right_end(after), 30);
    // The faces' pixels, row by row.
    auto pixels = [](HBITMAP b) {
        std::vector<COLORREF> px;
        BITMAP info{};
        if (!b || !GetObject(b, sizeof info, &info)) return px;
        EXPECT_EQ(info.bmWidth, caption_button_size);
        EXPECT_EQ(info.bmHeight, caption_button_size);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, b);
        for (int y = 0; y < info.bmHeight; ++y)
            for (int x = 0; x < info.bmWidth; ++x) px.push_back(GetPixel(dc, x, y) & 0xFFFFFF);
        SelectObject(dc, old);
        DeleteDC(dc);
        return px;
    };
    const int last = caption_button_size * caption_button_size - 1;
    for (int i = 0; i < 3; ++i) {
        std::vector<COLORREF> up = pixels(caption_button_face(i, false));
        std::vector<COLORREF> down = pixels(caption_button_face(i, true));
        ASSERT_EQ(up.size(), static_cast<std::size_t>(last + 1)) << i;
        EXPECT_NE(up, down) << i;
        // Raised: white top-left corner, black bottom-right; the picture
        // inside adds the text colour to the face.
        EXPECT_EQ(up[0], RGB(255, 255, 255)) << i;
        EXPECT_EQ(up[static_cast<std::size_t>(last)], RGB(0, 0, 0)) << i;
        std::size_t centre = static_cast<std::size_t>(caption_button_size * 7);
        int inked = 0;
        for (std::size_t k = centre; k < centre + caption_button_size; ++k)
            inked += up[k] == bevel_text_colour();
        EXPECT_GT(inked, 0) << i;
    }
}

} // namespace

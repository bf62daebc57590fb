// The input slider on the workbench with a model's setup copies: thumb drags
// with steps and limits, typed values, the scale messages, the keys its edit
// box hands to the sketch frame; and the dial gauge's needle.
#include "shell_fixture.h"

#include "foundation/names.h"
#include "shell/controls/gauge.h"
#include "shell/controls/slider.h"
#include "sim/game.h"
#include "sim/setup.h"

#include <QImage>

#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

namespace td = test_driver;

namespace {

constexpr int slider_w = 240, slider_h = 60;
constexpr int slot = 1;

class Slider : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        std::string model = sample("population.kmf");
        ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
        ASSERT_EQ(make_setup_copy(), 1);
        host = make_test_window("SliderHost", DefWindowProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400,
                                300);
        ASSERT_NE(host, nullptr);
    }
    void TearDown() override {
        clear_setup();
        ShellWorkbenchTest::TearDown();
    }

    HWND make_slider(HWND parent, int w = slider_w, int h = slider_h, DWORD style = 0) {
        return CreateWindow("Kavrel_vslider", "", WS_CHILD | WS_VISIBLE | style, 10, 10, w, h,
                            parent, reinterpret_cast<HMENU>(std::uintptr_t{77}), hinst, nullptr);
    }
    static void send_float(HWND s, UINT m, float v) {
        SendMessage(s, m, 0, reinterpret_cast<LPARAM>(&v));
    }
    static float value(HWND s) {
        float v = -1;
        SendMessage(s, vs_get_value, 0, reinterpret_cast<LPARAM>(&v));
        return v;
    }
    static float slot_value() {
        handle_lock<float> v(setup_copy);
        return v.get()[slot];
    }
    static std::string edit_text(HWND s) {
        char buf[64] = "";
        GetWindowText(GetDlgItem(s, slider_edit_id), buf, sizeof buf);
        return buf;
    }
    // A 0..10 slider bound to the slot, at 0.
    HWND bound_slider() {
        HWND s = make_slider(host);
        send_float(s, vs_set_minimum, 0);
        send_float(s, vs_set_maximum, 10);
        SendMessage(s, vs_bind_slot, slot, 0);
        send_float(s, vs_set_value, 0);
        return s;
    }
    // Drags the thumb (at the start of the track) by dx pixels.
    static void drag_thumb(HWND s, int dx) {
        td::mouse_down(s, 8, 20);
        td::run_until_idle();
        td::mouse_move(s, 8 + dx, 20);
        td::run_until_idle();
        td::mouse_up(s, 8 + dx, 20);
        td::run_until_idle();
    }
    // The thumb's travel in a horizontal slider of this width: the track
    // from 2 to width - 5, less the thumb (an eighth of the width, at most 40).
    static int travel(int w) { return w - 7 - std::min(40, w / 8); }

    HWND host = nullptr;
};

TEST_F(Slider, DraggingSnapsToTheIncrementAndKeepsToTheLimits) {
    HWND s = bound_slider();
    send_float(s, vs_set_increment, 0.5f);
    // 3.3 of 10 along the travel: the nearest step is 3.5.
    drag_thumb(s, static_cast<int>(std::lround(0.33 * travel(slider_w))));
    EXPECT_FLOAT_EQ(value(s), 3.5f);
    EXPECT_FLOAT_EQ(slot_value(), 3.5f);
    EXPECT_EQ(edit_text(s), "3.5");
    EXPECT_EQ(GetCapture(), nullptr);

    // A lower limit of 2 on the scale 0..10: the start of the track gives 2.
    send_float(s, vs_set_minimum, 2);  // minimum and lower limit
    send_float(s, vs_minimum_only, 0); // the scale starts at 0 again
    send_float(s, vs_set_increment, 0);
    td::mouse_down(s, 2 + static_cast<int>(std::lround(0.35 * travel(slider_w))) + 6, 20);
    td::run_until_idle();
    td::mouse_move(s, -100, 20);
    td::run_until_idle();
    td::mouse_up(s, -100, 20);
    td::run_until_idle();
    EXPECT_FLOAT_EQ(value(s), 2.0f);
    EXPECT_FLOAT_EQ(slot_value(), 2.0f);
    // Past the end: the maximum.
    td::mouse_down(s, 8 + static_cast<int>(std::lround(0.2 * travel(slider_w))), 20);
    td::run_until_idle();
    td::mouse_move(s, slider_w + 50, 20);
    td::run_until_idle();
    td::mouse_up(s, slider_w + 50, 20);
    td::run_until_idle();
    EXPECT_FLOAT_EQ(value(s), 10.0f);
}

TEST_F(Slider, EveryValueWrittenReadsBackWhateverTheScale) {
    // Scales whose values a float computation took out of range or pinned:
    // what is written stays finite, inside the scale, and reads back as
    // itself through the program's own number reader.
    struct scale {
        float lo, hi, step;
    };
    const float big = std::numeric_limits<float>::max();
    for (const scale& sc : {scale{-big, big, 0}, scale{-3e38f, 3e38f, 1e30f}, scale{0, 1, 1e-40f},
                            scale{0, 1, 1e-12f}, scale{1e-30f, 3e-30f, 0}}) {
        HWND s = make_slider(host);
        send_float(s, vs_set_minimum, sc.lo);
        send_float(s, vs_set_maximum, sc.hi);
        send_float(s, vs_set_increment, sc.step);
        SendMessage(s, vs_bind_slot, slot, 0);
        send_float(s, vs_set_value, sc.lo);
        for (double at : {0.25, 0.5, 0.9}) {
            drag_thumb(s, static_cast<int>(std::lround(at * travel(slider_w))));
            const float v = slot_value();
            ASSERT_TRUE(std::isfinite(v)) << sc.lo << " " << sc.hi << " " << sc.step;
            EXPECT_GE(v, sc.lo);
            EXPECT_LE(v, sc.hi);
            // Not pinned at an end by a step too small to take.
            EXPECT_LT(v, sc.hi) << sc.step << " at " << at;
            EXPECT_GT(v, sc.lo) << sc.step << " at " << at;
            char text[64];
            std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
            float back = 0;
            ASSERT_TRUE(parse_number(text, &back, 0)) << text;
            EXPECT_EQ(back, v) << text;
            send_float(s, vs_set_value, sc.lo);
            td::mouse_down(s, 8, 20); // back to the start for the next drag
            td::mouse_up(s, 8, 20);
            td::run_until_idle();
        }
        DestroyWindow(s);
    }
}

TEST_F(Slider, AScaleWithNoValuesIsReadOnly) {
    const float before = slot_value();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (auto [lo, hi] : {std::pair{nan, 10.0f}, std::pair{0.0f, inf}, std::pair{5.0f, 5.0f}}) {
        HWND s = make_slider(host);
        send_float(s, vs_set_minimum, lo);
        send_float(s, vs_set_maximum, hi);
        SendMessage(s, vs_bind_slot, slot, 0);
        HWND edit = GetDlgItem(s, slider_edit_id);
        EXPECT_FALSE(IsWindowEnabled(edit)) << lo << " " << hi;
        drag_thumb(s, 100);
        EXPECT_EQ(slot_value(), before) << lo << " " << hi;
        DestroyWindow(s);
    }
}

TEST_F(Slider, WithoutAValueSlotTheEditBoxIsReadOnlyAndNothingIsWritten) {
    HWND s = make_slider(host);
    send_float(s, vs_set_value, 0);
    const float before = slot_value();
    HWND edit = GetDlgItem(s, slider_edit_id);
    ASSERT_NE(edit, nullptr);
    EXPECT_FALSE(IsWindowEnabled(edit));
    EXPECT_TRUE(GetWindowLong(edit, GWL_STYLE) & ES_READONLY);
    drag_thumb(s, 100);
    EXPECT_FLOAT_EQ(value(s), 0.0f);
    EXPECT_FLOAT_EQ(slot_value(), before);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Slider, TypedValuesAreTakenOnFocusLossAndNonsenseIsUndone) {
    HWND s = bound_slider();
    HWND edit = GetDlgItem(s, slider_edit_id);
    ASSERT_TRUE(IsWindowEnabled(edit));
    auto type_and_leave = [&](const char* text) {
        SetFocus(edit);
        SetWindowText(edit, text);
        SetFocus(main_wnd);
        td::run_until_idle();
    };
    type_and_leave("7.25");
    EXPECT_FLOAT_EQ(value(s), 7.25f);
    EXPECT_FLOAT_EQ(slot_value(), 7.25f);
    type_and_leave("seven");
    EXPECT_FLOAT_EQ(value(s), 7.25f);
    EXPECT_FLOAT_EQ(slot_value(), 7.25f);
    EXPECT_EQ(edit_text(s), "7.25");
    type_and_leave("1e3"); // kept to the upper limit
    EXPECT_FLOAT_EQ(value(s), 10.0f);
    EXPECT_FLOAT_EQ(slot_value(), 10.0f);
    type_and_leave("");
    EXPECT_FLOAT_EQ(value(s), 10.0f);
    EXPECT_EQ(edit_text(s), "10");
    // The digits of the number format.
    send_float(s, vs_set_value, 1.0f / 3.0f);
    SendMessage(s, vs_digits, 3, 0);
    EXPECT_EQ(edit_text(s), "0.333");
}

TEST_F(Slider, ScaleMessagesKeepMinimumBelowMaximum) {
    HWND s = bound_slider();
    send_float(s, vs_set_value, 5);
    // Without a place to store it, asking for the value does nothing.
    EXPECT_EQ(SendMessage(s, vs_get_value, 0, 0), 0);
    send_float(s, vs_maximum_only, -5); // below the minimum: the scale is -5..0
    EXPECT_FLOAT_EQ(value(s), 0.0f);
    send_float(s, vs_minimum_only, 8); // the scale 0..8
    send_float(s, vs_set_value, 9);
    send_float(s, vs_maximum_only, 8);
    EXPECT_FLOAT_EQ(value(s), 8.0f);
    // Minimum equal to maximum: the thumb has nowhere to go, nothing breaks.
    send_float(s, vs_set_minimum, 4);
    send_float(s, vs_set_maximum, 4);
    drag_thumb(s, 60);
    EXPECT_FLOAT_EQ(value(s), 4.0f);
    // Messages without lParam are ignored.
    SendMessage(s, vs_set_minimum, 0, 0);
    SendMessage(s, vs_minimum_only, 0, 0);
    EXPECT_FLOAT_EQ(value(s), 4.0f);
}

TEST_F(Slider, ATinySliderHasNoTravelAndStaysAtItsMinimum) {
    HWND s = make_slider(host, 8, 30);
    send_float(s, vs_set_minimum, 1);
    send_float(s, vs_set_maximum, 9);
    SendMessage(s, vs_bind_slot, slot, 0);
    send_float(s, vs_set_value, 1);
    td::mouse_down(s, 3, 5);
    td::run_until_idle();
    td::mouse_move(s, 7, 5);
    td::run_until_idle();
    td::mouse_up(s, 7, 5);
    td::run_until_idle();
    EXPECT_FLOAT_EQ(value(s), 1.0f);
    UpdateWindow(s);
}

TEST_F(Slider, PageKeysGoToTheSketchFrameOnly) {
    HWND frame = CreateWindow("Kavrel_sketch_mother", "sketch", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                              nullptr, nullptr, hinst, nullptr);
    ASSERT_NE(frame, nullptr);
    HWND view =
        make_test_window("SliderTestView", DefWindowProc, WS_CHILD | WS_VISIBLE, 300, 200, frame);
    HWND on_sketch = make_slider(view);
    HWND edit = GetDlgItem(on_sketch, slider_edit_id);
    td::run_until_idle();

    MSG key{edit, WM_KEYDOWN, static_cast<WPARAM>(VK_NEXT), 0, 0, {}, 0};
    EXPECT_TRUE(run_loop_filters(&key));
    MSG got{};
    ASSERT_TRUE(PeekMessage(&got, frame, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(LOWORD(got.wParam), sketch_page_down_command);
    key.wParam = VK_PRIOR;
    EXPECT_TRUE(run_loop_filters(&key));
    ASSERT_TRUE(PeekMessage(&got, frame, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(LOWORD(got.wParam), sketch_page_up_command);
    // Other keys go on to the edit box.
    key.wParam = 'A';
    EXPECT_FALSE(run_loop_filters(&key));

    // Three levels up is the workbench, not a sketch frame: nothing is posted.
    HWND in_dialog = make_slider(container_wnd);
    MSG other{GetDlgItem(in_dialog, slider_edit_id),
              WM_KEYDOWN,
              static_cast<WPARAM>(VK_NEXT),
              0,
              0,
              {},
              0};
    EXPECT_FALSE(run_loop_filters(&other));
    EXPECT_FALSE(PeekMessage(&got, nullptr, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    DestroyWindow(frame);
}

TEST(Gauge, NeedleAnglesFollowTheValue) {
    const double pi = std::numbers::pi;
    gauge_needle n{};
    // The full dial: from a0 at the minimum over the top to 2 pi - a0.
    const double a0 = std::atan(100.0 / 80.0);
    ASSERT_TRUE(gauge_needle_for(gauge_row{0, 0, 10, -1, 3}, 100, 80, n));
    EXPECT_NEAR(n.angle, a0, 1e-9);
    ASSERT_TRUE(gauge_needle_for(gauge_row{0, 0, 10, 5, 3}, 100, 80, n));
    EXPECT_NEAR(n.angle, pi, 1e-9);
    EXPECT_NEAR(n.x1, 50, 1e-9); // straight up from the centre
    EXPECT_NEAR(n.y1, 0, 1e-9);
    ASSERT_TRUE(gauge_needle_for(gauge_row{0, 0, 10, 10, 3}, 100, 80, n));
    EXPECT_NEAR(n.angle, 2 * pi - a0, 1e-9);

    // A half dial taller than wide still moves its needle.
    const double t0 = std::atan(50.0 / 100.0);
    ASSERT_TRUE(gauge_needle_for(gauge_row{0, 0, 10, 0, 0}, 50, 100, n));
    EXPECT_NEAR(n.angle, -t0, 1e-9);
    ASSERT_TRUE(gauge_needle_for(gauge_row{0, 0, 10, 10, 0}, 50, 100, n));
    EXPECT_NEAR(n.angle, t0, 1e-9);
    EXPECT_GT(n.x1, n.x0);
    ASSERT_TRUE(gauge_needle_for(gauge_row{0, 0, 10, 5, 0}, 50, 100, n));
    EXPECT_NEAR(n.angle, 0, 1e-9);
    EXPECT_NEAR(n.y0 - n.y1, 25, 1e-9); // w < 2h - 4: half the width long

    // Maximum equal to minimum and an empty client area divide by nothing.
    ASSERT_TRUE(gauge_needle_for(gauge_row{0, 5, 5, 5, 3}, 100, 80, n));
    EXPECT_TRUE(std::isfinite(n.angle));
    ASSERT_TRUE(gauge_needle_for(gauge_row{0, 5, 5, 5, 0}, 100, 80, n));
    EXPECT_TRUE(std::isfinite(n.angle));
    EXPECT_FALSE(gauge_needle_for(gauge_row{0, 0, 10, 5, 3}, 100, 0, n));
}

TEST_F(Slider, GaugeDrawsItsRowFromTheGameTable) {
    HWND g = CreateWindow("Kavrel_guage", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 80, main_wnd,
                          reinterpret_cast<HMENU>(std::uintptr_t{5}), hinst, nullptr);
    ASSERT_NE(g, nullptr);
    game_gauges = new_handle(2 * sizeof(gauge_row));
    game_gauge_count = 2;
    {
        handle_lock<gauge_row> rows(game_gauges);
        rows.get()[0] = gauge_row{0, 0, 10, 2, 4};
        rows.get()[1] = gauge_row{0, 0, 10, 5, 5}; // this gauge's: straight up
    }
    InvalidateRect(g, nullptr, TRUE);
    UpdateWindow(g);
    QImage img = td::image(g);
    ASSERT_FALSE(img.isNull());
    const QRgb ink =
        qRgb(GetRValue(GetSysColor(COLOR_WINDOWTEXT)), GetGValue(GetSysColor(COLOR_WINDOWTEXT)),
             GetBValue(GetSysColor(COLOR_WINDOWTEXT)));
    auto inked = [&](int x, int y) { return (img.pixel(x, y) & 0xFFFFFF) == (ink & 0xFFFFFF); };
    EXPECT_TRUE(inked(50, 20)); // on the needle, between the centre and the top
    EXPECT_FALSE(inked(30, 40));
    // Message 1024 draws a row handed to it: the needle at the maximum.
    gauge_row at_max{0, 0, 10, 10, 5};
    SendMessage(g, gauge_draw_message, 0, reinterpret_cast<LPARAM>(&at_max));
    img = td::image(g);
    EXPECT_FALSE(inked(50, 20)); // the old needle is gone
    free_handle(game_gauges);
    game_gauges = 0;
    game_gauge_count = 0;
}

// The gauge finds its own row wherever it is in the table, the first too.
TEST_F(Slider, AGaugeOfTheFirstRowDrawsIt) {
    HWND g = CreateWindow("Kavrel_guage", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 80, main_wnd,
                          reinterpret_cast<HMENU>(std::uintptr_t{5}), hinst, nullptr);
    ASSERT_NE(g, nullptr);
    game_gauges = new_handle(2 * sizeof(gauge_row));
    game_gauge_count = 2;
    {
        handle_lock<gauge_row> rows(game_gauges);
        rows.get()[0] = gauge_row{0, 0, 10, 5, 5}; // this gauge's: straight up
        rows.get()[1] = gauge_row{0, 0, 10, 2, 6};
    }
    InvalidateRect(g, nullptr, TRUE);
    UpdateWindow(g);
    QImage img = td::image(g);
    ASSERT_FALSE(img.isNull());
    const QRgb ink =
        qRgb(GetRValue(GetSysColor(COLOR_WINDOWTEXT)), GetGValue(GetSysColor(COLOR_WINDOWTEXT)),
             GetBValue(GetSysColor(COLOR_WINDOWTEXT)));
    EXPECT_EQ(img.pixel(50, 20) & 0xFFFFFF, ink & 0xFFFFFF); // on the needle
    free_handle(game_gauges);
    game_gauges = 0;
    game_gauge_count = 0;
    DestroyWindow(g);
}

TEST_F(Slider, LayoutAndLabelsCanBeHadForAnotherContext) {
    HWND s = bound_slider();
    send_float(s, vs_set_value, 5);
    SendMessage(s, vs_show_labels, 1, 0);
    RECT edit_before{};
    GetWindowRect(GetDlgItem(s, slider_edit_id), &edit_before);
    // Twice the width, as a page might want it: the track follows, the
    // thumb stands at the value's place on it.
    slider_geometry g;
    ASSERT_TRUE(slider_layout(s, SIZE{2 * slider_w, slider_h}, &g));
    EXPECT_EQ(g.track.left, 2);
    EXPECT_EQ(g.track.right, 2 * slider_w - 5);
    const int thumb_w = g.thumb.right - g.thumb.left;
    EXPECT_EQ(thumb_w, 40);
    EXPECT_EQ(g.thumb.left - g.track.left,
              std::lround(0.5 * (g.track.right - g.track.left - thumb_w)));
    EXPECT_GT(g.label_height, 0);
    EXPECT_LE(g.edit.bottom, slider_h);
    // The slider on screen is untouched.
    RECT edit_after{};
    GetWindowRect(GetDlgItem(s, slider_edit_id), &edit_after);
    EXPECT_EQ(edit_after.left, edit_before.left);
    EXPECT_EQ(edit_after.right, edit_before.right);
    EXPECT_FALSE(slider_layout(host, SIZE{100, 50}, &g));
    ASSERT_TRUE(slider_layout(s, SIZE{2 * slider_w, slider_h}, &g));
    // The labels, drawn into a bitmap 20 pixels in: "0" at the left end of
    // the track, "10" at its right end, nothing between.
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 2 * slider_w + 40, slider_h + 40);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all{0, 0, 2 * slider_w + 40, slider_h + 40};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, RGB(0, 0, 0));
    draw_slider_labels(s, dc, g, POINT{20, 20});
    auto ink = [&](int x0, int x1) {
        int n = 0;
        for (int y = 20 + g.track.bottom; y < 20 + g.track.bottom + g.label_height; ++y)
            for (int x = x0; x < x1; ++x) n += GetPixel(dc, x, y) != RGB(255, 255, 255);
        return n;
    };
    const int left = 20 + g.track.left, right = 20 + g.track.right;
    EXPECT_GT(ink(left, left + 20), 0);
    EXPECT_GT(ink(right - 30, right), 0);
    EXPECT_EQ(ink(left + 40, right - 40), 0);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

// A half dial's needle is 4 pixels shorter than the dial is high once the
// dial is at least twice as wide as high less 4 (100 by 52 just is), else
// half the width long.
TEST(Gauge, AHalfDialsNeedleLengthAtTheWidthBoundary) {
    gauge_needle n{};
    ASSERT_TRUE(gauge_needle_for(gauge_row{0, 0, 10, 5, 0}, 100, 52, n));
    EXPECT_NEAR(n.y0 - n.y1, 48, 1e-9);
    ASSERT_TRUE(gauge_needle_for(gauge_row{0, 0, 10, 5, 0}, 99, 52, n));
    EXPECT_NEAR(n.y0 - n.y1, 49, 1e-9); // trunc(99 / 2)
}

// A typed value too near 0 to be kept exactly as a float (below the smallest
// normal one) is taken as 0, which reads back as itself.
TEST_F(Slider, AValueTooNearZeroToKeepIsTakenAsZero) {
    HWND s = make_slider(host);
    send_float(s, vs_set_minimum, -1);
    send_float(s, vs_set_maximum, 1);
    SendMessage(s, vs_bind_slot, slot, 0);
    send_float(s, vs_set_value, 0.5f);
    HWND edit = GetDlgItem(s, slider_edit_id);
    for (const char* tiny : {"1e-40", "-1e-39"}) {
        SetFocus(edit);
        SetWindowText(edit, "0.5");
        SetFocus(main_wnd);
        td::run_until_idle();
        ASSERT_FLOAT_EQ(slot_value(), 0.5f);
        SetFocus(edit);
        SetWindowText(edit, tiny);
        SetFocus(main_wnd);
        td::run_until_idle();
        EXPECT_EQ(value(s), 0.0f) << tiny;
        EXPECT_EQ(slot_value(), 0.0f) << tiny;
    }
}

// The digits of the number format are significant digits, not places after
// the point; a typed value may have blanks after it.
TEST_F(Slider, DigitsAreSignificantAndATrailingBlankIsNoFault) {
    HWND s = bound_slider();
    SendMessage(s, vs_digits, 3, 0);
    send_float(s, vs_set_value, 2.5f);
    EXPECT_EQ(edit_text(s), "2.5");
    send_float(s, vs_set_value, 10.0f);
    EXPECT_EQ(edit_text(s), "10");
    SendMessage(s, vs_digits, 0, 0);
    HWND edit = GetDlgItem(s, slider_edit_id);
    SetFocus(edit);
    SetWindowText(edit, "4.5  ");
    SetFocus(main_wnd);
    td::run_until_idle();
    EXPECT_FLOAT_EQ(value(s), 4.5f);
    EXPECT_FLOAT_EQ(slot_value(), 4.5f);
    EXPECT_EQ(edit_text(s), "4.5");
}

} // namespace

// Output records and framed output windows in the workbench container:
// placement, hand-over to a tool's window, closing all, and the frame's
// caption strip, keys, wheel and drag, through the test driver.
#include "resources/options.h"
#include "shell/controls/tooltip.h"
#include "shell/floats.h"
#include "shell/options.h"
#include "shell/settings_rows.h"
#include "shell/toolset.h"
#include "shell/toolset_hooks.h"
#include "shell/upcalls.h"
#include "sim/control.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <QImage>

#include <vector>

namespace {

// What the test tool windows were sent, and how they answer Close.
struct tool_log {
    std::vector<int> commands;
    std::vector<std::pair<UINT, int>> scrolls;
    bool refuse_close = false; // busy (printing): Close does nothing
    int released = 0;
};
tool_log g_log;

void test_release(handle) {
    ++g_log.released;
}

LRESULT test_tool_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_COMMAND: {
        int cmd = LOWORD(wp);
        g_log.commands.push_back(cmd);
        handle rec = record_of(w);
        if (cmd == cmd_lock_output || cmd == cmd_unlock_output) {
            auto* r = static_cast<output_record*>(lock_handle(rec));
            if (r) r->keep = cmd == cmd_lock_output;
            unlock_handle(rec);
        }
        if (cmd == cmd_close_output && !g_log.refuse_close) {
            auto* r = static_cast<output_record*>(lock_handle(rec));
            bool kept = r && r->keep;
            if (r) unlock_handle(rec);
            if (kept) return 0; // a locked window refuses Close
            unlist_output_window(rec);
            test_release(rec);
            destroy_tool_window(w);
            free_output_record(rec);
        }
        return 0;
    }
    case WM_VSCROLL:
    case WM_HSCROLL:
        g_log.scrolls.push_back({m, LOWORD(wp)});
        return 0;
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

class OutputWindows : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        g_log = {};
        cascade_x = cascade_y = 0;
        WNDCLASS wc{};
        wc.lpfnWndProc = test_tool_proc;
        wc.hInstance = hinst;
        wc.cbWndExtra = sizeof(LONG_PTR);
        wc.lpszClassName = "KTestTool";
        RegisterClass(&wc);
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(container_wnd, 50, 30, 600, 400, TRUE);
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        free_toolset(0);
        ShellWorkbenchTest::TearDown();
    }

    // A record with a window of the test class at (x, y).
    HWND open(const char* title, int x = -1, int y = -1, int w = 200, int h = 120,
              handle* rec_out = nullptr) {
        handle rec = new_output_record(16, 5);
        auto* r = static_cast<output_record*>(lock_handle(rec));
        r->release = test_release;
        HWND win = open_output_window(rec, "KTestTool", title, x, y, w, h, 0);
        if (win && !r->window) {
            SetWindowLongPtr(win, 0, static_cast<LONG_PTR>(rec));
            r->window = win;
        }
        unlock_handle(rec);
        if (!win) free_output_record(rec);
        if (rec_out) *rec_out = win ? rec : 0;
        return win;
    }
    static HWND frame(HWND tool) { return GetParent(tool); }
    static RECT place(HWND tool) {
        RECT rc{};
        GetWindowRect(frame(tool), &rc);
        MapWindowPoints(nullptr, container_wnd, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }
    static int frames() {
        return static_cast<int>(test_driver::find_windows("Kavrel_toolwrap").size());
    }
};

TEST_F(OutputWindows, CascadeStepsWrapsAndClamps) {
    int x, y;
    cascade_position(200, 100, &x, &y);
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 0);
    cascade_position(200, 100, &x, &y);
    EXPECT_EQ(x, 40);
    // Crossing the right edge starts a row 20 lower, at most 20 from the left.
    cascade_x = 500;
    cascade_position(200, 100, &x, &y);
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 20);
    // Nearly as wide as the container: less than 20.
    cascade_position(590, 100, &x, &y);
    EXPECT_EQ(x, 10);
    // Past the bottom: back to the top.
    cascade_y = 350;
    cascade_position(100, 100, &x, &y);
    EXPECT_EQ(y, 0);

    // Given places near the right and bottom edges are pulled in.
    HWND a = open("A", 580, 390);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(place(a).left, 600 - 90);
    EXPECT_EQ(place(a).top, 400 - 30);
    // A container narrower than 90 pixels: x stays at 0, not below.
    MoveWindow(container_wnd, 50, 30, 60, 20, TRUE);
    HWND b = open("B", 40, 10);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(place(b).left, 0);
    EXPECT_EQ(place(b).top, 0);
}

TEST_F(OutputWindows, PresetRectIsUsedOnceAndTheGuardClearsOneShots) {
    preset_rect = {30, 40, 150, 90};
    HWND a = open("A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(place(a).left, 30);
    EXPECT_EQ(place(a).top, 40);
    RECT rc;
    GetClientRect(a, &rc);
    EXPECT_EQ(rc.right, 150);
    EXPECT_EQ(preset_rect.x, 0);
    HWND b = open("B");
    EXPECT_EQ(place(b).left, 20); // cascaded

    {
        output_oneshots_guard guard;
        opening_tool = 77;
        preset_rect = {5, 5, 5, 5};
        present_wnd = main_wnd;
        io_parent_wnd = main_wnd;
    } // an action that stopped before opening
    EXPECT_EQ(opening_tool, 0u);
    EXPECT_EQ(preset_rect.x, 0);
    EXPECT_EQ(present_wnd, nullptr);
    EXPECT_EQ(io_parent_wnd, nullptr);
}

TEST_F(OutputWindows, ToolRunAgainHandsItsWindowOverKeepingTheLock) {
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    handle tool = grid_tool(palette_cells, 0, 11);
    handle first = 0, second = 0;
    opening_tool = tool;
    HWND a = open("Graph 1", -1, -1, 200, 120, &first);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(opening_tool, 0u);
    tool_record* t = lock_tool(tool);
    EXPECT_EQ(t->output, first);
    unlock_tool(tool);
    auto* r = static_cast<output_record*>(lock_handle(first));
    r->keep = 1;
    unlock_handle(first);

    opening_tool = tool;
    HWND b = open("Graph 2", -1, -1, 200, 120, &second);
    EXPECT_EQ(b, a); // the same window
    EXPECT_EQ(frames(), 1);
    EXPECT_EQ(g_log.released, 1);
    EXPECT_FALSE(handle_valid(first));
    r = static_cast<output_record*>(lock_handle(second));
    EXPECT_EQ(r->keep, 1);
    EXPECT_EQ(r->window, a);
    unlock_handle(second);
    EXPECT_EQ(record_of(a), second);
    char title[64];
    GetWindowText(frame(a), title, sizeof title);
    EXPECT_STREQ(title, "Graph 2");
    t = lock_tool(tool);
    EXPECT_EQ(t->output, second);
    unlock_tool(tool);

    // Closing (unlocked) stores the window's place in the tool and clears it.
    r = static_cast<output_record*>(lock_handle(second));
    r->keep = 0;
    unlock_handle(second);
    RECT where = place(a);
    SendMessage(a, WM_COMMAND, cmd_close_output, 0);
    t = lock_tool(tool);
    EXPECT_EQ(t->output, 0u);
    EXPECT_EQ(t->rect[0], where.left);
    EXPECT_EQ(t->rect[2], 200);
    EXPECT_EQ(t->rect[3], 120);
    unlock_tool(tool);
}

TEST_F(OutputWindows, FreeingTheToolSetClearsTheRecordsTool) {
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    handle rec = 0;
    opening_tool = grid_tool(palette_cells, 0, 2);
    HWND a = open("Loops", -1, -1, 100, 100, &rec);
    ASSERT_NE(a, nullptr);
    free_toolset(0);
    auto* r = static_cast<output_record*>(lock_handle(rec));
    EXPECT_EQ(r->tool, 0u);
    unlock_handle(rec);
    SendMessage(a, WM_COMMAND, cmd_close_output, 0); // touches no freed tool
    EXPECT_EQ(frames(), 0);
}

TEST_F(OutputWindows, AFrameWithoutItsToolWindowIsNotLeft) {
    handle rec = new_output_record(0, 5);
    HWND w = open_output_window(rec, "NoSuchClass", "x", 10, 10, 50, 50, 0);
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(frames(), 0);
    free_output_record(rec);
}

TEST_F(OutputWindows, CloseAllSparesKeptWindowsAndEndsWithRefusingOnes) {
    handle kept = 0;
    open("A");
    open("B", -1, -1, 200, 120, &kept);
    open("C");
    auto* r = static_cast<output_record*>(lock_handle(kept));
    r->keep = 1;
    unlock_handle(kept);
    close_framed_tool_windows(0);
    EXPECT_EQ(frames(), 1);

    // A window that does not close (busy) gets Close once and the call ends.
    g_log.commands.clear();
    g_log.refuse_close = true;
    close_framed_tool_windows(1);
    EXPECT_EQ(g_log.commands, std::vector<int>{cmd_close_output});
    EXPECT_EQ(frames(), 1);
    g_log.refuse_close = false;
    close_all_tool_windows(1); // through the shell's hook
    EXPECT_EQ(frames(), 0);
}

TEST_F(OutputWindows, CaptionButtonsKeysWheelAndTips) {
    HWND a = open("A", 10, 10, 300, 150);
    HWND f = frame(a);
    RECT fc;
    GetClientRect(f, &fc);
    EXPECT_EQ(toolwrap_hit(fc.right, 3, 5), 0);
    EXPECT_EQ(toolwrap_hit(fc.right, 20, 5), 1);
    EXPECT_EQ(toolwrap_hit(fc.right, 74, 5), 4);
    EXPECT_EQ(toolwrap_hit(fc.right, 90, 5), 5);
    EXPECT_EQ(toolwrap_hit(fc.right, fc.right - 20, 5), 6);
    EXPECT_EQ(toolwrap_hit(fc.right, fc.right - 5, 5), 7);
    EXPECT_EQ(toolwrap_hit(fc.right, 20, 16), -1);

    // Lock through its button: the command is posted to the tool window.
    test_driver::click(f, 20, 7);
    test_driver::run_until_idle();
    EXPECT_EQ(g_log.commands, std::vector<int>{cmd_lock_output});
    // A press that leaves the button posts nothing.
    g_log.commands.clear();
    test_driver::mouse_down(f, 35, 7);
    test_driver::mouse_move(f, 120, 7);
    test_driver::mouse_up(f, 120, 7);
    test_driver::run_until_idle();
    EXPECT_TRUE(g_log.commands.empty());

    // Locked: no Delete button, no close button; keys still send 492,
    // which the window refuses.
    test_driver::click(f, 3, 7);
    test_driver::click(f, fc.right - 5, 7);
    test_driver::run_until_idle();
    EXPECT_TRUE(g_log.commands.empty());
    SendMessage(f, WM_KEYDOWN, VK_DELETE, 0);
    SendMessage(f, WM_KEYDOWN, VK_F4, 0);
    win_set_key_state(VK_CONTROL, true);
    SendMessage(f, WM_KEYDOWN, 'W', 0);
    SendMessage(f, WM_KEYDOWN, 'P', 0);
    win_set_key_state(VK_CONTROL, false);
    EXPECT_EQ(g_log.commands, (std::vector<int>{492, 492, 492, cmd_print_output}));
    EXPECT_EQ(frames(), 1);
    close_framed_tool_windows(0);
    EXPECT_EQ(frames(), 1);

    // Tips: the locked window offers no Delete tip and "Unlock" at 1.
    tip_request req;
    EXPECT_EQ(SendMessage(f, wm_tip_request, 0, reinterpret_cast<LPARAM>(&req)), 0);
    EXPECT_EQ(SendMessage(f, wm_tip_request, 1, reinterpret_cast<LPARAM>(&req)), 1);
    EXPECT_STREQ(req.text, "Unlock this window");
    EXPECT_EQ(req.x, 15);
    EXPECT_EQ(SendMessage(f, wm_tip_request, 5, reinterpret_cast<LPARAM>(&req)), 0);

    // Keys and the wheel scroll the tool window; 200 units are two lines.
    SendMessage(f, WM_KEYDOWN, VK_NEXT, 0);
    SendMessage(f, WM_KEYDOWN, VK_LEFT, 0);
    SendMessage(f, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-200)), 0);
    SendMessage(f, WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, 120), 0);
    std::vector<std::pair<UINT, int>> want = {{WM_VSCROLL, SB_PAGEDOWN},
                                              {WM_HSCROLL, SB_LINEUP},
                                              {WM_VSCROLL, SB_LINEDOWN},
                                              {WM_VSCROLL, SB_LINEDOWN},
                                              {WM_HSCROLL, SB_LINEDOWN}};
    EXPECT_EQ(g_log.scrolls, want);
}

TEST_F(OutputWindows, DragStaysInTheContainerAndMaximiseToggles) {
    HWND a = open("A", 100, 100, 200, 100);
    HWND f = frame(a);
    RECT fc;
    GetClientRect(f, &fc);
    test_driver::click(f, fc.right - 25, 7);
    test_driver::run_until_idle();
    EXPECT_TRUE(tool_maximised);
    RECT full = place(a);
    EXPECT_EQ(full.left, 0);
    EXPECT_EQ(full.right, 600);
    RECT client;
    GetClientRect(a, &client);
    EXPECT_EQ(client.bottom, 400 - caption_height);
    // The toggle again restores the frame.
    GetClientRect(f, &fc);
    test_driver::click(f, fc.right - 25, 7);
    test_driver::run_until_idle();
    EXPECT_FALSE(tool_maximised);
    EXPECT_EQ(place(a).left, 100);
    GetClientRect(a, &client);
    EXPECT_EQ(client.bottom, 100);

    RECT before = place(a);
    const int w = before.right - before.left;
    const int bx = GetSystemMetrics(SM_CXFRAME), by = GetSystemMetrics(SM_CYFRAME);
    // The press and release as the frame gets them (the driver's pointer
    // does not follow a drag outside the frame).
    auto drag_to = [&](int x, int y) {
        SendMessage(f, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 5));
        SendMessage(f, WM_LBUTTONUP, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
    };
    drag_to(-2000, -2000);
    RECT after = place(a);
    EXPECT_EQ(after.left, bx - w + 30);
    EXPECT_EQ(after.top, -by);
    drag_to(5000, 5000);
    after = place(a);
    EXPECT_EQ(after.right - after.left, w);
    EXPECT_EQ(after.left, 600 - 75 - bx);
    EXPECT_EQ(after.top, 400 - by - caption_height);
}

} // namespace

namespace {

// The title of a window that is not the active one is shown so as soon as
// another becomes active, and reads as clearly as the active one's: its
// darkest (or lightest) text pixel stands out from the caption bar by at
// least 4.5 to 1.
TEST_F(OutputWindows, AnInactiveFramesTitleStandsOutFromItsBar) {
    HWND a = open("Population graph", 40, 30, 300, 150);
    HWND b = open("Other", 200, 120, 300, 150);
    activate_window(frame(a), 0, 0);
    test_driver::run_until_idle();
    // Another window made active: the first's title strip is painted anew
    // in the inactive colours.
    activate_window(frame(b), 0, 0);
    test_driver::run_until_idle();
    HWND f = frame(a);
    const std::string png = ::testing::TempDir() + "/inactive-frame.png";
    ASSERT_TRUE(test_driver::save_png(f, png));
    const QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull());
    // The bar's colour right of the title, then the title's pixels.
    const QRgb bar = img.pixel(img.width() - 60, 7) & 0xFFFFFF;
    const COLORREF back = RGB(qRed(bar), qGreen(bar), qBlue(bar));
    EXPECT_EQ(back, GetSysColor(COLOR_INACTIVECAPTION));
    double best = 1;
    for (int y = 0; y < 15; ++y)
        for (int x = 5 * 15 + 8; x < 5 * 15 + 8 + 100 && x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            best = std::max(best, colour_contrast(RGB(qRed(p), qGreen(p), qBlue(p)), back));
        }
    EXPECT_GE(best, 4.5);
}

// The frame as the user sees it: caption buttons of an unlocked, a locked
// and a maximised window, checked by the pixels of its picture.
TEST_F(OutputWindows, FramePicturesUnlockedLockedAndMaximised) {
    handle rec = 0;
    HWND a = open("Population", 40, 30, 300, 150, &rec);
    HWND f = frame(a);
    activate_window(f, 0, 0);
    test_driver::run_until_idle();
    UpdateWindow(f);
    auto shot = [&](const char* name) {
        std::string png = dir + "/" + name;
        EXPECT_TRUE(test_driver::save_png(f, png));
        return QImage(QString::fromStdString(png));
    };
    auto white = [](const QImage& img, int x, int y) {
        return (img.pixel(x, y) & 0xFFFFFF) == 0xFFFFFFu;
    };
    RECT fc;
    GetClientRect(f, &fc);
    const int ox = 0, oy = 0; // the picture is the frame's client area

    QImage open_img = shot("frame-open.png");
    ASSERT_FALSE(open_img.isNull());
    // Raised buttons have a white top-left edge: Delete at 0, Lock at 15,
    // close at the right end; the caption between is the caption colour.
    EXPECT_TRUE(white(open_img, ox + 1, oy));
    EXPECT_TRUE(white(open_img, ox + 16, oy));
    EXPECT_TRUE(white(open_img, ox + fc.right - 14, oy));
    const QRgb caption = open_img.pixel(ox + 200, oy + 13) & 0xFFFFFF;
    const COLORREF active = GetSysColor(COLOR_ACTIVECAPTION);
    EXPECT_EQ(caption, static_cast<QRgb>(GetRValue(active) << 16 | GetGValue(active) << 8 |
                                         GetBValue(active)));

    auto* r = static_cast<output_record*>(lock_handle(rec));
    r->keep = 1;
    unlock_handle(rec);
    InvalidateRect(f, nullptr, TRUE);
    UpdateWindow(f);
    QImage locked_img = shot("frame-locked.png");
    // No Delete and no close button: the caption colour there.
    EXPECT_EQ(locked_img.pixel(ox + 1, oy) & 0xFFFFFF, caption);
    EXPECT_EQ(locked_img.pixel(ox + fc.right - 14, oy) & 0xFFFFFF, caption);
    EXPECT_TRUE(white(locked_img, ox + 16, oy)); // Unlock still there

    test_driver::click(f, fc.right - 25, 7);
    test_driver::run_until_idle();
    ASSERT_TRUE(tool_maximised);
    GetClientRect(f, &fc);
    EXPECT_EQ(fc.right, 600);
    QImage max_img = shot("frame-maximised.png");
    EXPECT_EQ(max_img.width(), 600);          // no border when maximised
    EXPECT_TRUE(white(max_img, 600 - 31, 0)); // the maximise toggle
}

} // namespace

namespace {

TEST_F(OutputWindows, InsideAnotherWindowAndInPresentationForm) {
    HWND host = make_test_window("KTestHost", DefWindowProc, WS_CHILD | WS_VISIBLE, 300, 200,
                                 container_wnd);
    io_parent_wnd = host;
    handle rec = 0;
    HWND w = open("Inside", 10, 20, 100, 50, &rec);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetParent(w), host);
    EXPECT_EQ(io_parent_wnd, w); // it now holds the new window
    auto* r = static_cast<output_record*>(lock_handle(rec));
    EXPECT_EQ(r->container, host);
    unlock_handle(rec);
    EXPECT_EQ(frames(), 0);
    { output_oneshots_guard guard; } // the action's end
    EXPECT_EQ(io_parent_wnd, nullptr);
    DestroyWindow(host); // takes the tool window with it
    free_output_record(rec);

    present_wnd = main_wnd;
    HWND p = open("Shown", -1, -1, 100, 50, &rec);
    ASSERT_NE(p, nullptr);
    HWND frame_wnd = GetParent(p);
    char title[64] = {};
    GetWindowText(frame_wnd, title, sizeof title);
    EXPECT_STREQ(title, "Press any key to continue");
    EXPECT_EQ(present_wnd, p);
    RECT mr, fr;
    GetWindowRect(main_wnd, &mr);
    GetWindowRect(frame_wnd, &fr);
    EXPECT_EQ(fr.right - fr.left, mr.right - mr.left);
    EXPECT_EQ(fr.bottom - fr.top, mr.bottom - mr.top);
    { output_oneshots_guard guard; }
    DestroyWindow(frame_wnd);
    free_output_record(rec);
}

TEST_F(OutputWindows, HandOverWithoutAReleaseFreesTheDataOnly) {
    static int data_freed = 0;
    data_freed = 0;
    tool_window_hooks.release_data = [](handle) { ++data_freed; };
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    handle tool = grid_tool(palette_cells, 0, 6);
    handle first = new_output_record(0, 0);
    opening_tool = tool;
    HWND a = open_output_window(first, "KTestTool", "Doc", -1, -1, 100, 80, 0);
    ASSERT_NE(a, nullptr);
    SetWindowLongPtr(a, 0, static_cast<LONG_PTR>(first));
    auto* r = static_cast<output_record*>(lock_handle(first));
    r->window = a;
    unlock_handle(first);
    handle second = new_output_record(0, 0);
    opening_tool = tool;
    EXPECT_EQ(open_output_window(second, "KTestTool", "Doc 2", -1, -1, 100, 80, 0), a);
    EXPECT_EQ(data_freed, 1);
    EXPECT_TRUE(IsWindow(a)); // the window lives on with the new record
    EXPECT_EQ(record_of(a), second);
    tool_window_hooks.release_data = nullptr;
}

} // namespace

namespace {

std::vector<int> g_posted;
void record_post(int command) {
    g_posted.push_back(command);
}
std::vector<handle> g_forgotten;
void record_forget(handle record) {
    g_forgotten.push_back(record);
}

TEST_F(OutputWindows, CtrlEAndCtrlRPostSetupAndSimulateAndCtrlAltDoesNot) {
    HWND a = open("A", 10, 10, 200, 100);
    HWND f = frame(a);
    g_posted.clear();
    set_post_command_hook(record_post);
    win_set_key_state(VK_CONTROL, true);
    SendMessage(f, WM_KEYDOWN, 'E', 0);
    SendMessage(f, WM_KEYDOWN, 'R', 0);
    win_set_key_state(VK_MENU, true); // Ctrl counts only without Alt
    SendMessage(f, WM_KEYDOWN, 'R', 0);
    win_set_key_state(VK_MENU, false);
    win_set_key_state(VK_CONTROL, false);
    SendMessage(f, WM_KEYDOWN, 'R', 0);
    set_post_command_hook(nullptr);
    EXPECT_EQ(g_posted, (std::vector<int>{sc_setup, sc_simulate}));
    EXPECT_TRUE(g_log.commands.empty()) << "nothing reaches the tool window";
}

TEST_F(OutputWindows, ClosingAWindowLetsTheGraphSetsForgetIt) {
    handle rec = 0;
    HWND a = open("A", 10, 10, 200, 100, &rec);
    ASSERT_NE(a, nullptr);
    g_forgotten.clear();
    forget_tool_window_hook = record_forget;
    SendMessage(a, WM_COMMAND, cmd_close_output, 0);
    forget_tool_window_hook = nullptr;
    EXPECT_EQ(g_forgotten, std::vector<handle>{rec});
    EXPECT_EQ(frames(), 0);
}

TEST_F(OutputWindows, CaptionButtonsShowTheirPictures) {
    handle rec = 0;
    HWND a = open("Pictures", 40, 30, 300, 150, &rec);
    HWND f = frame(a);
    activate_window(f, 0, 0);
    test_driver::run_until_idle();
    UpdateWindow(f);
    auto count = [](const QImage& img, int x0, QRgb colour) {
        int n = 0;
        for (int y = 0; y < caption_height; ++y)
            for (int x = x0; x < x0 + caption_button; ++x)
                if ((img.pixel(x, y) & 0xFFFFFF) == colour) ++n;
        return n;
    };
    const QRgb blue = 0x0000A0, yellow = 0xE0C000, green = 0x008000;
    QImage open_img = test_driver::image(f);
    ASSERT_FALSE(open_img.isNull());
    EXPECT_GT(count(open_img, 4 * caption_button, blue), 10) << "Save: a disk";
    EXPECT_GT(count(open_img, 1 * caption_button, yellow), 10) << "Lock: a padlock";
    EXPECT_GT(count(open_img, 3 * caption_button, green), 5) << "Export: an arrow";
    EXPECT_EQ(count(open_img, 0, blue) + count(open_img, 0, yellow), 0) << "Delete: a basket";
    const int max_x = static_cast<int>(open_img.width()) - 32;
    EXPECT_GT(count(open_img, max_x, blue), 5) << "the maximise picture";

    // Locked, Lock becomes Unlock: another picture in the same place.
    auto* r = static_cast<output_record*>(lock_handle(rec));
    r->keep = 1;
    unlock_handle(rec);
    InvalidateRect(f, nullptr, TRUE);
    UpdateWindow(f);
    QImage locked_img = test_driver::image(f);
    int differ = 0;
    for (int y = 0; y < caption_height; ++y)
        for (int x = caption_button; x < 2 * caption_button; ++x)
            if (locked_img.pixel(x, y) != open_img.pixel(x, y)) ++differ;
    EXPECT_GT(differ, 4);
    EXPECT_GT(count(locked_img, caption_button, yellow), 10);
}

} // namespace

namespace {

TEST_F(OutputWindows, PrintOptionsOfferAllGraphsOnlyWithMoreThanOneOpen) {
    handle one = 0, two = 0;
    ASSERT_NE(open("Graph 1", 10, 10, 200, 100, &one), nullptr);
    ASSERT_NE(open("Graph 2", 40, 40, 200, 100, &two), nullptr);
    // Only one of them is a graph window.
    open_windows = {one};
    bool enabled_one = true;
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) { enabled_one = IsWindowEnabled(GetDlgItem(d, idp_multiple)) != 0; })
        .press(IDCANCEL);
    EXPECT_EQ(print_options_dialog(static_cast<int>(one)), 0);
    EXPECT_FALSE(enabled_one);

    // Two: "Multiple" names them and can be chosen.
    open_windows = {one, two};
    std::string text;
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) {
            char buf[64] = {};
            GetDlgItemText(d, idp_multiple, buf, sizeof buf);
            text = buf;
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, idp_multiple)));
            CheckRadioButton(d, idp_all, idp_multiple, idp_multiple);
            CheckDlgButton(d, idp_all, BST_UNCHECKED);
            CheckDlgButton(d, idp_multiple, BST_CHECKED);
        })
        .press(IDOK);
    EXPECT_EQ(print_options_dialog(static_cast<int>(one)), 1);
    EXPECT_EQ(text, "All Grapic Output (1-2)");
    EXPECT_EQ(opts.print_selection, 2);
    opts.print_selection = 0;
    open_windows.clear();
}

} // namespace

namespace {

TEST_F(OutputWindows, ABorderClickWithAPanelKeptOnTopRaisesTheFrameUnderIt) {
    HWND a = open("A", 10, 10, 200, 100);
    HWND b = open("B", 60, 60, 200, 100);
    HWND panel = make_test_window("KTestPanel", DefWindowProc, WS_CHILD | WS_VISIBLE, 120, 80,
                                  container_wnd);
    set_float_window(fw_control, panel);
    SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    // B was opened last: it lies over A, both under the panel.
    ASSERT_EQ(GetWindow(panel, GW_HWNDNEXT), frame(b));

    // Nothing kept on top: a border click leaves the order alone.
    float_opts = 0;
    SendMessage(frame(a), WM_NCLBUTTONDOWN, HTBORDER, 0);
    UpdateWindow(frame(a));
    EXPECT_EQ(GetWindow(panel, GW_HWNDNEXT), frame(b));

    float_opts = fo_control_on_top;
    SendMessage(frame(a), WM_NCLBUTTONDOWN, HTBORDER, 0);
    UpdateWindow(frame(a));
    EXPECT_EQ(GetWindow(panel, GW_HWNDNEXT), frame(a)) << "raised to just under the panel";
    EXPECT_EQ(GetWindow(container_wnd, GW_CHILD), panel);
    float_opts = 0;
    set_float_window(fw_control, nullptr);
    DestroyWindow(panel);
}

// Every caption button of an unlocked window names what it does.
TEST_F(OutputWindows, EveryCaptionButtonOfAnUnlockedWindowHasItsTip) {
    HWND f = frame(open("A", 10, 10, 300, 150));
    ASSERT_NE(f, nullptr);
    const char* want[] = {"Delete this window (Del)", "Lock this window", "Print window contents",
                          "Export window contents", "Save window contents to disk"};
    for (int pos = 0; pos < 5; ++pos) {
        tip_request req;
        ASSERT_EQ(SendMessage(f, wm_tip_request, static_cast<WPARAM>(pos),
                              reinterpret_cast<LPARAM>(&req)),
                  1)
            << pos;
        EXPECT_STREQ(req.text, want[pos]);
    }
}

// A preset place at the container's first pixel column is a place too.
TEST_F(OutputWindows, APresetPlaceAtTheFirstColumnIsKept) {
    preset_rect = {1, 40, 150, 90};
    HWND a = open("A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(place(a).left, 1);
    EXPECT_EQ(place(a).top, 40);
    EXPECT_EQ(preset_rect.x, 0);
}

} // namespace

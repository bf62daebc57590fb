// A real top-level window on a real X server without a window manager: Qt
// places it where it likes on the first show, and the X server moves it when
// another client asks. A click at a child's place on the screen must reach
// that child with its own client co-ordinates, and the window's rectangle must
// say where it stands, whoever placed it.
//
// The case runs in a second copy of this test program on an Xvfb of its own
// (the suite itself runs offscreen, where no window has a place of its own).
#include "win_fixture.h"

#include "../common/child_wait.h"
#include "../common/viewer_process.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/win_internal.h"

#include <QApplication>
#include <QMouseEvent>
#include <QThread>
#include <QWindow>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace wintest;

namespace {

bool in_child() {
    const char* v = std::getenv("KAVREL_REAL_SCREEN_CHILD");
    return v && *v;
}

// Lets Qt take what the X server sent until `done` holds or the time is up
// (10 s by default: a loaded machine's X server can take seconds to answer).
template <class F> bool settle(F done, int seconds = 10) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        test_driver::run_until_idle();
        if (done()) return true;
        QThread::msleep(10);
    }
    return false;
}

// A left press and release at a point of the screen, as Qt hands one to the
// widget under it: the widget's own place turns the point into its local one.
void click_screen(QWidget* top, QPoint global) {
    QWidget* target = top->childAt(top->mapFromGlobal(global));
    if (!target) target = top;
    const QPointF local = target->mapFromGlobal(QPointF(global));
    QMouseEvent press(QEvent::MouseButtonPress, local, QPointF(global), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, QPointF(global), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
    test_driver::run_until_idle();
}

// Moves an X window from outside the program, as a user's tool would.
void move_from_outside(WId window, int x, int y) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return;
    const std::uint32_t values[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
    xcb_configure_window(c, static_cast<xcb_window_t>(window),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    xcb_flush(c);
    // A round trip, so the server has done the move before this client goes.
    free(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, static_cast<xcb_window_t>(window)), nullptr));
    xcb_disconnect(c);
}

class RealScreen : public WinTest {};

// The case proper: skipped unless this copy was started for it.
TEST_F(RealScreen, ClicksReachTheChildUnderThePointerWhereverTheWindowStands) {
    if (!in_child()) GTEST_SKIP() << "run by RealScreenHost on an X server of its own";
    // Shown maximised, as the workbench opens: without a window manager
    // nobody maximises it, and it stays where it was made.
    HWND top = CreateWindowEx(0, "Test_plain", "real", WS_OVERLAPPEDWINDOW, 200, 125, 400, 300,
                              nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(top);
    ShowWindow(top, SW_SHOWMAXIMIZED);
    HWND a = child(top, 1, 10, 10, 100, 80);
    HWND b = child(top, 2, 200, 120, 120, 90);
    QWidget* widget = win::get(top)->widget;
    ASSERT_TRUE(widget);
    ASSERT_TRUE(settle([&] { return widget->isVisible() && widget->windowHandle()->isExposed(); }));

    auto check_clicks = [&](const char* when) {
        SCOPED_TRACE(when);
        const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
        RECT r{};
        GetWindowRect(top, &r);
        EXPECT_EQ(r.left, widget->geometry().x());
        EXPECT_EQ(r.top, widget->geometry().y());
        POINT p{origin.x() + 230, origin.y() + 150};
        EXPECT_EQ(WindowFromPoint(p), b);
        ScreenToClient(top, &p);
        EXPECT_EQ(p.x, 230);
        EXPECT_EQ(p.y, 150);
        log().clear();
        click_screen(widget, origin + QPoint(230, 150)); // 30, 30 inside b
        click_screen(widget, origin + QPoint(15, 20));   // 5, 10 inside a
        auto downs = entries(WM_LBUTTONDOWN);
        ASSERT_EQ(downs.size(), 2u);
        EXPECT_EQ(downs[0].hwnd, b);
        EXPECT_EQ(GET_X_LPARAM(downs[0].lp), 30);
        EXPECT_EQ(GET_Y_LPARAM(downs[0].lp), 30);
        EXPECT_EQ(downs[1].hwnd, a);
        EXPECT_EQ(GET_X_LPARAM(downs[1].lp), 5);
        EXPECT_EQ(GET_Y_LPARAM(downs[1].lp), 10);
    };
    check_clicks("where Qt first put it");

    const QPoint before = widget->geometry().topLeft();
    move_from_outside(widget->winId(), before.x() + 123, before.y() + 57);
    ASSERT_TRUE(settle([&] { return widget->geometry().topLeft() != before; }));
    check_clicks("after the X server moved it");
}

// The X windows under the root, bottom to top.
std::vector<xcb_window_t> stacking() {
    std::vector<xcb_window_t> out;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return out;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    if (auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr)) {
        const xcb_window_t* kids = xcb_query_tree_children(tree);
        out.assign(kids, kids + xcb_query_tree_children_length(tree));
        free(tree);
    }
    xcb_disconnect(c);
    return out;
}

int stack_place(QWidget* w) {
    const std::vector<xcb_window_t> order = stacking();
    const auto it = std::find(order.begin(), order.end(), static_cast<xcb_window_t>(w->winId()));
    return it == order.end() ? -1 : static_cast<int>(it - order.begin());
}

xcb_window_t x_focus() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 0;
    xcb_window_t f = 0;
    if (auto* r = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)) {
        f = r->focus;
        free(r);
    }
    xcb_disconnect(c);
    return f;
}

INT_PTR first_field_dialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// A modal dialog that, once up, watches (on a timer) whether the server's
// keyboard focus is its window and its own focus its first field; it ends
// with 1 when both hold, 0 after two seconds.
struct modal_watch {
    int ticks = 0;
    bool x_focused = false;
    bool field_focused = false;
} watch;

INT_PTR watching_dialog(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        watch = {};
        SetTimer(dialog, 1, 50, nullptr);
        return TRUE;
    }
    if (message == WM_TIMER) {
        QWidget* w = win::get(dialog) ? win::get(dialog)->widget : nullptr;
        watch.x_focused = w && x_focus() == static_cast<xcb_window_t>(w->winId());
        watch.field_focused = GetFocus() == GetDlgItem(dialog, 100);
        // Up to 10 s: a loaded machine's X server can take seconds to hand
        // the focus over; the dialog ends as soon as both hold.
        if ((watch.x_focused && watch.field_focused) || ++watch.ticks > 200) {
            KillTimer(dialog, 1);
            EndDialog(dialog, watch.x_focused && watch.field_focused ? 1 : 0);
        }
        return TRUE;
    }
    return FALSE;
}

// Without a window manager nothing keeps a window's own boxes above it: the
// platform does. A tool window and a dialog the main window owns stay above
// it when the main window is activated again (as a click on it does), and a
// new dialog takes the keyboard at its first field without a click.
TEST_F(RealScreen, OwnedWindowsStayAboveTheirOwnerAndADialogTakesTheKeys) {
    if (!in_child()) GTEST_SKIP() << "run by RealScreenHost on an X server of its own";
    HWND top = CreateWindowEx(0, "Test_plain", "main", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_TRUE(top);
    ShowWindow(top, SW_SHOW);
    QWidget* main_widget = win::get(top)->widget;
    ASSERT_TRUE(settle([&] { return main_widget->windowHandle()->isExposed(); }));
    // The main window has the keyboard, and the server and Qt have said all
    // they will about it.
    ASSERT_TRUE(
        settle([&] { return x_focus() == static_cast<xcb_window_t>(main_widget->winId()); }));
    settle([] { return false; }, 1);
    DialogTemplate t;
    t.id = 9501;
    t.caption = "Dataset to Load";
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
    t.cx = 160;
    t.cy = 60;
    t.items = {{WC_EDIT, 100, nullptr, WS_VISIBLE | WS_TABSTOP | WS_BORDER, 7, 7, 100, 12},
               {WC_BUTTON, IDOK, "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 7, 30, 50, 14}};
    // A modal dialog, as the program's choosers are: typing goes to its
    // first field at once.
    EXPECT_EQ(DialogBoxIndirectParam(nullptr, &t, top, watching_dialog, 0), 1)
        << "X focus on the dialog " << watch.x_focused << ", on its field " << watch.field_focused;

    HWND tool = CreateWindowEx(0, "Test_plain", "tool", WS_POPUP | WS_CAPTION | WS_SYSMENU, 50, 50,
                               200, 150, top, nullptr, nullptr, nullptr);
    ASSERT_TRUE(tool);
    ShowWindow(tool, SW_SHOW);
    QWidget* tool_widget = win::get(tool)->widget;
    ASSERT_TRUE(settle([&] {
        return main_widget->windowHandle()->isExposed() && tool_widget->windowHandle()->isExposed();
    }));
    SetActiveWindow(top);
    ASSERT_TRUE(settle([&] { return stack_place(main_widget) >= 0; }));
    // The restacking reaches the server (a second for the main window's
    // raise to land first, so the check sees what follows it).
    settle([] { return false; }, 1);
    EXPECT_TRUE(settle([&] { return stack_place(tool_widget) > stack_place(main_widget); }))
        << stack_place(tool_widget) << " over " << stack_place(main_widget);

    HWND d = CreateDialogIndirectParam(nullptr, &t, top, first_field_dialog, 0);
    ASSERT_TRUE(d);
    QWidget* dialog_widget = win::get(d)->widget;
    ASSERT_TRUE(settle([&] { return dialog_widget->windowHandle()->isExposed(); }));
    // The keyboard goes to the new dialog's window on the server, and there
    // to its first field, without a click.
    EXPECT_TRUE(settle([&] {
        const xcb_window_t f = x_focus();
        return f == static_cast<xcb_window_t>(dialog_widget->winId());
    })) << "X focus "
        << x_focus();
    EXPECT_EQ(GetFocus(), GetDlgItem(d, 100));
    SetActiveWindow(top);
    settle([] { return false; }, 1);
    EXPECT_TRUE(settle([&] { return stack_place(dialog_widget) > stack_place(main_widget); }))
        << stack_place(dialog_widget) << " over " << stack_place(main_widget);
    SetActiveWindow(d);
    EXPECT_TRUE(settle([&] {
        const xcb_window_t f = x_focus();
        return f == static_cast<xcb_window_t>(dialog_widget->winId());
    })) << "X focus "
        << x_focus();
    EXPECT_EQ(GetFocus(), GetDlgItem(d, 100));
    DestroyWindow(d);
    DestroyWindow(tool);
    DestroyWindow(top);
}

// Starts the case above in a copy of this program against an Xvfb of its own,
// without a window manager, and takes its verdict.
TEST(RealScreenHost, RunsTheRealScreenCaseOnAnXServerOfItsOwn) {
    if (in_child()) GTEST_SKIP();
    viewer_process::xvfb x;
    if (x.display.empty()) GTEST_SKIP() << "Xvfb did not start";
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    char out_name[] = "/tmp/kavrel-realscreen-XXXXXX";
    const int out = mkstemp(out_name);
    ASSERT_GE(out, 0);
    const pid_t pid = viewer_process::spawn(
        {self, "--gtest_filter=RealScreen.*"},
        viewer_process::env_with(
            {{"DISPLAY", x.display}, {"QT_QPA_PLATFORM", "xcb"}, {"KAVREL_REAL_SCREEN_CHILD", "1"}},
            {"WAYLAND_DISPLAY"}),
        out);
    ASSERT_GT(pid, 0);
    int status = 0;
    const bool ended = child_wait::reap(pid, &status, 180);
    close(out);
    std::ifstream in(out_name);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    unlink(out_name);
    ASSERT_TRUE(ended) << "the real-screen case did not end within 3 minutes\n" << text;
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_NE(text.find("[  PASSED  ] 2 tests"), std::string::npos) << text;
}

} // namespace

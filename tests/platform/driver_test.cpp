// The test driver itself, and the road of standard-control input through the
// queue (a class whose windows are real Qt widgets).
#include "win_fixture.h"

#include <QLineEdit>

#include <cstdio>
#include <string>

using namespace wintest;

namespace {

class Driver : public WinTest {};

TEST_F(Driver, FindsWindowsByClassTextAndId) {
    HWND p = top();
    HWND a = child(p, 11, 0, 0, 10, 10);
    HWND b = CreateWindowEx(0, "Test_dbl", "second", WS_CHILD, 0, 0, 5, 5, p,
                            reinterpret_cast<HMENU>(12), nullptr, nullptr);
    EXPECT_EQ(test_driver::find_window("test_plain"), p);
    EXPECT_EQ(test_driver::find_window("Test_plain", "child"), a);
    EXPECT_EQ(test_driver::find_window("Test_dbl", "second"), b);
    EXPECT_EQ(test_driver::find_window("Test_dbl", "nope"), nullptr);
    EXPECT_EQ(test_driver::find_windows("Test_plain").size(), 2u);
    EXPECT_EQ(test_driver::find_child(p, 12), b);
}

TEST_F(Driver, SavesTheBackingImageAsPng) {
    HWND h = top(0, 0, 40, 30);
    test_driver::run_until_idle();
    HDC dc = GetDC(h);
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    RECT r{0, 0, 20, 30};
    FillRect(dc, &r, green);
    ReleaseDC(h, dc);
    DeleteObject(green);
    std::string path = testing::TempDir() + "/kavrel_driver_shot.png";
    ASSERT_TRUE(test_driver::save_png(h, path));
    QImage back(QString::fromStdString(path));
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.size(), QSize(40, 30));
    EXPECT_EQ(back.pixel(5, 5) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(back.pixel(30, 5) & 0xFFFFFF, 0xFFFFFFu);
    std::remove(path.c_str());
    DestroyWindow(h);
    EXPECT_FALSE(test_driver::save_png(h, path));
}

TEST_F(Driver, RunUntilIdleStopsAWindowThatNeverSettles) {
    HWND h = top();
    hook() = [](HWND hw, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m != WM_USER) return false;
        PostMessage(hw, WM_USER, 0, 0);
        return true;
    };
    PostMessage(h, WM_USER, 0, 0);
    EXPECT_EQ(test_driver::run_until_idle(50), -1);
}

TEST_F(Driver, AdvanceFiresTimersAtTheirOwnTimes) {
    HWND h = top();
    test_driver::run_until_idle();
    std::vector<std::uint64_t> times;
    hook() = [&](HWND, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m == WM_TIMER) times.push_back(test_driver::now());
        return false;
    };
    std::uint64_t start = test_driver::now();
    SetTimer(h, 1, 30, nullptr);
    test_driver::advance(100);
    EXPECT_EQ(times, (std::vector<std::uint64_t>{start + 30, start + 60, start + 90}));
    EXPECT_EQ(test_driver::now(), start + 100);
    // Sleep moves the manual clock without running anything.
    times.clear();
    Sleep(1000);
    EXPECT_TRUE(times.empty());
    EXPECT_EQ(GetTickCount(), static_cast<DWORD>(start + 1100));
}

TEST_F(Driver, QuitTakenByRunUntilIdleIsReported) {
    top();
    PostQuitMessage(3);
    test_driver::run_until_idle();
    EXPECT_TRUE(test_driver::quit_seen());
    EXPECT_EQ(test_driver::quit_code(), 3);
}

TEST_F(Driver, ModalLoopIsAnsweredByAnIdleAction) {
    HWND owner = top(0, 0, 200, 200);
    HWND dialog = top(20, 20, 100, 80);
    HWND ok = child(dialog, 1, 10, 10, 40, 20);
    test_driver::run_until_idle();
    int result = -1;
    hook() = [&](HWND hw, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (hw == ok && m == WM_LBUTTONUP) {
            result = 1;
            PostMessage(dialog, WM_USER + 50, 0, 0);
        }
        return false;
    };
    // The "dialog" disables its owner and loops until its button is clicked.
    test_driver::on_idle([&] { test_driver::click(ok, 5, 5); });
    EnableWindow(owner, FALSE);
    MSG m;
    while (GetMessage(&m, nullptr, 0, 0) > 0) {
        if (m.hwnd == dialog && m.message == WM_USER + 50) break;
        DispatchMessage(&m);
    }
    EnableWindow(owner, TRUE);
    EXPECT_EQ(result, 1);
}

LRESULT edit_proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    log().push_back({h, m, wp, lp});
    if (m == WM_KEYDOWN && wp == 'X') return 0; // the program keeps this key
    return DefWindowProc(h, m, wp, lp);
}

TEST_F(Driver, StandardControlInputPassesThroughTheQueue) {
    WNDCLASS wc{};
    wc.lpfnWndProc = edit_proc;
    wc.lpszClassName = "Test_edit";
    ASSERT_NE(RegisterClass(&wc), 0);
    ASSERT_TRUE(win_set_class_widget_factory(
        "Test_edit", [](HWND, QWidget* parent) { return new QLineEdit(parent); }));
    HWND p = top(0, 0, 200, 100);
    HWND e = child(p, 5, 10, 10, 150, 24, WS_CHILD | WS_VISIBLE, "Test_edit");
    ASSERT_NE(e, nullptr);
    auto* line = qobject_cast<QLineEdit*>(win_widget(e));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(win_from_widget(line), e);
    test_driver::run_until_idle();
    SetFocus(e);
    log().clear();
    test_driver::type_text("aXb");
    // Queued, not yet seen by the widget.
    EXPECT_EQ(line->text(), QString());
    test_driver::run_until_idle(100000, false);
    EXPECT_EQ(line->text(), QString("ab"));
    std::vector<WPARAM> downs;
    for (const Logged& l : entries(WM_KEYDOWN))
        if (l.hwnd == e) downs.push_back(l.wp);
    EXPECT_EQ(downs, (std::vector<WPARAM>{'A', VK_SHIFT, 'X', 'B'}));
    // Messages posted by the program are not Qt events: nothing is forwarded.
    PostMessage(e, WM_KEYDOWN, 'Q', 0);
    test_driver::run_until_idle(100000, false);
    EXPECT_EQ(line->text(), QString("ab"));
    // No backing image for such windows.
    EXPECT_EQ(GetDC(e), nullptr);
    DestroyWindow(p);
    EXPECT_FALSE(IsWindow(e));
}

} // namespace

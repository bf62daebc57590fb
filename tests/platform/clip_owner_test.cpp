// The clipboard's owner: a window that empties the clipboard becomes its
// owner, and the owner before it, and only that one, is told it lost it.
#include "dlg_fixture.h"

#include "platform/clip.h"
#include "platform/global.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace dlgtest;

namespace {

std::vector<HWND>& told() {
    static std::vector<HWND> v;
    return v;
}

LRESULT watcher_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROYCLIPBOARD) told().push_back(h);
    return DefWindowProc(h, msg, wp, lp);
}

class ClipOwner : public DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        clip_reset();
        clip_use_private(true);
        told().clear();
        WNDCLASS wc{};
        if (!GetClassInfo(nullptr, "ClipWatcher", &wc)) {
            wc.lpfnWndProc = watcher_proc;
            wc.lpszClassName = "ClipWatcher";
            RegisterClass(&wc);
        }
    }
    void TearDown() override {
        clip_reset();
        clip_use_private(false);
        DlgTest::TearDown();
    }
    HWND watcher() {
        return CreateWindowEx(0, "ClipWatcher", "w", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr,
                              nullptr, nullptr, nullptr);
    }
    static void put_text(const char* t) {
        SetClipboardData(CF_TEXT, global_from_bytes(t, std::strlen(t) + 1, GHND));
    }
};

TEST_F(ClipOwner, OnlyTheOwnerBeforeIsToldItLostTheClipboard) {
    HWND a = watcher(), b = watcher();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(OpenClipboard(a));
    EXPECT_TRUE(EmptyClipboard());
    put_text("first");
    CloseClipboard();
    EXPECT_EQ(GetClipboardOwner(), a);
    EXPECT_TRUE(told().empty()); // nobody owned it before

    ASSERT_TRUE(OpenClipboard(b));
    EXPECT_TRUE(EmptyClipboard());
    put_text("second");
    CloseClipboard();
    EXPECT_EQ(told(), (std::vector<HWND>{a}));
    EXPECT_EQ(GetClipboardOwner(), b);

    // The owner emptying its own clipboard is not told anything.
    ASSERT_TRUE(OpenClipboard(b));
    EXPECT_TRUE(EmptyClipboard());
    CloseClipboard();
    EXPECT_EQ(told(), (std::vector<HWND>{a}));
    DestroyWindow(a);
    DestroyWindow(b);
}

} // namespace

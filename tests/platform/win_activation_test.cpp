// Which window becomes active when the active one goes, what the activation
// and focus messages say about the other side, and what disabling a window
// takes from its children.
#include "win_fixture.h"

#include <gtest/gtest.h>

using namespace wintest;

namespace {

class Activation : public WinTest {};

HWND owned_popup(HWND owner) {
    return CreateWindowEx(0, "Test_plain", "owned", WS_POPUP | WS_VISIBLE, 30, 30, 80, 60, owner,
                          nullptr, nullptr, nullptr);
}

TEST_F(Activation, AGoingWindowHandsActivationToAnEnabledVisibleWindowOnly) {
    HWND other = top(300, 10);
    HWND owner = top(10, 10);
    ASSERT_NE(other, nullptr);
    ASSERT_NE(owner, nullptr);
    // A disabled owner (as under a modal box) cannot take it: the other
    // visible window does.
    HWND box = owned_popup(owner);
    ASSERT_NE(box, nullptr);
    SetActiveWindow(box);
    ASSERT_EQ(GetActiveWindow(), box);
    EnableWindow(owner, FALSE);
    DestroyWindow(box);
    EXPECT_EQ(GetActiveWindow(), other);

    // An enabled owner does.
    EnableWindow(owner, TRUE);
    box = owned_popup(owner);
    SetActiveWindow(box);
    DestroyWindow(box);
    EXPECT_EQ(GetActiveWindow(), owner);

    // A hidden window never becomes active: with only hidden ones left,
    // nothing is.
    DestroyWindow(other);
    HWND hidden = top(500, 10, 100, 80, WS_POPUP);
    ASSERT_NE(hidden, nullptr);
    ASSERT_EQ(GetActiveWindow(), owner);
    DestroyWindow(owner);
    EXPECT_NE(GetActiveWindow(), hidden);
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(Activation, ActivationAndFocusMessagesNameTheOtherWindow) {
    HWND a = top(10, 10);
    HWND b = top(300, 10);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    SetActiveWindow(a);
    log().clear();
    SetActiveWindow(b);
    bool a_told = false;
    for (const Logged& l : entries(WM_ACTIVATE))
        if (l.hwnd == a) {
            EXPECT_EQ(LOWORD(l.wp), WA_INACTIVE);
            EXPECT_EQ(reinterpret_cast<HWND>(l.lp), b); // the one taking over
            a_told = true;
        } else if (l.hwnd == b) {
            EXPECT_EQ(reinterpret_cast<HWND>(l.lp), a); // the one that had it
        }
    EXPECT_TRUE(a_told);

    HWND c1 = child(b, 1, 5, 5, 40, 20);
    HWND c2 = child(b, 2, 5, 40, 40, 20);
    SetFocus(c1);
    log().clear();
    SetFocus(c2);
    std::vector<Logged> set = entries(WM_SETFOCUS);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].hwnd, c2);
    EXPECT_EQ(reinterpret_cast<HWND>(set[0].wp), c1); // where the focus came from
    std::vector<Logged> kill = entries(WM_KILLFOCUS);
    ASSERT_EQ(kill.size(), 1u);
    EXPECT_EQ(kill[0].hwnd, c1);
    EXPECT_EQ(reinterpret_cast<HWND>(kill[0].wp), c2);
}

TEST_F(Activation, DisablingAWindowTakesFocusAndCaptureFromItsChildren) {
    HWND w = top(10, 10);
    ASSERT_NE(w, nullptr);
    HWND c = child(w, 1, 5, 5, 40, 20);
    HWND inner = child(c, 2, 2, 2, 20, 10);
    SetFocus(inner);
    SetCapture(inner);
    ASSERT_EQ(GetFocus(), inner);
    ASSERT_EQ(GetCapture(), inner);
    EnableWindow(w, FALSE);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_FALSE(IsWindowEnabled(w));
    EXPECT_TRUE(IsWindowEnabled(c)); // its own flag is untouched
}

} // namespace

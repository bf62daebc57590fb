// Scroll bar controls: the range read back through the control's messages,
// ranges given upside down, and the thumb's tracking position while dragged.
#include "dlg_fixture.h"

#include <gtest/gtest.h>

#include <QScrollBar>
#include <QWidget>

using namespace dlgtest;

namespace {

class ScrollTest : public ItemDialogTest {
protected:
    ScrollTest() : ItemDialogTest("Scroll") {}
};

TEST_F(ScrollTest, RangeReadsBackThroughTheControlsMessages) {
    open({{WC_SCROLLBAR, 50, nullptr, vis | SBS_HORZ, 5, 5, 100, 10}});
    HWND sb = item(50);
    ASSERT_TRUE(SetScrollRange(sb, SB_CTL, 5, 50, TRUE));
    int mn = -1, mx = -1;
    SendMessage(sb, SBM_GETRANGE, reinterpret_cast<WPARAM>(&mn), reinterpret_cast<LPARAM>(&mx));
    EXPECT_EQ(mn, 5);
    EXPECT_EQ(mx, 50);
    // SBM_SETRANGE answers the position, kept within the new range.
    SetScrollPos(sb, SB_CTL, 40, TRUE);
    EXPECT_EQ(SendMessage(sb, SBM_SETRANGE, 0, 20), 20);
    // A range given upside down is empty at its minimum.
    ASSERT_TRUE(SetScrollRange(sb, SB_CTL, 10, 3, TRUE));
    ASSERT_TRUE(GetScrollRange(sb, SB_CTL, &mn, &mx));
    EXPECT_EQ(mn, 10);
    EXPECT_EQ(mx, 10);
    EXPECT_EQ(GetScrollPos(sb, SB_CTL), 10);
    // A page larger than the range is the whole range.
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE, 0, 9, 50, 0, 0};
    SetScrollInfo(sb, SB_CTL, &si, TRUE);
    SCROLLINFO got{sizeof got, SIF_PAGE, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(sb, SB_CTL, &got));
    EXPECT_EQ(got.nPage, 10u);
}

TEST_F(ScrollTest, DraggingTheThumbReportsTheTrackingPositionAndLeavesThePosition) {
    std::vector<std::pair<int, int>> scrolls; // code, position
    hook() = [&](HWND, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_HSCROLL) scrolls.push_back({LOWORD(wp), static_cast<short>(HIWORD(wp))});
        return 0;
    };
    open({{WC_SCROLLBAR, 51, nullptr, vis | SBS_HORZ, 5, 5, 100, 10}});
    HWND sb = item(51);
    SCROLLINFO si{sizeof si, SIF_ALL, 0, 99, 10, 7, 0};
    SetScrollInfo(sb, SB_CTL, &si, TRUE);
    auto* bar = qobject_cast<QScrollBar*>(win_widget(sb));
    if (!bar) bar = win_widget(sb)->findChild<QScrollBar*>();
    ASSERT_NE(bar, nullptr);
    bar->setSliderPosition(40); // as a drag of the thumb moves it
    ASSERT_FALSE(scrolls.empty());
    EXPECT_EQ(scrolls.back(), std::make_pair(static_cast<int>(SB_THUMBTRACK), 40));
    SCROLLINFO got{sizeof got, SIF_POS | SIF_TRACKPOS, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(sb, SB_CTL, &got));
    EXPECT_EQ(got.nTrackPos, 40);
    EXPECT_EQ(got.nPos, 7); // the program moves the bar, not the drag
}

// Each of the bar's own actions (arrows, the track either side of the
// thumb, the ends) reports its own code and leaves the position to the
// program.
TEST_F(ScrollTest, EachActionOfTheBarReportsItsOwnCode) {
    std::vector<int> codes;
    hook() = [&](HWND, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_VSCROLL) codes.push_back(LOWORD(wp));
        return 0;
    };
    open({{WC_SCROLLBAR, 52, nullptr, vis | SBS_VERT, 5, 5, 12, 100}});
    HWND sb = item(52);
    SCROLLINFO si{sizeof si, SIF_ALL, 0, 99, 10, 50, 0};
    SetScrollInfo(sb, SB_CTL, &si, TRUE);
    auto* bar = qobject_cast<QScrollBar*>(win_widget(sb));
    if (!bar) bar = win_widget(sb)->findChild<QScrollBar*>();
    ASSERT_NE(bar, nullptr);
    const struct {
        QAbstractSlider::SliderAction action;
        int code;
    } cases[] = {{QAbstractSlider::SliderSingleStepAdd, SB_LINEDOWN},
                 {QAbstractSlider::SliderSingleStepSub, SB_LINEUP},
                 {QAbstractSlider::SliderPageStepAdd, SB_PAGEDOWN},
                 {QAbstractSlider::SliderPageStepSub, SB_PAGEUP},
                 {QAbstractSlider::SliderToMinimum, SB_TOP},
                 {QAbstractSlider::SliderToMaximum, SB_BOTTOM}};
    for (const auto& c : cases) {
        codes.clear();
        bar->triggerAction(c.action);
        ASSERT_FALSE(codes.empty()) << c.code;
        EXPECT_EQ(codes.front(), c.code);
        EXPECT_EQ(GetScrollPos(sb, SB_CTL), 50) << c.code;
    }
}

} // namespace

// Where a dialog comes up and in what type: a centred dialog sits over the
// middle of its owner, and the template's point size becomes the pixel height
// at 96 dots an inch, rounded to the nearest pixel.
#include "dlg_fixture.h"

#include "platform/dlg.h"

#include <gtest/gtest.h>

using namespace dlgtest;

namespace {

class DialogLayout : public DlgTest {};

DialogTemplate wide(DWORD extra_style, int points) {
    DialogTemplate t;
    t.caption = "Wide";
    t.style = WS_POPUP | WS_BORDER | DS_SETFONT | extra_style;
    t.font_face = "DejaVu Sans";
    t.font_points = points;
    t.cx = 240; // much wider than high: a centre taken the wrong way shows
    t.cy = 40;
    t.items = {{WC_BUTTON, IDOK, "OK", vis | BS_PUSHBUTTON, 5, 5, 40, 14}};
    return t;
}

TEST_F(DialogLayout, ACentredDialogSitsOverItsOwnersMiddle) {
    HWND owner = make_owner();
    const DialogTemplate t = wide(DS_CENTER, 8);
    HWND d = CreateDialogIndirectParam(nullptr, &t, owner, CALLBACK_proc, 0);
    ASSERT_NE(d, nullptr);
    RECT o{}, r{};
    GetWindowRect(owner, &o);
    GetWindowRect(d, &r);
    EXPECT_GT(r.right - r.left, 2 * (r.bottom - r.top));
    EXPECT_NEAR((r.left + r.right) / 2.0, (o.left + o.right) / 2.0, 1.0);
    EXPECT_NEAR((r.top + r.bottom) / 2.0, (o.top + o.bottom) / 2.0, 1.0);
    DestroyWindow(d);
}

TEST_F(DialogLayout, PointSizesBecomePixelHeightsRoundedToTheNearest) {
    // 8 points are 10.67 pixels, 11 points 14.67, 9 points exactly 12.
    for (auto [points, pixels] : {std::pair{8, 11}, std::pair{11, 15}, std::pair{9, 12}}) {
        const DialogTemplate t = wide(0, points);
        HWND d = CreateDialogIndirectParam(nullptr, &t, nullptr, CALLBACK_proc, 0);
        ASSERT_NE(d, nullptr);
        auto font = reinterpret_cast<HFONT>(SendMessage(d, WM_GETFONT, 0, 0));
        LOGFONT lf{};
        ASSERT_EQ(GetObject(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
        EXPECT_EQ(lf.lfHeight, -pixels) << points << " points";
        // The controls are given the dialog's font.
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(GetDlgItem(d, IDOK), WM_GETFONT, 0, 0)),
                  font);
        DestroyWindow(d);
    }
}

// A dialog centred over an owner smaller than itself near the screen's
// corner stays on the screen.
TEST_F(DialogLayout, ACentredDialogStaysOnTheScreen) {
    WNDCLASS wc{};
    if (!GetClassInfo(nullptr, "DlgTestOwner", &wc)) {
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = "DlgTestOwner";
        RegisterClass(&wc);
    }
    HWND owner = CreateWindowEx(0, "DlgTestOwner", "small", WS_POPUP | WS_VISIBLE, 0, 0, 60, 40,
                                nullptr, nullptr, nullptr, nullptr);
    const DialogTemplate t = wide(DS_CENTER, 8);
    HWND d = CreateDialogIndirectParam(nullptr, &t, owner, CALLBACK_proc, 0);
    ASSERT_NE(d, nullptr);
    RECT r{};
    GetWindowRect(d, &r);
    EXPECT_GT(r.right - r.left, 60);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    DestroyWindow(d);
}

// The first field of a dialog gets the keyboard with its text selected, so
// typing replaces it.
TEST_F(DialogLayout, TheFirstFieldStartsWithItsTextSelected) {
    DialogTemplate t = wide(WS_VISIBLE, 8);
    t.items = {{WC_EDIT, 101, "old text", vis | WS_TABSTOP | WS_BORDER, 5, 5, 80, 12}};
    HWND d = CreateDialogIndirectParam(nullptr, &t, nullptr, CALLBACK_proc, 0);
    ASSERT_NE(d, nullptr);
    HWND edit = GetDlgItem(d, 101);
    EXPECT_EQ(GetFocus(), edit);
    DWORD from = 99, to = 99;
    SendMessage(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 8u);
    DestroyWindow(d);
}

int selections = 0;
LRESULT typing_control(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_GETDLGCODE) return DLGC_WANTCHARS | DLGC_WANTARROWS;
    if (m == EM_SETSEL) ++selections;
    return DefWindowProc(h, m, wp, lp);
}

// Only a control that says it holds a selection is told to select all.
TEST_F(DialogLayout, OnlyControlsWithASelectionAreToldToSelectAll) {
    WNDCLASS wc{};
    wc.lpfnWndProc = typing_control;
    wc.lpszClassName = "TypingControl";
    ASSERT_NE(RegisterClass(&wc), 0);
    DialogTemplate t = wide(WS_VISIBLE, 8);
    t.items = {{"TypingControl", 101, "", vis | WS_TABSTOP, 5, 5, 80, 12}};
    selections = 0;
    HWND d = CreateDialogIndirectParam(nullptr, &t, nullptr, CALLBACK_proc, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(GetFocus(), GetDlgItem(d, 101));
    EXPECT_EQ(selections, 0);
    DestroyWindow(d);
}

} // namespace

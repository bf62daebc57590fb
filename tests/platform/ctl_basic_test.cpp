// Edit fields, tab controls, scroll bars, statics and their colours.
#include "dlg_fixture.h"

#include "platform/gdi.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

#include <cstring>

using namespace dlgtest;
namespace td = test_driver;

namespace {

class CtlTest : public ItemDialogTest {
protected:
    CtlTest() : ItemDialogTest("Controls") {}
    std::string text(int id) {
        char buf[256];
        GetDlgItemText(dialog, id, buf, sizeof buf);
        return buf;
    }
};

TEST_F(CtlTest, EditNotifiesChangesAndFocusAndKeepsItsLimit) {
    open({{WC_EDIT, 30, "abc", vis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 5, 5, 100, 12},
          {WC_EDIT, 31, "", vis | WS_TABSTOP | WS_BORDER | ES_NUMBER, 5, 25, 100, 12}});
    EXPECT_EQ(GetFocus(), item(30)); // the first tab stop
    SetFocus(item(31));
    SetFocus(item(30));
    EXPECT_EQ(codes_of(30), (std::vector<int>{EN_KILLFOCUS, EN_SETFOCUS}));
    notes().clear();
    SetDlgItemText(dialog, 30, "xyz"); // WM_SETTEXT notifies on an edit field
    EXPECT_EQ(codes_of(30), (std::vector<int>{EN_UPDATE, EN_CHANGE}));
    EXPECT_FALSE(SendDlgItemMessage(dialog, 30, EM_GETMODIFY, 0, 0));
    notes().clear();
    SendDlgItemMessage(dialog, 30, EM_SETSEL, 3, 3);
    td::type_text("12");
    pump();
    EXPECT_EQ(text(30), "xyz12");
    EXPECT_TRUE(SendDlgItemMessage(dialog, 30, EM_GETMODIFY, 0, 0));
    ASSERT_FALSE(codes_of(30).empty());
    EXPECT_EQ(codes_of(30).back(), EN_CHANGE);
    DWORD s = 0, e = 0;
    SendDlgItemMessage(dialog, 30, EM_SETSEL, 1, 3);
    SendDlgItemMessage(dialog, 30, EM_GETSEL, reinterpret_cast<WPARAM>(&s),
                       reinterpret_cast<LPARAM>(&e));
    EXPECT_EQ(s, 1u);
    EXPECT_EQ(e, 3u);
    SendDlgItemMessage(dialog, 30, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("--"));
    EXPECT_EQ(text(30), "x--12");
    // Limits cut typing, not the program's own text.
    SendDlgItemMessage(dialog, 30, EM_LIMITTEXT, 6, 0);
    SendDlgItemMessage(dialog, 30, EM_SETSEL, 5, 5);
    td::type_text("789");
    pump();
    EXPECT_EQ(text(30), "x--127");
    ASSERT_FALSE(codes_of(30).empty());
    EXPECT_EQ(codes_of(30).back(), EN_MAXTEXT);
    // Number-only field takes digits only; leaving it notifies.
    SetFocus(item(31));
    EXPECT_EQ(codes_of(30).back(), EN_KILLFOCUS);
    td::type_text("4a2");
    pump();
    EXPECT_EQ(text(31), "42");
}

TEST_F(CtlTest, MultiLineEditSpeaksCarriageReturnLineFeed) {
    open({{WC_EDIT, 32, nullptr, vis | WS_BORDER | ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL, 5, 5,
           150, 60}});
    SetDlgItemText(dialog, 32, "first\r\nsecond\r\nthird");
    EXPECT_EQ(text(32), "first\r\nsecond\r\nthird");
    EXPECT_EQ(SendDlgItemMessage(dialog, 32, WM_GETTEXTLENGTH, 0, 0), 20);
    EXPECT_EQ(SendDlgItemMessage(dialog, 32, EM_GETLINECOUNT, 0, 0), 3);
    EXPECT_EQ(SendDlgItemMessage(dialog, 32, EM_LINEINDEX, 2, 0), 15);
    EXPECT_EQ(SendDlgItemMessage(dialog, 32, EM_LINEFROMCHAR, 15, 0), 2);
    EXPECT_EQ(SendDlgItemMessage(dialog, 32, EM_LINELENGTH, 7, 0), 6);
    char line[16];
    WORD size = sizeof line;
    std::memcpy(line, &size, sizeof size);
    LRESULT n = SendDlgItemMessage(dialog, 32, EM_GETLINE, 1, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(std::string(line, static_cast<std::size_t>(n)), "second");
    // The selection counts CR LF as two characters.
    SendDlgItemMessage(dialog, 32, EM_SETSEL, 7, 13);
    DWORD s = 0, e = 0;
    SendDlgItemMessage(dialog, 32, EM_GETSEL, reinterpret_cast<WPARAM>(&s),
                       reinterpret_cast<LPARAM>(&e));
    EXPECT_EQ(s, 7u);
    EXPECT_EQ(e, 13u);
    SendDlgItemMessage(dialog, 32, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("2nd"));
    EXPECT_EQ(text(32), "first\r\n2nd\r\nthird");
}

TEST_F(CtlTest, TabControlAsksBeforeChangingAndCanBeRefused) {
    bool refuse = false;
    hook() = [&](HWND, UINT msg, WPARAM, LPARAM lp) -> INT_PTR {
        if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == TCN_SELCHANGING && refuse) {
            SetWindowLongPtr(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return 0;
    };
    open({{WC_TABCONTROL, 40, nullptr, vis | WS_TABSTOP, 5, 5, 200, 120}});
    HWND tab = item(40);
    const char* names[] = {"Variable", "Time Axis", "Scaling", "Datasets", "Graphs"};
    for (int i = 0; i < 5; ++i) {
        TCITEM ti{TCIF_TEXT | TCIF_PARAM, 0, 0, const_cast<char*>(names[i]), 0, 0, 100 + i};
        EXPECT_EQ(
            SendMessage(tab, TCM_INSERTITEM, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&ti)),
            i);
    }
    EXPECT_EQ(SendMessage(tab, TCM_GETITEMCOUNT, 0, 0), 5);
    EXPECT_EQ(SendMessage(tab, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessage(tab, TCM_SETCURSEL, 2, 0), 0);
    EXPECT_TRUE(notes().empty()); // programmatic: no notification
    char buf[32];
    TCITEM get{TCIF_TEXT | TCIF_PARAM, 0, 0, buf, sizeof buf, 0, 0};
    SendMessage(tab, TCM_GETITEM, 1, reinterpret_cast<LPARAM>(&get));
    EXPECT_STREQ(buf, "Time Axis");
    EXPECT_EQ(get.lParam, 101);
    RECT r1{};
    ASSERT_TRUE(SendMessage(tab, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r1)));
    td::click(tab, (r1.left + r1.right) / 2, (r1.top + r1.bottom) / 2);
    pump();
    EXPECT_EQ(SendMessage(tab, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(codes_of(40, WM_NOTIFY), (std::vector<int>{static_cast<int>(TCN_SELCHANGING),
                                                         static_cast<int>(TCN_SELCHANGE)}));
    notes().clear();
    refuse = true;
    RECT r4{};
    SendMessage(tab, TCM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r4));
    td::click(tab, (r4.left + r4.right) / 2, (r4.top + r4.bottom) / 2);
    pump();
    EXPECT_EQ(SendMessage(tab, TCM_GETCURSEL, 0, 0), 1); // stayed
    EXPECT_EQ(codes_of(40, WM_NOTIFY), std::vector<int>{static_cast<int>(TCN_SELCHANGING)});
    RECT area{0, 0, 200, 150};
    SendMessage(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    EXPECT_GT(area.top, 0);
    SendMessage(tab, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&area));
    EXPECT_EQ(area.top, 0);
}

// Keys that arrive at a control's outer widget (Qt's focus elsewhere, or the
// window layer's focus alone) are handed back to its focus proxy.
void send_key_to(QWidget* w, Qt::Key key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString());
    QApplication::sendEvent(w, &release);
}

TEST_F(CtlTest, KeysHandedBackReachTheFocusProxyOfACompositeControl) {
    open({{WC_EDIT, 30, "", vis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 5, 5, 100, 12}});
    // A composite control class of someone else's making.
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "ProxyField";
    ASSERT_NE(RegisterClass(&wc), 0);
    ASSERT_TRUE(win_set_class_widget_factory("ProxyField", [](HWND, QWidget* parent) {
        auto* outer = new QWidget(parent);
        auto* field = new QLineEdit(outer);
        outer->setFocusProxy(field);
        return outer;
    }));
    HWND composite = CreateWindowEx(0, "ProxyField", "", vis, 5, 40, 100, 20, dialog,
                                    reinterpret_cast<HMENU>(40), nullptr, nullptr);
    ASSERT_NE(composite, nullptr);
    auto* field = win_widget(composite)->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    SetFocus(composite);
    send_key_to(win_widget(composite), Qt::Key_K, "k");
    send_key_to(win_widget(composite), Qt::Key_V, "v");
    pump();
    EXPECT_EQ(field->text(), "kv");
    // The edit control's field the same way, with its notifications.
    SetFocus(item(30));
    notes().clear();
    send_key_to(win_widget(item(30)), Qt::Key_X, "x");
    pump();
    EXPECT_EQ(text(30), "x");
    EXPECT_EQ(codes_of(30), (std::vector<int>{EN_UPDATE, EN_CHANGE}));
    // A key the field ignores goes no further than the dialog (handed back
    // once, never queued again).
    send_key_to(win_widget(item(30)), Qt::Key_F5, QString());
    EXPECT_EQ(td::run_until_idle(), 2); // its key-down and key-up, once each
    EXPECT_EQ(text(30), "x");
}

TEST_F(CtlTest, ScrollBarReportsCodesAndLeavesThePositionToTheProgram) {
    std::vector<std::pair<int, int>> scrolls; // code, position
    hook() = [&](HWND, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_VSCROLL) scrolls.push_back({LOWORD(wp), static_cast<short>(HIWORD(wp))});
        return 0;
    };
    open({{WC_SCROLLBAR, 50, nullptr, vis | SBS_VERT, 5, 5, 10, 100}});
    HWND sb = item(50);
    SCROLLINFO si{sizeof si, SIF_ALL, 0, 99, 10, 95, 0};
    EXPECT_EQ(SetScrollInfo(sb, SB_CTL, &si, TRUE), 90); // kept within max - page + 1
    SCROLLINFO got{sizeof got, SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(sb, SB_CTL, &got));
    EXPECT_EQ(got.nPos, 90);
    EXPECT_EQ(got.nPage, 10u);
    EXPECT_EQ(SetScrollPos(sb, SB_CTL, 20, TRUE), 90);
    EXPECT_EQ(SendMessage(sb, SBM_GETPOS, 0, 0), 20);
    // A click on the down arrow: SB_LINEDOWN then SB_ENDSCROLL, position unchanged.
    RECT rc;
    GetClientRect(sb, &rc);
    td::click(sb, rc.right / 2, rc.bottom - 3);
    pump();
    ASSERT_GE(scrolls.size(), 2u);
    EXPECT_EQ(scrolls.front().first, SB_LINEDOWN);
    EXPECT_EQ(scrolls.back().first, SB_ENDSCROLL);
    EXPECT_EQ(GetScrollPos(sb, SB_CTL), 20);
    EXPECT_FALSE(GetScrollInfo(reinterpret_cast<HWND>(0x7777), SB_CTL, &got));
}

TEST_F(CtlTest, WindowScrollBarsHideWhenNothingScrollsUnlessAskedToStay) {
    HWND w = CreateWindowEx(0, "DlgTestOwner", "w", WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_VISIBLE,
                            0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    if (!w) {
        make_owner();
        w = CreateWindowEx(0, "DlgTestOwner", "w", WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_VISIBLE, 0,
                           0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    }
    ASSERT_NE(w, nullptr);
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE, 0, 50, 100, 0, 0};
    SetScrollInfo(w, SB_VERT, &si, TRUE);
    EXPECT_FALSE(win_nonclient_scrollbar_visible(w, SB_VERT));
    si.fMask |= SIF_DISABLENOSCROLL;
    SetScrollInfo(w, SB_VERT, &si, TRUE);
    EXPECT_TRUE(win_nonclient_scrollbar_visible(w, SB_VERT));
    si = {sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 500, 100, 450, 0};
    EXPECT_EQ(SetScrollInfo(w, SB_VERT, &si, TRUE), 401);
    EXPECT_TRUE(win_nonclient_scrollbar_visible(w, SB_VERT));
}

TEST_F(CtlTest, StaticTextTakesTheParentsColours) {
    HBRUSH yellow = CreateSolidBrush(RGB(255, 255, 0));
    hook() = [&](HWND, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_CTLCOLORSTATIC) {
            SetTextColor(reinterpret_cast<HDC>(wp), RGB(0, 0, 255));
            return reinterpret_cast<INT_PTR>(yellow);
        }
        return 0;
    };
    open({{WC_STATIC, 60, "Label", vis | SS_LEFT, 5, 5, 60, 12}});
    QImage shot = win_widget(item(60))->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(shot.width() - 2, shot.height() - 2)), QColor(255, 255, 0));
    bool blue = false;
    for (int y = 0; y < shot.height() && !blue; ++y)
        for (int x = 0; x < shot.width() && !blue; ++x)
            blue = QColor(shot.pixel(x, y)) == QColor(0, 0, 255);
    EXPECT_TRUE(blue);
    DeleteObject(yellow);
}

// A disabled button's text is greyed whatever text colour the parent gives
// (dialogs give theirs to every check box and radio button): the parent's colour is for buttons
// that take input, and a user must see which choices are out of reach.
TEST_F(CtlTest, ADisabledButtonsTextIsGreyedOverTheParentsTextColour) {
    hook() = [&](HWND, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        // Check boxes and radio buttons ask as static text does.
        if (msg == WM_CTLCOLORSTATIC) {
            SetTextColor(reinterpret_cast<HDC>(wp), RGB(0, 0, 255));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        return 0;
    };
    open({{WC_BUTTON, 73, "Radio choice", vis | BS_AUTORADIOBUTTON, 5, 5, 90, 12},
          {WC_BUTTON, 74, "Check choice", vis | BS_AUTOCHECKBOX, 5, 20, 90, 12}});
    for (int id : {73, 74}) {
        SCOPED_TRACE(id);
        auto blue_pixels = [&] {
            const QImage shot = win_widget(item(id))->grab().toImage();
            int n = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    if (QColor(shot.pixel(x, y)) == QColor(0, 0, 255)) ++n;
            return n;
        };
        EXPECT_GT(blue_pixels(), 0);
        EnableWindow(item(id), FALSE);
        EXPECT_EQ(blue_pixels(), 0);
        EnableWindow(item(id), TRUE);
        EXPECT_GT(blue_pixels(), 0);
    }
}

TEST_F(CtlTest, EditFieldTakesTheParentsColours) {
    HBRUSH cyan = CreateSolidBrush(RGB(0, 255, 255));
    int asked = 0;
    hook() = [&](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_CTLCOLOREDIT) {
            ++asked;
            return reinterpret_cast<INT_PTR>(cyan);
        }
        return 0;
    };
    open({{WC_EDIT, 61, "", vis | ES_AUTOHSCROLL, 5, 5, 60, 12}});
    QImage shot = win_widget(item(61))->grab().toImage();
    EXPECT_GT(asked, 0);
    EXPECT_EQ(QColor(shot.pixel(shot.width() / 2, shot.height() / 2)), QColor(0, 255, 255));
    DeleteObject(cyan);
}

// Check boxes and radio buttons fill their background with the dialog's
// colour; the group box around them must show the same inside, or each row
// stands out as a strip.
TEST_F(CtlTest, AGroupBoxIsTheDialogsColourInsideSoItsButtonsShowNoStrips) {
    open({{WC_BUTTON, 70, "Group && more", vis | BS_GROUPBOX, 5, 5, 120, 60},
          {WC_BUTTON, 71, "Check", vis | BS_AUTOCHECKBOX, 12, 20, 90, 10},
          {WC_BUTTON, 72, "Radio", vis | BS_AUTORADIOBUTTON, 12, 34, 90, 10}});
    QImage group = win_widget(item(70))->grab().toImage();
    QImage check = win_widget(item(71))->grab().toImage();
    QImage radio = win_widget(item(72))->grab().toImage();
    ASSERT_FALSE(group.isNull());
    const QColor inside(group.pixel(group.width() / 2, group.height() - 8));
    EXPECT_EQ(QColor(check.pixel(check.width() - 2, check.height() - 2)), inside);
    EXPECT_EQ(QColor(radio.pixel(radio.width() - 2, radio.height() - 2)), inside);
    // The frame is drawn: some pixel of the left edge differs from the inside.
    bool edge = false;
    for (int y = group.height() / 2; y < group.height() && !edge; ++y)
        edge = QColor(group.pixel(0, y)) != inside;
    EXPECT_TRUE(edge);
}

// A button's click may open a dialog with a loop of its own; the windows of
// that dialog must get their mouse input while the click is being answered.
TEST_F(CtlTest, WindowsGetTheirInputWhileAButtonsClickIsAnswered) {
    static int presses = 0;
    presses = 0;
    WNDCLASS wc{};
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_LBUTTONDOWN) ++presses;
        return DefWindowProc(w, m, wp, lp);
    };
    wc.lpszClassName = "CtlTestPressCounter";
    RegisterClass(&wc);
    int answered = 0;
    hook() = [&](HWND, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_COMMAND && LOWORD(wp) == 80 && HIWORD(wp) == BN_CLICKED) {
            ++answered;
            HWND other = CreateWindow("CtlTestPressCounter", "", WS_POPUP | WS_VISIBLE, 300, 300,
                                      60, 40, nullptr, nullptr, nullptr, nullptr);
            td::click(other, 10, 10);
            td::run_until_idle();
            DestroyWindow(other);
            return TRUE;
        }
        return 0;
    };
    open({{WC_BUTTON, 80, "Open", vis | BS_PUSHBUTTON, 5, 5, 50, 14}});
    td::click(item(80), 5, 5);
    td::run_until_idle();
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(presses, 1);
}

} // namespace

// A click or a double click on an enabled control gives it the focus (the
// second click of a double click may reach a control the focus has left);
// a disabled one never takes it.
TEST_F(CtlTest, ClicksAndDoubleClicksFocusOnlyEnabledControls) {
    open({{WC_BUTTON, 80, "One", vis | WS_TABSTOP | BS_PUSHBUTTON, 5, 5, 50, 14},
          {WC_EDIT, 81, "", vis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 5, 25, 80, 12},
          {WC_BUTTON, 82, "Off", vis | WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, 5, 45, 50, 14}});
    SetFocus(item(80));
    ASSERT_EQ(GetFocus(), item(80));
    SendMessage(item(81), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_EQ(GetFocus(), item(81));
    SendMessage(item(80), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessage(item(80), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(GetFocus(), item(80));
    SendMessage(item(82), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessage(item(82), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(GetFocus(), item(80));
}

// A parent that answers with a hollow brush asks for no background: the
// label's own pixels away from its text are left as they were, not filled
// with the device's white background colour.
TEST_F(CtlTest, AHollowBrushFromTheParentLeavesTheLabelsBackgroundAlone) {
    hook() = [&](HWND, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_CTLCOLORSTATIC) {
            SetTextColor(reinterpret_cast<HDC>(wp), RGB(0, 0, 255));
            return reinterpret_cast<INT_PTR>(GetStockObject(HOLLOW_BRUSH));
        }
        return 0;
    };
    open({{WC_STATIC, 62, "L", vis | SS_LEFT, 5, 5, 60, 12}});
    QImage shot = win_widget(item(62))->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    const QColor corner(shot.pixel(shot.width() - 2, shot.height() - 2));
    EXPECT_NE(corner, QColor(255, 255, 255));
}

// A hatched brush is lines over the background colour: the label shows the
// background colour the parent set, not a solid block of the lines' colour.
TEST_F(CtlTest, AHatchedBrushFromTheParentShowsTheBackgroundColour) {
    HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(255, 0, 0));
    hook() = [&](HWND, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_CTLCOLORSTATIC) {
            SetBkColor(reinterpret_cast<HDC>(wp), RGB(0, 255, 0));
            return reinterpret_cast<INT_PTR>(hatch);
        }
        return 0;
    };
    open({{WC_STATIC, 63, "L", vis | SS_LEFT, 5, 5, 60, 12}});
    QImage shot = win_widget(item(63))->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    int green = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = shot.width() / 2; x < shot.width(); ++x)
            green += QColor(shot.pixel(x, y)) == QColor(0, 255, 0);
    EXPECT_GT(green, 0);
    DeleteObject(hatch);
}

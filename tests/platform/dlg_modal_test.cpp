// The dialog manager: templates, modal loops, EndDialog, item helpers and the
// keyboard interface.
#include "dlg_fixture.h"

#include "platform/dlg.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

using namespace dlgtest;
namespace td = test_driver;

namespace {

constexpr DWORD child = WS_CHILD | WS_VISIBLE;

DialogTemplate sample(int id = 500) {
    DialogTemplate t;
    t.id = id;
    t.caption = "Sample";
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_MODALFRAME;
    t.font_face = "Sans Serif";
    t.font_points = 8;
    t.cx = 200;
    t.cy = 120;
    t.items = {
        {WC_STATIC, IDC_STATIC, "&Name:", child | SS_LEFT, 5, 5, 40, 10},
        {WC_EDIT, 101, "first", child | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 50, 5, 100, 12},
        {WC_BUTTON, 201, "&Red", child | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 5, 25, 50, 10},
        {WC_BUTTON, 202, "&Green", child | BS_AUTORADIOBUTTON, 5, 37, 50, 10},
        {WC_BUTTON, 203, "&Blue", child | BS_AUTORADIOBUTTON, 5, 49, 50, 10},
        {WC_BUTTON, 301, "&Check", child | WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 80, 25, 60, 10},
        {WC_BUTTON, IDOK, "OK", child | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 40, 95, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", child | WS_TABSTOP | BS_PUSHBUTTON, 110, 95, 50, 14},
    };
    return t;
}

class DialogTest : public DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        dlg_clear_templates();
        ASSERT_TRUE(dlg_register_template(sample()));
    }
};

TEST_F(DialogTest, EndDialogFromInitDialogNeverShowsOrWaits) {
    int inits = 0;
    hook() = [&](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            ++inits;
            EndDialog(dlg, 42);
            return TRUE;
        }
        return 0;
    };
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 0), 42);
    EXPECT_EQ(inits, 1);
    EXPECT_TRUE(dlg_modal_stack().empty());
    EXPECT_EQ(td::find_window(WC_DIALOG), nullptr); // destroyed
}

TEST_F(DialogTest, InitDialogGetsParameterAndControlsAreFilled) {
    LPARAM seen = 0;
    char edit[64] = {};
    hook() = [&](HWND dlg, UINT msg, WPARAM, LPARAM lp) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            seen = lp;
            GetDlgItemText(dlg, 101, edit, sizeof edit);
            EndDialog(dlg, 1);
        }
        return 0;
    };
    DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 1234);
    EXPECT_EQ(seen, 1234);
    EXPECT_STREQ(edit, "first");
}

TEST_F(DialogTest, ModalLoopDispatchesTimersAndPostedMessagesAndDisablesOwner) {
    HWND owner = make_owner();
    int ticks = 0, posted = 0;
    bool owner_enabled_inside = true;
    hook() = [&](HWND dlg, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        switch (msg) {
        case WM_INITDIALOG:
            owner_enabled_inside = IsWindowEnabled(owner) != 0;
            SetTimer(dlg, 7, 100, nullptr);
            PostMessage(dlg, WM_USER + 5, 0, 0);
            return TRUE;
        case WM_USER + 5:
            ++posted;
            return TRUE;
        case WM_TIMER:
            if (wp == 7 && ++ticks == 3) EndDialog(dlg, 9);
            return TRUE;
        default:
            return 0;
        }
    };
    std::uint64_t start = td::now();
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(500), owner, CALLBACK_proc, 0), 9);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(td::now() - start, 300u); // the manual clock moved timer by timer
    EXPECT_FALSE(owner_enabled_inside);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(DialogTest, EscapeCancelsAndEnterPressesTheDefaultButton) {
    td::on_idle([] { td::press_key(VK_ESCAPE); });
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 0), IDCANCEL);
    td::on_idle([] { td::press_key(VK_RETURN); });
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 0), IDOK);
    // The edit field had the focus: Enter went to the dialog, not into the text.
    EXPECT_EQ(codes_of(IDOK), std::vector<int>{BN_CLICKED});
}

TEST_F(DialogTest, EnterOnAFocusedPushButtonPressesThatButton) {
    hook() = [&](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            SetFocus(GetDlgItem(dlg, IDCANCEL));
            return FALSE; // focus set here
        }
        return 0;
    };
    td::on_idle([] { td::press_key(VK_RETURN); });
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 0), IDCANCEL);
}

TEST_F(DialogTest, TabWalksTabStopsAndArrowsMoveWithinRadioGroup) {
    std::vector<int> focus_ids;
    HWND dialog = nullptr;
    hook() = [&](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) dialog = dlg;
        return 0;
    };
    auto record = [&] { focus_ids.push_back(GetDlgCtrlID(GetFocus())); };
    td::on_idle(record); // 101 first tab stop
    td::on_idle([] { td::press_key(VK_TAB); });
    td::on_idle(record);                         // 201
    td::on_idle([] { td::press_key(VK_DOWN); }); // 202 and checks it
    td::on_idle(record);
    td::on_idle([] { td::press_key(VK_DOWN); }); // 203
    td::on_idle([] { td::press_key(VK_DOWN); }); // wraps to 201
    td::on_idle(record);
    td::on_idle([] { td::press_key(VK_TAB); }); // 301
    td::on_idle(record);
    td::on_idle([] { td::press_key(VK_TAB, td::shift); }); // back to the group: 201
    td::on_idle(record);
    td::on_idle([&] { EndDialog(dialog, 5); });
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 0), 5);
    EXPECT_EQ(focus_ids, (std::vector<int>{101, 201, 202, 201, 301, 201}));
}

TEST_F(DialogTest, AutoRadioButtonsKeepOneCheckedPerGroup) {
    hook() = [&](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg != WM_INITDIALOG) return 0;
        CheckRadioButton(dlg, 201, 203, 202);
        EXPECT_EQ(IsDlgButtonChecked(dlg, 202), BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg, 201), BST_UNCHECKED);
        SendDlgItemMessage(dlg, 203, BM_CLICK, 0, 0); // as a click would
        EXPECT_EQ(IsDlgButtonChecked(dlg, 203), BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg, 202), BST_UNCHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg, 201), BST_UNCHECKED);
        // The check box is a group of its own: clicking it leaves the radios.
        SendDlgItemMessage(dlg, 301, BM_CLICK, 0, 0);
        EXPECT_EQ(IsDlgButtonChecked(dlg, 301), BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dlg, 203), BST_CHECKED);
        EndDialog(dlg, 1);
        return TRUE;
    };
    DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 0);
    EXPECT_EQ(codes_of(203), std::vector<int>{BN_CLICKED});
    EXPECT_EQ(codes_of(301), std::vector<int>{BN_CLICKED});
}

TEST_F(DialogTest, MouseClickOnARadioButtonChecksItAndNotifies) {
    HWND dialog = nullptr;
    hook() = [&](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) dialog = dlg;
        return 0;
    };
    td::on_idle([&] { td::click(GetDlgItem(dialog, 202), 5, 5); });
    td::on_idle([&] {
        EXPECT_EQ(IsDlgButtonChecked(dialog, 202), BST_CHECKED);
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), 202);
        EndDialog(dialog, 1);
    });
    DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 0);
    EXPECT_EQ(codes_of(202), std::vector<int>{BN_CLICKED});
}

TEST_F(DialogTest, ItemIntegersRoundTripAndRejectGarbage) {
    hook() = [&](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg != WM_INITDIALOG) return 0;
        BOOL ok = FALSE;
        SetDlgItemInt(dlg, 101, static_cast<UINT>(-17), TRUE);
        EXPECT_EQ(static_cast<int>(GetDlgItemInt(dlg, 101, &ok, TRUE)), -17);
        EXPECT_TRUE(ok);
        GetDlgItemInt(dlg, 101, &ok, FALSE); // negative refused unsigned
        EXPECT_FALSE(ok);
        SetDlgItemText(dlg, 101, " 12x");
        GetDlgItemInt(dlg, 101, &ok, TRUE);
        EXPECT_FALSE(ok);
        SetDlgItemText(dlg, 101, "99999999999");
        GetDlgItemInt(dlg, 101, &ok, TRUE);
        EXPECT_FALSE(ok);
        // Unknown ids fail cleanly.
        EXPECT_FALSE(SetDlgItemText(dlg, 999, "x"));
        char buf[8] = "junk";
        EXPECT_EQ(GetDlgItemText(dlg, 999, buf, sizeof buf), 0u);
        EXPECT_STREQ(buf, "");
        EXPECT_EQ(SendDlgItemMessage(dlg, 999, WM_GETTEXTLENGTH, 0, 0), 0);
        EndDialog(dlg, 1);
        return TRUE;
    };
    DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 0);
}

TEST_F(DialogTest, DialogUnitsFollowTheFont) {
    hook() = [&](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg != WM_INITDIALOG) return 0;
        RECT r{0, 0, 4, 8};
        EXPECT_TRUE(MapDialogRect(dlg, &r));
        EXPECT_GT(r.right, 0);
        EXPECT_GT(r.bottom, r.right); // one height unit is taller than one width unit
        RECT c;
        GetClientRect(dlg, &c);
        EXPECT_EQ(c.right, 200 * r.right / 4);
        EXPECT_EQ(c.bottom, 120 * r.bottom / 8);
        // Every control got the dialog's font.
        auto font = SendMessage(dlg, WM_GETFONT, 0, 0);
        EXPECT_NE(font, 0);
        EXPECT_EQ(SendDlgItemMessage(dlg, 101, WM_GETFONT, 0, 0), font);
        EXPECT_EQ(SendDlgItemMessage(dlg, IDOK, WM_GETFONT, 0, 0), font);
        EndDialog(dlg, 1);
        return TRUE;
    };
    DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 0);
}

// A dialog given another font by WM_SETFONT (a page taking its panel's font)
// deletes only the font it made itself: the font given stays usable by its
// owner after the dialog is gone.
TEST_F(DialogTest, ADestroyedDialogLeavesAFontItWasGivenAlone) {
    HFONT given = CreateFont(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Sans");
    ASSERT_NE(given, nullptr);
    DialogTemplate t = sample(504);
    HWND owner = make_owner();
    HWND dlg = CreateDialogIndirectParam(nullptr, &t, owner, CALLBACK_proc, 0);
    ASSERT_NE(dlg, nullptr);
    auto made = reinterpret_cast<HFONT>(SendMessage(dlg, WM_GETFONT, 0, 0));
    ASSERT_NE(made, nullptr);
    LOGFONT lf{};
    SendMessage(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(given), FALSE);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(dlg, WM_GETFONT, 0, 0)), given);
    DestroyWindow(dlg);
    EXPECT_GT(GetObject(given, sizeof lf, &lf), 0) << "the given font was deleted";
    EXPECT_EQ(GetObject(made, sizeof lf, &lf), 0) << "the template's font leaked";
    DeleteObject(given);
}

TEST_F(DialogTest, BadTemplatesFailWithAMessage) {
    DialogTemplate t = sample(501);
    t.items.push_back({"NoSuchClass", 400, "", child, 0, 0, 10, 10});
    ASSERT_TRUE(dlg_register_template(t));
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(501), nullptr, CALLBACK_proc, 0), -1);
    ASSERT_FALSE(errors().empty());
    EXPECT_NE(errors().back().find("NoSuchClass"), std::string::npos);
    EXPECT_EQ(td::find_window(WC_DIALOG), nullptr);

    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(777), nullptr, CALLBACK_proc, 0), -1);
    EXPECT_NE(errors().back().find("777"), std::string::npos);

    DialogTemplate dup = sample(502);
    dup.items.push_back({WC_BUTTON, 101, "again", child, 0, 0, 10, 10});
    EXPECT_FALSE(dlg_register_template(dup));
    EXPECT_NE(errors().back().find("twice"), std::string::npos);
    EXPECT_EQ(dlg_find_template(502), nullptr);
}

TEST_F(DialogTest, QuitDuringAModalDialogEndsItAndReachesTheOuterLoop) {
    hook() = [&](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) PostQuitMessage(3);
        return 0;
    };
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(500), nullptr, CALLBACK_proc, 0), -1);
    MSG m;
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 3u);
}

TEST_F(DialogTest, ModelessDialogIsNavigatedThroughIsDialogMessage) {
    HWND owner = make_owner();
    DialogTemplate t = sample(503);
    t.style |= WS_VISIBLE;
    HWND dlg = CreateDialogIndirectParam(nullptr, &t, owner, CALLBACK_proc, 0);
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(IsWindowEnabled(owner)); // modeless: the owner stays usable
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), 101);
    td::press_key(VK_TAB);
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE))
        if (!IsDialogMessage(dlg, &m)) {
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), 201);
    DestroyWindow(dlg);
}

} // namespace

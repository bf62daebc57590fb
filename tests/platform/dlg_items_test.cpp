// The dialog item helpers a settings dialog leans on: numbers read from a
// field within their type's range, radio groups checked over their whole
// range, and closing a dialog that cannot be cancelled.
#include "dlg_fixture.h"

#include "platform/dlg.h"

#include <gtest/gtest.h>

#include <climits>

using namespace dlgtest;

namespace {

class DialogItems : public ItemDialogTest {
protected:
    DialogItems() : ItemDialogTest("Items") {}
};

TEST_F(DialogItems, NumbersAreReadWithinTheirTypesRange) {
    open({{WC_EDIT, 101, "", vis | WS_BORDER, 5, 5, 80, 12}});
    struct Case {
        const char* text;
        BOOL is_signed;
        bool ok;
        UINT value;
    };
    const Case cases[] = {
        {"42", FALSE, true, 42},
        {"  42  ", FALSE, true, 42},
        {"-5", FALSE, false, 0}, // no sign for an unsigned number
        {"-0", FALSE, false, 0}, // not even before a zero
        {"-5", TRUE, true, static_cast<UINT>(-5)},
        {"2147483647", TRUE, true, 2147483647u}, // the largest int
        {"2147483648", TRUE, false, 0},
        {"-2147483648", TRUE, true, 0x80000000u},
        {"4294967295", FALSE, true, 4294967295u}, // the largest unsigned
        {"4294967296", FALSE, false, 0},
        {"12x", FALSE, false, 0},
        {"", FALSE, false, 0},
    };
    for (const Case& c : cases) {
        SetDlgItemText(dialog, 101, c.text);
        BOOL ok = !c.ok;
        const UINT v = GetDlgItemInt(dialog, 101, &ok, c.is_signed);
        EXPECT_EQ(ok != FALSE, c.ok) << '"' << c.text << '"';
        EXPECT_EQ(v, c.value) << '"' << c.text << '"';
    }
    // Written and read back.
    SetDlgItemInt(dialog, 101, static_cast<UINT>(-77), TRUE);
    BOOL ok = FALSE;
    EXPECT_EQ(static_cast<int>(GetDlgItemInt(dialog, 101, &ok, TRUE)), -77);
    EXPECT_TRUE(ok);
}

TEST_F(DialogItems, ARadioGroupIsCheckedOverItsWholeRange) {
    open({{WC_BUTTON, 201, "&A", vis | BS_RADIOBUTTON | WS_GROUP, 5, 5, 40, 10},
          {WC_BUTTON, 202, "&B", vis | BS_RADIOBUTTON, 5, 17, 40, 10},
          {WC_BUTTON, 203, "&C", vis | BS_RADIOBUTTON, 5, 29, 40, 10},
          {WC_BUTTON, 204, "&D", vis | BS_RADIOBUTTON, 5, 41, 40, 10}});
    CheckDlgButton(dialog, 204, BST_CHECKED); // outside the range: left alone
    EXPECT_TRUE(CheckRadioButton(dialog, 201, 203, 203));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 201), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 203), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 204), BST_CHECKED);
    EXPECT_TRUE(CheckRadioButton(dialog, 201, 203, 201));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 201), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 203), BST_UNCHECKED); // the last one too
    EXPECT_FALSE(CheckRadioButton(dialog, 203, 201, 202));
}

TEST_F(DialogItems, ClosingCancelsOnlyWhileCancelCanBePressed) {
    open({{WC_BUTTON, IDOK, "OK", vis | BS_DEFPUSHBUTTON, 5, 5, 40, 14},
          {WC_BUTTON, IDCANCEL, "Cancel", vis | BS_PUSHBUTTON, 50, 5, 40, 14}});
    int cancels = 0;
    hook() = [&](HWND, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
            ++cancels;
            return TRUE; // handled: the dialog stays for the test
        }
        return 0;
    };
    EnableWindow(item(IDCANCEL), FALSE);
    SendMessage(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(cancels, 0);
    EnableWindow(item(IDCANCEL), TRUE);
    SendMessage(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(cancels, 1);
    DestroyWindow(dialog);
}

// A new default push button takes the default look from the old one.
TEST_F(DialogItems, TheDefaultButtonMovesWithItsLook) {
    open({{WC_BUTTON, IDOK, "OK", vis | BS_DEFPUSHBUTTON, 5, 5, 40, 14},
          {WC_BUTTON, 301, "Apply", vis | BS_PUSHBUTTON, 50, 5, 40, 14}});
    auto kind = [&](int id) { return GetWindowLongPtr(item(id), GWL_STYLE) & BS_TYPEMASK; };
    EXPECT_EQ(SendMessage(dialog, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
    SendMessage(dialog, DM_SETDEFID, 301, 0);
    EXPECT_EQ(SendMessage(dialog, DM_GETDEFID, 0, 0), MAKELONG(301, DC_HASDEFID));
    EXPECT_EQ(kind(301), BS_DEFPUSHBUTTON);
    EXPECT_EQ(kind(IDOK), BS_PUSHBUTTON);
}

// A template is named by its number, as a number or as text with or
// without a leading '#'.
TEST_F(DialogItems, TemplatesAreFoundByTheirNumberWrittenAnyWay) {
    DialogTemplate t;
    t.id = 612;
    t.caption = "Named";
    t.style = WS_POPUP;
    t.cx = 60;
    t.cy = 30;
    ASSERT_TRUE(dlg_register_template(t));
    for (const char* name : {MAKEINTRESOURCE(612), "612", "#612"}) {
        HWND d = CreateDialogParam(nullptr, name, nullptr, CALLBACK_proc, 0);
        ASSERT_NE(d, nullptr) << (IS_INTRESOURCE(name) ? "number" : name);
        EXPECT_EQ(dlg_template_id(d), 612);
        DestroyWindow(d);
    }
    errors().clear();
    EXPECT_EQ(CreateDialogParam(nullptr, "#61x", nullptr, CALLBACK_proc, 0), nullptr);
    EXPECT_EQ(errors().size(), 1u);
}

} // namespace

// The dialog keyboard as a user meets it: arrows onto an automatic option
// button choose it, Enter on a greyed default button does nothing, Alt with a
// digit presses the button it marks, and "&&" shows an ampersand without
// making the letter after it a mnemonic.
#include "dlg_fixture.h"

#include "platform/dlg.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

using namespace dlgtest;

namespace {

class DlgKeys : public ItemDialogTest {
protected:
    DlgKeys() : ItemDialogTest("Keys") {}
    // The message as the dialog's loop hands it to IsDialogMessage.
    bool key(HWND to, UINT message, WPARAM key) {
        MSG m{to, message, key, 0, 0, {}, 0};
        const bool taken = IsDialogMessage(dialog, &m);
        pump();
        return taken;
    }
    int clicks(int id) {
        int n = 0;
        for (int code : codes_of(id)) n += code == BN_CLICKED;
        return n;
    }
};

TEST_F(DlgKeys, ArrowsOntoAnAutomaticOptionButtonChooseIt) {
    open({
        {WC_BUTTON, 201, "&Red", vis | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 5, 5, 50, 10},
        {WC_BUTTON, 202, "&Green", vis | BS_AUTORADIOBUTTON, 5, 17, 50, 10},
        {WC_BUTTON, 203, "&Blue", vis | BS_AUTORADIOBUTTON, 5, 29, 50, 10},
        {WC_BUTTON, 301, "&Small", vis | WS_TABSTOP | WS_GROUP | BS_RADIOBUTTON, 80, 5, 50, 10},
        {WC_BUTTON, 302, "&Large", vis | BS_RADIOBUTTON, 80, 17, 50, 10},
        {WC_BUTTON, IDOK, "OK", vis | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 40, 60, 50, 14},
    });
    CheckRadioButton(dialog, 201, 203, 201);
    SetFocus(item(201));
    pump();
    EXPECT_TRUE(key(item(201), WM_KEYDOWN, VK_DOWN));
    EXPECT_EQ(GetFocus(), item(202));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 202), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 201), BST_UNCHECKED);
    EXPECT_TRUE(key(item(202), WM_KEYDOWN, VK_UP));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 201), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 202), BST_UNCHECKED);
    // A plain option button is the program's to check: the arrow only moves.
    CheckDlgButton(dialog, 301, BST_CHECKED);
    SetFocus(item(301));
    pump();
    EXPECT_TRUE(key(item(301), WM_KEYDOWN, VK_DOWN));
    EXPECT_EQ(GetFocus(), item(302));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 302), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 301), BST_CHECKED);
}

TEST_F(DlgKeys, EnterOnAGreyedDefaultButtonPressesNothing) {
    open({
        {WC_EDIT, 101, "text", vis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 5, 5, 100, 12},
        {WC_BUTTON, IDOK, "OK", vis | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 40, 60, 50, 14},
        {WC_BUTTON, IDCANCEL, "Cancel", vis | WS_TABSTOP | BS_PUSHBUTTON, 100, 60, 50, 14},
    });
    SetFocus(item(101));
    pump();
    EnableWindow(item(IDOK), FALSE);
    EXPECT_TRUE(key(item(101), WM_KEYDOWN, VK_RETURN));
    EXPECT_TRUE(codes_of(IDOK).empty());
    EXPECT_TRUE(IsWindow(dialog));
    // Enabled again, Enter presses it.
    EnableWindow(item(IDOK), TRUE);
    EXPECT_TRUE(key(item(101), WM_KEYDOWN, VK_RETURN));
    EXPECT_EQ(clicks(IDOK), 1);
    // Escape on a greyed Cancel presses nothing either.
    EnableWindow(item(IDCANCEL), FALSE);
    EXPECT_TRUE(key(item(101), WM_KEYDOWN, VK_ESCAPE));
    EXPECT_TRUE(codes_of(IDCANCEL).empty());
}

TEST_F(DlgKeys, AltWithALetterOrDigitPressesTheButtonItMarks) {
    open({
        {WC_EDIT, 101, "", vis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 5, 5, 100, 12},
        {WC_BUTTON, 401, "R&&D", vis | WS_TABSTOP | BS_PUSHBUTTON, 5, 25, 50, 14},
        {WC_BUTTON, 402, "&Display", vis | WS_TABSTOP | BS_PUSHBUTTON, 60, 25, 50, 14},
        {WC_BUTTON, 403, "Depth &9", vis | WS_TABSTOP | BS_PUSHBUTTON, 5, 45, 50, 14},
        {WC_BUTTON, 404, "Depth 1&0", vis | WS_TABSTOP | BS_PUSHBUTTON, 60, 45, 50, 14},
        {WC_BUTTON, IDOK, "OK", vis | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 40, 70, 50, 14},
    });
    SetFocus(item(101));
    pump();
    // "R&&D" shows "R&D": its D is no mnemonic, Alt+D is the other button's.
    EXPECT_TRUE(key(item(101), WM_SYSKEYDOWN, 'D'));
    EXPECT_EQ(clicks(402), 1);
    EXPECT_EQ(clicks(401), 0);
    EXPECT_TRUE(key(item(101), WM_SYSKEYDOWN, '9'));
    EXPECT_EQ(clicks(403), 1);
    EXPECT_TRUE(key(item(101), WM_SYSKEYDOWN, '0'));
    EXPECT_EQ(clicks(404), 1);
    // A key no control marks presses nothing.
    key(item(101), WM_SYSKEYDOWN, '7');
    EXPECT_EQ(clicks(401) + clicks(402) + clicks(403) + clicks(404), 3);
}

} // namespace

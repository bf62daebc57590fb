// Edit fields and menu items as a program sets them: a limit of 0 lifts the
// limit, upper- and lower-case fields turn what is typed, and a menu item can
// be disabled without being greyed, then enabled again.
#include "dlg_fixture.h"

#include "platform/menu.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <string>

using namespace dlgtest;
namespace td = test_driver;

namespace {

class EditCases : public ItemDialogTest {
protected:
    EditCases() : ItemDialogTest("Edit cases") {}
    std::string text(int id) {
        char buf[256] = {};
        GetDlgItemText(dialog, id, buf, sizeof buf);
        return buf;
    }
};

TEST_F(EditCases, ALimitOfZeroLiftsTheLimit) {
    open({{WC_EDIT, 40, "", vis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 5, 5, 150, 12}});
    SendDlgItemMessage(dialog, 40, EM_LIMITTEXT, 3, 0);
    EXPECT_EQ(SendDlgItemMessage(dialog, 40, EM_GETLIMITTEXT, 0, 0), 3);
    SendDlgItemMessage(dialog, 40, EM_LIMITTEXT, 0, 0);
    EXPECT_GE(SendDlgItemMessage(dialog, 40, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
    SetFocus(item(40));
    td::type_text("no limit here");
    pump();
    EXPECT_EQ(text(40), "no limit here");
}

TEST_F(EditCases, UpperAndLowerCaseFieldsTurnWhatIsTyped) {
    open({{WC_EDIT, 41, "", vis | WS_TABSTOP | WS_BORDER | ES_UPPERCASE, 5, 5, 150, 12},
          {WC_EDIT, 42, "", vis | WS_TABSTOP | WS_BORDER | ES_LOWERCASE, 5, 25, 150, 12}});
    SetFocus(item(41));
    td::type_text("Mixed Case 7");
    pump();
    EXPECT_EQ(text(41), "MIXED CASE 7");
    SetFocus(item(42));
    td::type_text("Mixed Case 7");
    pump();
    EXPECT_EQ(text(42), "mixed case 7");
}

// MF_DISABLED and MF_GRAYED are states of their own: each is kept as given
// and reported, and MF_ENABLED clears both; the old state is returned.
TEST(MenuStates, DisabledAndGreyedAreKeptApartAndCleared) {
    td::start();
    HMENU m = CreatePopupMenu();
    ASSERT_NE(m, nullptr);
    AppendMenu(m, MF_STRING, 11, "One");
    AppendMenu(m, MF_STRING, 12, "Two");
    EXPECT_EQ(EnableMenuItem(m, 11, MF_BYCOMMAND | MF_DISABLED), MF_ENABLED);
    EXPECT_EQ(GetMenuState(m, 11, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED), MF_DISABLED);
    EXPECT_EQ(EnableMenuItem(m, 11, MF_BYCOMMAND | MF_GRAYED), MF_DISABLED);
    EXPECT_EQ(GetMenuState(m, 11, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED), MF_GRAYED);
    EXPECT_EQ(EnableMenuItem(m, 1, MF_BYPOSITION | MF_GRAYED | MF_DISABLED), MF_ENABLED);
    EXPECT_EQ(GetMenuState(m, 12, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED),
              MF_DISABLED | MF_GRAYED);
    EXPECT_EQ(EnableMenuItem(m, 12, MF_BYCOMMAND | MF_ENABLED), MF_DISABLED | MF_GRAYED);
    EXPECT_EQ(GetMenuState(m, 12, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED), 0u);
    EXPECT_EQ(EnableMenuItem(m, 99, MF_BYCOMMAND | MF_GRAYED), static_cast<UINT>(-1));
    DestroyMenu(m);
}

} // namespace

// Check boxes as a click leaves them: an automatic three-state box goes from
// clear to checked to the third state and back to clear, an automatic box
// toggles, and a box the program keeps itself is left to the program.
#include "dlg_fixture.h"

#include <gtest/gtest.h>

#include <vector>

using namespace dlgtest;

namespace {

class CheckStates : public ItemDialogTest {
protected:
    CheckStates() : ItemDialogTest("Checks") {}
    std::vector<LRESULT> clicks(int id, int n) {
        std::vector<LRESULT> out;
        for (int k = 0; k < n; ++k) {
            SendDlgItemMessage(dialog, id, BM_CLICK, 0, 0);
            pump();
            out.push_back(SendDlgItemMessage(dialog, id, BM_GETCHECK, 0, 0));
        }
        return out;
    }
};

TEST_F(CheckStates, AClickMovesEachKindOfBoxOnAsItShould) {
    open({{WC_BUTTON, 61, "Three", vis | WS_TABSTOP | BS_AUTO3STATE, 5, 5, 80, 10},
          {WC_BUTTON, 62, "Two", vis | WS_TABSTOP | BS_AUTOCHECKBOX, 5, 20, 80, 10},
          {WC_BUTTON, 63, "Kept", vis | WS_TABSTOP | BS_3STATE, 5, 35, 80, 10}});
    EXPECT_EQ(clicks(61, 4),
              (std::vector<LRESULT>{BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED, BST_CHECKED}));
    EXPECT_EQ(clicks(62, 3), (std::vector<LRESULT>{BST_CHECKED, BST_UNCHECKED, BST_CHECKED}));
    // The program's own box: a click tells the program and changes nothing.
    SendDlgItemMessage(dialog, 63, BM_SETCHECK, BST_INDETERMINATE, 0);
    EXPECT_EQ(clicks(63, 2), (std::vector<LRESULT>{BST_INDETERMINATE, BST_INDETERMINATE}));
    int told = 0;
    for (int code : codes_of(63)) told += code == BN_CLICKED;
    EXPECT_EQ(told, 2);
}

} // namespace

// What the keyboard does in the program's dialogs and menus: Enter in a box
// typed one line at a time starts a new line, a dialog without OK still has
// the button Enter presses, every mnemonic names a letter, and the diagram's
// Depth menu offers every level under the command the sketch window serves.
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/menu.h"
#include "platform/win.h"
#include "resources/dialogs.h"
#include "resources/menus.h"
#include "resources/simdlg.h"
#include "tests/driver/driver.h"
#include "tests/resources/every_template.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

bool is(const DialogItem& item, const char* cls) {
    return item.cls && std::string(item.cls) == cls;
}
bool push_button(const DialogItem& item) {
    const DWORD type = item.style & BS_TYPEMASK;
    return is(item, WC_BUTTON) && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

// The problem with a text's mnemonics, "" when none: each '&' either doubles
// ("&&" shows one) or marks the letter or digit after it.
std::string mnemonic_problem(const char* text) {
    if (!text) return {};
    for (const char* p = text; *p; ++p) {
        if (*p != '&') continue;
        if (p[1] == '&') {
            ++p;
            continue;
        }
        if (!std::isalnum(static_cast<unsigned char>(p[1])))
            return std::string("'&' before '") + (p[1] ? std::string(1, p[1]) : "end") + "'";
    }
    return {};
}

TEST(Keys, EveryMnemonicInTheDialogsMarksALetter) {
    for (const DialogTemplate* t : every_template()) {
        SCOPED_TRACE("template " + std::to_string(t->id));
        for (const DialogItem& item : t->items) {
            // A static without SS_NOPREFIX shows '&' as a mnemonic too.
            if (is(item, WC_STATIC) && (item.style & SS_NOPREFIX)) continue;
            EXPECT_EQ(mnemonic_problem(item.text), "") << item.id << " \"" << item.text << "\"";
        }
    }
}

void check_menu_mnemonics(HMENU menu, const std::string& where) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[128] = {};
        GetMenuString(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        // The accelerator after a tab is no mnemonic text.
        std::string shown(text);
        shown = shown.substr(0, shown.find('\t'));
        EXPECT_EQ(mnemonic_problem(shown.c_str()), "") << where << " item " << i << " " << text;
        if (HMENU sub = GetSubMenu(menu, i)) check_menu_mnemonics(sub, where + "/" + shown);
    }
}

TEST(Keys, EveryMnemonicInTheMenusMarksALetter) {
    register_every_template();
    register_menu_templates();
    for (int id : {static_cast<int>(menu_main), static_cast<int>(menu_output_edit),
                   static_cast<int>(menu_changes), static_cast<int>(menu_sketch_edit),
                   static_cast<int>(menu_sketch_view), static_cast<int>(menu_sketch_layout)}) {
        HMENU m = LoadMenu(nullptr, MAKEINTRESOURCE(id));
        ASSERT_NE(m, nullptr) << id;
        check_menu_mnemonics(m, "menu " + std::to_string(id));
        DestroyMenu(m);
    }
}

// A multi-line box is typed a line at a time (lookup points, model notes):
// Enter in it makes a new line instead of pressing the dialog's button.
TEST(Keys, MultiLineBoxesKeepEnterForANewLine) {
    int multi = 0;
    for (const DialogTemplate* t : every_template()) {
        SCOPED_TRACE("template " + std::to_string(t->id));
        for (const DialogItem& item : t->items)
            if (is(item, WC_EDIT) && (item.style & ES_MULTILINE)) {
                ++multi;
                EXPECT_TRUE(item.style & ES_WANTRETURN) << "edit " << item.id;
            }
    }
    EXPECT_GE(multi, 2);
}

// Keeps the id of the last button clicked in the dialog's user long.
INT_PTR note_clicks(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) {
        SetWindowLongPtr(dlg, DWLP_USER, static_cast<LONG_PTR>(LOWORD(wp)));
        return TRUE;
    }
    return FALSE;
}

// Typed into the lookup's points box as a user does: "1, 2", Enter, "3, 4"
// leaves two lines and the dialog open (no button pressed).
TEST(Keys, EnterInTheLookupPointsStartsTheNextPoint) {
    register_every_template();
    const DialogTemplate* t = dlg_find_template(dlg_lookup_changes);
    ASSERT_NE(t, nullptr);
    DialogTemplate modeless = *t;
    modeless.style |= WS_VISIBLE;
    HWND dialog = CreateDialogIndirectParam(nullptr, &modeless, nullptr, note_clicks, 0);
    ASSERT_NE(dialog, nullptr);
    HWND points = GetDlgItem(dialog, ids_points);
    ASSERT_NE(points, nullptr);
    SetFocus(points);
    test_driver::type_text("1, 2");
    test_driver::press_key(VK_RETURN);
    test_driver::type_text("3, 4");
    // The dialog's loop: every message through IsDialogMessage.
    MSG m;
    for (int k = 0; k < 10000 && PeekMessage(&m, nullptr, 0, 0, PM_REMOVE); ++k)
        if (!IsDialogMessage(dialog, &m)) {
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
    EXPECT_EQ(GetWindowLongPtr(dialog, DWLP_USER), 0) << "a button was pressed";
    EXPECT_EQ(SendMessage(points, EM_GETLINECOUNT, 0, 0), 2);
    char text[64] = {};
    GetWindowText(points, text, sizeof text);
    EXPECT_STREQ(text, "1, 2\r\n3, 4");
    DestroyWindow(dialog);
}

// A label that shows its text as it stands (SS_NOPREFIX) would show "&p"
// literally: a mnemonic in a label's text needs the label to read it.
TEST(Keys, LabelsThatShowTheirTextAsItStandsHoldNoMnemonic) {
    for (const DialogTemplate* t : every_template()) {
        SCOPED_TRACE("template " + std::to_string(t->id));
        for (const DialogItem& item : t->items) {
            if (!is(item, WC_STATIC) || !(item.style & SS_NOPREFIX) || !item.text) continue;
            for (const char* p = item.text; *p; ++p)
                EXPECT_FALSE(*p == '&' && std::isalnum(static_cast<unsigned char>(p[1])))
                    << item.id << " \"" << item.text << "\"";
        }
    }
}

// Alt+P in the password dialog goes to the password box, the prompt's
// mnemonic handing the focus on to it.
TEST(Keys, AltPGoesToThePassword) {
    register_every_template();
    const DialogTemplate* t = dlg_find_template(dlg_password);
    ASSERT_NE(t, nullptr);
    DialogTemplate modeless = *t;
    modeless.style |= WS_VISIBLE;
    HWND dialog = CreateDialogIndirectParam(nullptr, &modeless, nullptr, note_clicks, 0);
    ASSERT_NE(dialog, nullptr);
    HWND ok = GetDlgItem(dialog, IDOK);
    ASSERT_NE(ok, nullptr);
    SetFocus(ok);
    MSG alt_p{ok, WM_SYSKEYDOWN, 'P', 0, 0, {}, 0};
    IsDialogMessage(dialog, &alt_p);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, idc_password));
    DestroyWindow(dialog);
}

// A dialog of push buttons has one that Enter presses: OK where there is one
// (the styles test), else the first step the dialog is for (the game's move).
TEST(Keys, EveryDialogOfButtonsHasADefaultOne) {
    for (const DialogTemplate* t : every_template()) {
        SCOPED_TRACE("template " + std::to_string(t->id));
        int pushes = 0, defaults = 0;
        for (const DialogItem& item : t->items) {
            if (!push_button(item)) continue;
            ++pushes;
            if ((item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) ++defaults;
        }
        // Pages inside a panel are no dialogs of their own.
        if (pushes == 0 || (t->style & WS_CHILD)) continue;
        EXPECT_EQ(defaults, 1);
    }
    const DialogTemplate* game = dlg_find_template(dlg_game);
    ASSERT_NE(game, nullptr);
    const DialogItem* forward = template_item(*game, ids_game_forward);
    ASSERT_NE(forward, nullptr);
    EXPECT_EQ(forward->style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

// The diagram's View > Depth menu: Hide (command 403), "Depth 1" to
// "Depth 16" (404 to 419) and Show (420), the levels the sketch window
// serves, in order.
TEST(Menus, TheDepthMenuOffersHideEveryLevelAndShow) {
    register_every_template();
    register_menu_templates();
    HMENU view = LoadMenu(nullptr, MAKEINTRESOURCE(menu_sketch_view));
    ASSERT_NE(view, nullptr);
    HMENU depth = nullptr;
    for (int i = 0; i < GetMenuItemCount(view) && !depth; ++i) {
        char text[64] = {};
        GetMenuString(view, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        if (std::string(text) == "&Depth") depth = GetSubMenu(view, i);
    }
    ASSERT_NE(depth, nullptr);
    ASSERT_EQ(GetMenuItemCount(depth), 18);
    auto shown = [&](int i) {
        char text[64] = {};
        GetMenuString(depth, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        std::string s;
        for (const char* p = text; *p; ++p)
            if (*p != '&') s += *p;
        return s;
    };
    EXPECT_EQ(GetMenuItemID(depth, 0), 403u);
    EXPECT_EQ(shown(0), "Hide");
    for (int level = 1; level <= 16; ++level) {
        EXPECT_EQ(GetMenuItemID(depth, level), static_cast<UINT>(403 + level)) << level;
        EXPECT_EQ(shown(level), "Depth " + std::to_string(level));
    }
    EXPECT_EQ(GetMenuItemID(depth, 17), 420u);
    EXPECT_EQ(shown(17), "Show");
    DestroyMenu(view);
}

// In the Open dialog the kind of file is chosen from its list, never typed.
TEST(Keys, TheOpenDialogsFileTypeIsChosenFromItsList) {
    register_every_template();
    const DialogTemplate* t = dlg_find_template(dlg_file_choice);
    ASSERT_NE(t, nullptr);
    const DialogItem* types = template_item(*t, fdc_types);
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(types->style & 3u, static_cast<DWORD>(CBS_DROPDOWNLIST));
}

} // namespace

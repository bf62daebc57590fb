// Edit fields and combo boxes as programs drive them: a line copied into a
// buffer no larger than the program said, scrolling by lines, the read-only
// state in the style, and a combo box's items counted and measured in bytes.
#include "dlg_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace dlgtest;

namespace {

class EditCombo : public ItemDialogTest {
protected:
    EditCombo() : ItemDialogTest("Edit and combo") {}
};

TEST_F(EditCombo, ALineIsCopiedIntoNoMoreThanTheBufferGiven) {
    open({{WC_EDIT, 40, nullptr, vis | WS_BORDER | ES_MULTILINE | WS_VSCROLL, 5, 5, 150, 60}});
    HWND e = item(40);
    SetWindowText(e, "alpha\r\nbetween\r\nz");
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    const WORD room = 3;
    std::memcpy(buf, &room, sizeof room);
    EXPECT_EQ(SendMessage(e, EM_GETLINE, 1, reinterpret_cast<LPARAM>(buf)), 3);
    EXPECT_EQ(std::string(buf, 3), "bet");
    EXPECT_EQ(buf[3], '#'); // past the room given: untouched
    // A single-line field has its one line only.
    open({{WC_EDIT, 41, "one", vis | WS_BORDER, 5, 5, 100, 12}});
    EXPECT_EQ(SendMessage(item(41), EM_LINEINDEX, 0, 0), 0);
    EXPECT_EQ(SendMessage(item(41), EM_LINEINDEX, 1, 0), -1);
}

TEST_F(EditCombo, LinesScrollByTheLineCountAndReadOnlyShowsInTheStyle) {
    open({{WC_EDIT, 42, nullptr, vis | WS_BORDER | ES_MULTILINE | WS_VSCROLL, 5, 5, 150, 40}});
    HWND e = item(42);
    std::string text;
    for (int i = 0; i < 40; ++i) text += "line " + std::to_string(i) + "\r\n";
    SetWindowText(e, text.c_str());
    pump();
    EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    SendMessage(e, EM_LINESCROLL, 0, 5); // no columns, five lines down
    EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 5);
    SendMessage(e, EM_LINESCROLL, 3, -2);
    EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 3);

    EXPECT_FALSE(GetWindowLong(e, GWL_STYLE) & ES_READONLY);
    SendMessage(e, EM_SETREADONLY, TRUE, 0);
    EXPECT_TRUE(GetWindowLong(e, GWL_STYLE) & ES_READONLY);
    SendMessage(e, EM_SETREADONLY, FALSE, 0);
    EXPECT_FALSE(GetWindowLong(e, GWL_STYLE) & ES_READONLY);
}

TEST_F(EditCombo, ComboItemsAreCountedAndMeasuredInBytes) {
    open({{WC_COMBOBOX, 43, nullptr, vis | CBS_DROPDOWN, 5, 5, 100, 80}});
    HWND c = item(43);
    for (const char* t : {"Fl\xC3\xBC"
                          "sse",
                          "Seen", "Berge"})
        SendMessage(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    EXPECT_EQ(SendMessage(c, CB_GETLBTEXTLEN, 0, 0), 7); // six letters, one of two bytes
    EXPECT_EQ(SendMessage(c, CB_DELETESTRING, 1, 0), 2); // the items left
    EXPECT_EQ(SendMessage(c, CB_DELETESTRING, 5, 0), CB_ERR);
    EXPECT_EQ(SendMessage(c, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessage(c, CB_SETCURSEL, 1, 0), 1);
    // The edit line's selection: an end of 0 selects nothing, -1 to the end.
    DWORD from = 99, to = 99;
    SendMessage(c, CB_SETEDITSEL, 0, MAKELPARAM(0, 0));
    SendMessage(c, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 0u);
    SendMessage(c, CB_SETEDITSEL, 0, MAKELPARAM(2, -1));
    SendMessage(c, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 2u);
    EXPECT_EQ(to, 5u); // "Berge"
    EXPECT_EQ(SendMessage(c, CB_SETCURSEL, static_cast<WPARAM>(-1), 0), CB_ERR);
    EXPECT_EQ(SendMessage(c, CB_GETCURSEL, 0, 0), CB_ERR); // -1 clears the choice
}

// Selections given past the text end at the text's end, on either side and
// in either kind of field; -1 as the start takes the selection away and
// keeps the caret.
TEST_F(EditCombo, SelectionsPastTheTextEndAtItsEnd) {
    open({{WC_EDIT, 43, "hello", vis | WS_BORDER, 5, 5, 100, 12},
          {WC_EDIT, 44, nullptr, vis | WS_BORDER | ES_MULTILINE, 5, 25, 100, 40}});
    SetWindowText(item(44), "ab\r\ncd");
    auto sel = [](HWND e) {
        DWORD s = 0, t = 0;
        SendMessage(e, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&t));
        return std::make_pair(static_cast<int>(s), static_cast<int>(t));
    };
    for (auto [id, len] : {std::make_pair(43, 5), std::make_pair(44, 6)}) {
        SCOPED_TRACE(id);
        HWND e = item(id);
        SendMessage(e, EM_SETSEL, 100, 200);
        EXPECT_EQ(sel(e), std::make_pair(len, len));
        SendMessage(e, EM_SETSEL, 1, 200);
        EXPECT_EQ(sel(e), std::make_pair(1, len));
        SendMessage(e, EM_SETSEL, 0, -1); // everything
        EXPECT_EQ(sel(e), std::make_pair(0, len));
        SendMessage(e, EM_SETSEL, 2, 1); // either way round
        const auto back = sel(e);
        EXPECT_EQ(std::min(back.first, back.second), 1);
        EXPECT_EQ(std::max(back.first, back.second), 2);
        SendMessage(e, EM_SETSEL, 1, 1);
        SendMessage(e, EM_SETSEL, static_cast<WPARAM>(-1), 0); // no selection, caret kept
        EXPECT_EQ(sel(e), std::make_pair(1, 1));
    }
}

} // namespace

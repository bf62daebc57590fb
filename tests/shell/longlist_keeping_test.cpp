// The long list keeps the selection and the caret on the items they name
// while items come in at their very place, and type-ahead finds the first of
// a run of items that start alike.
#include "shell/controls/longlist.h"

#include "platform/controls.h"
#include "platform/messages.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace td = test_driver;

namespace {

class LongListKeeping : public ::testing::Test {
protected:
    void SetUp() override {
        td::start();
        HINSTANCE inst = handle_from_token<HINSTANCE>(1);
        WNDCLASS lc{};
        lc.style = CS_DBLCLKS;
        lc.lpfnWndProc = longlist_proc;
        lc.cbWndExtra = 8;
        lc.hInstance = inst;
        lc.lpszClassName = "Kavrel_longlist";
        RegisterClass(&lc); // there already when another test made it
        list = CreateWindow("Kavrel_longlist", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_VSCROLL,
                            10, 10, 200, 300, nullptr, nullptr, inst, nullptr);
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override { td::reset(); }

    void set(const std::vector<std::string>& items) {
        std::vector<const char*> p;
        for (const auto& s : items) p.push_back(s.c_str());
        ASSERT_EQ(longlist_set_items(list, p.data(), static_cast<int>(p.size())),
                  static_cast<int>(p.size()));
    }
    std::string text(int i) const {
        char buf[64];
        longlist_text_request req{buf, sizeof buf};
        if (SendMessage(list, ll_get_text_sized, static_cast<WPARAM>(i),
                        reinterpret_cast<LPARAM>(&req)) < 0)
            return "<none>";
        return buf;
    }
    int selected() const { return static_cast<int>(SendMessage(list, ll_selected, 0, 0)); }
    void insert(int at, const char* t) {
        SendMessage(list, ll_insert, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(t));
    }

    HWND list = nullptr;
};

TEST_F(LongListKeeping, AnItemInsertedAtTheSelectionPushesItDown) {
    set({"a", "b", "c", "d", "e"});
    longlist_select(list, 2, false);
    insert(2, "new"); // before "c": "c" stays selected, now at 3
    EXPECT_EQ(selected(), 3);
    EXPECT_EQ(text(selected()), "c");
    insert(0, "first");
    EXPECT_EQ(text(selected()), "c");
    insert(5, "after"); // after "c": nothing moves
    EXPECT_EQ(selected(), 4);

    // The caret (the framed item without a selection) moves with its item too:
    // the first arrow key selects it.
    SendMessage(list, ll_select, static_cast<WPARAM>(-1), 0);
    ASSERT_EQ(selected(), -1);
    insert(4, "x");
    SetFocus(list);
    td::press_key(VK_DOWN);
    td::run_until_idle();
    EXPECT_EQ(text(selected()), "c");
}

TEST_F(LongListKeeping, DeletingAnItemAboveTheCaretKeepsTheCaretOnItsItem) {
    set({"a", "b", "c", "d", "e"});
    longlist_select(list, 3, false);
    SendMessage(list, ll_select, static_cast<WPARAM>(-1), 0); // the caret stays on "d"
    SendMessage(list, ll_delete, 1, 0);                       // "b" goes
    SendMessage(list, ll_delete, 4, 0);                       // past the caret: nothing moves
    SetFocus(list);
    td::press_key(VK_DOWN);
    td::run_until_idle();
    EXPECT_EQ(text(selected()), "d");
    EXPECT_EQ(SendMessage(list, ll_count, 0, 0), 4);
}

TEST_F(LongListKeeping, TypingALetterSelectsTheFirstOfTheItemsStartingWithIt) {
    // Items in order of their first letter, several of each.
    set({"alpha", "apple", "arc", "ash", "birth", "cost", "cut"});
    SetFocus(list);
    const std::pair<const char*, const char*> typed[] = {
        {"a", "alpha"}, {"c", "cost"}, {"B", "birth"}, {"A", "alpha"}};
    for (const auto& [key, first] : typed) {
        td::type_text(key);
        td::run_until_idle();
        EXPECT_EQ(text(selected()), first) << key;
    }
    set({"dx", "dy", "dz", "ea", "eb", "ec", "ed", "ee", "ef"});
    for (const auto& [key, first] : {std::pair{"e", "ea"}, std::pair{"d", "dx"}}) {
        td::type_text(key);
        td::run_until_idle();
        EXPECT_EQ(text(selected()), first) << key;
    }
}

} // namespace

// The long list driven as a user and its dialogs drive it: by messages, keys,
// typed characters and mouse drags through the test driver, with the
// notifications its parent receives.
#include "foundation/memory.h"
#include "shell/controls/longlist.h"

#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QImage>

#include <string>
#include <vector>

namespace td = test_driver;

namespace {

constexpr int list_id = 419;

std::vector<WORD> notices; // notification codes the parent received

LRESULT parent_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND && LOWORD(wp) == list_id) notices.push_back(HIWORD(wp));
    return DefWindowProc(w, m, wp, lp);
}

class LongList : public ::testing::Test {
protected:
    void SetUp() override {
        td::start();
        notices.clear();
        HINSTANCE inst = handle_from_token<HINSTANCE>(1);
        WNDCLASS pc{};
        pc.lpfnWndProc = parent_proc;
        pc.hInstance = inst;
        pc.lpszClassName = "LongListParent";
        RegisterClass(&pc);
        WNDCLASS lc{};
        lc.style = CS_DBLCLKS;
        lc.lpfnWndProc = longlist_proc;
        lc.cbWndExtra = 8;
        lc.hInstance = inst;
        lc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
        lc.lpszClassName = "Kavrel_longlist";
        RegisterClass(&lc);
        parent = CreateWindow("LongListParent", "list", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                              400, 400, nullptr, nullptr, inst, nullptr);
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override { td::reset(); }

    // A list of `lines` whole lines (measured from the font's line height).
    HWND make_list(int lines, DWORD style = 0, int x = 5) {
        HWND l = CreateWindow("Kavrel_longlist", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | style, x,
                              5, 180, 200, parent,
                              reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(list_id)),
                              handle_from_token<HINSTANCE>(1), nullptr);
        if (!l) return nullptr;
        const char* probe = "x";
        SendMessage(l, ll_set_items, 1, reinterpret_cast<LPARAM>(&probe));
        line_h = SendMessage(l, ll_item_offset, 1, 0);
        RECT wr{}, cr{};
        GetWindowRect(l, &wr);
        GetClientRect(l, &cr);
        int frame = (wr.bottom - wr.top) - cr.bottom;
        SetWindowPos(l, nullptr, 0, 0, 180, lines * static_cast<int>(line_h) + frame,
                     SWP_NOMOVE | SWP_NOZORDER);
        longlist_clear(l);
        return l;
    }
    static void set(HWND l, const std::vector<std::string>& items) {
        std::vector<const char*> p;
        for (const auto& s : items) p.push_back(s.c_str());
        ASSERT_EQ(longlist_set_items(l, p.data(), static_cast<int>(p.size())),
                  static_cast<int>(p.size()));
    }
    static std::vector<std::string> numbered(int n) {
        std::vector<std::string> v;
        for (int i = 0; i < n; ++i) v.push_back("item " + std::to_string(i));
        return v;
    }
    static std::string text(HWND l, int i) {
        char buf[256];
        longlist_text_request req{buf, sizeof buf};
        if (SendMessage(l, ll_get_text_sized, static_cast<WPARAM>(i),
                        reinterpret_cast<LPARAM>(&req)) < 0)
            return "<none>";
        return buf;
    }
    static int selected(HWND l) { return static_cast<int>(SendMessage(l, ll_selected, 0, 0)); }
    static std::vector<int> order(HWND l) {
        std::vector<std::int32_t> o(static_cast<std::size_t>(SendMessage(l, ll_count, 0, 0)));
        int n =
            static_cast<int>(SendMessage(l, ll_get_order, 0, reinterpret_cast<LPARAM>(o.data())));
        return std::vector<int>(o.begin(), o.begin() + n);
    }
    static int top_of(HWND l) {
        // The item at pixel 0 of the visible area.
        int n = static_cast<int>(SendMessage(l, ll_count, 0, 0));
        for (int i = 0; i < n; ++i)
            if (SendMessage(l, ll_item_offset, static_cast<WPARAM>(i), 0) == 0 &&
                (i + 1 >= n || SendMessage(l, ll_item_offset, static_cast<WPARAM>(i + 1), 0) > 0))
                return i;
        return -1;
    }
    // A drag as a person makes it: the press is taken (the list captures the
    // mouse) before the pointer moves.
    static void drag(HWND l, POINT from, POINT to) {
        td::mouse_down(l, from.x, from.y);
        td::run_until_idle();
        for (int i = 1; i <= 4; ++i) {
            td::mouse_move(l, from.x + (to.x - from.x) * i / 4, from.y + (to.y - from.y) * i / 4);
            td::run_until_idle();
        }
        td::mouse_up(l, to.x, to.y);
        td::run_until_idle();
    }
    int row_y(int row) const {
        return row * static_cast<int>(line_h) + static_cast<int>(line_h) / 2;
    }

    HWND parent = nullptr;
    LRESULT line_h = 16;
};

TEST_F(LongList, DisabledUntilItemsArriveAndAgainWhenCleared) {
    HWND l = make_list(10);
    ASSERT_NE(l, nullptr);
    EXPECT_FALSE(IsWindowEnabled(l));
    EXPECT_EQ(SendMessage(l, ll_count, 0, 0), 0);
    EXPECT_EQ(selected(l), -1);
    EXPECT_EQ(SendMessage(l, ll_text_length, 0, 0), -1);
    SendMessage(l, ll_append, 0, reinterpret_cast<LPARAM>("first"));
    EXPECT_TRUE(IsWindowEnabled(l));
    EXPECT_EQ(text(l, 0), "first");
    SendMessage(l, ll_clear, 0, 0);
    EXPECT_FALSE(IsWindowEnabled(l));
    EXPECT_EQ(SendMessage(l, ll_count, 0, 0), 0);
}

TEST_F(LongList, KeysMoveTheSelectionAndNotify) {
    HWND l = make_list(10);
    set(l, numbered(30));
    SetFocus(l);
    td::run_until_idle();
    notices.clear();

    // Without a selection a single step selects the caret itself.
    td::press_key(VK_DOWN);
    td::run_until_idle();
    EXPECT_EQ(selected(l), 0);
    td::press_key(VK_NEXT); // Page Down: full lines - 1 further
    td::run_until_idle();
    EXPECT_EQ(selected(l), 9);
    td::press_key(VK_DOWN); // one below the last full line scrolls one line
    td::run_until_idle();
    EXPECT_EQ(selected(l), 10);
    EXPECT_EQ(top_of(l), 1);
    td::press_key(VK_LEFT); // Left moves down as Down does
    td::run_until_idle();
    EXPECT_EQ(selected(l), 11);
    td::press_key(VK_RIGHT);
    td::press_key(VK_UP);
    td::run_until_idle();
    EXPECT_EQ(selected(l), 9);
    td::press_key(VK_END);
    td::run_until_idle();
    EXPECT_EQ(selected(l), 29);
    EXPECT_EQ(top_of(l), 20);
    td::press_key(VK_PRIOR);
    td::run_until_idle();
    EXPECT_EQ(selected(l), 20);
    td::press_key(VK_HOME);
    td::run_until_idle();
    EXPECT_EQ(selected(l), 0);
    EXPECT_EQ(top_of(l), 0);
    td::press_key(VK_UP); // already at the first item: nothing changes
    td::run_until_idle();
    EXPECT_EQ(selected(l), 0);

    int changes = 0, enters = 0;
    for (WORD c : notices) changes += c == ll_sel_change, enters += c == ll_enter;
    EXPECT_EQ(changes, 9);
    td::press_key(VK_RETURN);
    td::run_until_idle();
    for (WORD c : notices) enters += c == ll_enter;
    EXPECT_EQ(enters, 1);

    // Selecting by message does not notify; -1 hands the selection to the caret.
    notices.clear();
    EXPECT_EQ(SendMessage(l, ll_select, 5, 0), 5);
    EXPECT_EQ(SendMessage(l, ll_select, static_cast<WPARAM>(-1), 0), -1);
    EXPECT_EQ(selected(l), -1);
    td::press_key(VK_DOWN);
    td::run_until_idle();
    EXPECT_EQ(selected(l), 5);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], ll_sel_change);
}

// The scroll bar: a page is the whole lines less one, so the last line of
// one page is the first of the next; the ends stop at the first and the
// last page.
TEST_F(LongList, TheScrollBarPagesKeepOneLineInView) {
    HWND l = make_list(10);
    set(l, numbered(30));
    auto scroll = [&](WORD code) {
        SendMessage(l, WM_VSCROLL, code, 0);
        td::run_until_idle();
        return top_of(l);
    };
    EXPECT_EQ(scroll(SB_PAGEDOWN), 9);
    EXPECT_EQ(scroll(SB_PAGEDOWN), 18);
    EXPECT_EQ(scroll(SB_PAGEDOWN), 20); // the last page: items 20 to 29
    EXPECT_EQ(scroll(SB_PAGEUP), 11);
    EXPECT_EQ(scroll(SB_LINEUP), 10);
    EXPECT_EQ(scroll(SB_TOP), 0);
    EXPECT_EQ(scroll(SB_LINEUP), 0);
    EXPECT_EQ(scroll(SB_BOTTOM), 20);
    EXPECT_EQ(scroll(SB_LINEDOWN), 20);
}

TEST_F(LongList, TypedCharacterSelectsTheFirstItemStartingWithIt) {
    HWND l = make_list(10);
    set(l, {"apple", "Cherry", "cider", "date", "Dill", "egg"});
    SetFocus(l);
    td::type_text("c");
    td::run_until_idle();
    EXPECT_EQ(selected(l), 1);
    td::type_text("D");
    td::run_until_idle();
    EXPECT_EQ(selected(l), 3);
    td::type_text("z"); // nothing starts with it
    td::run_until_idle();
    EXPECT_EQ(selected(l), 3);
    td::type_text("A");
    td::run_until_idle();
    EXPECT_EQ(selected(l), 0);
}

TEST_F(LongList, FindComparesPrefixesWithoutCaseAndWraps) {
    HWND l = make_list(10);
    set(l, {"Birth rate", "death_rate", "population", "Death fraction"});
    auto find = [&](int start, const char* s) {
        return static_cast<int>(
            SendMessage(l, ll_find, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(s)));
    };
    EXPECT_EQ(find(0, "DEATH RATE"), 1); // "_" matches a blank
    EXPECT_EQ(find(2, "death"), 3);
    EXPECT_EQ(find(-5, "death"), 1);
    EXPECT_EQ(find(3, "birth"), 0); // wraps to the start
    EXPECT_EQ(find(0, "nothing"), -1);
    EXPECT_EQ(find(0, ""), 0);
}

TEST_F(LongList, DeleteAndInsertKeepSelectionCaretTopAndOrderOnTheirItems) {
    HWND l = make_list(5, longlist_reorderable);
    set(l, numbered(20));
    longlist_select(l, 12, false); // scrolls: item 8 on top
    ASSERT_EQ(top_of(l), 8);
    SendMessage(l, ll_delete, 3, 0);
    EXPECT_EQ(text(l, selected(l)), "item 12");
    EXPECT_EQ(text(l, top_of(l)), "item 8");
    SendMessage(l, ll_insert, 0, reinterpret_cast<LPARAM>("new"));
    EXPECT_EQ(text(l, 0), "new");
    EXPECT_EQ(text(l, selected(l)), "item 12");
    EXPECT_EQ(text(l, top_of(l)), "item 8");
    std::vector<int> o = order(l);
    ASSERT_EQ(o.size(), 20u);
    EXPECT_EQ(o[0], 20); // the new item takes the next number
    EXPECT_EQ(o[3], 2);
    EXPECT_EQ(o[4], 4); // item 3 is gone
    // Deleting the selection clears it; the caret stays on a real item.
    SendMessage(l, ll_delete, static_cast<WPARAM>(selected(l)), 0);
    EXPECT_EQ(selected(l), -1);
    // Out of range: ignored.
    SendMessage(l, ll_delete, 99, 0);
    SendMessage(l, ll_delete, static_cast<WPARAM>(-1), 0);
    EXPECT_EQ(SendMessage(l, ll_count, 0, 0), 19);
    // Inserting past the end appends.
    SendMessage(l, ll_insert, 500, reinterpret_cast<LPARAM>("last"));
    EXPECT_EQ(text(l, 19), "last");
}

TEST_F(LongList, TextGettersAreSizedAndLengthsGoBeyondSixteenBits) {
    HWND l = make_list(5);
    std::string big(70000, 'x');
    big += "end";
    set(l, {"short", big, ""});
    EXPECT_EQ(SendMessage(l, ll_text_length, 1, 0), 70003);
    EXPECT_EQ(SendMessage(l, ll_text_length, 2, 0), 0);
    EXPECT_EQ(SendMessage(l, ll_text_length, 3, 0), -1);
    char small[4] = {'?', '?', '?', '?'};
    EXPECT_EQ(longlist_item_text(l, 0, small, sizeof small), 5);
    EXPECT_STREQ(small, "sho");
    std::vector<char> all(70004);
    EXPECT_EQ(SendMessage(l, ll_get_text, 1, reinterpret_cast<LPARAM>(all.data())), 70003);
    EXPECT_EQ(std::string(all.data()), big);
    EXPECT_EQ(longlist_item_text(l, 7, small, sizeof small), -1);
}

TEST_F(LongList, DraggingReordersAndReleasingOutsidePutsTheItemBack) {
    HWND l = make_list(5, longlist_reorderable);
    set(l, {"a", "b", "c"});
    drag(l, POINT{20, row_y(0)}, POINT{20, row_y(2)});
    td::run_until_idle();
    EXPECT_EQ(order(l), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(text(l, 2), "a");
    EXPECT_EQ(selected(l), 2);
    EXPECT_EQ(GetCapture(), nullptr);

    // Released outside the control: back at its old place.
    drag(l, POINT{20, row_y(0)}, POINT{20, row_y(8)});
    td::run_until_idle();
    EXPECT_EQ(order(l), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(SendMessage(l, ll_count, 0, 0), 3);
    EXPECT_EQ(selected(l), 0);

    // A plain list only moves the selection.
    HWND plain = make_list(5, 0, 200);
    set(plain, {"a", "b", "c"});
    drag(plain, POINT{20, row_y(0)}, POINT{20, row_y(2)});
    td::run_until_idle();
    EXPECT_EQ(selected(plain), 2);
    EXPECT_EQ(text(plain, 0), "a");
    EXPECT_EQ(SendMessage(plain, ll_get_order, 0, 0), 0);
}

TEST_F(LongList, LosingTheMouseMidDragPutsTheHeldItemBack) {
    HWND l = make_list(5, longlist_reorderable);
    set(l, {"a", "b", "c"});
    td::mouse_down(l, 20, row_y(1));
    td::run_until_idle();
    td::mouse_move(l, 20, row_y(2));
    td::run_until_idle();
    EXPECT_EQ(SendMessage(l, ll_count, 0, 0), 2); // "b" is held
    SetCapture(parent);                           // another window takes the mouse
    EXPECT_EQ(SendMessage(l, ll_count, 0, 0), 3);
    EXPECT_EQ(order(l), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(text(l, selected(l)), "b");
    ReleaseCapture();
    td::mouse_up(l, 20, row_y(2));
    td::run_until_idle();
    EXPECT_EQ(order(l), (std::vector<int>{0, 1, 2}));

    td::mouse_down(l, 20, row_y(0));
    td::run_until_idle();
    td::mouse_move(l, 20, row_y(2));
    td::run_until_idle();
    SendMessage(l, WM_CANCELMODE, 0, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(order(l), (std::vector<int>{0, 1, 2}));
    td::mouse_up(l, 20, row_y(2));
    td::run_until_idle();
}

TEST_F(LongList, ClickOnAnEmptyListIsIgnored) {
    HWND l = make_list(5);
    set(l, {"only"});
    SendMessage(l, ll_delete, 0, 0);
    ASSERT_TRUE(IsWindowEnabled(l));
    notices.clear();
    td::click(l, 20, row_y(0));
    td::run_until_idle();
    EXPECT_EQ(selected(l), -1);
    EXPECT_EQ(GetCapture(), nullptr);
    for (WORD c : notices) EXPECT_NE(c, ll_sel_change);
}

TEST_F(LongList, ClickSelectsAndDoubleClickEnters) {
    HWND l = make_list(5);
    set(l, numbered(8));
    notices.clear();
    td::click(l, 20, row_y(3));
    td::run_until_idle();
    EXPECT_EQ(selected(l), 3);
    EXPECT_EQ(GetFocus(), l);
    td::double_click(l, 20, row_y(3));
    td::run_until_idle();
    std::vector<WORD> want_some{ll_focus_got, ll_sel_change, ll_enter};
    for (WORD w : want_some)
        EXPECT_NE(std::find(notices.begin(), notices.end(), w), notices.end()) << w;
}

TEST_F(LongList, DraggingBelowTheListAutoscrolls) {
    HWND l = make_list(5);
    set(l, numbered(40));
    td::mouse_down(l, 20, row_y(0));
    td::run_until_idle();
    td::mouse_move(l, 20, row_y(7)); // below the last full line
    td::run_until_idle();
    td::advance(25 * 10);
    EXPECT_EQ(top_of(l), 10);
    EXPECT_EQ(selected(l), 14);
    td::mouse_move(l, 20, row_y(2)); // back inside: the scrolling stops
    td::run_until_idle();
    td::advance(200);
    EXPECT_EQ(top_of(l), 10);
    td::mouse_up(l, 20, row_y(2));
    td::run_until_idle();
    EXPECT_EQ(selected(l), 12);
}

TEST_F(LongList, AHundredThousandItemsScrollToTheEndWithTheThumb) {
    // The memory layer's debug option moves a block at every lock and every
    // allocation (a copy of the whole block each time), and this list takes
    // 100,000 of each: the smaller lists check the control with it on.
    struct debug_off {
        bool was = memory_debug();
        debug_off() { set_memory_debug(false); }
        ~debug_off() { set_memory_debug(was); }
    } quick;
    HWND l = make_list(20);
    set(l, numbered(100000));
    UpdateWindow(l);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(l, SB_VERT, &si));
    EXPECT_LE(si.nMax, 32767); // thumb positions fit 16 bits
    const int f = scroll_scale_factor(100000);
    EXPECT_EQ(f, 4);
    // The thumb at its end shows the last page.
    int end = si.nMax - static_cast<int>(si.nPage) + 1;
    SendMessage(l, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, static_cast<WORD>(end)), 0);
    SendMessage(l, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(end)), 0);
    EXPECT_EQ(top_of(l), 100000 - 20);
    EXPECT_EQ(GetScrollPos(l, SB_VERT), (100000 - 20) / f);
    // The last item can be selected.
    td::click(l, 20, row_y(19));
    td::run_until_idle();
    EXPECT_EQ(selected(l), 99999);
    EXPECT_EQ(text(l, 99999), "item 99999");
    // Thumb positions scale back up; small lists are not scaled.
    EXPECT_EQ(scroll_thumb_pos(100000, 100), 400);
    EXPECT_EQ(scroll_thumb_pos(32000, 100), 100);
    EXPECT_EQ(scroll_scale_factor(32001), 2);
}

TEST_F(LongList, ScreenshotShowsItemsAndTheSelectionBar) {
    HWND l = make_list(8);
    set(l, numbered(50));
    longlist_select(l, 2, false);
    UpdateWindow(l);
    td::run_until_idle();
    std::string png = testing::TempDir() + "/kavrel_longlist.png";
    ASSERT_TRUE(td::save_png(l, png));
    QImage img = td::image(l);
    ASSERT_FALSE(img.isNull());
    const int h = static_cast<int>(line_h);
    EXPECT_EQ(img.height(), 8 * h);
    auto rgb = [](COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); };
    const QRgb high = rgb(GetSysColor(COLOR_HIGHLIGHT));
    const QRgb window = rgb(GetSysColor(COLOR_WINDOW));
    // The selection bar across the third line, the window colour at the far
    // right of the others.
    EXPECT_EQ(img.pixel(img.width() - 2, 2 * h + h / 2) & 0xFFFFFF, high & 0xFFFFFF);
    EXPECT_EQ(img.pixel(img.width() - 2, h / 2) & 0xFFFFFF, window & 0xFFFFFF);
    // Text on the first line: some pixel differs from the window colour.
    bool ink = false;
    for (int x = 1; x < 60 && !ink; ++x)
        for (int y = 0; y < h && !ink; ++y)
            ink = (img.pixel(x, y) & 0xFFFFFF) != (window & 0xFFFFFF);
    EXPECT_TRUE(ink);
    // The highlighted line's text is drawn in the highlight-text colour.
    const QRgb high_text = rgb(GetSysColor(COLOR_HIGHLIGHTTEXT));
    bool light = false;
    for (int x = 1; x < 60 && !light; ++x)
        for (int y = 2 * h; y < 3 * h && !light; ++y)
            light = (img.pixel(x, y) & 0xFFFFFF) == (high_text & 0xFFFFFF);
    EXPECT_TRUE(light);
}

} // namespace

// What a user does to the population sample's diagram beyond looking:
// dragging the selection somewhere else and taking it back with Ctrl+Z, the
// position readout in the bottom bar, the right click's actions, the
// diagram's own menus in the menu bar and the Windows menu, and a lookup
// opening its editor. Driven through the platform's test driver.
#include <QImage>
#include <algorithm>

#include "platform/menu.h"
#include "resources/lookupdlg.h"
#include "resources/menus.h"
#include "shell/bottombar.h"
#include "shell/captionbtn.h"
#include "shell/menubar.h"
#include "shell/varselect.h"
#include "shell/winlist.h"
#include "sim/control.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "sketch/fontbar.h"
#include "sketch/geometry.h"
#include "sketch/keys.h"
#include "sketch/mouse.h"
#include "tests/sketch/window_fixture.h"

namespace td = test_driver;

namespace {

class SketchEdit : public SketchWindow {
protected:
    void SetUp() override {
        SketchWindow::SetUp();
        MoveWindow(main_wnd, 0, 0, 800, 620, TRUE);
        layout_frame(main_wnd);
        RECT c;
        GetClientRect(container_wnd, &c);
        MoveWindow(GetParent(view_), 0, 0, c.right, c.bottom, TRUE);
        td::run_until_idle();
    }
    void TearDown() override {
        menu_set_popup_chooser(nullptr);
        SketchWindow::TearDown();
    }
    POINT at(const sketch_elem& e) {
        return POINT{unit_to_pixel(e.x, s_->zoom, s_->scroll_x),
                     unit_to_pixel(e.y, s_->zoom, s_->scroll_y)};
    }
    std::string readout() {
        const auto& items = bottom_items();
        return items.size() == build_item_count ? items[bi_status].text : "<no table>";
    }
    std::string menu_text(int id) {
        char text[80] = {};
        GetMenuString(main_menu, static_cast<UINT>(id), text, sizeof text, MF_BYCOMMAND);
        return text;
    }
    bool greyed(UINT item, UINT how) {
        return (GetMenuState(main_menu, item, how) & (MF_GRAYED | MF_DISABLED)) != 0;
    }
    static int brightness(QRgb c) { return qRed(c) + qGreen(c) + qBlue(c); }
};

TEST_F(SketchEdit, DraggingTheSelectionMovesItAndCtrlZTakesItBack) {
    const sketch_elem* stock = variable("Population");
    ASSERT_NE(stock, nullptr);
    const int x0 = stock->x, y0 = stock->y, w = stock->w, h = stock->h;
    const POINT p = at(*stock);
    td::click(view_, p.x, p.y);
    td::run_until_idle();
    ASSERT_TRUE(stock->runtime & ef_selected);
    EXPECT_EQ(menu_text(skc_undo), "&Undo\t(Ctrl+Z)");
    EXPECT_TRUE(greyed(skc_undo, MF_BYCOMMAND));

    // Press on it and drag: the readout tells where its corner is as it goes.
    td::mouse_down(view_, p.x, p.y);
    td::run_until_idle();
    EXPECT_EQ(readout(), std::to_string(x0 - w) + "," + std::to_string(y0 - h));
    for (int i = 1; i <= 4; ++i) {
        td::mouse_move(view_, p.x + 10 * i, p.y + 15 * i / 2, td::none);
        td::run_until_idle();
    }
    EXPECT_EQ(stock->x, x0 + 40);
    EXPECT_EQ(stock->y, y0 + 30);
    EXPECT_EQ(readout(), std::to_string(x0 + 40 - w) + "," + std::to_string(y0 + 30 - h));
    td::mouse_up(view_, p.x + 40, p.y + 30);
    td::run_until_idle();
    EXPECT_EQ(readout(), "");
    EXPECT_EQ(stock->x, x0 + 40);
    EXPECT_EQ(stock->y, y0 + 30);
    EXPECT_EQ(menu_text(skc_undo), "&Undo Move\t(Ctrl+Z)");
    EXPECT_FALSE(greyed(skc_undo, MF_BYCOMMAND));

    // Drawn at its new place: the box's top edge in the outline colour there,
    // background where its top-left corner was.
    td::press_key(VK_ESCAPE);
    QImage moved = shot("sketch_moved.png");
    EXPECT_LT(brightness(moved.pixel(x0 + 40, y0 + 30 - h)), 200);
    EXPECT_GT(brightness(moved.pixel(x0 - w + 2, y0 - h)), 600);

    // Ctrl+Z puts it back, Ctrl+Shift+Z and Ctrl+Y move it again.
    SetFocus(view_);
    td::press_key('Z', td::ctrl);
    td::run_until_idle();
    EXPECT_EQ(stock->x, x0);
    EXPECT_EQ(stock->y, y0);
    EXPECT_EQ(menu_text(skc_redo), "&Redo Move\t(Ctrl+Y)");
    QImage back = shot("sketch_move_undone.png");
    EXPECT_LT(brightness(back.pixel(x0, y0 - h)), 200);
    td::press_key('Z', td::ctrl | td::shift);
    td::run_until_idle();
    EXPECT_EQ(stock->x, x0 + 40);
    td::press_key('Z', td::ctrl);
    td::press_key('Y', td::ctrl);
    td::run_until_idle();
    EXPECT_EQ(stock->x, x0 + 40);

    // The move was the working copy's: the model's view has the stock where
    // it was, and the undo list went with the working copy.
    td::press_key(VK_NEXT);
    td::press_key(VK_PRIOR);
    td::run_until_idle();
    stock = variable("Population");
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(stock->x, x0);
    EXPECT_EQ(stock->y, y0);
    EXPECT_TRUE(greyed(skc_undo, MF_BYCOMMAND));
}

TEST_F(SketchEdit, EscapeDuringAMoveAndAClickInsideTheSelectionsBox) {
    // A band round both flows' valves and names: the box covers the stock.
    td::drag(view_, {150, 140}, {480, 230}, 6);
    td::run_until_idle();
    const sketch_elem* births = variable("births");
    const sketch_elem* stock = variable("Population");
    ASSERT_TRUE(births->runtime & ef_selected);
    const int bx = births->x;
    // A drag from the selection's box moves all of it; Escape puts it back.
    td::mouse_down(view_, at(*births).x, at(*births).y);
    td::mouse_move(view_, at(*births).x + 20, at(*births).y + 20);
    td::mouse_move(view_, at(*births).x + 30, at(*births).y + 20);
    td::run_until_idle();
    EXPECT_NE(births->x, bx);
    EXPECT_NE(readout(), "");
    SetFocus(view_);
    td::press_key(VK_ESCAPE);
    td::run_until_idle();
    EXPECT_EQ(births->x, bx);
    EXPECT_EQ(readout(), "");
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(s_->undo.empty());
    // Re-select, then click an element the box merely covers: that element
    // alone is selected (no move is made by a click).
    td::drag(view_, {150, 140}, {480, 230}, 6);
    td::run_until_idle();
    if (!(stock->runtime & ef_selected)) {
        td::click(view_, at(*stock).x, at(*stock).y);
        td::run_until_idle();
        int selected = 0;
        for (const sketch_elem& e : s_->view.elems) selected += (e.runtime & ef_selected) ? 1 : 0;
        EXPECT_TRUE(stock->runtime & ef_selected);
        EXPECT_EQ(selected, 1);
        EXPECT_TRUE(s_->undo.empty());
    }
}

TEST_F(SketchEdit, ARightClickOnEmptySpaceOffersTheViewsActions) {
    std::vector<UINT> offered;
    menu_set_popup_chooser([&](HMENU menu, HWND) {
        offered = menu_item_ids(menu);
        return static_cast<UINT>(skc_zoom_fit);
    });
    ASSERT_FALSE(s_->fit);
    td::click(view_, 300, 20, td::Button::right);
    td::run_until_idle();
    for (UINT id : {327u, 328u, 326u, 371u, 424u, 315u, 489u, 488u})
        EXPECT_NE(std::find(offered.begin(), offered.end(), id), offered.end()) << id;
    EXPECT_TRUE(s_->fit);
    // The window holds the whole diagram at 100 %: fitting does not enlarge.
    EXPECT_EQ(s_->zoom, 100);
    // On an element a right click chooses nothing and offers nothing.
    offered.clear();
    const sketch_elem* stock = variable("Population");
    td::click(view_, at(*stock).x, at(*stock).y, td::Button::right);
    td::run_until_idle();
    EXPECT_TRUE(offered.empty());
}

TEST_F(SketchEdit, TheDiagramsMenusAreInTheBarWhileItIsActive) {
    EXPECT_EQ(menu_bar_mode(), 2);
    const std::vector<UINT> edit = menu_item_ids(GetSubMenu(main_menu, popup_view));
    EXPECT_NE(std::find(edit.begin(), edit.end(), 424u), edit.end());
    EXPECT_NE(std::find(edit.begin(), edit.end(), 315u), edit.end());
    const std::vector<UINT> view = menu_item_ids(GetSubMenu(main_menu, popup_edit));
    EXPECT_NE(std::find(view.begin(), view.end(), 371u), view.end());
    // A viewer neither cuts nor pastes; Layout opens with a selection.
    EXPECT_TRUE(greyed(491, MF_BYCOMMAND));
    EXPECT_TRUE(greyed(490, MF_BYCOMMAND));
    EXPECT_TRUE(greyed(popup_insert, MF_BYPOSITION));
    EXPECT_TRUE(menu_choose(main_wnd, 315));
    td::run_until_idle();
    EXPECT_NE(s_->selection, 0);
    EXPECT_FALSE(greyed(popup_insert, MF_BYPOSITION));
    // The depth shown and the fit are checked in View.
    EXPECT_TRUE(GetMenuState(main_menu, 420, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(menu_choose(main_wnd, 371));
    td::run_until_idle();
    EXPECT_TRUE(s_->fit);
    EXPECT_TRUE(GetMenuState(main_menu, 371, MF_BYCOMMAND) & MF_CHECKED);
    // A zoom chosen in View is the one item checked: 367 200 %, 368 100 %,
    // 369 75 %, 370 50 %.
    for (UINT chosen : {369u, 370u, 367u, 368u}) {
        EXPECT_TRUE(menu_choose(main_wnd, chosen));
        td::run_until_idle();
        EXPECT_FALSE(s_->fit);
        for (UINT item = 367; item <= 371; ++item)
            EXPECT_EQ((GetMenuState(main_menu, item, MF_BYCOMMAND) & MF_CHECKED) != 0,
                      item == chosen)
                << item << " after " << chosen;
    }
    EXPECT_EQ(s_->zoom, 100);

    // The Windows menu lists the diagram by model and view.
    const std::vector<HWND> listed = listed_windows();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0], GetParent(view_));
    EXPECT_EQ(menu_text(first_window_item), "Model: population.kmf View: Population");
    // Closing it gives the bar back and takes it off the list.
    HMENU mine = GetSubMenu(main_menu, popup_view);
    close_sketch_windows(0);
    td::run_until_idle();
    EXPECT_NE(GetSubMenu(main_menu, popup_view), mine);
    EXPECT_NE(menu_bar_mode(), 2);
    EXPECT_TRUE(listed_windows().empty());
}

TEST_F(SketchEdit, ALookupOpensItsEditorOnADoubleClickAndInSetUp) {
    const sketch_elem* crowding = variable("crowding effect on births");
    ASSERT_NE(crowding, nullptr);
    answerer::dialog(dlg_lookup_editor).press(idl_cancel);
    td::double_click(view_, at(*crowding).x, at(*crowding).y);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(workbench_var_text(), "crowding effect on births");

    // In set-up a click is enough; the variable is chosen after.
    select_var_text("birth rate", 0, 10);
    ASSERT_EQ(enter_setup_mode(0), 1);
    td::run_until_idle();
    answerer::dialog(dlg_lookup_editor).press(idl_cancel);
    td::click(view_, at(*crowding).x, at(*crowding).y);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(workbench_var_text(), "crowding effect on births");
    clear_setup();
    sim_phase = phase_idle;
}

} // namespace

namespace {

TEST_F(SketchEdit, AClickedElementsOwnFontShowsInTheBarUntilTheSelectionGoes) {
    sketch_elem* rate = const_cast<sketch_elem*>(variable("birth rate"));
    ASSERT_NE(rate, nullptr);
    const auto& items = bottom_items();
    ASSERT_EQ(items.size(), static_cast<std::size_t>(build_item_count));
    const COLORREF view_colour = sketch_bar_values(*s_).text_colour;
    ASSERT_NE(view_colour, RGB(200, 0, 0));
    // Its own text colour and size (style bits 2 and 8).
    rate->style = 2 | 8;
    rate->font.colour = RGB(200, 0, 0);
    rate->font.size = 21;
    td::click(view_, at(*rate).x, at(*rate).y);
    td::run_until_idle();
    ASSERT_TRUE(rate->runtime & ef_selected);
    EXPECT_EQ(bottom_items()[bi_text_colour].colour, RGB(200, 0, 0));
    EXPECT_EQ(bottom_items()[bi_size].text, "21");
    SetFocus(view_);
    td::press_key(VK_ESCAPE);
    td::run_until_idle();
    EXPECT_EQ(bottom_items()[bi_text_colour].colour, view_colour);
    // The view's own: the default sketch font, 8 points.
    EXPECT_EQ(bottom_items()[bi_size].text, " 8");
}

} // namespace

namespace {

TEST_F(SketchEdit, AMoveDraggedPastTheEdgeScrollsOnTheClockAndFollows) {
    set_sketch_zoom(view_, 200); // more diagram than window
    scroll_sketch_to(view_, 400, 200);
    const sketch_elem* stock = variable("Population");
    const int y0 = stock->y;
    const POINT p = at(*stock);
    td::click(view_, p.x, p.y);
    td::run_until_idle();
    RECT rc;
    GetClientRect(view_, &rc);
    td::mouse_down(view_, p.x, p.y);
    td::mouse_move(view_, p.x, p.y + 20);
    td::run_until_idle();
    // Past the bottom edge.
    td::mouse_move(view_, p.x, rc.bottom + 30);
    td::run_until_idle();
    const int scroll0 = s_->scroll_y;
    const int at_edge = stock->y;
    EXPECT_EQ(at_edge, y0 + (rc.bottom + 30 - p.y) / 2); // at 200 %, before any scrolling
    td::advance(autoscroll_ms * 4);
    td::run_until_idle();
    EXPECT_GT(s_->scroll_y, scroll0);
    // The pointer stayed; the diagram scrolled under it, and the stock
    // with it.
    EXPECT_NEAR(stock->y, at_edge + (s_->scroll_y - scroll0) / 2, 1);
    td::mouse_up(view_, p.x, rc.bottom + 30);
    td::run_until_idle();
    // One step: undone at once.
    SetFocus(view_);
    td::press_key('Z', td::ctrl);
    td::run_until_idle();
    EXPECT_EQ(stock->y, y0);
}

} // namespace

namespace {

TEST_F(SketchEdit, InSetUpTheActivatedDiagramOffersTheChangesMenu) {
    HWND frame = GetParent(view_);
    auto third = [] {
        char title[32] = {};
        GetMenuString(main_menu, popup_insert, title, sizeof title, MF_BYPOSITION);
        return std::string(title);
    };
    EXPECT_EQ(third(), "&Layout");
    ASSERT_EQ(enter_setup_mode(0), 1);
    td::run_until_idle();
    // Activated again (or, as here, the diagram used), the bar follows.
    activate_window(frame, 0, 0);
    td::click(view_, 300, 20);
    td::run_until_idle();
    EXPECT_EQ(third(), "&Changes");
    EXPECT_EQ(GetSubMenu(main_menu, popup_insert), changes_menu);
    EXPECT_FALSE(greyed(popup_insert, MF_BYPOSITION));
    // Without a selection it stays open (Layout would be grey).
    EXPECT_EQ(s_->selection, 0);
    clear_setup();
    sim_phase = phase_idle;
    InvalidateRect(view_, nullptr, FALSE);
    td::run_until_idle();
    EXPECT_EQ(third(), "&Layout");
}

} // namespace

namespace {

TEST_F(SketchEdit, AMinimisedDiagramComesBackFromTheWindowsMenuWithItsMenus) {
    HWND frame = GetParent(view_);
    caption_button_command(cmd_caption_minimise);
    td::run_until_idle();
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_NE(menu_bar_mode(), 2);
    ASSERT_EQ(listed_windows().size(), 1u);
    EXPECT_TRUE(menu_choose(main_wnd, first_window_item));
    td::run_until_idle();
    EXPECT_TRUE(IsWindowVisible(frame));
    EXPECT_EQ(active_child, frame);
    EXPECT_EQ(menu_bar_mode(), 2);
    // Still listed, once.
    EXPECT_EQ(listed_windows(), std::vector<HWND>{frame});
}

} // namespace

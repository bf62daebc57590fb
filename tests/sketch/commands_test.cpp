// The sketch frame's commands on the population sample (views "Population"
// and "Crowding"): find across views, zoom steps, fit and a typed
// percentage, show more and less, the view list, selection by kind, and the
// authoring edition's editing keys.
#include "sketch/commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "draw/drawing.h"
#include "draw/printing.h"
#include "platform/print.h"
#include "resources/dialogs.h"
#include "resources/options.h"
#include "shell/controls/popuplist.h"
#include "shell/settings_rows.h"
#include "shell/varselect.h"
#include "sketch/fontbar.h"
#include "sketch/mouse.h"
#include "sketch/overlays.h"
#include "tests/common/message_log.h"
#include "tests/driver/answerer.h"
#include "tests/sketch/window_fixture.h"

namespace td = test_driver;

namespace {

class SketchCommands : public SketchWindow {
protected:
    void SetUp() override {
        SketchWindow::SetUp();
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
    }
    void TearDown() override {
        set_message_hook(nullptr);
        SketchWindow::TearDown();
    }
    void command(int id) {
        SendMessage(GetParent(view_), WM_COMMAND, static_cast<WPARAM>(id), 0);
        td::run_until_idle();
    }
    int view_number(const char* name) {
        for (const auto& [number, text] : listed_views(s_->symbols))
            if (text == name) return number;
        return -1;
    }
    // Answers the pop-up list with the item of that text ("" the last one).
    void choose_in_popup(const std::string& text) {
        td::on_idle([text] {
            HWND box = popup_list_box();
            ASSERT_NE(box, nullptr);
            const LRESULT count = SendMessage(box, LB_GETCOUNT, 0, 0);
            LRESULT i = text.empty() ? count - 1
                                     : SendMessage(box, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                   reinterpret_cast<LPARAM>(text.c_str()));
            EXPECT_GE(i, 0) << text;
            if (i < 0) {
                td::press_key(VK_ESCAPE);
                return;
            }
            SendMessage(box, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
            td::press_key(VK_RETURN);
        });
    }
    std::string last_popup_item;
    int selected_count() const {
        int n = 0;
        for (const sketch_elem& e : s_->view.elems) n += (e.runtime & ef_selected) ? 1 : 0;
        return n;
    }
};

TEST_F(SketchCommands, FindLooksInTheOtherViewsAndSelectsWhatItFinds) {
    const int population = s_->current_view;
    show_sketch_view(view_, view_number("Crowding"), 0);
    td::run_until_idle();
    ASSERT_NE(s_->current_view, population);
    answerer::dialog(dlg_ask_text).set_text(idc_answer, "initial population").press(IDOK);
    command(skc_find);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(s_->current_view, population);
    const sketch_elem* found = variable("initial population");
    if (!found) { // a shadow
        lock_model(0);
        const symbol_id id = find_symbol("initial population");
        unlock_model(0);
        found = &s_->view.elems[static_cast<std::size_t>(find_symbol_after(*s_, id, 0))];
    }
    EXPECT_TRUE(found->runtime & ef_selected);
    EXPECT_EQ(selected_count(), 1);
    // What is found is chosen: the next tool works on it.
    EXPECT_EQ(workbench_var_text(), "initial population");
    shot("find-found.png");

    // Find Again from the one selected "crowding effect on births" of this
    // view goes round to the other view's.
    clear_selection(*s_);
    const sketch_elem* effect = variable("crowding effect on births");
    ASSERT_NE(effect, nullptr);
    set_selected(*s_, static_cast<int>(effect - &s_->view.elems[0]), true);
    s_->selection = 1;
    command(skc_find_again);
    EXPECT_EQ(s_->current_view, view_number("Crowding"));
    EXPECT_EQ(selected_count(), 1);
    EXPECT_EQ(workbench_var_text(), "crowding effect on births");

    // A variable no view shows: reported, the view stays.
    const int before = s_->current_view;
    answerer::dialog(dlg_ask_text).set_text(idc_answer, "TIME STEP").press(IDOK);
    command(skc_find);
    EXPECT_TRUE(message_log::said("Unable to find \"TIME STEP\" in any view"));
    EXPECT_EQ(s_->current_view, before);
}

TEST_F(SketchCommands, ZoomStepsFitAndATypedPercentage) {
    command(skc_zoom_200);
    EXPECT_EQ(s_->zoom, 200);
    command(skc_zoom_50);
    EXPECT_EQ(s_->zoom, 50);
    command(skc_zoom_100);
    EXPECT_EQ(s_->zoom, 100);
    // 9 and 501 are refused and asked again; an empty answer does nothing.
    answerer::dialog(dlg_ask_text).set_text(idc_answer, "9").press(IDOK);
    answerer::dialog(dlg_ask_text).set_text(idc_answer, "501").press(IDOK);
    answerer::dialog(dlg_ask_text).set_text(idc_answer, "250").press(IDOK);
    command(skc_zoom_custom);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(s_->zoom, 250);
    int refused = 0;
    for (const auto& m : message_log::messages)
        refused += m.text.find("Enter a % between 10 and 500") != std::string::npos;
    EXPECT_EQ(refused, 2);
    answerer::dialog(dlg_ask_text).set_text(idc_answer, "").press(IDOK);
    command(skc_zoom_custom);
    EXPECT_EQ(s_->zoom, 250);
    // Fit: the 600 x 380 workbench is smaller than the diagram.
    command(skc_zoom_fit);
    EXPECT_GE(s_->zoom, 10);
    EXPECT_LT(s_->zoom, 100);
    shot("zoom-fit.png");
}

TEST_F(SketchCommands, DepthCommandsAndShowMoreAndLess) {
    ASSERT_EQ(s_->shown_level, max_level);
    command(skc_show_less); // every element lies at level 0
    EXPECT_EQ(s_->shown_level, 0);
    command(skc_show_less);
    EXPECT_TRUE(message_log::said("No hidden elements showing", 8));
    EXPECT_EQ(s_->shown_level, 0);
    command(skc_show_more);
    EXPECT_EQ(s_->shown_level, max_level);
    command(skc_depth_first + 5);
    EXPECT_EQ(s_->shown_level, 5);
    choose_in_popup("Depth 3");
    command(skc_depth_list);
    EXPECT_EQ(s_->shown_level, 3);
    command(skc_depth_last);
    EXPECT_EQ(s_->shown_level, max_level);
}

TEST_F(SketchCommands, TheViewListSwitchesViewsAndMakesANewOne) {
    choose_in_popup("Crowding");
    command(skc_view_list);
    EXPECT_EQ(s_->current_view, view_number("Crowding"));
    const std::size_t views = listed_views(s_->symbols).size();
    s_->view.rec.background = 0x00C0FFEE; // the new view takes the look of this one
    s_->view.rec.font.size = 13;
    std::snprintf(s_->view.rec.font.face, sizeof s_->view.rec.font.face, "Courier");
    td::on_idle([this] {
        HWND box = popup_list_box();
        ASSERT_NE(box, nullptr);
        char text[40] = {};
        SendMessage(box, LB_GETTEXT, static_cast<WPARAM>(SendMessage(box, LB_GETCOUNT, 0, 0) - 1),
                    reinterpret_cast<LPARAM>(text));
        last_popup_item = text;
    });
    choose_in_popup("");
    command(skc_view_list);
    EXPECT_EQ(last_popup_item, "**New**");
    EXPECT_EQ(listed_views(s_->symbols).size(), views + 1);
    EXPECT_EQ(view_number(s_->view.rec.name), s_->current_view);
    EXPECT_EQ(s_->view.rec.background, 0x00C0FFEEu);
    EXPECT_EQ(s_->view.rec.font.size, 13);
    EXPECT_STREQ(s_->view.rec.font.face, "Courier");
    // The new view holds only the shared view's note: fit shows it at 100 %
    // (never enlarged), wholly in the window (centred as far as the scroll
    // range lets it).
    command(skc_zoom_200);
    command(skc_zoom_fit);
    EXPECT_EQ(s_->zoom, 100);
    RECT content, client;
    ASSERT_TRUE(content_bounds(*s_, &content));
    GetClientRect(view_, &client);
    EXPECT_GE(content.left - s_->scroll_x, 0);
    EXPECT_LE(content.right - s_->scroll_x, client.right);
    EXPECT_GE(content.top - s_->scroll_y, 0);
    EXPECT_LE(content.bottom - s_->scroll_y, client.bottom);
}

TEST_F(SketchCommands, SelectionByKindAndWhatIsVisible) {
    command(sel_levels);
    ASSERT_EQ(selected_count(), 1);
    EXPECT_TRUE(variable("Population")->runtime & ef_selected);
    command(sel_rates); // two flows with their valves and four pipes
    EXPECT_EQ(selected_count(), 8);
    EXPECT_TRUE(variable("births")->runtime & ef_selected);
    // What is visible at the top left of a scrolled view.
    command(skc_zoom_100);
    scroll_sketch_to(view_, 0, 0);
    command(skc_select_visible);
    const int visible = selected_count();
    EXPECT_GT(visible, 0);
    command(sel_all);
    EXPECT_GT(selected_count(), visible); // not all of it fits the 600 x 380 window
}

TEST_F(SketchCommands, TheAuthoringEditionsEditingKeysAnswerNotAvailable) {
    SetFocus(view_);
    // Undo and redo (424, 425) belong to moving the selection and are served.
    for (int id : std::initializer_list<int>{skc_paste, skc_cut, skc_save, skc_ctrl_h, skc_ctrl_t,
                                             skc_ctrl_u, 319, 494, 433}) {
        message_log::messages.clear();
        command(id);
        EXPECT_TRUE(message_log::said("Sorry not available", 8)) << id;
    }
    // Through the keys: Ctrl+V.
    message_log::messages.clear();
    td::press_key('V', td::ctrl);
    td::run_until_idle();
    EXPECT_TRUE(message_log::said("Sorry not available", 8));
}

// Print asks for the print options first: Cancel prints nothing.
TEST_F(SketchCommands, PrintAsksForThePrintOptionsFirst) {
    print_use_system_printers(false);
    const opt_block saved = opts;
    opts.printer_name.clear();
    opts.print_selection = 0;
    printer = print_state{};
    const std::string pdf = testing::TempDir() + "sketch_commands_print.pdf";
    std::filesystem::remove(pdf);
    printer.output_file = pdf;
    answerer::dialog(dlg_print_options).press(IDCANCEL);
    command(skc_print);
    EXPECT_FALSE(std::filesystem::exists(pdf));
    answerer::dialog(dlg_print_options).press(IDOK);
    command(skc_print);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_TRUE(std::filesystem::exists(pdf));
    if (drawing.printer_dc) DeleteDC(drawing.printer_dc);
    drawing = draw_state{};
    printer = print_state{};
    opts = saved;
    print_use_system_printers(true);
}

} // namespace

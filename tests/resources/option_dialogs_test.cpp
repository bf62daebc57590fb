// The option dialogs and the main menu as the user reads them: each control
// says what it does, each set of option buttons is one choice, no button
// lies over another, and the menu shows the keys that run its commands.
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/menu.h"
#include "resources/menus.h"
#include "resources/options.h"
#include "tests/resources/every_template.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

bool is(const DialogItem& item, const char* cls) {
    return item.cls && std::string(item.cls) == cls;
}
// A button the user clicks: push, check or option button (not a group box).
bool clicked_button(const DialogItem& item) {
    return is(item, WC_BUTTON) && (item.style & BS_TYPEMASK) != BS_GROUPBOX &&
           (item.style & WS_VISIBLE);
}
// Whether two controls overlap or lie less than gap dialog units apart.
bool too_close(const DialogItem& a, const DialogItem& b, int gap) {
    return a.x < b.x + b.cx + gap && b.x < a.x + a.cx + gap && a.y < b.y + b.cy + gap &&
           b.y < a.y + a.cy + gap;
}

TEST(OptionDialogs, TheirControlsSayWhatTheyDo) {
    register_every_template();
    const std::vector<std::pair<int, const char*>> options = {
        {ido_markers, "Show Line Markers on Graph Lines"},
        {ido_refresh, "Continually Refresh Sketches"},
        {ido_far_east, "Tune case sensitivity for far-eastern"},
        {ido_autocenter, "Autocenter"},
        {ido_pagemarks, "Pagemarks"},
        {ido_no_pagemarks, "No Pagemarks"},
        {ido_color, "Color"},
        {ido_mono, "Monochrome"},
        {ido_solid, "Only solid lines"},
        {ido_font_normal, "Normal - M"},
        {ido_font_equation, "Equation Editor - M"},
        {ido_font_compressed, "Compressed - M"},
        {ido_font_tool, "Tool Font Face - M"},
        {ido_font_bottom, "Bottom Menu Font - M"},
        {515, "Sketch View Positioning"},
        {516, "Excel R1C1 Letters"},
        {517, "Row"},
        {518, "Col"},
        {519, "Color for Display, Print && Clipboard"},
        {523, "Fonts for Dialog Boxes and Font Face for Tool Output"},
    };
    const std::vector<std::pair<int, const char*>> print = {
        {idp_all, "All"},
        {idp_selection, "Selection"},
        {idp_multiple, "Multiple"},
        {idp_best, "Best Choice"},
        {idp_portrait, "Portrait Always"},
        {idp_landscape, "Landscape Always"},
        {idp_date, "Time && Date"},
        {idp_page, "Page"},
        {idp_graph, "Graph"},
        {idp_print_at, "Print at"},
        {idp_fill, "Fill Printed Page"},
        {idp_fit, "Fit View to Page"},
        {idp_set_size, "Set output size"},
        {idp_width_check, "Width"},
        {idp_height_check, "Height"},
        {idp_open_on_print, "Open on printing"},
        {idp_setup, "Setup..."},
        {515, "Selection"},
        {516, "Orientation"},
        {517, "Title"},
        {518, "Print Info for Bottom Left"},
        {519, "Comment"},
        {520, "At corner of"},
        {521, "Sketch/Graph Sizing"},
        {523, "Selected Printer"},
    };
    for (const auto& [dialog, texts] :
         {std::make_pair(dlg_options, options), std::make_pair(dlg_print_options, print)}) {
        const DialogTemplate* t = dlg_find_template(dialog);
        ASSERT_NE(t, nullptr) << dialog;
        for (const auto& [id, text] : texts) {
            const DialogItem* item = template_item(*t, id);
            ASSERT_NE(item, nullptr) << dialog << " " << id;
            EXPECT_STREQ(item->text, text) << dialog << " " << id;
        }
    }
    EXPECT_STREQ(dlg_find_template(dlg_options)->caption, "Global Option Settings");
    EXPECT_STREQ(dlg_find_template(dlg_print_options)->caption, "Print Options");
}

// Each set of option buttons is one choice: its first button starts a group
// and the others follow inside it, so picking one clears the others.
TEST(OptionDialogs, EachSetOfOptionButtonsIsOneChoice) {
    register_every_template();
    const std::vector<std::pair<int, std::vector<int>>> sets = {
        {dlg_options, {ido_autocenter, ido_pagemarks, ido_no_pagemarks}},
        {dlg_options, {ido_test, ido_color, ido_mono}},
        {dlg_print_options, {idp_all, idp_selection, idp_multiple}},
        {dlg_print_options, {idp_best, idp_portrait, idp_landscape}},
        {dlg_print_options, {idp_page, idp_graph}},
    };
    for (const auto& [dialog, ids] : sets) {
        const DialogTemplate* t = dlg_find_template(dialog);
        ASSERT_NE(t, nullptr);
        for (std::size_t k = 0; k < ids.size(); ++k) {
            const DialogItem* item = template_item(*t, ids[k]);
            ASSERT_NE(item, nullptr) << ids[k];
            const DWORD type = item->style & BS_TYPEMASK;
            EXPECT_TRUE(type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) << ids[k];
            EXPECT_EQ((item->style & WS_GROUP) != 0, k == 0) << dialog << " " << ids[k];
            if (k == 0) continue;
            // The buttons of a set follow one another in the table.
            const DialogItem* before = template_item(*t, ids[k - 1]);
            EXPECT_EQ(item - before, 1) << dialog << " " << ids[k];
        }
    }
}

// No button a user clicks lies over or against another in any dialog: each
// can be seen and hit on its own.
TEST(OptionDialogs, ButtonsKeepApart) {
    int checked = 0;
    for (const DialogTemplate* t : every_template()) {
        SCOPED_TRACE("template " + std::to_string(t->id));
        std::vector<const DialogItem*> buttons;
        for (const DialogItem& item : t->items)
            if (clicked_button(item)) buttons.push_back(&item);
        for (std::size_t i = 0; i < buttons.size(); ++i)
            for (std::size_t j = i + 1; j < buttons.size(); ++j) {
                ++checked;
                EXPECT_FALSE(too_close(*buttons[i], *buttons[j], 1))
                    << "buttons " << buttons[i]->id << " and " << buttons[j]->id;
            }
    }
    EXPECT_GT(checked, 100);
}

void collect_shortcuts(HMENU menu, std::map<UINT, std::string>* out) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            collect_shortcuts(sub, out);
            continue;
        }
        char text[128] = {};
        GetMenuString(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        const std::string s(text);
        const std::size_t tab = s.find('\t');
        if (tab != std::string::npos) (*out)[GetMenuItemID(menu, i)] = s.substr(tab + 1);
    }
}

// The main menu shows beside each command the key that runs it, and no key
// twice.
TEST(OptionDialogs, TheMainMenuShowsTheKeysOfItsCommands) {
    register_every_template();
    register_menu_templates();
    HMENU m = LoadMenu(nullptr, MAKEINTRESOURCE(menu_main));
    ASSERT_NE(m, nullptr);
    std::map<UINT, std::string> shown;
    collect_shortcuts(m, &shown);
    DestroyMenu(m);
    const std::map<UINT, std::string> keys = {
        {cmd_new_model, "Ctrl+N"}, {cmd_open_model, "Ctrl+O"}, {cmd_close, "Ctrl+W"},
        {cmd_save, "Ctrl+S"},      {cmd_print, "Ctrl+P"},      {cmd_exit, "Ctrl+Q"},
        {cmd_simulate, "Ctrl+R"},  {cmd_livesweep, "Ctrl+B"},  {cmd_instructions, "F1"},
    };
    EXPECT_EQ(shown, keys);
}

} // namespace

#include "resources/menus.h"

#include "platform/menu.h"

namespace {

MenuTemplateItem sep() {
    return {"-", 0};
}

MenuTemplateItem popup(const char* text, std::vector<MenuTemplateItem> items) {
    return {text, 0, MF_POPUP, std::move(items)};
}

} // namespace

void register_menu_templates() {
    menu_register_template(menu_main,
                           {
                               popup("&File",
                                     {
                                         {"&New Model\tCtrl+N", cmd_new_model},
                                         {"&Open Model...\tCtrl+O", cmd_open_model},
                                         sep(),
                                         {"&Close\tCtrl+W", cmd_close},
                                         {"&Save\tCtrl+S", cmd_save},
                                         {"Save &As...", cmd_save_as},
                                         {"P&ublish", cmd_publish},
                                         sep(),
                                         {"&Print...\tCtrl+P", cmd_print},
                                         {"P&rint Options...", cmd_print_options},
                                         sep(),
                                         {"E&xit\tCtrl+Q", cmd_exit},
                                     }),
                               // The View, Edit and Insert pop-ups are filled by the active window.
                               popup("&View", {{"&View", 0, MF_GRAYED}}),
                               popup("&Edit", {{"E1", 0, MF_GRAYED}}),
                               popup("&Insert", {{"I1", 0, MF_GRAYED}}),
                               popup("&Model",
                                     {
                                         {"&Simulate\tCtrl+R", cmd_simulate},
                                         {"Simulation Set&up", cmd_setup},
                                         {"&Constant Changes...", cmd_constant_changes},
                                         {"L&ookup Changes...", cmd_lookup_changes},
                                         {"St&art Livesweep\tCtrl+B", cmd_livesweep},
                                         {"Run &Game", cmd_run_game},
                                         {"&Plausitest", cmd_plausitest},
                                         {"S&top Simulation", cmd_stop_simulation},
                                         sep(),
                                         {"Model &Notes and Password...", cmd_model_notes},
                                         {"&Diagram Display...", cmd_model_display},
                                         {"&Reference Datasets...", cmd_model_references},
                                     }),
                               popup("&Options",
                                     {
                                         {"&Options...", cmd_options},
                                         {"&Units Equivalences...", cmd_units_equivalences},
                                     }),
                               popup("&Windows",
                                     {
                                         {"Control &Panel", cmd_control_panel},
                                         {"&Subscript Control", cmd_subscript_control},
                                         sep(),
                                         {"Pop &Output Forward", cmd_pop_output},
                                         {"Output Window &List", cmd_output_list},
                                         {"&Close All Output", cmd_close_all_output},
                                         {"&Error History", cmd_error_history},
                                         {"Selection &History", cmd_selection_history},
                                         sep(),
                                         {"Pop B&uild Forward", cmd_pop_build},
                                         {"&Keep Build Behind", cmd_keep_build_behind},
                                     }),
                               popup("&Help",
                                     {
                                         {"&Instructions\tF1", cmd_instructions},
                                         {"&Online Forum", cmd_online_forum},
                                         sep(),
                                         {"&About Kavrel", cmd_about},
                                         {"&Newer Releases", cmd_newer_releases},
                                     }),
                           });
    menu_register_template(menu_output_edit, {
                                                 {"&Copy\tCtrl+C", cmd_copy},
                                                 {"Cu&t", cmd_cut},
                                                 {"&Paste", cmd_paste},
                                             });
    menu_register_template(menu_changes,
                           {
                               {"&Read Additional Changes from File", cmd_read_changes},
                               {"&Write Changes Made to .cin file", cmd_write_changes},
                           });
}

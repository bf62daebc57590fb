// The workbench's menu templates (main, Edit, changes, and the diagram's Edit,
// View and Layout menus), registered with the menu layer by number.
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
                               popup("&Tools", {{"No tools in the palette", 0, MF_GRAYED}}),
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
    // The diagram's menus (the sketch window's command ids, all below 500).
    std::vector<MenuTemplateItem> depth{{"&Hide", 403}};
    static const char* const depth_names[16] = {"Depth &1", "Depth &2",  "Depth &3", "Depth &4",
                                                "Depth &5", "Depth &6",  "Depth &7", "Depth &8",
                                                "Depth &9", "Depth 1&0", "Depth 11", "Depth 12",
                                                "Depth 13", "Depth 14",  "Depth 15", "Depth 16"};
    for (UINT i = 0; i < 16; ++i) depth.push_back({depth_names[i], 404 + i});
    depth.push_back({"&Show", 420});
    menu_register_template(menu_sketch_edit,
                           {
                               {"&Undo\t(Ctrl+Z)", 424, MF_GRAYED},
                               {"&Redo\t(Ctrl+Y)", 425, MF_GRAYED},
                               sep(),
                               {"Cu&t", cmd_cut, MF_GRAYED},
                               {"&Copy\t(Ctrl+C)", cmd_copy},
                               {"&Paste", cmd_paste, MF_GRAYED},
                               sep(),
                               {"&Select all\t(Ctrl+A)", 315},
                               popup("Select &by Type", {{"Aux/Const/Data", 426},
                                                         {"Information Arrows", 427},
                                                         {"Levels", 428},
                                                         {"Rates", 429}}),
                               sep(),
                               {"&Find\t(F5)", 360},
                               {"Find &Workbench\t(Ctrl+F5)", 361},
                               {"Find &Again\t(F3)", 362},
                           });
    menu_register_template(menu_sketch_view, {
                                                 {"&Previous View\t(PgUp)", 327},
                                                 {"&Next View\t(PgDn)", 328},
                                                 {"&Views...", 326},
                                                 sep(),
                                                 popup("&Depth", std::move(depth)),
                                                 {"Show &More", 422},
                                                 {"Show &Less", 423},
                                                 sep(),
                                                 {"&200%", 367},
                                                 {"&100%", 368},
                                                 {"&75%", 369},
                                                 {"&50%", 370},
                                                 {"&Fit to Screen", 371},
                                                 {"Custom", 372},
                                             });
    // What the bottom bar's style buttons would change: the diagram is the
    // model's, so a viewer offers them grey.
    menu_register_template(menu_sketch_layout, {
                                                   {"Set &Font...", 330, MF_GRAYED},
                                                   {"Set &Size", 331, MF_GRAYED},
                                                   {"&Bold", 335, MF_GRAYED},
                                                   {"&Italic", 336, MF_GRAYED},
                                                   {"&Underline", 337, MF_GRAYED},
                                                   {"S&trikethrough", 338, MF_GRAYED},
                                                   {"Text &Color", 332, MF_GRAYED},
                                                   {"Bo&x Color", 333, MF_GRAYED},
                                                   {"Surround S&hape", 340, MF_GRAYED},
                                                   {"Text &Position", 341, MF_GRAYED},
                                                   sep(),
                                                   {"&Arrow Color", 334, MF_GRAYED},
                                                   {"Arrow &Width", 339, MF_GRAYED},
                                                   {"P&olarity", 364, MF_GRAYED},
                                                   sep(),
                                                   {"Add &Workbench Variable", 353, MF_GRAYED},
                                                   {"Push to Bac&kground", 358, MF_GRAYED},
                                               });
    menu_register_template(menu_changes,
                           {
                               {"&Read Additional Changes from File", cmd_read_changes},
                               {"&Write Changes Made to .cin file", cmd_write_changes},
                           });
}

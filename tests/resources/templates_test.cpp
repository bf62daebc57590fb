// Every dialog template and menu of the program loads, is sound, and holds the
// controls and commands the program's code asks for by id: a template edited
// out of step with the code that drives it fails here rather than when a user
// opens the dialog.
#include "platform/dlg.h"
#include "platform/menu.h"
#include "platform/win.h"
#include "resources/dialogs.h"
#include "resources/lookupdlg.h"
#include "resources/menus.h"
#include "resources/modelpages.h"
#include "resources/options.h"
#include "resources/panel.h"
#include "resources/simdlg.h"
#include "resources/sketchdlg.h"
#include "resources/subpanel.h"
#include "resources/varselect.h"
#include "tests/driver/driver.h"
#include "tests/resources/every_template.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

void register_everything() {
    register_every_template();
    register_menu_templates();
}

// The control ids the code reads, sets or waits for, per template. Ids the
// dialog makes itself (a size grip, the panel's tab control) are not in the
// templates and not listed.
const std::map<int, std::vector<int>>& wanted_ids() {
    static const std::map<int, std::vector<int>> ids = {
        {dlg_file_choice, {fdc_dir, fdc_list, fdc_name, fdc_types, fdc_up}},
        {dlg_ask_list, {idc_prompt, idc_answer}},
        {dlg_ask_text, {idc_prompt, idc_answer}},
        {dlg_ask_replace_one, {idc_prompt, idc_answer}},
        {dlg_ask_replace_two, {idc_search, idc_replace, idc_search_label, idc_replace_label}},
        {dlg_about, {idc_about_version}},
        {dlg_password, {idc_password, idc_password_note}},
        {dlg_export_size, {exs_full, exs_height, exs_screen, exs_title, exs_width}},
        {dlg_lookup_editor,
         {idl_caption1,   idl_caption2,      idl_caption3,     idl_head_x,    idl_head_y,
          idl_new_label,  idl_new_x,         idl_new_y,        idl_scroll,    idl_graph,
          idl_x_min,      idl_x_max,         idl_y_min,        idl_y_max,     idl_cursor_x,
          idl_cursor_y,   idl_reset_scaling, idl_clear_points, idl_clear_all, idl_cur_to_ref,
          idl_ref_to_cur, idl_clear_ref,     idl_ok,           idl_cancel,    idl_print}},
        {dlg_model_notes,
         {idm_notes, idm_info, idm_show_notes, idm_password, idm_verify, idm_to_changes,
          idm_to_data}},
        {dlg_model_flags,
         {idm_show_init_causes, idm_show_lookups, idm_show_shadows, idm_no_livesweep_drag,
          idm_disk_livesweep, idm_far_east, idm_hard_underbar}},
        {dlg_model_refs,
         {idm_ref_list, idm_ref_delete, idm_ref_modify, idm_ref_add, idm_ref_name, idm_ref_file,
          idm_ref_choose}},
        {dlg_reorder, {idr_title, idr_list, idr_hint}},
        {dlg_units,
         {idu_add, idu_delete, idu_edit, idu_list, idu_set_default, idu_modify, idu_get_default,
          idu_strictest}},
        {dlg_options,
         {ido_markers, ido_refresh, ido_far_east, ido_autocenter, ido_pagemarks, ido_no_pagemarks,
          ido_row, ido_col, ido_test, ido_color, ido_mono, ido_solid, ido_font_normal,
          ido_font_equation, ido_font_compressed, ido_font_tool, ido_font_bottom}},
        {dlg_print_options,
         {idp_all,           idp_selection,   idp_multiple, idp_best,         idp_portrait,
          idp_landscape,     idp_title,       idp_comment,  idp_date,         idp_page,
          idp_graph,         idp_print_at,    idp_percent,  idp_fill,         idp_fit,
          idp_set_size,      idp_width_check, idp_width,    idp_height_check, idp_height,
          idp_open_on_print, idp_printer,     idp_setup}},
        {dlg_font_select,
         {idf_face, idf_faces, idf_size, idf_bold, idf_italic, idf_underline, idf_strike,
          idf_colour, idf_example}},
        {dlg_control_panel, {idc_keep_on_top, idc_close}},
        {dlg_page_time_axis,
         {idt_frame, idt_base_label, idt_base, idt_reset, idt_scaler, idt_start_label,
          idt_start_left, idt_start_right, idt_start, idt_special_label, idt_special_left,
          idt_special_right, idt_special, idt_end_label, idt_end_left, idt_end_right, idt_end}},
        {dlg_page_scaling,
         {ids_hdiv, ids_vdiv, ids_line0, ids_line1, ids_line_special, ids_raw, ids_rounded,
          ids_include0, ids_colorize, ids_buffer, ids_no_change, ids_freeze}},
        {dlg_page_graphs,
         {idg_wip, idg_list, idg_modify, idg_copy, idg_new, idg_display, idg_delete, idg_reorder}},
        {dlg_constant_changes,
         {ids_list, ids_value, ids_set, ids_model_value, ids_reset, ids_note}},
        {dlg_lookup_changes, {ids_lookup, ids_points, ids_graph}},
        {dlg_game,
         {ids_game_time, ids_game_interval, ids_game_forward, ids_game_back, ids_game_end}},
        {dlg_sim_pause, {ids_pause_text, ids_pause_stop}},
        {dlg_plausitest, {ids_pt_summary, ids_pt_list}},
        {dlg_slider_options,
         {idq_increment, idq_max, idq_min, idq_permanent, idq_subscripts, idq_subscript_label,
          idq_title, idq_value}},
        {dlg_input_options,
         {idi_p1, idi_p2, idi_p3, idi_p4, idi_label1, idi_label2, idi_label3, idi_label4,
          idi_freeze, idi_override, idi_title}},
        {dlg_subscript_panel,
         {idc_sp_range_label, idc_sp_range, idc_sp_elements, idc_sp_all, idc_sp_none,
          idc_sp_summary}},
        {dlg_variable_dialog,
         {idv_note, idv_exact, idv_list, idv_name, idv_subscripts, idv_type, idv_name_label,
          idv_type_label}},
        {dlg_page_variable,
         {idv_exact, idv_list, idv_name, idv_select, idv_subscripts, idv_type, idv_name_label,
          idv_type_label}},
    };
    return ids;
}

std::set<int> item_ids(const DialogTemplate& t) {
    std::set<int> out;
    for (const DialogItem& item : t.items) out.insert(item.id);
    return out;
}

TEST(Templates, EveryDialogHoldsTheControlsItsCodeAsksFor) {
    register_everything();
    for (const auto& [id, wanted] : wanted_ids()) {
        SCOPED_TRACE("template " + std::to_string(id));
        const DialogTemplate* t = dlg_find_template(id);
        ASSERT_NE(t, nullptr);
        const std::set<int> have = item_ids(*t);
        for (int control : wanted) EXPECT_TRUE(have.count(control)) << "control " << control;
    }
}

// Each template is sound on its own: a caption where it has a title bar, a
// size, no two controls of one id (statics may share theirs), and every
// control inside the dialog's box, so none is cut off or hidden.
TEST(Templates, EveryDialogIsSoundAndItsControlsLieInside) {
    register_everything();
    for (const auto& [id, wanted] : wanted_ids()) {
        SCOPED_TRACE("template " + std::to_string(id));
        const DialogTemplate* t = dlg_find_template(id);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->id, id);
        EXPECT_GT(t->cx, 0);
        EXPECT_GT(t->cy, 0);
        if ((t->style & WS_CAPTION) == WS_CAPTION) {
            EXPECT_NE(t->caption, nullptr);
        }
        std::map<int, int> count;
        for (const DialogItem& item : t->items) {
            SCOPED_TRACE("control " + std::to_string(item.id));
            ASSERT_NE(item.cls, nullptr);
            if (item.id != IDC_STATIC) ++count[item.id];
            EXPECT_GE(item.x, 0);
            EXPECT_GE(item.y, 0);
            EXPECT_GE(item.cx, 0);
            EXPECT_GE(item.cy, 0);
            EXPECT_LE(item.x + item.cx, t->cx);
            // A combo box's height includes its dropped-down list, which may
            // reach past the dialog; its field starts inside.
            if (std::string(item.cls) == "ComboBox")
                EXPECT_LT(item.y, t->cy);
            else
                EXPECT_LE(item.y + item.cy, t->cy);
        }
        for (const auto& [control, n] : count) EXPECT_EQ(n, 1) << "control " << control;
    }
}

INT_PTR quiet_proc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Built by the dialog manager, each control of the list is a window of the
// dialog under its id.
TEST(Templates, EveryDialogIsBuiltWithItsControls) {
    register_everything();
    for (const auto& [id, wanted] : wanted_ids()) {
        SCOPED_TRACE("template " + std::to_string(id));
        const DialogTemplate* t = dlg_find_template(id);
        ASSERT_NE(t, nullptr);
        stand_in_for_program_classes(*t);
        DialogTemplate modeless = *t;
        modeless.style &= ~static_cast<DWORD>(WS_VISIBLE);
        // Built over a window of its own, as the program builds each (a page
        // inside its panel, a floating panel over the main window).
        HWND parent = CreateWindowEx(0, "Static", "parent", WS_POPUP, 0, 0, 800, 600, nullptr,
                                     nullptr, nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
        HWND dialog = CreateDialogIndirectParam(nullptr, &modeless, parent, quiet_proc, 0);
        ASSERT_NE(dialog, nullptr);
        for (int control : wanted) EXPECT_NE(GetDlgItem(dialog, control), nullptr) << control;
        DestroyWindow(dialog);
        DestroyWindow(parent);
    }
}

void collect_commands(HMENU menu, std::set<UINT>* ids, int depth = 0) {
    ASSERT_LT(depth, 8) << "menus nest too deep";
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        if (HMENU sub = GetSubMenu(menu, i))
            collect_commands(sub, ids, depth + 1);
        else
            ids->insert(GetMenuItemID(menu, i));
    }
}

// The menus offer every command the program's menu handler serves from a menu
// item (the main menu most, the changes menu reading and writing changes
// files), and each menu loads.
TEST(Templates, TheMenusOfferTheirCommands) {
    register_everything();
    HMENU main = LoadMenu(nullptr, MAKEINTRESOURCE(menu_main));
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(GetMenuItemCount(main), popup_help + 1);
    for (int popup :
         std::initializer_list<int>{popup_file, popup_view, popup_edit, popup_insert, popup_model,
                                    popup_options, popup_windows, popup_tools, popup_help})
        EXPECT_NE(GetSubMenu(main, popup), nullptr) << popup;
    std::set<UINT> ids;
    collect_commands(main, &ids);
    HMENU changes = LoadMenu(nullptr, MAKEINTRESOURCE(menu_changes));
    ASSERT_NE(changes, nullptr);
    collect_commands(changes, &ids);
    DestroyMenu(changes);
    for (int cmd : std::initializer_list<int>{cmd_save,
                                              cmd_print,
                                              cmd_close,
                                              cmd_save_as,
                                              cmd_simulate,
                                              cmd_about,
                                              cmd_open_model,
                                              cmd_print_options,
                                              cmd_exit,
                                              cmd_options,
                                              cmd_run_game,
                                              cmd_livesweep,
                                              cmd_close_all_output,
                                              cmd_control_panel,
                                              cmd_error_history,
                                              cmd_selection_history,
                                              cmd_subscript_control,
                                              cmd_output_list,
                                              cmd_plausitest,
                                              cmd_read_changes,
                                              cmd_write_changes,
                                              cmd_stop_simulation,
                                              cmd_setup,
                                              cmd_constant_changes,
                                              cmd_lookup_changes,
                                              cmd_model_notes,
                                              cmd_model_display,
                                              cmd_model_references,
                                              cmd_units_equivalences})
        EXPECT_TRUE(ids.count(static_cast<UINT>(cmd))) << "command " << cmd;
    DestroyMenu(main);
    for (int menu : std::initializer_list<int>{menu_output_edit, menu_changes, menu_sketch_edit,
                                               menu_sketch_view, menu_sketch_layout}) {
        HMENU m = LoadMenu(nullptr, MAKEINTRESOURCE(menu));
        ASSERT_NE(m, nullptr) << menu;
        EXPECT_GT(GetMenuItemCount(m), 0) << menu;
        DestroyMenu(m);
    }
}

} // namespace

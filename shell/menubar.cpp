// The menu bar's modes (see menubar.h).
#include "shell/menubar.h"

#include "platform/menu.h"
#include "resources/menus.h"
#include "shell/bottombar.h"
#include "shell/state.h"
#include "shell/title.h"

#include <cstdint>

namespace {

int bar_mode = -1;

// Gives 493 its text, adding it before Save As when the bar lacks it.
void name_load_lock(const char* text) {
    UINT flags = MF_BYCOMMAND | MF_STRING;
    if (!ModifyMenu(main_menu, cmd_load_lock, flags, cmd_load_lock, text) && file_menu)
        InsertMenu(file_menu, cmd_save_as, flags, cmd_load_lock, text);
}

// Puts the three pop-ups at positions 1 to 3 (the ones there are kept, not
// destroyed: each belongs to one of the modes).
void put_popups(HMENU first, const char* t1, HMENU second, const char* t2, HMENU third,
                const char* t3) {
    for (int i = 0; i < 3; ++i) RemoveMenu(main_menu, popup_view, MF_BYPOSITION);
    const HMENU subs[3] = {first, second, third};
    const char* titles[3] = {t1, t2, t3};
    for (int i = 0; i < 3; ++i)
        InsertMenu(main_menu, static_cast<UINT>(popup_view + i), MF_BYPOSITION | MF_POPUP,
                   reinterpret_cast<UINT_PTR>(subs[i]), titles[i]);
}

void enable(UINT item, UINT how, bool on) {
    EnableMenuItem(main_menu, item, how | (on ? MF_ENABLED : MF_GRAYED));
}

} // namespace

void output_menu_bar() {
    set_title_edit_name(nullptr);
    if (main_menu) {
        name_load_lock("&Lock/Unlock");
        ModifyMenu(main_menu, cmd_save_as, MF_BYCOMMAND | MF_STRING, cmd_save_as, "Save &As");
        enable(cmd_save, MF_BYCOMMAND, false);
        enable(cmd_print, MF_BYCOMMAND, true);
        put_popups(output_edit_menu, "&Edit", edit_menu, "&View", insert_menu, "&Insert");
        enable(popup_view, MF_BYPOSITION, true);
        enable(popup_edit, MF_BYPOSITION, false);
        enable(popup_insert, MF_BYPOSITION, false);
        if (main_wnd) DrawMenuBar(main_wnd);
    }
    draw_caption_buttons(-1);
    bar_mode = 1;
    set_bottom_bar(bm_text, nullptr, 0);
}

void rebuild_menu_bar() {
    set_title_edit_name(nullptr);
    if (main_menu) {
        name_load_lock("&Load");
        enable(cmd_load_lock, MF_BYCOMMAND, false);
        ModifyMenu(main_menu, cmd_save_as, MF_BYCOMMAND | MF_STRING, cmd_save_as, "Save Se&ttings");
        enable(cmd_save, MF_BYCOMMAND, false);
        enable(cmd_print, MF_BYCOMMAND, false);
        put_popups(view_menu, "&Edit", edit_menu, "&View", insert_menu, "&Insert");
        for (int p : {popup_view, popup_edit, popup_insert}) enable(p, MF_BYPOSITION, false);
        set_main_title(nullptr);
        if (main_wnd) DrawMenuBar(main_wnd);
    }
    draw_caption_buttons(-1);
    bar_mode = 0;
    set_bottom_bar(bm_text, nullptr, 0);
}

void diagram_menu_bar(HMENU edit, HMENU view, HMENU third, const char* third_title, bool third_on) {
    if (main_menu && edit && view && third) {
        name_load_lock("&Load");
        enable(cmd_load_lock, MF_BYCOMMAND, false);
        ModifyMenu(main_menu, cmd_save_as, MF_BYCOMMAND | MF_STRING, cmd_save_as, "Save Se&ttings");
        put_popups(edit, "&Edit", view, "&View", third, third_title);
        enable(popup_view, MF_BYPOSITION, true);
        enable(popup_edit, MF_BYPOSITION, true);
        enable(popup_insert, MF_BYPOSITION, third_on);
        enable(cmd_print, MF_BYCOMMAND, true);
        enable(cmd_publish, MF_BYCOMMAND, true);
        if (main_wnd) DrawMenuBar(main_wnd);
    }
    bar_mode = 2;
}

int menu_bar_mode() {
    return bar_mode;
}

void set_edited_file(const char* name) {
    set_title_edit_name(name);
}

const std::string& edited_file() {
    return title_edit_name();
}

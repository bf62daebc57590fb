// Menus of the platform stand-in: menu objects with the platform's item flags
// (checked, greyed, disabled, separators, pop-ups, owner-drawn items), menu
// templates of our own by number, the menu bar of a top-level window (shown
// as a Qt menu bar), pop-up menus, WM_INITMENU / WM_INITMENUPOPUP before a
// menu opens and WM_COMMAND on a choice.
//
// Calls "by command" (MF_BYCOMMAND) look through the pop-ups too, as on the
// platform. Stale handles are refused (FALSE / -1 / null).
#pragma once

#include "platform/types.h"
#include "platform/win.h"

#include <functional>
#include <string>
#include <vector>

inline constexpr UINT MF_INSERT = 0x0000;
inline constexpr UINT MF_CHANGE = 0x0080;
inline constexpr UINT MF_APPEND = 0x0100;
inline constexpr UINT MF_DELETE = 0x0200;
inline constexpr UINT MF_REMOVE = 0x1000;
inline constexpr UINT MF_BYCOMMAND = 0x0000;
inline constexpr UINT MF_BYPOSITION = 0x0400;
inline constexpr UINT MF_SEPARATOR = 0x0800;
inline constexpr UINT MF_ENABLED = 0x0000;
inline constexpr UINT MF_GRAYED = 0x0001;
inline constexpr UINT MF_DISABLED = 0x0002;
inline constexpr UINT MF_UNCHECKED = 0x0000;
inline constexpr UINT MF_CHECKED = 0x0008;
inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_BITMAP = 0x0004;
inline constexpr UINT MF_OWNERDRAW = 0x0100;
inline constexpr UINT MF_POPUP = 0x0010;
inline constexpr UINT MF_MENUBARBREAK = 0x0020;
inline constexpr UINT MF_MENUBREAK = 0x0040;
inline constexpr UINT MF_HILITE = 0x0080;
inline constexpr UINT MF_DEFAULT = 0x1000;
inline constexpr UINT MF_HELP = 0x4000;
inline constexpr UINT MF_RIGHTJUSTIFY = 0x4000;

inline constexpr UINT TPM_LEFTBUTTON = 0x0000;
inline constexpr UINT TPM_RIGHTBUTTON = 0x0002;
inline constexpr UINT TPM_LEFTALIGN = 0x0000;
inline constexpr UINT TPM_CENTERALIGN = 0x0004;
inline constexpr UINT TPM_RIGHTALIGN = 0x0008;
inline constexpr UINT TPM_TOPALIGN = 0x0000;
inline constexpr UINT TPM_VCENTERALIGN = 0x0010;
inline constexpr UINT TPM_BOTTOMALIGN = 0x0020;
inline constexpr UINT TPM_NONOTIFY = 0x0080;
inline constexpr UINT TPM_RETURNCMD = 0x0100;

HMENU CreateMenu();      // a menu bar
HMENU CreatePopupMenu(); // a pop-up
// Destroys the menu and its pop-ups (a menu still set on a window is taken off it).
BOOL DestroyMenu(HMENU menu);
BOOL IsMenu(HMENU menu);

// `id` is the command id, or the pop-up's HMENU with MF_POPUP; `item` the
// text, or the item data with MF_OWNERDRAW.
BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char* item);
BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char* item);
BOOL ModifyMenu(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char* item);
BOOL DeleteMenu(HMENU menu, UINT position, UINT flags); // destroys a pop-up
BOOL RemoveMenu(HMENU menu, UINT position, UINT flags); // keeps a pop-up
// Previous state (MF_CHECKED / MF_UNCHECKED; MF_ENABLED / MF_GRAYED /
// MF_DISABLED), or -1 (as a DWORD) when the item does not exist.
DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags);
UINT EnableMenuItem(HMENU menu, UINT item, UINT flags);
// The item's flags; for a pop-up its item count in the high byte; -1 when
// the item does not exist.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
int GetMenuItemCount(HMENU menu);
UINT GetMenuItemID(HMENU menu, int position); // -1 for a pop-up or a bad position
HMENU GetSubMenu(HMENU menu, int position);
int GetMenuString(HMENU menu, UINT item, char* buffer, int size, UINT flags);

BOOL SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
BOOL DrawMenuBar(HWND hwnd); // shows the bar's current items and states

// Buttons at the right end of a window's menu bar (the caption buttons of a
// child shown maximised). Each shows its `up` face (its `down` face while
// held) at x from the strip's left; a release over the button that was
// pressed posts `message` (wparam, lparam) to `target`. The faces are copied
// (the caller keeps its bitmaps); count 0 removes the buttons.
struct MenuBarButton {
    HBITMAP up = nullptr, down = nullptr;
    int x = 0;
    HWND target = nullptr;
    UINT message = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
};
BOOL SetMenuBarButtons(HWND hwnd, const MenuBarButton* buttons, int count);
// The buttons the bar of `hwnd` holds now (tests: faces, places, messages).
int GetMenuBarButtonCount(HWND hwnd);
// The button's message posted as a click would post it; FALSE for a bad index.
BOOL ClickMenuBarButton(HWND hwnd, int index);

// Shows a pop-up at a screen point and runs a nested loop until it closes.
// With TPM_RETURNCMD returns the chosen id (0 for none); otherwise posts
// WM_COMMAND to `hwnd` and returns TRUE when something was chosen.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND hwnd,
                    const RECT* rect);

// Menu templates of our own (filled by the resources): a tree of items.
struct MenuTemplateItem {
    const char* text; // null or "-" for a separator
    UINT id;
    UINT flags = 0;                           // MF_GRAYED, MF_CHECKED, ...
    std::vector<MenuTemplateItem> items = {}; // a pop-up when not empty (or MF_POPUP)
};
// Registers template `id` (the items of the bar or of the pop-up); also makes
// LoadMenu the loader of class menus (WNDCLASS::lpszMenuName).
BOOL menu_register_template(int id, std::vector<MenuTemplateItem> items);
void menu_clear_templates(); // tests
// A new menu bar from a template (MAKEINTRESOURCE(id) or "#id"); null when
// the template is not known.
HMENU LoadMenu(HINSTANCE instance, const char* name);

// ---------------------------------------------------------------------------
// Seams for tests and the window layer

// Chooses a command as the user would from the window's menu bar: the bar's
// WM_INITMENU and WM_INITMENUPOPUP for each pop-up on the way are sent first
// (so the program updates its states), then WM_COMMAND is posted when the
// item exists and is enabled. FALSE (with a message) otherwise.
BOOL menu_choose(HWND hwnd, UINT id);
// Tests answer pop-up menus with this: given the menu and its window, the
// command to choose (0: dismissed). It answers TrackPopupMenu and the bar's
// pop-ups opened from the keyboard (Alt+letter, F10). Null restores the real
// pop-up.
using PopupChooser = std::function<UINT(HMENU menu, HWND hwnd)>;
void menu_set_popup_chooser(PopupChooser chooser);
// The command ids of a menu's items in order (pop-ups as -1, separators 0).
std::vector<UINT> menu_item_ids(HMENU menu);

// Window activation inside the container, the Windows menu's list of build
// windows (ids 552 to 562, "More..." standing for the eleventh and later) and
// the File menu's four recent models (ids 568 to 571, settings keys
// "ModelsOld0" to "ModelsOld3").
#pragma once

#include "platform/win.h"

#include <string>
#include <vector>

inline constexpr int first_window_item = 552;
inline constexpr int more_windows_item = 562;
inline constexpr int output_list_item = 572;
inline constexpr int first_recent_item = 568;
inline constexpr int recent_model_count = 4;

// next 0, kind 0: makes `window` (or its container-level ancestor) the active
// child. next non-zero: cycles from it to the next window of `kind` (0: the
// active child's kind); next -1 with kind 3: the output window just above it
// (else the lowest). next 0, kind non-zero: brings the next window group
// forward (next_window_group of the active kind). activate_window(0, 0, 0):
// finds a successor for a vanished active child.
void activate_window(HWND window, int next, int kind);
// The window group (1 build, 2 floating, 3 output) that group cycling brings
// forward from windows of `kind`: (kind mod 3) + 1, else the two after it in
// that rotation, the first that has windows; 0 when none has.
int next_window_group(int kind);

// The Windows menu's list. add returns the item's id (refreshing the text of
// a window already listed); remove renumbers the items after it.
int add_window_menu_item(HWND window);
void remove_window_menu_item(HWND window);
// 552..561: activates that item's window; 562 "More...": a choice of every
// listed window ("Select Build Window"); 572: a choice of the output windows
// ("Select Output Window"), or "No Output Windows Open".
void select_window_item(int id);
// The listed windows in menu order.
std::vector<HWND> listed_windows();
void clear_window_list();

// Recent models. op 2 builds the entries from the settings (non-null "" when
// any was found); op 1 adds `path` as the most recent (stored absolute); op 0
// gives a copy of item `id`'s path (scratch memory) or null; op -2 writes
// the four paths to the settings.
const char* recent_models(int op, int id, const char* path);
// The recent paths, most recent first.
std::vector<std::string> recent_model_paths();
void clear_recent_models();
// A path's last 50 characters.
std::string menu_path_text(const char* path);
// A text with every "&" doubled, so a menu shows it literally.
std::string menu_escape(const std::string& text);

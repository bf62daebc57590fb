// The toolbar across the top of the workbench ("Kavrel_toolbar"): bevelled
// bitmap buttons, text labels and edit fields from one item table, the items
// shown chosen per mode (normal, simulation setup, gaming, datasets,
// Livesweep). The run-name field grows with the window between 80 and 300
// pixels. Buttons send their command on release over them: simulation
// commands to the simulation control, the others to the workbench.
#pragma once

#include "platform/win.h"

#include <cstdint>
#include <vector>

// One entry of the item table.
struct toolbar_item {
    const char* tip = nullptr;   // null: an empty slot
    const char* label = nullptr; // the text of a label item
    std::uint16_t kind = 0;      // 0 empty, 2 edit field, 3 label, >= 16 strip offset
    std::uint16_t command = 0;   // 65535: none
    std::int16_t x = 0;
    std::int16_t width = 0;
};
enum : std::uint16_t { tk_empty = 0, tk_edit = 2, tk_label = 3, tk_first_image = 16 };
inline constexpr int toolbar_slots = 42;
inline constexpr int run_name_slot = 9;
inline constexpr std::uint16_t no_command = 65535;
inline constexpr int run_name_min = 80, run_name_max = 300;

// The modes of show_sim_controls.
enum : int {
    tm_normal = 0,
    tm_setup = 1,
    tm_gaming = 2,
    tm_datasets = 3,
    tm_livesweep = 4,
};

// The table entry of a slot (its position as laid out now).
const toolbar_item& toolbar_slot(int slot);
// The slots shown now, in order.
const std::vector<int>& toolbar_list();
int toolbar_mode();

// Chooses the items of a mode and repaints the toolbar.
void show_sim_controls(int mode);
// Sets the mode that the simulation state calls for (Livesweep, a game,
// set-up, else normal) when it is not the one shown.
void toolbar_follow_mode();
// Shows (1) the run name of the next run in the run-name field, or clears
// it (0).
void apply_run_name(int flag);
// The slot whose edit field is `edit` (-1: none). Two fields share id 100.
int toolbar_field_slot(HWND edit);
// Invalidates an item's rectangle (y 2 to 24); item: list position + 2,
// the sign ignored.
void invalidate_toolbar_item(HWND toolbar, int item);
// How the toolbar's Stop leaves set-up, gaming or Livesweep when no run is
// going (the run driver's leave_sim_mode, installed with the run driver).
// Greys the buttons and fields while the workbench is disabled (a modal
// dialog or box is up) and shows them again after.
void toolbar_follow_enabled();
// Sets the text of a label item (null or "": the table's own) and repaints it.
void set_toolbar_label(int slot, const char* text);
// The game-time and integration-technique labels.
inline constexpr int game_time_slot = 30, method_slot = 22, game_amount_slot = 29;
// The field listing the datasets for data variables (datasets mode).
inline constexpr int dataset_list_slot = 31;

using leave_mode_fn = int (*)(int ask);
void set_toolbar_leave_hook(leave_mode_fn hook);
// The toolbar or bottom bar while it tracks a pressed button (null: none).
HWND pressed_button_window();

LRESULT vtoolbar_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The tools palette ("Kavrel_tools", tools_proc in shell/mainwnd.h): one row
// of the palette grid as bevelled picture buttons down the side of the
// workbench or along its top; a click, or Ctrl+1..9 and Ctrl+0 from the main
// loop, runs a tool on the workbench variable. Also the re-ordering of the
// workbench's child windows (arrange_windows).
#pragma once

#include "foundation/types.h"
#include "platform/win.h"
#include "shell/toolset.h"

// Runs one tool. grid null: the palette's current row, `index` counting the
// occupied cells (0 the first tool); else `index` is a cell of `row` of that
// grid. options non-zero or lock non-zero get this edition's refusals, as
// does running with no model open. The action runs with the busy depth
// raised; the button is repainted by its cell afterwards (the action may
// free the tool set).
void run_palette_tool(const palette_grid* grid, int row, int index, int options, int lock);
// The same for a tool handle (found in the palette's current row, else run
// as it is).
void run_palette_tool(handle tool);
// rerun_locked_tools (upcalls.h) is defined with the palette.
// Whether a tool of the palette's current row is locked (computed from the
// grid, so never stale).
bool palette_has_locked_tools();

// Fills the main menu's Tools pop-up with the tools of the palette's row, so
// that every tool is reachable from the keyboard (Alt+T, then a digit or the
// arrow keys); the first ten show their Ctrl+digit shortcuts.
void fill_tools_menu(HMENU menu);

// The palette window's procedure (also declared with the workbench's).
LRESULT tools_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Told by the tool set reader after a read or free: the cell sizes are
// worked out again for the new grid and the palette repainted (kind 0).
void palette_toolset_changed(int kind);

// Palette metrics: the cell size the window computed for its size.
int palette_cell_width();
int palette_cell_height();
// The palette's bitmap (150), made on first use; freed at shutdown.
HBITMAP palette_bitmap();
void free_palette_bitmap();

// The tool's action runs through this hook when the tools framework set it:
// it forgets the current output record and clears the output one-shots on
// every way out. Null: the action is called directly.
extern void (*tool_action_runner)(tool_action action, handle tool);

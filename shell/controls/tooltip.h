// Tooltips: one shared pop-up window (tooltip_wnd, "Kavrel_tooltip") and a
// small state machine. A control offers tips by calling track_tooltip on its
// mouse moves and answering wm_tip_request with a tip_request.
//
// States: 0 idle; 1 waiting (timer 1, one second); 2 suppressed until the
// pointer moves to another item; 3 shown and tracking (the control holds the
// mouse capture, timer 2 hides the tip); 4 shown with a given text.
#pragma once

#include "platform/messages.h"
#include "platform/win.h"

#include <cstdint>

// Asks a control for the tip of an item: wParam the item, lParam a
// tip_request to fill; non-zero when answered.
inline constexpr UINT wm_tip_request = WM_USER + 49;

// The one record of a tip request, whichever control answers it.
struct tip_request {
    // The toolbar and bottom bar: the text and where it goes (relative to
    // the control), and how it is placed.
    const char* text = nullptr;
    int x = 0, y = 0;
    bool above = false;            // its bottom at the position
    bool right_of_pointer = false; // at least 16 pixels right of the pointer
    bool wrap = false;             // long texts wrapped into a few lines
    bool graph = false;            // a behaviour graph of variable graph_index
    int graph_index = 0;
    // The tools palette: its code and side flag.
    int code = 0;
    bool side = false;
    // The sketch: the hit code, the x and width of the hit (out), and whether
    // the text is ready.
    int hit = 0;
    int hit_x = 0, hit_width = 0;
    bool text_ready = false;
};

inline constexpr int tip_wait_ms = 1000;
// The control id of the toolbar's run-name field, whose given-text tips stay
// while the pointer stays on it.
inline constexpr int run_name_field_id = 101;
// The tooltip option: seconds a tip stays up (0: until the pointer moves).
extern int tooltip_seconds;

int tooltip_state();
void track_tooltip(HWND control, int item, int extra);
void show_tooltip(HWND tip, HWND control, int item, const char* text);
void hide_tooltip(int forget);
// The tracked control (null: none), for tests and the controls.
HWND tooltip_control();
// The size a text tip gets for `text` measured in `dc` (wrapped when asked).
SIZE tooltip_size(HDC dc, const char* text, bool wrap);

// Draws a self-drawn tip (a request with graph set): the item, graph_index,
// into the tip's client rectangle. The sketch installs it (behaviour graphs
// of its variables); without one every tip is text.
using tip_graph_painter = void (*)(HDC dc, const RECT& client, int item);
void set_tip_graph_painter(tip_graph_painter fn);
// The item the shown tip draws itself (-1: a text tip).
int tooltip_graph_item();

LRESULT vtooltip_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

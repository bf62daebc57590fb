// The input slider (window class "Kavrel_vslider"): a value between a
// minimum and a maximum shown by a draggable thumb, with an edit box (child
// id 100) under it for typing the value. A slider bound to a value slot
// writes its value into the setup copy of the current values and, in
// Livesweep, asks for a re-run as it changes.
//
// The control's record is a movable block whose handle is window long 0.
// Values are passed through lParam as pointers to 32-bit floats. The window
// style's low four bits set to 1 make the slider vertical (the maximum at the
// top). The parent is sent WM_COMMAND with the slider's id and code
// slider_edit_focus (0x0100) when the edit box gets the focus and
// slider_edit_done (0x0200) when it loses it.
#pragma once

#include "platform/win.h"

// Messages.
enum vslider_message : UINT {
    vs_set_value = 1074,     // *lParam (lParam 0: from the value slot)
    vs_get_value = 1075,     // stores the value into *lParam
    vs_set_minimum = 1076,   // minimum and lower limit
    vs_set_maximum = 1077,   // maximum and upper limit
    vs_set_increment = 1078, // 0: continuous
    vs_show_labels = 1079,   // wParam non-zero: the minimum and maximum are written
    vs_label_font = 1080,    // wParam: the font of the labels
    vs_attach = 1081,        // wParam a block; lParam non-zero: freed with the slider
    vs_minimum_only = 1082,
    vs_maximum_only = 1083,
    vs_digits = 1084,         // wParam: digits of the number format (0: "%g")
    vs_max_label = 1085,      // lParam: text written in place of the maximum
    vs_min_label = 1086,      // lParam: text written in place of the minimum
    vs_bind_slot = 1087,      // wParam: value slot (0: none, the edit box read-only)
    vs_background = 1088,     // lParam: -1 window colour, -2 button face, else RGB
    vs_rerun_finished = 1089, // a Livesweep re-run asked for by this slider is done
};

inline constexpr WORD slider_edit_focus = 0x0100;
inline constexpr WORD slider_edit_done = 0x0200;
inline constexpr int slider_edit_id = 100;
// Commands the slider's edit box sends to the sketch frame for Page Up and
// Page Down.
inline constexpr int sketch_page_up_command = 327;
inline constexpr int sketch_page_down_command = 328;

LRESULT vslider_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// A slider's rectangles for a client size: the track, the thumb at the
// slider's value and the value box, and the labels' height (0 without
// labels). Used to draw a slider into a printer or metafile context.
struct slider_geometry {
    RECT track{}, thumb{}, edit{};
    int label_height = 0;
};
// The layout of `slider` at `size` (the window itself is not changed); false
// for a window that is not a slider.
bool slider_layout(HWND slider, SIZE size, slider_geometry* out);
// Draws the slider's scale labels (when it shows them) for geometry g into
// dc, moved by origin, in the labels' font and the dc's text colour.
void draw_slider_labels(HWND slider, HDC dc, const slider_geometry& g, POINT origin);

// Paints a slider's groove along the middle of its track and its thumb, as
// the control shows them (and a printed view copies them). The thumb is
// raised in the face colour, or only outlined (while typed text waits); in
// monochrome the colours are black and white and an outlined thumb is filled
// white.
void paint_slider_body(HDC dc, const RECT& track, const RECT& thumb, bool vertical, bool outlined,
                       bool mono);

// The value slot a slider is bound to (0: none).
int slider_slot(HWND slider);
// The slider the user last pressed or typed into (null: none, or destroyed).
HWND last_pressed_slider();

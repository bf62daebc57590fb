// Quick sliders: in Livesweep every constant on the sketch's current view gets
// a small slider (92 x 12 pixels) under its name. Dragging it writes the
// constant into the Livesweep working copy of the values and asks the engine
// for a re-run, so that the behaviour graphs follow the drag; a click (no
// drag) opens the slider's options. The keyboard moves the focus among the
// sliders and steps the focused one.
#pragma once

#include <cstdint>

#include "foundation/types.h"
#include "platform/gdi.h"
#include "platform/win.h"
#include "sketch/sketch.h"

inline constexpr int qslider_width = 92;
inline constexpr int qslider_height = 12;
// The track's positions run 0 .. 80; the value box is 50 wide.
inline constexpr int qslider_positions = 80;
inline constexpr int qslider_box_width = 50;

// One slider.
struct qslider_rec {
    HWND window = nullptr;
    float min = 0, max = 0; // the track's ends
    float value = 0;
    float run_value = 0; // the value of the last accepted re-run request
    float increment = 0; // 0 or less: continuous
    std::int32_t slot = 0;
    // The slot the slider was placed for (the element the subscript selection
    // picks); the options dialog may move slot to another element.
    std::int32_t placed_slot = 0;
    HWND view = nullptr; // the sketch view that owns the slider
    symbol_id symbol = 0;
    std::int32_t position = 0; // 0 .. 80
    bool dragging = false, clicked = false, focus = false;
};

// The range a slider offers for a value v: see the tests for the cases.
// dt is the model's TIME STEP.
void default_slider_range(double v, double dt, double* lo, double* hi);
// Sets min, max, increment, value and (with_position) position from the
// working copy, the shown run's series and the symbol's own slider settings.
// True when max > min.
bool slider_range(qslider_rec& r, bool with_position);
// The value at a track position (0 .. 80): snapped to the increment and kept
// within min .. max.
float slider_value_at(const qslider_rec& r, int position);
// The track position of the record's value: the last position whose value
// (unsnapped) it reaches; 0 when the range is empty.
int slider_position(const qslider_rec& r);
// The left edge of the value box in the slider's client (6 .. 36).
inline int slider_box_left(int position) {
    return 6 + position * 15 / 40;
}

// OK of the slider options: the typed value, minimum, maximum and increment
// (empty: continuous) checked and stored into the record and, when permanent,
// into the constant's own slider settings. Each field must parse whole and be
// finite. -1 when refused (reported at severity 8, the dialog stays open); 2
// when the value changed (a re-run is due), else 1.
int apply_slider_options(qslider_rec& r, const char* value, const char* min, const char* max,
                         const char* increment, bool permanent);
// The slider options dialog (376) for the slider in lparam's record.
INT_PTR slider_options_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The slider's window procedure (class Kavrel_qslider).
LRESULT quick_slider_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// The record of a slider window (null: none).
qslider_rec* quick_slider(HWND window);
// The slider of a view's element (null: none).
HWND element_slider(HWND view, int element);

// mode 1 creates the sliders of the view's constants, 0 moves them to their
// places again, -1 destroys them.
void set_quick_sliders(HWND view, const sketch_state& s, int mode);
// After each Livesweep re-run and cache reset: the current sketch's sliders
// are made, kept, moved or destroyed to match Livesweep and the view, their
// values refreshed, and the sketch repainted.
void place_quick_sliders();

// The quick sliders on value slot `slot` show `value` (the working copy
// changed there by another control).
void quick_sliders_value_changed(std::int32_t slot, float value);

// The keyboard of the sliders: 1 steps the focused slider up, 2 down, 0
// resets it to the model's value, -2 moves the focus to the next slider
// (back with shift). True when something changed.
bool slider_keys(HWND view, int action, bool shift);

// The keys of the live sketch's sliders (in Livesweep): Right and Up step the
// focused slider up, Left and Down step it down, Tab moves the focus (Shift+Tab
// back), Enter opens the input options of the one selected variable. True
// when the key was taken.
bool live_sketch_key(HWND view, int vk, bool shift);
// Frame commands the live sketch serves: Show Behavior (430) switches the
// behaviour graphs on and off outside Livesweep. True when served.
bool live_sketch_command(HWND view, int id);

// What the sketch paints over its elements while it is live: behaviour
// graphs, and sliders kept at their elements' places (scrolls and zooms).
void paint_sketch_live(HDC dc, HWND view, const sketch_state& s);

// Draws the view's sliders, as they stand on the screen, into a recording
// of the view (a print or a copy) made from rs, the view's state scaled for
// it.
void print_quick_sliders(HDC dc, HWND view, const sketch_state& rs);

// Points the shell's slider call and value refresh at the quick sliders
// (after install_sketch_hooks).
void install_quick_sliders();

// The input and output objects placed on a view: live windows over their
// elements' boxes. An input slider sets its constant (in Simulation Setup
// and Livesweep, where a drag re-simulates); an output custom graph or tool
// opens its window inside the diagram and follows the runs.
#pragma once

#include <string>

#include "platform/win.h"
#include "sketch/sketch.h"

// The object kind an input/output element keeps in its label byte.
enum : std::uint8_t { io_input_slider = 0, io_output_graph = 1, io_output_tool = 2 };

// Builds the objects of the view's current elements: mode 0 afresh
// (destroying shown ones), 1 and 2 in place (sliders bound to their value
// slot again for the mode now, output windows made again). Nothing while the
// sketch's model is not the current one or the view has no objects.
void make_io_objects(HWND view, sketch_state& s, int mode);
// Destroys the shown objects' windows (sliders directly, output windows by
// their Close command); they are present but not shown afterwards.
void destroy_io_objects(HWND view, sketch_state& s);
// Updates the objects of the current model's sketch (mode 1); whether any
// output object has a window.
bool update_io_objects();
// The rectangle make_io_objects left for the next output window (client
// pixels of the diagram), cleared as it is taken; false when none.
bool take_pending_io_rect(int* x, int* y, int* w, int* h);
// Moves and sizes the shown objects to their elements after a scroll or zoom.
void place_io_objects(HWND view, const sketch_state& s);
// The window of element n's object (null: none).
HWND io_object_window(HWND view, int n);
// A slider's window rectangle for element e at the view's zoom and scroll.
RECT io_object_rect(const sketch_state& s, const sketch_elem& e);
// The value an input slider on element e shows: its constant's value in the
// working copy (Simulation Setup, Livesweep), else in the run shown. False
// when there is none.
bool io_slider_value(const sketch_elem& e, float* out);

// Every input slider of every view bound to value slot `slot` shows `value`
// (the setup copy's value changed there by some other control).
void show_slot_value(std::int32_t slot, float value);

// The element of a possibly subscripted variable that the current subscript
// selection picks: per dimension the first selected element of its range.
struct value_slot_ref {
    symbol_id symbol = 0;
    int ndims = 0;
    std::int32_t slot = 0;
};
// The value slot of `symbol` at the current subscript selection (its first
// slot for a scalar) into *slot, and the record filled when given. Returns
// the symbol's type, or for a variable with slots the type that slot holds
// in the model's per-slot types; 0 for a bad symbol or one without slots.
// Needs the model locked.
int resolve_value_slot(symbol_id symbol, std::int32_t* slot, value_slot_ref* out = nullptr);
// The variable an input/output object stands for and its value slot: the
// element its text names ("demand[north,food]"), or for a subscripted name
// written without subscripts the element the subscript selection picks.
// Returns the type (as resolve_value_slot), 0 when the text names nothing.
int io_object_slot(handle symbols, const sketch_elem& e, std::int32_t* slot,
                   symbol_id* symbol = nullptr);
// The name drawn under an input slider: its variable's name as its text
// gives it; while the engine is in Setup, Livesweep or a game, a subscripted
// name given without subscripts shows the element the slider stands for.
std::string io_slider_name(const sketch_state& s, const sketch_elem& e);
// Draws element n's object into dc over box (dc units) as its window shows
// it, for prints and copies: an input slider's groove, thumb, scale and value
// box; an output graph or tool's own picture, drawn by its record at its
// window's size. False when the object has no window (the caller draws a
// stand-in).
bool render_io_window(HDC dc, HWND view, int n, const RECT& box, COLORREF ink, bool mono);

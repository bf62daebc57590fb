// Moving the selection of a sketch's working copy, and the working copy's
// undo list. A move changes only the working copy: the model's stored view
// is never written, and the moves go when another view is shown.
#pragma once

#include <string>
#include <vector>

#include "sketch/sketch.h"

// Undo step types (the index into undo_name).
enum : int { undo_move = 1 };
// The name of an undo step type in the Edit menu ("Move"); "" for 0.
const char* undo_name(int type);

// A move of the selection under way: what it takes along and where all of
// it stood when it began.
struct selection_move {
    std::vector<int> moved;          // elements (kind 10 and up, not the shared view's)
    std::vector<int> connectors;     // connectors with an end among them
    std::vector<bool> arc;           // per connector: laid out as an arc at the start
    std::vector<sketch_place> start; // moved elements, then connectors
    std::vector<int> is_moved;       // per element number: 1 + its index in moved, or 0
    int dx = 0, dy = 0;
};

// Starts a move of the selected elements; false when none can move.
bool begin_selection_move(const sketch_state& s, selection_move* m);
// Places everything the move takes along at its start place moved by
// (dx, dy) sketch units: the elements' centres (kept within 16 bits), the
// points of connectors with both ends moved; an arc with one end moved keeps
// its bend. The connectors' geometry is recomputed.
void apply_selection_move(sketch_state& s, selection_move& m, int dx, int dy);
// Ends the move: a move that went somewhere becomes an undo step (the steps
// undone before it are dropped). True when it did.
bool finish_selection_move(sketch_state& s, selection_move& m);
// Puts everything back where the move began.
void cancel_selection_move(sketch_state& s, selection_move& m);

// Undoes the last step done, or redoes the next one undone; false when there
// is none.
bool sketch_undo(sketch_state& s);
bool sketch_redo(sketch_state& s);
// The Edit menu's texts: "&Undo Move\t(Ctrl+Z)" and "&Redo Move\t(Ctrl+Y)"
// (without a name when there is no step); *enabled says whether there is one.
std::string undo_menu_text(const sketch_state& s, bool redo, bool* enabled);

// The rectangle (sketch units) the selected elements' boxes cover; false
// when no element is selected.
bool selected_box(const sketch_state& s, int* left, int* top, int* right, int* bottom);

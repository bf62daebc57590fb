// Typing a number into the diagram: in Simulation Setup (or a game) a click
// on a scalar constant (or game variable) opens a small entry below it with
// the value; Enter stores the typed number into the setup copy at the
// variable's value slot, Escape drops it.
#pragma once

#include <string>

#include "platform/win.h"
#include "sketch/sketch.h"

// Reads an entry's text: the whole text must be one finite number (blanks
// around it allowed). False for "12abc", "1e999", "" and the like.
bool parse_entry_number(const std::string& text, double* value);

// Whether the sketch shows the set-up state (clicks edit values).
bool sketch_in_setup();

// The set-up click on element n: a scalar constant (in a game, a scalar game
// variable) opens the entry; another variable opens the Constant Changes
// dialog. 1 when the entry opened, 2 a dialog, 0 nothing done, -1 during
// Livesweep (which changes values through its sliders).
int sketch_setup_click(HWND view, sketch_state& s, int n);

// Opens the entry on variable element n showing value; value slot `slot`.
void open_inplace_edit(HWND view, const sketch_state& s, int n, float value, int slot);
bool inplace_edit_open(HWND view);
// Keeps an open entry below its variable after the view scrolled or zoomed.
void follow_inplace_edit(HWND view, const sketch_state& s);
// Ends the entry: mode 0 commits (false, entry kept, when its text is not a
// number or the set-up copy cannot be made), above 1 drops it. True when it
// is closed.
bool end_inplace_edit(HWND view, int mode);
// The entry control of a view (null: none made yet), for tests.
HWND inplace_edit_window(HWND view);
// An open entry on value slot `slot` shows `value`, all of it selected (the
// setup copy's value changed there by another control, as a slider).
void inplace_value_changed(int slot, float value);
// Forgets the entry of a view going away.
void forget_inplace_edit(HWND view);

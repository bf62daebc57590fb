// The texts the workbench shows of the open model: its title and the text of
// its bottom bar.
#pragma once

#include <string>

// Sets the title: "Kavrel:<model> Var:<text>" ("No Model Open" without a
// model, "Unnamed" for a model without a file), or with a file being edited
// "Kavrel:<model> Edit:<file> Var:<text>". A null text keeps the stored one.
void set_main_title(const char* variable_text);
// While a mode is on, the title ends with its name and the way out
// (" - Simulation Setup (Esc or Stop Simulation to leave)", the game with
// its time, Livesweep); "" otherwise.
std::string mode_title_text();
// The title text set_main_title would give (tests).
std::string main_title_text(const char* variable_text);
// The name of the file being edited, shown in the title (null or "": none);
// the title follows at once.
void set_title_edit_name(const char* name);
const std::string& title_edit_name();
// Shows the caption buttons of a maximised build window on the menu bar (or
// takes them away; shell/menubar.cpp): -1 all three, or
// the one named (0, 1 or 2); with none maximised, all three redraw the menu
// bar.
void draw_caption_buttons(int which);
// Sets the workbench's bottom-bar text; the bar shows it (repainted) unless
// an active build window shows its own items.
void set_bottom_text(const char* text);
// The text the bottom bar shows.
const std::string& bottom_bar_text();
// Puts the bottom bar back to the active window's items after a mode had it:
// the build window's table (or the sketch's status text) when a build window
// is active, else the workbench's text.
void restore_bottom_bar();

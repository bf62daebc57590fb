// What the mouse does on a sketch view: selecting (click, Shift-click,
// rubber band with autoscroll), panning (right or Ctrl drag), zooming (Shift
// with a right or Ctrl drag), hover tips with a variable's value, units and
// comment, double clicks that make a variable the workbench variable and
// graph it, and clicks that follow an element's link.
#pragma once

#include <string>

#include "platform/win.h"
#include "sketch/sketch.h"

// The autoscroll timer of a view (50 ms while a band is dragged outside).
inline constexpr UINT_PTR autoscroll_timer = 1;
inline constexpr UINT autoscroll_ms = 50;
// Sketch units the pointer must travel from the press before a press becomes
// a drag.
inline constexpr int drag_threshold = 5;

// Button, move, double-click and autoscroll-timer messages of a view; true
// when the message was one of them (handled).
bool sketch_mouse_message(HWND view, sketch_state& s, UINT message, WPARAM wparam, LPARAM lparam);

// Ends any drag in progress (the view is going away or changing view); a
// move of the selection under way goes back where it began.
void cancel_sketch_drag();

// The position readout: with `on`, the bottom bar's status item shows
// element n's left and top edge ("%d,%d", sketch units) and the element is
// drawn pressed; off clears both. True when n is an element (kind 10 and up).
bool show_element_position(HWND view, sketch_state& s, int n, bool on);

// Clears the selection (selected bits, band, selection flag).
void clear_selection(sketch_state& s);
// Selects the elements (kind 10 and above) whose boxes overlap the rectangle
// (sketch units, any corner order) and the connectors whose arrow base lies
// in it, within the shown level; the number selected.
int select_elements(sketch_state& s, int x0, int y0, int x1, int y1);
// Selects or toggles element n with its valve-pair partner.
void set_selected(sketch_state& s, int n, bool on);

// Paints the selection highlight (inverted element boxes, small squares on
// connector arrow bases) and the rubber band over a painted view.
void paint_selection(HDC dc, const sketch_state& s);

// The hover text of element n: "= value " when the first selected run has
// one, then the comment followed by " (units)", or the units alone; "" for
// anything but a variable or when there is nothing to say.
// In Livesweep for the model simulated: a subscripted constant's text leads
// with the element its slider drives ("[north]") and that element's value;
// a variable an override holds, or one with a series (type 21 and below),
// asks for a behaviour graph of its value slot (*graph_slot; -1 none).
std::string hover_text(const sketch_state& s, int n, std::int32_t* graph_slot = nullptr);

// Follows element n's link: a view link loads that view (1); a file link
// acts on its file by kind (follow_file_link) (2);
// 0 when the element has no link (1 for an element of the shared view, which
// a press cannot select).
int follow_element_link(HWND view, sketch_state& s, int n);
// A file link's action on the file it names (relative to the model, or a
// member of the open package): a run file names the next run and simulates
// it; a model (or package, or application definition) is opened; a changes
// file is read into set-up (entered unless set-up or a game is on; Livesweep
// re-runs); a tool set replaces the palette's (or the sketch's) set; a gaming
// input file applies its changes while a game waits for its next move;
// graph-set, command and database-output definitions do nothing; anything
// else, web addresses too, goes to the desktop's "open" ("Unable to open %s"
// when that fails). Opening a model and simulating are posted to the main
// window: they run once the press that followed the link has ended.
void follow_file_link(HWND view, const std::string& named);

// Removes the private folder of package members that links opened (at
// shutdown).
void remove_link_files();

// Makes element n's variable (a flow's valve: its flow's) the workbench
// variable; true when it did.
bool make_workbench_variable(const sketch_state& s, int n);

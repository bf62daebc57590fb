// The live sketch's painting: the static diagram of a view (elements, pipes,
// arrows and names) is kept in a retained bitmap per window and redrawn only
// when something it shows changed (the view, its elements or their names, the
// zoom, the scroll, the window's size). A repaint after a Livesweep re-run
// copies it and draws only the live layer (the behaviour graphs) on top.
#pragma once

#include "platform/gdi.h"
#include "sketch/sketch.h"

// Paints s's view on dc over client as paint_sketch does, from the window's
// retained bitmap when what the view shows is unchanged.
void paint_sketch_retained(HDC dc, HWND view, const sketch_state& s, const RECT& client);

// Draws the behaviour graphs of s's view (the live layer) and remembers what
// each box was drawn from, for invalidate_live_changes.
void paint_live_graphs(HDC dc, HWND view, const sketch_state& s);

// While on, a refresh of the sketch after a Livesweep re-run may invalidate
// only the boxes whose behaviour graph changed (the quick sliders turn it on
// for the length of a re-run).
void set_live_refresh(bool on);
// Invalidates the boxes of view whose behaviour graph would be drawn
// differently now; false (nothing invalidated) when only a repaint of the
// whole window will do: no re-run under way, the diagram changed, or the
// graphs were not all drawn since they were shown.
bool invalidate_live_changes(HWND view, const sketch_state& s);

// How many times the retained bitmaps were drawn afresh (for tests and
// benchmarks: a repaint with nothing changed draws none).
long retained_sketch_redraws();

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

// Drops the retained bitmap of a window (all windows when view is null).
void forget_retained_sketch(HWND view);

// How many times the retained bitmaps were drawn afresh (for tests and
// benchmarks: a repaint with nothing changed draws none).
long retained_sketch_redraws();

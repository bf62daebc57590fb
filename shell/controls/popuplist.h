// The pop-up list: a small list box over the workbench, above the bottom bar
// where its last pressed item is, run by its own level of the main loop. A
// click outside it ends the choice with nothing chosen (the click still
// reaches its window); a button release inside it or Enter ends it with the
// selection; Esc ends it without one.
#pragma once

#include "platform/gdi.h"

// Shows `count` texts (or, with `bitmaps`, owner-drawn bitmaps 15 pixels
// high) with `current` selected; returns the chosen index or -1 (also when no
// loop level can be had).
int popup_list(const char* const* texts, const HBITMAP* bitmaps, int count, int current);
// The list box of the pop-up list while it is up (null: none), for tests.
HWND popup_list_box();

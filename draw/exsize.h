// The export-size dialog (template 286): the size a saved or copied picture
// is drawn at, chosen as the laid-out ("Full") size, the window's size on the
// screen, or typed in inches or centimetres.
#pragma once

#include "platform/win.h"

struct export_size_request {
    double full_w = 0, full_h = 0;     // the laid-out size, in the shown unit
    double screen_w = 0, screen_h = 0; // the window's client size, in the shown unit
    bool metric = false;               // centimetres (else inches)
    int res_x = 96, res_y = 96;        // pixels per inch the size is made for
};

// Shows the dialog; on OK *out gets the size in pixels (each side 1..32767:
// zero, negative, unreadable or larger sizes are refused with "Bad number %s
// for width" / "for height" and the dialog stays open). 1 on OK, 0 on Cancel.
int ask_export_size(HWND owner, const export_size_request& request, SIZE* out);
// The pixels of a typed side: 0 when the text is not a number or the size
// is not 1..32767 pixels.
int export_side_pixels(const char* text, bool metric, int pixels_per_inch);

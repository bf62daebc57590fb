// The "Kavrel_ctext" caption window: a text drawn word-wrapped in the
// window's client rectangle with a transparent background, in the font its
// dialog gives it.
#pragma once

#include "foundation/names.h"
#include "platform/gdi.h"
#include "platform/win.h"

// The window procedure of the caption class.
LRESULT ctext_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The drawing layer's description of a platform font (face, point size on
// a 96-pixel screen, bold and italic); the default font for none.
font_spec font_spec_of(HFONT font);

// Gives the caption class its procedure (through the shell's call, shell/upcalls.h).
void install_ctext_proc();

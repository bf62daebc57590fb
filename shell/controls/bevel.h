// The bevelled button face that every bitmap button of the program is drawn
// with: the toolbar, the bottom bar, the tools palette, the caption buttons
// and the colour button all call draw_bevel_button with what the face shows.
#pragma once

#include "platform/gdi.h"

#include <cstdint>

// What a bevelled button shows on its face.
struct bevel_content {
    enum kind_t : std::uint8_t {
        none = 0,
        text = 1,       // `label`, centred and shortened to fit
        strip_cell = 2, // the cell of `bitmap` at (cell_x, cell_y), cell_w wide
        bitmap = 3,     // the whole of `bitmap`
        colour = 4,     // a swatch of `swatch` filling the face
    };
    // How much of the device context the call looks after.
    enum dc_mode_t : std::uint8_t {
        dc_as_is = 0,      // colours and background as the caller set them
        dc_colours = 1,    // the button colours are set (text and background)
        dc_clear = 2,      // ... and the face is filled first
        dc_own_memory = 3, // ... and a memory context for the bitmap is made and freed
    };
    const char* label = nullptr;
    int cell_x = 0, cell_y = 0, cell_w = 16;
    HBITMAP image = nullptr;
    COLORREF swatch = 0;
    HFONT font = nullptr;    // for text (null: the context's font)
    HDC memory_dc = nullptr; // for bitmaps when the mode is below dc_own_memory (null: made here)
    std::uint8_t inset_x = 3, inset_y = 3;
    std::uint8_t dc_mode = dc_clear;
    std::uint8_t kind = none;
};

// Draws a button at (x, y, w, h) in `dc`. state 1 pressed, 0 raised, -1 flat
// (no bevel). `measure` is the context that text is measured in (null: dc).
// Raised: white top and left edges, black bottom and right with a shadow line
// inside them; pressed: black top and left, white bottom and right, a shadow
// line inside the top and left. The content moves one pixel right and down
// while pressed. A missing bitmap leaves the face empty.
void draw_bevel_button(HDC dc, HDC measure, int x, int y, int w, int h, int state,
                       const bevel_content* content);

// The button colours: face, shadow and text, and the face and shadow brushes
// (not to be deleted).
COLORREF bevel_face_colour();
COLORREF bevel_shadow_colour();
COLORREF bevel_text_colour();
HBRUSH bevel_face_brush();
HBRUSH bevel_shadow_brush();

// The shared caption bitmap in the button colours, painted on first use and
// kept for the program's run (null when it cannot be painted).
HBITMAP caption_strip();
// A caption button (tool frames, the maximised build window's buttons on the
// menu bar): cell `cell` of the caption bitmap inset one pixel, or `letter`
// when there is no bitmap.
void draw_caption_cell(HDC dc, int x, int y, int w, int h, int state, int cell, const char* letter);

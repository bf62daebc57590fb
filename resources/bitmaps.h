// The program's button bitmaps, painted by code: the tools palette (150 and
// 166), the toolbar strip (164), the
// bottom-bar strip (165), the shared caption-button bitmap (167) and the
// small drop-down marker (151). Each is painted in the given button colours
// (face for the background, text for the outlines), so the result needs no
// recolouring for the system colours.
#pragma once

#include "platform/gdi.h"

enum : int {
    bitmap_palette = 150, // the tools palette's pictures
    bitmap_dropdown = 151,
    bitmap_sketch_tools = 166, // the second tool set's pictures (the same)
    bitmap_toolbar = 164,
    bitmap_bottom_bar = 165,
    bitmap_caption = 167,
};

// Cell widths of the strips: the toolbar's images are 16 pixels apart, the
// bottom bar's 12, the caption bitmap's 16.
inline constexpr int toolbar_cell_w = 16;
inline constexpr int toolbar_strip_h = 16;
inline constexpr int bottom_cell_w = 12;
inline constexpr int bottom_strip_h = 12;

// The caption bitmap's cells, 16 x 14 each: the build window's minimise,
// restore and close (0 to 2), then the tool frames' buttons.
inline constexpr int caption_cell_w = 16;
inline constexpr int caption_cell_h = 14;
enum : int {
    caption_delete = 3,
    caption_lock,
    caption_unlock,
    caption_print,
    caption_export,
    caption_save,
    caption_maximise,
    caption_restore,
    caption_close,
    caption_cells,
};

// The palette bitmaps: 160 x 60, a picture of 16 x 15 at every place a tool's
// icon names (x 0..144 by 16, y 0, 15, 30, 45).
inline constexpr int palette_bitmap_w = 160;
inline constexpr int palette_bitmap_h = 60;
inline constexpr int palette_picture_w = 16;
inline constexpr int palette_picture_h = 15;

// A new bitmap of one of the ids above (the caller deletes it); null for any
// other id.
HBITMAP paint_resource_bitmap(int id, COLORREF face, COLORREF text);

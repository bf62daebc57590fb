// The sketch's 50 pictures (resources 201 to 250, numbered 1 to 50 in a
// text element): a cloud first, then small symbols. They are drawn by code
// from outlines of our own on a 16 x 16 grid, so they stay sharp at every
// zoom and on the printer.
#pragma once

#include "platform/gdi.h"

inline constexpr int sketch_picture_count = 50;
inline constexpr int first_sketch_picture_resource = 201;
// Picture 1 is the cloud a flow comes from or goes to outside the model.
inline constexpr int sketch_picture_cloud = 1;

// The picture's own size in sketch units (pixels at 100 %); {0, 0} for a
// number outside 1 to 50.
SIZE sketch_picture_size(int n);
// Draws picture n into r (any size) in the ink colour, filling what it
// fills with `paper`; the DC's pen and brush are left as they were. False
// (nothing drawn) for a number outside 1 to 50.
bool draw_sketch_picture(HDC dc, int n, const RECT& r, COLORREF ink, COLORREF paper);

// Saving a picture: the graphics transfer text (.gtx, docs/formats/gtx.md) and
// the placeable Windows metafile (.wmf). The picture is drawn by a callback
// through the drawing layer, with `out_size` set to its size.
#pragma once

#include "platform/gdi.h"

#include <cstdint>
#include <string>
#include <vector>

// Draws the picture on the active device of the drawing layer.
using picture_drawer = void (*)(void* context);

// The largest picture side a placeable header can hold (its box is 16-bit).
inline constexpr int export_max_side = 32767;

// Writes the transfer text of the picture to `path` (through a temporary
// file, so a failure leaves no partial file and the old file in place).
// `reference` measures text (a window or printer device). 1 on success; 0
// with "Unable to open %s to transfer graphics" or "Unable to save to %s"
// (severity 8). All export state is reset either way.
int write_gtx(const char* path, SIZE size, HDC reference, picture_drawer draw, void* context);
// The transfer text itself (what write_gtx writes).
std::string gtx_text_of(SIZE size, HDC reference, picture_drawer draw, void* context);

// Writes a placeable metafile: the 22-byte header, then the metafile drawn
// with the window extent set to the picture's size. `units_per_inch` is the
// x resolution the picture was laid out at. 1 on success, 0 with "Unable to
// save to %s" (severity 8) and no file left behind.
int write_wmf(const char* path, SIZE size, HDC reference, int units_per_inch, picture_drawer draw,
              void* context);
// Puts the picture on the clipboard as an enhanced metafile described as
// "Kavrel", its frame in 0.01 mm from the resolutions the picture was laid out
// at (the platform also offers it to other programs as PNG and SVG). 1 when
// the clipboard took it; 0 with "Unable to copy to the clipboard" (severity
// 8). All export state is reset either way.
int copy_picture(HWND owner, SIZE size, HDC reference, int res_x, int res_y, picture_drawer draw,
                 void* context);

// The 22-byte placeable header: key 0x9AC6CDD7, handle 0, box (0, 0, width,
// height), units per inch, reserved 0, and the XOR of the first ten 16-bit
// words. Empty when a side is not 1..export_max_side.
std::vector<std::uint8_t> placeable_header(int width, int height, int units_per_inch);

// The layer's own line rasteriser: one-pixel solid lines written straight
// into the 32-bit pixels of an image, for the common case of graph curves and
// sketch connectors (a solid cosmetic pen, the copy mix mode). Every other
// line is drawn by the painter. See "Line rasteriser" in
// docs/design/platform.md.
#pragma once

#include "platform/gdi_impl.h"

#include <QPoint>
#include <QRect>

#include <cstdint>

namespace gdi::raster {

// 32-bit pixels to draw into (an image's scanlines).
struct Pixels {
    uchar* bits = nullptr;
    qsizetype stride = 0; // bytes per scanline
    int width = 0;
    int height = 0;
};

// Draws the line from a to b without its last pixel (b) in `colour`, only
// the pixels inside `clip` (inclusive device pixels, within the image). A
// line of no length draws nothing. The pixels are the same whichever way
// the line runs, except that the start is drawn and the end is not.
void line(const Pixels& px, QPoint a, QPoint b, std::uint32_t colour, const QRect& clip);

// Draws a line or an open polyline of one context through the rasteriser
// when its pen, mix mode and device allow it (device points, already
// mapped); false when the caller must draw it with the painter.
bool lines(Dc& d, const QPoint* pts, int n);

} // namespace gdi::raster

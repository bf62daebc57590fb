// The pictures a view carries (kind 30 bitmaps, kind 31 metafile pictures)
// are outside data: their headers are checked against the stored size before
// anything is read by them.
#pragma once

#include <cstdint>
#include <vector>

// A kind-30 picture: u32 size, then a BMP file image. What the drawing
// needs of it once checked.
struct bitmap_info {
    int width = 0;
    int height = 0; // positive; bottom_up says the row order
    bool bottom_up = true;
    int bits = 0;             // bits per pixel
    int compression = 0;      // 0 plain, 1 and 2 run-length, 3 bit fields
    int colours = 0;          // entries of the colour table
    std::uint32_t table = 0;  // offset of the colour table in the blob
    std::uint32_t pixels = 0; // offset of the bits in the blob
    std::uint32_t pixel_bytes = 0;
};
// True when the header, colour table and bits all lie inside the blob and
// agree with each other; else the element is drawn as its box only.
bool check_bitmap(const std::vector<std::uint8_t>& blob, bitmap_info* out);

// A kind-31 picture: u32 total size, then a 32-bit metafile picture header
// (mapping mode, x and y extent, unused) with the bits from byte 20, or an
// older 16-bit header with the bits from byte 12.
struct metafile_info {
    int mapping_mode = 0;
    int x_extent = 0;
    int y_extent = 0;
    std::uint32_t bits = 0; // offset of the metafile bits in the blob
    std::uint32_t bytes = 0;
};
bool check_metafile(const std::vector<std::uint8_t>& blob, metafile_info* out);

// The twelve 8 x 8 fill patterns with which monochrome output tells filled
// areas apart (bitmaps 152 to 163), drawn here as rows of ink bits.
#pragma once

#include "platform/gdi.h"

#include <cstdint>

enum : int { fill_pattern_first = 152, fill_pattern_count = 12 };

// The eight rows of pattern `id` (152..163), bit 0x80 the leftmost pixel, a
// set bit ink; null for any other id.
const std::uint8_t* fill_pattern_rows(int id);
// A new two-colour 8 x 8 bitmap of the pattern (ink black, the rest white),
// for a pattern brush: ink takes the text colour, the rest the background.
// Null for any other id. The caller deletes it.
HBITMAP load_fill_pattern(int id);

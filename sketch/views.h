// Loading a view of the model into a sketch's working copy: choosing the
// view (making one when the model has none), merging the shared view,
// checking the stored links against the equations and adding the missing
// ones, then measuring elements and connectors.
#pragma once

#include <string>

#include "sketch/sketch.h"

// Model header word mh_sketch_flags, byte 0.
enum : std::uint8_t { sk_hide_init_links = 2, sk_hide_lookups = 4, sk_hide_shadows = 64 };

// Loads view number `view` (-1: a new view) into s's working copy. step
// (-1, 0, 1) moves past unnamed slots; add_causes puts added causes one level
// above the shown level; mode 0 scrolls to the origin; keep_flags keeps the
// stored run-time flags. The view loaded, -1 when there is no model. Making a
// view adds a record to the model's view block: the model must not be locked
// then.
int load_view(sketch_state& s, int view, int step, bool add_causes, int mode, bool keep_flags);

// A cause of a variable as the view loader sees it.
struct view_cause {
    symbol_id symbol = 0;
    std::uint8_t flags = 0; // 1 not a plain reference, 2 only in an initial-value part
    bool matched = false;
};
// The causes of a variable, each once, sorted by name (case ignored, quotes
// skipped). Needs the model locked with nodes.
std::vector<view_cause> collect_causes(symbol_id symbol);

// The text of an input/output object as shown: the stored text begins with a
// symbol number and a comma; 0 gives the text after the comma, a variable of
// the model its name followed by that text. False (out untouched) when the
// number is missing or names no variable. Locks the model itself.
bool io_object_text(handle symbols, const std::string& stored, std::string* out);
// An input slider's range after the "|" of its text ("%g,%g,%g": minimum,
// maximum, step): true when it is usable (read_slider_range gives 1).
bool slider_range(const std::string& text, double* min, double* max, double* step);
// The same, telling a text without a range (0: the slider's default range
// applies) from a usable range (1) and one that cannot be used (-1, *why
// saying why: not three numbers, a limit beyond what a value holds or too
// near 0 to be kept, the minimum not below the maximum, a range too narrow
// for the digits of a value, a step too small for the range).
int read_slider_range(const std::string& text, double* min, double* max, double* step,
                      std::string* why);
// Why a slider range cannot be used as the slider's 32-bit values, "" when
// it can: every value a slider over it writes then reads back as itself.
std::string slider_range_problem(double min, double max, double step);

// The style of the first link drawn from a cause to an effect in any view of
// the model: true with its width code, colour (its own line colour or the
// view's connector colour) and mark character.
bool find_link_style(handle symbols, symbol_id cause, symbol_id effect, int* width,
                     std::uint32_t* colour, int* mark);

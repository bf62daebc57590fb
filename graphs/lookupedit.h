// The lookup editor's point table: the points of one lookup being edited
// (kept sorted by x), its reference points and plot range, read from the
// lookup's text form and from the clipboard, and changed point by point as
// the editor's graph and table change them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct lookup_points {
    std::vector<float> x, y;         // the points, x ascending
    std::vector<float> ref_x, ref_y; // the reference points
    float x_min = 0, x_max = 10, y_min = 0, y_max = 10;
    // Out-of-range sides since the last rescale: 1 left, 2 right, 4 below, 8 above.
    int out_of_range = 0;
    int count() const { return static_cast<int>(x.size()); }
};

// Reads the right-hand side of a lookup's equation after its first '(': a
// range "[(x0,y0)-(x1,y1)" with optional reference points, then "]," and the
// points "(x,y),(x,y)..."; the points alone; or plain numbers (the first half
// x values, the second half y values). With record points (rx, ry, n >= 0)
// those replace the points of the text, which then gives only the range and
// the reference. Without a range given whole, the range is rounded from the
// points; with no points at all it is (0,0)-(10,10).
lookup_points parse_lookup_text(const char* text, const float* rx = nullptr,
                                const float* ry = nullptr, int record_count = -1);

// What the clipboard's text holds for a paste.
struct lookup_paste {
    enum kind_t { none, pairs, rows, y_only } kind = none;
    std::vector<float> x, y; // pairs and rows; y_only: y
    std::string message;     // why it was refused (kind none)
};
// Reads pasted text: a first line that does not start with a sign, a point
// or a digit is a heading (and then each row's first field is its label). At
// least three lines (heading included) of exactly two numbers each are x-y
// pairs; else the first data line holds values separated by tabs or commas,
// the x values when a second line holds the y values, else y values alone.
// Rows of unequal length pair up only as far as the shorter one goes.
lookup_paste read_lookup_paste(const std::string& text);
// The table a spreadsheet puts on the clipboard as a BIFF2 worksheet
// ("Biff"), as the text a paste reads: one line per row, its cells separated
// by tabs (numbers as numbers, labels as they stand). Empty when the bytes
// are not a sound worksheet.
std::string biff_paste_text(const std::uint8_t* data, std::size_t size);
// Makes the points of a paste (y values alone: x = first + i x increment),
// sorted by x as every edit keeps them. false (points untouched) for none.
bool apply_lookup_paste(lookup_points& p, const lookup_paste& paste, float first = 0,
                        float increment = 1);

// Point operations; each returns the point's index afterwards (-1 none).
// Inserts before the first point whose x is not below x.
int insert_lookup_point(lookup_points& p, float x, float y);
// Moves point i to (x, y) with x kept between its neighbours.
int move_lookup_point(lookup_points& p, int i, float x, float y);
void delete_lookup_point(lookup_points& p, int i);
// A typed x: past a neighbour the point goes to its sorted place keeping
// its y; otherwise its x changes in place.
int set_lookup_x(lookup_points& p, int i, float x);
// Marks the sides a point lies out of.
void note_out_of_range(lookup_points& p, float x, float y);
// Rounds the range to the points: every side with `full`, else only those
// marked out of range; clears the marks.
void rescale_lookup_points(lookup_points& p, bool full);

// The clipboard text of a copy: the x values each followed by a tab, CR LF,
// then the y values each followed by a tab.
std::string lookup_clipboard_text(const lookup_points& p);

// Pixels of the plot rectangle (left, top, width, height) for a value and
// back, as the editor's graph maps them.
struct lookup_plot {
    int left = 0, top = 0, width = 1, height = 1;
    int px(const lookup_points& p, float x) const;
    int py(const lookup_points& p, float y) const;
    float vx(const lookup_points& p, int px) const;
    float vy(const lookup_points& p, int py) const;
};

// ------------------------------------------------- the lookup being edited

// A documentation text split at each backslash followed by '!' into at most
// three captions (the third keeps any further marks as they stand).
std::vector<std::string> split_lookup_captions(const std::string& documentation);
// The captions of a lookup: its documentation split as above, and its units
// text ("" when none).
struct lookup_captions {
    std::vector<std::string> parts;
    std::string units;
};
lookup_captions lookup_captions_of(const char* name);

// The lookup slot of a lookup's name ("name" or "name[element]"); -1 after
// "Lost Lookup %s" when the name is not a lookup of the current model.
int lookup_slot_of(const char* name);
// The text of a lookup's equation after its first '(', as the editor reads
// it: the equation as typed (with its declared range and reference points)
// when the model keeps it, else written from the expression. "" when the
// slot is not a lookup; "GT1142" when its equation is missing.
std::string lookup_equation_text(int slot);
// The points the next run uses: those of the Simulation Setup working copy
// (made when missing), never the model's own table. false when there is no
// copy or no such slot.
bool working_lookup_points(int slot, lookup_points* out);
// The points of the model's own table (without the working changes); false
// when the slot is not one of the model's lookups.
bool model_lookup_points(int slot, lookup_points* out);
// While Livesweep is on and there are at least 2 points: writes them into
// the working copy and asks for a re-run, as a dragged slider does. true when
// a re-run was asked for.
bool push_lookup_live(int slot, const lookup_points& p);
// Takes the points over for the next runs (the working copy; the model's
// table stays) and, while Livesweep is on, asks for a re-run. Fewer than 2
// points: "You must have at least 2 points for a lookup" and 0.
int commit_lookup_points(int slot, const lookup_points& p);

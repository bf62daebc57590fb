// The grid window's core: rows of a label and cells, the cell kinds and their
// texts, and the export of the rows as tab-separated text and as a BIFF2
// worksheet (the "Biff" clipboard format), with a checker that reads such a
// worksheet back. Windowless: the grid window draws and copies these rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Rows of run i (from 0) carry the colour mark (i mod 12) + 1, one of the 12
// run colours; colour escapes in labels use the character '0' + (i mod 12).
inline int run_colour_mark(int run) {
    return run % 12 + 1;
}
inline char run_colour_char(int run) {
    return static_cast<char>('0' + run % 12);
}

// Cell kinds.
enum grid_cell_kind : int {
    cell_number = 0,     // "%g" (decimal comma when that option is on)
    cell_display = 1,    // the display form of numbers
    cell_short_text = 2, // a short text ("--" for a missing value)
    cell_integer = 3,    // "%d"
    cell_text = 4,       // a text
    cell_formatted = 5,  // the row's number format (format_number_fmt)
};

struct grid_cell {
    int kind = cell_number;
    float value = 0;  // number kinds
    int integer = 0;  // cell_integer
    std::string text; // text kinds
};

struct grid_row {
    std::string label; // tab-separated fields; "\c\" after a tab sets colour c
    bool has_cells = false;
    std::vector<grid_cell> cells;
    std::string format; // number format of cell_formatted cells
    int colour = 0;     // 1-12 a run colour, 0 the default text colour
};

// The rows of one grid.
struct grid_rows {
    std::vector<grid_row> rows;
    int max_cells = 0;           // the largest cell count of any row
    bool columns_layout = false; // one row per column instead of one per line
};

// Appends a row (spread_add_row's rules): texts given make text cells;
// otherwise the cells are numbers of kind 5 with a non-empty format, else
// kind 1 with as_display, else kind 0. With values, indices and mode other
// than 1 an index other than -1 makes an integer cell showing the index and
// -1 a number cell with the value at that position; otherwise cell i takes
// values[indices[i]] (values[i] without indices), and an index of -1 or an NA
// value gives the short text "--". count 0 with neither texts nor values:
// a row of the label alone. Returns the row count.
int grid_add_row(grid_rows& grid, const char* label, const char* const* texts, const float* values,
                 const int* indices, int count, bool as_display, const char* format, int mode,
                 int colour);

// The text a cell shows ("--" for an NA number). exact: a plain or
// display-form number in six significant digits only where they read back as
// its value, else in as many as that takes (the text copies and saves; the
// window shows six).
std::string grid_cell_text(const grid_row& row, const grid_cell& cell, bool exact = false);
// A number's text made to fit a column (fits says whether a text does): the
// same number with fewer significant digits, rounded, in the exponent form;
// else "#" marks. Never cut into another number ("-1.25e+30" is never
// "-1.25e+3"). A text that is no number is cut.
std::string fit_number_text(const std::string& text,
                            const std::function<bool(const std::string&)>& fits);

// The label's fields: split at tabs, a colour escape after a tab dropped.
std::vector<std::string> grid_label_fields(const std::string& label);

// The grid as lines of fields, as both exports lay it out: lines layout, per
// row its label fields then its cells; transposed, a line of the labels'
// first fields, then line k holds for each row its k-th cell, or for a row
// without cells its label's field k + 1 (empty when absent), while any row
// gives something.
struct grid_field {
    bool number = false; // a number cell (NUMBER in BIFF2 unless NA)
    double value = 0;
    std::string text; // as shown
};
// number_texts false leaves the texts of number fields empty.
std::vector<std::vector<grid_field>> grid_lines(const grid_rows& grid, bool number_texts = true);

// Tab-separated text: each field followed by a tab, each line by line_end
// ("\n" for files, "\r\n" for the clipboard). "" without rows.
std::string grid_export_text(const grid_rows& grid, const char* line_end);

// The grid as an HTML table for spreadsheet programs: the lines above, one
// table row each, every field a cell (numbers with every digit they need, a
// missing value an empty cell, texts escaped). "" without rows.
std::string grid_export_html(const grid_rows& grid);

// A BIFF2 worksheet of the grid: BOF, DIMENSIONS (rows and columns of the
// lines above), one NUMBER per number field that is not NA and one LABEL per
// non-empty text field (cut at 255 bytes), EOF. A BIFF2 sheet holds at most
// 256 columns and 16,384 rows: the fields beyond are left out and the copy
// says so (severity 6). Empty without rows.
inline constexpr int biff_max_columns = 256;
inline constexpr int biff_max_rows = 16384;
std::vector<std::uint8_t> grid_export_biff(const grid_rows& grid);

// Reads a BIFF2 worksheet back and checks every record: BOF first, a
// DIMENSIONS record, NUMBER and LABEL records of the right lengths inside the
// dimensions, EOF last with nothing after it. The cells read go to cells
// (NUMBER texts as %.17g, LABEL texts as UTF-8 from the CODEPAGE record's
// page, 1252 without one; code_page gets it). False with the reason in why
// on the first fault.
struct biff_cell {
    int row = 0, column = 0;
    bool number = false;
    double value = 0;
    std::string text;
};
bool check_biff2(const std::uint8_t* data, std::size_t size, int* rows, int* columns,
                 std::vector<biff_cell>* cells, std::string* why, int* code_page = nullptr);

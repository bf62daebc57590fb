// The option block and its settings rows: the user's lasting preferences
// (print options, spreadsheet letters, window placements, dialog fonts, the
// tool font face, colour modes, window-ordering flags) kept in one block and
// saved in the settings file as one key per row, plus the sixteen custom
// colours and the window-position values of the floating windows.
//
// Everything here works on the settings table of foundation/ini.h alone (no
// window), so the readers can be driven with any text.
#pragma once

#include "foundation/names.h"

#include <cstdint>
#include <string>

// The option block. Defaults are those of a fresh start.
struct opt_block {
    std::uint8_t print_date = 1;      // print time and date at the bottom left
    std::uint8_t orientation = 0;     // 0 best choice, 1 landscape, 2 portrait
    std::uint8_t info_corner = 0;     // print info at the corner of 0 the graph, 1 the page
    std::uint8_t sizing = 0;          // sz_* bits
    std::uint8_t print_selection = 0; // 0 all, 1 selection, 2 multiple; not saved
    // Text windows print all their lines even with a selection, unless the
    // print options ask for the selection; clear (the default): a selection
    // prints only the lines it touches. Not saved.
    std::uint8_t print_all_text = 0;
    std::int32_t print_percent = 100;    // "Print at" percentage
    std::uint8_t sketch_positioning = 2; // 0 no pagemarks, 1 pagemarks, 2 autocenter
    char r1c1_row = 'R';                 // spreadsheet R1C1 letters
    char r1c1_col = 'C';
    std::uint8_t r1c1_star = 0; // the row letter was given with a '*': DDE only
    float print_width = 10.0f;  // inches
    float print_height = 10.0f;
    std::string print_comment;                // printed at the bottom left
    std::string printer_name;                 // "" the system's default printer
    std::string title;                        // the print title; not saved
    std::int32_t err_dim[4] = {0, 0, 0, 0};   // history and error-log window x, y, w, h
    std::int32_t sel_dim[4] = {0, 0, 0, 0};   // selection history window
    std::int32_t var_dim[4] = {0, 0, 0, 0};   // variable selection dialog
    font_spec fonts[4];                       // of_compressed .. of_bottom_menu
    char tool_face[32] = "Times New Roman";   // face of every tool-output font
    std::uint8_t colour_modes[3] = {0, 0, 0}; // display, print, clipboard (cm_* bits)
    std::uint8_t refresh_sketches = 0;
    std::uint8_t far_east_case = 0;
    std::string addin_name; // read, never written
    std::uint32_t custom_colours[16];
    // Sizes shown in centimetres (from the locale's measurement system).
    std::uint8_t metric = 0;

    opt_block();
};

// The program's option block.
extern opt_block opts;

// Indexes of opt_block::fonts.
enum : int { of_compressed = 0, of_normal = 1, of_equation = 2, of_bottom_menu = 3 };
// Sizing bits.
enum : std::uint8_t {
    sz_width = 1,
    sz_height = 2,
    sz_fit_view = 4,
    sz_fill_page = 8,
    sz_percent = 16,
};
// Colour-mode bits: the low two bits choose colour (1), monochrome (2) or the
// device's own (0); 8 only solid lines; 0xC0 line markers on graph lines.
enum : std::uint8_t {
    cm_colour = 1,
    cm_mono = 2,
    cm_kind = 3,
    cm_solid = 8,
    cm_markers = 0xC0,
};
// The grey a custom colour shows until the user sets it.
inline constexpr std::uint32_t custom_colour_unset = 0x00C0C0C0;

// Field types of a settings row.
enum : int {
    rt_int = 0,
    rt_byte = 1,
    rt_long = 2,
    rt_str31 = 3,
    rt_float = 4,
    rt_text = 5,     // a text of any length
    rt_app_text = 6, // a text kept with the program's strings
    rt_font = 7,
};

// One settings row: a key and up to four fields of one type (null: a place
// that is neither written nor read).
struct settings_row {
    int type;
    const char* key;
    void* fields[4];
};

// The saved rows, in order, for the block `o` and the window option byte
// `window_flags`; count: 13. The row after them ("FragmentAddIn") is read but
// never written: extra_settings_row.
const settings_row* settings_rows(opt_block& o, std::uint8_t& window_flags, int* count);
settings_row extra_settings_row(opt_block& o);

// The value text of a row ("1,0,0," for the default print options).
std::string settings_row_value(const settings_row& row);
// Reads one row's value text into its fields: each field scanned in turn,
// the text moved past the next comma after each, the row ending where there
// is none. A field that does not scan keeps its value. True when every field
// scanned whole (nothing but blanks after its number) and none was missing.
bool read_settings_row(const settings_row& row, const char* value);

// Reads every row (and the extra row) whose key the settings table holds into
// `o` and `window_flags`. Settings stay forgiving: a row that does not read
// whole keeps what it could read, and is reported (report_unread_setting).
void read_settings(opt_block& o, std::uint8_t& window_flags);
// Reports a setting whose value does not read, as a warning (the error log,
// never a box), once for each key and value however often it is read.
void report_unread_setting(const char* key, const char* value);
// Forgets which settings were reported, so that the next read reports afresh.
void forget_reported_settings();
// Sets every saved row's key in the settings table.
void put_settings_rows(opt_block& o, std::uint8_t window_flags);

// The custom colours: "CustomColor 0" to "CustomColor15", each a colour text;
// a value that does not read as a colour keeps the default (and is reported).
std::string custom_colour_key(int i);
void read_custom_colours(opt_block& o);
void put_custom_colours(const opt_block& o);

// The default fonts: compressed "Small Fonts" 7 points, the others
// "MS Sans Serif" 9 points.
void default_option_fonts(opt_block& o);

// A window-position value "v-x=X,y=Y,w=W,h=H" (v visible 1 or 0; x and y in
// the parent's client area).
struct window_place {
    int visible = 0;
    int x = 0, y = 0, w = 0, h = 0;
};
// Reads a window-position value: true when it yields all five numbers.
bool parse_window_place(const char* value, window_place* out);
std::string window_place_text(const window_place& p);

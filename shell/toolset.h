// Tool sets: the analysis-tool table, the record of one configured tool, the
// text form of option blocks and the tool set file (.kts) with its built-in
// default, read into the palette grid. The palette window that shows and runs
// the tools is shell/palette.h; each tool kind's options and action belong to
// its owner, which installs its setup in the table at start-up.
#pragma once

#include "foundation/types.h"

#include <cstdint>
#include <string>

// ------------------------------------------------------------ tool records ---

// A tool's run function, given the tool handle.
using tool_action = void (*)(handle tool);

// The head of a configured tool, the first piece of the tool's own piece
// block (the handle names the block; its texts live in the same block). The
// option block follows the head, so a record is 44 bytes plus the options.
struct tool_record {
    std::int32_t action;      // action id (tool_action_of), 0: runs nothing
    std::int32_t aux;         // a second function word, kind-specific
    std::int32_t name;        // cell of the display name in the tool's block
    handle output;            // output record now showing this tool, 0 none
    std::int32_t text_colour; // 0x00BBGGRR, -1 the system button-text colour
    std::int32_t back_colour; // 0x00BBGGRR, -1 the system button-face colour
    std::uint32_t icon;       // picture in the palette bitmap: x low, y high
    std::int16_t rect[4];     // window x, y, width, height (0s: none)
    std::uint8_t type;        // type id of the table row
    std::uint8_t spare[3];
    std::uint32_t state; // low byte: locked; second byte non-zero: greyed
};
static_assert(sizeof(tool_record) == 44);

// Actions are kept by number in the record so the record has one layout on
// every machine; the number of a function is made on first use.
std::int32_t tool_action_id(tool_action action); // 0 for null
tool_action tool_action_of(std::int32_t id);     // null for 0 or unknown

// Locks a tool's block; the record, or null for 0 or a stale handle. Every
// lock_tool is paired with unlock_tool.
tool_record* lock_tool(handle tool);
void unlock_tool(handle tool);
// The option block of a locked record and its size in bytes.
void* tool_options(tool_record* record);
std::uint32_t tool_option_size(handle tool);
// Texts kept in the tool's block: add one (its cell), read one ("" for 0).
std::int32_t tool_add_text(handle tool, const char* text);
std::string tool_text(handle tool, std::int32_t cell);
std::string tool_name(handle tool);
// A new tool of row `row` with the given display name and option size (0: 40
// bytes), zero-filled; 0 when memory ran out. free_tool frees its block.
handle new_tool(int row, const char* display_name, int option_size);
void free_tool(handle tool);

// One field of an option block's text form; a table ends with offset -1.
// Kinds: 0 int, 1 byte, 2 float ("NA" for the missing value), 3 font_spec,
// 4 long (32-bit), 7 and above a text of at most kind - 1 characters.
struct toptset_field {
    std::int32_t offset;
    std::int32_t kind;
};
enum : std::int32_t {
    tf_int = 0,
    tf_byte = 1,
    tf_float = 2,
    tf_font = 3,
    tf_long = 4,
};

// ------------------------------------------------------- the tool table ---

// Every setup follows one protocol: setup(mode, tool, out, option text)
// returns the option block's size in bytes. Tool 0 only asks the size. Mode 0
// fills the defaults, sets the icon and action, and when `text` is given and
// read_line gives a further line, parses that line (and any lines of its own
// after it). Mode 1 with `out` appends the option line(s) that mode 0 reads.
using tool_setup_fn = int (*)(int mode, handle tool, std::string* out, const char* text);

struct analysis_tool_row {
    const char* name;    // what a tool set names (compared case-sensitively)
    std::uint8_t type;   // copied into every tool made from the row
    tool_setup_fn setup; // the owner's, installed at start-up
};
inline constexpr int analysis_tool_count = 13;
// The thirteen rows in their fixed order: Tree Diagram, Outline, Loops,
// Document, Table, Stats, Graph, Strip Graph, Bar Graph, Sensitivity Graph,
// Gantt, Units Check, Runs Compare.
extern analysis_tool_row analysis_tool_table[analysis_tool_count];
// The row of a name, -1 none.
int find_tool_row(const char* name);
// Stand-in setups of the analysis-tool rows, for as long as their owners (the
// tools, graphs and run comparison, above the shell) have not installed
// theirs: the option size, a zeroed option block, the icon, and the option
// line(s) read and kept (with the field table where the shell knows it, else
// as the line's text) so a tool set writes back as it was read; running the
// tool says it is not built. Each owner installs its own with set_tool_setup.
int seam_tree_setup(int mode, handle tool, std::string* out, const char* text);
int seam_outline_setup(int mode, handle tool, std::string* out, const char* text);
int seam_loops_setup(int mode, handle tool, std::string* out, const char* text);
int seam_document_setup(int mode, handle tool, std::string* out, const char* text);
int seam_table_setup(int mode, handle tool, std::string* out, const char* text);
int seam_stats_setup(int mode, handle tool, std::string* out, const char* text);
int seam_graph_setup(int mode, handle tool, std::string* out, const char* text);
int seam_strip_setup(int mode, handle tool, std::string* out, const char* text);
int seam_bar_setup(int mode, handle tool, std::string* out, const char* text);
int seam_sens_setup(int mode, handle tool, std::string* out, const char* text);
int seam_gantt_setup(int mode, handle tool, std::string* out, const char* text);
int seam_units_setup(int mode, handle tool, std::string* out, const char* text);
int seam_runs_compare_setup(int mode, handle tool, std::string* out, const char* text);

// The field table the stand-in of a row reads its line with (Tree Diagram,
// Outline, Document, Table); null for the others, which keep the line's text.
const toptset_field* standin_field_table(int row);

// Installs the owner's setup of a row (null puts the stand-in back).
void set_tool_setup(int row, tool_setup_fn setup);

// ------------------------------------------------------ option blocks ---

// Parses one line of comma-ended fields into the block, in table order. A
// field that does not scan (also an empty one) keeps its value; a short line
// fills the leading fields. Fields that do not fit `size` bytes are skipped.
void read_toptset(const char* text, void* block, std::uint32_t size, const toptset_field* fields);
// Appends every field in table order, each ended by ',', then "\n".
void write_toptset(std::string* out, const void* block, std::uint32_t size,
                   const toptset_field* fields);

// -------------------------------------------------------- palette grid ---

// The cells of the tools palette (and of the second, sketch tool set): rows x
// columns tool handles, row-major; a tool takes its cell and the empty one to
// its right.
struct palette_grid {
    handle cells = 0; // the cell array (rows * cols handles), 0 before a read
    int rows = 0;
    int cols = 0;
    int cur_row = 0;       // the row the palette shows and Ctrl+digit uses
    std::int32_t name = 0; // app_strings cell of the current tool set's path
    int loaded = 0;        // a read has been made since start or the last free
};
extern palette_grid palette_cells;
extern palette_grid sketch_cells;
// The tool at (row, col), 0 for an empty or outside cell.
handle grid_tool(const palette_grid& grid, int row, int col);

// The largest number of rows a tool set may grow to.
inline constexpr int toolset_max_rows = 1024;

// The built-in default set, line by line (31 lines).
extern const char* const builtin_toolset_lines[];
inline constexpr int builtin_toolset_line_count = 31;

// Reads a tool set into the grid of `kind` (0 the palette, 1 the sketch set)
// and returns the number of tools placed (0 also on failure). Null name: the
// built-in set. "": the current set again, else default.kts beside the
// program, else the built-in set. Another name: that file. The set is read
// whole before it replaces the grid's tools: a file that cannot be opened, is
// not a tool set or holds no tool is refused with a message saying why, and
// the grid keeps its tools. A file that ends early (cut short) is taken with
// the tools read, and a message says so.
int read_toolset(const char* name, int kind);
// Frees every tool of grid 0 (palette) or 1 (sketch), empties its cells and
// forgets the current tool set name.
void free_toolset(int which);
// After a model opened: when it came from a package (.kpm, .kpa), the
// package's tool set member (its first .kts) replaces the palette's set, or
// the built-in set when it has none. -1 when the model is not a package's.
int read_package_toolset(const char* model_path);
// Whether the palette grid holds a read tool set.
bool toolset_loaded();
// Writes the palette grid (kind 0) or the sketch grid (1) in the tool set
// file's form, each tool with its setup's option lines.
std::string write_toolset_text(int kind);

// Repaints the palette after a read or free (installed by the palette window;
// null does nothing).
extern void (*toolset_changed_hook)(int kind);
// Told of every tool just before free_toolset frees it, so whatever keeps its
// handle (an output record showing it) forgets it. Null does nothing.
extern void (*toolset_freeing_hook)(handle tool);

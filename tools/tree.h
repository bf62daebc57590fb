// The Tree Diagram tool: the causes tree, the uses tree or both of the
// workbench variable drawn as names joined by lines in a window of its own
// ("Kavrel_tree"), at the largest of five fonts at which the tree fits; a
// click on a name makes it the workbench variable. The measuring and fitting
// are kept apart from any device so they can be tested with fixed metrics.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"
#include "platform/win.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The option block (224 bytes), the saved fields at their offsets.
struct tree_tool_options {
    std::int32_t depth;
    std::uint8_t kind; // 0 causes, 1 uses, 2 both
    std::uint8_t cause_opts[2];
    std::uint8_t show[8];
    std::uint8_t ninth_show; // not saved
    font_spec fonts[5];      // tried largest first
    std::int32_t second_depth;
    std::uint8_t link_colours;
    std::uint8_t link_widths;
    std::uint8_t link_signs;
    std::uint8_t spare;
};
static_assert(sizeof(tree_tool_options) == 224);
static_assert(offsetof(tree_tool_options, fonts) == 16);
static_assert(offsetof(tree_tool_options, second_depth) == 216);

tree_tool_options tree_defaults();

// One drawn name of the diagram. Sizes are in device units of the font
// being tried, kept in 32 bits: a tree of thousands of leaves stays right.
struct tree_draw_node {
    std::uint32_t symbol = 0;  // the variable (0 none)
    std::string name;          // as drawn; "(name)" for a repeated variable
    std::string var;           // the variable's name, for a click
    std::vector<int> children; // indices into the diagram's nodes
    int colour = -1;           // link colour, -1 the default
    int style = 1;             // link style
    char sign = 0;             // polarity character, 0 none
    bool lifted = false;       // the link skips hidden variables
    long long height = 0, name_width = 0, subtree_width = 0;
};

struct tree_diagram {
    std::vector<tree_draw_node> nodes;
    int kind = 0; // 0 causes (node 0 the root), 1 uses, 2 both (nodes 0 and 1: the two sides)
    font_spec fonts[5]{};
    std::string title;
};

// The measures of one font: average character width, line height and the
// width of a text.
struct tree_font_metrics {
    int cw = 1;
    int lh = 1;
    std::function<int(const std::string&)> width;
};

// Measures every node with the font's metrics; the needed size of the whole
// drawing goes to need_w and need_h.
void tree_measure(tree_diagram& t, const tree_font_metrics& m, long long* need_w,
                  long long* need_h);

// The first font (0 to 4) at which the scales x = out_w / needed width and
// y = out_h / needed height both reach 0.9; else font 4 with its scales.
struct tree_fit_result {
    int font = 4;
    double sx = 1, sy = 1;
    long long need_w = 0, need_h = 0;
};
tree_fit_result tree_fit(tree_diagram& t, const std::function<tree_font_metrics(int)>& metrics,
                         int out_w, int out_h);

// Builds the diagram of a variable under the options (the model locked with
// nodes). Empty nodes when the variable is not valid.
tree_diagram build_tree_diagram(std::uint32_t var, const tree_tool_options& o,
                                const std::string& tool_name);

// The look of the sketch's connector from cause to effect: its colour
// (0x00BBGGRR, -1 the default), its width code and its polarity character (0
// none). The sketch installs the hook; unset (or answering false), links are
// plain lines.
struct tree_link_look {
    int colour = -1;
    int width = 0;
    char polarity = 0;
};
extern bool (*tree_link_style_hook)(std::uint32_t cause, std::uint32_t effect, tree_link_look* out);
// The line style of a width code: 20 and above w - 19, 11 to 19 w - 10, 0 a
// plain line (1), 1 to 10 the pen style -w.
int tree_link_style(int width_code);

int tree_tool_setup(int mode, handle tool, std::string* out, const char* text);
void tree_tool_run(handle tool);

// For the tools and tests: the diagram of a tree record, its chosen font,
// and the names drawn with their rectangles at the last paint.
const tree_diagram* tree_of(handle record);
int tree_chosen_font(handle record);
struct tree_spot {
    RECT rect;
    std::string var;
};
std::vector<tree_spot> tree_spots(handle record);
// Prints a tree record on one page (never asks). 1 when printed.
int tree_print(handle record);
// The tree as text: the title, then each name on a line of its own, each
// level four blanks further in ("Causes:" and "Uses:" head the two sides of
// a tree of both).
std::string tree_text(const tree_diagram& t);
// Export (Ctrl+C): the picture at the window's size on the clipboard (an
// enhanced metafile, offered to other programs as PNG and SVG too) and the
// text beside it with Windows-style line ends. 1 when the picture was taken.
int tree_copy(handle record);
// Save: by the name's ending, the text (.txt) or a placeable metafile (any
// other). 1 when written; a failure says why (severity 8).
int tree_save(handle record, const char* path);

// Registers the window class and installs the tool's setup.
void install_tree_tool();

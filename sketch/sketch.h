// The sketch's working copy of one view: typed element records built from the
// stored view and element records that the model store reads (view_rec in
// model/modelfile.h; the byte layout in docs/formats/model-file.md), the
// window-independent state of a sketch, and the operations that add elements.
//
// The stored records stay the model's: the sketch never writes them. The
// working copy holds each element as a typed record in a vector (element 0
// unused), so no pointer into it moves when an allocation elsewhere moves a
// model block; the model itself is read under model_lock_guard.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/modelfile.h"

struct sketch_point {
    std::int16_t x = 0;
    std::int16_t y = 0;
};

// Run-time flags (byte 3 of every record). ef_io_window: an input or output
// object whose own window stands on the view (elsewhere its stand-in is drawn).
enum : std::uint8_t { ef_selected = 1, ef_shared = 2, ef_io_window = 4 };
// Element flag byte (byte 17).
enum : std::uint8_t {
    ef_primary = 1,
    ef_tail_ok = 2, // may be the tail of a connector to a non-variable element
    ef_has_text = 4,
    ef_io_object = 8,
    ef_slider_sized = 16,
    ef_no_label = 64,
};
// Shape byte (byte 16) and level byte (byte 18).
enum : std::uint8_t { shape_mask = 31, shape_pair = 32, shape_auto = 64 };
enum : std::uint8_t { level_mask = 31, level_hidden = 64 };
inline constexpr int max_level = 17;
// Connector path byte (byte 8) and decoration byte (byte 14).
// Bit 6 anchors the mark at the arrowhead's base; the view loader sets it on
// the connectors it adds for a missing cause (deco_added).
enum : std::uint8_t {
    deco_delay = 1,
    deco_label_at_head = 64,
    deco_added = 64,
    deco_other_side = 128
};
enum : std::uint8_t {
    path_straight = 0,
    path_arc = 1,
    path_polyline = 3,
    path_orthogonal = 4,
    path_no_arrow = 32,
    path_mask = 0x9F,
};

// The most elements a view can hold (element numbers are 16-bit) and the
// index size past which growing it warns.
inline constexpr int max_view_elements = 65535;
inline constexpr int index_warning_cells = 60000;

// One element of the working copy. Elements (kind 10 and above) use the
// element fields; connectors (kind 1) the connector fields and the computed
// geometry; level and style serve both (bytes 18 and 19 of an element, 9 and
// 12 of a connector).
struct sketch_elem {
    std::int8_t kind = ek_deleted;
    std::uint8_t runtime = 0;
    std::uint8_t level = 0;
    std::uint8_t style = 0;
    font_spec font{}; // own text colour, size, style and face

    // Elements.
    std::uint32_t payload = 0;
    std::int16_t x = 0, y = 0, w = 0, h = 0;
    std::uint8_t shape = 0;
    std::uint8_t flags = 0;
    std::uint8_t label = 255;
    std::int8_t line_width = 0;
    std::uint8_t link_lo = 0, link_hi = 0;
    std::uint32_t own_outline = 0, own_fill = 0;
    std::string text;
    std::vector<std::uint8_t> blob; // the element's own copy of its picture or attached block

    // Connectors.
    std::uint16_t tail = 0, head = 0;
    std::uint8_t path = 0;
    std::uint8_t mark = 0;
    std::int8_t width_code = 0;
    std::uint8_t decoration = 0;
    std::uint8_t init_link = 0;
    std::vector<sketch_point> points;
    std::uint32_t line_colour = 0;

    // Computed connector geometry.
    float arrow_x = 0, arrow_y = 0;
    std::int32_t arc_left = 0, arc_top = 0, arc_width = 0, arc_height = 0;
    std::int32_t start_x = 0, start_y = 0;
    std::int32_t sweep = 0; // 1, 0, or -1 for the long way round
    std::int16_t end_x = 0, end_y = 0;

    int shape_code() const { return shape & shape_mask; }
    int path_type() const { return path & path_mask; }
    bool primary() const { return (flags & ef_primary) != 0; }
    bool hidden() const { return (level & level_hidden) != 0; }
    int level_value() const { return level & level_mask; }
    bool shared() const { return (runtime & ef_shared) != 0; }
    bool is_valve_pair() const { return kind == ek_valve && (shape & shape_pair); }
};

// The working view: the view record (its count and capacity are the working
// ones; its handles are unused) and the elements, element 0 unused.
struct working_view {
    view_rec rec{};
    std::vector<sketch_elem> elems = std::vector<sketch_elem>(1);
    int count() const { return static_cast<int>(elems.size()); }
};

// The default look of a view whose stored font face is empty.
void set_view_defaults(view_rec& rec);

// One step of the working copy's undo list: where the elements it touched
// stood before and after (element centres; connector points).
struct sketch_place {
    int n = 0;
    std::int16_t x = 0, y = 0;
    std::vector<sketch_point> points;
};
struct sketch_undo_step {
    int type = 0; // an entry of the undo names (1: a move)
    std::vector<sketch_place> before, after;
};

// The parts of a sketch window's state that do not need the window.
struct sketch_state {
    handle header = 0;  // the model's header block
    handle symbols = 0; // the model's symbol block (0: a sketch without a model)
    working_view view;
    int current_view = -1;
    std::uint16_t hover = 0; // element under the mouse
    std::uint16_t last_selected = 0;
    std::uint16_t handles = 0; // element showing its resize handles
    std::int32_t mode = 0;     // 0 normal, 14 simulation set-up, 24 connector reshaping
    std::int32_t min_x = 30000, min_y = 30000, max_x = -30000, max_y = -30000;
    std::int32_t scroll_x = 0, scroll_y = 0;
    std::int32_t drag_right = 0, drag_bottom = 0, drag_left = 0, drag_top = 0;
    std::int32_t grab = 0; // grab code of the last hit
    std::int32_t zoom = 100;
    std::int8_t shown_level = max_level;
    bool fit = false;
    bool layout_changed = false;
    bool loading = false;
    std::uint8_t io_state = 0; // 0 none, 1 present but not shown, 2 shown
    // Mouse work: the last press (sketch units), the selection (1 active, 2
    // just made by a click) and the rubber band (sketch units, corners in the
    // order they were dragged).
    std::int32_t press_x = 0, press_y = 0;
    std::uint8_t selection = 0;
    bool band_shown = false;
    std::int32_t band_x0 = 0, band_y0 = 0, band_x1 = 0, band_y1 = 0;
    // The working copy's undo list (dropped with the working copy) and how
    // many of its steps are done.
    std::vector<sketch_undo_step> undo;
    std::size_t undo_done = 0;
    // The element whose position the bottom bar shows (0: none).
    std::uint16_t readout = 0;
    // The bottom bar shows the selected element's own font, not the view's.
    bool bar_element_font = false;
};

// Normalises a stored level byte: bits 0-4 limited to 17, the hidden bit kept.
std::uint8_t normalise_level(std::uint8_t stored);

// Makes room for needed more elements: the capacity grows by needed + 20 with
// a warning past 60,000 cells. Refuses (severity 8, view unchanged, false)
// when the count would pass 65,535.
bool grow_elem_index(working_view& v, int needed);

// Adds an element (kind 10 and above) at (x, y): number 0 takes a new number,
// a given number (1 to count - 1) replaces that element. Shape -1 becomes the
// default shape 8. The element number, 0 when refused.
int add_sketch_element(working_view& v, int kind, int x, int y, std::uint32_t payload, int shape,
                       int flags, int number);

// Adds (number 0) or replaces a connector from tail to head, copying the
// template's head, points, extra and text (one point at 0,0 without one);
// each point widens the view bounds. The element number, 0 when refused.
int add_link_element(sketch_state& s, int tail, int head, const sketch_elem* templ, int number,
                     bool initial);

// The primary variable element of a symbol; failing that, with allow_shadow,
// its last shadow; else 0.
int find_symbol_element(const working_view& v, symbol_id symbol, bool allow_shadow);

// Widens the drawing bounds by a box; true when they changed.
bool extend_view_bounds(sketch_state& s, int x, int y, int half_width, int half_height);

// The flow variable that a valve pair's valve stands for (n itself otherwise).
int pair_variable(const working_view& v, int n);

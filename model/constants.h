// Fixed facts of the model store: symbol types, expression node codes, built-in
// function codes, flag bits and model-header words, and the equation
// vocabulary (every built-in function with its spelling, code, argument count
// and kind), defined once here.
//
// The node codes double as the interpreter's opcodes; equation kinds share
// their numbers with the symbol types.
#pragma once

#include <cstdint>

// A symbol: the cell index of its record in the symbol block.
using symbol_id = std::uint32_t;

// ----------------------------------------------------------- symbol types ---

enum symbol_type_code : std::uint8_t {
    st_none = 0,
    st_data = 5,              // data variable (values from a data source)
    st_level = 8,             // level (stock); Time is a level with slot 0
    st_time_base = 15,        // time base
    st_aux = 17,              // auxiliary
    st_game = 19,             // game input
    st_initial = 22,          // computed once at the start
    st_constant = 23,         // constant
    st_data_constant = 24,    // constant taken from a data source
    st_lookup = 26,           // lookup (table function)
    st_string = 27,           // string variable
    st_test_input = 28,       // behaviour-test input
    st_constraint = 29,       // behaviour-test constraint
    st_element = 131,         // subscript element
    st_range = 132,           // subscript range
    st_units = 135,           // units name
    st_macro = 137,           // macro (never made by this edition; kept when read)
    st_group = 138,           // group (name begins with the group marker '.')
    st_function = 140,        // built-in function
    st_vector_function = 144, // built-in function over a subscript range
    st_deleted = 255,
};

// Types up to this one are variables drawn on the sketch (below 22) or with
// value slots (below 25).
inline constexpr int st_last_dynamic = 21;
inline constexpr int st_last_with_slots = 24;
inline constexpr int st_last_variable = 30;

// Tests over those ranges of symbol types.
// A variable of any kind (types 1 to st_last_variable).
inline constexpr bool is_variable_type(int t) {
    return t > st_none && t <= st_last_variable;
}
// A variable with value slots (levels, auxiliaries, data, initials, constants).
inline constexpr bool has_value_slots(int t) {
    return t > st_none && t <= st_last_with_slots;
}
// A variable computed during the run (drawn on the sketch as such).
inline constexpr bool is_dynamic_type(int t) {
    return t > st_none && t <= st_last_dynamic;
}
// A variable computed once at the start: initials, constants, data constants.
inline constexpr bool is_start_value_type(int t) {
    return t >= st_initial && t <= st_last_with_slots;
}

// ------------------------------------------------------------- node codes ---

enum node_code : std::uint16_t {
    // Equation kinds: the code of an equation's root node. They share the
    // numbers of the symbol types where one exists.
    nc_unparsed = 0, // an equation kept only as text (no tree)
    nc_data_eq = 5,
    nc_time_base_eq = 15,
    nc_aux_eq = 17,
    nc_game_eq = 19,
    nc_initial_eq = 22,
    nc_constant_eq = 23,
    nc_data_constant_eq = 24,
    nc_lookup_eq = 26,
    nc_string_eq = 27,
    nc_test_input_eq = 28,
    nc_constraint_eq = 29,
    nc_function_of = 77, // "A FUNCTION OF": lists causes without an expression
    nc_level_eq = 86,    // level: rate part, then initial part
    nc_range_def = 132,  // subscript range definition

    // Expression nodes.
    nc_comment = 1, // a comment; its text follows the node (like nc_literal)
    nc_add = 33,
    nc_sub = 34,
    nc_mul = 35,
    nc_div = 36,
    nc_pow = 37,
    nc_neg = 38, // unary minus
    nc_pos = 39, // unary plus
    nc_eq = 40,
    nc_ne = 41,
    nc_lt = 42,
    nc_le = 43,
    nc_gt = 44,
    nc_ge = 45,
    nc_and = 46,
    nc_or = 47,
    nc_arglist = 48, // argument list of a call; children are the arguments
    nc_not = 49,
    nc_paren = 50,     // parentheses as typed; one child
    nc_map = 78,       // subscript mapping of a range definition: children name ranges
    nc_init_mark = 87, // in an argument list: the arguments after it are the initial-value part
    nc_call = 146,     // call of a built-in: children [nc_symbol function][nc_arglist]
    nc_call_constants = 147, // call of a constants-from-source function (same shape)
    nc_call_data = 148,      // call of a data-from-source function (same shape)
    nc_ref = 149,            // plain reference to a variable; operand symbol id
    nc_symbol = 150,         // reference to a symbol that is not a plain value (function,
                             // subscript range or element, lookup used as a table)
    nc_subscripted = 151,    // subscripted reference: children [nc_ref var][subscripts...]
    nc_lookup_call = 152,    // lookup used as a function: children [nc_symbol lookup][x]
    nc_sum_sub = 153,        // subscript marked "!" (reduced by a vector function); operand range
    nc_vector_call = 159,    // call of a vector function (same shape as nc_call)
    nc_call_lookups = 161,   // call of a data-from-source function filling a lookup
    nc_number_list = 162,    // constant list: children nc_number (and nc_row_break)
    nc_row_break = 163,      // ";" between rows of a constant list
    nc_number = 166,         // operand: 32-bit float
    nc_literal = 170,        // quoted literal: operand its length; the text (NUL-ended) fills
                             // the following node slots, which the node's next skips
    nc_lookup_def = 171,     // lookup points: operand the lookup's index in the lookup list
};

// Binding strength of the operators in model text, weakest first; every
// other node binds like a primary.
enum op_precedence : std::uint8_t {
    prec_or = 1,
    prec_and = 2,
    prec_not = 3,
    prec_cmp = 4,
    prec_add = 5,
    prec_mul = 6,
    prec_unary = 7,
    prec_pow = 8,
    prec_primary = 9,
};

// What a node code is (node_info::flags).
enum node_flag : std::uint8_t {
    nf_equation_kind = 1, // the code of a root node
    nf_children = 2,      // the operand is the relative index of the first child
    nf_symbol = 4,        // the operand is a symbol id
    nf_text = 8,          // text fills the node slots after it
    nf_call = 16,         // a call of a built-in: [nc_symbol function][nc_arglist]
    nf_binary = 32,       // a binary operator: [a, b]
    nf_unary = 64,        // a unary operator: [a]
    nf_truth = 128,       // gives a truth value (comparisons and logic)
};

// One entry of the node vocabulary.
struct node_info {
    std::uint16_t code;      // node_code
    std::uint8_t flags;      // node_flag bits
    std::uint8_t precedence; // op_precedence (prec_primary for non-operators)
    const char* op;          // operator spelling ("+", ":AND:"); null for others
};

// The whole node vocabulary, and one entry by code (null when unknown).
extern const node_info node_vocabulary[];
extern const int node_vocabulary_count;
const node_info* find_node_info(int code);

// Whether a code is an equation kind (the code of a root node).
bool is_equation_kind(int code);
// Whether a node with this code holds the relative index of its first child
// in its operand (rather than a symbol id, a float or a length).
bool node_has_children(int code);
// Whether a node's operand is a symbol id.
bool node_has_symbol(int code);
// Whether a node carries text in the node slots after it (nc_literal, nc_comment).
bool node_has_text(int code);
// Whether a node is a call of a built-in, in any of its shapes (nc_call,
// nc_vector_call and the calls of outside sources).
bool node_is_call(int code);
// The code walkers dispatch on: nc_call for every call shape, else the code.
inline int node_dispatch_code(int code) {
    return node_is_call(code) ? static_cast<int>(nc_call) : code;
}
// Whether a node is a binary operator; one that gives a truth value.
bool node_is_binary(int code);
bool node_gives_truth(int code);
// The binding strength of a node in model text (prec_primary for non-operators).
int node_precedence(int code);
// The operator spelling of an operator node ("+", ":AND:", ...); null for others.
const char* node_operator_text(int code);

// ---------------------------------------------------- built-in functions ---

enum function_kind : std::uint8_t {
    fnk_math = 1,       // pure function of its arguments
    fnk_logic = 2,      // conditional
    fnk_test_input = 3, // step, pulse, ramp: functions of time
    fnk_stateful = 4,   // delays, smoothing, trend, forecast, initial, sample: keep state
    fnk_random = 5,     // random streams with seeds
    fnk_lookup = 6,     // lookup functions (first argument a lookup)
    fnk_vector = 7,     // reductions over a subscript range
    fnk_data = 8,       // data from a spreadsheet or a run file
    fnk_constants = 9,  // constants from a spreadsheet or a run file
    fnk_message = 10,   // the message function
};

// Built-in function codes (the code stored in the function's symbol record).
enum function_code : std::uint16_t {
    fn_none = 0,
    fn_abs = 1,
    fn_exp = 2,
    fn_ln = 3,
    fn_log = 4,
    fn_sqrt = 5,
    fn_sin = 6,
    fn_cos = 7,
    fn_tan = 8,
    fn_arctan = 9,
    fn_integer = 10,
    fn_modulo = 11,
    fn_power = 12,
    fn_min = 13,
    fn_max = 14,
    fn_if_then_else = 15,
    fn_safe_div = 16,
    fn_step = 20,
    fn_pulse = 21,
    fn_pulse_train = 22,
    fn_ramp = 23,
    fn_smooth = 30,
    fn_smooth_init = 31,
    fn_smooth3 = 32,
    fn_smooth3_init = 33,
    fn_delay1 = 34,
    fn_delay1_init = 35,
    fn_delay3 = 36,
    fn_delay3_init = 37,
    fn_delay_n = 38,
    fn_smooth_n = 39,
    fn_delay_fixed = 40,
    fn_trend = 41,
    fn_forecast = 42,
    fn_initial = 43,
    fn_sample_if_true = 44,
    fn_random_uniform = 50,
    fn_random_normal = 51,
    fn_random_exponential = 52,
    fn_lookup_extrapolate = 60,
    fn_lookup_invert = 61,
    fn_sum = 70,
    fn_prod = 71,
    fn_vmin = 72,
    fn_vmax = 73,
    fn_message = 80,
    // Mathematical functions added after the first model files were written:
    // a block of their own, so that no stored code changes meaning.
    fn_arcsin = 90,
    fn_arccos = 91,
    fn_sinh = 92,
    fn_cosh = 93,
    fn_tanh = 94,
    // Data and constants from outside sources. The numbers of the 1-2-3 and
    // run-file forms are fixed: the spreadsheet readers tell the source by them.
    fn_get_xls_constants = 125,
    fn_get_123_constants = 126,
    fn_get_xls_data = 127,
    fn_get_123_data = 128,
    fn_get_xls_lookups = 167,
    fn_get_123_lookups = 168,
    fn_get_kdf_constants = 174,
    fn_get_kdf_data = 175,
    fn_get_kdf_lookups = 176,
};

// The state a built-in function keeps between time steps.
enum function_state : std::uint8_t {
    fs_none = 0,         // none: a function of its arguments (and of time)
    fs_integrated = 1,   // integrated hidden states (builtin_function::states per element)
    fs_delay_object = 2, // a delay object (a queue of past inputs)
    fs_held = 3,         // a held value, set once or when sampled (and a random stream)
};

// How the units of a call follow from its arguments.
enum units_rule : std::uint8_t {
    ur_unknown = 0,        // not derived
    ur_first = 1,          // those of the first argument
    ur_same_first_two = 2, // the first two arguments agree; theirs
    ur_same_last_two = 3,  // the second and third arguments agree; theirs
    ur_dimensionless = 4,  // none
    ur_first_by_time = 5,  // the first argument's times the units of time
    ur_per_time = 6,       // one over the units of time
    ur_ratio = 7,          // the first argument's over the second's
    ur_square_root = 8,    // half the exponents of the first argument's
    ur_power = 9,          // the first argument's raised to a constant second argument
};

// Flags of a built-in function (builtin_function::flags).
enum function_flag : std::uint8_t {
    fnf_output_from_state = 1, // the value during the run comes from the state alone
    fnf_own_initial = 2,       // has an initial-value argument of its own, so its input
                               // needs no initial value at the start
};

// One entry of the vocabulary of built-in functions.
struct builtin_function {
    const char* name;   // spelling in equations (upper case, words joined by blanks)
    std::uint16_t code; // function_code
    std::int8_t min_args;
    std::int8_t max_args;
    std::int8_t text_args; // leading arguments that are texts (literals or string variables)
    std::int8_t init_from; // index of the first initial-value argument (-1: none)
    std::uint8_t kind;     // function_kind
    std::uint8_t node;     // node code of a call (nc_call, nc_vector_call, nc_call_data, ...)
    std::uint8_t state;    // function_state
    std::int8_t states;    // fs_integrated: hidden states per element (-1: the order, the
                           // fourth argument)
    std::uint8_t units;    // units_rule
    std::uint8_t flags;    // function_flag bits
};

// Whether a built-in keeps state between time steps (not allowed in test
// inputs and inside vector functions).
inline bool keeps_state(const builtin_function& f) {
    return f.state != fs_none;
}

// The whole vocabulary, in code order.
extern const builtin_function builtin_functions[];
extern const int builtin_function_count;
// By spelling (case ignored, blank and underscore equal); null when unknown.
const builtin_function* find_builtin(const char* name);
// By code; null when unknown.
const builtin_function* builtin_by_code(int code);

// ------------------------------------------------------- symbol flag bits ---

// The 16-bit flag word of a symbol record.
enum symbol_flag : std::uint16_t {
    sf_lookup_like = 0x0001, // a variable used like a lookup
    sf_changeable = 0x0002,  // may be changed for a run (constants and lookups)
    sf_mark_04 = 0x0004,     // mark of the tree and loop searches (and the Document tool)
    sf_mark_08 = 0x0008,     // mark of the loop search
    sf_mark_10 = 0x0010,     // visited mark of the cause and uses trees
    sf_mixed_types = 0x0020, // the elements have different types (per-slot type bytes)
    sf_slider = 0x0040,      // a constant with a slider
    sf_hidden_1 = 0x1000,    // hidden from the variable lists (second byte bit 16)
    sf_hidden = 0x2000,      // hidden from listings (second byte bit 32)
};

// Display hints set by the sketch (symbol record byte 63).
inline constexpr std::uint8_t hint_level_like = 8;
inline constexpr std::uint8_t hint_valve_flow = 18;

// ----------------------------------------------------- model-header words ---

// Words of the model header, which begins the symbol block at cell
// model_header_cell. Words named "handle" hold the handle of a block in memory;
// in a file they are 0 when the block is absent and non-zero when it follows.
enum model_header_word : int {
    mh_level_slots = 0,    // value slots of levels, Time's slot 0 included
    mh_delay_objects = 1,  // delay objects (set by the code generator)
    mh_string_slots = 2,   // string slots
    mh_other_slots = 3,    // the other value slots; level + other = all value slots
    mh_lookups = 4,        // lookup slots (entries of the lookup list)
    mh_lookup_list = 5,    // handle: lookup list block
    mh_equations = 6,      // handle: equation block (equation records and their nodes)
    mh_tokens = 7,         // handle: token text block (equations and units as typed)
    mh_names = 8,          // handle: name pool
    mh_dims = 9,           // handle: dimension records (and name-and-text pairs)
    mh_units = 10,         // handle: units entries
    mh_elists = 11,        // handle: element lists (may be 0)
    mh_comments = 12,      // handle: comment texts
    mh_uses = 13,          // handle: uses lists (rebuilt on load)
    mh_alpha = 14,         // handle: alphabetical index (rebuilt on load)
    mh_hash_heads = 15,    // handle: hash heads (rebuilt on load)
    mh_hash_overflow = 16, // handle: hash entries, four symbol ids and a link each
    mh_views = 17,         // handle: view block (view_rec array)
    mh_view_count = 18,    // low 16 bits: number of views
    mh_sketch_flags = 19,  // byte 0: sketch display flags; byte 1: sketch-loaded byte
    mh_lookup_data = 20,   // handle: lookup data block (floats)
    mh_settings_text = 21, // handle: the settings text (one string)
    mh_settings = 22,      // handle: the model settings record (memory only)
    mh_slot_types = 23,    // handle: one type byte per value slot (may be 0)
    mh_model_rec = 24,     // handle: the model context record (memory only)
    mh_time_symbol = 25,   // symbol id of Time
    mh_password = 26,      // handle: password record (salt and check value)
    mh_stamp = 27,         // identity stamp of the model part (CRC-32, set when written)
    mh_symbol_count = 28,  // live symbols (the entries of the alphabetical index)
    mh_hash_buckets = 29,  // hash buckets
    mh_sym_end = 30,       // first cell after the last symbol record
    mh_flags = 31,         // model flags (mfl_*)
    mh_words = 48,         // size of the header in words
};

// Model flags (header word 31).
enum : std::uint32_t {
    mfl_has_errors = 1, // the model has known errors (cannot be simulated)
    mfl_from_run = 2,   // the model part of a run file
};

// Sketch display flags (header word 19, byte 0).
enum : std::uint8_t {
    skf_hide_init_links = 2,
    skf_hide_lookups = 4,
    skf_hide_shadows = 64,
};

// Model settings flags (the settings record's flags byte).
enum : std::uint8_t {
    msf_show_notes = 1,
    msf_hide_init_causes = 2,
    msf_hide_lookups = 4,
    msf_no_livesweep_drag = 16,
    msf_far_east = 32,
    msf_hide_shadows = 64,
    msf_hard_underbar = 128,
};
// Second flags byte.
enum : std::uint8_t { msf2_disk_livesweep = 1 };

// --------------------------------------------------------- block files ---

inline constexpr std::uint8_t kmf_magic[3] = {0x7F, 0xF7, 0x17};
inline constexpr std::uint16_t kmf_byte_order_mark = 101;
inline constexpr std::uint16_t kmf_version_300 = 300;
inline constexpr std::uint16_t kmf_version_400 = 400;
inline constexpr char kmf_type_model = 'M';
inline constexpr char kmf_type_graph_set = 'G';

// The scalar dimension record lies at this cell of every dims block.
inline constexpr std::uint32_t scalar_dims = 5;
// The model header begins the symbol block here (right after the block head).
inline constexpr std::uint32_t model_header_cell = 5;
// Symbol records (16 cells each) follow the header.
inline constexpr std::uint32_t first_symbol_cell = model_header_cell + mh_words;
inline constexpr std::uint32_t symbol_cells = 16;

inline constexpr int max_dims = 8;
inline constexpr int max_selected_runs = 16;
inline constexpr int max_password_chars = 99;

// ------------------------------------------------------------ vocabulary ---

inline constexpr const char* group_keyword = ":GROUP";
// The marker line that opens a graph set embedded in the settings text.
inline constexpr const char* graph_set_marker = "///---\\\\\\";
inline constexpr char group_marker = '.';
inline constexpr const char* control_group_name = ".Control";

// ---------------------------------------------------- slot types of a run ---

// Whether a value slot's type is one computed once at the start (initial,
// constant or data constant): a run keeps one value for it, not a series.
inline constexpr bool is_constant_slot_type(int t) {
    return t >= st_initial && t <= st_data_constant;
}

// The model in memory: the symbol block with its model header and 64-byte
// symbol records, the name pool and its hash, dimension records, subscript
// ranges and element lists, units, equations (token text and expression
// trees), lookups, comments, uses lists, the settings text and the views.
//
// A model is named by two handles: its header block (the 164-byte kmf_header
// it was read with) and its symbol block. Every other block hangs off a word
// of the model header, which begins the symbol block. Records refer to each
// other by cell index (4-byte units from the start of their block) and to
// symbols by symbol_id (the cell index of the symbol record in the symbol
// block); never by pointer.
//
// Readers bracket their work with lock_model/unlock_model, which publish the
// blocks of the current model in the pointers below; the pair is never nested.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/types.h"
#include "model/constants.h"

// ------------------------------------------------------------ the records ---

// One symbol (64 bytes). Fields marked "union" mean different things by type.
struct symbol_record {
    std::uint32_t name;    // cell of the name in the name pool
    std::uint32_t eqn;     // cell of the first equation_record in the equation block (0 none)
    std::uint32_t units;   // cell of the units entry in the units block (0 none)
    std::uint32_t comment; // cell of the comment text in the comment block (0 none)
    std::uint32_t elems;   // union: range: cell of its element list; time base: offset (f32)
    std::uint32_t uses;    // cell of the uses list in the uses block (0 none)
    std::int32_t order;    // ordering word (the seventh word)
    std::int32_t slot;     // first value slot; lookups: first lookup slot; strings: first
                           // string slot; -1 none
    symbol_id group;       // owning group (0 none)
    std::uint32_t min;     // union: declared minimum (f32, NA when none); time base: scale
                           // (f32); function: code (low 16 bits), argument count (bits
                           // 16-23), leading text arguments (bits 24-31)
    std::uint32_t max;     // union: declared maximum (f32, NA); function: 1 when external
    std::uint32_t incr;    // declared increment (f32, NA or 0 when none)
    std::uint32_t pairs;   // cell of the first name-and-text pair in the dims block (0 none)
    std::uint32_t subref;  // union: element: its range; range: its parent range (subrange);
                           // variable of an array run: its time base symbol
    std::uint16_t dims;    // cell of the dim_record in the dims block (scalar_dims = scalar)
    std::uint16_t flags;   // symbol_flag bits
    std::uint16_t depth;   // search depth / running number of the Document tool
    std::uint8_t type;     // symbol_type_code
    std::uint8_t hint;     // display hint set by the sketch (hint_level_like, hint_valve_flow)
};
static_assert(sizeof(symbol_record) == 64);
static_assert(offsetof(symbol_record, order) == 24);
static_assert(offsetof(symbol_record, slot) == 28);
static_assert(offsetof(symbol_record, min) == 36);
static_assert(offsetof(symbol_record, pairs) == 48);
static_assert(offsetof(symbol_record, dims) == 56);
static_assert(offsetof(symbol_record, flags) == 58);
static_assert(offsetof(symbol_record, depth) == 60);
static_assert(offsetof(symbol_record, type) == 62);
static_assert(offsetof(symbol_record, hint) == 63);

// The words of the model header (model_header_word gives their meaning).
struct model_header {
    std::uint32_t w[mh_words];
};
static_assert(sizeof(model_header) == mh_words * 4);

// One dimension of a shape.
struct dim_entry {
    std::uint32_t count;  // elements of the dimension
    std::uint32_t stride; // value slots between neighbouring elements of it
    symbol_id range;      // the subscript range
};
static_assert(sizeof(dim_entry) == 12);

// The shape of a variable: the cell of the record is the symbol's dims field.
// Dimensions are stored last-varying-fastest: the last one has stride 1.
struct dim_record {
    std::uint32_t count; // total elements (1 for a scalar)
    std::uint32_t ndims; // 0 to max_dims
    dim_entry d[max_dims];
};
static_assert(sizeof(dim_record) == 104);

// A name-and-text pair of a symbol, chained in the dims block.
struct pair_entry {
    symbol_id symbol;
    std::uint32_t text; // cell of the text in the comment block
    std::uint32_t next; // cell of the next pair in the dims block (0 ends)
};

// An element list (element lists block): count, then the element symbols.
struct element_list {
    std::uint32_t count;
    symbol_id ids[1]; // count entries
};

// A units entry (units block): the units as typed and parsed: numerator
// names, then denominator names (symbols of type st_units).
struct units_entry {
    std::uint32_t tokens; // cell of the token text in the token block (0 none)
    std::uint32_t nnum;
    std::uint32_t nden;
    symbol_id ids[1]; // nnum + nden entries
};

// A uses list (uses block): count, then the symbols whose equations refer to
// the symbol.
struct uses_list {
    std::uint32_t count;
    symbol_id ids[1];
};

// An 8-byte node of a parsed equation. Relative indexes count nodes from this
// node; 0 means none.
struct expr_node {
    std::uint16_t code;    // node_code
    std::uint16_t next;    // relative index of the next sibling (0: last)
    std::uint32_t operand; // relative index of the first child, a symbol id, a float or a length
};
static_assert(sizeof(expr_node) == 8);

// Equation trees. Node 0 is the root; its code is the equation kind and its
// children are: the left-hand side, then the body.
//   left-hand side: nc_ref (scalar) or nc_subscripted [nc_ref var, nc_symbol
//     per subscript (a range or an element)].
//   body by kind:
//     nc_aux_eq, nc_data_eq, nc_initial_eq, nc_constant_eq, nc_game_eq,
//     nc_test_input_eq, nc_constraint_eq, nc_time_base_eq, nc_data_constant_eq:
//       one expression (a constant: nc_number, or nc_number_list for a
//       subscripted constant list, or a nc_call_constants call);
//     nc_level_eq: the rate expression, then the initial-value expression;
//     nc_lookup_eq: nc_lookup_def (operand: index in the lookup list), or a
//       nc_call_lookups call;
//     nc_string_eq: nc_literal;
//     nc_function_of: nc_ref per listed cause (none: empty);
//     nc_range_def (the left-hand side names the range): nc_symbol per element
//       or sub-range, then optionally nc_map [nc_symbol per mapped range];
//     nc_unparsed: nothing (the equation has only its token text).
//   expressions: nc_number; nc_ref; nc_subscripted; nc_paren [e];
//     binary operators [a, b]; nc_neg, nc_pos, nc_not [a];
//     nc_call / nc_vector_call / nc_call_data / nc_call_lookups /
//       nc_call_constants [nc_symbol function, nc_arglist [arguments]]; in the
//       argument list an nc_init_mark precedes the initial-value arguments of a
//       function whose builtin_function::init_from is not -1; a vector
//       function's argument uses nc_sum_sub for the reduced subscript;
//     nc_lookup_call [nc_symbol lookup variable (or nc_subscripted), x];
//     nc_literal (text arguments); nc_comment may stand anywhere in a sibling
//     list and is skipped by node_skip_comments.
// Children follow their parent in the node array; a node's next is 0 for the
// last sibling. Trees read from files are checked: every relative index
// stays inside the equation and moves forward, so no cycle is possible.
//
// The head of one equation, followed by its nodes (node 0 is the root, whose
// code is the equation kind).
struct equation_record {
    std::uint32_t next;   // cell of the variable's next equation (0: last)
    std::uint32_t tokens; // cell of the equation as typed in the token block (0 none)
    std::int32_t order;   // ordering word
    std::uint32_t code;   // handle of the compiled eq_code (0 none; never stored)
    std::uint32_t nnodes; // nodes that follow
};
static_assert(sizeof(equation_record) == 20);
inline expr_node* eq_nodes(equation_record* e) {
    return reinterpret_cast<expr_node*>(e + 1);
}

// Token text (token block): the byte count, then the bytes. A byte
// token_symbol is followed by 4 bytes (little-endian) of a symbol id and stands
// for that symbol's name; every other byte is text as typed.
struct token_text {
    std::uint32_t bytes;
    char text[1];
};
inline constexpr unsigned char token_symbol = 0x01;

// One lookup (lookup list block, entry i at cell 5 + 5 i): its points are
// npoints floats of x at cell x and of y at cell y of the lookup data block.
struct lookup_entry {
    symbol_id symbol;
    std::uint32_t element; // element offset within the lookup variable
    std::uint32_t npoints;
    std::uint32_t x;
    std::uint32_t y;
};
static_assert(sizeof(lookup_entry) == 20);
inline constexpr std::uint32_t lookup_entry_cells = 5;

// An entry of the hash overflow block: four symbol ids and a link.
struct hash_entry {
    symbol_id ids[4];
    std::uint32_t next; // cell of the next entry (0 ends)
};

// The model password record (password block, cell 5): salt and check value of
// the password; the password itself is never stored.
struct password_record {
    std::uint32_t state;      // 1: the model has a password
    std::uint32_t iterations; // rounds of the check function
    std::uint8_t salt[16];
    std::uint8_t check[32];
};
static_assert(sizeof(password_record) == 56);

// The model settings record (memory only; handle in header word 22).
struct model_settings {
    handle notes; // notes text (NUL-terminated), 0 none
    handle refs;  // reference datasets: lines "name=file"
    std::uint32_t refs_length;
    std::uint8_t has_password;  // the model has a password
    std::uint8_t password_edit; // the password may be edited (set after a correct entry)
    std::uint8_t mismatch;      // the last verification did not match
    std::uint8_t flags;         // msf_* bits
    std::uint8_t flags2;        // msf2_* bits
    std::uint8_t changed;       // notes, flags or password changed
    std::uint8_t refs_changed;
    std::uint8_t spare;
    char password[max_password_chars + 1]; // a new password, until the model is saved
    char graph_set_file[256];              // the settings line naming a graph-set file ("" none)
};

// ------------------------------------------------- the published pointers ---

// Valid only between lock_model and unlock_model (or the _alt pair).
extern std::uint32_t* model_syms;   // symbol block (cells); a symbol_id indexes it
extern model_header* model_hdr;     // the header words
extern char* model_names;           // name pool (cells as bytes)
extern std::uint32_t* model_dims;   // dims block
extern std::uint32_t* model_units;  // units block
extern std::uint32_t* model_elists; // element lists block (null when none)
extern std::uint32_t* model_uses;   // uses block
extern char* model_comments;        // comment block
extern symbol_id* model_alpha;      // alphabetical index (model_alpha_count entries)
extern int model_alpha_count;
extern std::uint32_t* model_lookups;   // lookup list block
extern float* model_lookup_data;       // lookup data block (cells as floats)
extern std::uint8_t* model_slot_types; // per-slot type bytes (null when none)
// With nodes (flag 1):
extern std::uint32_t* model_eqs; // equation block
extern char* model_tokens;       // token block

// Which handles are locked now (0 when none).
extern handle locked_model_symbols;
extern int model_lock_flag; // -1 none; else the flag of the lock in force

// The current model and the work model (the one a sketch works on).
extern handle cur_model_header;
extern handle cur_model_symbols;
extern handle work_model_header;
extern handle work_model_symbols;
// The flag given to the last lock_model_alt (readable between the _alt pair).
extern int work_model_ok;

// Accessors over the published pointers.
inline symbol_record* sym(symbol_id id) {
    return reinterpret_cast<symbol_record*>(model_syms + id);
}
inline const char* sym_name(symbol_id id) {
    return model_names + 4 * sym(id)->name;
}
inline dim_record* dims_at(std::uint32_t cell) {
    return reinterpret_cast<dim_record*>(model_dims + cell);
}
inline dim_record* sym_dims(symbol_id id) {
    return dims_at(sym(id)->dims);
}
inline equation_record* eq_at(std::uint32_t cell) {
    return reinterpret_cast<equation_record*>(model_eqs + cell);
}
inline float as_float(std::uint32_t w) {
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}
inline std::uint32_t float_bits(float f) {
    std::uint32_t w;
    std::memcpy(&w, &f, 4);
    return w;
}

// Checks a symbol id against the locked symbol block (aligned, in range, not
// deleted unless allowed).
bool valid_symbol(symbol_id id, bool allow_deleted = false);
// The element list of a range (null when it has none); its count.
const element_list* range_elements(symbol_id range);
// The units entry of a symbol (null when none).
const units_entry* sym_units(symbol_id id);
// The token text at a cell of the token block (null for 0); needs nodes locked.
const token_text* tokens_at(std::uint32_t cell);
// The comment text of a symbol ("" when none).
const char* sym_comment(symbol_id id);
// The uses list of a symbol (null when none).
const uses_list* sym_uses(symbol_id id);
// The first pair of a symbol (null when none) and the next one.
const pair_entry* sym_pairs(symbol_id id);
const pair_entry* next_pair(const pair_entry* p);
const char* pair_text(const pair_entry* p);
// Lookup entry i (null when out of range) and its points.
const lookup_entry* lookup_at(int i);
const float* lookup_x(const lookup_entry* e);
const float* lookup_y(const lookup_entry* e);
// The number of value slots (or lookup or string slots) of a symbol.
std::uint32_t sym_slot_count(symbol_id id);
// The position of an element within a range (-1 when not in it).
int element_position(symbol_id range, symbol_id element);
// The text of a literal or comment node (the bytes after the node).
const char* node_text(const expr_node* n);

// Node walking within one equation.
expr_node* node_next(expr_node* n);  // next sibling, null at the end
expr_node* node_child(expr_node* n); // first child, null when none
// The first real node of an equation: the root's first node past the
// left-hand side and comments (its body); null when none.
expr_node* node_skip(expr_node* root);
// n, or its first following sibling that is not a comment; null when none.
expr_node* node_skip_comments(expr_node* n);

// ---------------------------------------------------------------- locking ---

// Publishes the current model's blocks (with_nodes 1: also equations and
// tokens). Strictly paired with unlock_model with the same flag, never nested:
// misuse is reported at severity 10 and the state kept sane. 1 on success, 0
// when there is no model or the lock was refused.
int lock_model(int with_nodes);
int unlock_model(int with_nodes);
// The same for the work model; ok says whether the model has no errors
// (readable as work_model_ok between the pair).
int lock_model_alt(int ok);
int unlock_model_alt(int ok);

// Locks the given model's blocks for the life of the guard when no model is
// locked, or when a different one is; when that very model is locked already
// it does nothing. Used by services that must not depend on the caller's lock.
class model_lock_guard {
public:
    model_lock_guard(handle symbols, int with_nodes);
    ~model_lock_guard();
    model_lock_guard(const model_lock_guard&) = delete;
    model_lock_guard& operator=(const model_lock_guard&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
    bool took_ = false;
    int flag_ = 0;
    // State saved when another model's lock was in force.
    struct saved_state;
    saved_state* saved_ = nullptr;
};

// --------------------------------------------------------------- building ---

struct model_pair {
    handle header = 0;
    handle symbols = 0;
};

// Sets up the spellings of operators and keywords, the character classes and
// the symbol type table. Idempotent.
void init_vocabulary();
// Character classes (one byte per character).
enum : std::uint8_t {
    cc_name = 1,        // may appear in a name
    cc_break_after = 4, // a name may be broken across lines after it
    cc_digit = 8,
    cc_operator = 16,
};
extern std::uint8_t char_class[256];

// The symbol type table: 14 entries (type code, name) in the order of the
// Type list and the Document tool's kinds.
struct symbol_type_entry {
    int type;
    const char* name;
};
extern const symbol_type_entry symbol_type_table[14];
// The control variables: "Time", "TIME STEP", "SAVEPER", "INITIAL TIME", "FINAL TIME".
extern const char* const ctl_var_names[5];

// An empty model (name: the header's name field) with the ".Control" group,
// Time and the control variables INITIAL TIME, FINAL TIME, TIME STEP and
// SAVEPER (0, 100, 1, 1 unless flags ask for none: 1 = no control variables).
model_pair new_model(const char* name, int flags);
// Frees a model (header 0: only the model) with all its blocks and views.
void free_model(handle header, handle symbols);
// Frees a view block (model-header word 17) of count views with each view's
// index and element blocks and the blocks attached to its elements.
void free_view_block(handle views, std::uint32_t count);

// Building blocks for readers and builders. These work on the handles (not
// the published pointers) and may move blocks; none may be called while the
// model is locked.
symbol_id add_symbol(handle symbols, const char* name, int type);
// Adds a shape (deduplicated); the cell of its dim_record.
std::uint32_t add_dims(handle symbols, const symbol_id* ranges, int ndims);
// A range's element list.
void set_range_elements(handle symbols, symbol_id range, const symbol_id* ids, int count);
// A units entry; tokens: the cell of its token text (add_tokens) or 0.
std::uint32_t add_units(handle symbols, std::uint32_t tokens, const symbol_id* num, int nnum,
                        const symbol_id* den, int nden);
void set_comment(handle symbols, symbol_id id, const char* text);
void add_pair(handle symbols, symbol_id id, symbol_id other, const char* text);
// Token text from raw bytes (token_symbol escapes included); its cell.
std::uint32_t add_tokens(handle symbols, const char* bytes, std::uint32_t length);
// Appends an equation to the symbol's list; nodes are copied. The equation's cell.
std::uint32_t add_equation(handle symbols, symbol_id id, const expr_node* nodes,
                           std::uint32_t nnodes, std::uint32_t tokens, std::int32_t order);
// Appends a lookup entry; its index (lookup slot).
int add_lookup(handle symbols, symbol_id id, std::uint32_t element, const float* x, const float* y,
               std::uint32_t npoints);
// Sets the settings text (replacing any).
void set_settings_text(handle symbols, const char* text);
// A symbol record as a copy (the block is locked for the copy).
symbol_record get_symbol(handle symbols, symbol_id id);
void put_symbol(handle symbols, symbol_id id, const symbol_record& rec);
std::uint32_t get_header_word(handle symbols, int word);
void set_header_word(handle symbols, int word, std::uint32_t value);

// Gives every variable its value, lookup or string slots (Time slot 0, then
// levels, then the other dynamic variables, then initial values and
// constants), fills the slot counts and the per-slot type bytes.
void assign_value_slots(handle symbols);
// Rebuilds the hash, the alphabetical index and the uses lists from the
// symbols and equations.
void rebuild_indexes(handle symbols);

// ----------------------------------------------------------------- names ---

// The name hash of the symbol table: case ignored, blank and underscore
// equal, runs of blanks taken as one, leading and trailing blanks ignored.
std::uint32_t hash_name(const char* name, std::uint32_t buckets);
// The symbol id of a name in the current model, 0 when unknown. Locks the
// model's blocks itself when the caller has not.
symbol_id find_symbol(const char* name);
// The same in a given model (the model part of a run, for instance).
symbol_id find_symbol_in(handle symbols, const char* name);
// The normalised name of a typed text: surrounding blanks and quotes removed,
// underscores and runs of blanks turned into one blank; subscripts in square
// brackets kept as typed after the name. Writes at most out_size bytes;
// returns the length of the normalised name (without subscripts), 0 when none.
int scan_var_name(const char* text, char* out, std::size_t out_size);
std::string scan_var_name(const char* text);
// The name part of a typed name starting at p (blanks before it already
// skipped): the text inside double quotes when p opens a quote (the closing
// quote passed over), else everything up to the subscripts' '['. Appends it
// to raw as typed and returns where the name part ends.
const char* read_name_part(const char* p, std::string& raw);
// The alphabetical index of the locked model and its count.
const symbol_id* alpha_index(int* count);

// --------------------------------------------------------------- the model ---

// Hook of the shell: closes the windows, menus and tools of the model being
// replaced (called by close_model before the switch).
using close_model_hook_fn = void (*)(handle old_header, handle old_symbols);
void set_close_model_hook(close_model_hook_fn hook);

// Called after close_model made another model (or none) the current one, so
// that state kept per model outside the store follows the switch. A listener
// is added once (the same function again is ignored); at most
// max_switch_listeners.
using model_switched_fn = void (*)();
void on_model_switched(model_switched_fn fn);
inline constexpr int max_switch_listeners = 8;

// Makes the given model the current one (the previous one is freed unless it
// is the one given); header and symbols 0 only close. dir and name (may be
// null) are the model's directory and file name.
void close_model(handle header, handle symbols, const char* dir = nullptr,
                 const char* name = nullptr);
// Whether a model is open: read, with its context, and not the empty model.
bool model_is_open();
// The current model's file name and directory ("" when none).
const char* current_model_name();
const char* current_model_dir();

// Variable names as typed and as printed: parsing a name with its subscripts,
// finding the element and its value slot, expanding subscript ranges,
// wildcards and the subscript selection into element names, the printable
// names of symbols, elements and slots; and the checked readers of the locked
// model that every text service uses.
//
// The checked readers never trust the model: a symbol id, a cell, a count or a
// child index that points outside its block gives "none" (null, 0, "") rather
// than a read out of bounds, so a corrupt model is described badly but never
// crashes the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"

// --------------------------------------------------------- checked readers ---
// All of them read the published pointers (between lock_model and
// unlock_model) and give "none" when the model is not locked.

// The most elements (value slots) one variable may have; the model reader
// refuses larger shapes and the checked readers below treat them as corrupt.
inline constexpr std::uint32_t max_var_elements = 1u << 26;

// The cells used in a locked indexed block (0 for null).
std::uint32_t block_used_cells(const void* block);
// The stored name of a symbol; "" for a bad id or a bad name cell.
const char* safe_sym_name(symbol_id id);
// The shape of a symbol; null when its dims cell or its counts are bad.
const dim_record* safe_dims(symbol_id id);
// The element list of a range; null when none or out of the block.
const element_list* safe_range_elements(symbol_id range);
// The element at a position of a range (0 when none).
symbol_id range_element_at(symbol_id range, int position);
// The position of an element in a range, or -1 (checked version of
// element_position).
int safe_element_position(symbol_id range, symbol_id element);
// An equation record with its node count checked against the block; null
// when the cell is bad (needs the nodes locked).
equation_record* safe_equation(std::uint32_t cell);
// The first equation of a symbol and the next one (null at the end, or when a
// cell is bad). next_equation also stops after max_equations_per_symbol so a
// corrupt chain cannot loop.
equation_record* first_equation(symbol_id id);
equation_record* next_equation(equation_record* e);
inline constexpr int max_equations_per_symbol = 1 << 20;
// A token text with its byte count checked against the token block; null when
// bad or 0.
const token_text* safe_tokens(std::uint32_t cell);
// A units entry checked against the units block (cell, not symbol); null when
// bad or 0.
const units_entry* safe_units(std::uint32_t cell);
// The number of value slots of the model (levels plus the others).
std::uint32_t model_value_slots();

// A view of the nodes of one equation with every relative index checked.
struct node_view {
    expr_node* base = nullptr;
    std::uint32_t count = 0;
    // Index of the first child of node i, -1 when none or bad.
    int child(int i) const;
    // Index of the next sibling of node i, -1 when none or bad.
    int next(int i) const;
    // The text after a literal or comment node ("" when it does not fit).
    std::string text(int i) const;
    bool ok(int i) const { return base && i >= 0 && static_cast<std::uint32_t>(i) < count; }
    const expr_node& at(int i) const { return base[i]; }
};
node_view equation_nodes(equation_record* e);

// ---------------------------------------------------------- the workbench ---

// The workbench variable: the variable every analysis tool works on, with the
// subscripts chosen for it (one element or range per dimension; none: the
// subscript selection decides). Chosen by the shell; read here.
struct workbench_selection {
    symbol_id var = 0;
    symbol_id subs[max_dims] = {};
    int nsubs = 0;
};
extern workbench_selection workbench_var;

// -------------------------------------------------------- printable names ---
// Texts are returned in scratch memory, each call its own copy, so two
// results can be used in one printf.

// The printable name of a symbol (scratch): its name, quoted when model text
// needs quotes. mode 1 adds the subscripts as selected (the workbench
// variable's chosen subscripts when it is the workbench variable, else the
// subscript selection): per dimension the range when all its elements are
// selected, the element when one is, the selected elements joined by "|"
// otherwise. "error" for a bad id.
const char* varformat(symbol_id id, int mode);

// The display name of a variable (scratch): the name as stored, a group's
// without its marker; shadow 1 puts it between "<" and ">"; case_flag 1
// upper-cases it, 2 lower-cases it, 0 keeps it.
const char* format_symbol_name(const char* name, int type, int shadow, int case_flag);

// The name of one element of a variable (scratch): the name, then the element
// names of its subscripts in square brackets separated by commas
// ("Stock[north,a]"); the plain name for a scalar. An offset beyond the shape
// gives the name with "[?]".
const char* element_name(symbol_id id, std::uint32_t element);

// The element name of the number variable whose value slots hold the slot
// (offset_name), of the lookup whose lookup slots hold it, or of the string
// variable whose string slots hold it; "Unknown Symbol" when none.
const char* offset_name(std::int32_t slot);
const char* lookup_offset_name(std::int32_t slot);
const char* string_offset_name(std::int32_t slot);
// The variable and element offset of a value slot; 0 when none.
symbol_id slot_symbol(std::int32_t slot, std::uint32_t* element);

// The name of a symbol as model text writes it: quoted when it holds
// characters that a name cannot hold.
std::string model_text_name(const char* name);
// A float in its shortest text that reads back to the same float.
std::string number_model_text(float value);

// ------------------------------------------------------------ parsed names ---

// Flags of a parsed name.
enum : int {
    pn_too_many_subscripts = 1, // more than max_dims subscripts
    pn_unclosed = 2,            // "[" without "]"
    pn_empty_subscript = 4,     // "x[a,,b]" or "x[]"
    pn_trailing_text = 8,       // text after the closing "]"
};

struct parsed_name {
    std::string name;           // the variable's name (normalised unless kept)
    std::string subs[max_dims]; // the subscripts as typed (blanks trimmed)
    int nsubs = 0;
    int stop = 0;  // offset in the text where parsing stopped
    int flags = 0; // pn_ bits; 0 for a clean name
};

// Splits a typed variable name ("Stock A[north, b]", "\"odd name\"[x]") into
// a name and up to 8 subscripts. keep 1 keeps the name as typed (no blank
// and underscore normalising); lead 1 accepts a text that begins with its
// subscripts ("[a,b]", name empty). Returns 1 when there is a name (or, with
// lead, subscripts), 0 otherwise; problems are flagged in record.flags.
int parse_var_name(const char* text, parsed_name* record, int keep = 0, int lead = 0);

// The symbol type of a typed element name and its slot: the value slot for a
// number variable, the lookup slot for a lookup, the string slot for a string
// variable. 0 when the name is unknown or wrongly subscripted (wrong count, an
// element of another range, a range where one element is needed unless
// allow_ranges, which then takes the range's first element). For a variable
// of mixed element types the type is the element's own per-slot type. The
// symbol found goes to *symbol and the element offset to *element when given.
int find_var_name(const char* text, std::int32_t* slot, int allow_ranges = 0,
                  symbol_id* symbol = nullptr, std::uint32_t* element = nullptr);
int find_var_name(const parsed_name& name, std::int32_t* slot, int allow_ranges = 0,
                  symbol_id* symbol = nullptr, std::uint32_t* element = nullptr);

// The element offset named by a parsed name in the variable's shape; -1 when
// the subscripts do not fit. Ranges are allowed and give their first element.
long element_offset_of(symbol_id var, const parsed_name& name);

// Resolves a typed name with subscripts, or (typed null or "") the workbench
// variable with its selected subscripts, into the full names of its elements.
// *names (scratch) gets the count element names followed by one more text, the
// whole selection ("Stock[north,south]" for two of three elements, "Stock[region]"
// for all, "Stock" for a scalar). *prefix and *suffix (scratch, may be null
// arguments) are the texts put around an element name in titles; both are ""
// in this edition (element names are complete). Returns the element count; 0
// after "Unable to find %s in model" (severity 8) or a subscript message.
int expand_subscripted_name(const char* typed, const char** prefix, const char** suffix,
                            const char*** names, int unused1 = 0, int unused2 = 0);

// Expands a typed name with subscripts or wildcards into element names
// (scratch array in *list): "*" and "?" in the name match variables, in a
// subscript match that dimension's elements; a range gives its elements
// (mode 1: only its selected ones). A name that resolves to nothing is taken as
// it is (count 1). parsed may be null (the text is parsed then).
int expand_name_elements(const parsed_name* parsed, const char* text, const char*** list, int mode);

// The full element names of a variable under the current subscript selection
// (mode 1: every element), in a scratch array; a scalar gives its name.
// Returns the count (0 for a bad symbol).
int var_element_names(symbol_id symbol, const char*** list, int mode);
// The element offsets of the same selection (for callers that want slots).
std::vector<std::uint32_t> selected_element_offsets(symbol_id symbol, int mode);
// The whole selection of a variable as one text: the name, then per dimension
// the range when all its elements are selected, the element when one is, else
// the selected elements joined by "|" ("Stock[north|south,b]").
std::string subscript_selection_text(symbol_id symbol);

// Clears flag bits on every symbol of the current model (locks it when the
// caller has not).
void clear_var_flag(std::uint16_t bits);

// The per-slot kind bytes (one symbol type per value slot) and their count;
// null when the model has none.
const std::uint8_t* per_slot_kinds(std::uint32_t* count);
// The kind byte of one value slot, -1 when there is none.
int slot_kind(std::int32_t slot);

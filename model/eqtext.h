// Equations and names as text: printable names of symbols and elements, the
// names of value, lookup and string slots, expressions and stored token texts
// written in model-text syntax through the report writer, and the equation of
// one variable element with the list of the cause elements it names.
//
// Every function reads the published pointers of the locked model (the node
// writers need the lock with nodes). Texts are returned in scratch memory,
// each call its own copy, so two results can be used in one printf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/model.h"
#include "model/trees.h"

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

// Writes an expression in model-text syntax through the report writer
// (docprintf). Given the root of an equation (its node 0) the whole equation
// is written ("x = a + b", "Stock = INTEG(in - out, 10)", a lookup with its
// points, a range definition); given an inner node, that expression. The node
// must lie in the equation e (for bounds); while the report collects names,
// every variable named is passed to doc_collect_name.
void write_expr(equation_record* e, int node = 0);
// Writes only the right-hand side of an equation.
void write_equation_rhs(equation_record* e);
// Writes a stored token text (an equation or units as typed) through the
// report writer, each symbol escape replaced by its printable name; collects
// names like write_expr.
void write_tokens(const token_text* tokens);
void write_tokens(std::uint32_t cell);

// Writes a text through the report writer within its wrap width: whole when
// it fits from the start column; otherwise cut at the last blank or tab that
// fits, else after the last character after which a name may be broken,
// else at the first blank after; the blanks after a cut skipped; each piece
// but the last ends with a line feed (a backslash and a line feed with
// cont_flag) followed by tabs tab characters; continuation pieces count as
// starting at column 10. Registered as the report writer's wrapped writer.
void write_wrapped(int start_column, const char* text, int tabs, int cont_flag);
// Registers write_wrapped with the report writer (init_vocabulary's partner;
// idempotent).
void register_text_writers();

// Writes the right-hand side of the equation that computes a variable element
// (typed "Stock[north]") through the report; while the report collects names
// it also adds the elements the equation refers to, to the cause element list
// (sw1: also those of initial-value parts; sw2: also lookups). Returns 1 when
// written, 0 when the element or its equation is unknown. With sw1 = sw2 = -1
// it writes nothing and returns the position (from 0) of the element's
// equation in its variable's equation list, -1 when none.
int print_var_equation(const char* element, int sw1, int sw2);
// The equation of a variable that computes an element (null when none) and
// its position in the list (-1 when none).
equation_record* equation_for_element(symbol_id var, std::uint32_t element, int* position);

// The cause elements collected by print_var_equation since the list was last
// cleared, as a chain of tree nodes (symbol, element, slot), in the order
// first named, each once.
tree_node* cause_element_list();
void clear_cause_element_list();

// The elements of variable ref that a reference in the equation computing
// element `element` of `var` denotes: node is an nc_ref or nc_subscripted
// node of equation e. Appends element offsets to out (all of them when the
// subscripts cannot be matched); at most max_elements.
void referenced_elements(equation_record* e, int node, symbol_id owner, std::uint32_t element,
                         std::vector<std::uint32_t>& out, std::size_t max_elements = 1u << 20);

// Calls fn(node, variable) for every reference to a variable in the body of
// an equation (the left-hand side excluded): plain and subscripted
// references, and the lookup of a lookup call. Initial-value parts (a level's
// initial value, the arguments after an initial-value mark) are skipped unless
// init_parts; lookups named as functions are skipped unless lookups.
void for_each_reference(equation_record* e, bool init_parts, bool lookups,
                        const std::function<void(int node, symbol_id var)>& fn);

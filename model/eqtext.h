// Equations as text: expressions and stored token texts written in
// model-text syntax through the report writer, and the equation of one
// variable element with the list of the cause elements it names. The names
// the writers print come from varnames.h, the references from references.h;
// both are included here, so a text service needs this header only.
//
// Every function reads the published pointers of the locked model (the node
// writers need the lock with nodes).
#pragma once

#include <cstdint>

#include "model/model.h"
#include "model/references.h"
#include "model/trees.h"
#include "model/varnames.h"

// Writes an expression in model-text syntax through the report writer
// (docprintf). Given the root of an equation (its node 0) the whole equation
// is written ("x = a + b", "Stock = INTEG(in - out, 10)", a lookup with its
// points, a range definition); given an inner node, that expression. The node
// must lie in the equation e (for bounds); while the report collects names,
// every variable named is passed to doc_collect_name.
void write_expr(equation_record* e, int node = 0);
// An error line that names a variable is followed in the error window by
// the offending equation. The window lives above the model: it installs the
// writer here, and add_error_equation (model locked with nodes) calls it
// with the equation whose error was just reported. Without a writer nothing
// is written.
using error_equation_fn = void (*)(equation_record* e);
void set_error_equation_hook(error_equation_fn hook);
void add_error_equation(equation_record* e);

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

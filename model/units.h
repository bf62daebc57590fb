// Units as text and the units check of one equation.
//
// A units entry is the parsed form of a variable's units: numerator and
// denominator units names (symbols of type st_units), with the text as typed
// beside it. The check computes the units of an equation's right-hand side
// from the units of the variables it names and compares them with the
// variable's own.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "model/model.h"

// A label (scratch): prefix (null: none), then by mode: 0 the symbol's
// printable name followed by " (" units ")" when it has units; 1 the name
// alone; 2 the units alone (without parentheses; "" when none).
const char* name_units_label(const char* prefix, symbol_id symbol, int mode);

// The units text of a units entry (scratch; "" for 0 or a bad cell): the text
// as typed when there is one, else the parsed form.
const char* units_text(std::uint32_t units_cell);
// The parsed form as text: numerator names joined by "*" ("1" when none), then
// "/" and the denominator names, in parentheses when more than one.
std::string units_entry_text(std::uint32_t units_cell);
// Writes units_entry_text through the report writer.
void write_units(std::uint32_t units_cell);

// Units as exponents of units names (empty: dimensionless).
struct units_value {
    bool known = false;           // false: unknown (no units, or not computable)
    bool any = false;             // a number: takes the units it meets
    std::map<symbol_id, int> exp; // units name -> exponent (never 0)
};
units_value units_of_entry(std::uint32_t units_cell);
units_value units_of_symbol(symbol_id id);
units_value units_product(const units_value& a, const units_value& b, int sign_b = 1);
bool units_equal(const units_value& a, const units_value& b);
// The text of a units value ("1" dimensionless, "--** Bad Units **--" unknown).
std::string units_value_text(const units_value& u);

// Prepares the units work: finds the units of time. lock_flag 1: the caller
// has the model locked; 0: the current model is locked for the call. 1 on
// success, 0 without a model.
int init_units_check(int lock_flag);
// The text of the product of two symbols' units (scratch); "--** Bad Units **--"
// when either has none.
const char* units_product_text(symbol_id a, symbol_id b);

// Checks the units of one equation (needs the model locked with nodes): a
// level's rate must have the level's units per unit of time and its initial
// value the level's units ("Units missmatch in INTEG"); any other equation's
// right-hand side the variable's units ("Right hand and left hand units do not
// match"); both at severity 5, followed by a continuation line naming the
// variable and both units. With explain, continuation lines then name the
// terms at fault ("Term 10 * SIN(Time / 5) has units 1") or the part whose
// units cannot be told, with the variables inside it that have units. Returns
// 1 when they agree, 0 on a mismatch, -1 when the units cannot be told (a
// side without units).
int check_eq_units(equation_record* e, int explain);

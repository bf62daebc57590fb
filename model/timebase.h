// Time bases: the time axis in the units of a time base variable. A time base
// has a scale and an offset (symbol record fields min and elems): a model time
// t is t x scale + offset in the time base.
#pragma once

#include <cstddef>

#include "model/model.h"

// Converts a model time into the time basis in use (the model context's
// time-axis variable; 0 or Time: scale 1, offset 0): *value (when given) gets
// time x scale + offset, or the time itself when raw; text (when given, size
// bytes) gets the value as displayed. Returns 1; 0 after "In time_basis_label
// with no time basis" (severity 10) when there is no model context or its
// time-axis variable is not a time base (the time itself is given then).
int time_basis_label(double time, double* value, int raw, char* text, std::size_t size);

// The model time of a time-basis label (the inverse of time_basis_label); NA
// when the label is no number or there is no time basis.
double decode_string(const char* label);

// The symbol of the time basis in use: the model context's time-axis variable,
// or Time when it names none (0 without a model).
symbol_id time_basis_symbol();

// The scale and offset of a symbol that is a time base (Time and 0: 1 and 0).
// 0 when the symbol is no time base.
int time_base_scale(symbol_id id, double* scale, double* offset);

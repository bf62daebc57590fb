// The subscript selection: per subscript range of the current model, which
// element positions the tools show. It is kept in the model context
// (model_context::subscripts, an entry per range that has been changed) and
// read through these functions only.
#pragma once

#include "model/constants.h"

// The subscript selection of the context: whether an element position of a
// range is selected (all are, until changed), and changes to it.
bool subscript_selected(symbol_id range, int position);
void select_subscript(symbol_id range, int position, bool on);
// Selects exactly the elements of a range whose positions lie between first
// and last (inclusive, from 0). 1 on success, 0 for an unknown range.
int select_element_span(symbol_id range, int first, int last);

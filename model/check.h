// The model check: before a model is ordered and compiled, every variable
// must be defined (every element by exactly one equation), its equations must
// fit its type, subscripts must fit the shapes of the variables they index and
// the loops of the equation, calls must have their argument counts, and
// lookups must be well formed. Each problem is reported with the variable's
// name; the model's has-errors flag (model-header word 31) is set or cleared.
#pragma once

#include "foundation/types.h"

// Deepest expression nesting the check and the ordering follow; deeper work
// stops with "Too much recursion - unable to complete equation checking".
extern int max_check_depth;

// Checks the model. The number of problems found (0: the model may be
// simulated). The model must not be locked.
int check_model(handle symbols);

// The message of the recursion guard.
inline constexpr const char* too_much_recursion_text =
    "Too much recursion - unable to complete equation checking";

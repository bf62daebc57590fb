// The references of an equation: which equation of a variable computes an
// element, the variables its body names and the elements each reference
// denotes. These walk the nodes through the checked readers (needs the model
// locked with nodes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/model.h"

// The equation of a variable that computes an element (null when none) and
// its position in the list (-1 when none).
equation_record* equation_for_element(symbol_id var, std::uint32_t element, int* position);

// The cause elements collected by print_var_equation since the list was last
// cleared, as a chain of tree nodes (symbol, element, slot), in the order
// first named, each once.
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

// Equation ordering: the compiled units of a model are put in the order in
// which they must be evaluated in the initial pass (constants, initial values,
// the initial values of levels and every auxiliary) and in the dynamic pass
// (auxiliaries and data between the level updates), followed by the rates.
// A loop among equations of one pass (simultaneous equations) is reported
// with the variables in the loop.
#pragma once

#include <string>
#include <vector>

#include "model/codegen.h"

// A node of the ordering graph: the units it must follow.
struct order_node {
    std::vector<int> deps;
};

// Orders nodes so that each follows its dependencies (stable: otherwise in
// index order). On a loop returns false with the indexes of the nodes in the
// loop (in dependency order) in *loop; when the chain of dependencies is
// deeper than max_check_depth times 50 it reports "Too much recursion -
// unable to complete equation checking" and returns false with *loop empty.
bool order_nodes(const std::vector<order_node>& nodes, std::vector<int>& out,
                 std::vector<int>* loop);

// Fills the three order lists of a compiled program. 1 on success; 0 after a
// message per loop ("Simultaneous initial value equations: a -> b -> a" or
// "Simultaneous equations: ..."). With behaviour_tests the test inputs are
// ordered too (their own initial and dynamic lists; they may read any
// variable, and only test inputs and constraints read them); without, they
// are left out and never evaluated. The model must not be locked.
int order_program(handle symbols, sim_program& program, bool behaviour_tests = false);

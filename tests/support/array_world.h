// A model of large arrays, for measuring the engine's units of many lanes
// against the same model written by hand in C++.
//
// Over a range of `cells` elements: a stock per cell pulled toward its goal,
// the stock's ratio to the goal through a lookup per element, the total
// (SUM) and the largest stock (VMAX) over the cells, each cell's share of
// the total, a third-order smoothing (SMOOTH3) per cell of the looked-up
// effect times the share, and the flows built from them. 400 Euler steps of
// 0.25, every step saved.
//
// The constants and table points are short binary fractions, so the
// engine (numbers read as floats, computed in double, stored as floats) and
// the C++ (the same) agree to the bit, including a lookup exactly at a point
// from either segment.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tests/support/model_builder.h"

inline constexpr int array_world_steps = 400;

struct array_world {
    int cells = 0;
    // The saved variables in the order of the C++'s rows, each with its
    // element count (cells or 1).
    std::vector<std::pair<std::string, int>> saved;
    // Values in a row of the C++.
    std::size_t row_size() const;
    // The value slots of a row's values in the engine's run, in row order
    // (after b.finish()).
    std::vector<std::size_t> slots(const model_builder& b) const;
};

// Declares the model in b (not finished).
array_world build_array_world(model_builder& b, int cells);

// The same model written by hand in C++ (double between stores, floats
// stored): one run, one row of row_size() values per step replacing rows.
void array_world_cpp(int cells, std::vector<float>& rows);

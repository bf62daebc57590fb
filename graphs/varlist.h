// What the graphs of several variables share: the list of element names
// a variable, its causes or its uses give, and a run's series of an element
// with constants made into lines.
#pragma once

#include "model/model.h"

#include <cstdint>
#include <string>
#include <vector>

// The element names a graph of several variables shows for var: choice 0 the
// variable's selected elements, then the elements of its direct causes; 1
// then those of its direct uses; anything else the variable alone. The
// causes and uses are kept only where the tree kinds (levels, auxiliaries,
// data, initials, constants, lookups, test inputs, constraints) show their
// kind. Lookups go to *lookups (dropped when null); strings, test inputs,
// constraints and symbols without a value slot are never graphed. The model
// locked.
std::vector<std::string> graph_variable_list(symbol_id var, int choice,
                                             const std::uint8_t tree_kinds[9],
                                             std::vector<std::string>* lookups = nullptr);

// Every variable of the model whose kind the tree kinds show, by name, with
// its selected elements; lookups to *lookups as above. The model locked.
std::vector<std::string> all_variables_list(const std::uint8_t tree_kinds[9],
                                            std::vector<std::string>* lookups = nullptr);

// A size in millimetres from a tool set, kept to 1 mm .. 10 m.
int sane_graph_mm(int mm);

// A lookup's points in a run (x as times); the point count.
int read_lookup_points(const char* name, int run, std::vector<float>& x, std::vector<float>& y);

// The series of an element in a run against xname; a constant (or a series
// of one point) becomes a flat line from t0 to t1. The point count.
int read_series_or_constant(const char* name, const char* xname, int run, double t0, double t1,
                            std::vector<float>& values, std::vector<float>& times);

// World-size models whose sectors differ, for measuring the engine on code
// nobody tuned it to, and the same model written out in C++.
//
// A seed chooses the model. Each sector holds 10 levels, 20 auxiliaries and
// 2 lookups: ten signals (random expression trees of + - * /, MIN, MAX,
// IF THEN ELSE and lookups over the levels of any sector, the signals of
// earlier sectors and of its own, named constants and numbers of magnitudes
// from 1e-3 to 6e4, bounded at the top by a lookup or a clamp; one of them
// smoothed or delayed) and ten flows, each pulling its level toward its own
// scale times another bounded tree. Scales run from 0.008 to 8e4. 400 Euler
// steps of 0.5, every step saved.
//
// Every number is a float with a short exact decimal form, and every table
// point lies on a coarse binary grid, so the engine (which reads numbers as
// floats and computes in double) and the C++ (which computes in double from
// the same floats, the values stored as floats) agree to the bit; the
// models never leave finite numbers, nor reach subnormal ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/model_builder.h"

inline constexpr float random_world_end = 200, random_world_step = 0.5f;

struct random_world {
    // Names of the saved values in the order of the C++'s rows: every level,
    // then every auxiliary.
    std::vector<std::string> saved;
    // A C++ translation unit defining `void <function>(std::vector<float>&
    // rows)`: one run, its rows (one per step, saved.size() values each)
    // replacing those given.
    std::string cpp;
};

// Declares the model of seed and sectors in b (not finished) and writes its C++.
random_world build_random_world(model_builder& b, std::uint64_t seed, int sectors,
                                const std::string& function);

// The C++ of a fixed set of models, generated at build time and compiled
// into the library kavrel_random_worlds (tests/worlds/), which defines this.
struct random_world_cpp {
    std::uint64_t seed;
    int sectors;
    void (*run)(std::vector<float>& rows);
};
const std::vector<random_world_cpp>& random_world_cpps();

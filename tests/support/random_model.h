// Small random models for comparing the engine's roads with each other:
// constants, lookups, levels and auxiliaries over no range, one range or two
// (chunks of lanes included), built from arithmetic, comparisons and logic,
// the math built-ins, lookups, test inputs of time, smoothing, delays, held
// values and random draws, with odd time steps and start times. Auxiliaries
// read only those declared before them, so a model never holds a loop.
//
// Each model also holds twins: a call of a function that keeps state as a
// level's whole rate, and the same call through an auxiliary into a second
// level, which must agree to the bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/model_builder.h"

// Where the choices come from: a seeded stream (tests) or fuzzer bytes.
class random_source {
public:
    virtual ~random_source() = default;
    // A number in [0, n) (0 when n is 0).
    virtual std::uint32_t below(std::uint32_t n) = 0;
    bool chance(std::uint32_t percent) { return below(100) < percent; }
};

// splitmix64: the same stream for a seed on every platform.
class seeded_source : public random_source {
public:
    explicit seeded_source(std::uint64_t seed) : x_(seed) {}
    std::uint32_t below(std::uint32_t n) override;

private:
    std::uint64_t x_;
};

// Bytes taken in order; 0 once they run out.
class byte_source : public random_source {
public:
    byte_source(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
    std::uint32_t below(std::uint32_t n) override;

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

struct random_model {
    std::string text;                               // the equations, for failure messages
    std::vector<std::pair<std::string, int>> twins; // level pairs (A name, elements)
    int method = 0;                                 // an integration method to try (0-3)
};

// Declares a random model in b (not finished).
random_model build_random_model(model_builder& b, random_source& r);

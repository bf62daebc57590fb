// The record of the setup copies (see setup.h), apart from the functions
// that make and change them: the time loop reads it without depending on
// how the copies are made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/types.h"
#include "sim/simdata.h"

// The setup copies other than the values block (valid while setup_copy is
// non-zero); a run takes its changes from them through sim_options::setup.
struct setup_state {
    std::vector<float> model_values;   // the values the copy was made from
    std::vector<std::uint8_t> changed; // per value slot: 1 changed for the next run
    std::vector<lookup_table> lookups; // per lookup slot
    std::vector<float> lookup_data;    // cells of the lookup data block, head included
    std::vector<std::uint8_t> lookup_changed;
    std::vector<std::string> strings; // per string slot
    std::vector<std::uint8_t> string_changed;
    std::vector<std::vector<std::uint8_t>> delays; // saved delay objects (none: empty)
    handle symbols = 0;                            // the model the copies belong to
};

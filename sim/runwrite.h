// The run-file writer: lays out a run as docs/formats/run-file.md describes
// and writes it to a temporary file that replaces the old run file only when
// the whole file has been written (a failed write keeps the previous run).
//
// The engine fills a run_image from a finished simulation; test builders fill
// one directly to make runs of every type ('R', 'r', 'S', 's', 'P', 'p', 'A').
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/types.h"
#include "sim/simdata.h"

struct run_image {
    char type = 'R';                      // run_type_letter
    std::string origin;                   // header name field ("" : made from the model)
    handle symbols = 0;                   // the run's model part (required)
    std::string info;                     // run information text ("" : no information block)
    std::vector<std::uint8_t> slot_types; // per value slot (L + O)
    std::vector<std::uint8_t> saved;      // per value slot: 1 saved (series), 0 not
    std::vector<float> times;             // saved times (word 30)
    std::vector<float> data_times;        // data time axis (word 29); empty or times' count
    std::vector<float> rows;              // times.size() rows of slot_types.size() values
    // The rows where they already are (a finished run's output), read in place
    // of rows when set, so a large run is not copied to be written.
    const std::vector<float>* rows_in = nullptr;
    const std::vector<float>& saved_rows() const { return rows_in ? *rows_in : rows; }
    std::vector<float> constants;          // per value slot (the constants section)
    std::vector<lookup_table> lookups;     // per lookup slot
    std::vector<float> lookup_data;        // the lookup data block's cells, head included
    std::vector<std::string> strings;      // per string slot
    std::vector<std::uint8_t> run_section; // 'S': head + slots + matrix; 'P': type bytes
    std::vector<std::vector<std::uint8_t>>
        delay_states;                // per delay object: the object (empty: none)
    bool with_delay_section = false; // write the delay states (word 27) even when empty
    float payoff = 0;
    bool constants_in_table = true; // header byte 160 = 0 (upper-case types)
    bool force_32bit_counts = false;
    // 'A' runs: the master axis points and per slot its values over them (NA:
    // no value at that point; empty: not saved).
    std::uint32_t master_points = 0;
    std::vector<std::vector<float>> arrays;
};

// Writes the run file. 1 on success; 0 after a message naming the file (the
// old file, if any, is kept).
int write_run_file(const char* path, const run_image& image);

// Whether a type byte is a data variable's (saved against the data axis).
inline bool is_data_slot_type(int t) {
    return t == 5 || t == 6 || t == 12;
}

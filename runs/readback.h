// Reading runs back into a simulation: data and constants taken from a
// variable of a run file, resuming a game at a saved time, the delay states
// saved with a run, and the raw stored values of the run being played.
#pragma once

#include <cstdint>
#include <vector>

// One element of a data destination: count points of times and values.
struct run_data_block {
    float* times;
    float* values;
    std::int32_t count;
};
// Destination of a data-from-run function: one block per element.
struct run_data_dest {
    std::int32_t count;
    run_data_block** blocks;
};
// Destination of a constants-from-run function: rows x columns values.
struct run_const_dest {
    std::int32_t cols;
    std::int32_t rows;
    float** row;
};

// Fills exactly one destination from a variable of a run file. For data, a
// is a time offset and b a time scale (b > 0: every time becomes t b + a);
// for constants, a is the time at which each element's value is taken. The
// memory comes from the simulation pool (scratch memory without one).
// Returns 1, or 0 after a message (severity 5).
int get_run_data(run_data_dest* data, run_const_dest* constants, const char* file,
                 const char* variable, float a, float b);

// The values of run i at the saved time nearest to time into values, indexed
// by the open model's value slots (values must hold them all). mode 0: the
// levels; other modes: every slot (1 also sets the game's saved-time counter).
// The run's slots are used as they are only when both models have the same
// slot layout (count, element names and types); otherwise they are mapped by
// element name, and a slot that does not map refuses the resume. Returns the
// number of slots covered, or 0.
int resume_from_run(int i, std::vector<float>& values, double time, int mode);

// The delay states saved with run i, one entry per delay object (empty: none
// saved), each a delay object of 28 + 8 n bytes in this machine's order.
// Checked completely before anything is handed over. i < 0: the states read
// last time. Returns 1, or 0 when the run does not fit (another number of
// delay objects, no delay section, a capacity that disagrees, a short read).
int read_run_delays(int i, std::vector<std::vector<std::uint8_t>>& out);
// Reads them aside and, only when all are good, gives them to the engine,
// which copies them into its setup copies and live delay objects. With no
// delay objects in the open model: 1.
using delay_state_sink = int (*)(const std::vector<std::vector<std::uint8_t>>& states);
void set_delay_state_sink(delay_state_sink fn);
int load_run_delays(int i);

// While a game is on: the stored values of one value slot of run i without
// expansion (a single value for constants). Returns the count.
int read_run_var_values(int i, int slot, std::vector<float>& out);

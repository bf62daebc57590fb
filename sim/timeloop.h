// The time loop and what a run needs around it, shared by the single run
// (run.cpp) and the game (game.cpp), which advances one loop interval by
// interval.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/types.h"
#include "model/codegen.h"
#include "sim/runtypes.h"

// Restores a state byte when the run ends by any road.
struct byte_restore {
    std::uint8_t& ref;
    std::uint8_t old;
    explicit byte_restore(std::uint8_t& r) : ref(r), old(r) {}
    ~byte_restore() { ref = old; }
    byte_restore(const byte_restore&) = delete;
    byte_restore& operator=(const byte_restore&) = delete;
};

// One run of a compiled program over the interpreter's arrays (interp_begin
// done). The program, options and output must outlive the loop.
class time_loop {
public:
    time_loop(handle symbols, const sim_program& program, const sim_options& options,
              sim_output& out);
    ~time_loop();
    time_loop(const time_loop&) = delete;
    time_loop& operator=(const time_loop&) = delete;

    // The whole run: start, then every step.
    int run();
    // The initial pass and the first save; sim_done when the run may go on.
    int start();
    // Steps up to step number until (at most the last); the run's result.
    int advance(long until);
    long steps() const;
    long step_number() const;
    double time_step() const;

private:
    class impl;
    std::unique_ptr<impl> impl_;
};

// Test hook: off, every step takes the time loop's general road (overrides,
// constraints and every method), which the plain Euler road between saves
// must match to the bit.
void set_plain_steps(bool on);

// The number of whole steps of dt from t0 to t1, a step that ends within
// rounding of t1 included.
double step_count(double t0, double t1, double dt);

// Makes the run's pool when there is none; true when this call made it (and
// so release_sim_pool must free it).
bool take_sim_pool();
void release_sim_pool(bool own);

// Starts the interpreter for a run: over the lookups of the options' setup
// copies when they carry lookups that fit the program, else the model's.
bool begin_run_interp(handle symbols, const sim_program& program, const sim_options& options);

// The per-slot type bytes of the model (slots entries; zeros where the model
// has none). false when the model cannot be read (out then holds zeros).
bool model_type_bytes(handle symbols, std::uint32_t slots, std::vector<std::uint8_t>& out);

// Writes a run's results to options.run_file as an 'R' (or 'r') run. 1 on
// success; 0 after a message naming the file.
int write_results(handle symbols, const sim_program& program, const sim_options& options,
                  const sim_output& out);

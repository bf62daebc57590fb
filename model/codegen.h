// Code generation: every equation of a checked model becomes interpreter code
// (eq_code, see docs/formats/eq-code.md) for the engine's interpreter.
//
// One compiled unit per computation: a level equation gives two (its rate and
// its initial value); a call of a smoothing or delay function gives one more
// unit that computes the rates of its hidden states, and a call of any function
// that keeps state inside a level's rate or a constraint one more that
// computes its value (code_unit::hidden). The units carry what the ordering
// needs (the symbols and elements they compute and read).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/model.h"

// Opcodes that are not node codes (their numbers lie above every node code).
enum : std::uint32_t {
    op_end = 0,
    op_number_table = 162, // nc_number_list: push the lane's float from a table
    op_state_rate = 200,   // rates of a stateful call's hidden states
};

// Address forms (how a lane maps to a slot).
enum : std::uint32_t {
    addr_strided = 0, // base, stride: slot = base + stride * lane
    addr_table = 1,   // base, cell: slot = base + code[cell + lane]
};

// What a unit computes.
enum unit_kind : std::uint8_t {
    uk_value = 0,      // a value (auxiliary, constant, initial, data, ...)
    uk_level_init = 1, // the initial value of a level
    uk_level_rate = 2, // the rate of a level (target: rate_array)
    uk_state_rate = 3, // the rates of a stateful call's hidden states (no target)
    uk_constraint = 4, // a behaviour-test constraint: true (non-zero) at every step
};

// A variable read by a unit: the symbol and the element offsets read
// (empty: all), and whether the read counts in the dynamic pass (the inputs
// of smoothing and delay functions do not: their output comes from state)
// and in the initial pass.
struct unit_read {
    symbol_id sym;
    bool dynamic;
    std::vector<std::uint32_t> elements;
    // Whether the read counts in the initial pass (the input of a delay or
    // smoothing function given its own initial value does not).
    bool initial = true;
};

struct code_unit {
    symbol_id sym = 0;     // the variable computed (or the host's)
    std::uint32_t eqn = 0; // cell of its equation record
    unit_kind kind = uk_value;
    int type = 0;                       // symbol type of the variable
    std::vector<std::uint32_t> targets; // element offsets computed (lane order)
    std::vector<unit_read> reads;
    std::vector<std::uint32_t> code; // eq_code
    // A call of a function that keeps state, taken out of a level's rate or a
    // constraint (units the initial pass never evaluates) into a value of its
    // own among the held values: evaluated in the initial and dynamic passes
    // like an auxiliary, read only by its host (so no other unit depends on
    // it by symbol). sym and targets are the host's.
    bool hidden = false;
};

// One instance of a pipeline delay (per lane of its host unit).
struct delay_instance {
    int unit; // host unit
    std::uint32_t lane;
};

// A lookup whose points come from an outside source (GET KDF LOOKUPS, GET
// XLS LOOKUPS, ...): read at the start of each run.
struct lookup_source {
    int function = 0;               // built-in code
    std::vector<std::string> texts; // text arguments
    std::vector<float> numbers;     // number arguments (numbers as written; NA otherwise)
    symbol_id sym = 0;
    std::vector<int> lookups; // lookup slot of each element, in order (-1 none)
};

struct sim_program {
    std::uint32_t value_slots = 0; // model value slots (levels + others)
    std::uint32_t level_slots = 0;
    std::uint32_t hidden_states = 0; // integrated hidden states (after the value slots)
    std::uint32_t held_values = 0;   // held hidden values (after the integrated ones)
    // Values of the behaviour-test inputs (after the held values): test inputs
    // have no model value slot, so the engine keeps them itself.
    std::uint32_t test_input_values = 0;
    std::uint32_t delay_objects = 0;
    std::uint32_t random_streams = 0;
    std::uint32_t data_calls = 0; // data and constants read from run files
    std::uint32_t lookups = 0;    // lookup slots
    std::uint32_t max_lanes = 1;  // the most lanes any piece of code evaluates at once
    std::uint32_t max_stack = 1;  // the deepest operand stack of any unit
    std::vector<code_unit> units;
    std::vector<std::string> texts; // literal texts (message built-in, data sources)
    std::vector<lookup_source> lookup_sources;
    // Filled by order_program: unit indexes in evaluation order.
    std::vector<int> initial_order; // initial pass
    std::vector<int> dynamic_order; // values of the dynamic pass
    std::vector<int> rate_order;    // level rates and hidden-state rates
    std::vector<int> constraints;   // behaviour-test constraints (after the dynamic pass)
    // Test inputs (units of type st_test_input) in order, filled only when
    // the program is ordered for behaviour tests: evaluated after the initial
    // pass and before the constraints at every check.
    std::vector<int> test_initial_order;
    std::vector<int> test_dynamic_order;
    bool tests_ordered = false; // ordered for behaviour tests (the lists above are valid)
    // Symbols of the control variables (0 when absent).
    symbol_id initial_time = 0, final_time = 0, time_step = 0, saveper = 0, sim_pause = 0;
    // Set by order_program, never the same twice in a process (0: none): a
    // run of the program at the same address with the same stamp has the
    // same code in the same orders as the run before, so the engine reuses
    // what it built for it without comparing the code. Whoever changes a
    // program's units or orders after ordering it calls restamp_program.
    std::uint64_t stamp = 0;
};
void restamp_program(sim_program& p);

// Compiles every equation of the model (which must have passed check_model).
// 1 on success; 0 after messages naming the variables that could not be
// compiled. The model must not be locked (the generator locks it and sets
// model-header word 1, the delay-object count).
int generate_code(handle symbols, sim_program& out);

// Positions of elements in subscript ranges, remembered per range so that
// large ranges are not scanned once per element (the model must stay locked
// and unchanged while the cache is used).
class position_cache {
public:
    int position(symbol_id range, symbol_id element);

private:
    std::unordered_map<symbol_id, std::unordered_map<symbol_id, int>> map_;
};

// The printable name of an element ("name" or "name[e1,e2]"); the model must
// be locked.
std::string element_text(symbol_id id, std::uint32_t offset);

// The instructions of the flat form of a pass (sim/flat.h): their codes and
// layout, shared by the loop that runs them (flat.cpp) and the native tier
// that compiles them (sim/native/).
#pragma once

#include <cstdint>

#include "foundation/types.h"
#include "sim/interp_core.h"
#include "sim/simdata.h"

inline constexpr double flat_na = static_cast<double>(NA);

// The operations of two operands; each comes in eight forms: operand a a slot
// or a register, operand b a slot or a register, the result into a register
// or stored as the unit's value.
#define FLAT_BINARY(X)                                                                             \
    X(add, (x == flat_na || y == flat_na) ? flat_na : x + y)                                       \
    X(sub, (x == flat_na || y == flat_na) ? flat_na : x - y)                                       \
    X(mul, (x == flat_na || y == flat_na) ? flat_na : x* y)                                        \
    X(div, (x == flat_na || y == flat_na) ? flat_na : x / y)                                       \
    X(pow, (x == flat_na || y == flat_na) ? flat_na : std::pow(x, y))                              \
    X(eq, x == y ? 1.0 : 0.0)                                                                      \
    X(ne, x != y ? 1.0 : 0.0)                                                                      \
    X(lt, x < y ? 1.0 : 0.0)                                                                       \
    X(le, x <= y ? 1.0 : 0.0)                                                                      \
    X(gt, x > y ? 1.0 : 0.0)                                                                       \
    X(ge, x >= y ? 1.0 : 0.0)                                                                      \
    X(and, (x != 0 && y != 0) ? 1.0 : 0.0)                                                         \
    X(or, (x != 0 || y != 0) ? 1.0 : 0.0)                                                          \
    X(min, value_min(x, y))                                                                        \
    X(max, (x == flat_na || y == flat_na) ? flat_na : value_max(x, y))

// Operand forms of a binary operation: each operand a slot (s), a register
// (r) or the accumulator (a, the last result, kept in a machine register);
// the result goes to the accumulator or, plus 8, is stored as the unit's value.
enum flat_form : int { ff_ss, ff_sr, ff_sa, ff_rs, ff_rr, ff_ra, ff_as, ff_ar, ff_store };
#define FLAT_FORMS(name)                                                                           \
    fo_##name##_0, fo_##name##_1, fo_##name##_2, fo_##name##_3, fo_##name##_4, fo_##name##_5,      \
        fo_##name##_6, fo_##name##_7, fo_##name##_8, fo_##name##_9, fo_##name##_10,                \
        fo_##name##_11, fo_##name##_12, fo_##name##_13, fo_##name##_14, fo_##name##_15,
#define FLAT_ENUM(name, expr) FLAT_FORMS(name)

enum flat_code : std::uint16_t {
    fo_end,
    fo_unit,     // a unit left to the interpreter (unit a)
    fo_acc_s,    // acc = slot a
    fo_acc_r,    // acc = register a
    fo_spill,    // register a = acc
    fo_reg_s,    // register a = slot b
    fo_store_s,  // the unit's value = slot a
    fo_store_r,  // the unit's value = register a
    fo_store_a,  // the unit's value = acc
    fo_neg,      // acc = -acc
    fo_not,      // acc = acc == 0
    fo_lookup,   // acc = lookup c at acc
    fo_lookup_s, // acc = lookup c at slot a
    fo_if,       // acc = register a != 0 ? register a + 1 : register a + 2
    fo_call,     // acc = built-in c of unit b over registers a..
    fo_rate,     // hidden-state rates of call c of unit b over registers a..
    fo_wide,     // a unit of several lanes, by its chunk loops (wide unit a)
    fo_copy,     // b lanes from slot a to the target, as they are
    FLAT_BINARY(FLAT_ENUM) fo_pair_first,
    // Pairs: acc or store = (s op1 s) op2 s, the computed operand on the left
    // or the right, op1 and op2 each + - * or /; two instructions long (the
    // second holds the target). Code fo_pair_first + pair_code(...).
    fo_count = fo_pair_first + 64
};
constexpr std::uint16_t fo_binary_first = fo_add_0;
constexpr int pair_code(int op1, int op2, int right, int store) {
    return ((op1 * 4 + op2) * 2 + right) * 2 + store;
}
// Kept as written: clang-format does not settle on one layout for this list.
// clang-format off
#define FLAT_PAIRS(X)                                                                              \
    X(0, 0) X(0, 1) X(0, 2) X(0, 3) X(1, 0) X(1, 1) X(1, 2) X(1, 3)                               \
    X(2, 0) X(2, 1) X(2, 2) X(2, 3) X(3, 0) X(3, 1) X(3, 2) X(3, 3)
// clang-format on

constexpr int forms_per_binary = 16;

union flat_operand {
    const float* f;
    std::uint32_t r;
};

// 32 bytes: the code (its handler's address once the pass has run) and three
// operands.
struct flat_op {
    union {
        std::uintptr_t code;
        const void* handler;
    } x{};
    flat_operand a{}, b{};
    union {
        float* dst; // the unit's target
        const std::uint32_t* call;
        lookup_table* table;
    } c{};
};
static_assert(sizeof(flat_op) == 4 * sizeof(void*));

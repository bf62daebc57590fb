// The equation vocabulary: built-in functions, operator spellings, character
// classes and the symbol type table.
#include <cctype>
#include <cstring>

#include "foundation/names.h"
#include "model/constants.h"
#include "model/eqtext.h"
#include "model/model.h"

// name, code, min args, max args, text args, first initial argument, kind, call node,
// state, hidden states per element, units rule, flags
const builtin_function builtin_functions[] = {
    {"ABS", fn_abs, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_first, 0},
    {"EXP", fn_exp, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"LN", fn_ln, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"LOG", fn_log, 2, 2, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"SQRT", fn_sqrt, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_square_root, 0},
    {"SIN", fn_sin, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"COS", fn_cos, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"TAN", fn_tan, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"ARCTAN", fn_arctan, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"INTEGER", fn_integer, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_first, 0},
    {"MODULO", fn_modulo, 2, 2, 0, -1, fnk_math, nc_call, fs_none, 0, ur_same_first_two, 0},
    {"POWER", fn_power, 2, 2, 0, -1, fnk_math, nc_call, fs_none, 0, ur_power, 0},
    {"MIN", fn_min, 2, 2, 0, -1, fnk_math, nc_call, fs_none, 0, ur_same_first_two, 0},
    {"MAX", fn_max, 2, 2, 0, -1, fnk_math, nc_call, fs_none, 0, ur_same_first_two, 0},
    {"IF THEN ELSE", fn_if_then_else, 3, 3, 0, -1, fnk_logic, nc_call, fs_none, 0, ur_same_last_two,
     0},
    {"SAFE DIV", fn_safe_div, 2, 3, 0, -1, fnk_math, nc_call, fs_none, 0, ur_ratio, 0},
    {"STEP", fn_step, 2, 2, 0, -1, fnk_test_input, nc_call, fs_none, 0, ur_first, 0},
    {"PULSE", fn_pulse, 2, 2, 0, -1, fnk_test_input, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"PULSE TRAIN", fn_pulse_train, 4, 4, 0, -1, fnk_test_input, nc_call, fs_none, 0,
     ur_dimensionless, 0},
    {"RAMP", fn_ramp, 3, 3, 0, -1, fnk_test_input, nc_call, fs_none, 0, ur_first_by_time, 0},
    {"SMOOTH", fn_smooth, 2, 2, 0, -1, fnk_stateful, nc_call, fs_integrated, 1, ur_first,
     fnf_output_from_state},
    {"SMOOTH INIT", fn_smooth_init, 3, 3, 0, 2, fnk_stateful, nc_call, fs_integrated, 1, ur_first,
     fnf_output_from_state | fnf_own_initial},
    {"SMOOTH3", fn_smooth3, 2, 2, 0, -1, fnk_stateful, nc_call, fs_integrated, 3, ur_first,
     fnf_output_from_state},
    {"SMOOTH3 INIT", fn_smooth3_init, 3, 3, 0, 2, fnk_stateful, nc_call, fs_integrated, 3, ur_first,
     fnf_output_from_state | fnf_own_initial},
    {"DELAY1", fn_delay1, 2, 2, 0, -1, fnk_stateful, nc_call, fs_integrated, 1, ur_first,
     fnf_output_from_state},
    {"DELAY1 INIT", fn_delay1_init, 3, 3, 0, 2, fnk_stateful, nc_call, fs_integrated, 1, ur_first,
     fnf_output_from_state | fnf_own_initial},
    {"DELAY3", fn_delay3, 2, 2, 0, -1, fnk_stateful, nc_call, fs_integrated, 3, ur_first,
     fnf_output_from_state},
    {"DELAY3 INIT", fn_delay3_init, 3, 3, 0, 2, fnk_stateful, nc_call, fs_integrated, 3, ur_first,
     fnf_output_from_state | fnf_own_initial},
    {"DELAY N", fn_delay_n, 4, 4, 0, 2, fnk_stateful, nc_call, fs_integrated, -1, ur_first,
     fnf_output_from_state | fnf_own_initial},
    {"SMOOTH N", fn_smooth_n, 4, 4, 0, 2, fnk_stateful, nc_call, fs_integrated, -1, ur_first,
     fnf_output_from_state | fnf_own_initial},
    {"DELAY FIXED", fn_delay_fixed, 3, 3, 0, 2, fnk_stateful, nc_call, fs_delay_object, 0, ur_first,
     fnf_output_from_state | fnf_own_initial},
    {"TREND", fn_trend, 3, 3, 0, 2, fnk_stateful, nc_call, fs_integrated, 1, ur_per_time, 0},
    {"FORECAST", fn_forecast, 3, 3, 0, -1, fnk_stateful, nc_call, fs_integrated, 1, ur_first, 0},
    {"INITIAL", fn_initial, 1, 1, 0, 0, fnk_stateful, nc_call, fs_held, 0, ur_first,
     fnf_output_from_state},
    {"SAMPLE IF TRUE", fn_sample_if_true, 3, 3, 0, 2, fnk_stateful, nc_call, fs_held, 0,
     ur_same_last_two, 0},
    {"RANDOM UNIFORM", fn_random_uniform, 3, 3, 0, -1, fnk_random, nc_call, fs_held, 0,
     ur_same_first_two, 0},
    {"RANDOM NORMAL", fn_random_normal, 5, 5, 0, -1, fnk_random, nc_call, fs_held, 0, ur_unknown,
     0},
    {"RANDOM EXPONENTIAL", fn_random_exponential, 5, 5, 0, -1, fnk_random, nc_call, fs_held, 0,
     ur_unknown, 0},
    {"LOOKUP EXTRAPOLATE", fn_lookup_extrapolate, 2, 2, 0, -1, fnk_lookup, nc_call, fs_none, 0,
     ur_first, 0},
    {"LOOKUP INVERT", fn_lookup_invert, 2, 2, 0, -1, fnk_lookup, nc_call, fs_none, 0, ur_unknown,
     0},
    {"SUM", fn_sum, 1, 1, 0, -1, fnk_vector, nc_vector_call, fs_none, 0, ur_first, 0},
    {"PROD", fn_prod, 1, 1, 0, -1, fnk_vector, nc_vector_call, fs_none, 0, ur_unknown, 0},
    {"VMIN", fn_vmin, 1, 1, 0, -1, fnk_vector, nc_vector_call, fs_none, 0, ur_first, 0},
    {"VMAX", fn_vmax, 1, 1, 0, -1, fnk_vector, nc_vector_call, fs_none, 0, ur_first, 0},
    {"MESSAGE", fn_message, 2, 2, 1, -1, fnk_message, nc_call, fs_none, 0, ur_unknown, 0},
    // The inverse and hyperbolic trigonometric functions (after ARCTAN in
    // meaning, here by code).
    {"ARCSIN", fn_arcsin, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"ARCCOS", fn_arccos, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"SINH", fn_sinh, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"COSH", fn_cosh, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    {"TANH", fn_tanh, 1, 1, 0, -1, fnk_math, nc_call, fs_none, 0, ur_dimensionless, 0},
    // Constants: file, sheet, first cell (spreadsheets); file, variable, time (runs).
    {"GET XLS CONSTANTS", fn_get_xls_constants, 3, 3, 3, -1, fnk_constants, nc_call_constants,
     fs_none, 0, ur_unknown, 0},
    {"GET 123 CONSTANTS", fn_get_123_constants, 3, 3, 3, -1, fnk_constants, nc_call_constants,
     fs_none, 0, ur_unknown, 0},
    // Data: file, sheet, time row or column, first data cell (spreadsheets);
    // file, variable, time offset, time scale (runs).
    {"GET XLS DATA", fn_get_xls_data, 4, 4, 4, -1, fnk_data, nc_call_data, fs_none, 0, ur_unknown,
     0},
    {"GET 123 DATA", fn_get_123_data, 4, 4, 4, -1, fnk_data, nc_call_data, fs_none, 0, ur_unknown,
     0},
    {"GET XLS LOOKUPS", fn_get_xls_lookups, 4, 4, 4, -1, fnk_data, nc_call_lookups, fs_none, 0,
     ur_unknown, 0},
    {"GET 123 LOOKUPS", fn_get_123_lookups, 4, 4, 4, -1, fnk_data, nc_call_lookups, fs_none, 0,
     ur_unknown, 0},
    {"GET KDF CONSTANTS", fn_get_kdf_constants, 3, 3, 2, -1, fnk_constants, nc_call_constants,
     fs_none, 0, ur_unknown, 0},
    {"GET KDF DATA", fn_get_kdf_data, 4, 4, 2, -1, fnk_data, nc_call_data, fs_none, 0, ur_unknown,
     0},
    {"GET KDF LOOKUPS", fn_get_kdf_lookups, 4, 4, 2, -1, fnk_data, nc_call_lookups, fs_none, 0,
     ur_unknown, 0},
};
const int builtin_function_count =
    static_cast<int>(sizeof(builtin_functions) / sizeof(builtin_functions[0]));

const builtin_function* find_builtin(const char* name) {
    if (!name) return nullptr;
    std::string n = scan_var_name(name);
    for (int i = 0; i < builtin_function_count; ++i)
        if (name_cmp_us(builtin_functions[i].name, n.c_str()) == 0) return &builtin_functions[i];
    return nullptr;
}

const builtin_function* builtin_by_code(int code) {
    for (int i = 0; i < builtin_function_count; ++i)
        if (builtin_functions[i].code == code) return &builtin_functions[i];
    return nullptr;
}

namespace {

constexpr std::uint8_t eq_kind = nf_equation_kind | nf_children;
constexpr std::uint8_t binary = nf_children | nf_binary;
constexpr std::uint8_t comparison = nf_children | nf_binary | nf_truth;
constexpr std::uint8_t call = nf_children | nf_call;

} // namespace

// code, flags, precedence, operator spelling
constexpr node_info node_vocabulary[] = {
    {nc_unparsed, eq_kind, prec_primary, nullptr},
    {nc_data_eq, eq_kind, prec_primary, nullptr},
    {nc_time_base_eq, eq_kind, prec_primary, nullptr},
    {nc_aux_eq, eq_kind, prec_primary, nullptr},
    {nc_game_eq, eq_kind, prec_primary, nullptr},
    {nc_initial_eq, eq_kind, prec_primary, nullptr},
    {nc_constant_eq, eq_kind, prec_primary, nullptr},
    {nc_data_constant_eq, eq_kind, prec_primary, nullptr},
    {nc_lookup_eq, eq_kind, prec_primary, nullptr},
    {nc_string_eq, eq_kind, prec_primary, nullptr},
    {nc_test_input_eq, eq_kind, prec_primary, nullptr},
    {nc_constraint_eq, eq_kind, prec_primary, nullptr},
    {nc_function_of, eq_kind, prec_primary, nullptr},
    {nc_level_eq, eq_kind, prec_primary, nullptr},
    {nc_range_def, eq_kind, prec_primary, nullptr},
    {nc_comment, nf_text, prec_primary, nullptr},
    {nc_add, binary, prec_add, "+"},
    {nc_sub, binary, prec_add, "-"},
    {nc_mul, binary, prec_mul, "*"},
    {nc_div, binary, prec_mul, "/"},
    {nc_pow, binary, prec_pow, "^"},
    {nc_neg, nf_children | nf_unary, prec_unary, "-"},
    {nc_pos, nf_children | nf_unary, prec_unary, "+"},
    {nc_eq, comparison, prec_cmp, "="},
    {nc_ne, comparison, prec_cmp, "<>"},
    {nc_lt, comparison, prec_cmp, "<"},
    {nc_le, comparison, prec_cmp, "<="},
    {nc_gt, comparison, prec_cmp, ">"},
    {nc_ge, comparison, prec_cmp, ">="},
    {nc_and, comparison, prec_and, ":AND:"},
    {nc_or, comparison, prec_or, ":OR:"},
    {nc_arglist, nf_children, prec_primary, nullptr},
    {nc_not, nf_children | nf_unary | nf_truth, prec_not, ":NOT:"},
    {nc_paren, nf_children, prec_primary, nullptr},
    {nc_map, nf_children, prec_primary, nullptr},
    {nc_init_mark, 0, prec_primary, nullptr},
    {nc_call, call, prec_primary, nullptr},
    {nc_call_constants, call, prec_primary, nullptr},
    {nc_call_data, call, prec_primary, nullptr},
    {nc_ref, nf_symbol, prec_primary, nullptr},
    {nc_symbol, nf_symbol, prec_primary, nullptr},
    {nc_subscripted, nf_children, prec_primary, nullptr},
    {nc_lookup_call, nf_children, prec_primary, nullptr},
    {nc_sum_sub, nf_symbol, prec_primary, nullptr},
    {nc_vector_call, call, prec_primary, nullptr},
    {nc_call_lookups, call, prec_primary, nullptr},
    {nc_number_list, nf_children, prec_primary, nullptr},
    {nc_row_break, 0, prec_primary, nullptr},
    {nc_number, 0, prec_primary, nullptr},
    {nc_literal, nf_text, prec_primary, nullptr},
    {nc_lookup_def, 0, prec_primary, nullptr},
};
const int node_vocabulary_count =
    static_cast<int>(sizeof(node_vocabulary) / sizeof(node_vocabulary[0]));

namespace {

// Every node code is below 256: its entry's index by code (none: 255).
constexpr std::uint8_t no_node = 255;
struct node_index_table {
    std::uint8_t at[256];
    constexpr node_index_table() : at{} {
        for (std::uint8_t& i : at) i = no_node;
        for (int i = 0; i < static_cast<int>(sizeof(node_vocabulary) / sizeof(node_vocabulary[0]));
             ++i)
            at[node_vocabulary[i].code] = static_cast<std::uint8_t>(i);
    }
};
constexpr node_index_table node_index;

std::uint8_t node_flags(int code) {
    const node_info* n = find_node_info(code);
    return n ? n->flags : 0;
}

} // namespace

const node_info* find_node_info(int code) {
    if (code < 0 || code > 255 || node_index.at[code] == no_node) return nullptr;
    return &node_vocabulary[node_index.at[code]];
}

bool is_equation_kind(int code) {
    return node_flags(code) & nf_equation_kind;
}

bool node_has_symbol(int code) {
    return node_flags(code) & nf_symbol;
}

bool node_has_text(int code) {
    return node_flags(code) & nf_text;
}

bool node_has_children(int code) {
    return node_flags(code) & nf_children;
}

bool node_is_call(int code) {
    return node_flags(code) & nf_call;
}

bool node_is_binary(int code) {
    return node_flags(code) & nf_binary;
}

bool node_gives_truth(int code) {
    return node_flags(code) & nf_truth;
}

int node_precedence(int code) {
    const node_info* n = find_node_info(code);
    return n ? n->precedence : static_cast<int>(prec_primary);
}

const char* node_operator_text(int code) {
    const node_info* n = find_node_info(code);
    return n ? n->op : nullptr;
}

std::uint8_t char_class[256];

const symbol_type_entry symbol_type_table[14] = {
    {-1, "All"},
    {st_level, "Level"},
    {st_aux, "Auxiliary"},
    {st_data, "Data"},
    {st_initial, "Initial"},
    {st_constant, "Constant"},
    {st_lookup, "Lookup"},
    {st_group, "Group"},
    {st_range, "Subscript Range"},
    {st_constraint, "Constraint"},
    {st_test_input, "Test Input"},
    {st_time_base, "Time Base"},
    {st_game, "Game"},
    {-2, "Orphan"},
};

const char* const ctl_var_names[5] = {"Time", "TIME STEP", "SAVEPER", "INITIAL TIME", "FINAL TIME"};

void init_vocabulary() {
    for (int c = 0; c < 256; ++c) {
        std::uint8_t k = 0;
        bool alpha = std::isalpha(c) || c >= 0xC0 || c == 0xAA || c == 0xB5 || c == 0xBA;
        if (alpha || c == '_' || c == ' ' || c == '$' || c == '\'' || c == '&' || c == '%')
            k |= cc_name;
        if (c >= '0' && c <= '9') k |= cc_name | cc_digit;
        if (std::strchr("+-*/^=<>(),;:!", c) && c != 0) k |= cc_operator;
        // A name may be broken across lines after a blank, an underscore or an operator.
        if (c == ' ' || c == '_' || c == ',' || (std::strchr("+-*/^=<>)", c) && c != 0))
            k |= cc_break_after;
        char_class[c] = k;
    }
    // The report writer's multi-line texts wrap with the equation writer's rules.
    register_text_writers();
}

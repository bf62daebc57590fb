// The equation vocabulary: built-in functions, operator spellings, character
// classes and the symbol type table.
#include <cctype>
#include <cstring>

#include "foundation/names.h"
#include "model/constants.h"
#include "model/eqtext.h"
#include "model/model.h"

// name, code, min args, max args, text args, first initial argument, kind, call node
const builtin_function builtin_functions[] = {
    {"ABS", fn_abs, 1, 1, 0, -1, fnk_math, nc_call},
    {"EXP", fn_exp, 1, 1, 0, -1, fnk_math, nc_call},
    {"LN", fn_ln, 1, 1, 0, -1, fnk_math, nc_call},
    {"LOG", fn_log, 2, 2, 0, -1, fnk_math, nc_call},
    {"SQRT", fn_sqrt, 1, 1, 0, -1, fnk_math, nc_call},
    {"SIN", fn_sin, 1, 1, 0, -1, fnk_math, nc_call},
    {"COS", fn_cos, 1, 1, 0, -1, fnk_math, nc_call},
    {"TAN", fn_tan, 1, 1, 0, -1, fnk_math, nc_call},
    {"ARCTAN", fn_arctan, 1, 1, 0, -1, fnk_math, nc_call},
    {"INTEGER", fn_integer, 1, 1, 0, -1, fnk_math, nc_call},
    {"MODULO", fn_modulo, 2, 2, 0, -1, fnk_math, nc_call},
    {"POWER", fn_power, 2, 2, 0, -1, fnk_math, nc_call},
    {"MIN", fn_min, 2, 2, 0, -1, fnk_math, nc_call},
    {"MAX", fn_max, 2, 2, 0, -1, fnk_math, nc_call},
    {"IF THEN ELSE", fn_if_then_else, 3, 3, 0, -1, fnk_logic, nc_call},
    {"SAFE DIV", fn_safe_div, 2, 3, 0, -1, fnk_math, nc_call},
    {"STEP", fn_step, 2, 2, 0, -1, fnk_test_input, nc_call},
    {"PULSE", fn_pulse, 2, 2, 0, -1, fnk_test_input, nc_call},
    {"PULSE TRAIN", fn_pulse_train, 4, 4, 0, -1, fnk_test_input, nc_call},
    {"RAMP", fn_ramp, 3, 3, 0, -1, fnk_test_input, nc_call},
    {"SMOOTH", fn_smooth, 2, 2, 0, -1, fnk_stateful, nc_call},
    {"SMOOTH INIT", fn_smooth_init, 3, 3, 0, 2, fnk_stateful, nc_call},
    {"SMOOTH3", fn_smooth3, 2, 2, 0, -1, fnk_stateful, nc_call},
    {"SMOOTH3 INIT", fn_smooth3_init, 3, 3, 0, 2, fnk_stateful, nc_call},
    {"DELAY1", fn_delay1, 2, 2, 0, -1, fnk_stateful, nc_call},
    {"DELAY1 INIT", fn_delay1_init, 3, 3, 0, 2, fnk_stateful, nc_call},
    {"DELAY3", fn_delay3, 2, 2, 0, -1, fnk_stateful, nc_call},
    {"DELAY3 INIT", fn_delay3_init, 3, 3, 0, 2, fnk_stateful, nc_call},
    {"DELAY N", fn_delay_n, 4, 4, 0, 2, fnk_stateful, nc_call},
    {"SMOOTH N", fn_smooth_n, 4, 4, 0, 2, fnk_stateful, nc_call},
    {"DELAY FIXED", fn_delay_fixed, 3, 3, 0, 2, fnk_stateful, nc_call},
    {"TREND", fn_trend, 3, 3, 0, 2, fnk_stateful, nc_call},
    {"FORECAST", fn_forecast, 3, 3, 0, -1, fnk_stateful, nc_call},
    {"INITIAL", fn_initial, 1, 1, 0, 0, fnk_stateful, nc_call},
    {"SAMPLE IF TRUE", fn_sample_if_true, 3, 3, 0, 2, fnk_stateful, nc_call},
    {"RANDOM UNIFORM", fn_random_uniform, 3, 3, 0, -1, fnk_random, nc_call},
    {"RANDOM NORMAL", fn_random_normal, 5, 5, 0, -1, fnk_random, nc_call},
    {"RANDOM EXPONENTIAL", fn_random_exponential, 5, 5, 0, -1, fnk_random, nc_call},
    {"LOOKUP EXTRAPOLATE", fn_lookup_extrapolate, 2, 2, 0, -1, fnk_lookup, nc_call},
    {"LOOKUP INVERT", fn_lookup_invert, 2, 2, 0, -1, fnk_lookup, nc_call},
    {"SUM", fn_sum, 1, 1, 0, -1, fnk_vector, nc_vector_call},
    {"PROD", fn_prod, 1, 1, 0, -1, fnk_vector, nc_vector_call},
    {"VMIN", fn_vmin, 1, 1, 0, -1, fnk_vector, nc_vector_call},
    {"VMAX", fn_vmax, 1, 1, 0, -1, fnk_vector, nc_vector_call},
    {"MESSAGE", fn_message, 2, 2, 1, -1, fnk_message, nc_call},
    // Constants: file, sheet, first cell (spreadsheets); file, variable, time (runs).
    {"GET XLS CONSTANTS", fn_get_xls_constants, 3, 3, 3, -1, fnk_constants, nc_call_constants},
    {"GET 123 CONSTANTS", fn_get_123_constants, 3, 3, 3, -1, fnk_constants, nc_call_constants},
    // Data: file, sheet, time row or column, first data cell (spreadsheets);
    // file, variable, time offset, time scale (runs).
    {"GET XLS DATA", fn_get_xls_data, 4, 4, 4, -1, fnk_data, nc_call_data},
    {"GET 123 DATA", fn_get_123_data, 4, 4, 4, -1, fnk_data, nc_call_data},
    {"GET XLS LOOKUPS", fn_get_xls_lookups, 4, 4, 4, -1, fnk_data, nc_call_lookups},
    {"GET 123 LOOKUPS", fn_get_123_lookups, 4, 4, 4, -1, fnk_data, nc_call_lookups},
    {"GET KDF CONSTANTS", fn_get_kdf_constants, 3, 3, 2, -1, fnk_constants, nc_call_constants},
    {"GET KDF DATA", fn_get_kdf_data, 4, 4, 2, -1, fnk_data, nc_call_data},
    {"GET KDF LOOKUPS", fn_get_kdf_lookups, 4, 4, 2, -1, fnk_data, nc_call_lookups},
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

bool is_equation_kind(int code) {
    switch (code) {
    case nc_unparsed:
    case nc_data_eq:
    case nc_time_base_eq:
    case nc_aux_eq:
    case nc_game_eq:
    case nc_initial_eq:
    case nc_constant_eq:
    case nc_data_constant_eq:
    case nc_lookup_eq:
    case nc_string_eq:
    case nc_test_input_eq:
    case nc_constraint_eq:
    case nc_function_of:
    case nc_level_eq:
    case nc_range_def:
        return true;
    default:
        return false;
    }
}

bool node_has_symbol(int code) {
    return code == nc_ref || code == nc_symbol || code == nc_sum_sub;
}

bool node_has_text(int code) {
    return code == nc_literal || code == nc_comment;
}

bool node_has_children(int code) {
    if (is_equation_kind(code)) return true;
    switch (code) {
    case nc_add:
    case nc_sub:
    case nc_mul:
    case nc_div:
    case nc_pow:
    case nc_neg:
    case nc_pos:
    case nc_eq:
    case nc_ne:
    case nc_lt:
    case nc_le:
    case nc_gt:
    case nc_ge:
    case nc_and:
    case nc_or:
    case nc_not:
    case nc_arglist:
    case nc_paren:
    case nc_map:
    case nc_call:
    case nc_call_constants:
    case nc_call_data:
    case nc_call_lookups:
    case nc_subscripted:
    case nc_lookup_call:
    case nc_vector_call:
    case nc_number_list:
        return true;
    default:
        return false;
    }
}

const char* node_operator_text(int code) {
    switch (code) {
    case nc_add:
        return "+";
    case nc_sub:
        return "-";
    case nc_mul:
        return "*";
    case nc_div:
        return "/";
    case nc_pow:
        return "^";
    case nc_neg:
        return "-";
    case nc_pos:
        return "+";
    case nc_eq:
        return "=";
    case nc_ne:
        return "<>";
    case nc_lt:
        return "<";
    case nc_le:
        return "<=";
    case nc_gt:
        return ">";
    case nc_ge:
        return ">=";
    case nc_and:
        return ":AND:";
    case nc_or:
        return ":OR:";
    case nc_not:
        return ":NOT:";
    default:
        return nullptr;
    }
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

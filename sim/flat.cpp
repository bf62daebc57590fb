// The flat form of a pass (see flat.h).
#include "sim/flat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/constants.h"
#include "model/model.h"
#include "sim/interp_core.h"

namespace {

constexpr double NAd = static_cast<double>(NA);

// The operations of two operands; each comes in eight forms: operand a a slot
// or a register, operand b a slot or a register, the result into a register
// or stored as the unit's value.
#define FLAT_BINARY(X)                                                                             \
    X(add, (x == NAd || y == NAd) ? NAd : x + y)                                                   \
    X(sub, (x == NAd || y == NAd) ? NAd : x - y)                                                   \
    X(mul, (x == NAd || y == NAd) ? NAd : x* y)                                                    \
    X(div, (x == NAd || y == NAd) ? NAd : x / y)                                                   \
    X(pow, (x == NAd || y == NAd) ? NAd : std::pow(x, y))                                          \
    X(eq, x == y ? 1.0 : 0.0)                                                                      \
    X(ne, x != y ? 1.0 : 0.0)                                                                      \
    X(lt, x < y ? 1.0 : 0.0)                                                                       \
    X(le, x <= y ? 1.0 : 0.0)                                                                      \
    X(gt, x > y ? 1.0 : 0.0)                                                                       \
    X(ge, x >= y ? 1.0 : 0.0)                                                                      \
    X(and, (x != 0 && y != 0) ? 1.0 : 0.0)                                                         \
    X(or, (x != 0 || y != 0) ? 1.0 : 0.0)                                                          \
    X(min, std::min(x, y))                                                                         \
    X(max, (x == NAd || y == NAd) ? NAd : std::max(x, y))

#define FLAT_FORMS(name)                                                                           \
    fo_##name##_0, fo_##name##_1, fo_##name##_2, fo_##name##_3, fo_##name##_4, fo_##name##_5,      \
        fo_##name##_6, fo_##name##_7,
#define FLAT_ENUM(name, expr) FLAT_FORMS(name)

enum flat_code : std::uint16_t {
    fo_end,
    fo_unit,    // a unit left to the interpreter
    fo_load,    // register d = slot a
    fo_store_f, // the unit's value = slot a
    fo_store_r, // the unit's value = register a
    fo_neg,
    fo_not,
    fo_if,     // d = d != 0 ? d + 1 : d + 2
    fo_lookup, // d = lookup p at d
    fo_call,   // d = built-in p over registers d..
    fo_rate,   // hidden-state rates of call p over registers d..
    FLAT_BINARY(FLAT_ENUM) fo_count
};
constexpr std::uint16_t fo_binary_first = fo_add_0;
constexpr int form_a_reg = 1, form_b_reg = 2, form_store = 4;

// The binary operation of an opcode, as an index into FLAT_BINARY (-1: none).
int binary_index(std::uint32_t op) {
    switch (op) {
    case nc_add:
        return 0;
    case nc_sub:
        return 1;
    case nc_mul:
        return 2;
    case nc_div:
        return 3;
    case nc_pow:
        return 4;
    case nc_eq:
        return 5;
    case nc_ne:
        return 6;
    case nc_lt:
        return 7;
    case nc_le:
        return 8;
    case nc_gt:
        return 9;
    case nc_ge:
        return 10;
    case nc_and:
        return 11;
    case nc_or:
        return 12;
    default:
        return -1;
    }
}
constexpr int binary_min = 13, binary_max = 14;

// Built-ins with no effect beyond their result, called with their arguments.
bool pure_builtin(std::uint32_t fn, std::uint32_t states) {
    switch (fn) {
    case fn_abs:
    case fn_exp:
    case fn_ln:
    case fn_log:
    case fn_sqrt:
    case fn_sin:
    case fn_cos:
    case fn_tan:
    case fn_arctan:
    case fn_arcsin:
    case fn_arccos:
    case fn_sinh:
    case fn_cosh:
    case fn_tanh:
    case fn_integer:
    case fn_modulo:
    case fn_power:
    case fn_safe_div:
    case fn_step:
    case fn_pulse:
    case fn_pulse_train:
    case fn_ramp:
    case fn_lookup_extrapolate:
    case fn_lookup_invert:
        return true;
    default:
        // The outputs of smoothing and delay functions read their states only
        // (outside the initial pass, which is never flat).
        return fn >= fn_smooth && fn <= fn_forecast && fn != fn_delay_fixed && states != 0;
    }
}

std::uint32_t non_finite(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return ((b >> 23) & 0xFFu) == 0xFFu;
}

} // namespace

union flat_operand {
    const float* f;
    std::uint32_t r;
};

struct flat_op {
    std::uint16_t op = fo_end;
    std::uint16_t d = 0; // result register (first argument register of calls)
    std::int32_t unit = -1;
    flat_operand a{}, b{};
    union {
        float* dst; // the unit's target
        const std::uint32_t* call;
        lookup_table* table;
    } c{};
};

flat_pass::~flat_pass() = default;

flat_pass::flat_pass(const sim_program& program, const std::vector<int>& order) {
    for (int u : order) {
        if (compile(program, u)) {
            ++flat_units_;
            continue;
        }
        flat_op o;
        o.op = fo_unit;
        o.unit = u;
        ops_.push_back(o);
    }
    ops_.push_back(flat_op{});
    if (regs_.empty()) regs_.assign(1, 0.0);
}

bool flat_pass::compile(const sim_program& program, int unit) {
    const std::uint32_t* c = program.units[static_cast<std::size_t>(unit)].code.data();
    std::uint32_t lanes = c[0];
    const std::uint32_t* h = c + 2 + c[1];
    std::uint32_t array = h[0], pc = h[4], inner = h[5];
    if (lanes != 1 || inner != 1) return false;
    float* v = value_array;
    // The slot of lane 0 of an address.
    auto slot = [&](const std::uint32_t* a) -> std::int64_t {
        std::int64_t base = static_cast<std::int32_t>(a[1]);
        return a[0] == addr_strided ? base : base + static_cast<std::int32_t>(c[a[2]]);
    };
    struct operand {
        bool reg;
        const float* f;
    };
    std::vector<operand> st;
    std::vector<flat_op> out;
    auto reg = [](std::size_t pos) { return static_cast<std::uint16_t>(pos); };
    auto in_register = [&](std::size_t pos) {
        if (st[pos].reg) return;
        flat_op o;
        o.op = fo_load;
        o.d = reg(pos);
        o.a.f = st[pos].f;
        out.push_back(o);
        st[pos].reg = true;
    };
    auto binary = [&](int index) {
        if (st.size() < 2) return false;
        std::size_t pa = st.size() - 2, pb = st.size() - 1;
        flat_op o;
        int form = (st[pa].reg ? form_a_reg : 0) | (st[pb].reg ? form_b_reg : 0);
        o.op = static_cast<std::uint16_t>(fo_binary_first + 8 * index + form);
        o.d = reg(pa);
        if (st[pa].reg)
            o.a.r = reg(pa);
        else
            o.a.f = st[pa].f;
        if (st[pb].reg)
            o.b.r = reg(pb);
        else
            o.b.f = st[pb].f;
        out.push_back(o);
        st.pop_back();
        st.back() = {true, nullptr};
        return true;
    };
    // Arguments of a call into registers base.. (base returned).
    auto arguments = [&](std::uint32_t nargs) -> std::size_t {
        std::size_t base = st.size() - nargs;
        for (std::size_t k = base; k < st.size(); ++k) in_register(k);
        return base;
    };
    std::size_t depth = 0;
    for (;;) {
        depth = std::max(depth, st.size() + 1);
        std::uint32_t op = c[pc++];
        if (op == op_end) break;
        switch (op) {
        case nc_number:
            numbers_.push_back(as_float(c[pc++]));
            st.push_back({false, &numbers_.back()});
            continue;
        case op_number_table:
            numbers_.push_back(as_float(c[c[pc++]]));
            st.push_back({false, &numbers_.back()});
            continue;
        case nc_ref:
            st.push_back({false, v + slot(c + pc)});
            pc += 3;
            continue;
        case nc_neg:
        case nc_not: {
            if (st.empty()) return false;
            in_register(st.size() - 1);
            flat_op o;
            o.op = op == nc_neg ? fo_neg : fo_not;
            o.d = reg(st.size() - 1);
            out.push_back(o);
            continue;
        }
        case nc_lookup_call: {
            if (st.empty()) return false;
            in_register(st.size() - 1);
            flat_op o;
            o.op = fo_lookup;
            o.d = reg(st.size() - 1);
            o.c.table = run_lookup_tables() + slot(c + pc);
            out.push_back(o);
            pc += 3;
            continue;
        }
        case nc_call:
        case op_state_rate: {
            std::uint32_t fn = c[pc], nargs = c[pc + 1];
            if (nargs > st.size() || nargs > 8 || nargs == 0) return false;
            const std::uint32_t* call = c + pc;
            pc += 5;
            if (op == nc_call && (fn == fn_min || fn == fn_max) && nargs == 2) {
                binary(fn == fn_min ? binary_min : binary_max);
                continue;
            }
            flat_op o;
            if (op == op_state_rate)
                o.op = fo_rate;
            else if (fn == fn_if_then_else && nargs == 3)
                o.op = fo_if;
            else if (pure_builtin(fn, call[3]))
                o.op = fo_call;
            else
                return false;
            std::size_t base = arguments(nargs);
            o.d = reg(base);
            o.unit = unit;
            o.c.call = call;
            out.push_back(o);
            st.resize(base);
            if (op == nc_call) st.push_back({true, nullptr});
            continue;
        }
        default: {
            int index = binary_index(op);
            if (index < 0 || !binary(index)) return false;
            continue;
        }
        }
    }
    if (array == 2) {
        if (!st.empty()) return false;
    } else {
        if (st.size() != 1) return false;
        float* dst = (array == 1 ? rate_array : value_array) + slot(h + 1);
        flat_op* last = out.empty() ? nullptr : &out.back();
        if (st[0].reg && last && last->op >= fo_binary_first && last->op < fo_count &&
            !((last->op - fo_binary_first) & form_store) && last->d == 0) {
            last->op = static_cast<std::uint16_t>(last->op + form_store);
            last->c.dst = dst;
        } else {
            flat_op o;
            o.op = st[0].reg ? fo_store_r : fo_store_f;
            if (st[0].reg)
                o.a.r = 0;
            else
                o.a.f = st[0].f;
            o.c.dst = dst;
            out.push_back(o);
        }
        out.back().unit = unit;
        checks_.push_back({static_cast<std::uint32_t>(ops_.size() + out.size() - 1), unit, dst});
    }
    if (regs_.size() < depth + 8) regs_.assign(depth + 8, 0.0);
    ops_.insert(ops_.end(), out.begin(), out.end());
    return true;
}

void flat_pass::report_non_finite(std::size_t before) const {
    for (const store_check& k : checks_)
        if (k.op < before && non_finite(*k.slot))
            interp_fail_unit(k.unit, "Floating point error computing");
    interp_fail_unit(-1, "Floating point error computing");
}

void flat_pass::run(int mode) {
    const flat_op* ip = ops_.data();
    double* r = regs_.data();
    const float* lut = run_lookup_data();
    std::uint32_t bad = 0;
    // Stored values are checked together; before any step that could end the
    // run otherwise, the values stored so far are checked first.
#define FLAT_CHECK                                                                                 \
    if (bad) report_non_finite(static_cast<std::size_t>(ip - ops_.data()))
#define FLAT_STORE(value)                                                                          \
    {                                                                                              \
        float f_ = static_cast<float>(value);                                                      \
        *ip->c.dst = f_;                                                                           \
        bad |= non_finite(f_);                                                                     \
    }
#define FLAT_A0 static_cast<double>(*ip->a.f)
#define FLAT_A1 r[ip->a.r]
#define FLAT_B0 static_cast<double>(*ip->b.f)
#define FLAT_B1 r[ip->b.r]
#define FLAT_PUT0(value) r[ip->d] = (value)
#define FLAT_PUT1(value) FLAT_STORE(value)
#define FLAT_FORM(name, expr, form, ka, kb, ks)                                                    \
    FLAT_OP(fo_##name##_##form) {                                                                  \
        double x = FLAT_A##ka, y = FLAT_B##kb;                                                     \
        FLAT_PUT##ks(expr);                                                                        \
        FLAT_NEXT;                                                                                 \
    }
#define FLAT_BODIES(name, expr)                                                                    \
    FLAT_FORM(name, expr, 0, 0, 0, 0)                                                              \
    FLAT_FORM(name, expr, 1, 1, 0, 0)                                                              \
    FLAT_FORM(name, expr, 2, 0, 1, 0)                                                              \
    FLAT_FORM(name, expr, 3, 1, 1, 0)                                                              \
    FLAT_FORM(name, expr, 4, 0, 0, 1)                                                              \
    FLAT_FORM(name, expr, 5, 1, 0, 1)                                                              \
    FLAT_FORM(name, expr, 6, 0, 1, 1)                                                              \
    FLAT_FORM(name, expr, 7, 1, 1, 1)

#if defined(__GNUC__)
    // Threaded dispatch: each instruction jumps straight to the next one's code.
#define FLAT_LABEL(name) &&L_##name,
#define FLAT_LABELS(name, expr)                                                                    \
    FLAT_LABEL(fo_##name##_0)                                                                      \
    FLAT_LABEL(fo_##name##_1)                                                                      \
    FLAT_LABEL(fo_##name##_2)                                                                      \
    FLAT_LABEL(fo_##name##_3)                                                                      \
    FLAT_LABEL(fo_##name##_4)                                                                      \
    FLAT_LABEL(fo_##name##_5)                                                                      \
    FLAT_LABEL(fo_##name##_6) FLAT_LABEL(fo_##name##_7)
    static const void* const labels[] = {
        FLAT_LABEL(fo_end) FLAT_LABEL(fo_unit) FLAT_LABEL(fo_load) FLAT_LABEL(fo_store_f)
            FLAT_LABEL(fo_store_r) FLAT_LABEL(fo_neg) FLAT_LABEL(fo_not) FLAT_LABEL(fo_if)
                FLAT_LABEL(fo_lookup) FLAT_LABEL(fo_call) FLAT_LABEL(fo_rate)
                    FLAT_BINARY(FLAT_LABELS)};
    static_assert(sizeof(labels) / sizeof(labels[0]) == fo_count);
#define FLAT_OP(name) L_##name:
#define FLAT_NEXT goto* labels[(++ip)->op]
    goto* labels[ip->op];
#else
#define FLAT_OP(name) case name:
#define FLAT_NEXT                                                                                  \
    ++ip;                                                                                          \
    continue
    for (;;) {
        switch (ip->op) {
#endif
    FLAT_OP(fo_end) {
        FLAT_CHECK;
        return;
    }
    FLAT_OP(fo_unit) {
        FLAT_CHECK;
        eval_unit(ip->unit, mode);
        FLAT_NEXT;
    }
    FLAT_OP(fo_load) {
        r[ip->d] = *ip->a.f;
        FLAT_NEXT;
    }
    FLAT_OP(fo_store_f) {
        float f = *ip->a.f;
        *ip->c.dst = f;
        bad |= non_finite(f);
        FLAT_NEXT;
    }
    FLAT_OP(fo_store_r) {
        FLAT_STORE(r[ip->a.r]);
        FLAT_NEXT;
    }
    FLAT_OP(fo_neg) {
        double x = r[ip->d];
        r[ip->d] = x == NAd ? NAd : -x;
        FLAT_NEXT;
    }
    FLAT_OP(fo_not) {
        r[ip->d] = r[ip->d] == 0 ? 1.0 : 0.0;
        FLAT_NEXT;
    }
    FLAT_OP(fo_if) {
        const double* a = r + ip->d;
        r[ip->d] = a[0] != 0 ? a[1] : a[2];
        FLAT_NEXT;
    }
    FLAT_OP(fo_lookup) {
        double x = r[ip->d];
        r[ip->d] = x == NAd ? NAd : lookup_value(*ip->c.table, lut, x, false);
        FLAT_NEXT;
    }
    FLAT_OP(fo_call) {
        FLAT_CHECK;
        r[ip->d] = interp_call_one(ip->unit, ip->c.call, r + ip->d, mode);
        FLAT_NEXT;
    }
    FLAT_OP(fo_rate) {
        FLAT_CHECK;
        interp_state_rate_one(ip->unit, ip->c.call, r + ip->d, mode);
        FLAT_NEXT;
    }
    FLAT_BINARY(FLAT_BODIES)
#if !defined(__GNUC__)
default:
    return;
}
}
#endif
#undef FLAT_OP
#undef FLAT_NEXT
#undef FLAT_CHECK
#undef FLAT_STORE
}

// The interpreter (see interp.h and docs/formats/eq-code.md).
//
// The opcode loops run over chunks of lanes; they are written so that the
// compiler can vectorise them, which GCC does only at -O3.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3", "no-trapping-math")
#endif
#include "sim/interp.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>

#include "foundation/report.h"
#include "model/constants.h"
#include "model/model.h"
#include "sim/flat.h"
#include "sim/native/native.h"

namespace {

constexpr double NAd = static_cast<double>(NA);

// The run's structures.
const sim_program* prog = nullptr;
handle prog_symbols = 0;
lookup_table* luts = nullptr;
float* lut_data = nullptr;
std::uint32_t lut_cells = 0;
delay_object** delays = nullptr;
random_stream* streams = nullptr;
std::uint8_t* seeded = nullptr;
// Per held value: the time of its random draw (NaN before the first), so a
// draw moves once per TIME STEP however often its unit is computed in it.
double* drawn_at = nullptr;
std::uint32_t held_base = 0;
// Per unit: whether its code runs on the scalar path (-1 not yet known).
std::vector<std::int8_t> scalar_units;
// Operand stack: max_stack vectors of cap doubles each.
std::vector<double> stack_mem;
std::uint32_t cap = 0;
constexpr std::uint32_t chunk_lanes = 256;
constexpr int scalar_stack = 64;
int cur_unit = -1;

// The flat forms of the dynamic and rate passes of the run (null: the units
// are evaluated one by one). flat_setting: -1 not yet read from the
// environment, 0 off, 1 on.
flat_pass* flat_dynamic = nullptr;
flat_pass* flat_rates = nullptr;
// The initial pass kept: the units that store one number, set before the
// others (they read nothing, so no unit before them sees a difference, and a
// changed set-up value of theirs can go in right after them all), and the
// flat form of the others. role: per value slot, 1 when a number's unit
// computes it, 2 when another value unit of the pass does.
struct kept_initial {
    std::vector<std::pair<std::int64_t, float>> numbers;
    std::vector<std::uint8_t> role;
    std::unique_ptr<flat_pass> pass;
};
// The current run's (null: unit by unit), the values before it ran (put back
// where a failed pass went past the interpreter) and the changed set-up
// values it puts in.
kept_initial* flat_initial = nullptr;
std::vector<float> before_initial;
std::vector<std::uint32_t> changed_numbers;
std::size_t initial_builds = 0, initial_runs = 0;
int flat_setting = -1;
// Whether loops built also for wider vectors may use them (tests turn it off).
bool wider_allowed = true;

// The compiled steps of the kept passes' program (sim/native/native.h) and
// their compile on the worker (dropped with them); shape: the states they
// update, which a program with the same passes may place elsewhere.
struct kept_steps {
    native_handle code;
    std::shared_ptr<native_job> job;
    native_step_shape shape;
    kept_steps() = default;
    kept_steps(kept_steps&& o) noexcept = default;
    kept_steps& operator=(kept_steps&& o) noexcept {
        if (this != &o) {
            if (job) native_cancel(*job);
            code = std::move(o.code);
            job = std::move(o.job);
            shape = o.shape;
        }
        return *this;
    }
    ~kept_steps() {
        if (job) native_cancel(*job);
    }
};
// The flat forms outlive their run: the next run of a program with the same
// code in the same orders (a Livesweep re-run, a sensitivity run) binds them
// to its own arrays instead of building them again. words: the orders'
// units and code words, compared word by word. The initial pass runs once
// per run, so it is built only at the second run of its code (a model run
// once, or runs that change the initial pass's numbers each time, never pay
// for it nor for its compile); initial_words: the code of the last run's
// initial order.
struct kept_flat_forms {
    std::vector<std::uint32_t> words, initial_words;
    // The program of the last run and its stamp (sim_program::stamp).
    const sim_program* program = nullptr;
    std::uint64_t stamp = 0;
    int native = nm_off; // the native mode they were built under
    std::unique_ptr<flat_pass> dynamic, rates;
    std::unique_ptr<kept_initial> initial;
    kept_steps steps;
};
kept_flat_forms kept_flat;
std::atomic<std::size_t> steps_made{0};

native_step_shape step_shape(const sim_program& p) {
    return {p.level_slots, p.value_slots, p.hidden_states};
}

// Compiles the steps of the kept passes of p when they are small enough to
// gain by it, at tier 1 only (tier 0 inlines nothing, and is there to be
// ready soon): before the first run when tier 1 is asked for, else on the
// worker once the passes' own code may be there (a program whose passes are
// too small for code of their own has no compiled steps).
void start_steps(const sim_program& p) {
    kept_steps& s = kept_flat.steps;
    const flat_pass &d = *kept_flat.dynamic, &r = *kept_flat.rates;
    const int mode = native_mode();
    if (mode == nm_off || d.size() + r.size() > native_steps_max_ops) return;
    s.shape = step_shape(p);
    if (mode == nm_tier1) {
        // Steps that fail where the passes compiled are worth a line; when
        // the passes failed too, theirs has been said.
        std::string why;
        s.code = native_compile_steps(d.listing(p), r.listing(p), s.shape, 1, &why);
        if (!s.code && d.native() && r.native())
            report(0, "The model's steps run pass by pass: %s", why.c_str());
    } else if (mode == nm_auto && d.size() >= native_auto_min_ops &&
               r.size() >= native_auto_min_ops) {
        s.job = native_compile_steps_later(d.listing(p), r.listing(p), s.shape);
    }
}

// The kept steps for a run of p through the kept passes (code the worker
// has finished is taken first); null when there are none.
native_steps_fn kept_steps_for(const sim_program& p) {
    kept_steps& s = kept_flat.steps;
    if (s.job) {
        const bool done = native_done(*s.job);
        if (native_handle code = native_take(*s.job)) s.code = std::move(code);
        if (done) s.job.reset();
    }
    if (!s.code || flat_dynamic != kept_flat.dynamic.get() || flat_rates != kept_flat.rates.get() ||
        !(s.shape == step_shape(p)))
        return nullptr;
    return native_steps_of(*s.code);
}

// Whether w holds the code of the units of the orders; without words,
// appends that code to words.
bool same_flat_form_words(const sim_program& p, std::vector<std::uint32_t>* words,
                          const std::vector<std::uint32_t>& w,
                          std::initializer_list<const std::vector<int>*> orders) {
    std::size_t at = 0;
    auto next = [&](std::uint32_t x) {
        if (words) {
            words->push_back(x);
            return true;
        }
        return at < w.size() && w[at++] == x;
    };
    for (const std::vector<int>* order : orders) {
        if (!next(static_cast<std::uint32_t>(order->size()))) return false;
        for (int u : *order) {
            const std::vector<std::uint32_t>& code = p.units[static_cast<std::size_t>(u)].code;
            if (!next(static_cast<std::uint32_t>(u)) ||
                !next(static_cast<std::uint32_t>(code.size())))
                return false;
            if (words) {
                words->insert(words->end(), code.begin(), code.end());
                continue;
            }
            if (code.size() > w.size() - at ||
                !std::equal(code.begin(), code.end(), w.begin() + static_cast<long>(at)))
                return false;
            at += code.size();
        }
    }
    return words || at == w.size();
}

// Whether unit u of p stores one finite number into one value slot (slot,
// value): the interpreter stores it as it stands.
bool stored_number(const sim_program& p, int u, std::int64_t& slot, float& value) {
    const code_unit& cu = p.units[static_cast<std::size_t>(u)];
    const std::vector<std::uint32_t>& c = cu.code;
    if (cu.kind != uk_value || cu.hidden || c.size() < 8 || c[0] != 1 || 2 + c[1] + 6 > c.size())
        return false;
    const std::uint32_t* h = c.data() + 2 + c[1];
    const std::uint32_t pc = h[4];
    if (h[0] != 0 || h[5] != 1 || pc + 2 >= c.size() || c[pc + 2] != op_end) return false;
    if (c[pc] == nc_number)
        value = as_float(c[pc + 1]);
    else if (c[pc] == op_number_table && c[pc + 1] < c.size())
        value = as_float(c[c[pc + 1]]);
    else
        return false;
    slot = unit_target_slot(u, 0);
    return std::isfinite(value) && slot >= 0 && slot < p.value_slots;
}

std::unique_ptr<kept_initial> build_initial(const sim_program& p) {
    auto k = std::make_unique<kept_initial>();
    k->role.assign(p.value_slots, 0);
    std::vector<int> rest;
    for (int u : p.initial_order) {
        std::int64_t slot = 0;
        float value = 0;
        const bool number = stored_number(p, u, slot, value);
        if (number)
            k->numbers.emplace_back(slot, value);
        else
            rest.push_back(u);
        const code_unit& cu = p.units[static_cast<std::size_t>(u)];
        if (cu.kind != uk_value) continue;
        for (std::uint32_t lane = 0; lane < cu.targets.size(); ++lane) {
            std::int64_t s = unit_target_slot(u, lane);
            if (s >= 0 && s < p.value_slots) {
                std::uint8_t& r = k->role[static_cast<std::size_t>(s)];
                r = std::max<std::uint8_t>(r, number ? 1 : 2);
            }
        }
    }
    k->pass = std::make_unique<flat_pass>(p, rest, true);
    ++initial_builds;
    return k;
}

void use_flat_forms(const sim_program& p) {
    const auto steps = {&p.dynamic_order, &p.rate_order};
    const auto initial = {&p.initial_order};
    // The last run's program again, unchanged: the same words (checked
    // anyway in the builds with assertions).
    const bool again = p.stamp && kept_flat.program == &p && kept_flat.stamp == p.stamp;
    assert(!again || !kept_flat.dynamic ||
           (same_flat_form_words(p, nullptr, kept_flat.words, steps) &&
            same_flat_form_words(p, nullptr, kept_flat.initial_words, initial)));
    kept_flat.program = &p;
    kept_flat.stamp = p.stamp;
    if (kept_flat.dynamic && kept_flat.native == native_mode() &&
        (again || same_flat_form_words(p, nullptr, kept_flat.words, steps))) {
        kept_flat.dynamic->bind(p);
        kept_flat.rates->bind(p);
        if (again || same_flat_form_words(p, nullptr, kept_flat.initial_words, initial)) {
            if (kept_flat.initial)
                kept_flat.initial->pass->bind(p);
            else
                kept_flat.initial = build_initial(p);
        } else {
            kept_flat.initial.reset();
        }
    } else {
        kept_flat.words.clear();
        kept_flat.native = native_mode();
        same_flat_form_words(p, &kept_flat.words, kept_flat.words, steps);
        kept_flat.dynamic = std::make_unique<flat_pass>(p, p.dynamic_order, false, true);
        kept_flat.rates = std::make_unique<flat_pass>(p, p.rate_order);
        kept_flat.initial.reset();
        kept_flat.steps = kept_steps{};
        start_steps(p);
    }
    if (!kept_flat.initial) {
        kept_flat.initial_words.clear();
        same_flat_form_words(p, &kept_flat.initial_words, kept_flat.initial_words, initial);
    }
    flat_dynamic = kept_flat.dynamic.get();
    flat_rates = kept_flat.rates.get();
    flat_initial = kept_flat.initial.get();
}

// Data and constants read from outside sources, per call and lane.
struct data_instance {
    bool filled = false;
    std::vector<std::vector<float>> times, values; // data: per lane
    std::vector<float> constants;                  // constants: per lane
};
std::vector<data_instance> data_calls;
data_source_reader source_reader = nullptr;

[[noreturn]] void fail_lane(std::uint32_t lane, const char* what) {
    std::string name = unit_element_text(cur_unit, lane);
    std::uint32_t eqn =
        prog && cur_unit >= 0 && static_cast<std::size_t>(cur_unit) < prog->units.size()
            ? prog->units[static_cast<std::size_t>(cur_unit)].eqn
            : 0;
    throw run_unwind(std::string(what) + " " + name, eqn);
}

inline double* S(int i) {
    return stack_mem.data() + static_cast<std::size_t>(i) * cap;
}

inline bool na2(double a, double b) {
    return a == NAd || b == NAd;
}

// Loads a per-lane address into dst.
inline void load(const std::uint32_t* c, const float* __restrict src, std::uint32_t lane0,
                 std::uint32_t n, double* __restrict dst) {
    std::uint32_t form = c[0];
    std::int64_t base = static_cast<std::int32_t>(c[1]);
    if (form == addr_strided) {
        std::int64_t stride = static_cast<std::int32_t>(c[2]);
        if (stride == 1) {
            const float* p = src + base + lane0;
            for (std::uint32_t i = 0; i < n; ++i) dst[i] = p[i];
        } else if (stride == 0) {
            double v = src[base];
            for (std::uint32_t i = 0; i < n; ++i) dst[i] = v;
        } else {
            const float* p = src + base + stride * lane0;
            for (std::uint32_t i = 0; i < n; ++i) dst[i] = p[stride * i];
        }
    } else {
        const std::uint32_t* t =
            prog->units[static_cast<std::size_t>(cur_unit)].code.data() + c[2] + lane0;
        const float* p = src + base;
        for (std::uint32_t i = 0; i < n; ++i) dst[i] = p[t[i]];
    }
}

inline std::uint32_t lane_index(const std::uint32_t* c, std::uint32_t lane) {
    std::int64_t base = static_cast<std::int32_t>(c[1]);
    if (c[0] == addr_strided)
        return static_cast<std::uint32_t>(base + static_cast<std::int32_t>(c[2]) *
                                                     static_cast<std::int64_t>(lane));
    return static_cast<std::uint32_t>(
        base + prog->units[static_cast<std::size_t>(cur_unit)].code[c[2] + lane]);
}

// The first pulse is on under PULSE's bound (TIME + TIME STEP/2 strictly
// beyond the start); the later ones while the phase from the start is below
// the width.
double pulse_train(double start, double width, double interval, double end) {
    double t = sim_time + sim_dt / 2;
    if (t <= start || sim_time > end) return 0;
    if (width < sim_dt) width = sim_dt;
    if (interval <= 0) return t < start + width ? 1 : 0;
    // Every pulse, not only the first, is on under PULSE's bounds: strictly
    // beyond its own start and before its end. The train is their union: on
    // a pulse's start (phase 0) the one before it is still on when pulses
    // are wider than the interval (a NaN phase is off).
    double phase = std::fmod(t - start, interval);
    return (phase > 0 ? phase < width : phase == 0 && interval < width) ? 1 : 0;
}

delay_object* new_delay(std::uint32_t capacity) {
    capacity = std::clamp<std::uint32_t>(capacity, 4, max_delay_capacity);
    auto* d =
        static_cast<delay_object*>(block_alloc(sim_pool, delay_object_alloc_bytes(capacity), 0));
    d->capacity = static_cast<std::uint16_t>(capacity);
    return d;
}

void delay_push(std::uint32_t index, double value, double due, std::uint32_t lane) {
    delay_object* d = delays[index];
    if (!d) return;
    if (static_cast<std::uint32_t>(d->live) >= d->capacity) {
        if (d->capacity >= max_delay_capacity) fail_lane(lane, "The pipeline delay is too long in");
        delay_object* g = new_delay(std::min<std::uint32_t>(2u * d->capacity, max_delay_capacity));
        std::uint16_t gcap = g->capacity;
        std::memcpy(g, d, sizeof(delay_object));
        g->capacity = gcap;
        for (std::int32_t k = 0; k < d->live; ++k) {
            g->entries()[k] = d->entries()[(d->first + k) % d->capacity];
            g->due_times()[k] = d->due_times()[(d->first + k) % d->capacity];
        }
        g->first = 0;
        delays[index] = d = g;
    }
    std::int32_t at = (d->first + d->live) % d->capacity;
    d->entries()[at] = {static_cast<float>(value), static_cast<float>(due)};
    d->due_times()[at] = due;
    ++d->live;
}

double delay_output(std::uint32_t index, int mode) {
    delay_object* d = delays[index];
    if (!d) return NAd;
    if (mode == em_main) {
        double limit = sim_time + sim_dt / 2;
        while (d->live > 0 && d->due_times()[d->first] <= limit) {
            d->output = d->entries()[d->first].value;
            d->first = (d->first + 1) % d->capacity;
            --d->live;
        }
    }
    return d->output;
}

// Integrated hidden states of a stateful call: initial values, output, rates.
void stateful_call(int fn, double** args, std::uint32_t a, std::uint32_t per, std::uint32_t lane0,
                   std::uint32_t n, int mode, double* out) {
    float* v = value_array;
    for (std::uint32_t i = 0; i < n; ++i) {
        float* s = v + a + static_cast<std::size_t>(lane0 + i) * per;
        double in = args[0][i];
        double d = args[1][i];
        if (mode == em_initial) {
            switch (fn) {
            case fn_smooth:
            case fn_smooth3:
            case fn_forecast:
                for (std::uint32_t j = 0; j < per; ++j) s[j] = static_cast<float>(in);
                break;
            case fn_smooth_init:
            case fn_smooth3_init:
            case fn_smooth_n:
                for (std::uint32_t j = 0; j < per; ++j) s[j] = static_cast<float>(args[2][i]);
                break;
            case fn_delay1:
            case fn_delay3:
                for (std::uint32_t j = 0; j < per; ++j) s[j] = static_cast<float>(in * d / per);
                break;
            case fn_delay1_init:
            case fn_delay3_init:
            case fn_delay_n:
                for (std::uint32_t j = 0; j < per; ++j)
                    s[j] = static_cast<float>(args[2][i] * d / per);
                break;
            case fn_trend:
                s[0] = static_cast<float>(in / (1 + args[2][i] * d));
                break;
            }
        }
        switch (fn) {
        case fn_delay1:
        case fn_delay1_init:
        case fn_delay3:
        case fn_delay3_init:
        case fn_delay_n:
            out[i] = s[per - 1] / (d / per);
            break;
        case fn_trend:
            out[i] = (in - s[0]) / (s[0] * d);
            break;
        case fn_forecast:
            out[i] = in * (1 + args[2][i] * (in - s[0]) / (s[0] * d));
            break;
        default:
            out[i] = s[per - 1];
        }
    }
}

void state_rates(int fn, double** args, std::uint32_t a, std::uint32_t per, std::uint32_t lane0,
                 std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        std::size_t at = a + static_cast<std::size_t>(lane0 + i) * per;
        const float* s = value_array + at;
        float* r = rate_array + at;
        double in = args[0][i];
        double d = args[1][i];
        switch (fn) {
        case fn_delay1:
        case fn_delay1_init:
        case fn_delay3:
        case fn_delay3_init:
        case fn_delay_n: {
            double stage = d / per, prev = in;
            for (std::uint32_t j = 0; j < per; ++j) {
                double outj = s[j] / stage;
                r[j] = static_cast<float>(prev - outj);
                prev = outj;
            }
            break;
        }
        default: {
            double stage = (fn == fn_trend || fn == fn_forecast) ? d : d / per, prev = in;
            for (std::uint32_t j = 0; j < per; ++j) {
                r[j] = static_cast<float>((prev - s[j]) / stage);
                prev = s[j];
            }
        }
        }
        for (std::uint32_t j = 0; j < per; ++j)
            if (!std::isfinite(r[j]))
                fail_lane(lane0 + i, "Floating point error computing the state of");
    }
}

double clamp_random(double x, double lo, double hi) {
    return x < lo ? lo : (x > hi ? hi : x);
}

double draw(int fn, double* const* args, std::uint32_t i, random_stream& r) {
    switch (fn) {
    case fn_random_uniform:
        return args[0][i] + (args[1][i] - args[0][i]) * stream_uniform(r);
    case fn_random_normal:
        return clamp_random(args[2][i] + args[3][i] * stream_normal(r), args[0][i], args[1][i]);
    default: {
        double u = stream_uniform(r);
        return clamp_random(args[2][i] - args[3][i] * std::log(1 - u), args[0][i], args[1][i]);
    }
    }
}

// A built-in call's operands: the arguments on the stack from base (the
// result goes in the first one's place) and the operand words a, b, cc.
struct call_frame {
    int fn;
    int nargs;
    std::uint32_t a, b, cc;
    double* args[8];
    double* out;
    std::uint32_t lane0, n;
    int mode;
};

// The functions of their arguments alone, lane by lane; NA in gives NA out.
void math_call(const call_frame& f) {
    const std::uint32_t n = f.n;
    double* const* args = f.args;
    double* out = f.out;
    double* x = args[0];
    switch (f.fn) {
    case fn_abs:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : std::fabs(x[i]);
        return;
    case fn_exp:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : std::exp(x[i]);
        return;
    case fn_ln:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : std::log(x[i]);
        return;
    case fn_log:
        for (std::uint32_t i = 0; i < n; ++i)
            out[i] = na2(x[i], args[1][i]) ? NAd : std::log(x[i]) / std::log(args[1][i]);
        return;
    case fn_sqrt:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : std::sqrt(x[i]);
        return;
    case fn_sin:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : std::sin(x[i]);
        return;
    case fn_cos:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : std::cos(x[i]);
        return;
    case fn_tan:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : std::tan(x[i]);
        return;
    case fn_arctan:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : std::atan(x[i]);
        return;
    case fn_arcsin:
    case fn_arccos:
    case fn_sinh:
    case fn_cosh:
    case fn_tanh: {
        const int fn = f.fn;
        double (*g)(double) = fn == fn_arcsin   ? static_cast<double (*)(double)>(std::asin)
                              : fn == fn_arccos ? static_cast<double (*)(double)>(std::acos)
                              : fn == fn_sinh   ? static_cast<double (*)(double)>(std::sinh)
                              : fn == fn_cosh   ? static_cast<double (*)(double)>(std::cosh)
                                                : static_cast<double (*)(double)>(std::tanh);
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : g(x[i]);
        return;
    }
    case fn_integer:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : std::trunc(x[i]);
        return;
    case fn_modulo:
        // The remainder takes the sign of the dividend: MODULO(-10, 3) is -1.
        for (std::uint32_t i = 0; i < n; ++i)
            out[i] = na2(x[i], args[1][i]) ? NAd : std::fmod(x[i], args[1][i]);
        return;
    case fn_power:
        for (std::uint32_t i = 0; i < n; ++i)
            out[i] = na2(x[i], args[1][i]) ? NAd : std::pow(x[i], args[1][i]);
        return;
    case fn_min:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = value_min(x[i], args[1][i]);
        return;
    case fn_max:
        for (std::uint32_t i = 0; i < n; ++i)
            out[i] = na2(x[i], args[1][i]) ? NAd : value_max(x[i], args[1][i]);
        return;
    case fn_if_then_else:
        for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] != 0 ? args[1][i] : args[2][i];
        return;
    default: // fn_safe_div
        for (std::uint32_t i = 0; i < n; ++i) {
            double d = args[1][i];
            out[i] = na2(x[i], d) ? NAd : (d == 0 ? (f.nargs > 2 ? args[2][i] : 0.0) : x[i] / d);
        }
        return;
    }
}

// The functions of the simulated time: steps, pulses and ramps.
void time_call(const call_frame& f) {
    const std::uint32_t n = f.n;
    double* const* args = f.args;
    double* out = f.out;
    double* x = args[0];
    switch (f.fn) {
    case fn_step:
        for (std::uint32_t i = 0; i < n; ++i)
            out[i] = sim_time + sim_dt / 2 > args[1][i] ? x[i] : 0.0;
        return;
    case fn_pulse:
        for (std::uint32_t i = 0; i < n; ++i) {
            double t = sim_time + sim_dt / 2, start = x[i], w = std::max(args[1][i], sim_dt);
            out[i] = t > start && t < start + w ? 1.0 : 0.0;
        }
        return;
    case fn_pulse_train:
        for (std::uint32_t i = 0; i < n; ++i)
            out[i] = pulse_train(x[i], args[1][i], args[2][i], args[3][i]);
        return;
    default: // fn_ramp
        for (std::uint32_t i = 0; i < n; ++i) {
            double t = sim_time, start = args[1][i], end = args[2][i];
            out[i] = t <= start ? 0.0 : x[i] * (std::min(t, end) - start);
        }
        return;
    }
}

// A lookup named as a function's first argument: its address is in the
// operand words, the value to look up on the stack.
void lookup_function_call(const call_frame& f) {
    const std::uint32_t lane0 = f.lane0, n = f.n;
    double* x = f.args[0];
    if (f.fn == fn_lookup_extrapolate) {
        std::int64_t first = static_cast<std::int32_t>(f.b);
        if (f.a == addr_strided) {
            std::int64_t stride = static_cast<std::int32_t>(f.cc);
            lookup_lanes(x, f.out, n, first + stride * lane0, stride, nullptr, true);
        } else {
            lookup_lanes(x, f.out, n, first, 0,
                         prog->units[static_cast<std::size_t>(cur_unit)].code.data() + f.cc + lane0,
                         true);
        }
        return;
    }
    std::uint32_t addr[3] = {f.a, f.b, f.cc};
    for (std::uint32_t i = 0; i < n; ++i)
        f.out[i] = lookup_inverse(luts[lane_index(addr, lane0 + i)], lut_data, x[i]);
}

// INITIAL and SAMPLE IF TRUE: a value held in the run's values at a.
void held_call(const call_frame& f) {
    const std::uint32_t lane0 = f.lane0, n = f.n;
    double* const* args = f.args;
    double* x = args[0];
    const int mode = f.mode;
    if (f.fn == fn_initial) {
        for (std::uint32_t i = 0; i < n; ++i) {
            float& h = value_array[f.a + lane0 + i];
            if (mode == em_initial) h = static_cast<float>(x[i]);
            f.out[i] = h;
        }
        return;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        float& h = value_array[f.a + lane0 + i];
        if (mode == em_initial)
            h = static_cast<float>(x[i] != 0 ? args[1][i] : args[2][i]);
        else if (mode == em_main && x[i] != 0)
            h = static_cast<float>(args[1][i]);
        f.out[i] = (mode == em_stage && x[i] != 0) ? args[1][i] : h;
    }
}

// A random draw from stream b, held at a; the stream is seeded by the last
// argument on its first use.
void random_call(const call_frame& f) {
    random_stream& r = streams[f.b];
    if (!seeded[f.b]) {
        seed_stream(r, f.args[f.nargs - 1][0]);
        seeded[f.b] = 1;
    }
    // One draw per TIME STEP: in the initial pass, and in a step's first
    // evaluation unless this value was drawn at this time already (the
    // initial pass at INITIAL TIME, the dynamic pass before the rates).
    for (std::uint32_t i = 0; i < f.n; ++i) {
        std::uint32_t k = f.a + f.lane0 + i;
        float& h = value_array[k];
        double& at = drawn_at[k - held_base];
        if (f.mode == em_initial || (f.mode == em_main && !(at == sim_time))) {
            h = static_cast<float>(draw(f.fn, f.args, i, r));
            at = sim_time;
        }
        f.out[i] = h;
    }
}

// A pipeline delay's output; its pipeline is made in the initial pass.
void delay_fixed_call(const call_frame& f) {
    for (std::uint32_t i = 0; i < f.n; ++i) {
        std::uint32_t k = f.a + f.lane0 + i;
        if (f.mode == em_initial) {
            double d = f.args[1][i];
            if (!(d >= 0)) fail_lane(f.lane0 + i, "The delay time is negative in");
            std::uint32_t need =
                sim_dt > 0 ? static_cast<std::uint32_t>(std::min(d / sim_dt + 4, 65535.0)) : 4;
            delay_object* o = new_delay(need);
            o->kind = fn_delay_fixed;
            o->delay = static_cast<float>(d);
            o->initial = o->output = static_cast<float>(f.args[2][i]);
            delays[k] = o;
        }
        f.out[i] = delay_output(k, f.mode);
    }
}

// A message shown where its condition is not 0; a negative one stops the run.
void message_call(const call_frame& f) {
    double* x = f.args[0];
    for (std::uint32_t i = 0; i < f.n; ++i) {
        f.out[i] = x[i];
        if (f.mode == em_stage || x[i] == 0 || x[i] == NAd) continue;
        const char* text = f.a < prog->texts.size() ? prog->texts[f.a].c_str() : "";
        if (expand_refs_fn h = expand_refs_hook()) text = h(text);
        if (x[i] < 0) {
            report(5, "%s", text);
            throw run_unwind(std::string("The simulation was stopped by a message: ") + text);
        }
        report(6, "%s", text);
    }
}

void call(const std::uint32_t* c, int base, std::uint32_t lane0, std::uint32_t n, int mode) {
    call_frame f;
    f.fn = static_cast<int>(c[0]);
    f.nargs = static_cast<int>(c[1]);
    f.a = c[2];
    f.b = c[3];
    f.cc = c[4];
    for (int k = 0; k < f.nargs && k < 8; ++k) f.args[k] = S(base + k);
    f.out = S(base);
    f.lane0 = lane0;
    f.n = n;
    f.mode = mode;
    switch (f.fn) {
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
    case fn_min:
    case fn_max:
    case fn_if_then_else:
    case fn_safe_div:
        math_call(f);
        return;
    case fn_step:
    case fn_pulse:
    case fn_pulse_train:
    case fn_ramp:
        time_call(f);
        return;
    case fn_lookup_extrapolate:
    case fn_lookup_invert:
        lookup_function_call(f);
        return;
    case fn_initial:
    case fn_sample_if_true:
        held_call(f);
        return;
    case fn_random_uniform:
    case fn_random_normal:
    case fn_random_exponential:
        random_call(f);
        return;
    case fn_delay_fixed:
        delay_fixed_call(f);
        return;
    case fn_message:
        message_call(f);
        return;
    default:
        break;
    }
    if (f.b && (f.fn >= fn_smooth && f.fn <= fn_forecast)) {
        stateful_call(f.fn, f.args, f.a, f.b, lane0, n, mode, f.out);
        return;
    }
    throw run_unwind("Internal error RT2314: unknown function " + std::to_string(f.fn));
}

// The rates of a stateful call's hidden states, or the push of a pipeline
// delay, with the arguments on the stack from base.
void state_rate_op(const std::uint32_t* c, int base, std::uint32_t lane0, std::uint32_t n,
                   int mode) {
    int fn = static_cast<int>(c[0]);
    int nargs = static_cast<int>(c[1]);
    std::uint32_t a = c[2], b = c[3];
    double* args[8];
    for (int k = 0; k < nargs && k < 8; ++k) args[k] = S(base + k);
    if (fn == fn_delay_fixed) {
        // A pipeline is made when its call is first evaluated in the initial
        // pass; one that never was (a unit outside that pass) takes no input.
        if (mode == em_main)
            for (std::uint32_t i = 0; i < n; ++i)
                if (const delay_object* d = delays[a + lane0 + i])
                    delay_push(a + lane0 + i, args[0][i], sim_time + d->delay, lane0 + i);
    } else {
        state_rates(fn, args, a, b, lane0, n);
    }
}

// A reference or a number directly followed by + - * / is applied to the
// operand below it in one pass (no vector is stored for it).
template <typename Op>
inline void apply_ref(double* __restrict a, const float* __restrict p, std::int64_t stride,
                      std::uint32_t n, Op op) {
    if (stride == 1) {
        for (std::uint32_t i = 0; i < n; ++i) {
            double x = a[i], y = p[i];
            bool m = (x == NAd) | (y == NAd);
            double r = op(x, y);
            a[i] = m ? NAd : r;
        }
    } else {
        for (std::uint32_t i = 0; i < n; ++i) {
            double x = a[i], y = p[stride * static_cast<std::int64_t>(i)];
            bool m = (x == NAd) | (y == NAd);
            double r = op(x, y);
            a[i] = m ? NAd : r;
        }
    }
}

template <typename Op>
inline void apply_value(double* __restrict a, double y, std::uint32_t n, Op op) {
    if (y == NAd) {
        for (std::uint32_t i = 0; i < n; ++i) a[i] = NAd;
        return;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        double x = a[i];
        double r = op(x, y);
        a[i] = x == NAd ? NAd : r;
    }
}

template <typename Op>
inline void pair_op(const float* __restrict a, const float* __restrict b, std::uint32_t n,
                    double* __restrict out, Op op) {
    for (std::uint32_t i = 0; i < n; ++i) {
        double x = a[i], y = b[i];
        bool m = (x == NAd) | (y == NAd);
        double r = op(x, y);
        out[i] = m ? NAd : r;
    }
}

void load_pair(std::uint32_t op, const float* a, const float* b, std::uint32_t n, double* out) {
    switch (op) {
    case nc_add:
        pair_op(a, b, n, out, [](double x, double y) { return x + y; });
        break;
    case nc_sub:
        pair_op(a, b, n, out, [](double x, double y) { return x - y; });
        break;
    case nc_mul:
        pair_op(a, b, n, out, [](double x, double y) { return x * y; });
        break;
    default:
        pair_op(a, b, n, out, [](double x, double y) { return x / y; });
        break;
    }
}

bool fuse_number(std::uint32_t next, double* a, double y, std::uint32_t n) {
    switch (next) {
    case nc_add:
        apply_value(a, y, n, [](double x, double z) { return x + z; });
        return true;
    case nc_sub:
        apply_value(a, y, n, [](double x, double z) { return x - z; });
        return true;
    case nc_mul:
        apply_value(a, y, n, [](double x, double z) { return x * z; });
        return true;
    case nc_div:
        apply_value(a, y, n, [](double x, double z) { return x / z; });
        return true;
    default:
        return false;
    }
}

// A reference read by every lane (stride 0) is applied as a number.
bool fuse_ref(std::uint32_t next, double* a, const float* base, std::int64_t stride,
              std::uint32_t lane0, std::uint32_t n) {
    if (stride == 0) return fuse_number(next, a, base[0], n);
    const float* p = base + stride * static_cast<std::int64_t>(lane0);
    switch (next) {
    case nc_add:
        apply_ref(a, p, stride, n, [](double x, double z) { return x + z; });
        return true;
    case nc_sub:
        apply_ref(a, p, stride, n, [](double x, double z) { return x - z; });
        return true;
    case nc_mul:
        apply_ref(a, p, stride, n, [](double x, double z) { return x * z; });
        return true;
    case nc_div:
        apply_ref(a, p, stride, n, [](double x, double z) { return x / z; });
        return true;
    default:
        return false;
    }
}

void eval(const std::uint32_t* code, std::uint32_t pc, int base, std::uint32_t lane0,
          std::uint32_t n, int mode);

// A number: applied to the operand below it when an arithmetic operator
// follows, else pushed.
[[gnu::always_inline]] inline void push_number(const std::uint32_t* code, std::uint32_t& pc,
                                               int& sp, int base, std::uint32_t n) {
    double x = as_float(code[pc++]);
    if (sp > base && fuse_number(code[pc], S(sp - 1), x, n)) {
        ++pc;
        return;
    }
    double* d = S(sp++);
    for (std::uint32_t i = 0; i < n; ++i) d[i] = x;
}

// A reference: applied to the operand below it when an arithmetic operator
// follows, combined with a second reference and its operator in one pass
// when both are lines of values, else pushed.
[[gnu::always_inline]] inline void push_ref(const std::uint32_t* code, std::uint32_t& pc, int& sp,
                                            int base, const float* v, std::uint32_t lane0,
                                            std::uint32_t n) {
    if (sp > base && code[pc] == addr_strided &&
        fuse_ref(code[pc + 3], S(sp - 1), v + static_cast<std::int32_t>(code[pc + 1]),
                 static_cast<std::int32_t>(code[pc + 2]), lane0, n)) {
        pc += 4;
        return;
    }
    // Two lines of values combined at once: A op B with both strided by 1.
    if (code[pc] == addr_strided && static_cast<std::int32_t>(code[pc + 2]) == 1 &&
        code[pc + 3] == nc_ref && code[pc + 4] == addr_strided &&
        static_cast<std::int32_t>(code[pc + 6]) == 1 && code[pc + 7] >= nc_add &&
        code[pc + 7] <= nc_div) {
        const float* pa = v + static_cast<std::int32_t>(code[pc + 1]) + lane0;
        const float* pb = v + static_cast<std::int32_t>(code[pc + 5]) + lane0;
        load_pair(code[pc + 7], pa, pb, n, S(sp++));
        pc += 8;
        return;
    }
    load(code + pc, v, lane0, n, S(sp++));
    pc += 3;
}

// A lookup applied in place to the value on top of the stack; addr holds its
// address words.
void lookup_in_place(const std::uint32_t* addr, double* a, std::uint32_t lane0, std::uint32_t n) {
    std::int64_t first = static_cast<std::int32_t>(addr[1]);
    if (addr[0] == addr_strided) {
        std::int64_t stride = static_cast<std::int32_t>(addr[2]);
        lookup_lanes(a, a, n, first + stride * lane0, stride, nullptr, false);
    } else {
        lookup_lanes(a, a, n, first, 0,
                     prog->units[static_cast<std::size_t>(cur_unit)].code.data() + addr[2] + lane0,
                     false);
    }
}

// SUM, PROD, VMIN and VMAX over a subscript: the argument's code (len words
// from pc) is evaluated over m elements per lane, then each lane's m values
// are reduced into one, pushed at sp.
void vector_call(const std::uint32_t* code, std::uint32_t pc, int sp, std::uint32_t lane0,
                 std::uint32_t n, int mode, int fn, std::uint32_t m) {
    eval(code, pc, sp, lane0 * m, n * m, mode);
    double* a = S(sp);
    for (std::uint32_t i = 0; i < n; ++i) {
        const double* g = a + static_cast<std::size_t>(i) * m;
        double r = fn == fn_prod ? 1.0 : (fn == fn_sum ? 0.0 : g[0]);
        bool na = false;
        for (std::uint32_t j = 0; j < m; ++j) {
            double x = g[j];
            na = na || x == NAd;
            switch (fn) {
            case fn_sum:
                r += x;
                break;
            case fn_prod:
                r *= x;
                break;
            case fn_vmin:
                r = value_min(r, x);
                break;
            default:
                r = value_max(r, x);
                break;
            }
        }
        a[i] = na ? NAd : r;
    }
}

// Reads an outside source's data or constants once per call of the run,
// through the reader the program set; the arguments are on the stack from
// sp. A source that cannot be read leaves the instance empty (NA).
void fill_data_instance(data_instance& d, int fn, int nargs, int sp, std::uint32_t first_text,
                        std::uint32_t ntexts) {
    d.filled = true;
    data_source_call call;
    call.function = fn;
    for (std::uint32_t k = 0; k < ntexts && first_text + k < prog->texts.size(); ++k)
        call.texts.push_back(prog->texts[first_text + k]);
    for (int k = 0; k < nargs; ++k) call.numbers.push_back(static_cast<float>(S(sp + k)[0]));
    call.elements = static_cast<int>(prog->units[static_cast<std::size_t>(cur_unit)].code[0]);
    call.target = unit_element_text(cur_unit, 0);
    bool ok = false;
    if (source_reader)
        ok = source_reader(call, &d.times, &d.values) == 1;
    else
        report(5, "Unable to get the values of %s from %s: no data reader", call.target.c_str(),
               call.texts.empty() ? "" : call.texts[0].c_str());
    if (!ok) {
        d.times.clear();
        d.values.clear();
    }
}

// A lane's data series at the simulated time: interpolated between its
// points, NA outside its span (half a TIME STEP either side) or without one.
double data_value(const data_instance& d, std::size_t lane) {
    if (lane >= d.times.size() || lane >= d.values.size()) return NAd;
    const auto& t = d.times[lane];
    const auto& y = d.values[lane];
    std::size_t m = std::min(t.size(), y.size());
    if (!m || sim_time < t[0] - sim_dt / 2 || sim_time > t[m - 1] + sim_dt / 2) return NAd;
    // The time in double, as the segment's line is computed.
    std::size_t k = static_cast<std::size_t>(
        std::upper_bound(t.begin(), t.begin() + static_cast<long>(m), sim_time) - t.begin());
    if (k == 0) return y[0];
    if (k >= m) return y[m - 1];
    double t0 = t[k - 1], t1 = t[k];
    return t1 == t0 ? y[k] : y[k - 1] + (sim_time - t0) / (t1 - t0) * (y[k] - y[k - 1]);
}

// A data or constants call whose operand words are at c; its arguments are
// on the stack from sp, where its result goes.
void data_call(const std::uint32_t* c, int sp, bool constants, std::uint32_t lane0,
               std::uint32_t n) {
    int fn = static_cast<int>(c[0]);
    int nargs = static_cast<int>(c[1]);
    data_instance& d = data_calls[c[2]];
    if (!d.filled) fill_data_instance(d, fn, nargs, sp, c[3], c[4]);
    double* out = S(sp);
    for (std::uint32_t i = 0; i < n; ++i) {
        std::size_t lane = lane0 + i;
        if (constants)
            out[i] = lane < d.values.size() && !d.values[lane].empty() ? d.values[lane][0] : NAd;
        else
            out[i] = data_value(d, lane);
    }
}

// Evaluates code from pc over lanes lane0..lane0+n-1 with its stack from base;
// the result is in S(base).
void eval(const std::uint32_t* code, std::uint32_t pc, int base, std::uint32_t lane0,
          std::uint32_t n, int mode) {
    int sp = base;
    const float* v = value_array;
    for (;;) {
        std::uint32_t op = code[pc++];
        switch (op) {
        case op_end:
            return;
        case nc_number:
            push_number(code, pc, sp, base, n);
            break;
        case nc_ref:
            push_ref(code, pc, sp, base, v, lane0, n);
            break;
        case op_number_table: {
            const std::uint32_t* t = code + code[pc++] + lane0;
            double* d = S(sp++);
            for (std::uint32_t i = 0; i < n; ++i) d[i] = as_float(t[i]);
            break;
        }
#define BINARY(code_, expr_)                                                                       \
    case code_: {                                                                                  \
        double* __restrict a = S(sp - 2);                                                          \
        const double* __restrict b = S(sp - 1);                                                    \
        for (std::uint32_t i = 0; i < n; ++i) {                                                    \
            double x = a[i], y = b[i];                                                             \
            bool m = (x == NAd) | (y == NAd);                                                      \
            double r = (expr_);                                                                    \
            a[i] = m ? NAd : r;                                                                    \
        }                                                                                          \
        --sp;                                                                                      \
        break;                                                                                     \
    }
            BINARY(nc_add, x + y)
            BINARY(nc_sub, x - y)
            BINARY(nc_mul, x * y)
            BINARY(nc_div, x / y)
            BINARY(nc_pow, std::pow(x, y))
#undef BINARY
#define COMPARE(code_, expr_)                                                                      \
    case code_: {                                                                                  \
        double* __restrict a = S(sp - 2);                                                          \
        const double* __restrict b = S(sp - 1);                                                    \
        for (std::uint32_t i = 0; i < n; ++i) {                                                    \
            double x = a[i], y = b[i];                                                             \
            a[i] = (expr_) ? 1.0 : 0.0;                                                            \
        }                                                                                          \
        --sp;                                                                                      \
        break;                                                                                     \
    }
            COMPARE(nc_eq, x == y)
            COMPARE(nc_ne, x != y)
            COMPARE(nc_lt, x < y)
            COMPARE(nc_le, x <= y)
            COMPARE(nc_gt, x > y)
            COMPARE(nc_ge, x >= y)
            COMPARE(nc_and, x != 0 && y != 0)
            COMPARE(nc_or, x != 0 || y != 0)
#undef COMPARE
        case nc_neg: {
            double* a = S(sp - 1);
            for (std::uint32_t i = 0; i < n; ++i) {
                double x = a[i];
                a[i] = x == NAd ? NAd : -x;
            }
            break;
        }
        case nc_not: {
            double* a = S(sp - 1);
            for (std::uint32_t i = 0; i < n; ++i) a[i] = a[i] == 0 ? 1.0 : 0.0;
            break;
        }
        case nc_lookup_call:
            lookup_in_place(code + pc, S(sp - 1), lane0, n);
            pc += 3;
            break;
        case nc_call: {
            int nargs = static_cast<int>(code[pc + 1]);
            call(code + pc, sp - nargs, lane0, n, mode);
            sp = sp - nargs + 1;
            pc += 5;
            break;
        }
        case nc_vector_call: {
            int fn = static_cast<int>(code[pc]);
            std::uint32_t m = code[pc + 1];
            std::uint32_t len = code[pc + 2];
            pc += 3;
            vector_call(code, pc, sp++, lane0, n, mode, fn, m);
            pc += len;
            break;
        }
        case nc_call_data:
        case nc_call_constants:
            sp -= static_cast<int>(code[pc + 1]);
            data_call(code + pc, sp++, op == nc_call_constants, lane0, n);
            pc += 5;
            break;
        case op_state_rate: {
            int nargs = static_cast<int>(code[pc + 1]);
            sp -= nargs;
            state_rate_op(code + pc, sp, lane0, n, mode);
            pc += 5;
            break;
        }
        default:
            throw run_unwind("Internal error RT2315: bad opcode " + std::to_string(op));
        }
    }
}

// Whether eval_scalar computes the code from pc: it must know before it
// starts, since a call it has made (a draw, a message) must not be made
// again by the chunked code.
bool scalar_code(const std::uint32_t* code, std::uint32_t pc) {
    for (;;) {
        std::uint32_t op = code[pc++];
        switch (op) {
        case op_end:
            return true;
        case nc_number:
        case op_number_table:
            ++pc;
            break;
        case nc_ref:
        case nc_lookup_call:
            pc += 3;
            break;
        case nc_call:
            pc += 5;
            break;
        case nc_add:
        case nc_sub:
        case nc_mul:
        case nc_div:
        case nc_pow:
        case nc_eq:
        case nc_ne:
        case nc_lt:
        case nc_le:
        case nc_gt:
        case nc_ge:
        case nc_and:
        case nc_or:
        case nc_neg:
        case nc_not:
            break;
        default:
            return false;
        }
    }
}

// Whether unit index (code c from start) runs on the scalar path, found
// once per run.
bool scalar_path(int index, const std::uint32_t* c, std::uint32_t start) {
    if (static_cast<std::size_t>(index) >= scalar_units.size()) return false;
    std::int8_t& known = scalar_units[static_cast<std::size_t>(index)];
    if (known < 0) known = scalar_code(c, start) ? 1 : 0;
    return known == 1;
}

// One lane of a unit without vector calls: a plain stack of doubles, no loops.
// Calls and lookups with tables go through the chunked code with one lane.
bool eval_scalar(const std::uint32_t* code, std::uint32_t pc, int mode, double& result) {
    double st[scalar_stack];
    int sp = 0;
    const float* v = value_array;
    for (;;) {
        std::uint32_t op = code[pc++];
        switch (op) {
        case op_end:
            result = st[sp - 1];
            return true;
        case nc_number:
        case nc_ref: {
            double y;
            if (op == nc_number) {
                y = as_float(code[pc++]);
            } else {
                y = code[pc] == addr_strided ? v[static_cast<std::int32_t>(code[pc + 1])]
                                             : v[static_cast<std::int32_t>(code[pc + 1]) +
                                                 static_cast<std::int32_t>(code[code[pc + 2]])];
                pc += 3;
            }
            // An operand directly followed by + - * / is applied at once.
            std::uint32_t next = code[pc];
            if (sp > 0 && next >= nc_add && next <= nc_div) {
                double x = st[sp - 1];
                double r = next == nc_add   ? x + y
                           : next == nc_sub ? x - y
                           : next == nc_mul ? x * y
                                            : x / y;
                st[sp - 1] = na2(x, y) ? NAd : r;
                ++pc;
                break;
            }
            st[sp++] = y;
            break;
        }
        case op_number_table:
            st[sp++] = as_float(code[code[pc++]]);
            break;
#define SBIN(code_, expr_)                                                                         \
    case code_: {                                                                                  \
        double x = st[sp - 2], y = st[sp - 1];                                                     \
        st[sp - 2] = na2(x, y) ? NAd : (expr_);                                                    \
        --sp;                                                                                      \
        break;                                                                                     \
    }
            SBIN(nc_add, x + y)
            SBIN(nc_sub, x - y)
            SBIN(nc_mul, x * y)
            SBIN(nc_div, x / y)
            SBIN(nc_pow, std::pow(x, y))
#undef SBIN
#define SCMP(code_, expr_)                                                                         \
    case code_: {                                                                                  \
        double x = st[sp - 2], y = st[sp - 1];                                                     \
        st[sp - 2] = (expr_) ? 1.0 : 0.0;                                                          \
        --sp;                                                                                      \
        break;                                                                                     \
    }
            SCMP(nc_eq, x == y)
            SCMP(nc_ne, x != y)
            SCMP(nc_lt, x < y)
            SCMP(nc_le, x <= y)
            SCMP(nc_gt, x > y)
            SCMP(nc_ge, x >= y)
            SCMP(nc_and, x != 0 && y != 0)
            SCMP(nc_or, x != 0 || y != 0)
#undef SCMP
        case nc_neg:
            st[sp - 1] = st[sp - 1] == NAd ? NAd : -st[sp - 1];
            break;
        case nc_not:
            st[sp - 1] = st[sp - 1] == 0 ? 1.0 : 0.0;
            break;
        case nc_lookup_call: {
            double x = st[sp - 1];
            st[sp - 1] =
                x == NAd ? NAd : lookup_value(luts[lane_index(code + pc, 0)], lut_data, x, false);
            pc += 3;
            break;
        }
        case nc_call: {
            int nargs = static_cast<int>(code[pc + 1]);
            int base = sp - nargs;
            for (int k = 0; k < nargs; ++k) S(k)[0] = st[base + k];
            call(code + pc, 0, 0, 1, mode);
            st[base] = S(0)[0];
            sp = base + 1;
            pc += 5;
            break;
        }
        default:
            return false; // anything else: the chunked evaluator
        }
    }
}

// Reads the points of lookups filled from outside sources into the run's
// lookup tables (the data block grows; the old points stay unused).
void load_lookup_sources(const sim_program& p) {
    for (const lookup_source& src : p.lookup_sources) {
        data_source_call call;
        call.function = src.function;
        call.texts = src.texts;
        call.numbers = src.numbers;
        call.elements = static_cast<int>(src.lookups.size());
        {
            model_lock_guard g(prog_symbols, 0);
            call.target = g.ok() ? element_text(src.sym, 0) : "";
        }
        std::vector<std::vector<float>> xs, ys;
        if (!source_reader) {
            report(3, "The points of %s cannot be read: no data reader; its stored points are used",
                   call.target.c_str());
            continue;
        }
        if (source_reader(call, &xs, &ys) != 1) continue;
        std::size_t extra = 0;
        for (std::size_t e = 0; e < src.lookups.size() && e < xs.size() && e < ys.size(); ++e)
            extra += 2 * std::min(xs[e].size(), ys[e].size());
        if (!extra) continue;
        auto* grown = static_cast<float*>(block_alloc(sim_pool, 4 * (lut_cells + extra + 1), 0));
        std::memcpy(grown, lut_data, 4 * static_cast<std::size_t>(lut_cells));
        std::uint32_t at = lut_cells;
        for (std::size_t e = 0; e < src.lookups.size() && e < xs.size() && e < ys.size(); ++e) {
            int slot = src.lookups[e];
            std::size_t m = std::min(xs[e].size(), ys[e].size());
            if (slot < 0 || static_cast<std::uint32_t>(slot) >= p.lookups || !m) continue;
            lookup_table& t = luts[slot];
            t.x = at;
            std::memcpy(grown + at, xs[e].data(), 4 * m);
            at += static_cast<std::uint32_t>(m);
            t.y = at;
            std::memcpy(grown + at, ys[e].data(), 4 * m);
            at += static_cast<std::uint32_t>(m);
            t.count = t.capacity = static_cast<std::uint32_t>(m);
            t.segment = 0;
            t.flags = lookup_rise_flag(grown + t.x, t.count);
            t.xmin = xs[e].front();
            t.xmax = xs[e][m - 1];
            t.ymin = *std::min_element(ys[e].begin(), ys[e].begin() + static_cast<long>(m));
            t.ymax = *std::max_element(ys[e].begin(), ys[e].begin() + static_cast<long>(m));
        }
        lut_data = grown;
        lut_cells = at;
    }
}

} // namespace

// The loops of the time loop that run over every state, kept here where the
// compiler vectorises them.
std::uint32_t count_non_finite(const float* p, std::size_t n) {
    std::uint32_t bad = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t b;
        __builtin_memcpy(&b, p + i, 4);
        bad += ((b >> 23) & 0xFFu) == 0xFFu;
    }
    return bad;
}

namespace {

// The update of a few states, one at a time: the pass before stored their
// rates one by one, and a vector load of floats still on their way to the
// cache waits until every one of them has arrived (a stall longer than the
// update of a few dozen states).
#if defined(__clang__)
#define KAVREL_SCALAR_FUNCTION
#define KAVREL_SCALAR_LOOP _Pragma("clang loop vectorize(disable)")
#else
#define KAVREL_SCALAR_FUNCTION __attribute__((optimize("no-tree-vectorize")))
#define KAVREL_SCALAR_LOOP
#endif
KAVREL_SCALAR_FUNCTION bool euler_update_scalar(float* __restrict v, const float* __restrict r,
                                                std::size_t n, float h) {
    std::uint32_t bad = 0;
    KAVREL_SCALAR_LOOP
    for (std::size_t i = 0; i < n; ++i) {
        float x = v[i] + h * r[i];
        v[i] = x;
        std::uint32_t b;
        __builtin_memcpy(&b, &x, 4);
        // An exponent of all ones (not finite) carries into the sign bit.
        bad |= (b & 0x7F800000u) + 0x00800000u;
    }
    return (bad & 0x80000000u) != 0;
}

// Below this many states the one-at-a-time update is the faster: ten states
// (the 50-variable chain) run 7 % faster one at a time, while a vector loop
// updates 40 states in a third of the time when their rates are not fresh.
constexpr std::size_t euler_scalar_below = 32;

} // namespace

namespace {

// The flag is ORed over all lanes (no early exit) so the loop stays one
// vector loop; the caller looks for the culprit only when it is set.
[[gnu::always_inline]] inline bool
euler_update_lanes(float* __restrict v, const float* __restrict r, std::size_t n, float h) {
    std::uint32_t bad = 0;
    for (std::size_t i = 0; i < n; ++i) {
        float x = v[i] + h * r[i];
        v[i] = x;
        std::uint32_t b;
        __builtin_memcpy(&b, &x, 4);
        bad |= static_cast<std::uint32_t>(((b >> 23) & 0xFFu) == 0xFFu);
    }
    return bad != 0;
}

bool euler_update_vector(float* __restrict v, const float* __restrict r, std::size_t n, float h) {
    return euler_update_lanes(v, r, n, h);
}

// The same loop for processors with wider vectors: a multiply and an add
// per lane as above (the target has no fused multiply-add, so nothing is
// contracted), so the same values; a large model's update takes half the time.
#if defined(__GNUC__) && defined(__x86_64__)
[[gnu::target("avx2")]] bool euler_update_wider(float* __restrict v, const float* __restrict r,
                                                std::size_t n, float h) {
    return euler_update_lanes(v, r, n, h);
}
bool euler_wider() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has && wider_allowed;
}
#else
bool euler_update_wider(float* __restrict v, const float* __restrict r, std::size_t n, float h) {
    return euler_update_lanes(v, r, n, h);
}
bool euler_wider() {
    return false;
}
#endif

} // namespace

bool euler_update(float* __restrict v, const float* __restrict r, std::size_t n, float h) {
    if (n < euler_scalar_below) return euler_update_scalar(v, r, n, h);
    return euler_wider() ? euler_update_wider(v, r, n, h) : euler_update_vector(v, r, n, h);
}

// ------------------------------------------------------------------ lookups ---

bool lookup_locate_search(lookup_table& t, const float* data, double x, bool extrapolate,
                          double& value, lookup_span& span) {
    const float* px = data + t.x;
    const float* py = data + t.y;
    std::uint32_t n = t.count;
    value = NAd;
    if (n == 0) return false;
    value = py[0];
    if (n == 1) return false;
    // Beyond an end, the line of the end segment, computed as inside it.
    if (x <= px[0]) {
        if (!extrapolate || px[1] == px[0]) return false;
        span = segment_span(px, py, 0);
        return true;
    }
    if (x >= px[n - 1]) {
        value = py[n - 1];
        if (!extrapolate || x == px[n - 1] || px[n - 1] == px[n - 2]) return false;
        span = segment_span(px, py, n - 2);
        return true;
    }
    // The current segment first: successive calls usually stay in it or move by one.
    std::uint32_t k = static_cast<std::uint32_t>(
        std::clamp<std::int32_t>(t.segment, 0, static_cast<std::int32_t>(n) - 2));
    if (!(x >= px[k] && x <= px[k + 1])) {
        if (k + 2 < n && x >= px[k + 1] && x <= px[k + 2]) {
            ++k;
        } else {
            // In double: x just below a point whose float x rounds to is in
            // the segment below it.
            const float* hi = std::upper_bound(px, px + n, x);
            k = static_cast<std::uint32_t>(std::max<std::ptrdiff_t>(1, hi - px) - 1);
            if (k > n - 2) k = n - 2;
        }
        t.segment = static_cast<std::int32_t>(k);
    }
    value = py[k + 1];
    if (px[k + 1] == px[k]) return false;
    span = segment_span(px, py, k);
    return true;
}

namespace {
// The spans of a chunk of lookups, one array per field so that the
// interpolation loop runs over whole vectors.
std::vector<double> span_scratch;
} // namespace

// The two loops over a run of lanes of one segment, built also for
// processors with wider vectors (the same operations, so the same values).
#if defined(__GNUC__) && defined(__x86_64__)
#define LOOKUP_WIDER __attribute__((target("avx2")))
bool lookup_wider() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has && wider_allowed;
}
#else
#define LOOKUP_WIDER
bool lookup_wider() {
    return false;
}
#endif

// How many of x[0..n) are NA or inside (lo, hi), W lanes at a time (the
// compiler does not vectorise the counting loop by itself).
using lanes2 = double __attribute__((vector_size(16)));
using mask2 = long long __attribute__((vector_size(16)));
using lanes4 = double __attribute__((vector_size(32)));
using mask4 = long long __attribute__((vector_size(32)));
template <typename lanes, typename mask, int W>
__attribute__((always_inline)) inline std::uint32_t inside_body(const double* x, std::uint32_t n,
                                                                double lo, double hi) {
    lanes na, low, high;
    for (int k = 0; k < W; ++k) {
        na[k] = NAd;
        low[k] = lo;
        high[k] = hi;
    }
    mask in = {};
    std::uint32_t l = 0;
    for (; l + W <= n; l += W) {
        lanes v;
        std::memcpy(&v, x + l, sizeof v);
        in += (v == na) | ((v > low) & (v < high)); // -1 per lane that counts
    }
    std::int64_t count = 0;
    for (int k = 0; k < W; ++k) count -= in[k];
    for (; l < n; ++l) count += x[l] == NAd || (x[l] > lo && x[l] < hi);
    return static_cast<std::uint32_t>(count);
}
std::uint32_t lanes_inside(const double* x, std::uint32_t n, double lo, double hi) {
    return inside_body<lanes2, mask2, 2>(x, n, lo, hi);
}
LOOKUP_WIDER std::uint32_t lanes_inside_wider(const double* x, std::uint32_t n, double lo,
                                              double hi) {
    return inside_body<lanes4, mask4, 4>(x, n, lo, hi);
}

// y0 + (x - x0) dy / dx over a run of lanes, from x into out or (x the same
// array as out) in place; the arrays never overlap otherwise.
__attribute__((always_inline)) inline void interpolate_body(const double* x, double* out,
                                                            std::uint32_t n, const lookup_span& s) {
    const double x0 = s.x0, y0 = s.y0, dy = s.dy, dx = s.dx;
    auto at = [&](double v) { return v == NAd ? NAd : y0 + (v - x0) * dy / dx; };
    if (x == out) {
        double* __restrict v = out;
        for (std::uint32_t l = 0; l < n; ++l) v[l] = at(v[l]);
        return;
    }
    const double* __restrict from = x;
    double* __restrict to = out;
    for (std::uint32_t l = 0; l < n; ++l) to[l] = at(from[l]);
}
void interpolate_run(const double* x, double* out, std::uint32_t n, const lookup_span& s) {
    interpolate_body(x, out, n, s);
}
LOOKUP_WIDER void interpolate_run_wider(const double* x, double* out, std::uint32_t n,
                                        const lookup_span& s) {
    interpolate_body(x, out, n, s);
}

// Every lane reads one table: runs of lanes inside its current segment (the
// test lookup_locate makes first) are interpolated together with the span's
// values held; a lane outside it is looked up alone and may move the segment.
void lookup_one_table(const double* x, double* out, std::uint32_t n, lookup_table& t,
                      bool extrapolate) {
    const float* px = lut_data + t.x;
    const float* py = lut_data + t.y;
    const std::int64_t count = t.count;
    std::uint32_t i = 0;
    while (i < n) {
        std::int64_t k = t.segment;
        std::uint32_t j = i;
        if (count >= 2 && k >= 0 && k + 2 <= count) {
            const double first = px[0], last = px[count - 1];
            const double lo = std::max(first, static_cast<double>(px[k]));
            const double hi = std::min(last, static_cast<double>(px[k + 1]));
            // x > first and x >= px[k], x < last and x <= px[k + 1]: with the
            // closed ends moved out to the next double, open tests only.
            const double below = lo != first ? std::nextafter(lo, -HUGE_VAL) : lo;
            const double above = hi != last ? std::nextafter(hi, HUGE_VAL) : hi;
            auto inside = [&](double v) { return v > below && v < above; };
            const bool wider = lookup_wider();
            // All lanes in one segment is the usual case, counted as vectors
            // once; after a lane has moved the segment the run is scanned lane
            // by lane, so lanes spread over many segments cost no more than
            // one pass.
            if (i == 0 &&
                (wider ? lanes_inside_wider : lanes_inside)(x + i, n - i, below, above) == n - i)
                j = n;
            else
                while (j < n && (x[j] == NAd || inside(x[j]))) ++j;
            if (j > i) {
                if (px[k + 1] == px[k]) {
                    double v = py[k + 1];
                    for (std::uint32_t l = i; l < j; ++l) out[l] = x[l] == NAd ? NAd : v;
                } else {
                    const lookup_span s = segment_span(px, py, k);
                    (wider ? interpolate_run_wider : interpolate_run)(x + i, out + i, j - i, s);
                }
            }
        }
        if (j == n) break;
        double v = x[j];
        out[j] = v == NAd ? NAd : lookup_value(t, lut_data, v, extrapolate);
        i = j + 1;
    }
}

void lookup_lanes(const double* x, double* out, std::uint32_t n, std::int64_t base,
                  std::int64_t stride, const std::uint32_t* index, bool extrapolate) {
    if (stride == 0 && !index) {
        lookup_one_table(x, out, n, luts[base], extrapolate);
        return;
    }
    if (span_scratch.size() < 5 * static_cast<std::size_t>(n)) span_scratch.resize(5 * n);
    double* __restrict off = span_scratch.data(); // x - x0
    double* __restrict y0 = off + n;
    double* __restrict dy = y0 + n;
    double* __restrict dx = dy + n;
    double* __restrict use = dx + n;
    for (std::uint32_t i = 0; i < n; ++i) {
        double xi = x[i], value = NAd;
        lookup_span s{0, 0, 0, 1};
        bool span = false;
        if (xi != NAd) {
            lookup_table& t = luts[base + stride * static_cast<std::int64_t>(i) +
                                   (index ? static_cast<std::int64_t>(index[i]) : 0)];
            span = lookup_locate(t, lut_data, xi, extrapolate, value, s);
        }
        off[i] = xi - s.x0;
        y0[i] = s.y0;
        dy[i] = s.dy;
        dx[i] = s.dx;
        use[i] = span ? 1.0 : 0.0;
        out[i] = value;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        double r = y0[i] + off[i] * dy[i] / dx[i];
        out[i] = use[i] != 0 ? r : out[i];
    }
}

// ------------------------------------------------------------------- random ---

namespace {
std::uint64_t splitmix(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
std::uint64_t rotl(std::uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}
} // namespace

void seed_stream(random_stream& r, double seed) {
    std::uint64_t x;
    double s = std::isfinite(seed) ? seed : 0.0;
    std::memcpy(&x, &s, 8);
    for (auto& w : r.s) w = splitmix(x);
}

double stream_uniform(random_stream& r) {
    std::uint64_t* s = r.s;
    std::uint64_t result = rotl(s[1] * 5, 7) * 9;
    std::uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotl(s[3], 45);
    return static_cast<double>(result >> 11) * 0x1.0p-53;
}

double stream_normal(random_stream& r) {
    // Box-Muller; one of the pair is used so that each draw takes two numbers.
    double u1 = stream_uniform(r), u2 = stream_uniform(r);
    if (u1 <= 0) u1 = 0x1.0p-53;
    return std::sqrt(-2 * std::log(u1)) * std::cos(2 * M_PI * u2);
}

// -------------------------------------------------------------------- setup ---

int interp_begin(const sim_program& p, handle symbols, const lookup_table* lookup_copy,
                 const float* lookup_data_copy, std::uint32_t lookup_data_cells) {
    prog = &p;
    prog_symbols = symbols;
    if (!sim_pool) sim_pool = new_block(0);
    std::size_t total = p.value_slots + p.hidden_states + p.held_values + p.test_input_values;
    value_array = static_cast<float*>(block_alloc(sim_pool, 4 * (total + 1), 0));
    rate_array =
        static_cast<float*>(block_alloc(sim_pool, 4 * (p.value_slots + p.hidden_states + 1), 0));
    value_slot_count = p.value_slots;
    level_slot_count = p.level_slots;
    // Lookups.
    luts = static_cast<lookup_table*>(
        block_alloc(sim_pool, sizeof(lookup_table) * (p.lookups + 1), 0));
    if (lookup_copy && lookup_data_copy) {
        lut_cells = lookup_data_cells;
        lut_data = static_cast<float*>(block_alloc(sim_pool, 4 * (lut_cells + 1), 0));
        std::memcpy(lut_data, lookup_data_copy, 4 * lut_cells);
        std::memcpy(luts, lookup_copy, sizeof(lookup_table) * p.lookups);
    } else {
        model_lock_guard g(symbols, 0);
        if (!g.ok()) return 0;
        lut_cells = model_lookup_data ? reinterpret_cast<const bhead*>(model_lookup_data)->cur : 0;
        lut_data = static_cast<float*>(block_alloc(sim_pool, 4 * (lut_cells + 1), 0));
        if (lut_cells) std::memcpy(lut_data, model_lookup_data, 4 * lut_cells);
        for (std::uint32_t i = 0; i < p.lookups; ++i) {
            const lookup_entry* e = lookup_at(static_cast<int>(i));
            lookup_table& t = luts[i];
            t = lookup_table{};
            if (!e || e->x + e->npoints > lut_cells || e->y + e->npoints > lut_cells) continue;
            t.symbol = e->symbol;
            t.element = e->element;
            t.x = e->x;
            t.y = e->y;
            t.count = t.capacity = e->npoints;
        }
    }
    for (std::uint32_t i = 0; i < p.lookups; ++i) {
        lookup_table& t = luts[i];
        t.segment = 0;
        t.flags = 0;
        if (!t.count) continue;
        const float* px = lut_data + t.x;
        const float* py = lut_data + t.y;
        t.flags = lookup_rise_flag(px, t.count);
        t.xmin = px[0];
        t.xmax = px[t.count - 1];
        t.ymin = *std::min_element(py, py + t.count);
        t.ymax = *std::max_element(py, py + t.count);
    }
    load_lookup_sources(p);
    delays = static_cast<delay_object**>(
        block_alloc(sim_pool, sizeof(void*) * (p.delay_objects + 1), 0));
    streams = static_cast<random_stream*>(
        block_alloc(sim_pool, sizeof(random_stream) * (p.random_streams + 1), 0));
    seeded = static_cast<std::uint8_t*>(block_alloc(sim_pool, p.random_streams + 1, 0));
    held_base = p.value_slots + p.hidden_states;
    drawn_at = static_cast<double*>(
        block_alloc(sim_pool, sizeof(double) * (p.random_streams ? p.held_values + 1 : 1), 0));
    if (p.random_streams)
        std::fill(drawn_at, drawn_at + p.held_values + 1, std::numeric_limits<double>::quiet_NaN());
    scalar_units.assign(p.units.size(), -1);
    data_calls.assign(p.data_calls, data_instance{});
    std::uint32_t mm = std::max<std::uint32_t>(p.max_lanes, 1);
    cap = std::max<std::uint32_t>(512, mm);
    stack_mem.assign(static_cast<std::size_t>(cap) * (p.max_stack + 2), 0.0);
    flat_dynamic = flat_rates = nullptr;
    flat_initial = nullptr;
    if (flat_passes()) use_flat_forms(p);
    return 1;
}

void interp_end() {
    flat_dynamic = flat_rates = nullptr;
    flat_initial = nullptr;
    prog = nullptr;
    luts = nullptr;
    lut_data = nullptr;
    delays = nullptr;
    streams = nullptr;
    seeded = nullptr;
    drawn_at = nullptr;
    scalar_units.clear();
    value_array = nullptr;
    rate_array = nullptr;
    stack_mem.clear();
    stack_mem.shrink_to_fit();
    data_calls.clear();
}

void set_data_source_reader(data_source_reader reader) {
    source_reader = reader;
}

lookup_table* run_lookup_tables() {
    return luts;
}
float* run_lookup_data() {
    return lut_data;
}
std::uint32_t run_lookup_data_cells() {
    return lut_cells;
}
delay_object** run_delay_objects() {
    return delays;
}

std::int64_t unit_target_slot(int unit, std::uint32_t lane) {
    if (!prog || unit < 0 || static_cast<std::size_t>(unit) >= prog->units.size()) return -1;
    const std::uint32_t* c = prog->units[static_cast<std::size_t>(unit)].code.data();
    const std::uint32_t* h = c + 2 + c[1];
    if (h[0] == 2 || lane >= c[0]) return -1;
    int saved = cur_unit;
    cur_unit = unit;
    std::int64_t slot = lane_index(h + 1, lane);
    cur_unit = saved;
    return slot;
}

std::string unit_element_text(int unit, std::uint32_t lane) {
    if (!prog || unit < 0 || static_cast<std::size_t>(unit) >= prog->units.size()) return "?";
    const code_unit& u = prog->units[static_cast<std::size_t>(unit)];
    model_lock_guard g(prog_symbols, 0);
    if (!g.ok()) return "?";
    std::uint32_t off = lane < u.targets.size() ? u.targets[lane] : 0;
    return element_text(u.sym, off);
}

// --------------------------------------------------------------- evaluation ---

void eval_unit(int index, int mode) {
    const code_unit& u = prog->units[static_cast<std::size_t>(index)];
    const std::uint32_t* c = u.code.data();
    cur_unit = index;
    std::uint32_t lanes = c[0], loops = c[1];
    const std::uint32_t* h = c + 2 + loops;
    std::uint32_t array = h[0];
    const std::uint32_t* addr = h + 1;
    std::uint32_t start = h[4], m = h[5];
    if (lanes == 1 && m == 1 && array != 2 &&
        prog->max_stack <= static_cast<std::uint32_t>(scalar_stack) &&
        scalar_path(index, c, start)) {
        double r;
        if (eval_scalar(c, start, mode, r)) {
            float f = static_cast<float>(r);
            (array == 1 ? rate_array : value_array)[lane_index(addr, 0)] = f;
            if (!std::isfinite(f)) fail_lane(0, "Floating point error computing");
            return;
        }
    }
    // A plain copy of another variable's elements in the same order (a level
    // whose rate is one flow): floats are copied as they are, already checked.
    if (array != 2 && addr[0] == addr_strided && static_cast<std::int32_t>(addr[2]) == 1 &&
        c[start] == nc_ref && c[start + 1] == addr_strided &&
        (static_cast<std::int32_t>(c[start + 3]) == 1 || lanes == 1) && c[start + 4] == op_end) {
        float* d = (array == 1 ? rate_array : value_array) + addr[1];
        const float* src = value_array + static_cast<std::int32_t>(c[start + 2]);
        if (d != src) std::memmove(d, src, 4 * static_cast<std::size_t>(lanes));
        return;
    }
    // Chunks small enough for the operand vectors to stay in the first-level cache.
    std::uint32_t chunk = std::max<std::uint32_t>(
        1,
        std::min(lanes, std::min<std::uint32_t>(chunk_lanes, cap / std::max<std::uint32_t>(m, 1))));
    float* dst = array == 1 ? rate_array : value_array;
    for (std::uint32_t k0 = 0; k0 < lanes; k0 += chunk) {
        std::uint32_t n = std::min(chunk, lanes - k0);
        eval(c, start, 0, k0, n, mode);
        if (array == 2) continue;
        const double* r = S(0);
        bool bad = false;
        if (addr[0] == addr_strided && static_cast<std::int32_t>(addr[2]) == 1) {
            float* __restrict d = dst + addr[1] + k0;
            std::uint32_t count = 0;
            for (std::uint32_t i = 0; i < n; ++i) {
                float f = static_cast<float>(r[i]);
                d[i] = f;
                std::uint32_t b;
                __builtin_memcpy(&b, &f, 4);
                count += ((b >> 23) & 0xFFu) == 0xFFu;
            }
            bad = count != 0;
        } else {
            for (std::uint32_t i = 0; i < n; ++i) {
                float f = static_cast<float>(r[i]);
                dst[lane_index(addr, k0 + i)] = f;
                bad |= !std::isfinite(f);
            }
        }
        if (bad) {
            for (std::uint32_t i = 0; i < n; ++i)
                if (!std::isfinite(static_cast<float>(r[i])))
                    fail_lane(k0 + i, "Floating point error computing");
        }
    }
}

void eval_constraint(int index, std::vector<std::uint32_t>& failed) {
    failed.clear();
    const code_unit& u = prog->units[static_cast<std::size_t>(index)];
    const std::uint32_t* c = u.code.data();
    cur_unit = index;
    std::uint32_t lanes = c[0];
    const std::uint32_t* h = c + 2 + c[1];
    std::uint32_t start = h[4], m = h[5];
    std::uint32_t chunk = std::max<std::uint32_t>(
        1,
        std::min(lanes, std::min<std::uint32_t>(chunk_lanes, cap / std::max<std::uint32_t>(m, 1))));
    for (std::uint32_t k0 = 0; k0 < lanes; k0 += chunk) {
        std::uint32_t n = std::min(chunk, lanes - k0);
        eval(c, start, 0, k0, n, em_main);
        const double* r = S(0);
        for (std::uint32_t i = 0; i < n; ++i)
            if (r[i] == 0) failed.push_back(k0 + i);
    }
}

void eval_units(const std::vector<int>& order, int mode) {
    if (mode != em_initial && prog) {
        if (flat_dynamic && &order == &prog->dynamic_order) {
            flat_dynamic->run(mode);
            return;
        }
        if (flat_rates && &order == &prog->rate_order) {
            flat_rates->run(mode);
            return;
        }
    }
    for (int u : order) eval_unit(u, mode);
}

bool run_initial_pass(const sim_program& p, const float* setup_values,
                      const std::uint8_t* setup_changed) {
    if (!flat_initial || prog != &p) return false;
    changed_numbers.clear();
    if (setup_values && setup_changed)
        for (std::uint32_t s = 0; s < p.value_slots; ++s) {
            if (!setup_changed[s]) continue;
            if (flat_initial->role[s] == 2) return false; // put in after a unit of the pass
            if (flat_initial->role[s] == 1) changed_numbers.push_back(s);
        }
    before_initial.assign(value_array, value_array + p.value_slots);
    ++initial_runs;
    for (const auto& [slot, value] : flat_initial->numbers) value_array[slot] = value;
    for (std::uint32_t s : changed_numbers) value_array[s] = setup_values[s];
    try {
        flat_initial->pass->run(em_initial);
    } catch (const run_unwind&) {
        // The numbers were stored first and the flat form checks the values
        // it stores together, so units after the one named may have been
        // computed; the interpreter stopped at it. Their targets get back
        // the values they had.
        auto at = std::find(p.initial_order.begin(), p.initial_order.end(), cur_unit);
        if (at != p.initial_order.end())
            for (++at; at != p.initial_order.end(); ++at)
                for (std::uint32_t lane = 0;
                     lane < p.units[static_cast<std::size_t>(*at)].targets.size(); ++lane) {
                    std::int64_t slot = unit_target_slot(*at, lane);
                    if (slot >= 0 && slot < p.value_slots)
                        value_array[slot] = before_initial[static_cast<std::size_t>(slot)];
                }
        throw;
    }
    return true;
}

std::size_t initial_pass_builds() {
    return initial_builds;
}

std::size_t initial_pass_runs() {
    return initial_runs;
}

step_passes::step_passes(const sim_program& p) : p_(p) {}
step_passes::~step_passes() = default;

void step_passes::run_unbound(int mode) {
    if (!flat_dynamic || !flat_rates || prog != &p_) {
        eval_units(p_.dynamic_order, mode);
        eval_units(p_.rate_order, mode);
        return;
    }
    // Bound again when the passes are others, or when code the worker
    // finished has been taken since.
    if (dynamic_pass_ != flat_dynamic || (!dynamic_ && flat_dynamic->native())) {
        dynamic_pass_ = flat_dynamic;
        dynamic_ = flat_dynamic->bind_native();
    }
    if (rates_pass_ != flat_rates || (!rates_ && flat_rates->native())) {
        rates_pass_ = flat_rates;
        rates_ = flat_rates->bind_native();
    }
    bound_ = dynamic_ && rates_;
    if (bound_) {
        dynamic_direct_ = native_direct_of(*dynamic_);
        rates_direct_ = native_direct_of(*rates_);
    }
    if (dynamic_)
        flat_dynamic->run_bound(*dynamic_, mode);
    else
        flat_dynamic->run(mode);
    if (rates_)
        flat_rates->run_bound(*rates_, mode);
    else
        flat_rates->run(mode);
}

bool step_passes::steps(long& n, long last, double t0, double dt, float h, bool& states_bad) {
    states_bad = false;
    if (!bound_) return false;
    if (!steps_) {
        if (prog != &p_ || dynamic_pass_ != flat_dynamic || rates_pass_ != flat_rates) return false;
        if (!(steps_ = kept_steps_for(p_))) return false;
        steps_state_.tables = dynamic_direct_.tables;
        steps_state_.ops[0] = dynamic_direct_.ops;
        steps_state_.ops[1] = rates_direct_.ops;
        steps_state_.frame[0] = dynamic_direct_.frame;
        steps_state_.frame[1] = rates_direct_.frame;
    }
    native_steps_state& s = steps_state_;
    s.n = n;
    s.last = last;
    s.t0 = t0;
    s.dt = dt;
    s.h = h;
    for (;;) {
        const std::int64_t from = s.n;
        const int end = steps_(value_array, rate_array, &s);
        steps_made.fetch_add(static_cast<std::size_t>(s.n - from), std::memory_order_relaxed);
        n = static_cast<long>(s.n);
        switch (end) {
        case ns_done:
            return true;
        case ns_states:
            states_bad = true;
            return true;
        case ns_dynamic:
            // The pass that stopped is finished as its own code's call
            // would be, the step completed, and the steps go on.
            dynamic_pass_->finish_direct(*dynamic_, s.result, em_main);
            rates_pass_->run_direct(rates_direct_, *rates_, em_main);
            break;
        default:
            rates_pass_->finish_direct(*rates_, s.result, em_main);
            break;
        }
    }
}

std::size_t native_steps_made() {
    return steps_made;
}

std::size_t flat_unit_count() {
    return (flat_dynamic ? flat_dynamic->flat_units() : 0) +
           (flat_rates ? flat_rates->flat_units() : 0);
}

std::size_t native_pass_count() {
    return (flat_dynamic && flat_dynamic->native()) + (flat_rates && flat_rates->native());
}

std::size_t wide_unit_count() {
    return (flat_dynamic ? flat_dynamic->wide_units() : 0) +
           (flat_rates ? flat_rates->wide_units() : 0);
}

void set_flat_passes(bool on) {
    flat_setting = on ? 1 : 0;
}

void set_wider_vectors(bool on) {
    wider_allowed = on;
    set_flat_wider_vectors(on);
    forget_kept_passes();
}

void forget_kept_passes() {
    kept_flat = kept_flat_forms{};
}

std::shared_ptr<void> take_kept_passes() {
    auto kept = std::make_shared<kept_flat_forms>(std::move(kept_flat));
    kept_flat = kept_flat_forms{};
    return kept;
}

void put_back_kept_passes(std::shared_ptr<void> kept) {
    kept_flat = std::move(*static_cast<kept_flat_forms*>(kept.get()));
}

bool flat_passes() {
    if (flat_setting < 0) {
        const char* e = std::getenv("KAVREL_REFERENCE_ENGINE");
        flat_setting = e && *e && *e != '0' ? 0 : 1;
    }
    return flat_setting == 1;
}

double interp_call_one(int unit, const std::uint32_t* c, const double* args, int mode) {
    cur_unit = unit;
    int nargs = static_cast<int>(c[1]);
    for (int k = 0; k < nargs; ++k) S(k)[0] = args[k];
    call(c, 0, 0, 1, mode);
    return S(0)[0];
}

void interp_state_rate_one(int unit, const std::uint32_t* c, const double* args, int mode) {
    cur_unit = unit;
    int nargs = static_cast<int>(c[1]);
    for (int k = 0; k < nargs; ++k) S(k)[0] = args[k];
    state_rate_op(c, 0, 0, 1, mode);
}

void interp_fail_unit(int unit, const char* what) {
    cur_unit = unit;
    fail_lane(0, what);
}

void interp_fail_lane(int unit, std::uint32_t lane, const char* what) {
    cur_unit = unit;
    fail_lane(lane, what);
}

// The flat form of a pass (see flat.h).
#include "sim/flat.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "model/constants.h"
#include "model/model.h"
#include "sim/flat_ops.h"
#include "sim/interp_core.h"

namespace {

constexpr double NAd = static_cast<double>(NA);

// + - * / with NA, as the binary instructions compute them.
template <int K> inline double arith(double x, double y) {
    if (x == NAd || y == NAd) return NAd;
    if constexpr (K == 0) return x + y;
    if constexpr (K == 1) return x - y;
    if constexpr (K == 2) return x * y;
    return x / y;
}

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

// Built-ins with no effect beyond their result, called with their arguments
// (in an initial pass when initial); and the held values, whose one effect
// (their hidden slot) comes out the same when a unit is computed again from
// the same operands, as the loop does after compiled code hands it a pass.
bool pure_builtin(std::uint32_t fn, std::uint32_t states, bool initial) {
    switch (fn) {
    case fn_initial:
    case fn_sample_if_true:
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
        // outside the initial pass; in it they set the states up first.
        return !initial && fn >= fn_smooth && fn <= fn_forecast && fn != fn_delay_fixed &&
               states != 0;
    }
}

std::uint32_t non_finite(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return ((b >> 23) & 0xFFu) == 0xFFu;
}

} // namespace

// ------------------------------------------------------------- wide units ---

namespace {

// The interpreter's chunk, so that a unit that fails has stored the same lanes.
constexpr std::uint32_t wide_chunk = 256;

// An operand of a chunk loop: a chunk buffer (doubles), a float per lane
// from a start, or one float read by every lane.
enum wide_kind : std::uint8_t { wk_buf, wk_lane, wk_one };
// Where its start is: value_array, rate_array (targets), a decoded number,
// a chunk buffer.
enum wide_source : std::uint8_t { ws_value, ws_rate, ws_number, ws_buffer };
constexpr std::uint8_t wo_other = 0xFF;

} // namespace

struct wide_operand {
    const float* f = nullptr; // wk_lane and wk_one
    double* d = nullptr;      // wk_buf
    float* t = nullptr;       // the unit's target
    std::int64_t index = 0;   // slot, number or buffer
    std::uint8_t kind = wk_buf, source = ws_buffer;
};

struct wide_step;
// One operation over lanes lane0..lane0+n-1; the count of values stored
// that are not finite.
using wide_fn = std::uint32_t (*)(const wide_step& s, std::uint32_t lane0, std::uint32_t n);

struct wide_step {
    wide_fn fn = nullptr;
    wide_operand a, b, c, out;
    // Lookups: the table of lane i is table + stride i (+ words[at + i]);
    // gathers: the slot of lane i is offsets[at + i].
    std::int64_t table = 0, stride = 0;
    std::size_t at = 0;
    bool indexed = false;
    int binary = -1; // the operation of a binary step (FLAT_BINARY order)
    // What the step computes, as the native tier reads it (native_wide_op;
    // wo_other: a lookup, a gather or a copy); a pair's second operation.
    std::uint8_t op = wo_other;
    std::int8_t binary2 = -1;
    bool right = false;
    // Operands it reads (a, b, c in order), and whether it must run even
    // when its result is not read (a lookup moves its table's segment; the
    // last step stores).
    std::uint8_t inputs = 0;
    bool effect = false;
    // Reductions: lanes per result (the inner lanes of a vector call); state
    // rates: states per lane, from slot states of value_array (and
    // rate_array). A reduction's running result between chunks.
    std::uint32_t group = 1;
    std::int64_t states = 0;
    mutable double sum = 0;
    mutable bool na = false;
    // A vector call inside an expression: the steps of its argument over the
    // inner lanes, the last reducing them into this step's buffer (whose
    // first lane is the outer lane base).
    std::shared_ptr<wide_unit> nested;
    mutable std::uint32_t base = 0;
    const std::uint32_t* words = nullptr;
    const std::int64_t* offsets = nullptr;
};

// A unit of several lanes decoded once: its operations in order, run chunk
// by chunk, the last one storing into the target.
struct wide_unit {
    int unit = 0;
    std::uint32_t lanes = 0;
    // What the last step stores: the target, one value of it per group of
    // lanes (a reduction), or the rates of hidden states (no target).
    std::uint32_t group = 1;
    bool state_rates = false;
    std::uint32_t per = 0;
    std::int64_t states = 0;
    wide_operand target;
    std::vector<wide_step> steps;
    std::vector<std::uint32_t> words;  // per-lane lookup tables
    std::vector<std::int64_t> offsets; // per-lane slots of gathered references
};

// The chunk loops compute every lane and choose NA afterwards, which the
// compiler turns into vector code only when arithmetic may not trap. The
// loops of + - * / and the like come twice, the second for processors with
// wider vectors (the same operations, so the same values), chosen when a
// pass is built.
namespace {
bool wider_allowed = true;
}
#if defined(__GNUC__) && defined(__x86_64__)
#define WIDE_WIDER __attribute__((target("avx2")))
static bool wider_vectors() {
    return wider_allowed && __builtin_cpu_supports("avx2");
}
#else
#define WIDE_WIDER
static bool wider_vectors() {
    return false;
}
#endif
void set_flat_wider_vectors(bool on) {
    wider_allowed = on;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("O3", "no-trapping-math")
#endif

namespace {

template <int Kind> struct wide_in;
template <> struct wide_in<wk_buf> {
    const double* p;
    wide_in(const wide_operand& o, std::uint32_t) : p(o.d) {}
    double operator[](std::uint32_t i) const { return p[i]; }
};
template <> struct wide_in<wk_lane> {
    const float* p;
    wide_in(const wide_operand& o, std::uint32_t lane0) : p(o.f + lane0) {}
    double operator[](std::uint32_t i) const { return p[i]; }
};
template <> struct wide_in<wk_one> {
    double v;
    wide_in(const wide_operand& o, std::uint32_t) : v(*o.f) {}
    double operator[](std::uint32_t) const { return v; }
};

// Writes f(i) for every lane into the step's buffer, or (Store) as floats
// into the unit's target, counting those that are not finite.
template <bool Store, typename F>
inline std::uint32_t wide_out(const wide_step& s, std::uint32_t lane0, std::uint32_t n, F f) {
    if constexpr (Store) {
        float* __restrict d = s.out.t + lane0;
        std::uint32_t bad = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            float v = static_cast<float>(f(i));
            d[i] = v;
            std::uint32_t b;
            __builtin_memcpy(&b, &v, 4);
            bad += ((b >> 23) & 0xFFu) == 0xFFu;
        }
        return bad;
    } else {
        double* __restrict d = s.out.d;
        for (std::uint32_t i = 0; i < n; ++i) d[i] = f(i);
        return 0;
    }
}

// The operations of FLAT_BINARY, written so that the chunk loops vectorise.
template <int K> inline double wide_binary(double x, double y) {
    if constexpr (K <= 4) {
        bool m = (x == NAd) | (y == NAd);
        double r;
        if constexpr (K == 0)
            r = x + y;
        else if constexpr (K == 1)
            r = x - y;
        else if constexpr (K == 2)
            r = x * y;
        else if constexpr (K == 3)
            r = x / y;
        else
            r = std::pow(x, y);
        return m ? NAd : r;
    } else if constexpr (K == 5) {
        return x == y ? 1.0 : 0.0;
    } else if constexpr (K == 6) {
        return x != y ? 1.0 : 0.0;
    } else if constexpr (K == 7) {
        return x < y ? 1.0 : 0.0;
    } else if constexpr (K == 8) {
        return x <= y ? 1.0 : 0.0;
    } else if constexpr (K == 9) {
        return x > y ? 1.0 : 0.0;
    } else if constexpr (K == 10) {
        return x >= y ? 1.0 : 0.0;
    } else if constexpr (K == 11) {
        return ((x != 0) & (y != 0)) ? 1.0 : 0.0;
    } else if constexpr (K == 12) {
        return ((x != 0) | (y != 0)) ? 1.0 : 0.0;
    } else if constexpr (K == 13) {
        return value_min(x, y);
    } else {
        bool m = (x == NAd) | (y == NAd);
        double r = value_max(x, y);
        return m ? NAd : r;
    }
}
constexpr int wide_binaries = 15;

template <int K, int A, int B, bool S>
inline std::uint32_t binary_body(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    wide_in<A> a(s.a, lane0);
    wide_in<B> b(s.b, lane0);
    return wide_out<S>(s, lane0, n, [&](std::uint32_t i) { return wide_binary<K>(a[i], b[i]); });
}
template <int K, int A, int B, bool S>
std::uint32_t step_binary(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    return binary_body<K, A, B, S>(s, lane0, n);
}
template <int K, int A, int B, bool S>
WIDE_WIDER std::uint32_t step_binary_wider(const wide_step& s, std::uint32_t lane0,
                                           std::uint32_t n) {
    return binary_body<K, A, B, S>(s, lane0, n);
}

// (a op1 b) op2 c, or c op2 (a op1 b) when Right, stored: the last two
// operations of a unit in one loop. A is a lane or a buffer, B a lane or
// one value, C one value or a buffer (0 and 1 in that order).
template <int K1, int K2, int A, int B, int C, bool Right>
inline std::uint32_t pair_body(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    wide_in<A ? wk_buf : wk_lane> a(s.a, lane0);
    wide_in<B ? wk_one : wk_lane> b(s.b, lane0);
    wide_in<C ? wk_buf : wk_one> c(s.c, lane0);
    // Written out (not two calls of wide_binary), which the compiler vectorises.
    return wide_out<true>(s, lane0, n, [&](std::uint32_t i) {
        double x = a[i], y = b[i], z = c[i];
        double t = K1 == 0 ? x + y : (K1 == 1 ? x - y : (K1 == 2 ? x * y : x / y));
        t = ((x == NAd) | (y == NAd)) ? NAd : t;
        double l = Right ? z : t, r = Right ? t : z;
        double u = K2 == 0 ? l + r : (K2 == 1 ? l - r : (K2 == 2 ? l * r : l / r));
        return ((t == NAd) | (z == NAd)) ? NAd : u;
    });
}
template <int K1, int K2, int A, int B, int C, bool Right>
std::uint32_t step_pair(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    return pair_body<K1, K2, A, B, C, Right>(s, lane0, n);
}
template <int K1, int K2, int A, int B, int C, bool Right>
WIDE_WIDER std::uint32_t step_pair_wider(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    return pair_body<K1, K2, A, B, C, Right>(s, lane0, n);
}
template <bool Wider, std::size_t... I>
constexpr std::array<wide_fn, sizeof...(I)> pair_fns(std::index_sequence<I...>) {
    if constexpr (Wider)
        return {&step_pair_wider<static_cast<int>(I / 64), static_cast<int>(I / 16 % 4),
                                 static_cast<int>(I / 8 % 2), static_cast<int>(I / 4 % 2),
                                 static_cast<int>(I / 2 % 2), I % 2 == 1>...};
    else
        return {&step_pair<static_cast<int>(I / 64), static_cast<int>(I / 16 % 4),
                           static_cast<int>(I / 8 % 2), static_cast<int>(I / 4 % 2),
                           static_cast<int>(I / 2 % 2), I % 2 == 1>...};
}
constexpr auto pair_table = pair_fns<false>(std::make_index_sequence<4 * 4 * 16>{});
constexpr auto pair_table_wider = pair_fns<true>(std::make_index_sequence<4 * 4 * 16>{});

// Unary operations: 0 minus, 1 :NOT:, 2 the operand itself.
template <int U, int A, bool S>
std::uint32_t step_unary(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    wide_in<A> a(s.a, lane0);
    return wide_out<S>(s, lane0, n, [&](std::uint32_t i) {
        double x = a[i];
        if constexpr (U == 0)
            return x == NAd ? NAd : -x;
        else if constexpr (U == 1)
            return x == 0 ? 1.0 : 0.0;
        else
            return x;
    });
}

template <int A, int B, int C, bool S>
std::uint32_t step_if(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    wide_in<A> a(s.a, lane0);
    wide_in<B> b(s.b, lane0);
    wide_in<C> c(s.c, lane0);
    return wide_out<S>(s, lane0, n, [&](std::uint32_t i) { return a[i] != 0 ? b[i] : c[i]; });
}

// Lanes of a lookup over one small table, each found apart. Lane by lane,
// a lookup tries the table's current segment first, so its value depends on
// the lanes before it only where x lies exactly on an inner point (either
// segment holds it) or is NaN (which moves the segment to the last one);
// anywhere else one segment holds x, found here by counting the inner points
// below it. The segment left for the next lane is the last inner lane's.
// Returns how many leading lanes were done; the lane after them (an exact
// point or NaN) and the rest go lane by lane, from the segment so left.
constexpr std::uint32_t counted_points = 16;
// P: the table's points when known here (their loops unrolled, so that
// the lanes run as vectors), 0 for t.count.
template <std::uint32_t P>
[[gnu::always_inline]] inline std::uint32_t lookup_counted_body(const double* x, double* out,
                                                                std::uint32_t n, lookup_table& t,
                                                                const float* data) {
    const float* px = data + t.x;
    const float* py = data + t.y;
    const std::uint32_t points = P ? P : t.count;
    const double first = px[0], last = px[points - 1];
    // Most often every lane is inside the current segment (the ends of its
    // closed span included, the table's excluded), or NA: its line for all.
    if (const std::int32_t k = t.segment; k >= 0 && static_cast<std::uint32_t>(k) + 2 <= points) {
        const double lo = px[k], hi = px[k + 1];
        // x >= lo and x > first, x <= hi and x < last: open tests only, the
        // closed ends moved out to the next double.
        const double below = lo != first ? std::nextafter(lo, -HUGE_VAL) : lo;
        const double above = hi != last ? std::nextafter(hi, HUGE_VAL) : hi;
        std::uint32_t inside = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            const double v = x[i];
            inside += (v == NAd) | ((v > below) & (v < above));
        }
        if (inside == n) {
            if (lo == hi) {
                const double step = py[k + 1];
                for (std::uint32_t i = 0; i < n; ++i) out[i] = x[i] == NAd ? NAd : step;
                return n;
            }
            const lookup_span line = segment_span(px, py, k);
            const double a = line.x0, b = line.y0, c = line.dy, d = line.dx;
            for (std::uint32_t i = 0; i < n; ++i) {
                const double v = x[i];
                out[i] = v == NAd ? NAd : b + (v - a) * c / d;
            }
            return n;
        }
    }
    double at[counted_points], x0[counted_points], y0[counted_points], dy[counted_points],
        dx[counted_points];
    for (std::uint32_t k = 0; k < points; ++k) at[k] = px[k];
    // Each segment's line, as segment_span gives it.
    for (std::uint32_t k = 0; k + 1 < points; ++k) {
        const lookup_span s = segment_span(px, py, k);
        x0[k] = s.x0;
        y0[k] = s.y0;
        dy[k] = s.dy;
        dx[k] = s.dx;
    }
    // The lanes up to the first one that needs the segment of the lane before.
    unsigned char on[wide_chunk];
    for (std::uint32_t i = 0; i < n; ++i) {
        const double v = x[i];
        bool point = false;
        for (std::uint32_t p = 1; p + 1 < points; ++p) point |= v == at[p];
        on[i] = (v != v) | (point & (v > first) & (v < last));
    }
    const void* stop = std::memchr(on, 1, n);
    const std::uint32_t m =
        stop ? static_cast<std::uint32_t>(static_cast<const unsigned char*>(stop) - on) : n;
    // The segment the last lane inside the table leaves (x may be out: read
    // it before the values are written).
    for (std::uint32_t i = m; i-- > 0;) {
        const double v = x[i];
        if (v != NAd && v > first && v < last) {
            std::int32_t k = 0;
            for (std::uint32_t p = 1; p + 1 < points; ++p) k += v > at[p];
            t.segment = k;
            break;
        }
    }
    // Each lane on segment 0's line, or on that of the last segment whose
    // left point lies below x.
    const double low = py[0], high = py[points - 1];
    for (std::uint32_t i = 0; i < m; ++i) {
        const double v = x[i];
        double a = x0[0], b = y0[0], c = dy[0], d = dx[0];
        for (std::uint32_t p = 1; p + 1 < points; ++p) {
            const bool above = v > at[p];
            a = above ? x0[p] : a;
            b = above ? y0[p] : b;
            c = above ? dy[p] : c;
            d = above ? dx[p] : d;
        }
        const bool inner = (v > first) & (v < last);
        const double y = b + (v - a) * c / d;
        out[i] = v == NAd ? NAd : (inner ? y : (v <= first ? low : high));
    }
    return m;
}
template <std::uint32_t P>
std::uint32_t lookup_counted(const double* x, double* out, std::uint32_t n, lookup_table& t,
                             const float* data) {
    return lookup_counted_body<P>(x, out, n, t, data);
}
template <std::uint32_t P>
WIDE_WIDER std::uint32_t lookup_counted_wider(const double* x, double* out, std::uint32_t n,
                                              lookup_table& t, const float* data) {
    return lookup_counted_body<P>(x, out, n, t, data);
}
using counted_fn = std::uint32_t (*)(const double*, double*, std::uint32_t, lookup_table&,
                                     const float*);
// By the table's points: 2 to 8 unrolled, more up to counted_points in loops.
template <bool Wider, std::size_t... I>
constexpr std::array<counted_fn, sizeof...(I)> counted_fns(std::index_sequence<I...>) {
    if constexpr (Wider)
        return {&lookup_counted_wider<(I >= 2 && I <= 8 ? static_cast<std::uint32_t>(I) : 0)>...};
    else
        return {&lookup_counted<(I >= 2 && I <= 8 ? static_cast<std::uint32_t>(I) : 0)>...};
}
constexpr auto counted_table = counted_fns<false>(std::make_index_sequence<counted_points + 1>{});
constexpr auto counted_table_wider =
    counted_fns<true>(std::make_index_sequence<counted_points + 1>{});

// A lookup (extrapolating when E) of operand a into the step's buffer.
template <int A, bool E>
std::uint32_t step_lookup(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    const double* x = s.a.d;
    if constexpr (A != wk_buf) {
        wide_out<false>(s, lane0, n,
                        [a = wide_in<A>(s.a, lane0)](std::uint32_t i) { return a[i]; });
        x = s.out.d;
    }
    if (!E && !s.indexed && s.stride == 0) {
        lookup_table& t = run_lookup_tables()[s.table];
        if (t.count >= 2 && t.count <= counted_points) {
            const std::uint32_t m =
                (wider_vectors() ? counted_table_wider : counted_table)[t.count](x, s.out.d, n, t,
                                                                                 run_lookup_data());
            if (m < n) lookup_lanes(x + m, s.out.d + m, n - m, s.table, 0, nullptr, false);
            return 0;
        }
    }
    if (s.indexed)
        lookup_lanes(x, s.out.d, n, s.table, 0, s.words + lane0, E);
    else
        lookup_lanes(x, s.out.d, n, s.table + s.stride * static_cast<std::int64_t>(lane0), s.stride,
                     nullptr, E);
    return 0;
}

// References of other forms, gathered lane by lane from value_array.
std::uint32_t step_gather(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    const std::int64_t* o = s.offsets + lane0;
    const float* v = value_array;
    double* __restrict d = s.out.d;
    for (std::uint32_t i = 0; i < n; ++i) d[i] = v[o[i]];
    return 0;
}

// A plain copy of another variable's lanes: the floats as they are, already
// checked (as the interpreter copies them).
std::uint32_t step_copy(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    float* d = s.out.t + lane0;
    const float* p = s.a.f + lane0;
    if (d != p) std::memmove(d, p, 4 * static_cast<std::size_t>(n));
    return 0;
}

// SUM, PROD, VMIN or VMAX (F: 0 to 3) over each group of lanes, as the
// interpreter reduces a vector call's argument: in lane order, in double,
// NA when any lane is. `done(g, r, na)` takes each group g that ends in this
// chunk; a group that goes on into the next chunk carries on from s.sum, s.na.
template <int F, int A, class Done>
[[gnu::always_inline]] inline void reduce_groups(const wide_step& s, std::uint32_t lane0,
                                                 std::uint32_t n, Done done) {
    wide_in<A> a(s.a, lane0);
    const std::uint32_t m = s.group;
    double r = s.sum;
    bool na = s.na;
    for (std::uint32_t i = 0; i < n;) {
        const std::uint32_t j = (lane0 + i) % m, run = std::min(n - i, m - j);
        if (j == 0) {
            r = F == 0 ? 0.0 : F == 1 ? 1.0 : a[i];
            na = false;
        }
        for (std::uint32_t l = i; l < i + run; ++l) {
            const double x = a[l];
            na |= x == NAd;
            if constexpr (F == 0)
                r += x;
            else if constexpr (F == 1)
                r *= x;
            else if constexpr (F == 2)
                r = value_min(r, x);
            else
                r = value_max(r, x);
        }
        i += run;
        if (j + run == m) done((lane0 + i - 1) / m, r, na);
    }
    s.sum = r;
    s.na = na;
}

// Each group's result stored as the target's lane.
template <int F, int A>
std::uint32_t step_reduce(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    std::uint32_t bad = 0;
    reduce_groups<F, A>(s, lane0, n, [&](std::uint32_t g, double r, bool na) {
        const float v = static_cast<float>(na ? NAd : r);
        s.out.t[g] = v;
        bad += non_finite(v);
    });
    return bad;
}

// The same into the step's buffer (a vector call inside an expression):
// each group's result, in double, at its outer lane less s.base.
template <int F, int A>
std::uint32_t step_reduce_into(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    reduce_groups<F, A>(s, lane0, n, [&](std::uint32_t g, double r, bool na) {
        s.out.d[g - s.base] = na ? NAd : r;
    });
    return 0;
}

// A vector call inside an expression over outer lanes lane0..lane0+n-1: its
// argument's steps over their inner lanes, chunk by chunk, the last step
// reducing them into this step's buffer.
std::uint32_t step_nested(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    const wide_unit& u = *s.nested;
    const std::uint32_t m = s.group, end = (lane0 + n) * m;
    u.steps.back().base = lane0;
    for (std::uint32_t k0 = lane0 * m; k0 < end; k0 += wide_chunk) {
        const std::uint32_t nn = std::min(wide_chunk, end - k0);
        for (const wide_step& k : u.steps) k.fn(k, k0, nn);
    }
    return 0;
}

// The rates of the hidden states of a smoothing (D false) or a delay (D
// true) of each lane, from its input a and its time b, as the interpreter's
// state rates compute them; the count of rates that are not finite. State
// by state over the lanes (a state's rate reads the state before it, or the
// input, never a rate), so that the divisions run as vectors; P states a
// lane when known here (0: s.group of them).
template <bool D, int P, int A, int B>
[[gnu::always_inline]] inline std::uint32_t state_rates_body(const wide_step& s,
                                                             std::uint32_t lane0, std::uint32_t n) {
    wide_in<A> in(s.a, lane0);
    wide_in<B> time(s.b, lane0);
    const std::uint32_t per = P ? static_cast<std::uint32_t>(P) : s.group;
    const std::size_t at = static_cast<std::size_t>(s.states) + std::size_t{lane0} * per;
    const float* __restrict v = value_array + at;
    float* __restrict r = rate_array + at;
    double stage[wide_chunk], first[wide_chunk];
    for (std::uint32_t i = 0; i < n; ++i) {
        stage[i] = time[i] / per;
        first[i] = in[i];
    }
    std::uint32_t bad = 0;
    for (std::uint32_t j = 0; j < per; ++j)
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::size_t q = std::size_t{i} * per + j;
            float f;
            if constexpr (D) {
                const double prev = j == 0 ? first[i] : v[q - 1] / stage[i];
                f = static_cast<float>(prev - v[q] / stage[i]);
            } else {
                const double prev = j == 0 ? first[i] : static_cast<double>(v[q - 1]);
                f = static_cast<float>((prev - v[q]) / stage[i]);
            }
            r[q] = f;
            std::uint32_t b;
            __builtin_memcpy(&b, &f, 4);
            bad += ((b >> 23) & 0xFFu) == 0xFFu;
        }
    return bad;
}
template <bool D, int A, int B>
std::uint32_t step_state_rates(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    switch (s.group) {
    case 1:
        return state_rates_body<D, 1, A, B>(s, lane0, n);
    case 3:
        return state_rates_body<D, 3, A, B>(s, lane0, n);
    default:
        return state_rates_body<D, 0, A, B>(s, lane0, n);
    }
}
template <bool D, int A, int B>
WIDE_WIDER std::uint32_t step_state_rates_wider(const wide_step& s, std::uint32_t lane0,
                                                std::uint32_t n) {
    switch (s.group) {
    case 1:
        return state_rates_body<D, 1, A, B>(s, lane0, n);
    case 3:
        return state_rates_body<D, 3, A, B>(s, lane0, n);
    default:
        return state_rates_body<D, 0, A, B>(s, lane0, n);
    }
}

// A delay's output per lane: its last state over the time (operand a) of
// a stage, as the interpreter computes it (no NA test).
template <int A>
std::uint32_t step_delay_output(const wide_step& s, std::uint32_t lane0, std::uint32_t n) {
    wide_in<A> time(s.a, lane0);
    const std::uint32_t per = s.group;
    const float* v =
        value_array + static_cast<std::size_t>(s.states) + std::size_t{lane0} * per + (per - 1);
    double* __restrict d = s.out.d;
    for (std::uint32_t i = 0; i < n; ++i) d[i] = v[std::size_t{i} * per] / (time[i] / per);
    return 0;
}
constexpr wide_fn delay_output_table[3] = {&step_delay_output<wk_buf>, &step_delay_output<wk_lane>,
                                           &step_delay_output<wk_one>};

template <bool Into, std::size_t... I>
constexpr std::array<wide_fn, sizeof...(I)> reduce_fns(std::index_sequence<I...>) {
    if constexpr (Into)
        return {&step_reduce_into<static_cast<int>(I / 3), static_cast<int>(I % 3)>...};
    else
        return {&step_reduce<static_cast<int>(I / 3), static_cast<int>(I % 3)>...};
}
constexpr auto reduce_table = reduce_fns<false>(std::make_index_sequence<4 * 3>{});
constexpr auto reduce_into_table = reduce_fns<true>(std::make_index_sequence<4 * 3>{});
template <bool Wider, std::size_t... I>
constexpr std::array<wide_fn, sizeof...(I)> state_rate_fns(std::index_sequence<I...>) {
    if constexpr (Wider)
        return {&step_state_rates_wider<I / 9 == 1, static_cast<int>(I / 3 % 3),
                                        static_cast<int>(I % 3)>...};
    else
        return {
            &step_state_rates<I / 9 == 1, static_cast<int>(I / 3 % 3), static_cast<int>(I % 3)>...};
}
constexpr auto state_rate_table = state_rate_fns<false>(std::make_index_sequence<2 * 9>{});
constexpr auto state_rate_table_wider = state_rate_fns<true>(std::make_index_sequence<2 * 9>{});

template <bool Wider, std::size_t... I>
constexpr std::array<wide_fn, sizeof...(I)> binary_fns(std::index_sequence<I...>) {
    if constexpr (Wider)
        return {&step_binary_wider<static_cast<int>(I / 18), static_cast<int>(I / 6 % 3),
                                   static_cast<int>(I / 2 % 3), I % 2 == 1>...};
    else
        return {&step_binary<static_cast<int>(I / 18), static_cast<int>(I / 6 % 3),
                             static_cast<int>(I / 2 % 3), I % 2 == 1>...};
}
constexpr auto binary_table = binary_fns<false>(std::make_index_sequence<wide_binaries * 18>{});
constexpr auto binary_table_wider =
    binary_fns<true>(std::make_index_sequence<wide_binaries * 18>{});

template <std::size_t... I>
constexpr std::array<wide_fn, sizeof...(I)> unary_fns(std::index_sequence<I...>) {
    return {&step_unary<static_cast<int>(I / 6), static_cast<int>(I / 2 % 3), I % 2 == 1>...};
}
constexpr auto unary_table = unary_fns(std::make_index_sequence<3 * 6>{});

template <std::size_t... I>
constexpr std::array<wide_fn, sizeof...(I)> if_fns(std::index_sequence<I...>) {
    return {&step_if<static_cast<int>(I / 18), static_cast<int>(I / 6 % 3),
                     static_cast<int>(I / 2 % 3), I % 2 == 1>...};
}
constexpr auto if_table = if_fns(std::make_index_sequence<27 * 2>{});

constexpr wide_fn lookup_table_fns[3][2] = {
    {&step_lookup<wk_buf, false>, &step_lookup<wk_buf, true>},
    {&step_lookup<wk_lane, false>, &step_lookup<wk_lane, true>},
    {&step_lookup<wk_one, false>, &step_lookup<wk_one, true>}};

// A step's function with the store form in place of the buffer form.
wide_fn storing(wide_fn f) {
    for (const auto* table :
         {binary_table.data(), binary_table_wider.data(), unary_table.data(), if_table.data()}) {
        std::size_t size = table == unary_table.data() ? unary_table.size()
                           : table == if_table.data()  ? if_table.size()
                                                       : binary_table.size();
        for (std::size_t i = 0; i + 1 < size; i += 2)
            if (table[i] == f) return table[i + 1];
    }
    return nullptr;
}

} // namespace

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif

flat_pass::flat_pass(const sim_program& program, const std::vector<int>& order, bool initial,
                     bool group)
    : initial_(initial) {
    std::vector<unit_span> spans;
    for (int u : order) {
        unit_span span{static_cast<std::uint32_t>(ops_.size()),
                       0,
                       patches_.size(),
                       0,
                       checks_.size(),
                       0,
                       false};
        if (compile(program, u)) {
            ++flat_units_;
            span.plain = true;
            for (std::size_t k = span.from; k < ops_.size() && span.plain; ++k)
                span.plain = ops_[k].x.code != fo_call && ops_[k].x.code != fo_rate;
            span.to = static_cast<std::uint32_t>(ops_.size());
            span.patch_to = patches_.size();
            span.check_to = checks_.size();
            if (group) spans.push_back(span);
            continue;
        }
        if (group) spans.push_back(span);
        flat_op o;
        if (compile_wide(program, u)) {
            ++wide_units_;
            o.x.code = fo_wide;
            o.a.r = static_cast<std::uint32_t>(wides_.size() - 1);
            const wide_unit& w = *wides_.back();
            if (w.steps.size() == 1 && w.steps[0].fn == &step_copy) {
                // A plain copy is an instruction of its own.
                const auto at = static_cast<std::uint32_t>(ops_.size());
                o.x.code = fo_copy;
                o.b.r = w.lanes;
                patches_.push_back({at, 0, pk_value, u, w.steps[0].a.index});
                patches_.push_back(
                    {at, 2,
                     w.target.source == ws_rate ? std::uint8_t{pk_rate} : std::uint8_t{pk_value}, u,
                     w.target.index});
                wides_.pop_back();
            }
        } else {
            o.x.code = fo_unit;
            o.a.r = static_cast<std::uint32_t>(u);
        }
        ops_.push_back(o);
    }
    if (group) group_units(spans);
    ops_.push_back(flat_op{});
    if (regs_.empty()) regs_.assign(1, 0.0);
    for (const patch& k : patches_)
        if (k.kind == pk_code &&
            std::find(code_units_.begin(), code_units_.end(), k.unit) == code_units_.end())
            code_units_.push_back(k.unit);
    const int native = native_mode();
    if (native == nm_tier0 || native == nm_tier1)
        native_ = native_compile(listing(program), native == nm_tier1);
    else if (native == nm_auto && ops_.size() >= native_auto_min_ops &&
             ops_.size() <= native_auto_max_ops)
        job_ = native_compile_later(listing(program), -1);
    bind(program);
}

void flat_pass::group_units(const std::vector<unit_span>& spans) {
    // Units of a shape gathered only when there are at least this many in
    // the stretch: a short loop (the native code rolls 8 or more) costs more
    // than it saves, with its own tests and the values that straight code
    // keeps in registers between dependent units read back from memory.
    constexpr std::size_t min_group = 16;
    for (std::size_t s0 = 0; s0 < spans.size();) {
        if (!spans[s0].plain) {
            ++s0;
            continue;
        }
        std::size_t s1 = s0;
        while (s1 < spans.size() && spans[s1].plain) ++s1;
        const std::size_t n = s1 - s0;
        const unit_span* u = spans.data() + s0;
        s0 = s1;
        if (n < min_group) continue;
        // The shape of each unit: its codes, registers, the kinds of its
        // addresses and its numbers (what the native code compares).
        std::vector<int> shape(n);
        std::vector<int> shape_count;
        {
            std::map<std::vector<std::int64_t>, int> shapes;
            std::vector<std::int64_t> key;
            for (std::size_t i = 0; i < n; ++i) {
                key.clear();
                for (std::uint32_t k = u[i].from; k < u[i].to; ++k) {
                    const flat_op& o = ops_[k];
                    key.insert(key.end(), {static_cast<std::int64_t>(o.x.code), o.a.r, o.b.r, -1,
                                           -1, -1, 0, 0, 0});
                }
                for (std::size_t q = u[i].patch_from; q < u[i].patch_to; ++q) {
                    const patch& k = patches_[q];
                    const std::size_t base = (k.op - u[i].from) * 9;
                    if (k.field < 2) key[base + 1 + k.field] = 0;
                    key[base + 3 + k.field] = k.kind;
                    if (k.kind == pk_number) {
                        std::uint32_t bits = 0;
                        std::memcpy(&bits, &numbers_[static_cast<std::size_t>(k.index)], 4);
                        key[base + 6 + k.field] = bits;
                    }
                }
                auto [it, fresh] = shapes.emplace(key, static_cast<int>(shape_count.size()));
                if (fresh) shape_count.push_back(0);
                shape[i] = it->second;
                ++shape_count[static_cast<std::size_t>(it->second)];
            }
        }
        // Dependencies: a unit follows the last unit that stored a slot it
        // reads or stores, and the units since that read a slot it stores.
        // A lookup moves its table's current segment, so the units reading
        // one table keep their order.
        std::vector<std::vector<std::uint32_t>> next(n);
        std::vector<std::uint32_t> waits(n, 0);
        {
            struct use {
                std::int64_t writer = -1;
                std::vector<std::uint32_t> readers;
            };
            std::map<std::int64_t, use> uses;
            std::vector<std::uint32_t> before;
            auto resource = [](std::uint8_t kind, std::int64_t index) {
                return index * 4 + (kind == pk_rate ? 1 : kind == pk_table ? 2 : 0);
            };
            for (std::size_t i = 0; i < n; ++i) {
                before.clear();
                const auto self = static_cast<std::uint32_t>(i);
                std::vector<std::int64_t> stores;
                for (std::size_t c = u[i].check_from; c < u[i].check_to; ++c)
                    stores.push_back(
                        resource(checks_[c].rate ? pk_rate : pk_value, checks_[c].slot));
                for (std::size_t q = u[i].patch_from; q < u[i].patch_to; ++q) {
                    const patch& k = patches_[q];
                    if (k.kind == pk_table) stores.push_back(resource(k.kind, k.index));
                    if (k.kind != pk_value && k.kind != pk_rate) continue;
                    const std::int64_t r = resource(k.kind, k.index);
                    if (std::find(stores.begin(), stores.end(), r) != stores.end()) continue;
                    use& x = uses[r];
                    if (x.writer >= 0) before.push_back(static_cast<std::uint32_t>(x.writer));
                    x.readers.push_back(self);
                }
                for (std::int64_t r : stores) {
                    use& x = uses[r];
                    if (x.writer >= 0) before.push_back(static_cast<std::uint32_t>(x.writer));
                    before.insert(before.end(), x.readers.begin(), x.readers.end());
                    x.writer = self;
                    x.readers.clear();
                }
                std::sort(before.begin(), before.end());
                before.erase(std::unique(before.begin(), before.end()), before.end());
                for (std::uint32_t b : before) {
                    if (b == self) continue;
                    next[b].push_back(self);
                    ++waits[i];
                }
            }
        }
        // The order: the first unit ready, then more of its shape while any
        // is ready (shapes with too few units for a loop are not gathered).
        std::vector<std::uint32_t> order;
        order.reserve(n);
        {
            std::set<std::uint32_t> ready;
            std::vector<std::set<std::uint32_t>> ready_of(shape_count.size());
            for (std::uint32_t i = 0; i < n; ++i)
                if (waits[i] == 0) {
                    ready.insert(i);
                    ready_of[static_cast<std::size_t>(shape[i])].insert(i);
                }
            int last = -1;
            while (!ready.empty()) {
                std::uint32_t i = *ready.begin();
                if (last >= 0 && shape_count[static_cast<std::size_t>(last)] >= int{min_group} &&
                    !ready_of[static_cast<std::size_t>(last)].empty())
                    i = *ready_of[static_cast<std::size_t>(last)].begin();
                last = shape[i];
                ready.erase(i);
                ready_of[static_cast<std::size_t>(last)].erase(i);
                order.push_back(i);
                for (std::uint32_t j : next[i])
                    if (--waits[j] == 0) {
                        ready.insert(j);
                        ready_of[static_cast<std::size_t>(shape[j])].insert(j);
                    }
            }
        }
        assert(order.size() == n);
        bool moved = false;
        for (std::uint32_t i = 0; i < n && !moved; ++i) moved = order[i] != i;
        if (!moved) continue;
        // Moves the instructions; the patches and checks follow them (the
        // checks stay in the units' order, which names the first).
        const std::uint32_t first = u[0].from, end = u[n - 1].to;
        std::vector<flat_op> moved_ops;
        moved_ops.reserve(end - first);
        std::vector<std::uint32_t> where(end - first);
        for (std::uint32_t i : order) {
            for (std::uint32_t k = u[i].from; k < u[i].to; ++k) {
                where[k - first] = first + static_cast<std::uint32_t>(moved_ops.size());
                moved_ops.push_back(ops_[k]);
            }
        }
        std::copy(moved_ops.begin(), moved_ops.end(), ops_.begin() + first);
        for (std::size_t q = u[0].patch_from; q < u[n - 1].patch_to; ++q)
            patches_[q].op = where[patches_[q].op - first];
        for (std::size_t c = u[0].check_from; c < u[n - 1].check_to; ++c)
            checks_[c].op = where[checks_[c].op - first];
        grouped_.push_back({first, end});
    }
}

flat_pass::~flat_pass() {
    if (job_) native_cancel(*job_);
}

void flat_pass::take_native() {
    const bool done = native_done(*job_);
    // Tier 0 until tier 1 is ready (a level that failed keeps the code).
    if (native_handle code = native_take(*job_)) native_ = std::move(code);
    if (done) job_.reset();
}

std::size_t flat_pass::size() const {
    return ops_.size();
}

namespace {
// The table a lookup call of one lane reads (as lane_index finds it for lane
// 0), or -1 when its words or the table are not in the program.
std::int64_t call_table(const sim_program& program, const std::vector<std::uint32_t>& code,
                        std::size_t at) {
    if (at + 4 >= code.size()) return -1;
    const std::uint32_t* call = code.data() + at;
    std::int64_t t = static_cast<std::int32_t>(call[3]);
    if (call[2] != addr_strided) {
        if (call[4] >= code.size()) return -1;
        t += code[call[4]];
    }
    return t >= 0 && t < std::int64_t{program.lookups} ? t : -1;
}
} // namespace

native_listing flat_pass::listing(const sim_program& program) const {
    static_assert(int{pk_value} == nk_value && int{pk_rate} == nk_rate &&
                  int{pk_number} == nk_number && int{pk_table} == nk_table &&
                  int{pk_code} == nk_code);
    // The codes are the handlers' addresses once the loop has run.
    assert(!resolved_);
    native_listing l;
    l.ops.resize(ops_.size());
    for (std::size_t i = 0; i < ops_.size(); ++i) {
        const flat_op& o = ops_[i];
        native_op& n = l.ops[i];
        n.code = static_cast<std::uint16_t>(o.x.code);
        n.a = o.a.r;
        n.b = o.b.r;
    }
    for (const patch& k : patches_) {
        native_op& n = l.ops[k.op];
        n.field[k.field] = {k.kind, k.index};
        // An operand that is an address holds no register (once bound, the
        // address is where the register would be).
        if (k.field == 0) n.a = 0;
        if (k.field == 1) n.b = 0;
        if (k.kind == pk_code) {
            const std::vector<std::uint32_t>& code =
                program.units[static_cast<std::size_t>(k.unit)].code;
            const std::uint32_t* call = code.data() + static_cast<std::size_t>(k.index);
            n.nargs = call[1];
            n.fn = call[0];
            n.state = call[2];
            n.states = call[3];
            if (n.fn == fn_lookup_extrapolate || n.fn == fn_lookup_invert)
                n.table = call_table(program, code, static_cast<std::size_t>(k.index));
        }
    }
    l.numbers.assign(numbers_.begin(), numbers_.end());
    l.registers = regs_.size();
    l.wides.reserve(wides_.size());
    for (const auto& w : wides_) l.wides.push_back(describe(*w));
    return l;
}

native_wide flat_pass::describe(const wide_unit& w) {
    native_wide n;
    n.lanes = w.lanes;
    n.target = {w.target.source == ws_rate ? std::uint8_t{nk_rate} : std::uint8_t{nk_value},
                w.target.index};
    // The step that last wrote each chunk buffer.
    std::vector<std::uint32_t> writer;
    for (const wide_step& k : w.steps) {
        if (k.op == wo_other) {
            n.steps.clear();
            return n;
        }
        native_wide_step s;
        s.op = k.op;
        s.binary = static_cast<std::int8_t>(k.binary);
        s.binary2 = k.binary2;
        s.right = k.right;
        if (k.op == nw_gather) {
            const auto* o = w.offsets.data() + k.at;
            s.slots.assign(o, o + w.lanes);
        }
        const wide_operand* in[3] = {&k.a, &k.b, &k.c};
        for (int i = 0; i < 3; ++i) {
            const wide_operand& o = *in[i];
            native_wide_operand& x = s.x[i];
            if (o.kind == wk_buf) {
                x.kind = nwk_step;
                if (static_cast<std::size_t>(o.index) < writer.size())
                    x.step = writer[static_cast<std::size_t>(o.index)];
            } else {
                x.kind = o.kind == wk_lane ? nwk_lane : nwk_one;
                x.at = {o.source == ws_number ? std::uint8_t{nk_number} : std::uint8_t{nk_value},
                        o.index};
            }
        }
        if (&k != &w.steps.back()) {
            if (writer.size() <= static_cast<std::size_t>(k.out.index))
                writer.resize(static_cast<std::size_t>(k.out.index) + 1);
            writer[static_cast<std::size_t>(k.out.index)] =
                static_cast<std::uint32_t>(n.steps.size());
        }
        n.steps.push_back(s);
    }
    return n;
}

void flat_pass::run_wide_unit(std::uint32_t index) {
    run_wide(*wides_[index]);
}

void flat_pass::bind(const sim_program& program) {
    bool same = bound_values_ == value_array && bound_rates_ == rate_array &&
                bound_tables_ == run_lookup_tables() && bound_code_.size() == code_units_.size();
    for (std::size_t i = 0; same && i < code_units_.size(); ++i)
        same =
            program.units[static_cast<std::size_t>(code_units_[i])].code.data() == bound_code_[i];
    if (same) return;
    bound_values_ = value_array;
    bound_rates_ = rate_array;
    bound_tables_ = run_lookup_tables();
    bound_code_.clear();
    for (int u : code_units_)
        bound_code_.push_back(program.units[static_cast<std::size_t>(u)].code.data());
    auto resolve = [&](wide_operand& o) {
        switch (o.source) {
        case ws_value:
            o.f = o.t = value_array + o.index;
            break;
        case ws_rate:
            o.f = o.t = rate_array + o.index;
            break;
        case ws_number:
            o.f = &numbers_[static_cast<std::size_t>(o.index)];
            break;
        default:
            o.d = wide_buffers_.data() + static_cast<std::size_t>(o.index) * wide_chunk;
        }
    };
    // A unit's steps, and those of the vector calls inside them.
    auto steps = [&](auto& self, wide_unit& w) -> void {
        for (wide_step& k : w.steps) {
            for (wide_operand* o : {&k.a, &k.b, &k.c, &k.out}) resolve(*o);
            // at is a place in one of the two lists (the other may be empty).
            k.words = k.indexed ? w.words.data() + k.at : nullptr;
            k.offsets = k.fn == &step_gather ? w.offsets.data() + k.at : nullptr;
            if (k.nested) self(self, *k.nested);
        }
    };
    for (auto& w : wides_) {
        resolve(w->target);
        steps(steps, *w);
    }
    for (const patch& k : patches_) {
        flat_op& o = ops_[k.op];
        float* p = nullptr;
        switch (k.kind) {
        case pk_value:
            p = value_array + k.index;
            break;
        case pk_rate:
            p = rate_array + k.index;
            break;
        case pk_number:
            p = &numbers_[static_cast<std::size_t>(k.index)];
            break;
        case pk_table:
            o.c.table = run_lookup_tables() + k.index;
            continue;
        default:
            o.c.call = program.units[static_cast<std::size_t>(k.unit)].code.data() + k.index;
            continue;
        }
        if (k.field == 0)
            o.a.f = p;
        else if (k.field == 1)
            o.b.f = p;
        else
            o.c.dst = p;
    }
}

// Compiles one scalar unit's code words into flat instructions. The
// operands wait on a stack: a slot or number, a register (the one of its
// place on the stack) or the accumulator (at most one entry); an operation
// takes its operands from the top as the forms of its instruction allow.
// Every address an instruction holds is a patch, so a later run can point
// it at its own arrays.
struct flat_pass::unit_compiler {
    enum operand_kind : std::uint8_t { k_s, k_r, k_a };
    struct operand {
        operand_kind k;
        std::uint8_t source; // pk_value or pk_number for k_s
        std::int64_t index;
    };

    unit_compiler(flat_pass& pass, const std::uint32_t* code, int unit)
        : pass_(pass), c_(code), unit_(unit), here_(static_cast<std::uint32_t>(pass.ops_.size())) {}

    // Operation op, whose operands start at c[pc] (pc left after them);
    // false when the flat instructions do not have it.
    bool operation(std::uint32_t op, std::uint32_t& pc) {
        depth_ = std::max(depth_, st_.size() + 1);
        switch (op) {
        case nc_number:
        case op_number_table:
            pass_.numbers_.push_back(as_float(op == nc_number ? c_[pc] : c_[c_[pc]]));
            ++pc;
            st_.push_back({k_s, pk_number, static_cast<std::int64_t>(pass_.numbers_.size() - 1)});
            return true;
        case nc_ref:
            st_.push_back({k_s, pk_value, slot(c_ + pc)});
            pc += 3;
            return true;
        case nc_neg:
        case nc_not:
            if (st_.empty()) return false;
            to_acc(st_.size() - 1);
            emit(op == nc_neg ? fo_neg : fo_not);
            return true;
        case nc_lookup_call:
            return lookup(pc);
        case nc_call:
        case op_state_rate:
            return call(op, pc);
        default: {
            int index = binary_index(op);
            return index >= 0 && binary(index);
        }
        }
    }
    // The unit's end: the single operand left stored into the target at h
    // (array 0 a value, 1 a rate; 2 stores nothing and leaves nothing).
    bool finish(std::uint32_t array, const std::uint32_t* h);
    // The instructions, patches and registers into the pass.
    void commit() {
        depth_ = std::max(depth_, st_.size() + 1);
        if (pass_.regs_.size() < depth_ + 8) pass_.regs_.assign(depth_ + 8, 0.0);
        pass_.ops_.insert(pass_.ops_.end(), out_.begin(), out_.end());
        pass_.patches_.insert(pass_.patches_.end(), ps_.begin(), ps_.end());
    }

private:
    // The slot of lane 0 of an address.
    std::int64_t slot(const std::uint32_t* a) const {
        std::int64_t base = static_cast<std::int32_t>(a[1]);
        return a[0] == addr_strided ? base : base + static_cast<std::int32_t>(c_[a[2]]);
    }
    flat_op& emit(int code) {
        out_.push_back(flat_op{});
        out_.back().x.code = static_cast<std::uintptr_t>(code);
        return out_.back();
    }
    void pointer(std::uint8_t field, std::uint8_t kind, std::int64_t index, int u = -1) {
        ps_.push_back({here_ + static_cast<std::uint32_t>(out_.size() - 1), field, kind, u, index});
    }
    static std::uint32_t reg(std::size_t pos) { return static_cast<std::uint32_t>(pos); }
    // Operand x as field 0 (a) or 1 (b) of the last instruction.
    void field(std::uint8_t f, const operand& x, std::size_t pos) {
        if (x.k == k_s)
            pointer(f, x.source, x.index);
        else if (x.k == k_r)
            (f == 0 ? out_.back().a : out_.back().b).r = reg(pos);
    }
    void spill(std::size_t pos) {
        emit(fo_spill).a.r = reg(pos);
        st_[pos].k = k_r;
    }
    // The accumulator is about to be overwritten: an entry below position
    // keep that holds it goes to its register.
    void free_acc_below(std::size_t keep) {
        for (std::size_t i = 0; i < keep && i < st_.size(); ++i)
            if (st_[i].k == k_a) spill(i);
    }
    void to_register(std::size_t pos) {
        if (st_[pos].k == k_s) {
            emit(fo_reg_s).a.r = reg(pos);
            pointer(1, st_[pos].source, st_[pos].index);
        } else if (st_[pos].k == k_a) {
            emit(fo_spill).a.r = reg(pos);
        }
        st_[pos].k = k_r;
    }
    void to_acc(std::size_t pos) {
        if (st_[pos].k == k_a) return;
        free_acc_below(pos);
        if (st_[pos].k == k_s) {
            emit(fo_acc_s);
            pointer(0, st_[pos].source, st_[pos].index);
        } else {
            emit(fo_acc_r).a.r = reg(pos);
        }
        st_[pos].k = k_a;
    }
    // The binary operation index over the top two operands.
    bool binary(int index) {
        if (st_.size() < 2) return false;
        std::size_t pa = st_.size() - 2, pb = st_.size() - 1;
        free_acc_below(pa);
        static constexpr int forms[3][3] = {
            {ff_ss, ff_sr, ff_sa}, {ff_rs, ff_rr, ff_ra}, {ff_as, ff_ar, -1}};
        int form = forms[st_[pa].k][st_[pb].k];
        if (form < 0) return false;
        if (!pair_with_last(index, form)) {
            emit(fo_binary_first + forms_per_binary * index + form);
            field(0, st_[pa], pa);
            field(1, st_[pb], pb);
        }
        st_.pop_back();
        st_.back() = {k_a, 0, 0};
        return true;
    }
    // (s op1 s) op2 s: one pair instruction instead of two, when the last
    // instruction is the first half and op2 is + - * / (form ff_as or
    // ff_sa); false when not.
    bool pair_with_last(int index, int form) {
        std::uintptr_t last = out_.empty() ? std::uintptr_t{fo_end} : out_.back().x.code;
        if (index >= 4 || (form != ff_as && form != ff_sa) || last < fo_binary_first ||
            last >= fo_pair_first || (last - fo_binary_first) % forms_per_binary != ff_ss ||
            (last - fo_binary_first) / forms_per_binary >= 4)
            return false;
        int op1 = static_cast<int>((last - fo_binary_first) / forms_per_binary);
        out_.back().x.code =
            static_cast<std::uintptr_t>(fo_pair_first + pair_code(op1, index, form == ff_sa, 0));
        const operand& z = form == ff_as ? st_[st_.size() - 1] : st_[st_.size() - 2];
        pointer(2, z.source, z.index);
        emit(fo_end); // the pair's second word
        return true;
    }
    // A lookup of the top operand in the table at c[pc].
    bool lookup(std::uint32_t& pc) {
        if (st_.empty()) return false;
        std::size_t top = st_.size() - 1;
        if (st_[top].k == k_s) {
            free_acc_below(top);
            emit(fo_lookup_s);
            pointer(0, st_[top].source, st_[top].index);
            st_[top].k = k_a;
        } else {
            to_acc(top);
            emit(fo_lookup);
        }
        pointer(2, pk_table, slot(c_ + pc));
        pc += 3;
        return true;
    }
    // A built-in call or a state function's rates: MIN and MAX of two as
    // binary operations, IF THEN ELSE, the pure built-ins and the rates
    // (not in an initial pass) with their arguments in registers.
    bool call(std::uint32_t op, std::uint32_t& pc) {
        std::uint32_t fn = c_[pc], nargs = c_[pc + 1];
        if (nargs > st_.size() || nargs > 8 || nargs == 0) return false;
        std::uint32_t at = pc;
        pc += 5;
        if (op == nc_call && (fn == fn_min || fn == fn_max) && nargs == 2)
            return binary(fn == fn_min ? binary_min : binary_max);
        int code;
        if (op == op_state_rate && pass_.initial_)
            return false;
        else if (op == op_state_rate)
            code = fo_rate;
        else if (fn == fn_if_then_else && nargs == 3)
            code = fo_if;
        else if (pure_builtin(fn, c_[at + 3], pass_.initial_))
            code = fo_call;
        else
            return false;
        std::size_t base = st_.size() - nargs;
        if (op == nc_call) free_acc_below(base);
        for (std::size_t k = base; k < st_.size(); ++k) to_register(k);
        flat_op& o = emit(code);
        o.a.r = reg(base);
        o.b.r = static_cast<std::uint32_t>(unit_);
        if (code != fo_if) pointer(2, pk_code, at, unit_);
        st_.resize(base);
        if (op == nc_call) st_.push_back({k_a, 0, 0});
        return true;
    }

    flat_pass& pass_;
    const std::uint32_t* c_;
    int unit_;
    std::uint32_t here_; // the index of the unit's first instruction in the pass
    std::vector<operand> st_;
    std::vector<flat_op> out_;
    std::vector<patch> ps_;
    std::size_t depth_ = 0;
};

bool flat_pass::unit_compiler::finish(std::uint32_t array, const std::uint32_t* h) {
    if (array == 2) return st_.empty();
    if (st_.size() != 1) return false;
    const std::uint8_t target = array == 1 ? pk_rate : pk_value;
    const std::int64_t dst = slot(h + 1);
    // The last operation stores (its store form, or a pair's storing half)
    // where it can; else a store of the accumulator, a register or a slot.
    std::uintptr_t last = out_.empty() ? std::uintptr_t{fo_end} : out_.back().x.code;
    std::uintptr_t pair = out_.size() < 2 ? std::uintptr_t{fo_end} : out_[out_.size() - 2].x.code;
    if (st_[0].k == k_a && last >= fo_binary_first && last < fo_pair_first &&
        (last - fo_binary_first) % forms_per_binary < ff_store) {
        out_.back().x.code = last + ff_store;
    } else if (st_[0].k == k_a && last == fo_end && pair >= fo_pair_first && pair < fo_count &&
               (pair - fo_pair_first) % 2 == 0) {
        out_[out_.size() - 2].x.code = pair + 1;
    } else if (st_[0].k == k_a) {
        emit(fo_store_a);
    } else if (st_[0].k == k_r) {
        emit(fo_store_r).a.r = 0;
    } else {
        emit(fo_store_s);
        pointer(0, st_[0].source, st_[0].index);
    }
    pointer(2, target, dst);
    pass_.checks_.push_back(
        {here_ + static_cast<std::uint32_t>(out_.size() - 1), unit_, target == pk_rate, dst});
    return true;
}

bool flat_pass::compile(const sim_program& program, int unit) {
    const std::uint32_t* c = program.units[static_cast<std::size_t>(unit)].code.data();
    std::uint32_t lanes = c[0];
    const std::uint32_t* h = c + 2 + c[1];
    std::uint32_t array = h[0], pc = h[4], inner = h[5];
    if (lanes != 1 || inner != 1) return false;
    unit_compiler u(*this, c, unit);
    for (std::uint32_t op = c[pc++]; op != op_end; op = c[pc++])
        if (!u.operation(op, pc)) return false;
    if (!u.finish(array, h)) return false;
    u.commit();
    return true;
}

namespace {

// Decodes a unit of several lanes into the steps of its chunk loops: the
// operands on a stack (buffers, lanes, single values), each operation a step
// into a free buffer, then the last step made the one that stores.
class wide_decoder {
public:
    wide_decoder(const std::uint32_t* code, wide_unit& w, std::deque<float>& numbers, bool initial)
        : c_(code), w_(w), numbers_(numbers), initial_(initial) {}

    // The steps of the expression from pc to its end word (pc is left after
    // it); false when an operation is not one the chunk loops have.
    bool expression(std::uint32_t& pc, std::uint32_t lanes) {
        if (!until(pc, lanes, op_end)) return false;
        ++pc;
        return true;
    }
    // The same up to the operation stop (pc left at it).
    bool until(std::uint32_t& pc, std::uint32_t lanes, std::uint32_t stop) {
        for (;;) {
            const std::uint32_t op = c_[pc];
            if (op == stop) return true;
            if (op == op_end) return false;
            ++pc;
            if (!operation(op, pc, lanes)) return false;
        }
    }
    // The unit's last step stores the single operand left into the target.
    bool store();
    // The argument left reduced per group of lanes into the target.
    bool reduce(std::uint32_t fn, std::uint32_t group);
    // The state rates call at pc: its arguments' rates stored.
    bool state_rates(const std::uint32_t* call);
    // Drops steps whose results nothing reads (arguments a state function's
    // output does not need), keeping lookups, which move their segments.
    void drop_unread();
    // Chunk buffers the steps use.
    std::size_t buffers() const { return held_; }
    void reads_target_below(std::int64_t first, std::int64_t last) {
        first_ = first;
        last_ = last;
    }

private:
    bool operation(std::uint32_t op, std::uint32_t& pc, std::uint32_t lanes);
    bool call(std::uint32_t op, std::uint32_t& pc, std::uint32_t lanes);
    bool reads_target(std::int64_t lo, std::int64_t hi) const { return lo < last_ && hi > first_; }
    wide_operand take_buffer() {
        std::size_t b = 0;
        for (;; ++b) {
            bool used = std::find(reserved_.begin(), reserved_.end(),
                                  static_cast<std::int64_t>(b)) != reserved_.end();
            for (const wide_operand& o : st_)
                used |= o.kind == wk_buf && o.index == static_cast<std::int64_t>(b);
            if (!used) break;
        }
        held_ = std::max(held_, b + 1);
        wide_operand o;
        o.index = static_cast<std::int64_t>(b);
        return o;
    }
    static std::size_t kind_of(const wide_operand& o) { return static_cast<std::size_t>(o.kind); }
    std::size_t kind(std::size_t below_top) const {
        return kind_of(st_[st_.size() - 1 - below_top]);
    }
    // Operands a.. are the top n of the stack; the result goes to a buffer
    // free of them and of everything below.
    wide_step& emit(wide_fn fn, std::size_t n) {
        wide_step k;
        k.fn = fn;
        k.inputs = static_cast<std::uint8_t>(n);
        wide_operand* ops[3] = {&k.a, &k.b, &k.c};
        for (std::size_t i = 0; i < n; ++i) *ops[i] = st_[st_.size() - n + i];
        k.out = take_buffer();
        st_.resize(st_.size() - n);
        st_.push_back(k.out);
        w_.steps.push_back(k);
        return w_.steps.back();
    }
    // Lane l reads slot base + stride l (or base + cells[l]), lane by lane.
    bool gather(std::int64_t base, std::int64_t stride, const std::uint32_t* cells,
                std::uint32_t lanes) {
        wide_step k;
        k.fn = &step_gather;
        k.op = nw_gather;
        k.at = w_.offsets.size();
        for (std::uint32_t l = 0; l < lanes; ++l) {
            std::int64_t slot = base + (cells ? static_cast<std::int32_t>(cells[l])
                                              : stride * static_cast<std::int64_t>(l));
            if (reads_target(slot, slot + 1)) return false;
            w_.offsets.push_back(slot);
        }
        k.out = take_buffer();
        st_.push_back(k.out);
        w_.steps.push_back(k);
        return true;
    }
    const std::uint32_t* c_;
    wide_unit& w_;
    std::deque<float>& numbers_;
    bool initial_;
    std::vector<wide_operand> st_;
    bool vector_call(std::uint32_t& pc, std::uint32_t lanes);

    std::size_t held_ = 0;
    std::int64_t first_ = 0, last_ = 0; // the target's slots (value_array)
    // Buffers an enclosing expression holds while a vector call's argument
    // runs (and the one its result goes to).
    std::vector<std::int64_t> reserved_;
};

bool wide_decoder::vector_call(std::uint32_t& pc, std::uint32_t lanes) {
    const std::uint32_t fn = c_[pc], m = c_[pc + 1];
    pc += 3;
    if (fn < fn_sum || fn > fn_vmax || m == 0 || lanes > UINT32_MAX / m) return false;
    wide_step k;
    k.fn = &step_nested;
    k.group = m;
    k.effect = true;
    k.out = take_buffer();
    k.nested = std::make_shared<wide_unit>();
    wide_unit& inner = *k.nested;
    inner.unit = w_.unit;
    inner.lanes = lanes * m;
    wide_decoder d(c_, inner, numbers_, initial_);
    d.first_ = first_;
    d.last_ = last_;
    d.reserved_ = reserved_;
    d.reserved_.push_back(k.out.index);
    for (const wide_operand& o : st_)
        if (o.kind == wk_buf) d.reserved_.push_back(o.index);
    if (!d.expression(pc, inner.lanes) || d.st_.size() != 1) return false;
    wide_step r;
    r.fn = reduce_into_table[3 * (fn - fn_sum) + kind_of(d.st_[0])];
    r.a = d.st_[0];
    r.inputs = 1;
    r.group = m;
    r.out = k.out;
    r.effect = true;
    inner.steps.push_back(r);
    d.drop_unread();
    held_ = std::max(held_, d.held_);
    st_.push_back(k.out);
    w_.steps.push_back(std::move(k));
    return true;
}

wide_fn binary_step(int index, std::size_t ka, std::size_t kb) {
    const auto& t = wider_vectors() ? binary_table_wider : binary_table;
    return t[18 * static_cast<std::size_t>(index) + 6 * ka + 2 * kb];
}

bool wide_decoder::operation(std::uint32_t op, std::uint32_t& pc, std::uint32_t lanes) {
    switch (op) {
    case nc_number: {
        numbers_.push_back(as_float(c_[pc++]));
        wide_operand o;
        o.kind = wk_one;
        o.source = ws_number;
        o.index = static_cast<std::int64_t>(numbers_.size() - 1);
        st_.push_back(o);
        return true;
    }
    case nc_ref: {
        std::int64_t base = static_cast<std::int32_t>(c_[pc + 1]);
        std::int64_t stride = static_cast<std::int32_t>(c_[pc + 2]);
        bool strided = c_[pc] == addr_strided;
        pc += 3;
        if (strided && (stride == 0 || stride == 1)) {
            if (reads_target(base, base + (stride ? lanes : 1))) return false;
            wide_operand o;
            o.kind = stride ? wk_lane : wk_one;
            o.source = ws_value;
            o.index = base;
            st_.push_back(o);
            return true;
        }
        return gather(base, stride, strided ? nullptr : c_ + c_[pc - 1], lanes);
    }
    case nc_neg:
    case nc_not:
        if (st_.empty()) return false;
        emit(unary_table[(op == nc_neg ? 0 : 6) + 2 * kind(0)], 1).op =
            op == nc_neg ? nw_neg : nw_not;
        return true;
    case nc_lookup_call:
    case nc_call:
        return call(op, pc, lanes);
    case nc_vector_call:
        return vector_call(pc, lanes);
    default: {
        int index = binary_index(op);
        if (index < 0 || st_.size() < 2) return false;
        wide_step& k = emit(binary_step(index, kind(1), kind(0)), 2);
        k.binary = index;
        k.op = nw_binary;
        return true;
    }
    }
}

bool wide_decoder::call(std::uint32_t op, std::uint32_t& pc, std::uint32_t lanes) {
    const std::uint32_t* addr = c_ + pc;
    std::uint32_t fn = 0, nargs = 1;
    if (op == nc_call) {
        fn = c_[pc];
        nargs = c_[pc + 1];
        addr = c_ + pc + 2;
        pc += 5;
    } else {
        pc += 3;
    }
    if (nargs > st_.size()) return false;
    if (op == nc_call && (fn == fn_min || fn == fn_max) && nargs == 2) {
        int index = fn == fn_min ? binary_min : binary_max;
        wide_step& k = emit(binary_step(index, kind(1), kind(0)), 2);
        k.binary = index;
        k.op = nw_binary;
        return true;
    }
    if (op == nc_call && fn == fn_if_then_else && nargs == 3) {
        emit(if_table[18 * kind(2) + 6 * kind(1) + 2 * kind(0)], 3).op = nw_if;
        return true;
    }
    // A smoothing's output outside the initial pass is its last hidden
    // state (its arguments are read only by the rates).
    if (op == nc_call && !initial_ && addr[1] != 0 &&
        (fn == fn_smooth || fn == fn_smooth_init || fn == fn_smooth3 || fn == fn_smooth3_init ||
         fn == fn_smooth_n)) {
        st_.resize(st_.size() - nargs);
        return gather(static_cast<std::int64_t>(addr[0]) + addr[1] - 1, addr[1], nullptr, lanes);
    }
    // A delay's is its last state over the time of a stage.
    if (op == nc_call && !initial_ && addr[1] != 0 && nargs >= 2 &&
        (fn == fn_delay1 || fn == fn_delay1_init || fn == fn_delay3 || fn == fn_delay3_init ||
         fn == fn_delay_n)) {
        wide_step k;
        k.a = st_[st_.size() - nargs + 1]; // the time
        k.fn = delay_output_table[kind_of(k.a)];
        k.inputs = 1;
        k.group = addr[1];
        k.states = addr[0];
        st_.resize(st_.size() - nargs);
        k.out = take_buffer();
        st_.push_back(k.out);
        w_.steps.push_back(k);
        return true;
    }
    if (op == nc_call && (fn != fn_lookup_extrapolate || nargs != 1)) return false;
    bool extrapolate = op == nc_call;
    wide_step& k = emit(lookup_table_fns[kind(0)][extrapolate], 1);
    k.effect = true;
    k.table = static_cast<std::int32_t>(addr[1]);
    if (addr[0] == addr_strided) {
        k.stride = static_cast<std::int32_t>(addr[2]);
    } else {
        k.indexed = true;
        k.at = w_.words.size();
        w_.words.insert(w_.words.end(), c_ + addr[2], c_ + addr[2] + lanes);
    }
    return true;
}

bool wide_decoder::store() {
    if (st_.size() != 1) return false;
    // The last operation stores into the target; a lookup, a gather or a
    // plain operand goes through a store of its own.
    wide_fn stored = w_.steps.empty() ? nullptr : storing(w_.steps.back().fn);
    const std::size_t count = w_.steps.size();
    const wide_step* first_op = count >= 2 ? &w_.steps[count - 2] : nullptr;
    const wide_step* second_op = count >= 2 ? &w_.steps[count - 1] : nullptr;
    // The last two + - * / as one pair when their operands are of its forms.
    auto pair_form = [&]() -> wide_fn {
        if (!first_op || st_[0].kind != wk_buf || first_op->binary < 0 || first_op->binary > 3 ||
            second_op->binary < 0 || second_op->binary > 3 || first_op->a.kind == wk_one ||
            first_op->b.kind == wk_buf)
            return nullptr;
        bool right = second_op->b.kind == wk_buf && second_op->b.index == first_op->out.index;
        bool left = second_op->a.kind == wk_buf && second_op->a.index == first_op->out.index;
        const wide_operand& z = right ? second_op->a : second_op->b;
        if (right == left || z.kind == wk_lane) return nullptr;
        std::size_t i = static_cast<std::size_t>(first_op->binary * 4 + second_op->binary) * 16 +
                        (first_op->a.kind == wk_buf) * 8 + (first_op->b.kind == wk_one) * 4 +
                        (z.kind == wk_buf) * 2 + right;
        return (wider_vectors() ? pair_table_wider : pair_table)[i];
    };
    if (wide_fn pair = pair_form()) {
        wide_step k = *first_op;
        k.fn = pair;
        k.inputs = 3;
        k.right = second_op->b.kind == wk_buf && second_op->b.index == first_op->out.index;
        k.c = k.right ? second_op->a : second_op->b;
        k.op = nw_pair;
        k.binary2 = static_cast<std::int8_t>(second_op->binary);
        w_.steps.resize(count - 2);
        w_.steps.push_back(k);
    } else if (stored && st_[0].kind == wk_buf && w_.steps.back().out.index == st_[0].index) {
        w_.steps.back().fn = stored;
    } else {
        wide_step k;
        k.fn = unary_table[12 + 2 * kind_of(st_[0]) + 1];
        k.a = st_[0];
        k.inputs = 1;
        k.op = nw_same;
        w_.steps.push_back(k);
    }
    w_.steps.back().out = w_.target;
    w_.steps.back().effect = true;
    return true;
}

bool wide_decoder::reduce(std::uint32_t fn, std::uint32_t group) {
    if (st_.size() != 1 || fn < fn_sum || fn > fn_vmax || group == 0) return false;
    wide_step k;
    k.fn = reduce_table[3 * (fn - fn_sum) + kind_of(st_[0])];
    k.a = st_[0];
    k.inputs = 1;
    k.group = group;
    k.out = w_.target;
    k.effect = true;
    w_.steps.push_back(k);
    w_.group = group;
    return true;
}

bool wide_decoder::state_rates(const std::uint32_t* call) {
    const std::uint32_t fn = call[0], nargs = call[1], per = call[3];
    const bool smooth = fn == fn_smooth || fn == fn_smooth_init || fn == fn_smooth3 ||
                        fn == fn_smooth3_init || fn == fn_smooth_n;
    const bool delay = fn == fn_delay1 || fn == fn_delay1_init || fn == fn_delay3 ||
                       fn == fn_delay3_init || fn == fn_delay_n;
    if (initial_ || (!smooth && !delay) || per == 0 || nargs < 2 || st_.size() != nargs)
        return false;
    wide_step k;
    k.fn = (wider_vectors() ? state_rate_table_wider
                            : state_rate_table)[9 * delay + 3 * kind_of(st_[0]) + kind_of(st_[1])];
    k.a = st_[0];
    k.b = st_[1];
    k.inputs = 2;
    k.group = per;
    k.states = call[2];
    k.effect = true;
    k.out = w_.target;
    w_.steps.push_back(k);
    w_.state_rates = true;
    w_.per = per;
    w_.states = call[2];
    return true;
}

void wide_decoder::drop_unread() {
    std::set<std::int64_t> read;
    std::vector<wide_step> kept;
    for (std::size_t k = w_.steps.size(); k-- > 0;) {
        const wide_step& s = w_.steps[k];
        const bool to_buffer = s.out.source == ws_buffer;
        if (!s.effect && to_buffer && !read.count(s.out.index)) continue;
        if (to_buffer) read.erase(s.out.index);
        const wide_operand* in[3] = {&s.a, &s.b, &s.c};
        for (std::size_t i = 0; i < s.inputs; ++i)
            if (in[i]->kind == wk_buf) read.insert(in[i]->index);
        kept.push_back(s);
    }
    std::reverse(kept.begin(), kept.end());
    w_.steps = std::move(kept);
}

} // namespace

bool flat_pass::compile_wide(const sim_program& program, int unit) {
    const std::uint32_t* c = program.units[static_cast<std::size_t>(unit)].code.data();
    const std::uint32_t lanes = c[0];
    const std::uint32_t* h = c + 2 + c[1];
    const std::uint32_t array = h[0], inner = h[5];
    std::uint32_t pc = h[4];
    const std::size_t size = program.units[static_cast<std::size_t>(unit)].code.size();
    // What the unit is: a vector call over every lane's inner lanes, the
    // rates of a state function's hidden states, or an expression over lanes.
    const bool reduce = pc + 4 < size && c[pc] == nc_vector_call && c[pc + 2] == inner &&
                        inner >= 1 && pc + 4 + std::size_t{c[pc + 3]} < size &&
                        c[pc + 4 + c[pc + 3]] == op_end;
    const bool rates = array == 2;
    if (lanes < 1 || (lanes < 2 && inner == 1) ||
        (array != 2 &&
         (h[1] != addr_strided || (lanes > 1 && static_cast<std::int32_t>(h[3]) != 1))))
        return false;
    auto w = std::make_unique<wide_unit>();
    w->unit = unit;
    w->lanes = lanes;
    w->target.source = array == 1 ? ws_rate : ws_value;
    w->target.index = rates ? 0 : static_cast<std::int32_t>(h[2]);
    wide_decoder d(c, *w, numbers_, initial_);
    // A unit reading its own target lane by lane would see the lanes it has
    // already stored; the interpreter stores after each chunk. Such units
    // stay with it.
    if (array == 0) d.reads_target_below(w->target.index, w->target.index + lanes);
    if (reduce) {
        const std::uint32_t fn = c[pc + 1], group = c[pc + 2];
        if (group == 0 || lanes > UINT32_MAX / group) return false;
        pc += 4;
        w->lanes = lanes * group;
        if (!d.expression(pc, w->lanes) || c[pc] != op_end || !d.reduce(fn, group)) return false;
    } else if (rates) {
        if (!d.until(pc, lanes, op_state_rate) || pc + 7 > size || c[pc + 6] != op_end ||
            !d.state_rates(c + pc + 1))
            return false;
    } else if (c[pc] == nc_ref && c[pc + 1] == addr_strided &&
               static_cast<std::int32_t>(c[pc + 3]) == 1 && c[pc + 4] == op_end) {
        // The plain copy of another variable's lanes, as the interpreter does it.
        wide_step k;
        k.fn = &step_copy;
        k.a.kind = wk_lane;
        k.a.source = ws_value;
        k.a.index = static_cast<std::int32_t>(c[pc + 2]);
        k.out = w->target;
        w->steps.push_back(k);
        wides_.push_back(std::move(w));
        return true;
    } else if (!d.expression(pc, lanes) || !d.store()) {
        return false;
    }
    d.drop_unread();
    if (wide_buffers_.size() < d.buffers() * wide_chunk)
        wide_buffers_.resize(d.buffers() * wide_chunk);
    wides_.push_back(std::move(w));
    return true;
}

void flat_pass::run_wide(const wide_unit& w) {
    for (std::uint32_t k0 = 0; k0 < w.lanes; k0 += wide_chunk) {
        std::uint32_t n = std::min(wide_chunk, w.lanes - k0);
        std::uint32_t bad = 0;
        for (const wide_step& k : w.steps) bad += k.fn(k, k0, n);
        if (bad) report_wide(w, k0, n);
    }
}

void flat_pass::report_wide(const wide_unit& w, std::uint32_t k0, std::uint32_t n) {
    // The first lane stored in the chunk that is not finite, as the
    // interpreter names it: a lane of the target (one per group of lanes of
    // a reduction), or a lane of which a state's rate is not.
    if (w.state_rates) {
        for (std::uint32_t i = k0; i < k0 + n; ++i)
            for (std::uint32_t j = 0; j < w.per; ++j)
                if (non_finite(rate_array[static_cast<std::size_t>(w.states) +
                                          std::size_t{i} * w.per + j]))
                    interp_fail_lane(w.unit, i, "Floating point error computing the state of");
        return;
    }
    for (std::uint32_t i = k0 / w.group; i < (k0 + n) / w.group; ++i)
        if (non_finite(w.target.t[i]))
            interp_fail_lane(w.unit, i, "Floating point error computing");
}

void flat_pass::report_non_finite(std::size_t before, int mode) {
    // A stretch of reordered units cut part way (native code checks at the
    // end of each of its parts) is computed to its end first: the first unit
    // in order not finite may be one of those not yet computed. The loop
    // stops at the check after the stretch and names it.
    for (const auto& [first, end] : grouped_)
        if (before > first && before < end) {
            run_loop(before, 1, mode);
            break;
        }
    for (const store_check& k : checks_)
        if (k.op < before && non_finite((k.rate ? rate_array : value_array)[k.slot]))
            interp_fail_unit(k.unit, "Floating point error computing");
    interp_fail_unit(-1, "Floating point error computing");
}

void flat_pass::run(int mode) {
    if (job_) take_native();
    if (native_) {
        std::uint32_t bad = 0;
        int r = native_run(*native_, *this, ops_.data(), mode, &bad);
        if (r > 0) report_non_finite(static_cast<std::size_t>(r - 1), mode);
        if (r < 0) run_loop(static_cast<std::size_t>(-r - 1), bad, mode);
        return;
    }
    run_loop(0, 0, mode);
}

native_bound_handle flat_pass::bind_native() {
    if (job_) take_native();
    return native_ ? native_bind(*native_, *this, ops_.data()) : nullptr;
}

void flat_pass::finish_bound(int r, std::uint32_t bad, int mode) {
    if (r > 0) report_non_finite(static_cast<std::size_t>(r - 1), mode);
    if (r < 0) run_loop(static_cast<std::size_t>(-r - 1), bad, mode);
}

// The flat loop's instructions as macros, expanded in run_loop: FLAT_OP(name)
// begins an instruction's code, FLAT_NEXT goes on to the next one,
// FLAT_CHECK names the first value stored so far that is not finite.
// Stored values are checked together; before any step that could end the
// run otherwise, the values stored so far are checked first.
#define FLAT_CHECK                                                                                 \
    if (bad) report_non_finite(static_cast<std::size_t>(ip - ops_.data()), mode)
#define FLAT_STORE(value)                                                                          \
    {                                                                                              \
        float f_ = static_cast<float>(value);                                                      \
        *ip->c.dst = f_;                                                                           \
        bad |= non_finite(f_);                                                                     \
    }
#define FLAT_A_s static_cast<double>(*ip->a.f)
#define FLAT_A_r r[ip->a.r]
#define FLAT_A_a acc
#define FLAT_B_s static_cast<double>(*ip->b.f)
#define FLAT_B_r r[ip->b.r]
#define FLAT_B_a acc
#define FLAT_PUT_a(value) acc = (value)
#define FLAT_PUT_t(value) FLAT_STORE(value)
#define FLAT_FORM(name, expr, form, ka, kb, ks)                                                    \
    FLAT_OP(fo_##name##_##form) {                                                                  \
        double x = FLAT_A_##ka, y = FLAT_B_##kb;                                                   \
        FLAT_PUT_##ks(expr);                                                                       \
        FLAT_NEXT;                                                                                 \
    }
#define FLAT_BODIES(name, expr)                                                                    \
    FLAT_FORM(name, expr, 0, s, s, a)                                                              \
    FLAT_FORM(name, expr, 1, s, r, a)                                                              \
    FLAT_FORM(name, expr, 2, s, a, a)                                                              \
    FLAT_FORM(name, expr, 3, r, s, a)                                                              \
    FLAT_FORM(name, expr, 4, r, r, a)                                                              \
    FLAT_FORM(name, expr, 5, r, a, a)                                                              \
    FLAT_FORM(name, expr, 6, a, s, a)                                                              \
    FLAT_FORM(name, expr, 7, a, r, a)                                                              \
    FLAT_FORM(name, expr, 8, s, s, t)                                                              \
    FLAT_FORM(name, expr, 9, s, r, t)                                                              \
    FLAT_FORM(name, expr, 10, s, a, t)                                                             \
    FLAT_FORM(name, expr, 11, r, s, t)                                                             \
    FLAT_FORM(name, expr, 12, r, r, t)                                                             \
    FLAT_FORM(name, expr, 13, r, a, t)                                                             \
    FLAT_FORM(name, expr, 14, a, s, t)                                                             \
    FLAT_FORM(name, expr, 15, a, r, t)

#define FLAT_PAIR_BODY(k1, k2, right, store)                                                       \
    FLAT_PAIR_OP(k1, k2, right, store) {                                                           \
        double t = arith<k1>(*ip->a.f, *ip->b.f), z = *ip->c.dst;                                  \
        double v = right ? arith<k2>(z, t) : arith<k2>(t, z);                                      \
        ++ip;                                                                                      \
        if (store) {                                                                               \
            FLAT_STORE(v);                                                                         \
        } else {                                                                                   \
            acc = v;                                                                               \
        }                                                                                          \
        FLAT_NEXT;                                                                                 \
    }
#define FLAT_PAIR_BODIES(k1, k2)                                                                   \
    FLAT_PAIR_BODY(k1, k2, 0, 0)                                                                   \
    FLAT_PAIR_BODY(k1, k2, 0, 1) FLAT_PAIR_BODY(k1, k2, 1, 0) FLAT_PAIR_BODY(k1, k2, 1, 1)
#if defined(__GNUC__)
// Threaded dispatch: each instruction jumps straight to the next one's
// code, whose address replaces the instruction's code on the first run.
#define FLAT_LABEL(name) &&L_##name,
#define FLAT_LABELS(name, expr)                                                                    \
    FLAT_LABEL(fo_##name##_0)                                                                      \
    FLAT_LABEL(fo_##name##_1)                                                                      \
    FLAT_LABEL(fo_##name##_2)                                                                      \
    FLAT_LABEL(fo_##name##_3)                                                                      \
    FLAT_LABEL(fo_##name##_4)                                                                      \
    FLAT_LABEL(fo_##name##_5)                                                                      \
    FLAT_LABEL(fo_##name##_6)                                                                      \
    FLAT_LABEL(fo_##name##_7)                                                                      \
    FLAT_LABEL(fo_##name##_8)                                                                      \
    FLAT_LABEL(fo_##name##_9)                                                                      \
    FLAT_LABEL(fo_##name##_10)                                                                     \
    FLAT_LABEL(fo_##name##_11)                                                                     \
    FLAT_LABEL(fo_##name##_12)                                                                     \
    FLAT_LABEL(fo_##name##_13)                                                                     \
    FLAT_LABEL(fo_##name##_14) FLAT_LABEL(fo_##name##_15)
#define FLAT_PAIR_LABELS(k1, k2)                                                                   \
    &&P_##k1##_##k2##_0_0, &&P_##k1##_##k2##_0_1, &&P_##k1##_##k2##_1_0, &&P_##k1##_##k2##_1_1,
#define FLAT_PAIR_OP(k1, k2, right, store) P_##k1##_##k2##_##right##_##store:
#define FLAT_OP(name) L_##name:
#define FLAT_NEXT goto*(++ip)->x.handler
#else
#define FLAT_PAIR_OP(k1, k2, right, store) case fo_pair_first + pair_code(k1, k2, right, store):
#define FLAT_OP(name) case name:
#define FLAT_NEXT                                                                                  \
    ++ip;                                                                                          \
    continue
#endif

void flat_pass::run_loop(std::size_t from, std::uint32_t bad, int mode) {
    flat_op* ip = ops_.data() + from;
    double* r = regs_.data();
    const float* lut = run_lookup_data();
    double acc = 0;
#if defined(__GNUC__)
    static const void* const labels[] = {
        FLAT_LABEL(fo_end) FLAT_LABEL(fo_unit) FLAT_LABEL(fo_acc_s) FLAT_LABEL(fo_acc_r)
            FLAT_LABEL(fo_spill) FLAT_LABEL(fo_reg_s) FLAT_LABEL(fo_store_s) FLAT_LABEL(fo_store_r)
                FLAT_LABEL(fo_store_a) FLAT_LABEL(fo_neg) FLAT_LABEL(fo_not) FLAT_LABEL(fo_lookup)
                    FLAT_LABEL(fo_lookup_s) FLAT_LABEL(fo_if) FLAT_LABEL(fo_call)
                        FLAT_LABEL(fo_rate) FLAT_LABEL(fo_wide) FLAT_LABEL(fo_copy)
                            FLAT_BINARY(FLAT_LABELS) FLAT_PAIRS(FLAT_PAIR_LABELS)};
    static_assert(sizeof(labels) / sizeof(labels[0]) == fo_count);
    if (!resolved_) {
        for (flat_op& o : ops_) o.x.handler = labels[o.x.code];
        resolved_ = true;
    }
    goto * ip->x.handler;
#else
    for (;;) {
        switch (ip->x.code) {
#endif
    FLAT_OP(fo_end) {
        FLAT_CHECK;
        return;
    }
    FLAT_OP(fo_unit) {
        FLAT_CHECK;
        eval_unit(static_cast<int>(ip->a.r), mode);
        FLAT_NEXT;
    }
    FLAT_OP(fo_acc_s) {
        acc = *ip->a.f;
        FLAT_NEXT;
    }
    FLAT_OP(fo_acc_r) {
        acc = r[ip->a.r];
        FLAT_NEXT;
    }
    FLAT_OP(fo_spill) {
        r[ip->a.r] = acc;
        FLAT_NEXT;
    }
    FLAT_OP(fo_reg_s) {
        r[ip->a.r] = *ip->b.f;
        FLAT_NEXT;
    }
    FLAT_OP(fo_store_s) {
        float f = *ip->a.f;
        *ip->c.dst = f;
        bad |= non_finite(f);
        FLAT_NEXT;
    }
    FLAT_OP(fo_store_r) {
        FLAT_STORE(r[ip->a.r]);
        FLAT_NEXT;
    }
    FLAT_OP(fo_store_a) {
        FLAT_STORE(acc);
        FLAT_NEXT;
    }
    FLAT_OP(fo_neg) {
        acc = acc == NAd ? NAd : -acc;
        FLAT_NEXT;
    }
    FLAT_OP(fo_not) {
        acc = acc == 0 ? 1.0 : 0.0;
        FLAT_NEXT;
    }
    FLAT_OP(fo_lookup) {
        acc = acc == NAd ? NAd : lookup_value(*ip->c.table, lut, acc, false);
        FLAT_NEXT;
    }
    FLAT_OP(fo_lookup_s) {
        double x = *ip->a.f;
        acc = x == NAd ? NAd : lookup_value(*ip->c.table, lut, x, false);
        FLAT_NEXT;
    }
    FLAT_OP(fo_if) {
        const double* a = r + ip->a.r;
        acc = a[0] != 0 ? a[1] : a[2];
        FLAT_NEXT;
    }
    FLAT_OP(fo_call) {
        FLAT_CHECK;
        acc = interp_call_one(static_cast<int>(ip->b.r), ip->c.call, r + ip->a.r, mode);
        FLAT_NEXT;
    }
    FLAT_OP(fo_rate) {
        FLAT_CHECK;
        interp_state_rate_one(static_cast<int>(ip->b.r), ip->c.call, r + ip->a.r, mode);
        FLAT_NEXT;
    }
    FLAT_OP(fo_wide) {
        FLAT_CHECK;
        run_wide(*wides_[ip->a.r]);
        FLAT_NEXT;
    }
    FLAT_OP(fo_copy) {
        if (ip->c.dst != ip->a.f)
            std::memmove(ip->c.dst, ip->a.f, 4 * static_cast<std::size_t>(ip->b.r));
        FLAT_NEXT;
    }
    FLAT_BINARY(FLAT_BODIES)
    FLAT_PAIRS(FLAT_PAIR_BODIES)
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

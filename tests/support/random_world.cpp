// World-size models whose sectors differ (see random_world.h).
#include "tests/support/random_world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tests/support/random_model.h"

namespace {

std::string num(long i) {
    return std::to_string(i);
}

// A float as the model's text and C++ both read it exactly.
std::string exact(float v) {
    char t[48];
    std::snprintf(t, sizeof t, "%.17g", static_cast<double>(v));
    return t;
}
// The same as a C++ double literal.
std::string real(float v) {
    std::string t = exact(v);
    if (t.find_first_of(".e") == std::string::npos) t += ".0";
    return t;
}
// A float as a C++ literal of the same value.
std::string literal(float v) {
    char t[48];
    std::snprintf(t, sizeof t, "%af", static_cast<double>(v));
    return t;
}

// An expression tree, printed once as the model's equation and once as C++.
struct node {
    enum kind_t {
        number,   // value
        ratio,    // a level over its scale: slot, slot2 (constant)
        variable, // a saved value: slot
        constant, // slot
        add,
        sub,
        mul,
        div,  // a / MAX(b, value)
        divq, // a / (1 + b * b)
        min,
        max,
        when, // IF THEN ELSE(a > b, c, d)
        lookup
    } kind;
    float value = 0;
    int slot = 0, slot2 = 0;
    std::vector<std::unique_ptr<node>> k; // operands
};
using tree = std::unique_ptr<node>;

struct table {
    std::string name;
    std::vector<std::pair<float, float>> points;
};

class world_writer {
public:
    world_writer(model_builder& b, std::uint64_t seed, int sectors)
        : b_(b), r_(seed), sectors_(sectors) {}

    random_world write(const std::string& function) {
        declare();
        random_world w;
        for (int s = 0; s < sectors_; ++s)
            for (int i = 0; i < 10; ++i) w.saved.push_back(level_name(s, i));
        for (const aux& a : auxes_) w.saved.push_back(a.name);
        w.cpp = cpp(function);
        return w;
    }

private:
    model_builder& b_;
    seeded_source r_;
    int sectors_;

    std::vector<float> constants_;
    std::vector<table> tables_;
    struct aux {
        std::string name;
        tree top;       // the equation (the input, for a smoothed or delayed one)
        int state = -1; // 0 SMOOTH, 1 SMOOTH3, 2 DELAY1, 3 DELAY3
        int delay = 0;  // its delay time's constant
        int hidden = 0; // its first hidden state
    };
    std::vector<aux> auxes_; // in order: a sector's signals, then its flows
    struct level {
        int scale = 0, rate = 0; // constants
        float start = 1;         // times the scale
        int flow = 0;            // its flow's aux
        bool outflow = false;    // rate = flow - level * rate constant
    };
    std::vector<level> levels_;
    int hidden_ = 0;

    // Where sector s's first signal lies in auxes_.
    static int signal_of(int s, int j) { return s * 20 + j; }
    static std::string level_name(int s, int i) { return "s" + num(s) + " L" + num(i); }

    std::uint32_t below(std::uint32_t n) { return r_.below(n); }
    bool chance(std::uint32_t percent) { return r_.chance(percent); }

    // m * 2^e, m in [1, 64), e in [lo, hi]: exact in float and in decimal.
    float dyadic(int lo, int hi) {
        float m = static_cast<float>(1 + below(63));
        int e = lo + static_cast<int>(below(static_cast<std::uint32_t>(hi - lo + 1)));
        return std::ldexp(m, e);
    }

    // Constant c: the 25 of sector c / 25 are ten scales, ten adjustment
    // rates, four parameters and a delay time.
    static std::string constant_name(int c) {
        const int k = c % 25;
        const std::string S = "s" + num(c / 25) + " ";
        if (k < 10) return S + "T" + num(k);
        if (k < 20) return S + "K" + num(k - 10);
        if (k < 24) return S + "P" + num(k - 20);
        return S + "D";
    }
    int add_constant(float v) {
        const int c = static_cast<int>(constants_.size());
        constants_.push_back(v);
        b_.constant(constant_name(c).c_str(), v);
        return c;
    }

    void declare() {
        b_.control(0, random_world_end, random_world_step, random_world_step);
        for (int s = 0; s < sectors_; ++s) declare_sector(s);
    }

    struct sector {
        int first_constant = 0, params = 0, delay = 0, first_table = 0;
    } cur_;
    int sector_ = 0, signals_made_ = 0;

    void declare_sector(int s) {
        sector_ = s;
        const std::string S = "s" + num(s) + " ";
        // Scales of varied magnitude (0.01 to 1e4), adjustment rates, parameters.
        cur_.first_constant = static_cast<int>(constants_.size());
        for (int i = 0; i < 10; ++i) {
            float mant = 1 + static_cast<float>(below(36)) / 4.0f;
            float scale = mant * std::ldexp(1.0f, static_cast<int>(below(21)) - 7);
            add_constant(scale);
        }
        for (int i = 0; i < 10; ++i) add_constant(static_cast<float>(1 + below(24)) / 64.0f);
        cur_.params = static_cast<int>(constants_.size());
        for (int j = 0; j < 4; ++j) add_constant(dyadic(-10, 10));
        cur_.delay = add_constant(static_cast<float>(4 + below(72)) / 4.0f);
        cur_.first_table = static_cast<int>(tables_.size());
        for (int j = 0; j < 2; ++j) {
            table t{S + "tbl" + num(j), {}};
            int n = 4 + static_cast<int>(below(4));
            float x = static_cast<float>(-static_cast<int>(below(9))) / 8.0f;
            for (int p = 0; p < n; ++p) {
                t.points.push_back({x, static_cast<float>(7 + below(154)) / 64.0f});
                x += static_cast<float>(1 + below(12)) / 8.0f;
            }
            b_.lookup(t.name.c_str(), t.points);
            tables_.push_back(std::move(t));
        }
        // Ten signals, one of them smoothed or delayed.
        const int stateful = static_cast<int>(below(10));
        for (int j = 0; j < 10; ++j) {
            signals_made_ = j;
            aux a;
            a.name = S + "a" + num(j);
            a.top = bounded(3);
            if (j == stateful) {
                a.state = static_cast<int>(below(4));
                a.delay = cur_.delay;
                a.hidden = hidden_;
                hidden_ += (a.state == 1 || a.state == 3) ? 3 : 1;
                static const char* const fns[4] = {"SMOOTH", "SMOOTH3", "DELAY1", "DELAY3"};
                b_.aux(a.name.c_str(), (std::string(fns[a.state]) + "(" + text(*a.top) + ", " +
                                        constant_name(a.delay) + ")")
                                           .c_str());
            } else {
                b_.aux(a.name.c_str(), text(*a.top).c_str());
            }
            auxes_.push_back(std::move(a));
        }
        signals_made_ = 10;
        // Ten flows, each moving its level toward its scale times a bounded tree.
        for (int i = 0; i < 10; ++i) {
            level l;
            l.scale = cur_.first_constant + i;
            l.rate = cur_.first_constant + 10 + i;
            l.start = static_cast<float>(2 + below(12)) / 8.0f;
            l.flow = static_cast<int>(auxes_.size());
            l.outflow = chance(50);
            aux f;
            f.name = S + "f" + num(i);
            const int self = s * 10 + i;
            // flow = K (T g - L), or K T g with the outflow L K in the rate.
            tree k = leaf_constant(l.rate), t = leaf_constant(l.scale), g = bounded(3);
            tree tg = op(node::mul, std::move(t), std::move(g));
            if (l.outflow) {
                f.top = op(node::mul, std::move(k), std::move(tg));
            } else {
                tree lv = std::make_unique<node>();
                lv->kind = node::variable;
                lv->slot = self;
                f.top = op(node::mul, std::move(k), op(node::sub, std::move(tg), std::move(lv)));
            }
            b_.aux(f.name.c_str(), text(*f.top).c_str());
            std::string rate = f.name;
            if (l.outflow) rate += " - " + level_name(s, i) + " * " + constant_name(l.rate);
            b_.level(level_name(s, i).c_str(), rate.c_str(),
                     (constant_name(l.scale) + " * " + exact(l.start)).c_str());
            auxes_.push_back(std::move(f));
            levels_.push_back(l);
        }
    }

    static tree op(node::kind_t kind, tree a, tree b) {
        tree n = std::make_unique<node>();
        n->kind = kind;
        n->k.push_back(std::move(a));
        n->k.push_back(std::move(b));
        return n;
    }
    static tree leaf_constant(int c) {
        tree n = std::make_unique<node>();
        n->kind = node::constant;
        n->slot = c;
        return n;
    }
    tree leaf_number(float v) {
        tree n = std::make_unique<node>();
        n->kind = node::number;
        n->value = v;
        return n;
    }
    int a_table() { return cur_.first_table + static_cast<int>(below(2)); }

    // The value slot numbering of the C++: levels, then auxiliaries.
    int aux_slot(int a) const { return sectors_ * 10 + a; }

    tree leaf() {
        tree n = std::make_unique<node>();
        std::uint32_t k = below(20);
        if (k < 8) {
            // A level over its scale, of this sector mostly.
            int s = chance(70) ? sector_
                               : static_cast<int>(below(static_cast<std::uint32_t>(sectors_)));
            int i = static_cast<int>(below(10));
            n->kind = node::ratio;
            n->slot = s * 10 + i;
            n->slot2 = s * 25 + i;
        } else if (k < 13 && (signals_made_ > 0 || sector_ > 0)) {
            // A signal of this sector made before, or of an earlier sector.
            int s = sector_, j;
            if (signals_made_ == 0 || (sector_ > 0 && chance(40))) {
                s = static_cast<int>(below(static_cast<std::uint32_t>(sector_)));
                j = static_cast<int>(below(10));
            } else {
                j = static_cast<int>(below(static_cast<std::uint32_t>(signals_made_)));
            }
            n->kind = node::variable;
            n->slot = aux_slot(signal_of(s, j));
        } else if (k < 16) {
            n->kind = node::constant;
            n->slot = cur_.params + static_cast<int>(below(4));
        } else {
            n->kind = node::number;
            n->value = dyadic(-10, 10);
        }
        return n;
    }
    tree expr(int depth) {
        if (depth <= 0 || chance(20)) return leaf();
        std::uint32_t k = below(13);
        if (k < 3) return op(node::add, expr(depth - 1), expr(depth - 1));
        if (k < 5) return op(node::sub, expr(depth - 1), expr(depth - 1));
        if (k < 8) return op(node::mul, expr(depth - 1), expr(depth - 1));
        if (k == 8) {
            if (chance(50)) return op(node::divq, expr(depth - 1), expr(depth - 1));
            tree n = op(node::div, expr(depth - 1), expr(depth - 1));
            n->value = static_cast<float>(1 + below(8)) / 8.0f;
            return n;
        }
        if (k == 9) return op(node::min, expr(depth - 1), expr(depth - 1));
        if (k == 10) return op(node::max, expr(depth - 1), expr(depth - 1));
        if (k == 11) {
            tree n = op(node::when, expr(depth - 1), expr(depth - 1));
            n->k.push_back(leaf());
            n->k.push_back(leaf());
            return n;
        }
        tree n = std::make_unique<node>();
        n->kind = node::lookup;
        n->slot = a_table();
        n->k.push_back(expr(depth - 1));
        return n;
    }

    // A tree whose value lies within a lookup's range or a clamp's (above 0.1).
    tree bounded(int depth) {
        tree t = expr(depth);
        std::uint32_t k = below(3);
        if (k == 0) {
            tree n = std::make_unique<node>();
            n->kind = node::lookup;
            n->slot = a_table();
            n->k.push_back(std::move(t));
            return n;
        }
        float lo = static_cast<float>(1 + below(8)) / 16.0f;
        float hi = static_cast<float>(8 + below(24)) / 8.0f;
        if (k == 1)
            return op(node::min, op(node::max, std::move(t), leaf_number(lo)), leaf_number(hi));
        return op(node::max, op(node::min, std::move(t), leaf_number(hi)), leaf_number(lo));
    }

    // ---- the model's text ----
    std::string name_of_slot(int slot) const {
        if (slot < sectors_ * 10) return level_name(slot / 10, slot % 10);
        return auxes_[static_cast<std::size_t>(slot - sectors_ * 10)].name;
    }
    static std::string v(int slot) { return "double(w.v[" + num(slot) + "])"; }
    static std::string c(int slot) { return "double(c[" + num(slot) + "])"; }
    // An expression written as the model's equation text, or as the C++ that
    // computes the same: the operators are spelt alike, the leaves, functions
    // and choices each language its own way.
    std::string write(const node& n, bool as_cpp) const {
        auto a = [&](std::size_t i) { return write(*n.k[i], as_cpp); };
        auto number = [&](float x) { return as_cpp ? real(x) : exact(x); };
        auto variable = [&](int slot) { return as_cpp ? v(slot) : name_of_slot(slot); };
        auto constant = [&](int slot) { return as_cpp ? c(slot) : constant_name(slot); };
        const std::string min = as_cpp ? "std::min(" : "MIN(";
        const std::string max = as_cpp ? "std::max(" : "MAX(";
        switch (n.kind) {
        case node::number:
            return number(n.value);
        case node::ratio:
            return "(" + variable(n.slot) + " / " + constant(n.slot2) + ")";
        case node::variable:
            return variable(n.slot);
        case node::constant:
            return constant(n.slot);
        case node::add:
            return "(" + a(0) + " + " + a(1) + ")";
        case node::sub:
            return "(" + a(0) + " - " + a(1) + ")";
        case node::mul:
            return "(" + a(0) + " * " + a(1) + ")";
        case node::div:
            return "(" + a(0) + " / " + max + a(1) + ", " + number(n.value) + "))";
        case node::divq: {
            const std::string b = a(1);
            return "(" + a(0) + " / (1 + " + b + " * " + b + "))";
        }
        case node::min:
            return min + a(0) + ", " + a(1) + ")";
        case node::max:
            return max + a(0) + ", " + a(1) + ")";
        case node::when:
            if (as_cpp) return "(" + a(0) + " > " + a(1) + " ? " + a(2) + " : " + a(3) + ")";
            return "IF THEN ELSE(" + a(0) + " > " + a(1) + ", " + a(2) + ", " + a(3) + ")";
        case node::lookup:
            if (as_cpp) return "lookup(tbl" + num(n.slot) + ", " + a(0) + ")";
            return tables_[static_cast<std::size_t>(n.slot)].name + "(" + a(0) + ")";
        }
        return "0";
    }
    std::string text(const node& n) const { return write(n, false); }

    // ---- the C++ ----
    std::string code(const node& n) const { return write(n, true); }

    std::string cpp(const std::string& function) const {
        const int nl = sectors_ * 10, nv = nl + static_cast<int>(auxes_.size());
        std::string o;
        o += "// " + function + ": a random world of " + num(sectors_) +
             " sectors written out in C++ (generated; see tests/support/random_world.h).\n";
        o += "#include <algorithm>\n#include <vector>\n\nnamespace {\n\n";
        o += "struct lookup_table {\n    int n;\n    float x[8], y[8];\n};\n\n";
        o += "double lookup(const lookup_table& t, double v) {\n"
             "    if (v <= t.x[0]) return t.y[0];\n"
             "    if (v >= t.x[t.n - 1]) return t.y[t.n - 1];\n"
             "    int k = 1;\n"
             "    while (t.x[k] < v) ++k;\n"
             "    double x0 = t.x[k - 1], y0 = t.y[k - 1];\n"
             "    return y0 + (v - x0) * (double(t.y[k]) - y0) / (double(t.x[k]) - x0);\n"
             "}\n\n";
        for (std::size_t j = 0; j < tables_.size(); ++j) {
            const auto& p = tables_[j].points;
            std::string xs, ys;
            for (std::size_t q = 0; q < p.size(); ++q) {
                xs += (q ? ", " : "") + literal(p[q].first);
                ys += (q ? ", " : "") + literal(p[q].second);
            }
            o += "const lookup_table tbl" + num(static_cast<long>(j)) + " = {" +
                 num(static_cast<long>(p.size())) + ", {" + xs + "}, {" + ys + "}};\n";
        }
        o += "\n// Values as the engine stores them: levels, then auxiliaries; the\n"
             "// rates of the levels and the hidden states of smoothing and delays.\n";
        o += "struct world {\n    float v[" + num(nv) + "];\n    float r[" + num(nl) +
             "];\n    float h[" + num(std::max(hidden_, 1)) + "];\n    float hr[" +
             num(std::max(hidden_, 1)) + "];\n};\n\n";
        // The constants stay variables, as the engine's do.
        o += "float constants[" + num(static_cast<long>(constants_.size())) + "] = {";
        for (std::size_t i = 0; i < constants_.size(); ++i)
            o += (i % 8 ? " " : "\n    ") + literal(constants_[i]) + ",";
        o += "\n};\n\n";
        for (int s = 0; s < sectors_; ++s) o += sector_code(s);
        o += "} // namespace\n\n";
        o += "void " + function + "(std::vector<float>& rows);\n";
        o += "void " + function + "(std::vector<float>& rows) {\n";
        o += "    static world w;\n    const float* c = constants;\n";
        o += "    rows.clear();\n    rows.reserve(" + num(nv) + " * 401);\n";
        for (int i = 0; i < nl; ++i) {
            const level& l = levels_[static_cast<std::size_t>(i)];
            o += "    w.v[" + num(i) + "] = float(" + c(l.scale) + " * " + real(l.start) + ");\n";
        }
        o += "    for (int n = 0;; ++n) {\n";
        for (int s = 0; s < sectors_; ++s) o += "        sector" + num(s) + "(w, c, n == 0);\n";
        o += "        rows.insert(rows.end(), w.v, w.v + " + num(nv) + ");\n";
        o += "        if (n == 400) break;\n";
        o += "        for (int i = 0; i < " + num(nl) + "; ++i) w.v[i] = w.v[i] + 0.5f * w.r[i];\n";
        if (hidden_)
            o += "        for (int i = 0; i < " + num(hidden_) +
                 "; ++i) w.h[i] = w.h[i] + 0.5f * w.hr[i];\n";
        o += "    }\n}\n";
        return o;
    }

    // One sector's auxiliaries and its levels' rates (the hidden states'
    // rates with their smoothing or delay).
    std::string sector_code(int s) const {
        std::string o = "void sector" + num(s) + "(world& w, const float* c, bool first) {\n";
        o += "    (void)first;\n";
        for (int j = 0; j < 20; ++j) {
            const aux& a = auxes_[static_cast<std::size_t>(s * 20 + j)];
            const std::string at = "w.v[" + num(aux_slot(s * 20 + j)) + "]";
            if (a.state < 0) {
                o += "    " + at + " = float(" + code(*a.top) + ");\n";
                continue;
            }
            const int per = (a.state == 1 || a.state == 3) ? 3 : 1;
            auto h = [&](int q) { return "w.h[" + num(a.hidden + q) + "]"; };
            auto hr = [&](int q) { return "w.hr[" + num(a.hidden + q) + "]"; };
            o += "    {\n        double in = " + code(*a.top) + ", d = " + c(a.delay) +
                 ", stage = d / " + num(per) + ";\n";
            const bool delay = a.state >= 2;
            o += "        if (first)\n";
            o += "            for (int q = 0; q < " + num(per) + "; ++q) w.h[" + num(a.hidden) +
                 " + q] = float(" + (delay ? "in * d / " + num(per) : std::string("in")) + ");\n";
            if (delay) {
                o += "        " + at + " = float(" + h(per - 1) + " / stage);\n";
                o += "        double prev = in;\n";
                for (int q = 0; q < per; ++q) {
                    o += "        {\n            double out = " + h(q) + " / stage;\n";
                    o += "            " + hr(q) + " = float(prev - out);\n";
                    o += "            prev = out;\n        }\n";
                }
            } else {
                o += "        " + at + " = " + h(per - 1) + ";\n";
                o += "        double prev = in;\n";
                for (int q = 0; q < per; ++q) {
                    o += "        " + hr(q) + " = float((prev - " + h(q) + ") / stage);\n";
                    o += "        prev = " + h(q) + ";\n";
                }
            }
            o += "    }\n";
        }
        for (int i = 0; i < 10; ++i) {
            const int self = s * 10 + i;
            const level& l = levels_[static_cast<std::size_t>(self)];
            std::string rate = v(aux_slot(l.flow));
            if (l.outflow) rate = "(" + rate + " - " + v(self) + " * " + c(l.rate) + ")";
            o += "    w.r[" + num(self) + "] = float(" + rate + ");\n";
        }
        o += "}\n\n";
        return o;
    }
};

} // namespace

random_world build_random_world(model_builder& b, std::uint64_t seed, int sectors,
                                const std::string& function) {
    return world_writer(b, seed, sectors).write(function);
}

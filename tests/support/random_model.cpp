// Small random models (see random_model.h).
#include "tests/support/random_model.h"

#include <cstdio>

std::uint32_t seeded_source::below(std::uint32_t n) {
    std::uint64_t z = (x_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return n ? static_cast<std::uint32_t>(z % n) : 0;
}

std::uint32_t byte_source::below(std::uint32_t n) {
    if (!n) return 0;
    std::uint32_t v = 0;
    for (std::uint32_t span = 1; span < n && p_ < end_; span <<= 8) v = (v << 8) | *p_++;
    return v % n;
}

namespace {

// The shape of a variable: no range, [R], or [R,S].
enum shape : int { scalar = 0, one = 1, two = 2 };

struct variable {
    std::string name;
    int shape;
};

class generator {
public:
    generator(model_builder& b, random_source& r) : b_(b), r_(r) {}

    random_model build() {
        random_model m;
        const float starts[] = {0, -2, 1.5f, 3, -0.75f, 10};
        const float steps[] = {1, 0.5f, 0.25f, 0.125f, 0.0625f, 0.2f, 0.3f, 2};
        float t0 = starts[r_.below(6)], dt = steps[r_.below(8)];
        int n = 3 + static_cast<int>(r_.below(20));
        b_.control(t0, t0 + dt * static_cast<float>(n), dt, r_.chance(30) ? 2 * dt : dt);
        m.method = static_cast<int>(r_.below(4));
        char line[160];
        std::snprintf(line, sizeof line, "INITIAL TIME %g, %d steps of %g\n", t0, n, dt);
        text_ += line;

        const int sizes_r[] = {2, 3, 5, 40, 257, 300};
        rn_ = sizes_r[r_.below(r_.chance(70) ? 4 : 6)];
        sn_ = 2 + static_cast<int>(r_.below(3));
        if (rn_ * sn_ > 600) sn_ = 2;
        declare_range("R", "r", rn_);
        declare_range("S", "s", sn_);

        int constants = 2 + static_cast<int>(r_.below(3));
        for (int i = 0; i < constants; ++i) constant("c" + std::to_string(i));
        int tables = 1 + static_cast<int>(r_.below(2));
        for (int i = 0; i < tables; ++i) table("tbl" + std::to_string(i));

        // Levels first (any equation may read them), their rates last.
        int levels = 2 + static_cast<int>(r_.below(4));
        for (int i = 0; i < levels; ++i)
            levels_.push_back({"L" + std::to_string(i), static_cast<int>(r_.below(3))});
        for (const variable& l : levels_) readable_.push_back(l);
        int auxes = 3 + static_cast<int>(r_.below(6));
        for (int i = 0; i < auxes; ++i) {
            variable a{"a" + std::to_string(i), static_cast<int>(r_.below(3))};
            define(a, expr(a.shape, 3, true));
            readable_.push_back(a);
        }
        for (const variable& l : levels_) {
            std::string init = number();
            if (l.shape != scalar && r_.chance(50))
                init = l.shape == one ? "k1[R]" : "k2[R,S]";
            else if (r_.chance(40))
                init = "c0 * " + number();
            level(l, expr(l.shape, 3, true), init);
        }
        // Twins: a state function as a level's whole rate, and through an auxiliary.
        int twins = 1 + static_cast<int>(r_.below(2));
        for (int i = 0; i < twins; ++i) {
            int sh = static_cast<int>(r_.below(3));
            std::string call = state_call(sh, 2);
            std::string id = std::to_string(i);
            variable via{"twin via " + id, sh}, a{"twin A " + id, sh}, b{"twin B " + id, sh};
            define(via, call);
            level(a, call, "1");
            level(b, ref(via, sh), "1");
            m.twins.push_back({a.name, sh == scalar ? 1 : (sh == one ? rn_ : rn_ * sn_)});
        }
        m.text = text_;
        return m;
    }

private:
    model_builder& b_;
    random_source& r_;
    int rn_ = 2, sn_ = 2;
    std::vector<variable> levels_, readable_;
    std::string text_;
    int seeds_ = 1;

    void declare_range(const char* range, const char* prefix, int count) {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_string(i));
        std::vector<const char*> p;
        for (auto& s : names) p.push_back(s.c_str());
        b_.range(range, p);
    }

    std::string number() {
        static const char* const picks[] = {"0", "1", "2", "0.5", "0.25", "3", "1.5", "10", "0.1"};
        if (r_.chance(60)) return picks[r_.below(9)];
        char t[32];
        std::snprintf(t, sizeof t, "%.4f", 0.001 * static_cast<double>(r_.below(20000)));
        return t;
    }

    void constant(const std::string& name) {
        b_.constant(name.c_str(), static_cast<float>(r_.below(4000)) / 400.0f - 2.0f);
        readable_.push_back({name, scalar});
        if (name == "c0") {
            // The lists the level start values use, read by equations too.
            std::vector<float> v1, v2;
            for (int i = 0; i < rn_; ++i) v1.push_back(static_cast<float>(r_.below(200)) / 20.0f);
            for (int i = 0; i < rn_ * sn_; ++i)
                v2.push_back(static_cast<float>(r_.below(200)) / 20.0f - 5.0f);
            b_.constant_list("k1[R]", v1);
            b_.constant_list("k2[R,S]", v2);
            readable_.push_back({"k1", one});
            readable_.push_back({"k2", two});
        }
    }

    void table(const std::string& name) {
        std::vector<std::pair<float, float>> points;
        int n = 2 + static_cast<int>(r_.below(5));
        float x = static_cast<float>(r_.below(400)) / 40.0f - 5.0f;
        for (int i = 0; i < n; ++i) {
            points.push_back({x, static_cast<float>(r_.below(2000)) / 100.0f - 10.0f});
            x += static_cast<float>(1 + r_.below(300)) / 97.0f;
        }
        b_.lookup(name.c_str(), points);
        tables_.push_back(name);
        text_ += name + " (" + std::to_string(n) + " points)\n";
    }
    std::vector<std::string> tables_;

    static std::string dims(int sh) { return sh == scalar ? "" : (sh == one ? "[R]" : "[R,S]"); }

    void define(const variable& v, const std::string& e) {
        b_.aux((v.name + dims(v.shape)).c_str(), e.c_str());
        text_ += v.name + dims(v.shape) + " = " + e + "\n";
    }
    void level(const variable& v, const std::string& rate, const std::string& init) {
        b_.level((v.name + dims(v.shape)).c_str(), rate.c_str(), init.c_str());
        text_ += v.name + dims(v.shape) + " = INTEG(" + rate + ", " + init + ")\n";
    }

    // A reference to v from an equation of shape sh.
    std::string ref(const variable& v, int sh) {
        std::string r = std::to_string(r_.below(static_cast<std::uint32_t>(rn_)));
        std::string s = std::to_string(r_.below(static_cast<std::uint32_t>(sn_)));
        switch (v.shape) {
        case scalar:
            return v.name;
        case one:
            return v.name + (sh == scalar ? "[r" + r + "]" : "[R]");
        default:
            if (sh == two) return v.name + "[R,S]";
            if (sh == one) return v.name + "[R,s" + s + "]";
            return v.name + "[r" + r + ",s" + s + "]";
        }
    }

    std::string leaf(int sh) {
        std::uint32_t k = r_.below(10);
        if (k < 2) return number();
        if (k == 2) return "TIME";
        const variable& v = readable_[r_.below(static_cast<std::uint32_t>(readable_.size()))];
        // Sums in equations of many lanes would take lanes times elements each.
        if (k == 3 && v.shape != scalar && (sh == scalar || rn_ * sn_ <= 16)) {
            // A sum over R (one range left over for a two-range variable).
            if (v.shape == one) return "SUM(" + v.name + "[R!])";
            if (sh == scalar) return "SUM(" + v.name + "[R!,s0])";
            return "SUM(" + v.name + "[R!," + (sh == two ? "S" : "s1") + "])";
        }
        return ref(v, sh);
    }

    // Something positive for delay times and divisors.
    std::string positive(int sh, int depth) {
        return "(" + number() + " + 0.5 + ABS(" + expr(sh, depth, false) + "))";
    }

    std::string state_call(int sh, int depth) {
        std::string x = expr(sh, depth, false);
        std::string d = r_.chance(50) ? positive(sh, depth - 1) : number() + " + 1";
        switch (r_.below(11)) {
        case 0:
            return "SMOOTH(" + x + ", " + d + ")";
        case 1:
            return "SMOOTH3(" + x + ", " + d + ")";
        case 2:
            return "DELAY1(" + x + ", " + d + ")";
        case 3:
            return "DELAY3 INIT(" + x + ", " + d + ", " + number() + ")";
        case 4:
            return "DELAY FIXED(" + x + ", " + d + ", " + number() + ")";
        case 5:
            return "INITIAL(" + x + ")";
        case 6:
            return "SAMPLE IF TRUE(" + expr(sh, depth - 1, false) + " > " + number() + ", " + x +
                   ", " + number() + ")";
        case 7:
            return "TREND(" + x + " + 20, " + d + ", 0.1)";
        case 8:
            return "SMOOTH N(" + x + ", " + d + ", " + number() + ", " +
                   std::to_string(1 + r_.below(4)) + ")";
        case 9:
            return "FORECAST(" + x + " + 20, " + d + ", 2)";
        default:
            return "RANDOM UNIFORM(0, " + number() + ", " + std::to_string(seeds_++) + ")";
        }
    }

    std::string expr(int sh, int depth, bool state) {
        if (depth <= 0 || r_.chance(25)) return leaf(sh);
        std::string a = expr(sh, depth - 1, state), b = expr(sh, depth - 1, state);
        switch (r_.below(state ? 26 : 24)) {
        case 0:
        case 1:
            return "(" + a + " + " + b + ")";
        case 2:
        case 3:
            return "(" + a + " - " + b + ")";
        case 4:
        case 5:
            return "(" + a + " * " + b + ")";
        case 6:
            return "(" + a + " / " + positive(sh, depth - 1) + ")";
        case 7:
            return "(" + a + (r_.chance(50) ? " < " : " >= ") + b + ")";
        case 8:
            return "((" + a + " > 0) :AND: :NOT: (" + b + " = 1))";
        case 9:
            return "MIN(" + a + ", " + b + ")";
        case 10:
            return "MAX(" + a + ", " + b + ")";
        case 11:
            return "IF THEN ELSE(" + a + " > " + b + ", " + a + ", " + number() + ")";
        case 12:
        case 13:
            return tables_[r_.below(static_cast<std::uint32_t>(tables_.size()))] + "(" + a + ")";
        case 14:
            return "LOOKUP EXTRAPOLATE(" +
                   tables_[r_.below(static_cast<std::uint32_t>(tables_.size()))] + ", " + a + ")";
        case 15:
            return "-" + a;
        case 16:
            return "ABS(" + a + ") ^ 0.5";
        case 17:
            return "SQRT(ABS(" + a + "))";
        case 18:
            return "EXP(MIN(" + a + ", 4))";
        case 19:
            return "LN(1 + ABS(" + a + "))";
        case 20:
            return (r_.chance(50) ? "SIN(" : "ARCTAN(") + a + ")";
        case 21:
            return "MODULO(" + a + ", " + positive(sh, depth - 1) + ")";
        case 22:
            return "INTEGER(" + a + ")";
        case 23: {
            std::uint32_t k = r_.below(5);
            if (k == 0) return "STEP(" + a + ", " + number() + ")";
            if (k == 1) return "PULSE(" + number() + ", " + number() + ")";
            if (k == 2) return "RAMP(" + number() + ", " + number() + ", " + number() + " + 3)";
            if (k == 3)
                return "PULSE TRAIN(" + number() + ", " + number() + ", " + number() + ", " +
                       number() + " + 4)";
            return "LOOKUP INVERT(" +
                   tables_[r_.below(static_cast<std::uint32_t>(tables_.size()))] + ", " + a + ")";
        }
        default:
            return state_call(sh, depth - 1);
        }
    }
};

} // namespace

random_model build_random_model(model_builder& b, random_source& r) {
    return generator(b, r).build();
}

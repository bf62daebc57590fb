// Every operator and pure built-in through every road of the engine: a
// subscripted equation (evaluated lane by lane in chunks, with its operands
// fused where they can be), the same equation for each element alone (the
// scalar units), both with the flat passes and with the interpreter alone,
// against the same arithmetic written in C++. Operands are numbers, plain
// references (read by every lane), subscripted references and subscripted
// references whose elements lie in reverse order (gathered lane by lane), in
// both positions, so that an operation that swaps its operands on one road
// fails.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "tests/common/sanitized.h"
#include "tests/sim/engine_fixture.h"

namespace {

constexpr int elements = 4;
// Operand values: a general set (negatives, no zero) and a positive one.
const float general[elements] = {-2.5f, -0.5f, 0.75f, 3.0f};
const float positive[elements] = {0.25f, 0.5f, 2.0f, 9.0f};
const float general_ref = -1.25f, positive_ref = 1.5f;
const float general_number = 0.75f, positive_number = 2.5f;
const std::vector<std::pair<float, float>> curve = {{-3, -1}, {0, 0}, {1, 2}, {4, 3}};

using oracle = std::function<double(double a, double b, double t)>;
struct row {
    const char* expr; // A and B stand for the operands
    bool a_positive, b_positive;
    oracle f;
};

double table_at(double x) {
    if (x <= curve.front().first) return curve.front().second;
    if (x >= curve.back().first) return curve.back().second;
    std::size_t k = 1;
    while (curve[k].first < x) ++k;
    double x0 = curve[k - 1].first, x1 = curve[k].first;
    return curve[k - 1].second +
           (x - x0) * (static_cast<double>(curve[k].second) - curve[k - 1].second) / (x1 - x0);
}

const std::vector<row>& rows() {
    static const std::vector<row> r = {
        {"A + B", false, false, [](double a, double b, double) { return a + b; }},
        {"A - B", false, false, [](double a, double b, double) { return a - b; }},
        {"A * B", false, false, [](double a, double b, double) { return a * b; }},
        {"A / B", false, true, [](double a, double b, double) { return a / b; }},
        {"A ^ B", true, false, [](double a, double b, double) { return std::pow(a, b); }},
        {"A - B * A + B / A", false, false,
         [](double a, double b, double) { return a - b * a + b / a; }},
        {"(A + B) / (B + A * A)", false, true,
         [](double a, double b, double) { return (a + b) / (b + a * a); }},
        {"A * B - (A - B) * A", false, false,
         [](double a, double b, double) { return a * b - (a - b) * a; }},
        {"A = B", false, false, [](double a, double b, double) { return a == b ? 1 : 0; }},
        {"A <> B", false, false, [](double a, double b, double) { return a != b ? 1 : 0; }},
        {"A < B", false, false, [](double a, double b, double) { return a < b ? 1 : 0; }},
        {"A <= B", false, false, [](double a, double b, double) { return a <= b ? 1 : 0; }},
        {"A > B", false, false, [](double a, double b, double) { return a > b ? 1 : 0; }},
        {"A >= B", false, false, [](double a, double b, double) { return a >= b ? 1 : 0; }},
        {"(A > 0) :AND: (B > 1)", false, false,
         [](double a, double b, double) { return a > 0 && b > 1 ? 1 : 0; }},
        {"(A > 0) :OR: (B > 1)", false, false,
         [](double a, double b, double) { return a > 0 || b > 1 ? 1 : 0; }},
        {":NOT: (A > B)", false, false, [](double a, double b, double) { return a > b ? 0 : 1; }},
        {"-A * B", false, false, [](double a, double b, double) { return -a * b; }},
        {"MIN(A, B)", false, false, [](double a, double b, double) { return std::min(a, b); }},
        {"MAX(A, B)", false, false, [](double a, double b, double) { return std::max(a, b); }},
        {"IF THEN ELSE(A > B, A - B, B)", false, false,
         [](double a, double b, double) { return a > b ? a - b : b; }},
        {"MODULO(A, B)", false, true, [](double a, double b, double) { return std::fmod(a, b); }},
        {"POWER(A, B)", true, false, [](double a, double b, double) { return std::pow(a, b); }},
        {"LOG(A, B)", true, true,
         [](double a, double b, double) { return std::log(a) / std::log(b); }},
        {"SAFE DIV(A, B, 7)", false, false, [](double a, double b, double) { return a / b; }},
        {"SAFE DIV(A, B - B)", false, false, [](double, double, double) { return 0.0; }},
        {"ABS(A) + B", false, false, [](double a, double b, double) { return std::fabs(a) + b; }},
        {"EXP(A) * B", false, false, [](double a, double b, double) { return std::exp(a) * b; }},
        {"LN(A) - B", true, false, [](double a, double b, double) { return std::log(a) - b; }},
        {"SQRT(A) / B", true, true, [](double a, double b, double) { return std::sqrt(a) / b; }},
        {"SIN(A) + COS(B)", false, false,
         [](double a, double b, double) { return std::sin(a) + std::cos(b); }},
        {"TAN(A) - ARCTAN(B)", false, false,
         [](double a, double b, double) { return std::tan(a) - std::atan(b); }},
        {"ARCSIN(A / 4) + ARCCOS(B / 10)", false, true,
         [](double a, double b, double) { return std::asin(a / 4) + std::acos(b / 10); }},
        {"SINH(A) * COSH(B) - TANH(A)", false, false,
         [](double a, double b, double) { return std::sinh(a) * std::cosh(b) - std::tanh(a); }},
        {"INTEGER(A * B)", false, false,
         [](double a, double b, double) { return std::trunc(a * b); }},
        {"table(A) * B", false, false, [](double a, double b, double) { return table_at(a) * b; }},
        {"STEP(A, B)", false, false,
         [](double a, double b, double t) { return t + 0.5 > b ? a : 0.0; }},
        {"RAMP(A, B, 2)", false, false,
         [](double a, double b, double t) { return t <= b ? 0.0 : a * (std::min(t, 2.0) - b); }},
        {"PULSE(B, A)", false, false,
         [](double a, double b, double t) {
             double w = std::max(a, 1.0);
             return t + 0.5 > b && t + 0.5 < b + w ? 1.0 : 0.0;
         }},
    };
    return r;
}

enum operand_kind { number_operand, reference_operand, subscripted_operand, reversed_operand };
constexpr int kinds = 4;
const char* kind_names[kinds] = {"number", "reference", "subscripted", "reversed"};

std::string operand(operand_kind k, bool positive_set, int element) {
    const char* level = positive_set ? "P" : "X";
    switch (k) {
    case number_operand:
        return positive_set ? "2.5" : "0.75";
    case reference_operand:
        return positive_set ? "cp" : "cx";
    default:
        return std::string(level) + (k == reversed_operand ? "R" : "") +
               (element < 0 ? "[cell]" : "[c" + std::to_string(element) + "]");
    }
}

double operand_value(operand_kind k, bool positive_set, int element) {
    switch (k) {
    case number_operand:
        return positive_set ? positive_number : general_number;
    case reference_operand:
        return positive_set ? positive_ref : general_ref;
    default:
        return (positive_set ? positive : general)[element];
    }
}

std::string substitute(const char* expr, const std::string& a, const std::string& b) {
    std::string out;
    for (const char* p = expr; *p; ++p) {
        if (*p == 'A' && (p == expr || p[-1] == ' ' || p[-1] == '(' || p[-1] == '-') &&
            !std::isalpha(static_cast<unsigned char>(p[1])))
            out += a;
        else if (*p == 'B' && (p == expr || p[-1] == ' ' || p[-1] == '(') &&
                 !std::isalpha(static_cast<unsigned char>(p[1])))
            out += b;
        else
            out += *p;
    }
    return out;
}

struct case_names {
    std::string lanes;                 // the subscripted variable
    std::vector<std::string> elements; // the scalar variable of each element
};

class CrossCheck : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        b_.control(0, 3, 1, 1);
        std::vector<const char*> cells = {"c0", "c1", "c2", "c3"};
        b_.range("cell", cells);
        b_.constant_list("x0[cell]", std::vector<float>(general, general + elements));
        b_.constant_list("p0[cell]", std::vector<float>(positive, positive + elements));
        // Levels that stay put, so that every equation reading them is dynamic.
        b_.level("X[cell]", "0", "x0[cell]");
        b_.level("P[cell]", "0", "p0[cell]");
        // The same values dimensioned by the elements in reverse order.
        std::vector<const char*> back(cells.rbegin(), cells.rend());
        b_.range("back", back);
        b_.constant_list("xr0[back]", std::vector<float>(std::rbegin(general), std::rend(general)));
        b_.constant_list("pr0[back]",
                         std::vector<float>(std::rbegin(positive), std::rend(positive)));
        b_.level("XR[back]", "0", "xr0[back]");
        b_.level("PR[back]", "0", "pr0[back]");
        b_.level("cx", "0", "-1.25");
        b_.level("cp", "0", "1.5");
        b_.lookup("table", curve);
        for (std::size_t r = 0; r < rows().size(); ++r)
            for (int ka = 0; ka < kinds; ++ka)
                for (int kb = 0; kb < kinds; ++kb) {
                    const row& w = rows()[r];
                    std::string id =
                        std::to_string(r) + "_" + std::to_string(ka) + "_" + std::to_string(kb);
                    case_names n;
                    n.lanes = "v" + id;
                    auto a = static_cast<operand_kind>(ka), bk = static_cast<operand_kind>(kb);
                    b_.aux((n.lanes + "[cell]").c_str(),
                           substitute(w.expr, operand(a, w.a_positive, -1),
                                      operand(bk, w.b_positive, -1))
                               .c_str());
                    for (int e = 0; e < elements; ++e) {
                        n.elements.push_back("s" + id + "_" + std::to_string(e));
                        b_.aux(n.elements.back().c_str(),
                               substitute(w.expr, operand(a, w.a_positive, e),
                                          operand(bk, w.b_positive, e))
                                   .c_str());
                    }
                    names_.push_back(n);
                }
        ASSERT_TRUE(b_.finish()) << (b_.errors().empty() ? "" : b_.errors()[0]);
        ASSERT_EQ(check_model(b_.symbols()), 0) << messages_.joined();
        ASSERT_EQ(generate_code(b_.symbols(), p_), 1);
        ASSERT_EQ(order_program(b_.symbols(), p_), 1);
    }
    void TearDown() override { set_flat_passes(true); }

    sim_output run(bool flat) {
        set_flat_passes(flat);
        sim_output out;
        sim_options o;
        EXPECT_EQ(run_program(b_.symbols(), p_, o, &out), sim_done) << messages_.joined();
        return out;
    }

    message_capture messages_;
    model_builder b_{"cross-check"};
    sim_program p_;
    std::vector<case_names> names_;
};

TEST_F(CrossCheck, EveryRoadGivesTheValuesOfTheSameArithmeticInCpp) {
    sim_output flat = run(true), reference = run(false);
    set_wider_vectors(false);
    sim_output narrow = run(true);
    set_wider_vectors(true);
    // Every pass compiled to native code, where the build has it.
    set_native_mode(nm_tier0);
    sim_output native = run(true);
    set_native_mode(nm_environment);
    forget_kept_passes();
    ASSERT_EQ(flat.times.size(), 4u);
    ASSERT_EQ(flat.rows.size(), reference.rows.size());
    ASSERT_EQ(narrow.rows.size(), reference.rows.size());
    ASSERT_EQ(native.rows.size(), reference.rows.size());
    // The flat passes (with and without the wider vector loops) and the
    // interpreter alone agree to the bit everywhere.
    for (std::size_t i = 0; i < flat.rows.size(); ++i) {
        ASSERT_EQ(flat.rows[i], reference.rows[i]) << "value " << i;
        ASSERT_EQ(narrow.rows[i], reference.rows[i]) << "value " << i;
        ASSERT_EQ(std::memcmp(&native.rows[i], &reference.rows[i], 4), 0) << "native value " << i;
    }
    std::size_t n = 0;
    for (std::size_t r = 0; r < rows().size(); ++r)
        for (int ka = 0; ka < kinds; ++ka)
            for (int kb = 0; kb < kinds; ++kb, ++n) {
                const row& w = rows()[r];
                const case_names& c = names_[n];
                std::int32_t lanes = slot_of(b_, c.lanes.c_str());
                for (std::size_t k = 0; k < flat.times.size(); ++k)
                    for (int e = 0; e < elements; ++e) {
                        auto a = static_cast<operand_kind>(ka), bk = static_cast<operand_kind>(kb);
                        double t = flat.times[k];
                        float expected =
                            static_cast<float>(w.f(operand_value(a, w.a_positive, e),
                                                   operand_value(bk, w.b_positive, e), t));
                        float chunked = saved_value(flat, k, lanes + e);
                        float scalar = saved_value(flat, k, slot_of(b_, c.elements[e].c_str()));
                        EXPECT_EQ(chunked, expected)
                            << w.expr << " A " << kind_names[ka] << " B " << kind_names[kb]
                            << " element " << e << " time " << t << " (lanes)";
                        EXPECT_EQ(scalar, expected)
                            << w.expr << " A " << kind_names[ka] << " B " << kind_names[kb]
                            << " element " << e << " time " << t << " (one element)";
                    }
            }
}

TEST_F(CrossCheck, TheFlatPassesCoverTheScalarUnits) {
    set_flat_passes(true);
    ASSERT_TRUE(interp_begin(p_, b_.symbols()));
    // Every scalar equation of the model is flat; only the subscripted ones
    // (and nothing else) are left to the interpreter.
    std::size_t scalar_dynamic = 0;
    for (int u : p_.dynamic_order)
        scalar_dynamic += p_.units[static_cast<std::size_t>(u)].targets.size() == 1;
    for (int u : p_.rate_order)
        scalar_dynamic += p_.units[static_cast<std::size_t>(u)].targets.size() == 1;
    EXPECT_GT(scalar_dynamic, rows().size() * kinds * kinds * 2);
    EXPECT_EQ(flat_unit_count(), scalar_dynamic);
    // The subscripted equations of arithmetic, comparisons, MIN, MAX, IF THEN
    // ELSE and lookups run as chunk loops decoded once; the rest (other
    // built-ins) stay with the interpreter.
    std::size_t chunk_loops = 0;
    for (const row& w : rows()) {
        // The built-ins of the row: the words in capitals before a parenthesis.
        bool others = false;
        std::string e = w.expr;
        for (std::size_t p = e.find('('); p != std::string::npos; p = e.find('(', p + 1)) {
            std::size_t q = p;
            while (q > 0 && std::isupper(static_cast<unsigned char>(e[q - 1]))) --q;
            std::string word = e.substr(q, p - q);
            others |= !word.empty() && word != "MIN" && word != "MAX" && word != "ELSE";
        }
        chunk_loops += !others;
    }
    EXPECT_EQ(chunk_loops, 22u);
    EXPECT_GE(wide_unit_count(), chunk_loops * kinds * kinds);
    EXPECT_LT(wide_unit_count(), rows().size() * kinds * kinds);
    interp_end();
    set_flat_passes(false);
    ASSERT_TRUE(interp_begin(p_, b_.symbols()));
    EXPECT_EQ(flat_unit_count(), 0u);
    EXPECT_EQ(wide_unit_count(), 0u);
    interp_end();
}

// The interpreter stays the reference: every test of the engine runs again
// with the flat passes off (in a child process, so no state is shared). The
// native tier's own tests are left out: they turn the flat passes on to
// compare their roads, so in the child they would only run again. A rerun of
// the whole suite checks no memory the suite itself does not, so the
// sanitizer build leaves it to the Release build (CI runs both).
TEST(EnginePaths, EveryEngineTestPassesWithTheInterpreterAlone) {
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    std::string cmd = std::string("KAVREL_REFERENCE_ENGINE=1 '") + self +
                      "' --gtest_filter=-EnginePaths.*:NativeTier.* > /dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << "run " << cmd << " to see the failures";
}

} // namespace

// The mathematical functions of the vocabulary against the C library (or the
// plain C++ they stand for) over ordinary and edge arguments: NA, zero,
// negative and huge. A result the C library gives as not finite, or one too
// large for a stored value, ends the run with a floating point error; NA in
// gives NA out.
#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "model/constants.h"
#include "tests/sim/engine_fixture.h"

namespace {

using c_function = std::function<double(double a, double b)>;
struct math_row {
    const char* name;
    const char* call; // a and b stand for the arguments
    int arity;
    c_function c;
};

const std::vector<math_row>& math_rows() {
    static const std::vector<math_row> rows = {
        {"ABS", "ABS(a)", 1, [](double a, double) { return std::fabs(a); }},
        {"EXP", "EXP(a)", 1, [](double a, double) { return std::exp(a); }},
        {"LN", "LN(a)", 1, [](double a, double) { return std::log(a); }},
        {"LOG", "LOG(a, b)", 2, [](double a, double b) { return std::log(a) / std::log(b); }},
        {"SQRT", "SQRT(a)", 1, [](double a, double) { return std::sqrt(a); }},
        {"SIN", "SIN(a)", 1, [](double a, double) { return std::sin(a); }},
        {"COS", "COS(a)", 1, [](double a, double) { return std::cos(a); }},
        {"TAN", "TAN(a)", 1, [](double a, double) { return std::tan(a); }},
        {"ARCTAN", "ARCTAN(a)", 1, [](double a, double) { return std::atan(a); }},
        {"ARCSIN", "ARCSIN(a)", 1, [](double a, double) { return std::asin(a); }},
        {"ARCCOS", "ARCCOS(a)", 1, [](double a, double) { return std::acos(a); }},
        {"SINH", "SINH(a)", 1, [](double a, double) { return std::sinh(a); }},
        {"COSH", "COSH(a)", 1, [](double a, double) { return std::cosh(a); }},
        {"TANH", "TANH(a)", 1, [](double a, double) { return std::tanh(a); }},
        {"INTEGER", "INTEGER(a)", 1, [](double a, double) { return std::trunc(a); }},
        {"MODULO", "MODULO(a, b)", 2, [](double a, double b) { return std::fmod(a, b); }},
        {"POWER", "POWER(a, b)", 2, [](double a, double b) { return std::pow(a, b); }},
        {"MIN", "MIN(a, b)", 2, [](double a, double b) { return std::fmin(a, b); }},
        {"MAX", "MAX(a, b)", 2, [](double a, double b) { return std::fmax(a, b); }},
        {"SAFE DIV", "SAFE DIV(a, b)", 2, [](double a, double b) { return b == 0 ? 0 : a / b; }},
        {"SAFE DIV", "SAFE DIV(a, b, 7)", 2, [](double a, double b) { return b == 0 ? 7 : a / b; }},
    };
    return rows;
}

const std::vector<float> one_argument = {0.5f, 0.9f, 1, 0, -0.75f, -1, 2.5f, -3, 1e30f, -1e30f, NA};
const std::vector<std::pair<float, float>> two_arguments = {
    {7, 3},     {-10, 3},   {-9.6f, 3},  {10, -3},    {2.5f, 0.5f}, {0, 2},  {2, 0},
    {0, 0},     {-2, 3},    {-8, 0.5f},  {8, 2},      {100, 10},    {1, 1},  {5, 1},
    {1e30f, 2}, {2, 1e30f}, {-1e30f, 3}, {3, -1e30f}, {NA, 2},      {2, NA}, {NA, NA},
};

class MathFunctions : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }

    // Runs y = call with the arguments as constants; the value of y at both
    // saved times (the initial and the dynamic pass must agree), or the error.
    struct outcome {
        int result;
        float first, last;
        std::string error;
    };
    outcome run(const char* call, float a, float b) {
        message_capture messages;
        model_builder m("math");
        m.control(0, 1, 1, 1);
        m.constant("a", a);
        m.constant("b", b);
        m.aux("y", call);
        EXPECT_TRUE(m.finish()) << call;
        sim_output out;
        outcome o{simulate_model(m.symbols(), sim_options{}, &out), 0, 0, out.error};
        if (out.times.size() == 2) {
            o.first = saved_value(out, 0, slot_of(m, "y"));
            o.last = saved_value(out, 1, slot_of(m, "y"));
        }
        return o;
    }
};

TEST_F(MathFunctions, AgreeWithTheCLibraryOverOrdinaryAndEdgeArguments) {
    std::set<std::string> covered;
    for (const math_row& row : math_rows()) {
        covered.insert(row.name);
        std::vector<std::pair<float, float>> args = two_arguments;
        if (row.arity == 1) {
            args.clear();
            for (float a : one_argument) args.emplace_back(a, 0);
        }
        for (auto [a, b] : args) {
            SCOPED_TRACE(testing::Message() << row.call << " with a = " << a << ", b = " << b);
            outcome got = run(row.call, a, b);
            bool na_in = a == NA || (row.arity == 2 && b == NA);
            double want = row.c(a, b);
            if (na_in) {
                EXPECT_EQ(got.result, sim_done) << got.error;
                EXPECT_EQ(got.first, NA);
                EXPECT_EQ(got.last, NA);
            } else if (!std::isfinite(static_cast<float>(want))) {
                EXPECT_EQ(got.result, sim_error_saved);
                EXPECT_NE(got.error.find("Floating point error computing y"), std::string::npos)
                    << got.error;
            } else {
                EXPECT_EQ(got.result, sim_done) << got.error;
                EXPECT_FLOAT_EQ(got.first, static_cast<float>(want));
                EXPECT_FLOAT_EQ(got.last, static_cast<float>(want));
            }
        }
    }
    // Every pure mathematical function of the vocabulary is in the table.
    for (int i = 0; i < builtin_function_count; ++i)
        if (builtin_functions[i].kind == fnk_math) {
            EXPECT_TRUE(covered.count(builtin_functions[i].name)) << builtin_functions[i].name;
        }
}

// Worked values, each known without the C library: the table above checks the
// engine against the library's functions; these check that each name calls
// the function it stands for, with its arguments in their places.
TEST_F(MathFunctions, WorkedValuesOfEachFunction) {
    struct worked {
        const char* call;
        float a, b, want;
    };
    const worked rows[] = {
        {"ABS(a)", -3.5f, 0, 3.5f},
        {"EXP(a)", 0, 0, 1},
        {"EXP(a)", 1, 0, 2.718281828f},
        {"LN(a)", 1, 0, 0},
        {"LN(a)", 2.718281828f, 0, 1},
        {"LOG(a, b)", 8, 2, 3}, // the first argument's log in the second's base
        {"LOG(a, b)", 100, 10, 2},
        {"LOG(a, b)", 2, 8, 1.0f / 3},
        {"SQRT(a)", 6.25f, 0, 2.5f},
        {"SIN(a)", 1.570796327f, 0, 1},
        {"COS(a)", 0, 0, 1},
        {"COS(a)", 3.141592654f, 0, -1},
        {"TAN(a)", 0.785398163f, 0, 1},
        {"ARCTAN(a)", 1, 0, 0.785398163f},
        {"ARCSIN(a)", 1, 0, 1.570796327f},
        {"ARCCOS(a)", -1, 0, 3.141592654f},
        {"SINH(a)", 1, 0, 1.175201194f}, // (e - 1/e) / 2
        {"COSH(a)", 1, 0, 1.543080635f}, // (e + 1/e) / 2
        {"TANH(a)", 1, 0, 0.761594156f},
        {"INTEGER(a)", 2.7f, 0, 2},
        {"MODULO(a, b)", 7, 3, 1},
        {"POWER(a, b)", 2, 10, 1024},
        {"POWER(a, b)", 9, 0.5f, 3},
        {"MIN(a, b)", 3, -2, -2},
        {"MAX(a, b)", 3, -2, 3},
        {"SAFE DIV(a, b)", 7, 2, 3.5f},
        {"SAFE DIV(a, b)", 7, 0, 0},
        {"SAFE DIV(a, b, 9)", 7, 0, 9},
    };
    for (const worked& w : rows) {
        SCOPED_TRACE(testing::Message() << w.call << " with a = " << w.a << ", b = " << w.b);
        const outcome got = run(w.call, w.a, w.b);
        ASSERT_EQ(got.result, sim_done) << got.error;
        EXPECT_NEAR(got.first, w.want, 2e-6 * std::max(1.0f, std::fabs(w.want)));
        EXPECT_EQ(got.first, got.last);
    }
}

TEST_F(MathFunctions, ModuloKeepsTheSignOfTheDividend) {
    EXPECT_FLOAT_EQ(run("MODULO(a, b)", -10, 3).first, -1);
    EXPECT_NEAR(run("MODULO(a, b)", -9.6f, 3).first, -0.6, 1e-6);
    EXPECT_FLOAT_EQ(run("MODULO(a, b)", 10, -3).first, 1);
    EXPECT_FLOAT_EQ(run("MODULO(a, b)", 7.5f, 2).first, 1.5f);
}

} // namespace

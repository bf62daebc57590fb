// Functions that keep state written directly inside a level's rate (or a
// constraint) against the same call through an auxiliary: the state's initial
// value and its place in the order must not depend on where the call stands.
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

// A call of every function of the vocabulary that keeps state, over the
// input "in" (or "inr[r]"); a function missing here fails the test below.
std::map<std::string, std::string> call_texts(const std::string& in) {
    return {
        {"SMOOTH", "SMOOTH(" + in + ", 2)"},
        {"SMOOTH INIT", "SMOOTH INIT(" + in + ", 2, 5)"},
        {"SMOOTH3", "SMOOTH3(" + in + ", 2)"},
        {"SMOOTH3 INIT", "SMOOTH3 INIT(" + in + ", 2, 5)"},
        {"DELAY1", "DELAY1(" + in + ", 2)"},
        {"DELAY1 INIT", "DELAY1 INIT(" + in + ", 2, 5)"},
        {"DELAY3", "DELAY3(" + in + ", 2)"},
        {"DELAY3 INIT", "DELAY3 INIT(" + in + ", 2, 5)"},
        {"DELAY N", "DELAY N(" + in + ", 2, 5, 4)"},
        {"SMOOTH N", "SMOOTH N(" + in + ", 2, 5, 4)"},
        {"DELAY FIXED", "DELAY FIXED(" + in + ", 1.5, 5)"},
        {"TREND", "TREND(" + in + ", 2, 0.1)"},
        {"FORECAST", "FORECAST(" + in + ", 2, 3)"},
        {"INITIAL", "INITIAL(" + in + ")"},
        {"SAMPLE IF TRUE", "SAMPLE IF TRUE(TIME > 1.2, " + in + ", 5)"},
        {"RANDOM UNIFORM", "RANDOM UNIFORM(0, " + in + ", 7)"},
        {"RANDOM NORMAL", "RANDOM NORMAL(-1, 2, " + in + ", 0.5, 11)"},
        {"RANDOM EXPONENTIAL", "RANDOM EXPONENTIAL(0, 9, 0, " + in + ", 13)"},
    };
}

class StateInRate : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
    // The values of variable name at every saved time.
    static std::vector<float> series(const sim_output& out, model_builder& b, const char* name,
                                     int element = 0) {
        std::vector<float> v;
        for (std::size_t k = 0; k < out.times.size(); ++k)
            v.push_back(saved_value(out, k, slot_of(b, name) + element));
        return v;
    }
    sim_output run(model_builder& b, int method = im_euler) {
        sim_options o;
        o.method = method;
        sim_output out;
        EXPECT_EQ(simulate_model(b.symbols(), o, &out), sim_done) << messages.joined();
        return out;
    }
    message_capture messages;
};

// The smallest models that went wrong: the call in the rate kept its state
// unset (a lag of one step, a held value of 0) or had no pipeline at all.
TEST_F(StateInRate, TheSmallestModelsGiveWhatTheirAuxiliaryFormsGive) {
    struct minimal {
        const char* rate;
        float step;
        std::vector<float> expected;
    };
    const minimal cases[] = {
        {"SMOOTH(1, 1)", 1, {0, 1, 2, 3}},
        {"SAMPLE IF TRUE(0, 0, 1)", 0.0625f, {0, 0.0625f, 0.125f, 0.1875f}},
        {"INITIAL(c)", 1, {0, 2, 4, 6}},
        {"DELAY FIXED(0, 1, 0)", 1, {0, 0, 0, 0}},
        {"DELAY FIXED(TIME + 1, 1, 0)", 1, {0, 0, 1, 3}},
    };
    for (const minimal& m : cases) {
        for (bool through_aux : {false, true}) {
            model_builder b("minimal");
            b.control(0, 3 * m.step, m.step, m.step);
            b.constant("c", 2);
            if (through_aux) {
                b.aux("x", m.rate);
                b.level("L2", "x", "0");
            } else {
                b.level("L2", m.rate, "0");
            }
            ASSERT_TRUE(b.finish());
            sim_output out = run(b);
            EXPECT_EQ(series(out, b, "L2"), m.expected)
                << m.rate << (through_aux ? " through an auxiliary" : " in the rate");
        }
    }
}

// Every state-keeping function of the vocabulary, scalar and subscripted,
// alone and inside an expression, directly in a rate and through an
// auxiliary, gives the same values to the bit with every integration method.
TEST_F(StateInRate, EveryStateFunctionInARateMatchesItsAuxiliaryFormWithEveryMethod) {
    auto scalar = call_texts("in"), lanes = call_texts("inr[r]");
    std::vector<std::string> functions;
    for (int i = 0; i < builtin_function_count; ++i)
        if (keeps_state(builtin_functions[i])) {
            functions.push_back(builtin_functions[i].name);
            ASSERT_TRUE(scalar.count(functions.back()))
                << functions.back() << " keeps state and has no call here";
        }
    ASSERT_EQ(functions.size(), scalar.size());

    model_builder b("state in rates");
    b.control(-0.5f, 4, 0.25f, 0.5f);
    b.range("r", {"r1", "r2", "r3"});
    b.constant_list("w[r]", {1, 0.5f, 3});
    b.aux("in", "1.5 + SIN(TIME * 2) + STEP(2, 1)");
    b.aux("inr[r]", "in * w[r] + 0.25");
    std::vector<std::string> names;
    auto add = [&](const std::string& id, const std::string& call, const std::string& dims) {
        std::string via = "via " + id + dims, rate = "(" + call + ") * 2 - in";
        b.aux(via.c_str(), call.c_str());
        b.level(("A " + id + dims).c_str(), ("via " + id + dims + " * 2 - in").c_str(), "1");
        b.level(("B " + id + dims).c_str(), rate.c_str(), "1");
        b.level(("C " + id + dims).c_str(), call.c_str(), "1");
        b.level(("D " + id + dims).c_str(), ("via " + id + dims).c_str(), "1");
        names.push_back(id);
    };
    for (std::size_t i = 0; i < functions.size(); ++i) {
        add("f" + std::to_string(i), scalar[functions[i]], "");
        add("g" + std::to_string(i), lanes[functions[i]], "[r]");
    }
    // Nested calls, and a held value over its own level.
    add("nested", "SMOOTH(DELAY1(in, 1) + INITIAL(in * 3), 2)", "");
    add("own", "SAMPLE IF TRUE(TIME > 1, C own, 2)", "");
    ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);

    for (int method : {im_euler, im_rk2, im_rk4, im_rk_auto}) {
        sim_output out = run(b, method);
        ASSERT_EQ(out.times.size(), 10u);
        for (const std::string& id : names) {
            int n = id[0] == 'g' ? 3 : 1;
            for (int e = 0; e < n; ++e) {
                std::string what =
                    id + " element " + std::to_string(e) + " method " + std::to_string(method) +
                    " (" +
                    (id[0] == 'f' || id[0] == 'g'
                         ? functions[static_cast<std::size_t>(std::stoi(id.substr(1)))]
                         : id) +
                    ")";
                auto a = series(out, b, ("A " + id).c_str(), e);
                EXPECT_EQ(series(out, b, ("B " + id).c_str(), e), a) << what;
                EXPECT_EQ(series(out, b, ("C " + id).c_str(), e),
                          series(out, b, ("D " + id).c_str(), e))
                    << what;
                // The level moves (its rate is not left at 0).
                EXPECT_NE(a.front(), a.back()) << what;
            }
        }
    }
}

// A constraint is checked after the dynamic pass and never in the initial
// one: its state functions start from their initial values too, and a
// pipeline in one neither crashes nor loses its input.
TEST_F(StateInRate, StateFunctionsInConstraintsStartFromTheirInitialValues) {
    model_builder b("constraints");
    b.control(0, 6, 1, 1);
    b.constant("c", 4);
    b.level("grow", "1", "0");
    symbol_id smooth = b.aux("smooth holds", "SMOOTH(c, 3) = c");
    symbol_id initial = b.aux("initial holds", "INITIAL(grow + c) = c");
    symbol_id fixed = b.aux("fixed lags", "DELAY FIXED(grow, 2, 0) = MAX(grow - 2, 0)");
    ASSERT_TRUE(b.finish());
    for (symbol_id s : {smooth, initial, fixed}) retype(b, s, st_constraint);
    sim_options o;
    o.check_constraints = true;
    for (int method : {im_euler, im_rk4}) {
        o.method = method;
        sim_output out;
        ASSERT_EQ(simulate_model(b.symbols(), o, &out), sim_done) << messages.joined();
        EXPECT_EQ(out.constraint_checks, 7);
        for (const constraint_violation& v : out.violations)
            ADD_FAILURE() << v.element << " from " << v.first_time << ", " << v.count << " times";
    }
}

TEST_F(StateInRate, AConstraintsStateFunctionMayNotReadATestInput) {
    model_builder b("constraint over a test input");
    b.control(0, 3, 1, 1);
    b.level("grow", "1", "0");
    symbol_id probe = b.aux("probe", "grow * 2");
    symbol_id smooth = b.aux("smoothed probe", "SMOOTH(probe, 2) < 100");
    symbol_id plain = b.aux("plain probe", "probe < 100");
    ASSERT_TRUE(b.finish());
    retype(b, probe, st_test_input);
    retype(b, smooth, st_constraint);
    retype(b, plain, st_constraint);
    EXPECT_NE(check_model(b.symbols()), 0);
    EXPECT_TRUE(messages.contains("The constraint smoothed probe uses SMOOTH of the test input "
                                  "probe; a function that keeps state may not read a test input"))
        << messages.joined();
    EXPECT_FALSE(messages.contains("plain probe")) << messages.joined();
    // The code generator refuses it too, as a second line.
    sim_program p;
    EXPECT_EQ(generate_code(b.symbols(), p), 0);
    EXPECT_TRUE(messages.contains("The constraint smoothed probe uses a function that keeps state "
                                  "over the test input probe"))
        << messages.joined();
}

// What the generator makes of a call in a rate: a unit of its own among the
// held values, in both passes, that nothing orders itself after by name.
TEST_F(StateInRate, TheCallBecomesAHiddenUnitInBothPasses) {
    model_builder b("hidden");
    b.control(0, 2, 1, 1);
    b.aux("x", "L * 2");
    b.level("L", "SAMPLE IF TRUE(L > 1, x, 1) + 1", "0");
    ASSERT_TRUE(b.finish());
    ASSERT_EQ(check_model(b.symbols()), 0) << messages.joined();
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1) << messages.joined();
    ASSERT_EQ(order_program(b.symbols(), p), 1) << messages.joined();
    int hidden = -1;
    for (std::size_t u = 0; u < p.units.size(); ++u)
        if (p.units[u].hidden) {
            EXPECT_EQ(hidden, -1) << "one call, one hidden unit";
            hidden = static_cast<int>(u);
        }
    ASSERT_GE(hidden, 0);
    const code_unit& h = p.units[static_cast<std::size_t>(hidden)];
    EXPECT_EQ(h.kind, uk_value);
    EXPECT_EQ(h.sym, b.id("L"));
    auto count = [&](const std::vector<int>& order) {
        return std::count(order.begin(), order.end(), hidden);
    };
    EXPECT_EQ(count(p.initial_order), 1);
    EXPECT_EQ(count(p.dynamic_order), 1);
    EXPECT_EQ(count(p.rate_order), 0);
    // Its value sits among the held values, after the model's slots and the
    // integrated states, and the sampled value is read after x is computed.
    ASSERT_EQ(p.held_values, 2u);
    auto at = [&](const std::vector<int>& order, int u) {
        return std::find(order.begin(), order.end(), u) - order.begin();
    };
    int x_unit = -1;
    for (std::size_t u = 0; u < p.units.size(); ++u)
        if (p.units[u].sym == b.id("x")) x_unit = static_cast<int>(u);
    EXPECT_LT(at(p.dynamic_order, x_unit), at(p.dynamic_order, hidden));
    sim_output out = run(b);
    // L: 0; + 1 + 1 (the initial sample, L > 1 false); + 4 + 1 (x sampled at L = 2).
    EXPECT_EQ(series(out, b, "L"), (std::vector<float>{0, 2, 7}));
}

} // namespace

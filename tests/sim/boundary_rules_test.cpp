// Rules at the edges of the built-ins, held on every road of the engine (the
// interpreter alone, the flat loop, native tiers 0 and 1): where a pulse
// train's first pulse begins and where its pulses overlap, NaN in MIN, MAX,
// VMIN and VMAX on either side, the segment a lookup takes just below one of
// its points, LOOKUP INVERT beyond and between its points, SAMPLE IF TRUE
// inside a Runge-Kutta step, random draws once a step and pipeline due times.
#include <cmath>
#include <string>
#include <vector>

#include "sim/interp.h"
#include "sim/native/native.h"
#include "tests/sim/engine_fixture.h"

namespace {

enum road { interpreter, flat_loop, tier0, tier1 };
const char* const road_names[] = {"interpreter", "flat loop", "tier 0", "tier 1"};

struct outcome {
    int result = 0;
    sim_output out;
    std::string messages;
};

class BoundaryRules : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        forget_kept_passes();
    }
    void TearDown() override {
        set_flat_passes(true);
        set_native_mode(nm_environment);
        forget_kept_passes();
    }

    static std::vector<road> roads() {
        std::vector<road> r = {interpreter, flat_loop};
        if (native_available()) r.insert(r.end(), {tier0, tier1});
        return r;
    }

    // Runs a finished model on road r; each road twice, the second run with
    // its initial pass through the kept passes, which must give the first's
    // bits.
    static outcome run(model_builder& b, road r, int method = im_euler) {
        set_flat_passes(r != interpreter);
        set_native_mode(r == tier0 ? nm_tier0 : r == tier1 ? nm_tier1 : nm_off);
        outcome first;
        for (int again = 0; again < 2; ++again) {
            message_capture messages;
            outcome o;
            sim_options opt;
            opt.method = method;
            o.result = simulate_model(b.symbols(), opt, &o.out);
            o.messages = messages.joined();
            if (!again) {
                first = o;
                continue;
            }
            EXPECT_EQ(run_difference(o, first), "") << road_names[r] << ", run again";
        }
        return first;
    }

    // Runs a finished model on every road: the outcome of the interpreter,
    // after checking that every other road gives its bits.
    static outcome run_everywhere(model_builder& b, int method = im_euler) {
        outcome reference;
        for (road r : roads()) {
            outcome o = run(b, r, method);
            if (r == interpreter)
                reference = o;
            else
                EXPECT_EQ(run_difference(o, reference), "") << road_names[r];
        }
        return reference;
    }

    // The saved values of a variable's element (0 the first).
    static std::vector<float> series(model_builder& b, const outcome& o, const char* name,
                                     int element = 0) {
        std::vector<float> v;
        for (std::size_t k = 0; k < o.out.times.size(); ++k)
            v.push_back(saved_value(o.out, k, slot_of(b, name) + element));
        return v;
    }
};

// Each pulse of a train is on under PULSE's bounds, TIME + TIME STEP/2
// strictly beyond its start and before its end: with the start on such a
// midpoint (1.25 with steps of 0.5, 0.0625 with steps of 0.125, already at
// Time 0) it begins a step later than the midpoint that equals it, the first
// pulse and the later ones alike.
TEST_F(BoundaryRules, APulseTrainsFirstPulseBeginsAsAPulse) {
    struct start_case {
        float step, start, width, interval, final_time;
        std::vector<float> pulse, train;
    };
    const start_case cases[] = {
        {0.5f, 1.25f, 1, 2, 4, {0, 0, 0, 1, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 0, 1, 0}},
        {0.125f, 0.0625f, 0.25f, 0.5f, 1, {0, 1, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 1, 0, 0, 0}},
    };
    for (const start_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "TIME STEP " << c.step << ", start " << c.start);
        model_builder b("pulses");
        b.control(0, c.final_time, c.step, c.step);
        b.constant("start", c.start);
        b.constant("width", c.width);
        b.constant("interval", c.interval);
        b.aux("single", "PULSE(start, width)");
        b.aux("once", "PULSE TRAIN(start, width, 0, 10)");
        b.aux("repeated", "PULSE TRAIN(start, width, interval, 10)");
        // The same in a rate, and with the start as a number.
        b.level("Count", "PULSE TRAIN(start, width, interval, 10)", "0");
        b.aux("numbered",
              c.step == 0.5f ? "PULSE TRAIN(1.25, 1, 0, 10)" : "PULSE TRAIN(0.0625, 0.25, 0, 10)");
        ASSERT_TRUE(b.finish());
        for (road r : roads()) {
            SCOPED_TRACE(road_names[r]);
            outcome o = run(b, r);
            ASSERT_EQ(o.result, sim_done) << o.messages;
            EXPECT_EQ(series(b, o, "single"), c.pulse);
            EXPECT_EQ(series(b, o, "once"), c.pulse);
            EXPECT_EQ(series(b, o, "numbered"), c.pulse);
            EXPECT_EQ(series(b, o, "repeated"), c.train);
            // Count sums the train's earlier steps.
            std::vector<float> count = series(b, o, "Count");
            float sum = 0;
            for (std::size_t k = 0; k < count.size(); ++k) {
                EXPECT_FLOAT_EQ(count[k], sum * c.step) << "save " << k;
                sum += c.train[k];
            }
        }
    }
}

// MIN, MAX, VMIN and VMAX give NaN when an operand is NaN, on either side,
// so the run ends with the floating point error arithmetic gives, naming the
// same variable at the same time whatever the order; before it, every road
// saves the same values. NaN from a math function (a call) and from 0 / 0
// (in code with no call: the native tiers' fast parts and lane loops).
TEST_F(BoundaryRules, NaNInMinOrMaxIsAnErrorOnEitherSide) {
    struct nan_case {
        const char* equation;
        const char* expected;
    };
    const nan_case cases[] = {
        {"y = MAX(ARCCOS(Time), 0)", "computing y at time 1.5"},
        {"y = MAX(0, ARCCOS(Time))", "computing y at time 1.5"},
        {"y = MIN(ARCCOS(Time), 0)", "computing y at time 1.5"},
        {"y = MIN(0, ARCCOS(Time))", "computing y at time 1.5"},
        {"y = MAX((Time - 1) / (Time - 1), 0) + Time", "computing y at time 1"},
        {"y = MAX(0, (Time - 1) / (Time - 1)) + Time", "computing y at time 1"},
        {"y = MIN((Time - 1) / (Time - 1), 5) * Time", "computing y at time 1"},
        {"y = MIN(5, (Time - 1) / (Time - 1)) * Time", "computing y at time 1"},
        {"w[r] = MAX((Time - k[r]) / (Time - k[r]), 0) * k[r]", "computing w[a2] at time 0.5"},
        {"w[r] = MAX(0, (Time - k[r]) / (Time - k[r])) * k[r]", "computing w[a2] at time 0.5"},
        {"w[r] = MIN(ARCCOS(Time * k[r]), 1) + k[r]", "computing w[a3] at time 1.5"},
        {"w[r] = MIN(1, ARCCOS(Time * k[r])) + k[r]", "computing w[a3] at time 1.5"},
        {"y = VMIN(ARCCOS(Time * k[r!]))", "computing y at time 1.5"},
        {"y = VMIN(ARCCOS(Time * back[r!]))", "computing y at time 1.5"},
        {"y = VMAX(ARCCOS(Time * k[r!]))", "computing y at time 1.5"},
        {"y = VMAX(ARCCOS(Time * back[r!]))", "computing y at time 1.5"},
    };
    for (const nan_case& c : cases) {
        SCOPED_TRACE(c.equation);
        model_builder b("nan");
        b.control(0, 2, 0.5f, 0.5f);
        b.range("r", {"a1", "a2", "a3"});
        b.constant_list("k[r]", {0.25f, 0.5f, 1});
        b.constant_list("back[r]", {1, 0.5f, 0.25f});
        std::string eq = c.equation;
        std::string lhs = eq.substr(0, eq.find(" = "));
        b.aux(lhs.c_str(), eq.substr(eq.find(" = ") + 3).c_str());
        b.level("Total", lhs[0] == 'w' ? "SUM(w[r!])" : "y", "0");
        ASSERT_TRUE(b.finish());
        outcome reference;
        for (road r : roads()) {
            SCOPED_TRACE(road_names[r]);
            outcome o = run(b, r);
            EXPECT_EQ(o.result, sim_error_saved);
            EXPECT_NE(o.messages.find(std::string("Floating point error ") + c.expected),
                      std::string::npos)
                << o.messages;
            EXPECT_FALSE(o.out.times.empty());
            if (r == interpreter)
                reference = o;
            else
                EXPECT_EQ(run_difference(o, reference), "");
        }
    }
}

// MIN and MAX with NA, checked on each road against the rule itself rather
// than against another road: NA is the missing value, below every number, so
// MIN takes it by the order and MAX gives it too (an operand that is missing
// leaves the result missing), on either side, in scalars and in arrays, from
// a constant and from arithmetic the engine cannot fold away. The numbers
// beside it give the plain MIN and MAX.
TEST_F(BoundaryRules, MinAndMaxWithNaAreNaOnEveryRoad) {
    model_builder b("na");
    b.control(0, 2, 0.5f, 0.5f);
    b.range("r", {"a1", "a2", "a3"});
    b.constant_list("k[r]", {-3, 0.5f, 7});
    b.constant("missing", NA);
    b.aux("late", "IF THEN ELSE(Time > 0.75, missing * Time, Time)");
    b.aux("min left", "MIN(missing, Time)");
    b.aux("min right", "MIN(Time + 1, missing)");
    b.aux("max left", "MAX(missing, Time)");
    b.aux("max right", "MAX(Time - 1e6, missing)");
    b.aux("max late", "MAX(late, 2)");
    b.aux("min late", "MIN(2, late)");
    b.aux("w[r]", "MAX(k[r] * Time, IF THEN ELSE(k[r] > 0, missing, k[r]))");
    b.aux("v[r]", "MIN(IF THEN ELSE(k[r] > 1, missing, k[r]), k[r] * Time)");
    ASSERT_TRUE(b.finish()) << b.errors()[0];
    for (road r : roads()) {
        SCOPED_TRACE(road_names[r]);
        outcome o = run(b, r);
        ASSERT_EQ(o.result, sim_done) << o.messages;
        ASSERT_EQ(o.out.times.size(), 5u);
        for (std::size_t k = 0; k < 5; ++k) {
            SCOPED_TRACE("at step " + std::to_string(k));
            const float t = 0.5f * static_cast<float>(k);
            for (const char* name : {"min left", "min right", "max left", "max right"})
                EXPECT_TRUE(is_na(saved_value(o.out, k, slot_of(b, name)))) << name;
            // "late" is Time until 0.75, then missing.
            if (t < 0.75f) {
                EXPECT_FLOAT_EQ(saved_value(o.out, k, slot_of(b, "max late")), 2);
                EXPECT_FLOAT_EQ(saved_value(o.out, k, slot_of(b, "min late")), t);
            } else {
                EXPECT_TRUE(is_na(saved_value(o.out, k, slot_of(b, "max late"))));
                EXPECT_TRUE(is_na(saved_value(o.out, k, slot_of(b, "min late"))));
            }
            // w: a1 (k = -3) is MAX(-3 t, -3); a2 and a3 meet NA.
            EXPECT_FLOAT_EQ(saved_value(o.out, k, slot_of(b, "w")), t > 1 ? -3 : -3 * t);
            EXPECT_TRUE(is_na(saved_value(o.out, k, slot_of(b, "w") + 1)));
            EXPECT_TRUE(is_na(saved_value(o.out, k, slot_of(b, "w") + 2)));
            // v: a1 and a2 are MIN(k, k t); a3 (k = 7) meets NA.
            EXPECT_FLOAT_EQ(saved_value(o.out, k, slot_of(b, "v")), t < 1 ? -3 : -3 * t);
            EXPECT_FLOAT_EQ(saved_value(o.out, k, slot_of(b, "v") + 1), t < 1 ? 0.5f * t : 0.5f);
            EXPECT_TRUE(is_na(saved_value(o.out, k, slot_of(b, "v") + 2)));
        }
    }
}

// A lookup searching for x's segment compares x in double: 1e-9 below a
// point whose float x would round to it lies in the segment below, on the
// line through that segment's points. The first step moves the table's
// current segment to the one above (so the search is made); lanes reading
// the table together do the same.
TEST_F(BoundaryRules, ALookupJustBelowAPointTakesTheSegmentBelow) {
    model_builder b("lookup");
    b.control(0, 1, 1, 1);
    b.range("r", {"a1", "a2", "a3"});
    b.constant_list("k[r]", {1, 2, 4});
    b.lookup("tb", {{-1.56163f, 10}, {-0.56163f, 2.75f}, {-0.0616299f, 3}});
    b.aux("y", "(tb(IF THEN ELSE(Time < 1, -0.2, -0.56163 - Time * 1e-9)) - 2.75) * 1e9");
    b.aux("w[r]", "(tb(IF THEN ELSE(Time < 1, -0.2, -0.56163 - Time * k[r] * 1e-9)) - 2.75) * 1e9");
    b.level("Total", "y + SUM(w[r!])", "0");
    ASSERT_TRUE(b.finish());
    for (road r : roads()) {
        SCOPED_TRACE(road_names[r]);
        outcome o = run(b, r);
        ASSERT_EQ(o.result, sim_done) << o.messages;
        // The slope of the segment below is -7.25 a unit.
        EXPECT_NEAR(series(b, o, "y")[1], 7.25, 1e-3);
        EXPECT_NEAR(series(b, o, "w", 0)[1], 7.25, 1e-3);
        EXPECT_NEAR(series(b, o, "w", 1)[1], 14.5, 2e-3);
        EXPECT_NEAR(series(b, o, "w", 2)[1], 29, 4e-3);
    }
}

// SAMPLE IF TRUE in a Runge-Kutta step: while its condition holds it gives
// the input of the stage being evaluated; its held value moves only at the
// step's first evaluation. L1' = L1 through it gives the RK4 step of
// L' = L (1.2214 after one step of 0.2); L2's condition fails in the last
// stage, which gets the value held at the step's start (1), not the third
// stage's input: 1 + 0.2/6 (1 + 2 1.1 + 2 1.11 + 1) = 1.214.
TEST_F(BoundaryRules, SampleIfTrueGivesEachRungeKuttaStagesInputAndHoldsOncePerStep) {
    model_builder b("held");
    b.control(0, 0.2f, 0.2f, 0.2f);
    b.level("L1", "SAMPLE IF TRUE(1, L1, 0)", "1");
    b.level("L2", "SAMPLE IF TRUE(Time < 0.15, L2, 0)", "1");
    b.aux("held", "SAMPLE IF TRUE(Time < 0.15, L1, 0)");
    ASSERT_TRUE(b.finish());
    outcome reference;
    for (road r : roads()) {
        SCOPED_TRACE(road_names[r]);
        outcome o = run(b, r, im_rk4);
        ASSERT_EQ(o.result, sim_done) << o.messages;
        EXPECT_NEAR(series(b, o, "L1")[1], 1.2214, 1e-6);
        EXPECT_NEAR(series(b, o, "L2")[1], 1.214, 1e-6);
        // At Time 0.2 the condition fails: the value held at Time 0.
        EXPECT_EQ(series(b, o, "held")[1], 1.0f);
        if (r == interpreter)
            reference = o;
        else
            EXPECT_EQ(run_difference(o, reference), "");
    }
}

// A train is the union of its pulses, each a PULSE of the train's width from
// start + k interval; where the width (or TIME STEP) reaches the interval they
// overlap and the train stays on across their starts. The union is built
// here from PULSE itself, one per interval.
TEST_F(BoundaryRules, APulseTrainIsTheUnionOfItsPulsesWhenTheyOverlap) {
    struct train_case {
        float step, start, width, interval, end;
    };
    const train_case cases[] = {
        {0.5f, 0.25f, 1, 0.5f, 10},     // twice as wide as the interval
        {0.5f, 0.25f, 0.5f, 0.5f, 10},  // each pulse ends where the next begins
        {0.5f, 0, 0.125f, 0.25f, 6},    // TIME STEP beyond the interval
        {0.25f, 0.5f, 0.75f, 0.5f, 5},  // pulses of one and a half intervals
        {0.25f, 0.25f, 0.25f, 1, 5.5f}, // apart, as before
    };
    const float final_time = 11;
    for (const train_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "TIME STEP " << c.step << ", start " << c.start
                                        << ", width " << c.width << ", interval " << c.interval);
        model_builder b("overlapping pulses");
        b.control(0, final_time, c.step, c.step);
        b.constant("start", c.start);
        b.constant("width", c.width);
        b.constant("interval", c.interval);
        b.constant("end", c.end);
        std::vector<std::string> names;
        std::vector<float> index;
        for (int k = 0; k * c.interval <= final_time; ++k) {
            names.push_back("k" + std::to_string(k));
            index.push_back(static_cast<float>(k));
        }
        std::vector<const char*> elements;
        for (const std::string& n : names) elements.push_back(n.c_str());
        b.range("pulses", elements);
        b.constant_list("index[pulses]", index);
        b.aux("one[pulses]", "PULSE(start + index[pulses] * interval, width)");
        b.aux("joined", "IF THEN ELSE(Time > end, 0, MIN(1, SUM(one[pulses!])))");
        b.aux("train", "PULSE TRAIN(start, width, interval, end)");
        b.level("Count", "PULSE TRAIN(start, width, interval, end)", "0");
        b.level("Joined count", "joined", "0");
        ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
        outcome o = run_everywhere(b);
        ASSERT_EQ(o.result, sim_done) << o.messages;
        EXPECT_EQ(series(b, o, "train"), series(b, o, "joined"));
        EXPECT_EQ(series(b, o, "Count"), series(b, o, "Joined count"));
        if (c.width == 1) {
            // On from Time 0.5 to the end, 10.
            std::vector<float> t = series(b, o, "Time"), on;
            for (float time : t) on.push_back(time >= 0.5f && time <= 10 ? 1.0f : 0.0f);
            EXPECT_EQ(series(b, o, "train"), on);
        }
    }
}

// LOOKUP INVERT gives the smallest x at which the table (a line between its
// points) takes y; beyond the table's y values, the x of the point nearest
// to y, the first of them: the near end of a rising or falling table, the
// first highest or lowest point of any other.
TEST_F(BoundaryRules, LookupInvertTakesTheFirstCrossingAndTheNearestPointBeyond) {
    model_builder b("inverse");
    b.control(0, 8, 1, 1);
    b.lookup("rise", {{0, 0}, {1, 2}, {3, 6}});
    b.lookup("fall", {{0, 10}, {1, 5}, {2, 0}});
    b.lookup("hill", {{0, 2}, {1, 6}, {2, 0}, {3, 6}, {4, 4}});
    b.range("yr", {"y1", "y2", "y3", "y4", "y5", "y6"});
    b.constant_list("y[yr]", {-1, 1, 4, 9, 20, -3});
    b.aux("rising[yr]", "LOOKUP INVERT(rise, y[yr] + Time * 0)");
    b.aux("falling[yr]", "LOOKUP INVERT(fall, y[yr] + Time * 0)");
    b.constant_list("h[yr]", {3, 1.5f, 7, -1, 6, 0});
    b.aux("hilly[yr]", "LOOKUP INVERT(hill, h[yr] + Time * 0)");
    // Swept through the falling table's values and beyond: no jump.
    b.aux("sweep", "LOOKUP INVERT(fall, 12 - Time * 2)");
    b.level("Area", "LOOKUP INVERT(fall, 12 - Time * 2)", "0");
    ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
    outcome o = run_everywhere(b);
    ASSERT_EQ(o.result, sim_done) << o.messages;
    auto at = [&](const char* name, int e) { return series(b, o, name, e)[3]; };
    const float rising[] = {0, 0.5f, 2, 3, 3, 0};
    const float falling[] = {2, 1.8f, 1.2f, 0.2f, 0, 2};
    // 3 first lies on the way up, 1.5 only on the way down; 7 lies above
    // every point (the first 6 is at 1), -1 below (the 0 at 2); 6 is first
    // reached at 1, 0 at 2.
    const float hilly[] = {0.25f, 1.75f, 1, 2, 1, 2};
    for (int e = 0; e < 6; ++e) {
        EXPECT_FLOAT_EQ(at("rising", e), rising[e]) << "rising, element " << e;
        EXPECT_FLOAT_EQ(at("falling", e), falling[e]) << "falling, element " << e;
        EXPECT_FLOAT_EQ(at("hilly", e), hilly[e]) << "hilly, element " << e;
    }
    const std::vector<float> sweep = {0, 0, 0.4f, 0.8f, 1.2f, 1.6f, 2, 2, 2};
    std::vector<float> got = series(b, o, "sweep");
    ASSERT_EQ(got.size(), sweep.size());
    for (std::size_t k = 0; k < sweep.size(); ++k) EXPECT_FLOAT_EQ(got[k], sweep[k]) << k;
}

// The draws of a stream with a seed, as RANDOM UNIFORM(0, 1, seed) gives them.
std::vector<float> draws(double seed, int count) {
    random_stream r;
    seed_stream(r, seed);
    std::vector<float> v;
    for (int k = 0; k < count; ++k) v.push_back(static_cast<float>(stream_uniform(r)));
    return v;
}

// One value per TIME STEP: at INITIAL TIME the initial pass and the first
// dynamic pass share one draw, and an equation whose vector function runs
// over one element draws once.
TEST_F(BoundaryRules, ARandomDrawIsOneValuePerTimeStep) {
    model_builder b("draws");
    b.control(0, 4, 1, 1);
    b.range("da", {"d1"});
    b.constant_list("k[da]", {1});
    b.aux("x", "RANDOM UNIFORM(0, 1, 5)");
    b.level("L", "0", "x");
    b.aux("summed", "RANDOM UNIFORM(0, 1, 5) * SUM(k[da!])");
    b.aux("largest", "RANDOM UNIFORM(0, 1, 5) * VMAX(k[da!])");
    b.aux("product", "RANDOM UNIFORM(0, 1, 5) * PROD(k[da!])");
    ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
    const std::vector<float> expected = draws(5, 5);
    for (int method : {im_euler, im_rk2, im_rk4, im_rk_auto}) {
        SCOPED_TRACE(testing::Message() << "method " << method);
        outcome o = run_everywhere(b, method);
        ASSERT_EQ(o.result, sim_done) << o.messages;
        EXPECT_EQ(series(b, o, "x"), expected);
        EXPECT_EQ(series(b, o, "L"), std::vector<float>(5, expected[0]));
        EXPECT_EQ(series(b, o, "summed"), expected);
        EXPECT_EQ(series(b, o, "largest"), expected);
        EXPECT_EQ(series(b, o, "product"), expected);
    }
}

// A draw inside a state function's argument is one value per TIME STEP, as
// the same draw through an auxiliary: in an auxiliary and in a rate, with
// every integration method.
TEST_F(BoundaryRules, ADrawInsideAStateFunctionIsOneValuePerTimeStep) {
    const char* const calls[] = {
        "SMOOTH(%, 1)",   "SMOOTH3(%, 1.5)",       "SMOOTH INIT(%, 1, 0.5)",
        "DELAY3(%, 1.5)", "DELAY N(%, 1, 0.5, 2)", "DELAY FIXED(%, 1, 0.5)",
    };
    auto with = [](const char* call, const std::string& arg) {
        std::string s = call;
        return s.replace(s.find('%'), 1, arg);
    };
    model_builder b("draws in states");
    b.control(0, 3, 0.5f, 0.5f);
    int n = 0;
    for (const char* call : calls) {
        std::string id = std::to_string(n++);
        std::string seed = std::to_string(n + 10);
        std::string draw = "RANDOM UNIFORM(0, 1, " + seed + ")";
        b.aux(("via aux " + id).c_str(), draw.c_str());
        b.aux(("through aux " + id).c_str(), with(call, "via aux " + id).c_str());
        b.aux(("inside " + id).c_str(), with(call, draw).c_str());
        b.aux(("via rate " + id).c_str(), draw.c_str());
        b.level(("Through rate " + id).c_str(), with(call, "via rate " + id).c_str(), "0");
        b.level(("Inside rate " + id).c_str(), with(call, draw).c_str(), "0");
    }
    ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
    for (int method : {im_euler, im_rk2, im_rk4, im_rk_auto}) {
        SCOPED_TRACE(testing::Message() << "method " << method);
        outcome o = run_everywhere(b, method);
        ASSERT_EQ(o.result, sim_done) << o.messages;
        for (int k = 0; k < n; ++k) {
            std::string id = std::to_string(k);
            SCOPED_TRACE(calls[k]);
            EXPECT_EQ(series(b, o, ("via aux " + id).c_str()), draws(k + 11, 7));
            EXPECT_EQ(series(b, o, ("inside " + id).c_str()),
                      series(b, o, ("through aux " + id).c_str()));
            EXPECT_EQ(series(b, o, ("Inside rate " + id).c_str()),
                      series(b, o, ("Through rate " + id).c_str()));
        }
    }
}

// A pipeline's due time is TIME + the delay in double, as the time axis:
// with TIME STEP 0.3 the value put in at Time 0.3 is due at 4.05, which is
// Time 3.9 + TIME STEP/2 in double (4.0500002 as a float, a step late).
TEST_F(BoundaryRules, APipelinesDueTimeIsKeptInDouble) {
    model_builder b("due");
    b.control(0, 6, 0.3f, 0.3f);
    b.aux("late", "DELAY FIXED(Time, 3.75, 0)");
    ASSERT_TRUE(b.finish());
    outcome o = run_everywhere(b);
    ASSERT_EQ(o.result, sim_done) << o.messages;
    std::vector<float> t = series(b, o, "Time"), late = series(b, o, "late");
    ASSERT_EQ(t.size(), 21u);
    EXPECT_EQ(late[13], t[1]); // Time 3.9
    // Every later step's sum is a tie in double too: the value put in 12
    // steps before.
    for (std::size_t k = 0; k < t.size(); ++k)
        EXPECT_EQ(late[k], k >= 12 ? t[k - 12] : 0.0f) << "Time " << t[k];
}

} // namespace

// Subscripted equations as the flat passes run them (chunk loops decoded
// once per run) against the interpreter alone and against C++: lookups whose
// lanes lie in different segments and move between them, beyond the ends and
// extrapolated, and at NA; references gathered through sub-ranges; more
// lanes than one chunk; and a floating point error in one lane.
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/interp.h"
#include "tests/sim/engine_fixture.h"

namespace {

const std::vector<std::pair<float, float>> curve = {{-3, -1}, {0, 0}, {1, 2}, {1, 2.5f}, {4, 3}};

// The lookup as the engine defines it: clamped at the ends (or extrapolated
// from the end segments). At the vertical step (x = 1) the value is the one
// of the segment used last (both roads alike), so no oracle is given there.
bool on_step(double x) {
    return x == 1;
}
double curve_at(double x, bool extrapolate) {
    std::size_t n = curve.size();
    auto line = [&](std::size_t k, double v) {
        double x0 = curve[k].first, x1 = curve[k + 1].first;
        double y0 = curve[k].second, y1 = curve[k + 1].second;
        return y0 + (v - x0) * (y1 - y0) / (x1 - x0);
    };
    if (x <= curve.front().first) return extrapolate ? line(0, x) : curve.front().second;
    if (x >= curve.back().first) return extrapolate ? line(n - 2, x) : curve.back().second;
    std::size_t k = 0;
    while (curve[k + 1].first < x) ++k;
    if (curve[k + 1].first == curve[k].first) return curve[k + 1].second;
    return line(k, x);
}

// Lanes of X: start values and speeds, so that over the run the lanes cross
// segments in both directions and leave the table at both ends.
constexpr int lanes = 300;
float start_of(int i) {
    return -4.0f + 0.03f * static_cast<float>(i);
}
float speed_of(int i) {
    return i % 3 == 0 ? 0.5f : (i % 3 == 1 ? -0.75f : 0.0f);
}

class Wide : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        b_.control(0, 4, 1, 1);
        std::vector<std::string> names;
        for (int i = 0; i < lanes; ++i) names.push_back("e" + std::to_string(i));
        std::vector<const char*> all, odd, some;
        for (auto& n : names) all.push_back(n.c_str());
        for (int i = 1; i < lanes; i += 2)
            odd.push_back(names[static_cast<std::size_t>(i)].c_str());
        for (int i : {7, 2, 250, 3}) some.push_back(names[static_cast<std::size_t>(i)].c_str());
        b_.range("r", all);
        b_.range("odd", odd);
        b_.range("some", some);
        std::vector<float> x0, v;
        for (int i = 0; i < lanes; ++i) {
            x0.push_back(start_of(i));
            v.push_back(speed_of(i));
        }
        b_.constant_list("x0[r]", x0);
        b_.constant_list("speed[r]", v);
        b_.level("X[r]", "speed[r]", "x0[r]");
        b_.level("shift", "0.25", "-0.5");
        b_.lookup("table", curve);
        b_.aux("looked[r]", "table(X[r]) * 2 - shift");
        b_.aux("extrapolated[r]", "LOOKUP EXTRAPOLATE(table, X[r] + shift)");
        b_.aux("twice[r]", "table(X[r]) + table(shift - X[r])");
        b_.aux("odd gathered[odd]", "X[odd] * 3 - shift");
        b_.aux("some gathered[some]", "shift / X[some] + X[some]");
        b_.aux("copied[r]", "X[r]");
        // A data variable with no data is NA in every lane.
        b_.data("gap[r]");
        b_.aux("missing[r]", "table(gap[r] * X[r]) + MAX(LOOKUP EXTRAPOLATE(table, gap[r]), X[r])");
        b_.aux("chosen[r]", "IF THEN ELSE(X[r] > shift, MIN(X[r], 1), MAX(-X[r], shift))");
        ASSERT_TRUE(b_.finish()) << (b_.errors().empty() ? "" : b_.errors()[0]);
        ASSERT_EQ(check_model(b_.symbols()), 0) << messages_.joined();
        ASSERT_EQ(generate_code(b_.symbols(), p_), 1);
        ASSERT_EQ(order_program(b_.symbols(), p_), 1);
    }
    void TearDown() override { set_flat_passes(true); }

    sim_output run(bool flat) {
        set_flat_passes(flat);
        sim_output out;
        EXPECT_EQ(run_program(b_.symbols(), p_, sim_options{}, &out), sim_done)
            << messages_.joined();
        return out;
    }

    message_capture messages_;
    model_builder b_{"wide"};
    sim_program p_;
};

TEST_F(Wide, ChunkLoopsGiveTheInterpretersValuesAndTheArithmeticOfCpp) {
    sim_output flat = run(true), reference = run(false);
    ASSERT_EQ(flat.times.size(), 5u);
    ASSERT_EQ(flat.rows.size(), reference.rows.size());
    for (std::size_t i = 0; i < flat.rows.size(); ++i)
        ASSERT_EQ(flat.rows[i], reference.rows[i]) << "value " << i;
    std::int32_t x = slot_of(b_, "X"), looked = slot_of(b_, "looked"),
                 extrapolated = slot_of(b_, "extrapolated"), twice = slot_of(b_, "twice"),
                 odd = slot_of(b_, "odd gathered"), some = slot_of(b_, "some gathered"),
                 copied = slot_of(b_, "copied"), chosen = slot_of(b_, "chosen"),
                 missing = slot_of(b_, "missing");
    for (std::size_t k = 0; k < flat.times.size(); ++k) {
        double s = -0.5 + 0.25 * static_cast<double>(k);
        for (int i = 0; i < lanes; ++i) {
            float xf = saved_value(flat, k, x + i);
            ASSERT_EQ(xf, start_of(i) + static_cast<float>(k) * speed_of(i)) << i;
            EXPECT_EQ(saved_value(flat, k, copied + i), xf);
            EXPECT_EQ(saved_value(flat, k, missing + i), NA) << "lane " << i << " time " << k;
            double xi = xf;
            if (on_step(xi) || on_step(xi + s) || on_step(s - xi)) continue;
            EXPECT_EQ(saved_value(flat, k, looked + i),
                      static_cast<float>(curve_at(xi, false) * 2 - s))
                << "lane " << i << " time " << k;
            EXPECT_EQ(saved_value(flat, k, extrapolated + i),
                      static_cast<float>(curve_at(xi + s, true)))
                << "lane " << i << " time " << k;
            EXPECT_EQ(saved_value(flat, k, twice + i),
                      static_cast<float>(curve_at(xi, false) + curve_at(s - xi, false)))
                << "lane " << i << " time " << k;

            EXPECT_EQ(saved_value(flat, k, chosen + i),
                      static_cast<float>(xi > s ? std::min(xi, 1.0) : std::max(-xi, s)))
                << "lane " << i << " time " << k;
        }
        for (int j = 0; j < lanes / 2; ++j) {
            double xi = saved_value(flat, k, x + 2 * j + 1);
            EXPECT_EQ(saved_value(flat, k, odd + j), static_cast<float>(xi * 3 - s)) << j;
        }
        int picked[4] = {7, 2, 250, 3};
        for (int j = 0; j < 4; ++j) {
            double xi = saved_value(flat, k, x + picked[j]);
            EXPECT_EQ(saved_value(flat, k, some + j), static_cast<float>(s / xi + xi)) << j;
        }
    }
}

TEST_F(Wide, EverySubscriptedEquationOfTheModelRunsAsChunkLoops) {
    set_flat_passes(true);
    ASSERT_TRUE(interp_begin(p_, b_.symbols()));
    std::size_t subscripted = 0;
    for (const std::vector<int>* order : {&p_.dynamic_order, &p_.rate_order})
        for (int u : *order)
            subscripted += p_.units[static_cast<std::size_t>(u)].targets.size() > 1;
    EXPECT_GE(subscripted, 8u);
    EXPECT_EQ(wide_unit_count(), subscripted);
    interp_end();
}

// A lane whose value is not finite ends the run naming its element, the same
// on both roads; lanes of the chunk before it keep their values.
TEST(WideErrors, ALaneThatIsNotFiniteIsNamed) {
    for (bool flat : {true, false}) {
        init_vocabulary();
        message_capture messages;
        model_builder b("wide error");
        b.control(0, 4, 1, 1);
        b.range("r", {"a1", "a2", "a3", "a4"});
        b.constant_list("x0[r]", {0.5f, 1, 1.5f, 2});
        b.level("X[r]", "0.25", "x0[r]");
        b.aux("w[r]", "1 / (X[r] - 2.5) + shown");
        b.aux("shown", "Time");
        ASSERT_TRUE(b.finish());
        set_flat_passes(flat);
        sim_output out;
        EXPECT_NE(simulate_model(b.symbols(), sim_options{}, &out), sim_done);
        set_flat_passes(true);
        EXPECT_TRUE(messages.contains("Floating point error computing w[a4]")) << messages.joined();
        EXPECT_FALSE(messages.contains("w[a3]")) << messages.joined();
    }
}

// A lookup over two ranges of 5 x 254 elements (chunks that end inside a
// row) against the same lookup written element by element, with the flat
// passes and with the interpreter alone, inside the table and beyond its
// ends, plain and extrapolated. Every road computes a segment's line from
// the stored points' differences taken in double: the values are those of
// the line through the two points, to the bit, whether a lane is inside the
// segment or extrapolated beyond it.
TEST(WideLookups, ChunksElementsAndBothEnginesDrawOneLine) {
    init_vocabulary();
    message_capture messages;
    const float x0 = 1.8877f, y0 = -7, x1 = 4.8877f, y1 = 3.64016f;
    auto line = [&](double x) {
        return y0 + (x - x0) * (static_cast<double>(y1) - y0) / (static_cast<double>(x1) - x0);
    };
    model_builder b("wide lookups");
    b.control(-5, 10, 0.125f, 1);
    std::vector<std::string> an, bn;
    for (int i = 0; i < 5; ++i) an.push_back("a" + std::to_string(i));
    for (int j = 0; j < 254; ++j) bn.push_back("b" + std::to_string(j));
    std::vector<const char*> ap, bp;
    for (auto& n : an) ap.push_back(n.c_str());
    for (auto& n : bn) bp.push_back(n.c_str());
    b.range("A", ap);
    b.range("B", bp);
    // k runs over -5 .. 10 across the lanes and moves with time, so the
    // lanes enter, cross and leave the table.
    std::vector<float> k0;
    for (int i = 0; i < 5 * 254; ++i) k0.push_back(-5.0f + 15.0f * static_cast<float>(i) / 1269.0f);
    b.constant_list("k0[A,B]", k0);
    b.level("k[A,B]", "0.3", "k0[A,B]");
    b.lookup("tbl", {{x0, y0}, {x1, y1}});
    b.aux("plain[A,B]", "tbl(-k[A,B])");
    b.aux("extrapolated[A,B]", "LOOKUP EXTRAPOLATE(tbl, -k[A,B])");
    b.level("integrated[A,B]", "tbl(-k[A,B])", "0");
    // At the end points themselves, their own values.
    b.aux("at first", "LOOKUP EXTRAPOLATE(tbl, 1.8877 + TIME * 0)");
    b.aux("at last", "LOOKUP EXTRAPOLATE(tbl, 4.8877 + TIME * 0)");
    // The first two rows element by element (the first chunk ends inside the
    // second), the integrated ones for the second row.
    for (int lane = 0; lane < 2 * 254; ++lane) {
        std::string e = "[a" + std::to_string(lane / 254) + ",b" + std::to_string(lane % 254) + "]";
        std::string id = std::to_string(lane);
        b.aux(("p" + id).c_str(), ("tbl(-k" + e + ")").c_str());
        b.aux(("e" + id).c_str(), ("LOOKUP EXTRAPOLATE(tbl, -k" + e + ")").c_str());
        if (lane >= 254) b.level(("i" + id).c_str(), ("tbl(-k" + e + ")").c_str(), "0");
    }
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(check_model(b.symbols()), 0) << messages.joined();
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    sim_output flat, reference;
    set_flat_passes(true);
    ASSERT_EQ(run_program(b.symbols(), p, sim_options{}, &flat), sim_done);
    ASSERT_TRUE(interp_begin(p, b.symbols()));
    EXPECT_EQ(wide_unit_count(), 4u); // the equations over A and B, k's rate included
    interp_end();
    set_flat_passes(false);
    ASSERT_EQ(run_program(b.symbols(), p, sim_options{}, &reference), sim_done);
    set_flat_passes(true);
    ASSERT_EQ(flat.rows, reference.rows);
    ASSERT_EQ(flat.times.size(), 16u);
    const std::int32_t k = slot_of(b, "k"), plain = slot_of(b, "plain"),
                       extrapolated = slot_of(b, "extrapolated"),
                       integrated = slot_of(b, "integrated");
    // The slots of the element equations, looked up once.
    std::vector<std::array<std::int32_t, 3>> element_slots;
    for (int lane = 0; lane < 2 * 254; ++lane) {
        std::string id = std::to_string(lane);
        element_slots.push_back({slot_of(b, ("p" + id).c_str()), slot_of(b, ("e" + id).c_str()),
                                 lane >= 254 ? slot_of(b, ("i" + id).c_str()) : -1});
    }
    int inside = 0;
    for (std::size_t t = 0; t < flat.times.size(); ++t)
        for (int lane = 0; lane < 5 * 254; ++lane) {
            double x = -static_cast<double>(saved_value(flat, t, k + lane));
            float p_lanes = saved_value(flat, t, plain + lane);
            float e_lanes = saved_value(flat, t, extrapolated + lane);
            inside += x > x0 && x < x1;
            float clamped = x <= x0 ? y0 : (x >= x1 ? y1 : static_cast<float>(line(x)));
            ASSERT_EQ(p_lanes, clamped) << "x " << x;
            ASSERT_EQ(e_lanes, static_cast<float>(line(x))) << "x " << x;
            if (lane >= 2 * 254) continue;
            const auto& es = element_slots[static_cast<std::size_t>(lane)];
            ASSERT_EQ(p_lanes, saved_value(flat, t, es[0])) << "lane " << lane;
            ASSERT_EQ(e_lanes, saved_value(flat, t, es[1])) << "lane " << lane;
            if (es[2] >= 0) {
                ASSERT_EQ(saved_value(flat, t, integrated + lane), saved_value(flat, t, es[2]))
                    << "lane " << lane;
            }
        }
    EXPECT_GT(inside, 1000);
    for (std::size_t t = 0; t < flat.times.size(); ++t) {
        EXPECT_EQ(saved_value(flat, t, slot_of(b, "at first")), y0);
        EXPECT_EQ(saved_value(flat, t, slot_of(b, "at last")), y1);
    }
}

} // namespace

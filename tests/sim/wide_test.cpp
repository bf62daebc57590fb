// Subscripted equations as the flat passes run them (chunk loops decoded
// once per run) against the interpreter alone and against C++: lookups whose
// lanes lie in different segments and move between them, beyond the ends and
// extrapolated, and at NA; references gathered through sub-ranges; more
// lanes than one chunk; and a floating point error in one lane.
#include <array>
#include <cmath>
#include <cstring>
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

namespace {

// Runs b's model with the flat passes and with the interpreter alone: the
// same saved values to the bit and the same message; wide, the units run as
// chunk loops.
struct both_roads {
    sim_output flat, reference;
    std::size_t wide = 0;
    std::string flat_messages, reference_messages;
};
both_roads run_both(model_builder& b) {
    both_roads r;
    sim_program p;
    {
        message_capture messages;
        EXPECT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
        EXPECT_EQ(check_model(b.symbols()), 0) << messages.joined();
        EXPECT_EQ(generate_code(b.symbols(), p), 1);
        EXPECT_EQ(order_program(b.symbols(), p), 1);
    }
    set_flat_passes(true);
    EXPECT_TRUE(interp_begin(p, b.symbols()));
    r.wide = wide_unit_count();
    interp_end();
    {
        message_capture messages;
        run_program(b.symbols(), p, sim_options{}, &r.flat);
        r.flat_messages = messages.joined();
    }
    {
        message_capture messages;
        set_flat_passes(false);
        run_program(b.symbols(), p, sim_options{}, &r.reference);
        r.reference_messages = messages.joined();
        set_flat_passes(true);
    }
    EXPECT_EQ(r.flat.rows.size(), r.reference.rows.size());
    for (std::size_t i = 0; i < r.flat.rows.size() && i < r.reference.rows.size(); ++i)
        if (std::memcmp(&r.flat.rows[i], &r.reference.rows[i], 4) != 0) {
            ADD_FAILURE() << "save " << i / r.flat.value_slots << ", slot "
                          << i % r.flat.value_slots << ": " << r.flat.rows[i] << " against "
                          << r.reference.rows[i];
            break;
        }
    EXPECT_EQ(r.flat_messages, r.reference_messages);
    return r;
}

std::vector<std::string> element_names(const char* prefix, int n) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) names.push_back(prefix + std::to_string(i));
    return names;
}
std::vector<const char*> pointers(const std::vector<std::string>& names) {
    std::vector<const char*> p;
    for (const auto& n : names) p.push_back(n.c_str());
    return p;
}

} // namespace

// Lanes exactly on a point of the table take the segment the lane before
// left (at the vertical step of curve, x = 1, the value is 2 or 2.5 by that
// segment), as do lanes after a NaN one (which leaves the last segment) or
// an NA one (which leaves it alone); a lookup in a smoothing's input still
// moves its segment though the output does not read it.
TEST(WideLookups, LanesOnAPointTakeTheSegmentTheLaneBeforeLeft) {
    init_vocabulary();
    model_builder b("on points");
    b.control(0, 3, 1, 1);
    const std::vector<std::string> names = element_names("e", 300);
    b.range("r", pointers(names));
    // Before each lane on the step: a lane in the segment below it, above
    // it, beyond an end, NaN or NA; the lanes drift over the run.
    const float before[] = {0.5f, 3, -5, 9, 1, 0, 4};
    std::vector<float> x, nan_lane, na_lane;
    for (int i = 0; i < 300; ++i) {
        const int k = (i / 2) % 7;
        x.push_back(i % 2 ? 1.0f : before[k]);
        nan_lane.push_back(i % 2 == 0 && k == 3 ? 1.0f : 0.0f);
        na_lane.push_back(i % 2 == 0 && k == 4 ? 1.0f : 0.0f);
    }
    b.constant_list("x0[r]", x);
    b.constant_list("nan lane[r]", nan_lane);
    b.constant_list("na lane[r]", na_lane);
    b.constant("nothing", 0);
    b.level("X[r]", "IF THEN ELSE(MODULO(Time, 2) = 0, 0, 0)", "x0[r]");
    b.data("gap[r]");
    b.lookup("table", curve);
    // The NaN lane's lookup is computed and its value dropped (a NaN stored
    // would end the run).
    b.aux("looked[r]", "IF THEN ELSE(nan lane[r] = 1, 0, IF THEN ELSE(na lane[r] = 1, -1, "
                       "table(IF THEN ELSE(nan lane[r] = 1, nothing / nothing, "
                       "IF THEN ELSE(na lane[r] = 1, gap[r], X[r])))))");
    b.aux("smoothed[r]", "SMOOTH(table(X[r] * 2) + looked[r], 2)");
    b.aux("after[r]", "table(X[r])");
    const both_roads r = run_both(b);
    EXPECT_EQ(r.wide, 5u); // looked, smoothed, after, smoothed's rates and X's
    ASSERT_EQ(r.flat.times.size(), 4u);
    const std::int32_t looked = slot_of(b, "looked"), after = slot_of(b, "after");
    // Lanes on the step after a lane below it read 2, after one above it 2.5.
    for (std::size_t t = 0; t < r.flat.times.size(); ++t)
        for (int i = 1; i < 300; i += 2) {
            const int k = (i / 2) % 7;
            if (k == 0) {
                EXPECT_EQ(saved_value(r.flat, t, after + i), 2.0f) << i;
            }
            if (k == 1 || k == 3) {
                EXPECT_EQ(saved_value(r.flat, t, looked + i), 2.5f) << i;
            }
        }
}

// SUM, PROD, VMIN and VMAX over more lanes than a chunk, per row of a
// two-range array whose rows end inside chunks, and over a range holding NA:
// the interpreter's values to the bit, and the sums of C++ in the same order.
TEST(WideVectors, ReductionsPerRowAreTheInterpretersAndOfCpp) {
    init_vocabulary();
    model_builder b("reductions");
    b.control(0, 2, 1, 1);
    const std::vector<std::string> an = element_names("a", 5), bn = element_names("b", 254);
    b.range("A", pointers(an));
    b.range("B", pointers(bn));
    std::vector<float> v;
    for (int i = 0; i < 5 * 254; ++i)
        v.push_back(static_cast<float>((i * 7919) % 1000) / 7.0f - 50.0f);
    b.constant_list("v0[A,B]", v);
    b.level("v[A,B]", "0.125", "v0[A,B]");
    b.data("gap[B]");
    b.aux("row sum[A]", "SUM(v[A,B!])");
    b.aux("row product[A]", "PROD(v[A,B!] / 40 + 1.5)");
    b.aux("row least[A]", "VMIN(v[A,B!] * 2)");
    b.aux("row most[A]", "VMAX(v[A,B!])");
    b.aux("all sum", "SUM(v[A!,B!])");
    b.aux("with gap", "SUM(gap[B!] + v[a0,B!])");
    // Vector calls inside expressions: per lane of both ranges, of a scalar
    // twice, and over a lookup whose lanes cross its segments.
    b.lookup("curve", curve);
    b.aux("share[A,B]", "v[A,B] / SUM(v[A,B!])");
    b.aux("row mean[A]", "SUM(v[A,B!]) / 254");
    b.aux("spread", "VMAX(v[A!,B!]) - VMIN(v[A!,B!])");
    b.aux("looked[A]", "1 + SUM(curve(v[A,B!] / 20)) * PROD(v[A,B!] * 0 + 1)");
    const both_roads r = run_both(b);
    // The ten units with vector calls, v's rate and gap (data, none given).
    EXPECT_EQ(r.wide, 12u);
    const std::int32_t vs = slot_of(b, "v"), sum = slot_of(b, "row sum"),
                       most = slot_of(b, "row most"), all = slot_of(b, "all sum");
    for (std::size_t t = 0; t < r.flat.times.size(); ++t) {
        double total = 0;
        for (int a = 0; a < 5; ++a) {
            double s = 0, m = saved_value(r.flat, t, vs + a * 254);
            for (int j = 0; j < 254; ++j) {
                const double x = saved_value(r.flat, t, vs + a * 254 + j);
                s += x;
                m = std::max(m, x);
            }
            EXPECT_EQ(saved_value(r.flat, t, sum + a), static_cast<float>(s)) << a;
            EXPECT_EQ(saved_value(r.flat, t, slot_of(b, "row mean") + a),
                      static_cast<float>(s / 254))
                << a;
            const double v0 = saved_value(r.flat, t, vs + a * 254);
            EXPECT_EQ(saved_value(r.flat, t, slot_of(b, "share") + a * 254),
                      static_cast<float>(v0 / s))
                << a;
            EXPECT_EQ(saved_value(r.flat, t, most + a), static_cast<float>(m)) << a;
        }
        for (int i = 0; i < 5 * 254; ++i) total += saved_value(r.flat, t, vs + i);
        EXPECT_EQ(saved_value(r.flat, t, all), static_cast<float>(total));
        EXPECT_EQ(saved_value(r.flat, t, slot_of(b, "with gap")), NA);
    }
}

// The rates of smoothing and delay states over lanes: the interpreter's, and
// a smoothing time of 0 in one lane names that lane on both roads.
TEST(WideStates, SmoothingAndDelayStatesMoveAsTheInterpretersAndNameTheirLane) {
    init_vocabulary();
    model_builder b("states");
    b.control(0, 6, 0.5f, 0.5f);
    const std::vector<std::string> names = element_names("e", 270);
    b.range("r", pointers(names));
    std::vector<float> in, time;
    for (int i = 0; i < 270; ++i) {
        in.push_back(static_cast<float>(i % 17) * 1.5f);
        time.push_back(1 + static_cast<float>(i % 5));
    }
    b.constant_list("in[r]", in);
    b.constant_list("span[r]", time);
    b.level("moving[r]", "in[r] / 8", "in[r]");
    b.aux("s1[r]", "SMOOTH(moving[r], span[r])");
    b.aux("s3[r]", "SMOOTH3(moving[r] * 2, span[r])");
    b.aux("si[r]", "SMOOTH INIT(moving[r], 3, 5)");
    b.aux("sn[r]", "SMOOTH N(moving[r], span[r], 4, 5)");
    b.aux("d1[r]", "DELAY1(moving[r], span[r])");
    b.aux("d3[r]", "DELAY3(moving[r], 2.5)");
    b.aux("dn[r]", "DELAY N(moving[r], span[r], 0, 5)");
    const both_roads r = run_both(b);
    // The seven outputs, their seven rates units and moving's rate.
    EXPECT_EQ(r.wide, 15u);
    EXPECT_EQ(r.flat.times.size(), 13u);
    EXPECT_TRUE(r.flat_messages.empty()) << r.flat_messages;

    init_vocabulary();
    model_builder z("zero time");
    z.control(0, 2, 1, 1);
    z.range("r", pointers(names));
    std::vector<float> zero(270, 2);
    zero[261] = 0;
    z.constant_list("span[r]", zero);
    z.level("moving[r]", "1", "0");
    z.aux("s3[r]", "SMOOTH3(moving[r], span[r])");
    const both_roads e = run_both(z);
    EXPECT_NE(e.flat_messages.find("the state of s3[e261]"), std::string::npos) << e.flat_messages;
}

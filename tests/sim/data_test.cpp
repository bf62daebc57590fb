// Data and constants read from outside sources through the runs subsystem's
// reader: the call's texts and numbers go out, series and values come back.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "model/blockfile.h"
#include "sim/interp.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

std::vector<data_source_call> calls;

int fake_reader(const data_source_call& call, std::vector<std::vector<float>>* times,
                std::vector<std::vector<float>>* values) {
    calls.push_back(call);
    if (call.texts.empty() || call.texts[0] == "missing") {
        report(5, "Unable to open %s to get data", call.texts.empty() ? "" : call.texts[0].c_str());
        return 0;
    }
    for (int e = 0; e < call.elements; ++e) {
        float scale = static_cast<float>(e + 1);
        if (call.function == fn_get_kdf_constants || call.function == fn_get_xls_constants) {
            values->push_back(
                {(call.numbers.empty() ? 0 : call.numbers[0]) + static_cast<float>(e)});
        } else {
            float offset = call.numbers.empty() ? 0 : call.numbers[0];
            times->push_back({0 + offset, 2 + offset, 4 + offset});
            values->push_back({10 * scale, 20 * scale, 40 * scale});
        }
    }
    return 1;
}

class DataReaders : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        calls.clear();
        set_data_source_reader(&fake_reader);
    }
    void TearDown() override { set_data_source_reader(nullptr); }
    // Simulates a model of one data variable, observed, read from a KDF
    // file through reader, from Time 0 to final_time by step; observed's slot.
    void simulate_observed(data_source_reader reader, float final_time, float step, sim_output& out,
                           std::int32_t& observed) {
        set_data_source_reader(reader);
        model_builder b("observed");
        b.control(0, final_time, step, step);
        b.data("observed", "GET KDF DATA(\"past\", \"x\", 0, 1)");
        ASSERT_TRUE(b.finish()) << b.errors()[0];
        ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
        observed = slot_of(b, "observed");
    }
    message_capture messages;
};

TEST_F(DataReaders, SeriesAreInterpolatedAndMissingOutsideTheirSpan) {
    model_builder b("data");
    b.control(0, 6, 1, 1);
    b.range("r", {"a1", "a2"});
    b.string_var("sheet name", "Prices");
    b.data("observed[r]", "GET KDF DATA(\"past\", \"x[r]\", 0, 1)");
    b.data("fixed[r]", "GET KDF CONSTANTS(\"past\", \"k[r]\", 3)");
    b.data("sheet", "GET XLS DATA(\"book.xls\", sheet name, \"A\", \"B2\")");
    b.aux("twice", "observed[a2] * 2");
    ASSERT_TRUE(b.finish()) << b.errors()[0];
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
    ASSERT_EQ(calls.size(), 3u);
    const data_source_call* kdf = nullptr;
    const data_source_call* xls = nullptr;
    for (const auto& c : calls) {
        if (c.function == fn_get_kdf_data) kdf = &c;
        if (c.function == fn_get_xls_data) xls = &c;
    }
    ASSERT_NE(kdf, nullptr);
    EXPECT_EQ(kdf->texts, (std::vector<std::string>{"past", "x[r]"}));
    EXPECT_EQ(kdf->numbers, (std::vector<float>{0, 1}));
    EXPECT_EQ(kdf->elements, 2);
    EXPECT_EQ(kdf->target, "observed[a1]");
    ASSERT_NE(xls, nullptr);
    EXPECT_EQ(xls->texts, (std::vector<std::string>{"book.xls", "Prices", "A", "B2"}));
    std::int32_t o = slot_of(b, "observed"), f = slot_of(b, "fixed"), t = slot_of(b, "twice");
    EXPECT_FLOAT_EQ(saved_value(out, 1, o), 15);
    EXPECT_FLOAT_EQ(saved_value(out, 3, o + 1), 60);
    EXPECT_FLOAT_EQ(saved_value(out, 3, t), 120);
    EXPECT_FLOAT_EQ(saved_value(out, 4, o), 40);
    EXPECT_TRUE(is_na(saved_value(out, 5, o)));
    EXPECT_FLOAT_EQ(saved_value(out, 0, f), 3);
    EXPECT_FLOAT_EQ(saved_value(out, 6, f + 1), 4);
    EXPECT_FLOAT_EQ(saved_value(out, 2, slot_of(b, "sheet")), 20);
}

TEST_F(DataReaders, AFailedReadOrNoReaderLeavesTheValuesMissing) {
    model_builder b("failures");
    b.control(0, 2, 1, 1);
    b.data("lost", "GET KDF DATA(\"missing\", \"x\", 0, 1)");
    ASSERT_TRUE(b.finish());
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done);
    EXPECT_TRUE(messages.contains("Unable to open missing to get data")) << messages.joined();
    EXPECT_TRUE(is_na(saved_value(out, 1, slot_of(b, "lost"))));
    EXPECT_EQ(calls.size(), 1u); // read once per run, not per step

    set_data_source_reader(nullptr);
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done);
    EXPECT_TRUE(messages.contains("Unable to get the values of lost from missing: no data reader"))
        << messages.joined();
}

// A series whose second time is 0.1 as a float (0.100000001): Time 0.1,
// which a float holds as that same value, lies just before it in double and
// so in the first segment, on the line through the first two points (10
// within a float's rounding), not on the steep second segment's line
// continued back (-4.9).
int steep_reader(const data_source_call&, std::vector<std::vector<float>>* times,
                 std::vector<std::vector<float>>* values) {
    times->push_back({0, 0.1f, 0.2f});
    values->push_back({0, 10, 1e9f});
    return 1;
}

TEST_F(DataReaders, ASeriesIsSearchedWithTheTimeInDouble) {
    sim_output out;
    std::int32_t o = -1;
    ASSERT_NO_FATAL_FAILURE(simulate_observed(&steep_reader, 0.2f, 0.1f, out, o));
    EXPECT_FLOAT_EQ(saved_value(out, 0, o), 0);
    EXPECT_NEAR(saved_value(out, 1, o), 10, 1e-5);
    EXPECT_FLOAT_EQ(saved_value(out, 2, o), 1e9f);
}

// A series whose last time is not exact in float: 0.9f is 0.899999976, a
// hair before the run's last Time 0.9. The series still ends there, so the
// last step takes its last value rather than the missing value past its span;
// between its points it is the line through them.
int inexact_end_reader(const data_source_call&, std::vector<std::vector<float>>* times,
                       std::vector<std::vector<float>>* values) {
    times->push_back({0, 0.3f, 0.9f});
    values->push_back({1, 4, 7});
    return 1;
}

TEST_F(DataReaders, ASeriesEndingOnATimeInexactInFloatKeepsItsLastValue) {
    sim_output out;
    std::int32_t o = -1;
    ASSERT_NO_FATAL_FAILURE(simulate_observed(&inexact_end_reader, 0.9f, 0.1f, out, o));
    EXPECT_FLOAT_EQ(saved_value(out, 0, o), 1);
    EXPECT_NEAR(saved_value(out, 2, o), 3, 1e-5);   // 0.2 on the first segment: 1 + 0.2 * 10
    EXPECT_NEAR(saved_value(out, 6, o), 5.5, 1e-5); // 0.6 on the second: 4 + 0.3 * 5
    EXPECT_NEAR(saved_value(out, 9, o), 7, 1e-5);
    EXPECT_FALSE(is_na(saved_value(out, 9, o)));
}

} // namespace

namespace {

int lookup_reader(const data_source_call& call, std::vector<std::vector<float>>* times,
                  std::vector<std::vector<float>>* values) {
    calls.push_back(call);
    for (int e = 0; e < call.elements; ++e) {
        times->push_back({0, 10});
        values->push_back({0, 100});
    }
    return 1;
}

// A model of times 0 to final_time in steps of 1 whose lookup "carrier"
// takes its points from GET KDF LOOKUPS("past", "curve") at the start of a
// run (one stored point until then), and whose "read" is the equation given.
void build_source_lookup(model_builder& b, float final_time, const char* read) {
    b.control(0, final_time, 1, 1);
    symbol_id carrier = b.aux("carrier", "GET KDF LOOKUPS(\"past\", \"curve\", 0, 1)");
    b.aux("read", read);
    const float x0[1] = {0}, y0[1] = {-1};
    add_lookup(b.symbols(), carrier, 0, x0, y0, 1);
    ASSERT_TRUE(b.finish()) << b.errors()[0];
    // Make the carrier a lookup whose points come from the source.
    {
        model_lock_guard g(b.symbols(), 1);
        eq_nodes(eq_at(sym(carrier)->eqn))[0].code = nc_lookup_eq;
    }
    symbol_record r = get_symbol(b.symbols(), carrier);
    r.type = st_lookup;
    put_symbol(b.symbols(), carrier, r);
    assign_value_slots(b.symbols());
}

TEST(LookupSources, PointsReadAtTheStartOfTheRunReplaceTheStoredOnes) {
    init_vocabulary();
    message_capture messages;
    calls.clear();
    set_data_source_reader(&lookup_reader);
    model_builder b("lookup source");
    ASSERT_NO_FATAL_FAILURE(build_source_lookup(b, 3, "LOOKUP EXTRAPOLATE(carrier, Time * 2)"));
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].function, fn_get_kdf_lookups);
    EXPECT_EQ(calls[0].texts, (std::vector<std::string>{"past", "curve"}));
    EXPECT_EQ(calls[0].elements, 1);
    EXPECT_FLOAT_EQ(saved_value(out, 2, slot_of(b, "read")), 40);
    set_data_source_reader(nullptr);
}

// A lookup whose points come from a source keeps them in the run file with
// its extremes: the smallest and largest x and y of the points read, the
// largest x the last point's.
int uneven_lookup_reader(const data_source_call& call, std::vector<std::vector<float>>* times,
                         std::vector<std::vector<float>>* values) {
    for (int e = 0; e < call.elements; ++e) {
        times->push_back({-2, 4, 10});
        values->push_back({5, 100, -3});
    }
    return 1;
}

TEST(LookupSources, TheRunFileKeepsThePointsReadAndTheirExtremes) {
    init_vocabulary();
    message_capture messages;
    set_data_source_reader(&uneven_lookup_reader);
    model_builder b("lookup extremes");
    ASSERT_NO_FATAL_FAILURE(build_source_lookup(b, 2, "LOOKUP EXTRAPOLATE(carrier, Time * 4)"));
    char tmpl[] = "/tmp/lookup_extremesXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string file = std::string(tmpl) + "/run.kdf";
    sim_options o;
    o.run_file = file.c_str();
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), o, &out), sim_done) << messages.joined();
    set_data_source_reader(nullptr);
    EXPECT_FLOAT_EQ(saved_value(out, 1, slot_of(b, "read")), 100);                   // at x 4
    EXPECT_NEAR(saved_value(out, 2, slot_of(b, "read")), 100 - 4 * 103.0 / 6, 1e-4); // at x 8

    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(file.c_str());
    ::rmdir(tmpl);
    ASSERT_GE(bytes.size(), sizeof(kmf_header));
    kmf_header h;
    std::memcpy(&h, bytes.data(), sizeof h);
    const std::uint32_t records = kmf_word(h, 23);
    ASSERT_NE(records, 0u);
    ASSERT_LE(records + sizeof(lookup_table), bytes.size());
    lookup_table t;
    std::memcpy(&t, bytes.data() + records, sizeof t);
    EXPECT_EQ(t.count, 3u);
    EXPECT_EQ(t.xmin, -2);
    EXPECT_EQ(t.xmax, 10);
    EXPECT_EQ(t.ymin, -3);
    EXPECT_EQ(t.ymax, 100);
    // The points themselves, in the data block behind the one record.
    const std::size_t block = records + sizeof(lookup_table);
    ASSERT_LE(block + 4ull * (t.y + 3), bytes.size());
    float x[3], y[3];
    std::memcpy(x, bytes.data() + block + 4ull * t.x, sizeof x);
    std::memcpy(y, bytes.data() + block + 4ull * t.y, sizeof y);
    EXPECT_EQ(std::vector<float>(x, x + 3), (std::vector<float>{-2, 4, 10}));
    EXPECT_EQ(std::vector<float>(y, y + 3), (std::vector<float>{5, 100, -3}));
}

} // namespace

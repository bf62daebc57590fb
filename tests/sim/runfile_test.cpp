// The run file's bytes against docs/formats/run-file.md, and a failed write
// that keeps the previous run.
#include <cstring>
#include <fstream>
#include <iterator>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "model/blockfile.h"
#include "model/modelfile.h"
#include "tests/sim/engine_fixture.h"

namespace {

std::vector<std::uint8_t> file_bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

template <typename T> T at(const std::vector<std::uint8_t>& b, std::size_t off) {
    T v{};
    if (off + sizeof(T) <= b.size()) std::memcpy(&v, b.data() + off, sizeof(T));
    return v;
}

std::uint32_t word(const std::vector<std::uint8_t>& b, int n) {
    return at<std::uint32_t>(b, 4 * static_cast<std::size_t>(n));
}

class RunFile : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        dir_ = testing::TempDir() + "/runfile_" + std::to_string(counter_++);
        std::string cmd = "mkdir -p '" + dir_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string path(const char* name) { return dir_ + "/" + name; }

    // A small model: a constant, an initial value, a level that starts to
    // move at 5, a lookup, a string and a string over a range.
    void build(model_builder& b) {
        b.control(0, 10, 0.5f, 1);
        b.range("side", {"left", "right"});
        b.constant("k", 2.5f);
        b.initial("start", "k * 4");
        b.level("Stock", "STEP(k, 5)", "7");
        b.lookup("curve", {{0, 1}, {10, 3}});
        b.aux("shaped", "curve(Time)");
        b.string_var("label", "hello run");
        b.string_var("tags[side]", "both sides");
        ASSERT_TRUE(b.finish());
    }

    // Simulates the model into the run file at p with the given options.
    static int simulate_to(model_builder& b, const std::string& p, sim_options o = {},
                           sim_output* out = nullptr) {
        o.run_file = p.c_str();
        return simulate_model(b.symbols(), o, out);
    }

    message_capture messages;
    std::string dir_;
    static int counter_;
};
int RunFile::counter_ = 0;

TEST_F(RunFile, UpperCaseLayoutHeaderTimeRecordOffsetsAndCompression) {
    model_builder b("layout");
    build(b);
    std::string p = path("layout.kdf");
    sim_options o;
    o.info = "sim  layout";
    sim_output out;
    ASSERT_EQ(simulate_to(b, p, o, &out), sim_done) << messages.joined();
    auto f = file_bytes(p);
    ASSERT_GT(f.size(), 164u);
    EXPECT_EQ(f[0], 0x7F);
    EXPECT_EQ(f[1], 0xF7);
    EXPECT_EQ(f[2], 0x17);
    EXPECT_EQ(f[3], 'R');
    EXPECT_EQ(at<std::uint16_t>(f, 80), 101);
    EXPECT_EQ(at<std::uint16_t>(f, 82), 400);
    EXPECT_EQ(word(f, 30), 11u);
    EXPECT_EQ(word(f, 29), 0u);
    EXPECT_EQ(word(f, 31), 11u);
    EXPECT_EQ(word(f, 28), 11u);
    EXPECT_EQ(word(f, 38), 1u);
    EXPECT_EQ(f[160], 0); // constants in the offset table
    EXPECT_EQ(f[161], 0); // 16-bit counts
    // The model part reads back through the model store's reader.
    handle rec = read_binary_model(p.c_str(), 0);
    ASSERT_NE(rec, 0u) << messages.joined();
    {
        handle_lock<kmf_header> h(rec);
        EXPECT_NE(kmf_word(*h.get(), kdf_word_symbols), 0u);
        EXPECT_NE(kmf_word(*h.get(), kdf_word_info), 0u);
        fh_close(static_cast<file_handle>(kmf_word(*h.get(), kdf_word_file)));
        free_hblock_if(kmf_word(*h.get(), kdf_word_info));
        free_model(0, kmf_word(*h.get(), kdf_word_symbols));
    }
    free_handle(rec);

    std::uint32_t table = word(f, 25);
    std::uint32_t time_rec = at<std::uint32_t>(f, table);
    EXPECT_EQ(at<std::int16_t>(f, time_rec), 11);
    EXPECT_EQ(f[time_rec + 2], 0xFF);
    EXPECT_EQ(f[time_rec + 3], 0x07);
    for (int k = 0; k < 11; ++k)
        EXPECT_FLOAT_EQ(at<float>(f, time_rec + 4 + 4 * k), static_cast<float>(k));
    // A constant is held in the table itself, and in the constants section.
    std::int32_t ks = slot_of(b, "k");
    EXPECT_FLOAT_EQ(at<float>(f, table + 4 * ks), 2.5f);
    EXPECT_FLOAT_EQ(at<float>(f, word(f, 22) + 4 * ks), 2.5f);
    // So is an initial value: one value, computed once.
    std::int32_t is = slot_of(b, "start");
    EXPECT_FLOAT_EQ(at<float>(f, table + 4 * is), 10);
    EXPECT_FLOAT_EQ(at<float>(f, word(f, 22) + 4 * is), 10);
    // The level is flat up to t = 5: stored once, then at every change.
    std::int32_t ss = slot_of(b, "Stock");
    std::uint32_t rec_at = at<std::uint32_t>(f, table + 4 * ss);
    ASSERT_NE(rec_at, 0u);
    EXPECT_EQ(at<std::int16_t>(f, rec_at), 1 + 5); // t = 0, then 6 .. 10
    EXPECT_EQ(f[rec_at + 2], 0xC1);                // bits 0, 6, 7
    EXPECT_EQ(f[rec_at + 3], 0x07);                // bits 8, 9, 10
    EXPECT_FLOAT_EQ(at<float>(f, rec_at + 4), 7);
    EXPECT_FLOAT_EQ(at<float>(f, rec_at + 8), 7 + 2.5f); // t = 6, one unit after the step
    // The lookup section: one record, its points in the data block behind it.
    std::uint32_t lk = word(f, 23);
    EXPECT_EQ(at<std::uint32_t>(f, lk + 32), 2u);
    std::uint32_t xcell = at<std::uint32_t>(f, lk + 20), ycell = at<std::uint32_t>(f, lk + 24);
    EXPECT_FLOAT_EQ(at<float>(f, lk + 52 + 4 * xcell + 4), 10);
    EXPECT_FLOAT_EQ(at<float>(f, lk + 52 + 4 * ycell), 1);
    EXPECT_EQ(at<std::uint32_t>(f, lk + 52 + 4), block_guard);
    // The string block: the text's cell in cell (slot + 7).
    std::uint32_t sb = word(f, 24);
    EXPECT_EQ(at<std::uint32_t>(f, sb + 4), block_guard);
    std::uint32_t tcell = at<std::uint32_t>(f, sb + 4 * 7);
    EXPECT_STREQ(reinterpret_cast<const char*>(f.data() + sb + 4 * tcell), "hello run");
    // A string over a range has a slot an element, each with the text.
    std::int32_t ts = slot_of(b, "tags");
    ASSERT_GE(ts, 1);
    for (std::int32_t e = 0; e < 2; ++e) {
        std::uint32_t ecell = at<std::uint32_t>(f, sb + 4 * (7 + ts + e));
        ASSERT_NE(ecell, 0u) << e;
        EXPECT_STREQ(reinterpret_cast<const char*>(f.data() + sb + 4 * ecell), "both sides") << e;
    }
    EXPECT_EQ(word(f, 27), 0u); // no delay objects
}

// Word 28 is the longest series: a lookup of more points than the saved
// times counts; word 35 holds the payoff the image carries.
TEST_F(RunFile, TheLongestSeriesCountsLookupsAndThePayoffIsInTheHeader) {
    model_builder b("long lookup");
    b.control(0, 4, 1, 1);
    std::vector<std::pair<float, float>> points;
    for (int k = 0; k < 20; ++k) points.emplace_back(static_cast<float>(k), static_cast<float>(k));
    b.lookup("curve", points);
    b.aux("shaped", "curve(Time)");
    ASSERT_TRUE(b.finish());
    const std::string p = path("long.kdf");
    ASSERT_EQ(simulate_to(b, p), sim_done) << messages.joined();
    auto f = file_bytes(p);
    EXPECT_EQ(word(f, 30), 5u);
    EXPECT_EQ(word(f, 28), 20u);
    EXPECT_EQ(at<float>(f, 4 * 35), 0.0f); // no payoff

    run_image img;
    img.symbols = b.symbols();
    img.slot_types = {8, 17};
    img.saved = {1, 1};
    img.times = {0, 1, 2};
    img.rows = {0, 5, 1, 6, 2, 7};
    img.payoff = -12.5f;
    const std::string q = path("payoff.kdf");
    ASSERT_EQ(write_run_file(q.c_str(), img), 1) << messages.joined();
    auto g = file_bytes(q);
    EXPECT_EQ(at<float>(g, 4 * 35), -12.5f);
    EXPECT_EQ(word(g, 28), 3u); // no lookups: the saved times
}

TEST_F(RunFile, RowLayoutPutsTimeInColumnOneAndEveryRowBehind) {
    model_builder b("rows");
    build(b);
    std::string p = path("rows.kdf");
    sim_options o;
    o.run_type = 'r';
    sim_output out;
    ASSERT_EQ(simulate_to(b, p, o, &out), sim_done) << messages.joined();
    auto f = file_bytes(p);
    EXPECT_EQ(f[3], 'r');
    EXPECT_NE(f[160], 0);
    std::uint32_t head = word(f, 25);
    std::uint32_t first = at<std::uint32_t>(f, head), row = at<std::uint32_t>(f, head + 4);
    bool direct = f[head + 18] != 0;
    std::uint32_t entries = at<std::uint32_t>(f, head + 8);
    auto column = [&](std::int32_t slot) -> std::uint32_t {
        if (direct) return at<std::uint32_t>(f, head + 20 + 4 * slot);
        for (std::uint32_t e = 0; e < entries; ++e)
            if (at<std::uint32_t>(f, head + 20 + 8 * e + 4) == static_cast<std::uint32_t>(slot))
                return at<std::uint32_t>(f, head + 20 + 8 * e);
        return 0;
    };
    EXPECT_EQ(column(0), 1u);
    EXPECT_EQ(column(slot_of(b, "k")), 0u); // constants: in the constants section
    std::uint32_t cs = column(slot_of(b, "shaped"));
    ASSERT_NE(cs, 0u);
    for (std::uint32_t k = 0; k < 11; ++k) {
        EXPECT_FLOAT_EQ(at<float>(f, first + 4 * (k * row)), static_cast<float>(k));
        EXPECT_FLOAT_EQ(at<float>(f, first + 4 * (cs - 1 + k * row)),
                        1 + 0.2f * static_cast<float>(k));
    }
    EXPECT_EQ(f.size(), first + 4u * 11 * row);
}

TEST_F(RunFile, PipelineStatesAreWrittenWithTheirCapacity) {
    model_builder b("delays");
    b.control(0, 4, 1, 1);
    b.aux("late", "DELAY FIXED(Time, 2, 0)");
    ASSERT_TRUE(b.finish());
    std::string p = path("delays.kdf");
    ASSERT_EQ(simulate_to(b, p), sim_done) << messages.joined();
    auto f = file_bytes(p);
    std::uint32_t d = word(f, 27);
    ASSERT_NE(d, 0u);
    std::int16_t n = at<std::int16_t>(f, d);
    ASSERT_GT(n, 0);
    EXPECT_EQ(at<std::uint16_t>(f, d + 2 + 24), static_cast<std::uint16_t>(n));
    EXPECT_EQ(at<std::uint32_t>(f, d + 2), std::uint32_t{fn_delay_fixed});
    EXPECT_EQ(at<std::int32_t>(f, d + 2 + 8), 2); // two values still in the pipeline
    EXPECT_FLOAT_EQ(at<float>(f, d + 2 + 12), 2); // delay time
    EXPECT_EQ(f.size(), d + 2 + 28 + 8u * static_cast<std::uint32_t>(n));
}

TEST_F(RunFile, AFailedWriteKeepsThePreviousRunFile) {
    model_builder b("keep");
    build(b);
    std::string p = path("keep.kdf");
    ASSERT_EQ(simulate_to(b, p), sim_done);
    auto before = file_bytes(p);
    ASSERT_FALSE(before.empty());
    run_image img;
    img.symbols = b.symbols();
    img.slot_types = {8};
    img.saved = {1};
    img.times = {0};
    img.rows = {0};
    {
        // The model part cannot be written while the model is locked.
        model_lock_guard g(b.symbols(), 0);
        EXPECT_EQ(write_run_file(p.c_str(), img), 0);
    }
    EXPECT_TRUE(messages.contains("Unable to write the run file")) << messages.joined();
    EXPECT_EQ(file_bytes(p), before);
    // A directory that does not exist: refused, nothing made.
    std::string nowhere = path("missing/dir/run.kdf");
    EXPECT_EQ(write_run_file(nowhere.c_str(), img), 0);
}

TEST_F(RunFile, ArrayAndSensitivityImagesFollowTheirLayouts) {
    model_builder b("images");
    build(b);
    std::uint32_t slots =
        get_header_word(b.symbols(), mh_level_slots) + get_header_word(b.symbols(), mh_other_slots);
    run_image a;
    a.type = 'A';
    a.symbols = b.symbols();
    a.slot_types.assign(slots, 17);
    a.saved.assign(slots, 0);
    a.master_points = 10;
    a.arrays.resize(slots);
    a.arrays[1] = std::vector<float>(10, NA);
    a.arrays[1][3] = 4.5f;
    a.arrays[1][9] = 5.5f;
    std::string pa = path("arrays.kdf");
    ASSERT_EQ(write_run_file(pa.c_str(), a), 1) << messages.joined();
    auto f = file_bytes(pa);
    EXPECT_EQ(f[3], 'A');
    EXPECT_EQ(word(f, 30), 0u);
    EXPECT_EQ(word(f, 31), 10u);
    EXPECT_EQ(word(f, 28), 10u);
    std::uint32_t rec = at<std::uint32_t>(f, word(f, 25) + 4);
    EXPECT_EQ(at<std::int16_t>(f, rec), 2);
    EXPECT_EQ(f[rec + 2], 0x08);
    EXPECT_EQ(f[rec + 3], 0x02);
    EXPECT_FLOAT_EQ(at<float>(f, rec + 4), 4.5f);

    run_image s;
    s.type = 'S';
    s.symbols = b.symbols();
    s.slot_types.assign(slots, 17);
    s.saved.assign(slots, 0);
    s.times = {0, 1};
    s.rows.assign(2 * slots, 1.0f);
    s.run_section.assign(32 + 4 * 2, 0);
    std::uint32_t sims = 3, per = 2;
    std::memcpy(s.run_section.data(), &sims, 4);
    std::memcpy(s.run_section.data() + 4, &per, 4);
    std::uint16_t k = 1, ser = 1;
    std::memcpy(s.run_section.data() + 26, &k, 2);
    std::memcpy(s.run_section.data() + 28, &ser, 2);
    for (int i = 0; i < 3 * 3; ++i) {
        float v = static_cast<float>(i);
        const auto* pv = reinterpret_cast<const std::uint8_t*>(&v);
        s.run_section.insert(s.run_section.end(), pv, pv + 4);
    }
    std::string ps = path("sens.kdf");
    ASSERT_EQ(write_run_file(ps.c_str(), s), 1);
    auto g = file_bytes(ps);
    std::uint32_t sec = word(g, 26);
    EXPECT_EQ(at<std::uint32_t>(g, sec + 8), sec + 32 + 8); // the matrix right after the slots
    EXPECT_FLOAT_EQ(at<float>(g, at<std::uint32_t>(g, sec + 8) + 4 * 4), 4);
}

} // namespace

namespace {

TEST(RunFileOptions, WideCountsAndConstantsOutsideTheTable) {
    init_vocabulary();
    message_capture messages;
    model_builder b("options");
    b.control(0, 2, 1, 1);
    b.constant("k", 4);
    b.level("S", "k", "0");
    b.data("observed", "Time * 3");
    ASSERT_TRUE(b.finish());
    std::string p = testing::TempDir() + "/options.kdf";
    sim_options o;
    o.run_file = p.c_str();
    o.constants_in_table = false;
    ASSERT_EQ(simulate_model(b.symbols(), o, nullptr), sim_done) << messages.joined();
    auto f = file_bytes(p);
    EXPECT_NE(f[160], 0);
    std::uint32_t table = word(f, 25);
    EXPECT_EQ(at<std::uint32_t>(f, table + 4 * slot_of(b, "k")), 0u);
    EXPECT_FLOAT_EQ(at<float>(f, word(f, 22) + 4 * slot_of(b, "k")), 4);
    // A data variable: the data axis (the saved times) right behind Time's record.
    EXPECT_EQ(word(f, 29), 3u);
    std::uint32_t time_rec = at<std::uint32_t>(f, table);
    std::uint32_t axis_values = time_rec + (3 - 1) / 8 + 4 * 3 + (3 - 1) / 8 + 6;
    EXPECT_FLOAT_EQ(at<float>(f, axis_values + 8), 2);
    std::uint32_t rec = at<std::uint32_t>(f, table + 4 * slot_of(b, "observed"));
    EXPECT_EQ(at<std::int16_t>(f, rec), 3);
    EXPECT_FLOAT_EQ(at<float>(f, rec + 2 + 1 + 8), 6);

    // 32-bit counts on request.
    run_image img;
    img.symbols = b.symbols();
    img.slot_types = {8, 17};
    img.saved = {1, 1};
    img.times = {0, 1};
    img.rows = {0, 5, 1, 5};
    img.force_32bit_counts = true;
    std::string w = testing::TempDir() + "/wide.kdf";
    ASSERT_EQ(write_run_file(w.c_str(), img), 1);
    auto g = file_bytes(w);
    EXPECT_EQ(g[161], 1);
    std::uint32_t t2 = at<std::uint32_t>(g, word(g, 25));
    EXPECT_EQ(at<std::int32_t>(g, t2), 2);
    std::uint32_t r2 = at<std::uint32_t>(g, word(g, 25) + 4);
    EXPECT_EQ(at<std::int32_t>(g, r2), 1); // the flat series is stored once
    EXPECT_EQ(g[r2 + 4], 0x01);
}

} // namespace

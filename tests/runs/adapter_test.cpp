// The engine's data-source reader over the run files: a model reads a
// variable of a run made by another model, as a series (GET KDF DATA, with
// the time offset and scale) and as constants (GET KDF CONSTANTS, at a
// time), its run-file name with or without the extension; the spreadsheet
// forms and a missing run are refused with a message, leaving the values
// missing.
#include "runs/simdata_adapter.h"

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>

#include "model/model.h"
#include "runs/runfile.h"
#include "sim/interp.h"
#include "tests/sim/engine_fixture.h"

namespace {

class DataFromRuns : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        char tmpl[] = "/tmp/kavrel_adapter_XXXXXX";
        const char* made = mkdtemp(tmpl);
        ASSERT_NE(made, nullptr);
        dir_ = made;
        install_run_data_source_reader();
        // The source run: x = 10 Time + 1 at 0, 1, 2, 3, 4; a pair of
        // elements y[r] = Time + 100 (r index).
        model_builder b("source");
        b.control(0, 4, 1, 1);
        b.range("r", {"a1", "a2"});
        b.aux("x", "Time * 10 + 1");
        b.aux("y[r]", "Time + 100");
        ASSERT_TRUE(b.finish()) << b.errors()[0];
        sim_options o;
        past_ = dir_ + "/past.kdf";
        o.run_file = past_.c_str();
        ASSERT_EQ(simulate_model(b.symbols(), o, nullptr), sim_done) << messages.joined();
        ASSERT_TRUE(std::filesystem::exists(past_));
    }
    void TearDown() override {
        close_model(0, 0);
        set_data_source_reader(nullptr);
        unload_runs(1);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    // An equation's text, kept alive while the builder reads it.
    const char* eq(const std::string& text) { return texts_.emplace_back(text).c_str(); }
    // The first value slot of a variable of the open model.
    static std::int32_t slot(const char* name) {
        lock_model(0);
        symbol_id s = find_symbol(name);
        std::int32_t at = s ? sym(s)->slot : -1;
        unlock_model(0);
        return at;
    }
    static std::string quoted(const std::string& s) { return "\"" + s + "\""; }
    std::deque<std::string> texts_;

    message_capture messages;
    std::string dir_, past_;
};

TEST_F(DataFromRuns, SeriesAndConstantsComeFromThePreviousRun) {
    model_builder b("reader");
    b.control(0, 4, 1, 1);
    b.range("r", {"a1", "a2"});
    // Shifted by 1 and stretched by 2: the source's time t is read at 2t + 1.
    b.data("shifted", eq("GET KDF DATA(" + quoted(past_) + ", \"x\", 1, 2)"));
    b.data("same", eq("GET KDF DATA(" + quoted(dir_ + "/past") + ", \"x\", 0, 0)"));
    b.data("pair[r]", eq("GET KDF DATA(" + quoted(past_) + ", \"y[r]\", 0, 0)"));
    b.data("at three", eq("GET KDF CONSTANTS(" + quoted(dir_ + "/past") + ", \"x\", 3)"));
    b.aux("twice", "same * 2");
    ASSERT_TRUE(b.finish()) << b.errors()[0];
    // The reader is the open model (typed subscripts are in its terms).
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    sim_output out;
    ASSERT_EQ(simulate_model(cur_model_symbols, sim_options{}, &out), sim_done)
        << messages.joined();
    EXPECT_EQ(messages.joined(), "");
    const std::int32_t same = slot("same"), shifted = slot("shifted");
    for (std::size_t k = 0; k <= 4; ++k) {
        const float t = static_cast<float>(k);
        EXPECT_FLOAT_EQ(saved_value(out, k, same), t * 10 + 1) << k;
        EXPECT_FLOAT_EQ(saved_value(out, k, slot("twice")), 2 * (t * 10 + 1)) << k;
        EXPECT_FLOAT_EQ(saved_value(out, k, slot("at three")), 31) << k;
        EXPECT_FLOAT_EQ(saved_value(out, k, slot("pair")), t + 100) << k;
        EXPECT_FLOAT_EQ(saved_value(out, k, slot("pair") + 1), t + 100) << k;
    }
    // Source time 0 lands at 1, 1 at 3: halfway values in between.
    EXPECT_TRUE(is_na(saved_value(out, 0, shifted)));
    EXPECT_FLOAT_EQ(saved_value(out, 1, shifted), 1);
    EXPECT_FLOAT_EQ(saved_value(out, 2, shifted), 6);
    EXPECT_FLOAT_EQ(saved_value(out, 3, shifted), 11);
}

TEST_F(DataFromRuns, MissingRunsAndSpreadsheetsAreRefusedWithAMessage) {
    model_builder b("refusals");
    b.control(0, 2, 1, 1);
    b.data("lost", eq("GET KDF DATA(" + quoted(dir_ + "/nowhere.kdf") + ", \"x\", 0, 0)"));
    b.data("unknown", eq("GET KDF DATA(" + quoted(past_) + ", \"nothing\", 0, 0)"));
    b.data("sheet", "GET XLS DATA(\"book.xls\", \"Prices\", \"A\", \"B2\")");
    ASSERT_TRUE(b.finish()) << b.errors()[0];
    sim_output out;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages.joined();
    EXPECT_TRUE(messages.contains("Unable to open " + dir_ + "/nowhere.kdf")) << messages.joined();
    EXPECT_TRUE(messages.contains("The variable nothing is not contained in")) << messages.joined();
    EXPECT_TRUE(messages.contains("Unable to read book.xls")) << messages.joined();
    for (const char* name : {"lost", "unknown", "sheet"})
        EXPECT_TRUE(is_na(saved_value(out, 1, slot_of(b, name)))) << name;
}

} // namespace

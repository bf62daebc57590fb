// Runs the engine wrote, damaged one part at a time, are refused with a
// "Corrupted kdf file" message naming what disagrees, in both layouts; the
// runs as written load whole.
#include <cstring>
#include <fstream>
#include <iterator>

#include "model/modelfile.h"
#include "runs_fixture.h"
#include "sim/run.h"

namespace {

class crosscheck_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        model_dir = dir_;
        model_builder b("cross");
        b.control(0, 13, 1, 1);
        b.range("region", {"north", "south"});
        b.constant("rate", 0.2f);
        b.constant("start[region]", 4);
        b.level("Stock", "inflow", "10");
        b.level("Pop[region]", "rate * Pop[region]", "start[region]");
        b.aux("inflow", "rate * Stock");
        b.aux("late", "DELAY FIXED(Stock, 2, 1)");
        b.lookup("Effect", {{0, 0}, {1, 2}, {4, 3}});
        b.aux("shaped", "Effect(Time)");
        b.aux("steady", "7");
        b.string_var("Label", "cross");
        ASSERT_TRUE(b.finish());
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir_.c_str(), path("cross.kmf").c_str());
        ASSERT_NE(cur_model_symbols, 0u);
    }
    void TearDown() override {
        close_model(0, 0);
        model_dir.clear();
        runs_test::TearDown();
    }
    // A run of the open model as the engine writes it.
    std::vector<std::uint8_t> engine_run(char type, bool in_table = true) {
        std::string p = path(std::string("engine_") + type + ".kdf");
        sim_options o;
        o.run_file = p.c_str();
        o.run_type = type;
        o.constants_in_table = in_table;
        o.info = "sim  cross";
        EXPECT_EQ(simulate_model(cur_model_symbols, o, nullptr), sim_done);
        std::ifstream f(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
    // Opens bytes; the message of the refusal ("" when the run loaded).
    std::string refusal(const std::vector<std::uint8_t>& b) {
        std::string p = write_bytes("damaged.kdf", b);
        captured().clear();
        int r = kdf_open(p.c_str());
        if (r >= 0) {
            unload_run(r);
            return {};
        }
        std::string all;
        for (auto& m : captured()) all += m.text + "\n";
        return all.empty() ? "(no message)" : all;
    }
    static void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        std::memcpy(b.data() + at, &v, 4);
    }
    static std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    }
};

TEST_F(crosscheck_test, runs_the_engine_writes_load_whole) {
    for (char type : {'R', 'r'})
        for (bool in_table : {true, false}) {
            std::vector<std::uint8_t> b = engine_run(type, in_table);
            ASSERT_FALSE(b.empty());
            EXPECT_EQ(refusal(b), "") << type << in_table;
        }
}

} // namespace

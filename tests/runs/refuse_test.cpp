// A damaged or cut run file is refused with exactly one message, and no
// internal error on top of it: the blocks read before the damage was found
// are released only after every lock on them has ended.
#include <cstring>

#include "runs_fixture.h"

namespace {

class refuse_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        build_test_model(mb_);
    }
    run_builder base(char type = 'R') {
        run_builder rb(mb_.symbols(), type);
        rb.times(ramp(11, 0, 1))
            .data_times({0, 5, 10})
            .series("Stock", ramp(11, 10, 1))
            .series("Pop[south]", ramp(11, 3, 0.5f))
            .series("inflow", ramp(11, 1, 0.1f))
            .series("Obs", {1, 2, 3})
            .constant("rate", 0.5f)
            .string_value("Label", "label")
            .info("sim Current -c", "a comment");
        return rb;
    }
    static void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        std::memcpy(b.data() + at, &v, 4);
    }
    // Opens bytes as a run and expects a refusal: one message of severity 5
    // (naming the file, containing part), nothing more severe.
    void expect_one_refusal(const std::vector<std::uint8_t>& b, const std::string& part,
                            const std::string& what) {
        std::string p = write_bytes("bad.kdf", b);
        captured().clear();
        reset_report_counts();
        EXPECT_EQ(kdf_open(p.c_str()), -1) << what;
        EXPECT_EQ(report_counts[5], 1) << what;
        for (int s = 6; s <= 10; ++s) EXPECT_EQ(report_counts[s], 0) << what << ", severity " << s;
        bool found = false;
        for (auto& m : captured())
            if (m.text.find("bad.kdf") != std::string::npos &&
                m.text.find(part) != std::string::npos)
                found = true;
        EXPECT_TRUE(found) << what << ": no message with \"" << part << "\" in "
                           << (captured().empty() ? "" : captured()[0].text);
        EXPECT_EQ(cur_run, nullptr);
    }
    model_builder mb_;
};

TEST_F(refuse_test, a_bad_information_block_is_refused_without_an_internal_error) {
    run_builder rb = base();
    const std::vector<std::uint8_t> good = rb.bytes();
    const std::size_t info = sizeof(kmf_header);
    // The table of loaded runs exists before the handles are counted.
    ASSERT_GE(kdf_open(write_bytes("good.kdf", good).c_str()), 0);
    const std::size_t handles = live_handle_count();

    // Six cells: no room for the text.
    auto b = good;
    put32(b, info + 8, 6);
    put32(b, info + 12, 6);
    expect_one_refusal(b, "information block too short", "short block");

    // The text's length claims more than the block holds.
    b = good;
    put32(b, info + 20, 0x10000);
    expect_one_refusal(b, "information block text", "text length");

    // No NUL anywhere in the text.
    b = good;
    std::uint32_t cells;
    std::memcpy(&cells, b.data() + info + 12, 4);
    std::memset(b.data() + info + 24, 'x', 4 * (cells - 6));
    put32(b, info + 20, 1);
    expect_one_refusal(b, "information block text", "text without its end");

    // Word 38 set, but the file ends after the header.
    b = good;
    b.resize(info);
    expect_one_refusal(b, "bad.kdf", "no information block");

    // Every block read before the refusal was freed.
    EXPECT_EQ(live_handle_count(), handles);
    // The undamaged file is loaded still, its information intact.
    int r = find_run(path("good.kdf").c_str());
    ASSERT_GE(r, 0);
    EXPECT_EQ(run_info_text(r), "sim Current -c\na comment");
}

TEST_F(refuse_test, a_model_part_with_too_many_value_slots_is_refused_without_an_internal_error) {
    // A model part without slot type bytes (each slot then takes its
    // variable's type), so only the run reader can tell the count is wrong.
    handle types = 0;
    {
        model_lock_guard g(mb_.symbols(), 0);
        ASSERT_TRUE(g.ok());
        types = model_hdr->w[mh_slot_types];
    }
    set_header_word(mb_.symbols(), mh_slot_types, 0);
    free_handle(types);
    // No data variable: without type bytes the builder would save it over
    // the saved times, where the reader (rightly) takes it over the data axis.
    run_builder rb(mb_.symbols(), 'R');
    rb.times(ramp(11, 0, 1)).series("Stock", ramp(11, 10, 1)).constant("rate", 0.5f);
    std::vector<std::uint8_t> b = rb.bytes();
    const run_layout L = rb.layout();
    ASSERT_GE(kdf_open(write_bytes("good.kdf", b).c_str()), 0);
    // Model-header word 3 (cell 8 of the symbol block): more value slots
    // than the file could hold values for.
    std::uint32_t others;
    std::memcpy(&others, b.data() + L.model_part + 32, 4);
    put32(b, L.model_part + 32, others + 1000000);
    const std::size_t handles = live_handle_count();
    expect_one_refusal(b, "value slot count", "too many value slots");
    EXPECT_EQ(live_handle_count(), handles);
}

// Runs of every layout, cut at many lengths: each cut is refused with one
// message that names what is cut.
TEST_F(refuse_test, a_run_cut_short_is_refused_at_every_length) {
    std::vector<std::pair<std::string, run_builder>> runs;
    runs.emplace_back("R", base());
    runs.emplace_back("r", base('r'));
    run_builder wide = base();
    wide.counts32(true).every_point(true).constants_in_table(false);
    runs.emplace_back("R, 32-bit counts, constants section", std::move(wide));
    run_builder other = base();
    other.foreign(true);
    runs.emplace_back("R, other byte order", std::move(other));
    run_builder payoff = base('P');
    payoff.payoff(2.5f);
    runs.emplace_back("P", std::move(payoff));
    sens_spec s;
    s.rows = 3;
    s.times = 11;
    s.singles = {"rate"};
    s.series = {"Stock"};
    s.matrix.assign(3 * (1 + 11), 1.0f);
    run_builder sens = base('S');
    sens.sensitivity(s);
    runs.emplace_back("S", std::move(sens));
    run_builder lookup = base();
    lookup.lookup_points("Effect", {0, 1, 2, 3}, {0, 1, 4, 9});
    runs.emplace_back("R, lookup", std::move(lookup));

    for (auto& [name, rb] : runs) {
        const std::vector<std::uint8_t> good = rb.bytes();
        ASSERT_FALSE(good.empty()) << name << ": " << rb.error();
        const run_layout L = rb.layout();
        ASSERT_GE(kdf_open(write_bytes("whole.kdf", good).c_str()), 0) << name;
        free_loaded_runs();
        std::vector<std::size_t> cuts{0, 2, 3, 100, sizeof(kmf_header), L.model_part + 10};
        for (std::size_t k = 1; k < 16; ++k) cuts.push_back(good.size() * k / 16);
        for (std::size_t k = 1; k <= 12; ++k) cuts.push_back(good.size() - k);
        cuts.push_back(L.constants);
        cuts.push_back(L.offset_table + 4);
        for (std::size_t cut : cuts) {
            if (cut >= good.size()) continue;
            std::vector<std::uint8_t> b(good.begin(), good.begin() + static_cast<long>(cut));
            std::string what =
                name + " cut to " + std::to_string(cut) + " of " + std::to_string(good.size());
            expect_one_refusal(b, cut ? "cut off at the end of the file" : "the file is empty",
                               what);
            if (::testing::Test::HasFailure()) return;
        }
    }
}

TEST_F(refuse_test, a_record_running_past_the_end_names_its_variable) {
    run_builder rb = base();
    std::vector<std::uint8_t> b = rb.bytes();
    const run_layout L = rb.layout();
    for (const char* var : {"Stock", "Pop"}) {
        int slot =
            run_builder::slot_of(mb_.symbols(), std::string(var) == "Pop" ? "Pop[south]" : var);
        ASSERT_GT(slot, 0);
        auto d = b;
        // The record's count and presence bits lie in the file, its values
        // would run past the end.
        std::memcpy(d.data() + b.size() - 4, d.data() + L.records.at(slot), 4);
        put32(d, L.offset_table + 4 * static_cast<std::uint32_t>(slot),
              static_cast<std::uint32_t>(b.size() - 4));
        expect_one_refusal(d, std::string("the values of ") + var + " are cut off", var);
    }
}

} // namespace

// Two rules of the design record that the engine's results rest on: a run
// file whose row table names a column beyond its rows is refused, and a
// severity above 10 is counted and captioned as 10.
#include <cstring>

#include "tests/runs/runs_fixture.h"

namespace {

class DocumentedRules : public runs_test {};

TEST_F(DocumentedRules, ARowTableColumnBeyondTheRowIsRefused) {
    model_builder mb;
    build_test_model(mb);
    run_builder rb(mb.symbols(), 'r');
    rb.times({0, 1, 2}).series("Stock", {1, 2, 3}).constant("rate", 0.5f);
    std::vector<std::uint8_t> good = rb.bytes();
    run_layout at = rb.layout();
    std::string p = path("rows.kdf");
    auto open_bytes = [&](const std::vector<std::uint8_t>& b) {
        FILE* f = std::fopen(p.c_str(), "wb");
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
        captured().clear();
        int run = kdf_open(p.c_str());
        free_loaded_runs();
        return run;
    };
    ASSERT_GE(open_bytes(good), 0);
    ASSERT_TRUE(at.columns.count(0)) << "Time has a column";
    std::int32_t stock = get_symbol(mb.symbols(), mb.id("Stock")).slot;
    // The direct table holds one column per slot after the row head.
    std::size_t entry =
        at.offset_table + sizeof(kdf_row_head) + 4 * static_cast<std::size_t>(stock);
    std::uint32_t column;
    std::memcpy(&column, good.data() + entry, 4);
    ASSERT_EQ(column, at.columns[stock]);
    for (std::uint32_t c : {at.row_length, at.row_length + 1, 0x7FFFFFFFu}) {
        std::vector<std::uint8_t> b = good;
        std::memcpy(b.data() + entry, &c, 4);
        if (c <= at.row_length) {
            EXPECT_GE(open_bytes(b), 0) << "the last column is still in the row";
        } else {
            EXPECT_EQ(open_bytes(b), -1) << c;
            EXPECT_TRUE(any_message_contains("row table column")) << c;
        }
    }
}

TEST(DocumentedRulesReport, SeveritiesAboveTenCountAsTen) {
    FILE* sink = std::tmpfile();
    set_report_stream(sink);
    reset_report_counts();
    EXPECT_EQ(report(11, "too high"), 10);
    EXPECT_EQ(report(1000, "far too high"), 10);
    EXPECT_EQ(report(-1, "negative"), 10);
    EXPECT_EQ(report_counts[10], 3);
    for (int s = 0; s < 10; ++s) EXPECT_EQ(report_counts[s], 0) << s;
    EXPECT_STREQ(severity_prefix(11), severity_prefix(10));
    EXPECT_STREQ(severity_caption(12), severity_caption(10));
    set_report_stream(nullptr);
    std::fclose(sink);
    reset_report_counts();
}

} // namespace

// The binary model file: round trips (both byte orders), views, passwords,
// corrupt input and the kinds open_model refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"

namespace {

using namespace model_fixture;

class ModelFile : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }
};

TEST_F(ModelFile, RoundTripKeepsEverythingInBothByteOrders) {
    model_builder b("town");
    build_full(b);
    ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
    std::string expected = describe(b.symbols());
    ASSERT_NE(expected.find("Population t8"), std::string::npos) << expected;

    for (bool foreign : {false, true}) {
        std::string path = temp_path(foreign ? "town_be.kmf" : "town.kmf");
        ASSERT_EQ(b.write(path.c_str(), foreign), 1);
        auto bytes = file_bytes(path);
        ASSERT_GT(bytes.size(), 164u);
        EXPECT_EQ(bytes[80], foreign ? 0 : 101);
        captured_reports r;
        model_pair m = read_model_file(path.c_str());
        ASSERT_NE(m.symbols, 0u) << "foreign " << foreign << r.text();
        EXPECT_EQ(describe(m.symbols), expected) << "foreign " << foreign;
        {
            model_lock_guard g(m.symbols, 1);
            const char* graphs = embedded_graph_set_text(m.symbols);
            EXPECT_EQ(std::string(graphs).rfind("///---\\\\\\", 0), 0u);
        }
        free_model(m.header, m.symbols);
    }
}

TEST_F(ModelFile, WrittenFileReadsBackWrittenIdentically) {
    model_builder b("again");
    build_full(b);
    std::string p1 = temp_path("again1.kmf"), p2 = temp_path("again2.kmf");
    ASSERT_EQ(b.write(p1.c_str()), 1);
    model_pair m = read_model_file(p1.c_str());
    ASSERT_NE(m.symbols, 0u);
    ASSERT_EQ(write_model_file(p2.c_str(), m.header, m.symbols), 1);
    EXPECT_EQ(file_bytes(p1), file_bytes(p2));
    free_model(m.header, m.symbols);
}

TEST_F(ModelFile, TruncatedAndDamagedFilesFailCleanly) {
    model_builder b("damaged");
    build_full(b);
    std::string path = temp_path("damaged.kmf");
    ASSERT_EQ(b.write(path.c_str()), 1);
    auto bytes = file_bytes(path);
    // Every truncation fails with a message and leaks nothing.
    std::size_t live = live_handle_count();
    for (std::size_t cut = 0; cut < bytes.size(); cut += 7) {
        captured_reports r;
        model_pair m = read_model_bytes(bytes.data(), cut, "cut.kmf");
        EXPECT_EQ(m.symbols, 0u) << cut;
        EXPECT_NE(r.text().find("cut.kmf"), std::string::npos) << cut;
    }
    EXPECT_EQ(live_handle_count(), live);
    // A broken guard word of the first block.
    {
        auto bad = bytes;
        bad[164 + 4] ^= 0xFF;
        captured_reports r;
        EXPECT_EQ(read_model_bytes(bad.data(), bad.size(), "guard.kmf").symbols, 0u);
        EXPECT_NE(r.text().find("Bad block head in file read"), std::string::npos);
    }
    // A block size beyond the file.
    {
        auto bad = bytes;
        std::uint32_t huge = 0x00FFFFFF;
        std::memcpy(&bad[164 + 8], &huge, 4);
        std::memcpy(&bad[164 + 12], &huge, 4);
        captured_reports r;
        EXPECT_EQ(read_model_bytes(bad.data(), bad.size(), "size.kmf").symbols, 0u);
        EXPECT_NE(r.text().find("Corrupted block reading file"), std::string::npos);
    }
    // Random single-byte damage never crashes; whatever is accepted is usable.
    std::uint32_t seed = 12345;
    for (int round = 0; round < 400; ++round) {
        auto bad = bytes;
        seed = seed * 1103515245 + 12345;
        std::size_t at = 164 + (seed >> 8) % (bad.size() - 164);
        bad[at] ^= static_cast<unsigned char>(1u << (seed % 8));
        captured_reports r;
        model_pair m = read_model_bytes(bad.data(), bad.size(), "flip.kmf");
        if (m.symbols) {
            EXPECT_FALSE(describe(m.symbols).empty());
            free_model(m.header, m.symbols);
        }
    }
}

// A model with a hand-made equation tree.
std::vector<unsigned char> model_with_nodes(const std::vector<expr_node>& nodes) {
    model_builder b("nodes");
    symbol_id x = b.constant("x", 1);
    b.finish();
    add_equation(b.symbols(), x, nodes.data(), static_cast<std::uint32_t>(nodes.size()), 0, 9);
    std::string path = temp_path("nodes.kmf");
    model_write_options o;
    EXPECT_EQ(write_model_file(path.c_str(), b.symbols(), o), 1);
    return file_bytes(path);
}

TEST_F(ModelFile, BadTreesAreRefusedWithTheVariableNamed) {
    model_builder probe("p");
    symbol_id x = probe.constant("x", 1);
    (void)x;
    probe.finish();
    symbol_id xid = probe.id("x");
    struct bad_case {
        std::vector<expr_node> nodes;
        const char* why;
    };
    std::vector<bad_case> cases = {
        // A child index pointing back (wraps around to a huge forward index).
        {{{nc_aux_eq, 0, 1}, {nc_ref, 1, xid}, {nc_add, 0, 0xFFFFFFFFu}}, "node out of range"},
        // Two parents of one node (a shared subtree is how a walk could loop).
        {{{nc_aux_eq, 0, 1}, {nc_ref, 1, xid}, {nc_paren, 1, 1}, {nc_number, 0, 0}},
         "node out of range"},
        // A symbol id that names no symbol.
        {{{nc_aux_eq, 0, 1}, {nc_ref, 1, xid}, {nc_ref, 0, xid + 3}}, "bad symbol"},
        // A text running past the equation.
        {{{nc_string_eq, 0, 1}, {nc_ref, 1, xid}, {nc_literal, 0, 40}}, "text past"},
        // An unknown node code.
        {{{nc_aux_eq, 0, 1}, {nc_ref, 1, xid}, {999, 0, 0}}, "unknown node code"},
        // A root that is not an equation kind.
        {{{nc_add, 0, 1}, {nc_ref, 0, xid}}, "bad equation kind"},
    };
    for (const auto& c : cases) {
        auto bytes = model_with_nodes(c.nodes);
        captured_reports r;
        model_pair m = read_model_bytes(bytes.data(), bytes.size(), "tree.kmf");
        EXPECT_EQ(m.symbols, 0u) << c.why;
        std::string text = r.text();
        EXPECT_NE(text.find(c.why), std::string::npos) << text;
        EXPECT_NE(text.find("equation of x"), std::string::npos) << text;
    }
    // The same shapes made right are accepted.
    auto good = model_with_nodes(
        {{nc_aux_eq, 0, 1}, {nc_ref, 1, xid}, {nc_paren, 0, 1}, {nc_number, 0, 0}});
    model_pair m = read_model_bytes(good.data(), good.size(), "good.kmf");
    EXPECT_NE(m.symbols, 0u);
    free_model(m.header, m.symbols);
}

int answer_secret(const char*, char* out, std::size_t size) {
    std::snprintf(out, size, "%s", "open sesame");
    return 1;
}
int answer_wrong(const char*, char* out, std::size_t size) {
    std::snprintf(out, size, "%s", "open sesame!");
    return 1;
}

TEST_F(ModelFile, PasswordProtectedModelsNeedTheRightPassword) {
    model_builder b("secret");
    b.constant("x", 2);
    b.password("open sesame");
    std::string path = temp_path("secret.kmf");
    ASSERT_EQ(b.write(path.c_str()), 1);
    // The text itself is not in the file.
    auto bytes = file_bytes(path);
    std::string all(bytes.begin(), bytes.end());
    EXPECT_EQ(all.find("open sesame"), std::string::npos);
    {
        set_password_hook(nullptr);
        captured_reports r;
        EXPECT_EQ(read_model_file(path.c_str()).symbols, 0u);
        EXPECT_NE(r.text().find("protected by a password"), std::string::npos);
    }
    {
        set_password_hook(answer_wrong);
        captured_reports r;
        EXPECT_EQ(read_model_file(path.c_str()).symbols, 0u);
        EXPECT_NE(r.text().find("not correct"), std::string::npos);
    }
    set_password_hook(answer_secret);
    model_pair m = read_model_file(path.c_str());
    EXPECT_NE(m.symbols, 0u);
    EXPECT_TRUE(check_model_password(m.symbols, "open sesame"));
    EXPECT_FALSE(check_model_password(m.symbols, "Open sesame"));
    free_model(m.header, m.symbols);
    set_password_hook(nullptr);
}

// An empty password is no password: setting it takes the protection off,
// and the model written then opens without asking.
TEST_F(ModelFile, AnEmptyPasswordTakesTheProtectionOff) {
    model_builder b("unlocked");
    b.constant("x", 2);
    b.password("open sesame");
    EXPECT_TRUE(model_has_password(b.symbols()));
    EXPECT_FALSE(check_model_password(b.symbols(), ""));
    b.password("");
    EXPECT_FALSE(model_has_password(b.symbols()));
    EXPECT_TRUE(check_model_password(b.symbols(), "anything"));
    std::string path = temp_path("unlocked.kmf");
    ASSERT_EQ(b.write(path.c_str()), 1);
    set_password_hook(nullptr);
    captured_reports r;
    model_pair m = read_model_file(path.c_str());
    ASSERT_NE(m.symbols, 0u) << r.text();
    EXPECT_FALSE(model_has_password(m.symbols));
    EXPECT_EQ(r.text().find("password"), std::string::npos) << r.text();
    free_model(m.header, m.symbols);
}

TEST_F(ModelFile, OpenModelRefusesTextModelsAndOpensBinaryOnes) {
    std::string kmt = temp_path("text.kmt");
    { std::ofstream(kmt) << "x = 1\n~~|\n"; }
    {
        captured_reports r;
        EXPECT_EQ(open_model(1, -1, kmt.c_str(), 0), 0);
        EXPECT_NE(r.text().find("no equation parser"), std::string::npos);
    }
    model_builder b("opened");
    b.constant("speed", 3);
    std::string path = temp_path("opened.kmf");
    ASSERT_EQ(b.write(path.c_str()), 1);
    ASSERT_EQ(open_model(1, -1, path.c_str(), 0), 1);
    EXPECT_NE(cur_model_symbols, 0u);
    ASSERT_NE(model_rec, nullptr);
    EXPECT_EQ(model_rec->state, 1);
    EXPECT_NE(find_symbol("SPEED"), 0u);
    close_model(0, 0);
    EXPECT_EQ(cur_model_symbols, 0u);
    EXPECT_EQ(model_rec, nullptr);
    // A new model has no file: its context says no model file is open.
    ASSERT_EQ(open_model(0, -1, nullptr, 0), 1);
    EXPECT_NE(cur_model_symbols, 0u);
    ASSERT_NE(model_rec, nullptr);
    EXPECT_EQ(model_rec->state, 2);
    close_model(0, 0);
}

TEST_F(ModelFile, BinaryModelOfAModelFileCarriesTheSymbolBlock) {
    model_builder b("bm");
    b.constant("k", 1);
    std::string path = temp_path("bm.kmf");
    ASSERT_EQ(b.write(path.c_str()), 1);
    handle rec = read_binary_model(path.c_str(), 0);
    ASSERT_NE(rec, 0u);
    handle symbols;
    {
        handle_lock<kmf_header> h(rec);
        EXPECT_EQ(h->type, 'M');
        EXPECT_EQ(static_cast<int>(kmf_word(*h.get(), kdf_word_file)), -1);
        symbols = kmf_word(*h.get(), kdf_word_symbols);
    }
    EXPECT_NE(find_symbol_in(symbols, "k"), 0u);
    free_model(rec, symbols);
}

} // namespace

namespace {

TEST(ModelSamples, EverySampleModelReadsBack) {
    init_vocabulary();
    int read = 0;
    for (const char* name : {"population", "inventory", "epidemic", "subscripted", "large"}) {
        std::string path = std::string(KAVREL_BINARY_DIR) + "/samples/" + name + ".kmf";
        if (!std::ifstream(path)) continue;
        model_pair m = read_model_file(path.c_str());
        ASSERT_NE(m.symbols, 0u) << path;
        EXPECT_GT(get_header_word(m.symbols, mh_symbol_count), 5u);
        free_model(m.header, m.symbols);
        ++read;
    }
    if (read == 0) GTEST_SKIP() << "the samples are not built";
}

} // namespace

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
#include "tests/support/model_builder.h"

namespace {

// Collects the report lines written while it lives.
class captured_reports {
public:
    captured_reports() : f_(std::tmpfile()) { set_report_stream(f_); }
    ~captured_reports() {
        set_report_stream(nullptr);
        std::fclose(f_);
    }
    std::string text() {
        std::fflush(f_);
        std::rewind(f_);
        std::string s;
        char buf[512];
        while (std::fgets(buf, sizeof buf, f_)) s += buf;
        return s;
    }

private:
    std::FILE* f_;
};

std::string temp_path(const char* name) {
    return testing::TempDir() + "/" + name;
}

std::vector<unsigned char> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A model that exercises every kind of stored record.
void build_full(model_builder& b) {
    b.control(0, 50, 0.25f, 1);
    symbol_id region = b.range("region", {"north", "south", "east"});
    b.range("coast", {"north", "south"});
    symbol_id pop = b.level("Population", "births - deaths", "1000", "people");
    b.aux("births", "Population * birth rate * effect of crowding(Population / capacity)",
          "people/year");
    b.aux("deaths", "Population / lifetime", "people/year");
    symbol_id br = b.constant("birth rate", 0.04f, "1/year");
    b.constant("lifetime", 70, "year");
    b.constant("capacity", 5000, "people");
    b.lookup("effect of crowding", {{0, 1.2f}, {1, 1}, {2, 0.5f}, {3, 0.1f}});
    b.constant_list("share[region]", {0.5f, 0.3f, 0.2f});
    b.aux("regional pop[region]", "Population * share[region]");
    b.aux("total regional", "SUM(regional pop[region!])");
    b.aux("smoothed", "SMOOTH INIT(births, 3, 40)");
    b.aux("test", "IF THEN ELSE(Time > 10 :AND: births >= 2, STEP(1, 5), -RAMP(0.5, 1, 20))");
    b.string_var("label", "Town model");
    b.data("observed", nullptr, "people");
    b.function_of("future", {"births", "deaths"});
    symbol_id g = b.group("Demography");
    b.in_group(pop, g).in_group(br, g);
    b.comment(pop, "Everyone in town.\nSecond line.");
    b.limits(br, 0, 0.1f, 0.005f);
    b.pair(pop, br, "drives the births");
    b.flags(br, sf_changeable | sf_slider);
    b.settings_text(":FLAGS 1 0\n:NOTE A note\n///---\\\\\\\n:GRAPH g1\n");
    int v = b.add_view("View 1");
    // A variable element (kind 10) with a text, and a connector between two.
    std::vector<std::uint8_t> var(40, 0);
    var[0] = 40;
    var[2] = 10;
    std::memcpy(&var[4], &pop, 4);
    std::int16_t geo[4] = {100, 120, 30, 15};
    std::memcpy(&var[8], geo, 8);
    var[16] = 3;
    var[17] = 1;
    var[19] = 1; // own outline colour: the 40-byte fixed part
    std::uint32_t colour = 0x00112233;
    std::memcpy(&var[24], &colour, 4);
    int e1 = b.add_element(v, var);
    std::memcpy(&var[4], &br, 4);
    int e2 = b.add_element(v, var);
    std::vector<std::uint8_t> link(20, 0);
    link[0] = 20;
    link[2] = 1;
    std::uint16_t ends[2] = {static_cast<std::uint16_t>(e2), static_cast<std::uint16_t>(e1)};
    std::memcpy(&link[4], ends, 4);
    link[8] = 1;
    link[13] = 1;
    std::int16_t pt[2] = {50, 60};
    std::memcpy(&link[16], pt, 4);
    b.add_element(v, link);
    (void)region;
}

// Everything a model holds, as comparable text.
std::string describe(handle symbols) {
    std::string out;
    model_lock_guard g(symbols, 1);
    if (!g.ok()) return "no model";
    char line[512];
    for (int w : {mh_level_slots, mh_other_slots, mh_string_slots, mh_lookups, mh_symbol_count,
                  mh_view_count}) {
        std::snprintf(line, sizeof line, "w%d=%u ", w, model_hdr->w[w]);
        out += line;
    }
    out += "\n";
    int n = 0;
    const symbol_id* alpha = alpha_index(&n);
    for (int i = 0; i < n; ++i) {
        symbol_id s = alpha[i];
        symbol_record* r = sym(s);
        std::snprintf(line, sizeof line, "%s t%d slot%d dims%u/%u g%u f%x %g %g %g c[%s] o%d\n",
                      sym_name(s), r->type, r->slot, sym_dims(s)->count, sym_dims(s)->ndims,
                      r->group, r->flags, as_float(r->min), as_float(r->max), as_float(r->incr),
                      sym_comment(s), r->order);
        out += line;
        if (const units_entry* u = sym_units(s)) {
            for (std::uint32_t k = 0; k < u->nnum + u->nden; ++k)
                out += std::string(k < u->nnum ? " *" : " /") + sym_name(u->ids[k]);
            out += "\n";
        }
        for (const pair_entry* p = sym_pairs(s); p; p = next_pair(p))
            out += std::string(" pair ") + sym_name(p->symbol) + " " + pair_text(p) + "\n";
        if (const element_list* l = range_elements(s))
            for (std::uint32_t k = 0; k < l->count; ++k)
                out += std::string(" el ") + sym_name(l->ids[k]);
        if (const uses_list* u = sym_uses(s))
            for (std::uint32_t k = 0; k < u->count; ++k)
                out += std::string(" used by ") + sym_name(u->ids[k]);
        for (std::uint32_t c = r->eqn; c; c = eq_at(c)->next) {
            equation_record* e = eq_at(c);
            out += " eq";
            for (std::uint32_t k = 0; k < e->nnodes; ++k) {
                const expr_node& x = eq_nodes(e)[k];
                std::snprintf(line, sizeof line, " %u/%u/%u", x.code, x.next, x.operand);
                out += line;
            }
            if (const token_text* t = tokens_at(e->tokens))
                out += " tok:" + std::to_string(t->bytes);
            out += "\n";
        }
    }
    for (int i = 0; const lookup_entry* e = lookup_at(i); ++i)
        for (std::uint32_t k = 0; k < e->npoints; ++k) {
            std::snprintf(line, sizeof line, " (%g,%g)", lookup_x(e)[k], lookup_y(e)[k]);
            out += line;
        }
    // Views, byte for byte (handles excepted).
    std::uint32_t views = model_hdr->w[mh_view_count];
    if (views) {
        handle_lock<view_rec> vb(model_hdr->w[mh_views]);
        for (std::uint32_t i = 0; i < views; ++i) {
            view_rec v = vb.get()[i];
            out += std::string("\nview ") + v.name + " count " + std::to_string(v.count);
            handle_lock<std::uint32_t> ix(v.index);
            handle_lock<std::uint8_t> d(v.data);
            for (int k = 1; k < v.count; ++k) {
                const std::uint8_t* e = d.get() + 4ull * ix.get()[k];
                std::uint16_t len;
                std::memcpy(&len, e, 2);
                out += "\n el";
                for (int j = 0; j < len; ++j) out += " " + std::to_string(e[j]);
            }
        }
    }
    return out;
}

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

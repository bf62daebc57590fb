// The .kgf reader over files built here field by field in the file's layout:
// each kind of definition with every chain and count, both byte orders, the
// set's WIP mark, and the refusals of records and blocks that break the
// layout's rules.
#include "foundation/memory.h"
#include "foundation/report.h"
#include "graphs/sets/graphset.h"
#include "graphs/sets/kgf.h"
#include "model/blockfile.h"
#include "tests/common/message_log.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string said_all() {
    std::string out;
    for (const auto& m : message_log::messages) out += m.text + "\n";
    return out;
}

// Numbers in the file's byte order.
struct order {
    bool foreign = false;
    void put16(std::string& s, std::size_t at, std::uint32_t v) const {
        auto x = static_cast<std::uint16_t>(v);
        if (foreign) x = static_cast<std::uint16_t>(x << 8 | x >> 8);
        std::memcpy(&s[at], &x, 2);
    }
    void put32(std::string& s, std::size_t at, std::uint32_t v) const {
        if (foreign) v = __builtin_bswap32(v);
        std::memcpy(&s[at], &v, 4);
    }
};

// A stored block: its 20-byte head, then records and strings by cell.
struct block {
    const order* o;
    std::string b = std::string(20, '\0');
    std::uint32_t alloc(std::size_t bytes) {
        const auto cell = static_cast<std::uint32_t>(b.size() / 4);
        b.append((bytes + 3) / 4 * 4, '\0');
        return cell;
    }
    std::uint32_t str(const std::string& s) {
        const auto cell = static_cast<std::uint32_t>(b.size() / 4);
        b += s;
        b += '\0';
        while (b.size() % 4) b += '\0';
        return cell;
    }
    void u8(std::uint32_t cell, std::size_t at, int v) { b[4 * cell + at] = static_cast<char>(v); }
    void u16(std::uint32_t cell, std::size_t at, std::uint32_t v) { o->put16(b, 4 * cell + at, v); }
    void u32(std::uint32_t cell, std::size_t at, std::uint32_t v) { o->put32(b, 4 * cell + at, v); }
    void f32(std::uint32_t cell, std::size_t at, float v) {
        u32(cell, at, std::bit_cast<std::uint32_t>(v));
    }
    std::string image(int cur_delta = 0) const {
        std::string out = b;
        const auto cells = static_cast<std::uint32_t>(out.size() / 4);
        o->put32(out, 0, 'H');
        o->put32(out, 4, block_guard);
        o->put32(out, 8, cells);
        o->put32(out, 12, static_cast<std::uint32_t>(static_cast<int>(cells) + cur_delta));
        o->put32(out, 16, 100);
        return out;
    }
};

struct kgf_file {
    order o;
    block defs{&o}, texts{&o};
    std::vector<std::uint32_t> list;
    std::uint8_t entry_wip = 0;
    std::uint32_t header_version = 300;
    int defs_cur_delta = 0;

    // A definition head of `kind` (120 bytes) named `name`.
    std::uint32_t head(int kind, const std::string& name, bool wip = false) {
        const std::uint32_t n = defs.str(name);
        const std::uint32_t h = defs.alloc(120);
        defs.u32(h, 0, n);
        defs.u8(h, 24, kind);
        defs.u8(h, 25, wip ? 1 : 0);
        list.push_back(h);
        return h;
    }
    std::string bytes() const {
        std::string out(164, '\0');
        out[0] = '\x7F';
        out[1] = '\xF7';
        out[2] = '\x17';
        out[3] = 'G';
        o.put16(out, 80, 101);
        o.put16(out, 82, header_version);
        std::string entry(28, '\0');
        o.put16(entry, 20, static_cast<std::uint32_t>(list.size()));
        o.put16(entry, 22, 3100);
        entry[25] = static_cast<char>(entry_wip);
        out += entry;
        for (std::uint32_t c : list) {
            std::string w(4, '\0');
            o.put32(w, 0, c);
            out += w;
        }
        return out + defs.image(defs_cur_delta) + texts.image();
    }
};

// Reads the file; the set, or failed with its message.
kgf_result read(const kgf_file& f, graph_set& s) {
    const std::string b = f.bytes();
    return read_kgf_bytes(b.data(), b.size(), "t.kgf", s, 0);
}

class KgfRead : public testing::Test {
protected:
    void SetUp() override {
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
    }
    void TearDown() override { set_message_hook(nullptr); }
};

// A line graph: its divisions, and each variable's own bytes (MEAN given,
// LINE-COLOR), in both byte orders.
TEST_F(KgfRead, ALineGraphsSettingsAndVariables) {
    for (bool foreign : {false, true}) {
        SCOPED_TRACE(foreign ? "foreign" : "native");
        kgf_file f;
        f.o.foreign = foreign;
        const std::uint32_t h = f.head(gd_line, "growth");
        f.defs.u16(h, 72, 4);  // Y-DIV
        f.defs.u16(h, 74, 10); // X-DIV
        f.defs.u16(h, 76, 2);
        const std::uint32_t v1 = f.defs.alloc(48), v2 = f.defs.alloc(48);
        f.defs.u32(h, 64, v1);
        f.defs.u32(v1, 8, f.defs.str("Population"));
        f.defs.u32(v1, 36, f.defs.str("average"));
        f.defs.u8(v1, 46, 1); // CONFIDENCE
        f.defs.u32(v1, 32, f.defs.str("95"));
        f.defs.u8(v1, 47, 1); // MEAN given
        f.defs.u32(v1, 28, v2);
        f.defs.u32(v2, 8, f.defs.str("Births"));
        f.defs.u8(v2, 46, 8); // LINE-COLOR
        f.defs.u32(v2, 32, 0x00336699);
        graph_set s;
        ASSERT_EQ(read(f, s), kgf_loaded) << said_all();
        ASSERT_EQ(s.defs.size(), 1u);
        const graph_def& d = s.defs[0];
        EXPECT_EQ(d.y_div, 4);
        EXPECT_EQ(d.x_div, 10);
        ASSERT_EQ(d.vars.size(), 2u);
        EXPECT_EQ(d.vars[0].name, "Population");
        EXPECT_EQ(d.vars[0].extra_kind, 1);
        EXPECT_EQ(d.vars[0].extra_text, "95");
        EXPECT_EQ(d.vars[0].mean, 1);
        EXPECT_EQ(d.vars[0].mean_text, "average");
        EXPECT_EQ(d.vars[1].name, "Births");
        EXPECT_EQ(d.vars[1].mean, 0);
        EXPECT_EQ(d.vars[1].colour, 0x00336699u);
    }
}

// A bar graph's three chains each take their own count: one VAR, two OVARs,
// three DATASETs.
TEST_F(KgfRead, ABarGraphsThreeChainsTakeTheirOwnCounts) {
    kgf_file f;
    const std::uint32_t h = f.head(gd_bar, "bars");
    const auto chain = [&](std::size_t first_at, std::size_t count_at, int n,
                           const std::string& prefix) {
        std::uint32_t prev = 0;
        for (int k = 0; k < n; ++k) {
            const std::uint32_t it = f.defs.alloc(28);
            f.defs.u32(it, 12, f.defs.str(prefix + std::to_string(k)));
            f.defs.u32(it, 4, f.defs.str("set" + std::to_string(k)));
            if (prev)
                f.defs.u32(prev, 20, it);
            else
                f.defs.u32(h, first_at, it);
            prev = it;
        }
        f.defs.u16(h, count_at, static_cast<std::uint32_t>(n));
    };
    chain(60, 74, 1, "var");
    chain(64, 78, 2, "ovar");
    chain(68, 76, 3, "data");
    graph_set s;
    ASSERT_EQ(read(f, s), kgf_loaded) << said_all();
    ASSERT_EQ(s.defs.size(), 1u);
    const graph_def& d = s.defs[0];
    ASSERT_EQ(d.bar_vars.size(), 1u);
    ASSERT_EQ(d.bar_ovars.size(), 2u);
    ASSERT_EQ(d.bar_datasets.size(), 3u);
    EXPECT_EQ(d.bar_ovars[1].name, "ovar1");
    EXPECT_EQ(d.bar_datasets[2].name, "data2");
    EXPECT_EQ(d.bar_datasets[2].dataset, "set2");
    EXPECT_EQ(d.bar_vars[0].dataset, ""); // a VAR item has no dataset name
}

// A report's font keeps its colour in either byte order; a table's item with
// no name is a COMLINE comment. Two definitions, one of them WIP: the set is
// marked WIP.
TEST_F(KgfRead, AReportsFontATablesCommentAndTheSetsWipMark) {
    for (bool foreign : {false, true}) {
        SCOPED_TRACE(foreign ? "foreign" : "native");
        kgf_file f;
        f.o.foreign = foreign;
        const std::uint32_t r = f.head(gd_report, "report");
        const std::uint32_t lines = f.defs.alloc(8);
        f.defs.u32(lines, 0, f.texts.str("Population is \\/"));
        f.defs.u32(lines, 4, f.texts.str("the end"));
        f.defs.u32(r, 28, lines);
        f.defs.u16(r, 76, 2);
        f.defs.u32(r, 36, 0x00112233); // the font's colour
        f.defs.u8(r, 40, 11);          // its size
        const std::uint32_t t = f.head(gd_table, "table", true);
        const std::uint32_t note = f.defs.alloc(48), var = f.defs.alloc(48);
        f.defs.u32(note, 12, f.defs.str("a comment line"));
        f.defs.u32(note, 28, var);
        f.defs.u32(var, 8, f.defs.str("Stock"));
        f.defs.u32(t, 52, note);
        f.defs.u16(t, 106, 2);
        graph_set s;
        ASSERT_EQ(read(f, s), kgf_loaded) << said_all();
        ASSERT_EQ(s.defs.size(), 2u);
        EXPECT_EQ(s.defs[0].lines, (std::vector<std::string>{"Population is \\/", "the end"}));
        EXPECT_EQ(s.defs[0].font.colour, 0x00112233u);
        EXPECT_EQ(s.defs[0].font.size, 11);
        ASSERT_EQ(s.defs[1].items.size(), 2u);
        EXPECT_TRUE(s.defs[1].items[0].comment);
        EXPECT_EQ(s.defs[1].items[0].label, "a comment line");
        EXPECT_FALSE(s.defs[1].items[1].comment);
        EXPECT_EQ(s.defs[1].items[1].name, "Stock");
        EXPECT_EQ(s.wip, 1);
    }
}

// What breaks the layout's rules is refused with "Failed to load" (or the
// version message), and nothing of the file is kept.
TEST_F(KgfRead, RecordsAndBlocksThatBreakTheLayoutAreRefused) {
    // Zeros first, so a record read from the block's head would find names
    // of cell 0 (none) after its first cells.
    const auto line_graph = [](kgf_file& f) {
        f.defs.alloc(48);
        const std::uint32_t h = f.head(gd_line, "g");
        const std::uint32_t v = f.defs.alloc(48);
        f.defs.u32(h, 64, v);
        f.defs.u16(h, 76, 1);
        f.defs.u32(v, 8, f.defs.str("x"));
        return h;
    };
    {
        kgf_file f;
        line_graph(f);
        graph_set s;
        ASSERT_EQ(read(f, s), kgf_loaded) << said_all();
    }
    struct bad {
        const char* what;
        void (*spoil)(kgf_file&, std::uint32_t head);
        const char* message;
    };
    const bad cases[] = {
        {"a record in the block's head", [](kgf_file& f, std::uint32_t h) { f.defs.u32(h, 64, 4); },
         "Failed to load"},
        {"a block using more than its size",
         [](kgf_file& f, std::uint32_t) { f.defs_cur_delta = 1; }, "Failed to load"},
        {"a block using less than its size",
         [](kgf_file& f, std::uint32_t) { f.defs_cur_delta = -1; }, "Failed to load"},
        {"a header of another version", [](kgf_file& f, std::uint32_t) { f.header_version = 301; },
         "has bad version/platform code"},
    };
    for (const bad& c : cases) {
        SCOPED_TRACE(c.what);
        kgf_file f;
        c.spoil(f, line_graph(f));
        message_log::messages.clear();
        graph_set s;
        EXPECT_EQ(read(f, s), kgf_failed);
        EXPECT_TRUE(message_log::said(c.message)) << said_all();
        EXPECT_TRUE(s.defs.empty());
    }
    // A report line naming no text (cell 0).
    kgf_file f;
    const std::uint32_t r = f.head(gd_report, "report");
    const std::uint32_t lines = f.defs.alloc(8);
    f.defs.u32(lines, 0, f.texts.str("first"));
    f.defs.u32(r, 28, lines);
    f.defs.u16(r, 76, 2);
    message_log::messages.clear();
    graph_set s;
    EXPECT_EQ(read(f, s), kgf_failed);
    EXPECT_TRUE(message_log::said("Failed to load"));
}

// A table's head and items: every field at its place in the layout, distinct
// values so that a field read from its neighbour's place shows.
TEST_F(KgfRead, EveryFieldOfATableHeadAndItsItems) {
    for (bool foreign : {false, true}) {
        SCOPED_TRACE(foreign ? "foreign" : "native");
        kgf_file f;
        f.o.foreign = foreign;
        const std::uint32_t t = f.head(gd_table, "table");
        f.defs.f32(t, 28, 2.5f);  // PRINT-EVERY
        f.defs.f32(t, 32, 10.0f); // X-MIN
        f.defs.f32(t, 36, 90.0f); // X-MAX
        f.defs.f32(t, 40, 45.0f); // SPECIAL-TIME
        f.defs.u8(t, 64, 9);      // the font's size
        f.defs.u16(t, 100, 640);  // WIDTH
        f.defs.u16(t, 102, 480);  // HEIGHT
        f.defs.u16(t, 108, 22);   // FIRST-CELLWIDTH
        f.defs.u16(t, 110, 11);   // CELLWIDTH
        f.defs.u8(t, 112, 1);     // time down
        f.defs.u8(t, 113, 0);     // prettynum
        f.defs.u8(t, 114, 1);     // notime
        const std::uint32_t item = f.defs.alloc(48);
        f.defs.u32(item, 8, f.defs.str("Stock"));
        f.defs.u32(item, 12, f.defs.str("the stock"));
        f.defs.u32(item, 20, f.defs.str("base"));
        f.defs.u32(item, 24, f.defs.str("the base run"));
        f.defs.u32(item, 32, f.defs.str("%.2f"));
        f.defs.u8(item, 40, 0xFF); // run -1: the running simulation
        f.defs.u8(item, 42, 1);
        f.defs.u32(t, 52, item);
        f.defs.u16(t, 106, 1);
        graph_set s;
        ASSERT_EQ(read(f, s), kgf_loaded) << said_all();
        ASSERT_EQ(s.defs.size(), 1u);
        const graph_def& d = s.defs[0];
        EXPECT_FLOAT_EQ(d.print_every, 2.5f);
        EXPECT_FLOAT_EQ(d.x_min, 10.0f);
        EXPECT_FLOAT_EQ(d.x_max, 90.0f);
        EXPECT_FLOAT_EQ(d.special_time, 45.0f);
        EXPECT_EQ(d.font.size, 9);
        EXPECT_FLOAT_EQ(d.plot_width, 640);
        EXPECT_FLOAT_EQ(d.plot_height, 480);
        EXPECT_EQ(d.first_cellwidth, 22);
        EXPECT_EQ(d.cellwidth, 11);
        EXPECT_EQ(d.time_down, 1);
        EXPECT_EQ(d.prettynum, 0);
        EXPECT_EQ(d.notime, 1);
        ASSERT_EQ(d.items.size(), 1u);
        const table_item& it = d.items[0];
        EXPECT_FALSE(it.comment);
        EXPECT_EQ(it.name, "Stock");
        EXPECT_EQ(it.label, "the stock");
        EXPECT_EQ(it.dataset, "base");
        EXPECT_EQ(it.dataset_label, "the base run");
        EXPECT_EQ(it.format, "%.2f");
        EXPECT_EQ(it.run, -1);
        EXPECT_EQ(it.no_subs, 1);
    }
}

// A line graph's head and a variable: every field at its place.
TEST_F(KgfRead, EveryFieldOfALineGraphHeadAndVariable) {
    for (bool foreign : {false, true}) {
        SCOPED_TRACE(foreign ? "foreign" : "native");
        kgf_file f;
        f.o.foreign = foreign;
        const std::uint32_t h = f.head(gd_line, "growth");
        f.defs.u32(h, 4, f.defs.str("Growth"));
        f.defs.u16(h, 14, 30);
        f.defs.u16(h, 16, 40);
        f.defs.u16(h, 18, 500);
        f.defs.u16(h, 20, 300);
        f.defs.f32(h, 28, 1.0f);
        f.defs.f32(h, 32, 99.0f);
        f.defs.f32(h, 36, 6.5f);
        f.defs.f32(h, 40, 4.5f);
        f.defs.u32(h, 44, f.defs.str("first stamp"));
        f.defs.u32(h, 48, f.defs.str("second stamp"));
        f.defs.u32(h, 52, f.defs.str("Year"));
        f.defs.u32(h, 56, f.defs.str("years"));
        f.defs.u32(h, 60, f.defs.str("people"));
        f.defs.u32(h, 68, f.defs.str("decades"));
        f.defs.u16(h, 76, 1);
        f.defs.u16(h, 78, 700); // MAX-POINTS
        const int flags[] = {1, 3, 0, 1, 2, 1, 0, 4};
        for (int k = 0; k < 8; ++k) f.defs.u8(h, 80 + static_cast<std::size_t>(k), flags[k]);
        const std::uint32_t v = f.defs.alloc(48);
        f.defs.f32(v, 0, -5.0f);
        f.defs.f32(v, 4, 50.0f);
        f.defs.u32(v, 8, f.defs.str("Population"));
        f.defs.u32(v, 12, f.defs.str("people alive"));
        f.defs.u32(v, 16, f.defs.str("person"));
        f.defs.u32(v, 20, f.defs.str("base"));
        f.defs.u32(v, 24, f.defs.str("the base run"));
        const int bytes[] = {2, 1, 1, 3, 5, 7};
        for (int k = 0; k < 6; ++k) f.defs.u8(v, 40 + static_cast<std::size_t>(k), bytes[k]);
        f.defs.u32(h, 64, v);
        graph_set s;
        ASSERT_EQ(read(f, s), kgf_loaded) << said_all();
        ASSERT_EQ(s.defs.size(), 1u);
        const graph_def& d = s.defs[0];
        EXPECT_EQ(d.title, "Growth");
        EXPECT_EQ(d.x, 30);
        EXPECT_EQ(d.y, 40);
        EXPECT_EQ(d.width, 500);
        EXPECT_EQ(d.height, 300);
        EXPECT_FLOAT_EQ(d.x_min, 1.0f);
        EXPECT_FLOAT_EQ(d.x_max, 99.0f);
        EXPECT_FLOAT_EQ(d.plot_width, 6.5f);
        EXPECT_FLOAT_EQ(d.plot_height, 4.5f);
        EXPECT_EQ(d.stamp[0], "first stamp");
        EXPECT_EQ(d.stamp[1], "second stamp");
        EXPECT_EQ(d.x_axis, "Year");
        EXPECT_EQ(d.x_label, "years");
        EXPECT_EQ(d.y_label, "people");
        EXPECT_EQ(d.x_div_label, "decades");
        EXPECT_EQ(d.max_points, 700);
        EXPECT_EQ(d.cumulative, 1);
        EXPECT_EQ(d.stack, 3);
        EXPECT_EQ(d.portrait, 0);
        EXPECT_EQ(d.label_intervals, 1);
        EXPECT_EQ(d.dots, 2);
        EXPECT_EQ(d.no_legend, 1);
        EXPECT_EQ(d.soft_bounds, 0);
        EXPECT_EQ(d.graph_style, 4);
        ASSERT_EQ(d.vars.size(), 1u);
        const graph_var& g = d.vars[0];
        EXPECT_FLOAT_EQ(g.y_min, -5.0f);
        EXPECT_FLOAT_EQ(g.y_max, 50.0f);
        EXPECT_EQ(g.label, "people alive");
        EXPECT_EQ(g.units, "person");
        EXPECT_EQ(g.dataset, "base");
        EXPECT_EQ(g.run_label, "the base run");
        EXPECT_EQ(g.run, 2);
        EXPECT_EQ(g.scale_group, 1);
        EXPECT_EQ(g.no_subs, 1);
        EXPECT_EQ(g.line, 3);
        EXPECT_EQ(g.shape, 5);
        EXPECT_EQ(g.shape_size, 7);
    }
}

// A file cut short anywhere in its last block is refused, never read past
// its end; the whole file still reads.
TEST_F(KgfRead, AFileCutShortIsRefused) {
    kgf_file f;
    const std::uint32_t h = f.head(gd_report, "report");
    const std::uint32_t lines = f.defs.alloc(4);
    f.defs.u32(lines, 0, f.texts.str("the only line"));
    f.defs.u32(h, 28, lines);
    f.defs.u16(h, 76, 1);
    const std::string whole = f.bytes();
    {
        graph_set s;
        ASSERT_EQ(read_kgf_bytes(whole.data(), whole.size(), "t.kgf", s, 0), kgf_loaded)
            << said_all();
        ASSERT_EQ(s.defs.size(), 1u);
        EXPECT_EQ(s.defs[0].lines, std::vector<std::string>{"the only line"});
    }
    for (std::size_t cut = 1; cut <= 8; ++cut) {
        SCOPED_TRACE(cut);
        // A copy of exactly the shorter length, so a read past it shows.
        const std::vector<char> bytes(whole.begin(), whole.end() - static_cast<long>(cut));
        message_log::messages.clear();
        graph_set s;
        EXPECT_EQ(read_kgf_bytes(bytes.data(), bytes.size(), "t.kgf", s, 0), kgf_failed);
        EXPECT_TRUE(message_log::said("Failed to load")) << said_all();
        EXPECT_TRUE(s.defs.empty());
    }
}

// A report's variable texts come in their stored order.
TEST_F(KgfRead, AReportsVariableTextsComeInTheirOrder) {
    kgf_file f;
    const std::uint32_t r = f.head(gd_report, "report");
    const std::uint32_t lines = f.defs.alloc(4), vars = f.defs.alloc(12);
    f.defs.u32(lines, 0, f.texts.str("\\/ and \\/"));
    f.defs.u32(vars, 0, f.defs.str("Stock@START"));
    f.defs.u32(vars, 4, f.defs.str("Stock@END"));
    f.defs.u32(vars, 8, f.defs.str("&*2"));
    f.defs.u32(r, 28, lines);
    f.defs.u32(r, 32, vars);
    f.defs.u16(r, 76, 1);
    f.defs.u16(r, 78, 3);
    graph_set s;
    ASSERT_EQ(read(f, s), kgf_loaded) << said_all();
    ASSERT_EQ(s.defs.size(), 1u);
    EXPECT_EQ(s.defs[0].var_texts, (std::vector<std::string>{"Stock@START", "Stock@END", "&*2"}));
}

} // namespace

// Shared helpers of the model file tests: report capture, temporary paths, a
// model with every kind of stored record, and a text of everything a model
// holds (to compare models read from different containers).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "tests/support/model_builder.h"

namespace model_fixture {

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

inline std::string temp_path(const char* name) {
    return testing::TempDir() + "/" + name;
}

// A new folder of its own under the test temporary folder (tests of several
// processes may run at once).
inline std::string fresh_dir(const char* stem) {
    std::string base = testing::TempDir();
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::string pattern = base + "/" + stem + "_XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const char* made = mkdtemp(buf.data());
    return made ? std::string(made) : testing::TempDir();
}

inline void put_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<unsigned char> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A model that exercises every kind of stored record.
inline void build_full(model_builder& b) {
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
inline std::string describe(handle symbols) {
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

} // namespace model_fixture

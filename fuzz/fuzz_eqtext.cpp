// Fuzz target: the text services over corrupt models. An input that begins
// with the block-file magic (7F F7 17) is a model file, read by the model file
// reader; any other is a list of patches (block, cell, value: 7 bytes each,
// after one ignored byte) applied to the blocks of a built model that the text
// services read (equations, tokens, dimensions, element lists, units, uses,
// lookups), so that trees and records the reader would refuse reach them too.
// Equations, names, units, causes and uses trees are then written for every
// symbol: odd text is fine, a crash is not.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/docwriter.h"
#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/eqtext.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/trees.h"
#include "model/units.h"
#include "model/varnames.h"
#include "tests/support/model_builder.h"

namespace {

// The built model as a model file image. Building it (parsing every equation
// and resolving every name) costs several times what the text services do
// with it, so it is built once and each patch input reads a fresh copy.
const std::vector<unsigned char>& built_image() {
    static const std::vector<unsigned char> image = [] {
        model_builder b("fuzz");
        b.range("region", {"north", "south"});
        b.range("r2", {"p", "q", "r"});
        b.range("sub", {"p", "r"});
        b.constant("k", 0.5f, "1/Year");
        b.constant("x[region,r2]", 1, "people");
        b.lookup("lk", {{0, 0}, {1, 2}, {2, 3}});
        b.level("Stock[region]", "inflow[region] - k * Stock[region]", "100", "people");
        b.aux("inflow[north]", "SMOOTH INIT(x[north, sub], 2, 3) * k", "people/Year");
        b.aux("inflow[south]", "SUM(x[south, r2!]) + lk(Time) * MAX(k, 1)", "people/Year");
        b.aux("e1", "IF THEN ELSE(k > 1 :AND: :NOT: k <= 2, -k ^ 2, (k - 1) / 2)");
        b.string_var("txt", "hello");
        b.function_of("fo", {"k", "e1"});
        b.data("dv");
        b.finish();
        // Header and model part into an in-memory file of the file layer.
        const char* name = "fuzz_eqtext_built.kmf";
        std::vector<unsigned char> out;
        kmf_header h{};
        std::memcpy(h.magic, kmf_magic, 3);
        h.type = kmf_type_model;
        h.byte_order = kmf_byte_order_mark;
        h.version = kmf_version_400;
        kmf_word(h, kmw_model_offset) = sizeof h;
        file_handle fh = fh_open_write(name, 0, 1);
        if (fh < 0) return out;
        bool ok = fh_write(fh, &h, sizeof h) == sizeof h && write_model_part(fh, b.symbols()) == 1;
        if (fh_close(fh) > 0 && ok) {
            std::size_t n = 0;
            const unsigned char* d = memory_file_data(name, &n);
            if (d) out.assign(d, d + n);
        }
        memory_file_drop(name);
        return out;
    }();
    return image;
}

model_pair built_model() {
    const auto& image = built_image();
    return read_model_bytes(image.data(), image.size(), "built.kmf");
}

void apply_patches(handle symbols, const std::uint8_t* data, std::size_t size) {
    static const int words[] = {mh_equations, mh_tokens, mh_dims,        mh_elists,
                                mh_units,     mh_uses,   mh_lookup_list, mh_lookup_data};
    std::uint32_t hw[mh_words];
    {
        handle_lock<std::uint32_t> s(symbols);
        std::memcpy(hw, s.get() + model_header_cell, sizeof hw);
    }
    for (std::size_t i = 1; i + 7 <= size; i += 7) {
        handle h = hw[words[data[i] % (sizeof words / sizeof words[0])]];
        if (!h || !handle_valid(h)) continue;
        handle_lock<std::uint32_t> b(h);
        std::uint32_t used = static_cast<const bhead*>(static_cast<void*>(b.get()))->cur;
        if (used <= bhead_cells) continue;
        std::uint32_t off = static_cast<std::uint32_t>(data[i + 1] | data[i + 2] << 8);
        std::uint32_t cell = bhead_cells + off % (used - bhead_cells);
        std::memcpy(b.get() + cell, data + i + 3, 4);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool ready = [] {
        init_vocabulary();
        register_text_writers();
        set_report_stream(std::fopen("/dev/null", "w"));
        return true;
    }();
    (void)ready;
    model_pair m;
    // (Choosing by the magic, not by a bit of the first byte: 0x7F is odd, and
    // a bit test sent every model file down the patch path.)
    if (size < 3 || std::memcmp(data, kmf_magic, 3) != 0) {
        m = built_model();
        apply_patches(m.symbols, data, size);
    } else {
        m = read_model_bytes(data, size, "fuzz.kmf");
    }
    if (m.symbols) {
        model_lock_guard g(m.symbols, 1);
        if (g.ok()) {
            text_report(512, 70, 0, report_collect, 0, 0);
            int n = 0;
            const symbol_id* a = alpha_index(&n);
            for (int i = 0; i < n && i < 2000; ++i) {
                symbol_id s = a[i];
                (void)varformat(s, 1);
                (void)name_units_label("x", s, 0);
                // A huge (but valid) shape would only spend the run on names.
                const dim_record* shape = safe_dims(s);
                const char** names = nullptr;
                int k = shape && shape->count <= 4096 ? var_element_names(s, &names, 1) : 0;
                for (int j = 0; j < k && j < 16; ++j) print_var_equation(names[j], 1, 1);
                int guard = 0;
                for (equation_record* e = first_equation(s); e && guard < 64;
                     e = next_equation(e), ++guard) {
                    write_expr(e, 0);
                    write_tokens(e->tokens);
                    (void)check_eq_units(e, 0);
                }
                clear_var_flag(sf_mark_10);
                tree_node* root = new_tree_node(s);
                for (int level = 1; level <= 3; ++level) cause_tree(root, level);
                filter_tree(root);
                sort_tree(root);
                clear_var_flag(sf_mark_10);
                root = new_tree_node(s);
                for (int level = 1; level <= 3; ++level) uses_tree(root, level);
            }
            for (std::int32_t slot = -1; slot < 64; ++slot) {
                (void)offset_name(slot);
                (void)lookup_offset_name(slot);
                (void)string_offset_name(slot);
            }
            sort_tree_list(cause_element_list(), nullptr);
            text_report(0, 0, 0, report_none, 0, 0);
        }
    }
    if (m.symbols) free_model(m.header, m.symbols);
    reset_item_pool();
    free_scratch();
    return 0;
}

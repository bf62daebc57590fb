// Setup copies (see setup.h).
#include "sim/setup.h"

#include <cstring>
#include <memory>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/model.h"
#include "sim/interp.h"
#include "sim/run.h"

handle setup_copy = 0;

namespace {
std::unique_ptr<setup_state> copies;
setup_cleanup_fn cleanup_hook = nullptr;
setup_value_fn value_hook = nullptr;
} // namespace

void set_setup_cleanup_hook(setup_cleanup_fn hook) {
    cleanup_hook = hook;
}

setup_state* setup_copies() {
    return setup_copy && copies ? copies.get() : nullptr;
}

int make_setup_copy() {
    handle symbols = cur_model_symbols;
    if (!symbols) return 0;
    sim_options o;
    o.initial_only = true;
    sim_output out;
    if (simulate_model(symbols, o, &out) != sim_done) return 0;
    auto st = std::make_unique<setup_state>();
    st->symbols = symbols;
    st->model_values = out.initial;
    st->changed.assign(out.initial.size(), 0);
    {
        model_lock_guard g(symbols, 1);
        if (!g.ok()) return 0;
        std::uint32_t n = model_hdr->w[mh_lookups];
        std::uint32_t cells =
            model_lookup_data ? reinterpret_cast<const bhead*>(model_lookup_data)->cur : 0;
        if (cells) st->lookup_data.assign(model_lookup_data, model_lookup_data + cells);
        for (std::uint32_t i = 0; i < n; ++i) {
            lookup_table t{};
            if (const lookup_entry* e = lookup_at(static_cast<int>(i))) {
                if (e->x + e->npoints <= cells && e->y + e->npoints <= cells) {
                    t.symbol = e->symbol;
                    t.element = e->element;
                    t.x = e->x;
                    t.y = e->y;
                    t.count = t.capacity = e->npoints;
                }
            }
            st->lookups.push_back(t);
        }
        st->lookup_changed.assign(n, 0);
        // Strings: the literal of each string variable's equation.
        st->strings.assign(model_hdr->w[mh_string_slots], std::string());
        std::uint32_t end = model_hdr->w[mh_sym_end];
        for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells) {
            if (!valid_symbol(s) || sym(s)->type != st_string || sym(s)->slot < 0 || !sym(s)->eqn ||
                !model_eqs)
                continue;
            expr_node* body = node_skip(eq_nodes(eq_at(sym(s)->eqn)));
            std::string text = body && body->code == nc_literal ? node_text(body) : "";
            for (std::uint32_t k = 0; k < sym_dims(s)->count; ++k)
                if (static_cast<std::size_t>(sym(s)->slot) + k < st->strings.size())
                    st->strings[static_cast<std::size_t>(sym(s)->slot) + k] = text;
        }
        st->string_changed.assign(st->strings.size(), 0);
    }
    clear_setup();
    setup_copy = new_handle(static_cast<std::uint32_t>(4 * out.initial.size() + 4));
    {
        handle_lock<float> v(setup_copy);
        if (!out.initial.empty()) std::memcpy(v.get(), out.initial.data(), 4 * out.initial.size());
    }
    copies = std::move(st);
    return 1;
}

int ensure_setup_copy(int) {
    if (setup_copies() && copies->symbols == cur_model_symbols) return 1;
    return make_setup_copy();
}

void clear_setup() {
    free_handle(setup_copy);
    setup_copy = 0;
    free_handle(type_copy);
    type_copy = 0;
    copies.reset();
    override_flags = 0;
    override_held = nullptr;
    if (cleanup_hook) cleanup_hook();
}

bool setup_has_changes() {
    setup_state* st = setup_copies();
    if (!st) return false;
    auto any = [](const std::vector<std::uint8_t>& v) {
        for (std::uint8_t b : v)
            if (b) return true;
        return false;
    };
    return any(st->changed) || any(st->lookup_changed) || any(st->string_changed);
}

setup_value_fn set_setup_value_hook(setup_value_fn hook) {
    const setup_value_fn previous = value_hook;
    value_hook = hook;
    return previous;
}

int set_setup_value(std::int32_t slot, float value) {
    setup_state* st = setup_copies();
    if (!st || slot < 0 || static_cast<std::size_t>(slot) >= st->changed.size()) return 0;
    {
        handle_lock<float> v(setup_copy);
        if (!v) return 0;
        v.get()[slot] = value;
    }
    st->changed[static_cast<std::size_t>(slot)] = 1;
    // Told with the copy unlocked: what it shows may read the copy again.
    if (value_hook) value_hook(slot, value);
    return 1;
}

int set_setup_lookup(std::uint32_t lookup, const std::vector<float>& x,
                     const std::vector<float>& y) {
    setup_state* st = setup_copies();
    if (!st || lookup >= st->lookups.size() || x.size() != y.size() || x.empty()) return 0;
    lookup_table& t = st->lookups[lookup];
    auto n = static_cast<std::uint32_t>(x.size());
    if (n > t.capacity || st->lookup_data.size() < 5) {
        // New room at the end of the data (the old points stay unused).
        if (st->lookup_data.size() < 5) st->lookup_data.assign(5, 0.0f);
        t.x = static_cast<std::uint32_t>(st->lookup_data.size());
        st->lookup_data.insert(st->lookup_data.end(), x.begin(), x.end());
        t.y = static_cast<std::uint32_t>(st->lookup_data.size());
        st->lookup_data.insert(st->lookup_data.end(), y.begin(), y.end());
        t.capacity = n;
    } else {
        std::memcpy(st->lookup_data.data() + t.x, x.data(), 4 * n);
        std::memcpy(st->lookup_data.data() + t.y, y.data(), 4 * n);
    }
    t.count = n;
    t.segment = 0;
    st->lookup_changed[lookup] = 1;
    return 1;
}

int set_setup_string(std::uint32_t string_slot, const std::string& text) {
    setup_state* st = setup_copies();
    if (!st || string_slot >= st->strings.size()) return 0;
    st->strings[string_slot] = text;
    st->string_changed[string_slot] = 1;
    return 1;
}

int accept_run_delays(const std::vector<std::vector<std::uint8_t>>& states) {
    for (const auto& b : states) {
        if (b.empty()) continue;
        if (b.size() < sizeof(delay_object)) return 0;
        std::uint16_t cap;
        std::memcpy(&cap, b.data() + 24, 2);
        if (b.size() != delay_object_bytes(cap)) return 0;
        std::int32_t first, live;
        std::memcpy(&first, b.data() + 4, 4);
        std::memcpy(&live, b.data() + 8, 4);
        if (live < 0 || live > cap || first < 0 || (cap && first >= cap)) return 0;
    }
    if (!ensure_setup_copy(0)) return 0;
    copies->delays = states;
    if (value_array)
        load_delay_states(states, run_delay_objects(),
                          get_header_word(copies->symbols, mh_delay_objects));
    return 1;
}

// The run value cache.
#include "runs/cache.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/names.h"
#include "model/context.h"
#include "model/model.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "sim/simdata.h"

namespace {

enum : std::uint8_t { cs_unread = 0, cs_absent = 1, cs_array = 2, cs_data = 3 };

struct data_block {
    int n;
    float* times;
    float* values;
};

struct entry {
    std::uint8_t state[max_selected_runs];
    std::uint16_t serial[max_selected_runs];
    float* values[max_selected_runs];
    data_block* data[max_selected_runs];
};

struct cache_state {
    mem_pool* pool = nullptr;
    mem_pool* shown_pool = nullptr;
    std::vector<mem_pool*> retired; // shown pools outgrown since the last reset
    std::size_t slots = 0;
    entry** table = nullptr;              // one per value slot
    float** shown = nullptr;              // shown-run table: one array per value slot
    std::vector<int> shown_room;          // points each shown array has room for
    std::vector<std::size_t> shown_slots; // the slots with a shown array, so a
                                          // save walks only those
    // What a save step writes, made from the above when they change: each
    // shown array with its slot, and the least room among them.
    struct shown_target {
        std::size_t slot;
        float* array;
    };
    std::vector<shown_target> targets;
    int least_room = 0;
    bool targets_stale = true;
    float* time_arrays[max_selected_runs] = {};
    int counts[max_selected_runs] = {};
    std::uint16_t time_serials[max_selected_runs] = {};
    bool have_time = false;
    int shown_slot = -1;
    int shown_index = -1;
    int counter = 0;
    int capacity = 0;
    float range_start = 0, range_end = 0;
    std::vector<std::string> names; // element name per value slot, made on first use
    bool names_made = false;
};

cache_state g;
bool g_livesweep = false;
std::uint32_t g_generation = 1;
cache_refresh_fn g_refresh = nullptr;

void free_pools(bool shown_too, bool cache_too) {
    if (shown_too) {
        free_block(g.shown_pool);
        g.shown_pool = nullptr;
        g.shown = nullptr;
        g.shown_room.clear();
        g.shown_slots.clear();
        g.targets_stale = true;
        for (mem_pool* p : g.retired) free_block(p);
        g.retired.clear();
    }
    if (cache_too) {
        free_block(g.pool);
        g.pool = nullptr;
        g.table = nullptr;
        std::fill(std::begin(g.time_arrays), std::end(g.time_arrays), nullptr);
        std::fill(std::begin(g.counts), std::end(g.counts), 0);
        g.have_time = false;
        g.names.clear();
        g.names_made = false;
    }
}

// The selected run of a run slot, checked against its loaded record's serial.
int selected_run_index(int run_slot, std::uint16_t* serial) {
    if (!model_rec || run_slot < 0 || run_slot >= max_selected_runs ||
        run_slot >= model_rec->run_count)
        return -1;
    const ::selected_run& s = model_rec->runs[run_slot];
    run_lock l(s.run);
    if (!l || l->serial != s.serial) return -1;
    if (serial) *serial = s.serial;
    return s.run;
}

float* copy_array(const std::vector<float>& v, bool shown, int slot) {
    std::size_t room = v.size();
    mem_pool* pool = g.pool;
    if (shown && g.shown_pool) {
        g.capacity = std::max(g.capacity, static_cast<int>(v.size()));
        room = std::max<std::size_t>(room, static_cast<std::size_t>(g.capacity));
        pool = g.shown_pool;
    }
    auto* a = static_cast<float*>(block_alloc(pool, std::max<std::size_t>(room, 1) * 4, 0));
    if (!v.empty()) std::memcpy(a, v.data(), v.size() * 4);
    if (shown && g.shown_pool && g.shown && slot >= 0 && static_cast<std::size_t>(slot) < g.slots) {
        if (!g.shown[slot]) g.shown_slots.push_back(static_cast<std::size_t>(slot));
        g.shown[slot] = a;
        g.shown_room.resize(g.slots, 0);
        g.shown_room[static_cast<std::size_t>(slot)] = static_cast<int>(room);
        g.targets_stale = true;
    }
    return a;
}

const std::string& slot_name(int slot) {
    static const std::string none;
    if (!g.names_made) {
        g.names = model_slot_names(cur_model_symbols);
        g.names_made = true;
    }
    return slot >= 0 && static_cast<std::size_t>(slot) < g.names.size() ? g.names[slot] : none;
}

} // namespace

bool value_cache_exists() {
    return g.table != nullptr;
}
std::uint32_t value_cache_generation() {
    return g_generation;
}
void set_cache_livesweep(bool on) {
    g_livesweep = on;
}
bool cache_livesweep() {
    return g_livesweep || livesweep_state == ls_on;
}

namespace {
void engine_save_step(const float* values, std::uint32_t slots, int remaining_saves) {
    livesweep_save_values(values, slots, remaining_saves);
}
} // namespace

void install_cache_livesweep_hook() {
    set_livesweep_save_hook(engine_save_step);
}
int shown_run_slot() {
    return g.shown_slot;
}
int shown_run_index() {
    return g.shown_index;
}
int cache_points_counter() {
    return g.counter;
}
void set_cache_points_counter(int n) {
    g.counter = n;
}
void set_cache_refresh_hook(cache_refresh_fn fn) {
    g_refresh = fn;
}

void reset_value_cache(int run_slot, int mode, int no_lock) {
    if (!cache_livesweep() && mode == 0) {
        if (!g.table) return;
        mode = 1;
    }
    ++g_generation;
    free_pools(true, true);
    if (mode == 2) {
        g.shown_slot = g.shown_index = -1;
        return;
    }
    std::size_t slots = 0;
    if (cur_model_symbols)
        slots = std::size_t{get_header_word(cur_model_symbols, mh_level_slots)} +
                get_header_word(cur_model_symbols, mh_other_slots);
    g.slots = slots;
    g.pool = new_block(0);
    g.table = static_cast<entry**>(
        block_alloc(g.pool, std::max<std::size_t>(slots, 1) * sizeof(entry*), 0));
    if (mode == 1) {
        if (model_rec) {
            g.range_start = static_cast<float>(model_rec->start);
            g.range_end = static_cast<float>(model_rec->end);
            g.counter = 1;
        } else {
            g.range_start = g.range_end = 0;
            g.capacity = 0;
            g.counter = 1;
        }
    } else {
        g.shown_pool = new_block(0);
        g.shown = static_cast<float**>(
            block_alloc(g.shown_pool, std::max<std::size_t>(slots, 1) * sizeof(float*), 0));
        g.targets_stale = true;
    }
    g.shown_slot = run_slot;
    g.shown_index = model_rec && run_slot >= 0 && run_slot < model_rec->run_count &&
                            run_slot < max_selected_runs
                        ? model_rec->runs[run_slot].run
                        : -1;
    if (!no_lock && g_refresh) g_refresh();
}

int cached_time_base(const char* xname, const float** times, int count, int run_slot) {
    if (!xname || !*xname || name_cmp(xname, "Time") == 0 || !cur_model_symbols) return count;
    symbol_id id = find_symbol_in(cur_model_symbols, xname);
    if (!id) return count;
    symbol_record r = get_symbol(cur_model_symbols, id);
    if (r.type != st_time_base || r.slot < 0) return count;
    const float* tb_times = nullptr;
    const float* tb_values = nullptr;
    int n = cached_series(r.slot, &tb_times, &tb_values, run_slot, nullptr);
    if (n == count && tb_values && times) *times = tb_values;
    return count;
}

int cached_series(int slot, const float** times, const float** values, int run_slot,
                  const char* xname) {
    if (times) *times = nullptr;
    if (values) *values = nullptr;
    if (!g.table || g.counter == 0) return 0;
    if (slot < 0 || static_cast<std::size_t>(slot) >= g.slots || run_slot < 0 ||
        run_slot >= max_selected_runs)
        return 0;
    std::uint16_t serial = 0;
    int run = selected_run_index(run_slot, &serial);
    if (run < 0) return 0; // not selected, or the record now holds another run
    entry* e = g.table[slot];
    if (e && e->state[run_slot] != cs_unread && e->serial[run_slot] != serial) return 0;
    if (!e || e->state[run_slot] == cs_unread) {
        // Load it. The run's saved times first.
        if (!g.time_arrays[run_slot] || g.time_serials[run_slot] != serial) {
            std::vector<float> v, t;
            int n = read_run_series("Time", "Time", run, v, t);
            g.counts[run_slot] = n;
            g.time_serials[run_slot] = serial;
            g.time_arrays[run_slot] = copy_array(v, run_slot == g.shown_slot, 0);
        }
        if (!e) {
            e = static_cast<entry*>(block_alloc(g.pool, sizeof(entry), 0));
            g.table[slot] = e;
        }
        e->serial[run_slot] = serial;
        std::vector<float> v, t;
        int data = 0;
        const std::string name = slot_name(slot);
        int n = name.empty()
                    ? 0
                    : read_run_values(name.c_str(), "Time", run, v, t, nullptr, nullptr, &data);
        if (n <= 0) {
            e->state[run_slot] = cs_absent;
            return 0;
        }
        if (data) {
            auto* b = static_cast<data_block*>(block_alloc(g.pool, sizeof(data_block), 0));
            b->n = n;
            b->times =
                static_cast<float*>(block_alloc(g.pool, 4ull * static_cast<std::size_t>(n), 0));
            b->values =
                static_cast<float*>(block_alloc(g.pool, 4ull * static_cast<std::size_t>(n), 0));
            std::memcpy(b->times, t.data(), 4ull * static_cast<std::size_t>(n));
            std::memcpy(b->values, v.data(), 4ull * static_cast<std::size_t>(n));
            e->data[run_slot] = b;
            e->state[run_slot] = cs_data;
        } else {
            const int count = g.counts[run_slot];
            const float* rt = g.time_arrays[run_slot];
            std::vector<float> full(static_cast<std::size_t>(std::max(count, 0)), NA);
            if (n == 1 && count > 1) {
                std::fill(full.begin(), full.end(), v[0]);
            } else {
                // Spread the read points back over the run's time axis.
                int j = n - 1;
                for (int k = count - 1; k >= 0; --k) {
                    if (j < 0 || rt[k] > t[static_cast<std::size_t>(j)]) continue;
                    full[static_cast<std::size_t>(k)] = v[static_cast<std::size_t>(j)];
                    --j;
                }
            }
            e->values[run_slot] = copy_array(full, run_slot == g.shown_slot, slot);
            e->state[run_slot] = cs_array;
        }
    }
    switch (e->state[run_slot]) {
    case cs_data: {
        data_block* b = e->data[run_slot];
        if (times) *times = b->times;
        if (values) *values = b->values;
        return b->n;
    }
    case cs_array: {
        const float* t = g.time_arrays[run_slot];
        int count = g.counts[run_slot];
        if (xname) cached_time_base(xname, &t, count, run_slot);
        if (times) *times = t;
        if (values) *values = e->values[run_slot];
        return count;
    }
    default:
        return 0;
    }
}

void livesweep_save_values(const float* value_array, std::size_t nvalues, int remaining_saves) {
    if (!g.shown || !value_array) return;
    g.shown_room.resize(g.slots, 0);
    auto make_targets = [] {
        g.targets.clear();
        g.least_room = std::numeric_limits<int>::max();
        for (std::size_t s : g.shown_slots) {
            g.targets.push_back({s, g.shown[s]});
            g.least_room = std::min(g.least_room, g.shown_room[s]);
        }
        g.targets_stale = false;
    };
    if (g.targets_stale) make_targets();
    if (!g.targets.empty() && g.counter >= g.least_room) {
        // Grow every shown array into a fresh pool; the old one stays until
        // the next reset so pointers already handed out stay valid.
        int cap = static_cast<int>(g.counter + std::max(remaining_saves, 0) + 5.5);
        mem_pool* fresh = new_block(0);
        auto** table = static_cast<float**>(
            block_alloc(fresh, std::max<std::size_t>(g.slots, 1) * sizeof(float*), 0));
        for (std::size_t s : g.shown_slots) {
            auto* a =
                static_cast<float*>(block_alloc(fresh, 4ull * static_cast<std::size_t>(cap), 0));
            std::memcpy(a, g.shown[s],
                        4ull *
                            static_cast<std::size_t>(std::min({g.counter, g.shown_room[s], cap})));
            table[s] = a;
            g.shown_room[s] = cap;
            if (s == 0 && g.shown_slot >= 0 && g.shown_slot < max_selected_runs)
                g.time_arrays[g.shown_slot] = a;
            else if (g.table && g.table[s] && g.shown_slot >= 0 && g.shown_slot < max_selected_runs)
                g.table[s]->values[g.shown_slot] = a;
        }
        g.retired.push_back(g.shown_pool);
        g.shown_pool = fresh;
        g.shown = table;
        g.capacity = cap;
        ++g_generation;
        make_targets();
    }
    // Every shown array has room for this point now (the least room is past
    // the counter).
    for (const cache_state::shown_target& t : g.targets)
        if (t.slot < nvalues) t.array[g.counter] = value_array[t.slot];
    ++g.counter;
}

// Sensitivity reads and the level-change check.
#include "runs/sens.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/report.h"
#include "runs/access.h"
#include "runs/runfile.h"

namespace {

bool sens_type(char t) {
    return t == 'S' || t == 's';
}

// The section head and slot list of the current run.
bool section(kdf_sens_head& h, std::vector<std::uint32_t>& slots) {
    run_side* side = cur_side();
    if (!side || side->section.size() < sizeof h) return false;
    std::memcpy(&h, side->section.data(), sizeof h);
    std::size_t n = std::size_t{h.singles} + h.series;
    if (side->section.size() < sizeof h + 4 * n) return false;
    slots.resize(n);
    if (n) std::memcpy(slots.data(), side->section.data() + sizeof h, 4 * n);
    return true;
}

// Where a variable sits in the row: its float offset and the number of
// floats (1 or T); false when it is not in the lists.
bool place_in_row(const kdf_sens_head& h, const std::vector<std::uint32_t>& slots, int slot,
                  std::uint64_t& offset, std::uint32_t& count) {
    for (std::uint32_t k = 0; k < h.singles; ++k)
        if (slots[k] == static_cast<std::uint32_t>(slot)) {
            offset = k;
            count = 1;
            return true;
        }
    for (std::uint32_t k = 0; k < h.series; ++k)
        if (slots[h.singles + k] == static_cast<std::uint32_t>(slot)) {
            offset = h.singles + std::uint64_t{k} * h.times;
            count = h.times;
            return true;
        }
    return false;
}

std::uint64_t row_floats(const kdf_sens_head& h) {
    return h.singles + std::uint64_t{h.series} * h.times;
}

} // namespace

bool run_sens_header(int i, std::uint32_t out[9]) {
    run_lock l(i);
    if (!l || !sens_type(l->type)) return false;
    const std::vector<std::uint8_t>& sec = cur_side()->section;
    std::memset(out, 0, 36);
    std::memcpy(out, sec.data(), std::min<std::size_t>(sec.size(), 36));
    return true;
}

namespace {

// Where a variable's values sit in each row of the locked sensitivity run:
// the section head, and the offset and count of the variable's floats.
bool place_of(const run_lock& l, const char* name, kdf_sens_head& h, std::uint64_t& off,
              std::uint32_t& count) {
    if (!l || !sens_type(l->type)) return false;
    run_resolved r;
    if (!resolve_cur_run(name, r) || r.slot < 0 || r.sym_type > st_last_with_slots) return false;
    std::vector<std::uint32_t> slots;
    return section(h, slots) && place_in_row(h, slots, r.slot, off, count);
}

} // namespace

int sens_values(const char* name, int i, std::vector<std::vector<float>>& rows) {
    rows.clear();
    run_lock l(i);
    kdf_sens_head h;
    std::uint64_t off;
    std::uint32_t count;
    if (!place_of(l, name, h, off, count)) return 0;
    const std::uint64_t len = row_floats(h);
    rows.resize(h.rows);
    for (std::uint32_t k = 0; k < h.rows; ++k) {
        std::vector<float>& row = rows[k];
        row.resize(count);
        if (count && !run_read_at(h.matrix + 4 * (k * len + off), row.data(), 4ull * count)) {
            rows.clear();
            return 0;
        }
        for (float& f : row) f = run_f32(f);
    }
    return static_cast<int>(count);
}

int sens_percentiles(const char* name, int i, std::vector<float>& out, const char* xname,
                     double time) {
    out.clear();
    float scale = 1, offset = 0;
    if (!run_time_transform(xname, &scale, &offset)) return 0;
    run_lock l(i);
    kdf_sens_head h;
    std::uint64_t off;
    std::uint32_t count;
    if (!place_of(l, name, h, off, count)) return 0;
    if (count > 1) {
        // The time index comes from the run's own time axis, checked against T.
        std::vector<float> axis = cur_side()->time_axis;
        for (float& t : axis) t = t * scale + offset;
        int j = nearest_time_index(axis.data(), static_cast<int>(axis.size()), time);
        if (j < 0 || static_cast<std::uint32_t>(j) >= h.times) return 0;
        off += static_cast<std::uint64_t>(j);
    }
    const std::uint64_t len = row_floats(h);
    out.resize(h.rows);
    for (std::uint32_t k = 0; k < h.rows; ++k) {
        float f;
        if (!run_read_at(h.matrix + 4 * (k * len + off), &f, 4)) {
            out.clear();
            return 0;
        }
        out[k] = run_f32(f);
    }
    return static_cast<int>(h.rows);
}

int changing_levels(int i, std::vector<changing_level>& list, double r, double a) {
    list.clear();
    char t = run_type(i);
    if (!t) {
        report(8, "Problem with first run");
        return 0;
    }
    if (t == 'A' || !std::strchr("RrPpSs", t)) {
        report(8, "First run is not a simulation run");
        return 0;
    }
    // The run's level elements in alphabetical order.
    std::vector<std::pair<symbol_id, std::string>> levels;
    {
        run_lock l(i);
        if (!l) return 0;
        std::vector<std::string> names = model_slot_names(l->symbols);
        model_lock_guard g(l->symbols, 0);
        if (!g.ok()) return 0;
        int n = 0;
        const symbol_id* alpha = alpha_index(&n);
        const symbol_id time = model_hdr->w[mh_time_symbol];
        for (int k = 0; alpha && k < n; ++k) {
            symbol_id s = alpha[k];
            // Time is a level by type but no state of the model.
            if (s == time || !valid_symbol(s) || sym(s)->type != st_level || sym(s)->slot <= 0)
                continue;
            std::uint32_t count = std::max<std::uint32_t>(sym_dims(s)->count, 1);
            for (std::uint32_t e = 0; e < count; ++e) {
                std::uint64_t slot = static_cast<std::uint64_t>(sym(s)->slot) + e;
                if (slot >= names.size()) break;
                levels.emplace_back(s, names[static_cast<std::size_t>(slot)]);
            }
        }
    }
    run_lock l(i);
    if (!l) return 0;
    run_side* side = cur_side();
    const bool lower = t == 'r' || t == 's' || t == 'p';
    for (auto& [id, name] : levels) {
        run_resolved rr;
        if (!resolve_cur_run(name.c_str(), rr) || rr.slot < 0 || rr.type_byte != st_level) continue;
        float x, y;
        if (lower) {
            std::uint32_t col = side->columns[static_cast<std::size_t>(rr.slot)];
            if (!col || l->times < 2) continue;
            std::uint64_t base = side->row.first_row + 4ull * (col - 1);
            if (!run_read_at(base, &x, 4) ||
                !run_read_at(base + 4ull * side->row.row_length, &y, 4))
                continue;
            x = run_f32(x);
            y = run_f32(y);
        } else {
            std::uint64_t at = side->offsets[static_cast<std::size_t>(rr.slot)];
            if (!at || l->times < 2) continue;
            std::uint64_t cs = l->counts32 ? 4 : 2;
            std::int64_t n;
            if (l->counts32) {
                std::uint32_t w;
                if (!run_read_at(at, &w, 4)) continue;
                n = static_cast<std::int32_t>(run_u32(w));
            } else {
                std::uint16_t w;
                if (!run_read_at(at, &w, 2)) continue;
                n = static_cast<std::int16_t>(run_u16(w));
            }
            std::uint8_t bits;
            // Both of the first two saved times must carry a stored value.
            if (n < 2 || !run_read_at(at + cs, &bits, 1) || (bits & 3) != 3) continue;
            std::uint64_t nbytes = (static_cast<std::uint64_t>(l->times) - 1) / 8 + 1;
            float xy[2];
            if (!run_read_at(at + cs + nbytes, xy, 8)) continue;
            x = run_f32(xy[0]);
            y = run_f32(xy[1]);
        }
        if (x == y || (std::isnan(x) && std::isnan(y))) continue;
        if (r != 0 || a != 0) {
            double d = std::fabs(static_cast<double>(y) - x);
            if (!(d > a && d > r * std::fabs((static_cast<double>(x) + y) / 2))) continue;
        }
        list.push_back({id, name});
    }
    if (list.empty()) {
        report(6, "No levels are changing");
        return 0;
    }
    return 1;
}

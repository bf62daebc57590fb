// Variable names as typed and as printed, element names of the subscript
// selection, and the checked readers of the locked model.
#include "model/varnames.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "model/subscript_selection.h"

workbench_selection workbench_var;

// -------------------------------------------------------- checked readers ---

std::uint32_t block_used_cells(const void* block) {
    if (!block) return 0;
    const auto* h = static_cast<const bhead*>(block);
    return std::min(h->cur, h->size);
}

const char* safe_sym_name(symbol_id id) {
    if (!model_names || !valid_symbol(id, true)) return "";
    std::uint32_t used = block_used_cells(model_names);
    std::uint32_t cell = sym(id)->name;
    if (cell < bhead_cells || cell >= used) return "";
    const char* p = model_names + 4 * std::size_t{cell};
    std::size_t room = 4 * std::size_t{used - cell};
    if (strnlen(p, room) == room) return "";
    return p;
}

const dim_record* safe_dims(symbol_id id) {
    static const dim_record scalar = {1, 0, {}};
    if (!valid_symbol(id, true)) return nullptr;
    std::uint32_t cell = sym(id)->dims;
    if (!model_dims) return cell == scalar_dims ? &scalar : nullptr;
    std::uint32_t used = block_used_cells(model_dims);
    if (cell < bhead_cells || std::uint64_t{cell} + sizeof(dim_record) / 4 > used) return nullptr;
    const dim_record* d = dims_at(cell);
    if (d->ndims > static_cast<std::uint32_t>(max_dims)) return nullptr;
    std::uint64_t total = 1;
    for (std::uint32_t i = 0; i < d->ndims; ++i) {
        if (d->d[i].count == 0 || d->d[i].stride == 0) return nullptr;
        total *= d->d[i].count;
        if (total > max_var_elements) return nullptr;
    }
    if (total != d->count) return nullptr;
    // The strides must address every element inside the count.
    std::uint64_t last = 0;
    for (std::uint32_t i = 0; i < d->ndims; ++i)
        last += std::uint64_t{d->d[i].count - 1} * d->d[i].stride;
    if (last >= d->count) return nullptr;
    return d;
}

const element_list* safe_range_elements(symbol_id range) {
    if (!model_elists || !valid_symbol(range) || sym(range)->type != st_range) return nullptr;
    std::uint32_t cell = sym(range)->elems;
    std::uint32_t used = block_used_cells(model_elists);
    if (cell < bhead_cells || std::uint64_t{cell} + 1 > used) return nullptr;
    const auto* l = reinterpret_cast<const element_list*>(model_elists + cell);
    if (std::uint64_t{cell} + 1 + l->count > used) return nullptr;
    return l;
}

symbol_id range_element_at(symbol_id range, int position) {
    const element_list* l = safe_range_elements(range);
    if (!l || position < 0 || static_cast<std::uint32_t>(position) >= l->count) return 0;
    return l->ids[position];
}

int safe_element_position(symbol_id range, symbol_id element) {
    const element_list* l = safe_range_elements(range);
    if (!l || !element) return -1;
    for (std::uint32_t i = 0; i < l->count; ++i)
        if (l->ids[i] == element) return static_cast<int>(i);
    return -1;
}

equation_record* safe_equation(std::uint32_t cell) {
    if (!model_eqs || cell < bhead_cells) return nullptr;
    std::uint32_t used = block_used_cells(model_eqs);
    if (std::uint64_t{cell} + sizeof(equation_record) / 4 > used) return nullptr;
    equation_record* e = eq_at(cell);
    if (std::uint64_t{cell} + sizeof(equation_record) / 4 + 2ull * e->nnodes > used) return nullptr;
    return e;
}

equation_record* first_equation(symbol_id id) {
    if (!valid_symbol(id)) return nullptr;
    return safe_equation(sym(id)->eqn);
}

equation_record* next_equation(equation_record* e) {
    if (!e || !model_eqs || !e->next) return nullptr;
    std::uint32_t here =
        static_cast<std::uint32_t>(reinterpret_cast<std::uint32_t*>(e) - model_eqs);
    // Equations are appended, so a chain only moves forward: a link back is
    // corrupt and would loop.
    if (e->next <= here) return nullptr;
    return safe_equation(e->next);
}

const token_text* safe_tokens(std::uint32_t cell) {
    if (!model_tokens || cell < bhead_cells) return nullptr;
    std::uint32_t used = block_used_cells(model_tokens);
    if (std::uint64_t{cell} + 1 > used) return nullptr;
    const token_text* t = tokens_at(cell);
    if (4 * (std::uint64_t{cell} + 1) + t->bytes > 4 * std::uint64_t{used}) return nullptr;
    return t;
}

const units_entry* safe_units(std::uint32_t cell) {
    if (!model_units || cell < bhead_cells) return nullptr;
    std::uint32_t used = block_used_cells(model_units);
    if (std::uint64_t{cell} + 3 > used) return nullptr;
    const auto* u = reinterpret_cast<const units_entry*>(model_units + cell);
    if (std::uint64_t{cell} + 3 + std::uint64_t{u->nnum} + u->nden > used) return nullptr;
    return u;
}

std::uint32_t model_value_slots() {
    if (!model_hdr) return 0;
    return model_hdr->w[mh_level_slots] + model_hdr->w[mh_other_slots];
}

int node_view::child(int i) const {
    if (!ok(i)) return -1;
    const expr_node& n = base[i];
    if (!node_has_children(n.code) || n.operand == 0) return -1;
    std::uint64_t j = std::uint64_t(i) + n.operand;
    return j < count ? static_cast<int>(j) : -1;
}

int node_view::next(int i) const {
    if (!ok(i) || base[i].next == 0) return -1;
    std::uint64_t j = std::uint64_t(i) + base[i].next;
    return j < count ? static_cast<int>(j) : -1;
}

std::string node_view::text(int i) const {
    if (!ok(i)) return {};
    std::size_t room = 8 * std::size_t{count - static_cast<std::uint32_t>(i) - 1};
    std::size_t n = std::min<std::size_t>(base[i].operand, room);
    const char* p = reinterpret_cast<const char*>(base + i + 1);
    return std::string(p, strnlen(p, n));
}

node_view equation_nodes(equation_record* e) {
    node_view v;
    if (e) {
        v.base = eq_nodes(e);
        v.count = e->nnodes;
    }
    return v;
}

namespace {

// Chooses the model to read: the one locked now, else the current one.
handle reading_model() {
    return model_lock_flag != -1 && locked_model_symbols ? locked_model_symbols : cur_model_symbols;
}

// Whether model text may hold the character in a name without quotes.
bool name_char(unsigned char c) {
    return std::isalnum(c) || c >= 0xC0 || c == 0xAA || c == 0xB5 || c == 0xBA || c == ' ' ||
           c == '_' || c == '$' || c == '\'' || c == '.' || c == '&' || c == '%';
}

const char* scratch_copy(const std::string& s) {
    return scratch_strdup(s.c_str());
}

} // namespace

// -------------------------------------------------------- printable names ---

std::string model_text_name(const char* name) {
    std::string n = name ? name : "";
    bool quote = n.empty() || std::isdigit(static_cast<unsigned char>(n[0])) || n[0] == ' ' ||
                 n.back() == ' ';
    for (unsigned char c : n)
        if (!name_char(c)) quote = true;
    if (!quote) return n;
    std::string out = "\"";
    for (char c : n) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string number_model_text(float value) {
    if (is_na(value)) return ":NA:";
    char buf[48];
    for (int p = 6; p <= 9; ++p) {
        std::snprintf(buf, sizeof buf, "%.*g", p, static_cast<double>(value));
        if (std::strtof(buf, nullptr) == value) break;
    }
    return buf;
}

const char* varformat(symbol_id id, int mode) {
    model_lock_guard g(reading_model(), 0);
    if (!g.ok() || !valid_symbol(id)) return "error";
    if (mode == 1) {
        const dim_record* d = safe_dims(id);
        if (d && d->ndims > 0) return scratch_copy(subscript_selection_text(id));
    }
    return scratch_copy(model_text_name(safe_sym_name(id)));
}

const char* format_symbol_name(const char* name, int type, int shadow, int case_flag) {
    std::string n = name ? name : "";
    if (type == st_group && !n.empty() && n[0] == group_marker) n.erase(0, 1);
    if (case_flag == 1) str_upper(n.data());
    if (case_flag == 2) str_lower(n.data());
    if (shadow) n = "<" + n + ">";
    return scratch_copy(n);
}

namespace {

std::string element_name_text(symbol_id id, std::uint32_t element) {
    std::string out = model_text_name(safe_sym_name(id));
    const dim_record* d = safe_dims(id);
    if (!d) return out + "[?]";
    if (d->ndims == 0) return element == 0 ? out : out + "[?]";
    if (element >= d->count) return out + "[?]";
    out += '[';
    for (std::uint32_t i = 0; i < d->ndims; ++i) {
        if (i) out += ',';
        std::uint32_t pos = (element / d->d[i].stride) % d->d[i].count;
        symbol_id e = range_element_at(d->d[i].range, static_cast<int>(pos));
        out += e ? model_text_name(safe_sym_name(e)) : std::string("?");
    }
    out += ']';
    return out;
}

} // namespace

const char* element_name(symbol_id id, std::uint32_t element) {
    model_lock_guard g(reading_model(), 0);
    if (!g.ok() || !valid_symbol(id)) return "error";
    return scratch_copy(element_name_text(id, element));
}

symbol_id slot_symbol(std::int32_t slot, std::uint32_t* element) {
    if (element) *element = 0;
    if (slot < 0 || !model_hdr) return 0;
    std::uint32_t end = std::min(model_hdr->w[mh_sym_end], block_used_cells(model_syms));
    for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells) {
        const symbol_record* r = sym(s);
        if (r->type == 0 || r->type > st_last_with_slots || r->slot < 0 || slot < r->slot) continue;
        const dim_record* d = safe_dims(s);
        if (!d) continue;
        if (slot >= r->slot && static_cast<std::int64_t>(slot) < std::int64_t{r->slot} + d->count) {
            if (element) *element = static_cast<std::uint32_t>(slot - r->slot);
            return s;
        }
    }
    return 0;
}

const char* offset_name(std::int32_t slot) {
    model_lock_guard g(reading_model(), 0);
    if (!g.ok()) return "Unknown Symbol";
    std::uint32_t el = 0;
    symbol_id s = slot_symbol(slot, &el);
    if (!s) return "Unknown Symbol";
    return scratch_copy(element_name_text(s, el));
}

const char* lookup_offset_name(std::int32_t slot) {
    model_lock_guard g(reading_model(), 0);
    if (!g.ok() || slot < 0 || !model_lookups) return "Unknown Symbol";
    std::uint64_t end = 5 + std::uint64_t{lookup_entry_cells} * (std::uint64_t(slot) + 1);
    if (end > block_used_cells(model_lookups)) return "Unknown Symbol";
    const lookup_entry* e = lookup_at(slot);
    if (!e || !valid_symbol(e->symbol)) return "Unknown Symbol";
    return scratch_copy(element_name_text(e->symbol, e->element));
}

const char* string_offset_name(std::int32_t slot) {
    model_lock_guard g(reading_model(), 0);
    if (!g.ok() || slot < 0 || !model_hdr) return "Unknown Symbol";
    std::uint32_t end = std::min(model_hdr->w[mh_sym_end], block_used_cells(model_syms));
    for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells) {
        const symbol_record* r = sym(s);
        if (r->type != st_string || r->slot < 0 || slot < r->slot) continue;
        const dim_record* d = safe_dims(s);
        if (d && slot >= r->slot &&
            static_cast<std::int64_t>(slot) < std::int64_t{r->slot} + d->count)
            return scratch_copy(element_name_text(s, static_cast<std::uint32_t>(slot - r->slot)));
    }
    return "Unknown Symbol";
}

// ----------------------------------------------------------- parsed names ---

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Trims, turns underscores into blanks (unless keep) and runs of blanks into one.
std::string normal_text(const std::string& raw, bool keep) {
    std::string out;
    bool blank = false;
    for (char c : raw) {
        if (!keep && c == '_') c = ' ';
        if (is_blank(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// Strips one pair of enclosing double quotes.
std::string unquote(const std::string& s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

bool has_wildcard(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

} // namespace

int parse_var_name(const char* text, parsed_name* record, int keep, int lead) {
    parsed_name r;
    const char* start = text ? text : "";
    const char* p = start;
    while (is_blank(*p)) ++p;
    std::string raw;
    p = read_name_part(p, raw);
    r.name = normal_text(raw, keep != 0);
    while (is_blank(*p)) ++p;
    if (*p == '[') {
        ++p;
        std::string cur;
        bool closed = false, in_quote = false;
        auto finish_sub = [&]() {
            std::string s = normal_text(unquote(normal_text(cur, true)), keep != 0);
            if (s.empty()) r.flags |= pn_empty_subscript;
            if (r.nsubs < max_dims)
                r.subs[r.nsubs++] = s;
            else
                r.flags |= pn_too_many_subscripts;
            cur.clear();
        };
        while (*p) {
            char c = *p++;
            if (c == '"') in_quote = !in_quote;
            if (!in_quote && c == ',') {
                finish_sub();
                continue;
            }
            if (!in_quote && c == ']') {
                finish_sub();
                closed = true;
                break;
            }
            cur += c;
        }
        if (!closed) {
            r.flags |= pn_unclosed;
            if (!normal_text(cur, true).empty()) finish_sub();
        }
        while (is_blank(*p)) ++p;
    }
    if (*p) r.flags |= pn_trailing_text;
    r.stop = static_cast<int>(p - start);
    bool ok = !r.name.empty() || (lead && r.nsubs > 0);
    if (record) *record = std::move(r);
    return ok ? 1 : 0;
}

namespace {

// The position in `range` (a dimension's range) that a typed subscript names:
// an element of it gives its position; a range (with allow_ranges) gives the
// position of its first element. -1 when it does not fit.
int subscript_position(symbol_id range, const std::string& sub, bool allow_ranges) {
    symbol_id s = find_symbol(sub.c_str());
    if (!valid_symbol(s)) return -1;
    if (sym(s)->type == st_element) return safe_element_position(range, s);
    if (sym(s)->type == st_range && allow_ranges) {
        if (s == range) return safe_range_elements(range) ? 0 : -1;
        return safe_element_position(range, range_element_at(s, 0));
    }
    return -1;
}

} // namespace

long element_offset_of(symbol_id var, const parsed_name& name) {
    const dim_record* d = safe_dims(var);
    if (!d || static_cast<std::uint32_t>(name.nsubs) != d->ndims) return -1;
    long offset = 0;
    for (std::uint32_t i = 0; i < d->ndims; ++i) {
        int pos = subscript_position(d->d[i].range, name.subs[i], true);
        if (pos < 0 || static_cast<std::uint32_t>(pos) >= d->d[i].count) return -1;
        offset += static_cast<long>(pos) * static_cast<long>(d->d[i].stride);
    }
    return offset;
}

int find_var_name(const parsed_name& name, std::int32_t* slot, int allow_ranges, symbol_id* symbol,
                  std::uint32_t* element) {
    if (slot) *slot = -1;
    if (symbol) *symbol = 0;
    if (element) *element = 0;
    model_lock_guard g(reading_model(), 0);
    if (!g.ok() || name.name.empty() || (name.flags & ~pn_trailing_text)) return 0;
    symbol_id id = find_symbol(name.name.c_str());
    if (!valid_symbol(id) || !is_variable_type(sym(id)->type)) return 0;
    const dim_record* d = safe_dims(id);
    if (!d || static_cast<std::uint32_t>(name.nsubs) != d->ndims) return 0;
    std::uint32_t offset = 0;
    for (std::uint32_t i = 0; i < d->ndims; ++i) {
        int pos = subscript_position(d->d[i].range, name.subs[i], allow_ranges != 0);
        if (pos < 0 || static_cast<std::uint32_t>(pos) >= d->d[i].count) return 0;
        offset += static_cast<std::uint32_t>(pos) * d->d[i].stride;
    }
    int type = sym(id)->type;
    std::int32_t s = sym(id)->slot < 0 ? -1 : sym(id)->slot + static_cast<std::int32_t>(offset);
    if ((sym(id)->flags & sf_mixed_types) && type <= st_last_with_slots) {
        int k = slot_kind(s);
        if (k > 0) type = k;
    }
    if (slot) *slot = s;
    if (symbol) *symbol = id;
    if (element) *element = offset;
    return type;
}

int find_var_name(const char* text, std::int32_t* slot, int allow_ranges, symbol_id* symbol,
                  std::uint32_t* element) {
    parsed_name p;
    if (!parse_var_name(text, &p)) {
        if (slot) *slot = -1;
        if (symbol) *symbol = 0;
        if (element) *element = 0;
        return 0;
    }
    return find_var_name(p, slot, allow_ranges, symbol, element);
}

// -------------------------------------------------------- element selections ---

namespace {

// Per dimension, the chosen positions.
using position_sets = std::vector<std::vector<std::uint32_t>>;

std::vector<std::uint32_t> all_positions(std::uint32_t count) {
    std::vector<std::uint32_t> v(count);
    for (std::uint32_t i = 0; i < count; ++i) v[i] = i;
    return v;
}

// Positions of `range`'s dimension that the subscript `s` (an element or a
// range, possibly a sub-range) covers; selected_only filters a range through
// the subscript selection.
std::vector<std::uint32_t> positions_for(symbol_id dim_range, std::uint32_t dim_count, symbol_id s,
                                         bool selected_only) {
    std::vector<std::uint32_t> out;
    if (!valid_symbol(s)) return out;
    if (sym(s)->type == st_element) {
        int p = safe_element_position(dim_range, s);
        if (p >= 0 && static_cast<std::uint32_t>(p) < dim_count)
            out.push_back(static_cast<std::uint32_t>(p));
        return out;
    }
    if (sym(s)->type != st_range) return out;
    const element_list* l = safe_range_elements(s);
    if (!l) return out;
    for (std::uint32_t k = 0; k < l->count; ++k) {
        if (selected_only && !subscript_selected(s, static_cast<int>(k))) continue;
        int p = s == dim_range ? static_cast<int>(k) : safe_element_position(dim_range, l->ids[k]);
        if (p >= 0 && static_cast<std::uint32_t>(p) < dim_count)
            out.push_back(static_cast<std::uint32_t>(p));
    }
    return out;
}

// The subscript selection of a variable: the workbench's chosen subscripts
// when it is the workbench variable, else the selection of each range.
position_sets selection_of(symbol_id var, const dim_record* d, int mode) {
    position_sets sets(d->ndims);
    bool wb = var == workbench_var.var && workbench_var.nsubs == static_cast<int>(d->ndims);
    for (std::uint32_t i = 0; i < d->ndims; ++i) {
        if (mode == 1)
            sets[i] = all_positions(d->d[i].count);
        else if (wb)
            sets[i] = positions_for(d->d[i].range, d->d[i].count, workbench_var.subs[i], true);
        else
            sets[i] = positions_for(d->d[i].range, d->d[i].count, d->d[i].range, true);
    }
    return sets;
}

std::vector<std::uint32_t> offsets_of(const dim_record* d, const position_sets& sets) {
    std::vector<std::uint32_t> out;
    std::size_t total = 1;
    for (const auto& s : sets) total *= s.size();
    if (total == 0) return out;
    out.reserve(total);
    std::vector<std::size_t> idx(sets.size(), 0);
    for (;;) {
        std::uint32_t off = 0;
        for (std::size_t i = 0; i < sets.size(); ++i) off += sets[i][idx[i]] * d->d[i].stride;
        out.push_back(off);
        std::size_t k = sets.size();
        while (k > 0) {
            --k;
            if (++idx[k] < sets[k].size()) break;
            idx[k] = 0;
            if (k == 0) return out;
        }
        if (sets.empty()) return out;
    }
}

const char** to_scratch_list(const std::vector<std::string>& names, std::size_t extra = 0) {
    auto** list = static_cast<const char**>(scratch((names.size() + extra + 1) * sizeof(char*)));
    for (std::size_t i = 0; i < names.size(); ++i) list[i] = scratch_strdup(names[i].c_str());
    return list;
}

// The text of a whole selection: name[sub,...] where each dimension shows its
// range when all of it is chosen, the element when one is, else the chosen
// elements joined by "|".
std::string selection_text(symbol_id var, const dim_record* d, const position_sets& sets) {
    std::string out = varformat(var, 0);
    if (d->ndims == 0) return out;
    out += '[';
    for (std::uint32_t i = 0; i < d->ndims; ++i) {
        if (i) out += ',';
        symbol_id r = d->d[i].range;
        if (sets[i].size() == d->d[i].count || sets[i].empty()) {
            out += model_text_name(safe_sym_name(r));
            continue;
        }
        for (std::size_t k = 0; k < sets[i].size(); ++k) {
            if (k) out += '|';
            out +=
                model_text_name(safe_sym_name(range_element_at(r, static_cast<int>(sets[i][k]))));
        }
    }
    out += ']';
    return out;
}

} // namespace

std::string subscript_selection_text(symbol_id var) {
    const dim_record* d = safe_dims(var);
    if (!d) return varformat(var, 0);
    return selection_text(var, d, selection_of(var, d, 0));
}

std::vector<std::uint32_t> selected_element_offsets(symbol_id symbol, int mode) {
    model_lock_guard g(reading_model(), 0);
    const dim_record* d = g.ok() ? safe_dims(symbol) : nullptr;
    if (!d || !valid_symbol(symbol)) return {};
    return offsets_of(d, selection_of(symbol, d, mode));
}

int var_element_names(symbol_id symbol, const char*** list, int mode) {
    if (list) *list = nullptr;
    model_lock_guard g(reading_model(), 0);
    const dim_record* d = g.ok() ? safe_dims(symbol) : nullptr;
    if (!d || !valid_symbol(symbol)) return 0;
    std::vector<std::uint32_t> offs = offsets_of(d, selection_of(symbol, d, mode));
    auto** out = static_cast<const char**>(scratch((offs.size() + 1) * sizeof(char*)));
    for (std::size_t i = 0; i < offs.size(); ++i) out[i] = element_name(symbol, offs[i]);
    if (list) *list = out;
    return static_cast<int>(offs.size());
}

int expand_subscripted_name(const char* typed, const char** prefix, const char** suffix,
                            const char*** names, int, int) {
    if (prefix) *prefix = "";
    if (suffix) *suffix = "";
    if (names) *names = nullptr;
    model_lock_guard g(reading_model(), 0);
    if (!g.ok()) {
        report(8, "Unable to find %s in model", typed && *typed ? typed : "the variable");
        return 0;
    }
    symbol_id var = 0;
    const dim_record* d = nullptr;
    position_sets sets;
    if (!typed || !*typed) {
        var = workbench_var.var;
        d = safe_dims(var);
        if (!valid_symbol(var) || !d) {
            report(8, "Unable to find %s in model", "the workbench variable");
            return 0;
        }
        sets = selection_of(var, d, 0);
    } else {
        parsed_name p;
        parse_var_name(typed, &p);
        var = p.name.empty() ? 0 : find_symbol(p.name.c_str());
        d = safe_dims(var);
        if (!valid_symbol(var) || !d || !is_variable_type(sym(var)->type)) {
            report(8, "Unable to find %s in model", typed);
            return 0;
        }
        if (p.flags & ~pn_trailing_text) {
            report(8, "Badly formed subscripts in %s", typed);
            return 0;
        }
        if (p.nsubs == 0) {
            sets = selection_of(var, d, 0);
        } else if (static_cast<std::uint32_t>(p.nsubs) != d->ndims) {
            report(8, "%s needs %u subscripts, not %d", varformat(var, 0), d->ndims, p.nsubs);
            return 0;
        } else {
            sets.resize(d->ndims);
            for (std::uint32_t i = 0; i < d->ndims; ++i) {
                symbol_id s = find_symbol(p.subs[i].c_str());
                sets[i] = positions_for(d->d[i].range, d->d[i].count, s, false);
                if (sets[i].empty()) {
                    report(8, "%s is not a subscript of %s", p.subs[i].c_str(), varformat(var, 0));
                    return 0;
                }
            }
        }
    }
    std::vector<std::uint32_t> offs = offsets_of(d, sets);
    if (offs.empty()) {
        report(8, "No elements of %s are selected", varformat(var, 0));
        return 0;
    }
    auto** out = static_cast<const char**>(scratch((offs.size() + 2) * sizeof(char*)));
    for (std::size_t i = 0; i < offs.size(); ++i) out[i] = element_name(var, offs[i]);
    out[offs.size()] = scratch_strdup(selection_text(var, d, sets).c_str());
    if (names) *names = out;
    return static_cast<int>(offs.size());
}

int expand_name_elements(const parsed_name* parsed, const char* text, const char*** list,
                         int mode) {
    parsed_name local;
    if (!parsed) {
        parse_var_name(text, &local);
        parsed = &local;
    }
    std::string as_is = text ? text : parsed->name;
    auto take_as_is = [&]() {
        if (list) *list = to_scratch_list({as_is});
        return 1;
    };
    model_lock_guard g(reading_model(), 0);
    if (!g.ok() || parsed->name.empty() || (parsed->flags & ~pn_trailing_text)) return take_as_is();

    std::vector<symbol_id> vars;
    if (has_wildcard(parsed->name)) {
        std::string pattern = parsed->name;
        str_upper(pattern.data());
        int n = 0;
        const symbol_id* alpha = alpha_index(&n);
        for (int i = 0; alpha && i < n; ++i) {
            symbol_id s = alpha[i];
            if (!valid_symbol(s) || !is_variable_type(sym(s)->type)) continue;
            if (wildcard_match(safe_sym_name(s), pattern.c_str())) vars.push_back(s);
        }
    } else {
        symbol_id s = find_symbol(parsed->name.c_str());
        if (valid_symbol(s) && is_variable_type(sym(s)->type)) vars.push_back(s);
    }
    std::vector<std::string> names;
    for (symbol_id var : vars) {
        const dim_record* d = safe_dims(var);
        if (!d) continue;
        position_sets sets(d->ndims);
        if (parsed->nsubs == 0) {
            sets = selection_of(var, d, mode == 1 ? 0 : 1);
        } else if (static_cast<std::uint32_t>(parsed->nsubs) != d->ndims) {
            continue;
        } else {
            for (std::uint32_t i = 0; i < d->ndims; ++i) {
                const std::string& sub = parsed->subs[i];
                if (has_wildcard(sub)) {
                    std::string pattern = sub;
                    str_upper(pattern.data());
                    for (std::uint32_t k = 0; k < d->d[i].count; ++k) {
                        symbol_id e = range_element_at(d->d[i].range, static_cast<int>(k));
                        if (wildcard_match(safe_sym_name(e), pattern.c_str())) sets[i].push_back(k);
                    }
                } else {
                    sets[i] = positions_for(d->d[i].range, d->d[i].count, find_symbol(sub.c_str()),
                                            mode == 1);
                }
            }
        }
        for (std::uint32_t off : offsets_of(d, sets)) names.emplace_back(element_name(var, off));
    }
    if (names.empty()) return take_as_is();
    if (list) *list = to_scratch_list(names);
    return static_cast<int>(names.size());
}

void clear_var_flag(std::uint16_t bits) {
    model_lock_guard g(reading_model(), 0);
    if (!g.ok() || !model_hdr) return;
    std::uint32_t end = std::min(model_hdr->w[mh_sym_end], block_used_cells(model_syms));
    for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells)
        sym(s)->flags = static_cast<std::uint16_t>(sym(s)->flags & ~bits);
}

const std::uint8_t* per_slot_kinds(std::uint32_t* count) {
    if (count) *count = 0;
    if (!model_slot_types) return nullptr;
    const std::uint8_t* block = model_slot_types - sizeof(bhead);
    std::uint64_t bytes = 4ull * block_used_cells(block);
    std::uint64_t room = bytes > sizeof(bhead) ? bytes - sizeof(bhead) : 0;
    std::uint64_t n = std::min<std::uint64_t>(model_value_slots(), room);
    if (count) *count = static_cast<std::uint32_t>(n);
    return model_slot_types;
}

int slot_kind(std::int32_t slot) {
    std::uint32_t n = 0;
    const std::uint8_t* k = per_slot_kinds(&n);
    if (!k || slot < 0 || static_cast<std::uint32_t>(slot) >= n) return -1;
    return k[slot];
}

// Reading model files and the model part of run files, with every offset,
// count, cell and symbol id checked before it is used.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"
#include "model/varnames.h"

using namespace modelfile_format;

namespace {

// The largest block of a model part: far above any model's, far below what a
// damaged head may claim, so such a head is refused before memory is taken.
constexpr std::uint32_t model_block_max_bytes = 4u << 26;

struct reader {
    file_handle fh;
    bool foreign;
    const char* file;
    std::uint32_t hdr[mh_words]{};
    handle symbols = 0;

    bool fail(const char* what) {
        report(5, "Corrupted model in file %s: %s", file, what);
        return false;
    }
};

handle read_stored(reader& r, content kind) {
    owned_handle<std::uint32_t> b(read_block_raw(r.fh, r.foreign, model_block_max_bytes));
    std::uint32_t* c = b.lock();
    if (!c) return 0;
    std::uint32_t cur = reinterpret_cast<bhead*>(c)->cur;
    if (r.foreign && !convert_cells(kind, c, cur, true)) {
        report(5, "Corrupted block reading file %s", r.file);
        c[1] = 0;
        return 0;
    }
    return b.release();
}

// A NUL-terminated text starting at a cell of a byte block.
bool text_ok(const std::uint32_t* block, std::uint32_t cells, std::uint32_t cell) {
    if (cell < 5 || cell >= cells) return false;
    const char* p = reinterpret_cast<const char*>(block + cell);
    return memchr(p, 0, 4ull * (cells - cell)) != nullptr;
}

// Checks one equation tree; false with a reason.
bool check_tree(expr_node* n, std::uint32_t count, const char** why) {
    if (count == 0) return *why = "empty equation", false;
    if (!is_equation_kind(n[0].code)) return *why = "bad equation kind", false;
    std::vector<std::uint8_t> seen(count, 0); // 1 referenced, 2 text slot
    std::uint32_t lookups = model_hdr->w[mh_lookups];
    for (std::uint32_t i = 0; i < count; ++i) {
        if (seen[i] == 2) continue;
        const expr_node& x = n[i];
        if (x.next) {
            if (std::uint64_t{i} + x.next >= count || seen[i + x.next])
                return *why = "node out of range", false;
            seen[i + x.next] = 1;
        }
        if (node_has_children(x.code)) {
            if (x.operand) {
                if (std::uint64_t{i} + x.operand >= count || seen[i + x.operand])
                    return *why = "node out of range", false;
                seen[i + x.operand] = 1;
            }
        } else if (node_has_symbol(x.code)) {
            if (!valid_symbol(x.operand)) return *why = "bad symbol in equation", false;
        } else if (node_has_text(x.code)) {
            std::uint64_t slots = (std::uint64_t{x.operand} + 1 + 7) / 8;
            if (i + slots >= count) return *why = "text past the equation", false;
            const char* t = node_text(&x);
            if (t[x.operand] != 0 || memchr(t, 0, x.operand) != nullptr)
                return *why = "bad text in equation", false;
            for (std::uint64_t k = 1; k <= slots; ++k) {
                if (seen[i + k]) return *why = "node points into text", false;
                seen[i + k] = 2;
            }
            if (x.next && x.next <= slots) return *why = "node points into text", false;
        } else if (x.code == nc_lookup_def) {
            if (x.operand >= lookups) return *why = "bad lookup index", false;
        } else if (x.code != nc_number && x.code != nc_init_mark && x.code != nc_row_break &&
                   x.code != nc_comment) {
            return *why = "unknown node code", false;
        }
    }
    if (n[0].next) return *why = "root with a sibling", false;
    return true;
}

// The sizes, in cells, of the model's blocks, and its slot and lookup counts:
// what every offset is checked against.
struct model_extent {
    std::uint32_t scells = 0, ncells = 0, dcells = 0, ucells = 0, ecells = 0, ccells = 0,
                  qcells = 0, tcells = 0, lcells = 0, ldcells = 0;
    std::uint64_t slots = 0;
    std::uint32_t nlookups = 0;
};

// The header's counts and the blocks they size: slots, lookups and their
// points, slot types, settings text, password and the Time symbol.
bool check_model_counts(reader& r, const model_extent& m) {
    if (m.slots > (1u << 26) || model_hdr->w[mh_string_slots] > (1u << 26))
        return r.fail("slot counts");
    if (std::uint64_t{m.nlookups} * lookup_entry_cells + 5 > (m.nlookups ? m.lcells : 5))
        return r.fail("lookup count");
    for (std::uint32_t i = 0; i < m.nlookups; ++i) {
        const lookup_entry* e = lookup_at(static_cast<int>(i));
        if (!valid_symbol(e->symbol) || e->npoints > (1u << 24) || e->x < 5 || e->y < 5 ||
            std::uint64_t{e->x} + e->npoints > m.ldcells ||
            std::uint64_t{e->y} + e->npoints > m.ldcells)
            return r.fail("lookup points");
    }
    if (model_hdr->w[mh_slot_types] && cells_of(model_hdr->w[mh_slot_types]) * 4ull < 20 + m.slots)
        return r.fail("slot types");
    if (model_hdr->w[mh_settings_text]) {
        handle_lock<std::uint32_t> st(model_hdr->w[mh_settings_text]);
        if (!text_ok(st.get(), cells_of(model_hdr->w[mh_settings_text]), 5))
            return r.fail("settings text");
    }
    if (model_hdr->w[mh_password] && cells_of(model_hdr->w[mh_password]) < 5 + 14)
        return r.fail("password record");
    symbol_id time = model_hdr->w[mh_time_symbol];
    if (time && !valid_symbol(time)) return r.fail("Time");
    return true;
}

// Where the equation records and the token texts start, each record lying
// whole in its block.
bool find_record_starts(reader& r, const model_extent& m, std::set<std::uint32_t>& eq_starts,
                        std::set<std::uint32_t>& token_starts) {
    for (std::uint32_t i = 5; i < m.qcells;) {
        eq_starts.insert(i);
        // The record head must lie in the block before its node count is read.
        if (std::uint64_t{i} + 5 > m.qcells) return r.fail("equation block");
        const equation_record* e = eq_at(i);
        std::uint64_t next = i + 5 + 2ull * e->nnodes;
        if (next > m.qcells) return r.fail("equation block");
        i = static_cast<std::uint32_t>(next);
    }
    for (std::uint32_t i = 5; i < m.tcells;) {
        token_starts.insert(i);
        if (!model_tokens) return r.fail("token block");
        std::uint32_t len = reinterpret_cast<const std::uint32_t*>(model_tokens)[i];
        // The length word, the text and its terminating NUL, in whole cells.
        std::uint64_t next = i + (std::uint64_t{len} + 5 + 3) / 4;
        if (next > m.tcells) return r.fail("token text length");
        i = static_cast<std::uint32_t>(next);
    }
    return true;
}

// A symbol's dimension record: its ranges, their counts, the total and the
// strides.
bool check_symbol_dims(reader& r, const model_extent& m, const symbol_record* x) {
    if (x->dims < scalar_dims || x->dims + 26u > m.dcells) return r.fail("dimension record");
    const dim_record* d = dims_at(x->dims);
    if (d->ndims > max_dims) return r.fail("dimension count");
    std::uint64_t total = 1;
    for (std::uint32_t k = 0; k < d->ndims; ++k) {
        if (!valid_symbol(d->d[k].range) || sym(d->d[k].range)->type != st_range)
            return r.fail("dimension range");
        // A dimension has as many positions as its range has elements, and a
        // product of counts with a zero in it must not hide a huge count
        // behind a total of 0.
        const symbol_record* rr = sym(d->d[k].range);
        if (!model_elists || rr->elems < 5 || std::uint64_t{rr->elems} + 1 > m.ecells ||
            model_elists[rr->elems] != d->d[k].count || d->d[k].count == 0)
            return r.fail("dimension count");
        total *= d->d[k].count;
        if (total > max_var_elements) return r.fail("dimension size");
    }
    if (total != d->count) return r.fail("dimension count");
    // Last dimension fastest: each stride is the product of the later counts.
    for (std::uint64_t k = d->ndims, stride = 1; k-- > 0;) {
        if (d->d[k].stride != stride) return r.fail("dimension stride");
        stride *= d->d[k].count;
    }
    return true;
}

// A symbol's value slots (within the count of their kind), its range's
// element list and its units entry.
bool check_symbol_slots_and_units(reader& r, const model_extent& m, symbol_id id,
                                  const symbol_record* x,
                                  const std::set<std::uint32_t>& token_starts) {
    const int t = x->type;
    const dim_record* d = dims_at(x->dims);
    if (x->slot < -1) return r.fail("value slot");
    if (x->slot >= 0 && t != st_deleted) {
        std::uint64_t limit = t == st_lookup       ? m.nlookups
                              : t == st_string     ? model_hdr->w[mh_string_slots]
                              : has_value_slots(t) ? m.slots
                                                   : ~0ull;
        if (has_value_slots(t) || t == st_lookup || t == st_string)
            if (std::uint64_t(x->slot) + d->count > limit) return r.fail("value slot");
    }
    // Range elements.
    if (t == st_range && x->elems) {
        if (!model_elists || x->elems < 5 || x->elems >= m.ecells) return r.fail("element list");
        const element_list* l = range_elements(id);
        if (!l) return r.fail("element list");
        if (std::uint64_t{x->elems} + 1 + l->count > m.ecells) return r.fail("element list");
        for (std::uint32_t k = 0; k < l->count; ++k)
            if (!valid_symbol(l->ids[k]) || sym(l->ids[k])->type != st_element)
                return r.fail("range element");
    }
    // Units.
    if (x->units) {
        if (!model_units || x->units < 5 || x->units + 3ull > m.ucells)
            return r.fail("units entry");
        // Read the entry directly: sym_units() answers null for a deleted symbol.
        const units_entry* u = reinterpret_cast<const units_entry*>(model_units + x->units);
        if (x->units + 3ull + u->nnum + u->nden > m.ucells) return r.fail("units entry");
        for (std::uint32_t k = 0; k < u->nnum + u->nden; ++k)
            if (!valid_symbol(u->ids[k])) return r.fail("units name");
        if (u->tokens && !token_starts.count(u->tokens)) return r.fail("units text");
    }
    return true;
}

// A symbol's pair list and its equations: each equation record used once,
// its text a token text and its tree sound.
bool check_symbol_lists(reader& r, const model_extent& m, symbol_id id, const symbol_record* x,
                        const std::set<std::uint32_t>& eq_starts,
                        const std::set<std::uint32_t>& token_starts,
                        std::vector<std::uint8_t>& eq_used) {
    for (std::uint32_t c = x->pairs, guard = 0; c; ++guard) {
        if (c < 5 || c + 3ull > m.dcells || guard > m.dcells) return r.fail("pair list");
        const pair_entry* p = reinterpret_cast<const pair_entry*>(model_dims + c);
        if (!valid_symbol(p->symbol, true) ||
            !text_ok(reinterpret_cast<const std::uint32_t*>(model_comments), m.ccells, p->text))
            return r.fail("pair list");
        c = p->next;
    }
    for (std::uint32_t c = x->eqn; c;) {
        if (!eq_starts.count(c) || eq_used[c]) return r.fail("equation list");
        eq_used[c] = 1;
        equation_record* e = eq_at(c);
        e->code = 0;
        if (e->tokens && !token_starts.count(e->tokens)) return r.fail("equation text");
        // Every equation has its root node (an empty one would have node_skip
        // and the tree walkers read the next record as its root).
        const char* why = nullptr;
        if (!check_tree(eq_nodes(e), e->nnodes, &why)) {
            report(5, "Corrupted model in file %s: equation of %s: %s", r.file, sym_name(id), why);
            return false;
        }
        c = e->next;
    }
    return true;
}

// One symbol: its type, name, group, subscript reference, comment, then its
// dimensions, slots, units, pairs and equations.
bool check_symbol(reader& r, const model_extent& m, symbol_id id,
                  const std::set<std::uint32_t>& eq_starts,
                  const std::set<std::uint32_t>& token_starts, std::vector<std::uint8_t>& eq_used) {
    symbol_record* x = sym(id);
    x->uses = 0;
    int t = x->type;
    bool known = t == st_deleted || is_variable_type(t) || t == st_element || t == st_range ||
                 t == st_units || t == st_macro || t == st_group || t == st_function ||
                 t == st_vector_function;
    if (!known) return r.fail("symbol type");
    if (!text_ok(reinterpret_cast<const std::uint32_t*>(model_names), m.ncells, x->name))
        return r.fail("symbol name");
    if (x->group && !valid_symbol(x->group)) return r.fail("group of a symbol");
    if (x->subref && !valid_symbol(x->subref, true)) return r.fail("subscript reference");
    if (x->comment &&
        !text_ok(reinterpret_cast<const std::uint32_t*>(model_comments), m.ccells, x->comment))
        return r.fail("comment");
    return check_symbol_dims(r, m, x) && check_symbol_slots_and_units(r, m, id, x, token_starts) &&
           check_symbol_lists(r, m, id, x, eq_starts, token_starts, eq_used);
}

// Token texts: symbol escapes name symbols.
bool check_token_symbols(reader& r, const std::set<std::uint32_t>& token_starts) {
    for (std::uint32_t c : token_starts) {
        const token_text* tt = tokens_at(c);
        for (std::uint32_t k = 0; k < tt->bytes; ++k) {
            if (static_cast<unsigned char>(tt->text[k]) != token_symbol) continue;
            if (k + 4 >= tt->bytes) return r.fail("token text");
            std::uint32_t id;
            std::memcpy(&id, tt->text + k + 1, 4);
            if (!valid_symbol(id, true)) return r.fail("token text symbol");
            k += 4;
        }
    }
    return true;
}

bool check_model(reader& r) {
    handle_lock<std::uint32_t> s(r.symbols);
    // Published view of the model being checked.
    model_lock_guard g(r.symbols, 1);
    if (!g.ok()) return r.fail("blocks");
    model_extent m;
    m.scells = cells_of(r.symbols);
    if (model_hdr->w[mh_sym_end] != m.scells || m.scells < first_symbol_cell ||
        (m.scells - first_symbol_cell) % symbol_cells)
        return r.fail("symbol table size");
    if (!model_names || !model_dims) return r.fail("missing name pool or dimensions");
    m.ncells = cells_of(model_hdr->w[mh_names]);
    m.dcells = cells_of(model_hdr->w[mh_dims]);
    m.ucells = cells_of(model_hdr->w[mh_units]);
    m.ecells = cells_of(model_hdr->w[mh_elists]);
    m.ccells = cells_of(model_hdr->w[mh_comments]);
    m.qcells = cells_of(model_hdr->w[mh_equations]);
    m.tcells = cells_of(model_hdr->w[mh_tokens]);
    m.lcells = cells_of(model_hdr->w[mh_lookup_list]);
    m.ldcells = cells_of(model_hdr->w[mh_lookup_data]);
    if (m.dcells < scalar_dims + 26) return r.fail("dimensions");
    m.slots = std::uint64_t{model_hdr->w[mh_level_slots]} + model_hdr->w[mh_other_slots];
    m.nlookups = model_hdr->w[mh_lookups];
    if (!check_model_counts(r, m)) return false;
    std::set<std::uint32_t> eq_starts, token_starts;
    if (!find_record_starts(r, m, eq_starts, token_starts)) return false;
    std::vector<std::uint8_t> eq_used(m.qcells, 0);
    for (symbol_id id = first_symbol_cell; id + symbol_cells <= m.scells; id += symbol_cells)
        if (!check_symbol(r, m, id, eq_starts, token_starts, eq_used)) return false;
    return check_token_symbols(r, token_starts);
}

// One element of a view's element block at cell c: within the block, long
// enough for its kind, naming a symbol of the table (else dropped), its
// connector's ends among the view's n elements and its texts ended.
bool check_view_element(reader& r, std::uint8_t* bytes, std::uint32_t cur, std::uint32_t c,
                        std::uint32_t n, std::uint32_t scells) {
    // 64-bit: an index cell of 0xFFFFFFFF must not wrap to pass.
    if (c < view_dummy_cell || std::uint64_t{c} + 1 > cur) return r.fail("view element index");
    std::uint8_t* e = bytes + 4ull * c;
    std::uint32_t room = (cur - c) * 4;
    std::uint16_t len = get16(e);
    if (c == view_dummy_cell) return true;
    if (len < 4 || len > room) return r.fail("view element length");
    auto kind = static_cast<std::int8_t>(e[2]);
    e[3] = 0; // run-time flags mean nothing in a file
    if (kind == ek_variable || kind == ek_valve) {
        if (len < 24) return r.fail("view element length");
        symbol_id s = get32(e + 4);
        bool ok = s >= first_symbol_cell && std::uint64_t{s} + symbol_cells <= scells &&
                  (s - first_symbol_cell) % symbol_cells == 0;
        if (!ok) std::memset(e + 4, 0, 4); // the view loader drops it
    } else if (kind == ek_connector) {
        if (len < 16) return r.fail("connector length");
        int np = static_cast<std::int8_t>(e[13]);
        std::uint64_t need = 16 + 4ull * (np < 0 ? 0 : np);
        if (e[12]) need += (e[12] & 32) ? 44 : 12;
        if (np < 1 || need > len || get16(e + 4) >= n || get16(e + 6) >= n)
            return r.fail("connector");
        if (e[10] == 1 && !memchr(e + need, 0, len - need)) return r.fail("connector text");
    } else if (kind >= ek_variable) {
        // The fixed part's size is read from byte 19: the element
        // must hold the smallest one before it is read.
        if (len < 24) return r.fail("view element length");
        std::uint32_t fixed = e[19] == 0 ? 24 : (e[19] & 32) ? 72 : 40;
        bool text = kind == ek_text || (e[17] & 4);
        if (text && (fixed >= len || !memchr(e + fixed, 0, len - fixed)))
            return r.fail("view element text");
        if (kind == ek_text && (e[17] & 8)) std::memset(e + 4, 0, 4);
        if (kind == ek_text && !(e[17] & 8) && get32(e + 4) > 50) std::memset(e + 4, 0, 4);
    }
    return true;
}

// A view's element block: a sound block of pieces whose indexed elements
// each check.
bool check_view_block(reader& r, handle data, const std::vector<std::uint32_t>& index,
                      std::uint32_t scells) {
    const auto n = static_cast<std::uint32_t>(index.size());
    handle_lock<std::uint32_t> d(data);
    std::uint32_t cur = reinterpret_cast<bhead*>(d.get())->cur;
    if ((d.get()[0] & 0xFF) != 'C' || !walk_pieces(d.get(), cur, r.foreign, true) ||
        !walk_pieces(d.get(), cur, false, true))
        return r.fail("view element block");
    auto* bytes = reinterpret_cast<std::uint8_t*>(d.get());
    for (std::uint32_t i = 1; i < n; ++i)
        if (!check_view_element(r, bytes, cur, index[i], n, scells)) return false;
    return true;
}

// The pictures and attached blocks of a view's elements, which follow the
// view in the file: each is read and its handle put in its element in place
// of the file's.
bool read_view_attachments(reader& r, long size, handle data,
                           const std::vector<std::uint32_t>& index) {
    for (std::uint32_t i = 1; i < index.size(); ++i) {
        std::int8_t kind;
        handle payload;
        {
            handle_lock<std::uint8_t> d(data);
            std::uint8_t* e = d.get() + 4ull * index[i];
            kind = static_cast<std::int8_t>(e[2]);
            payload = index[i] == view_dummy_cell ? 0 : get32(e + 4);
            if (kind >= ek_bitmap) std::memset(e + 4, 0, 4);
        }
        if (kind < ek_bitmap || !payload) continue;
        handle made = 0;
        if (kind >= ek_attached) {
            made = read_block_raw(r.fh, r.foreign, model_block_max_bytes);
            if (!made) return false;
            if (r.foreign) {
                handle_lock<std::uint32_t> b(made);
                swap_words(b.get() + 5, reinterpret_cast<bhead*>(b.get())->cur - 5);
            }
        } else {
            std::uint32_t bytes;
            if (fh_read(r.fh, &bytes, 4) != 4) return r.fail("picture");
            if (r.foreign) bytes = swap32(bytes);
            const long pos = fh_seek(r.fh, 0, 1);
            if (bytes < 4 || bytes - 4 > static_cast<std::uint64_t>(size - pos) ||
                bytes > model_block_max_bytes)
                return r.fail("picture size");
            owned_handle<std::uint8_t> picture(new_handle(bytes));
            std::uint8_t* pb = picture.lock();
            std::memcpy(pb, &bytes, 4);
            if (fh_read(r.fh, pb + 4, bytes - 4) != bytes - 4) return r.fail("picture");
            if (r.foreign && kind == ek_metafile && bytes >= 20)
                for (int k = 1; k < 5; ++k) swap_at32(pb + 4 * k);
            made = picture.release();
        }
        handle_lock<std::uint8_t> d(data);
        std::memcpy(d.get() + 4ull * index[i] + 4, &made, 4);
    }
    return true;
}

bool read_views(reader& r, std::uint32_t* hdr) {
    std::uint32_t count = hdr[mh_view_count] & 0xFFFF;
    bool present = hdr[mh_views] != 0;
    hdr[mh_views] = 0;
    if (!present || count == 0) {
        hdr[mh_view_count] = 0;
        return true;
    }
    long pos = fh_seek(r.fh, 0, 1), size = fh_size(r.fh);
    if (pos < 0 || size - pos < static_cast<long>(count * sizeof(view_rec)))
        return r.fail("views past the end");
    std::vector<view_rec> recs(count);
    if (fh_read(r.fh, recs.data(), count * sizeof(view_rec)) != count * sizeof(view_rec))
        return r.fail("views");
    handle vb = new_handle(count * sizeof(view_rec));
    hdr[mh_views] = vb;
    for (auto& v : recs) {
        if (r.foreign) convert_view_rec(v);
        v.name[51] = 0;
        v.font.face[31] = 0;
    }
    // Store the records at once (handles cleared) so that a failure frees
    // what was made so far through free_model.
    auto store = [&]() {
        handle_lock<view_rec> b(vb);
        std::copy(recs.begin(), recs.end(), b.get());
    };
    std::vector<std::pair<bool, bool>> has(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        has[i] = {recs[i].index != 0 && recs[i].data != 0, recs[i].attached != 0};
        recs[i].index = recs[i].data = 0;
        recs[i].attached = 0;
    }
    store();
    std::uint32_t scells = hdr[mh_sym_end];
    for (std::uint32_t vi = 0; vi < count; ++vi) {
        view_rec& v = recs[vi];
        if (!has[vi].first) {
            v.count = 1;
            continue;
        }
        if (v.count < 1) return r.fail("view element count");
        std::uint32_t n = v.count;
        pos = fh_seek(r.fh, 0, 1);
        if (size - pos < static_cast<long>(4 * n)) return r.fail("view index past the end");
        std::uint32_t cap = std::max<std::uint32_t>(v.capacity, n);
        if (cap > 0xFFFF) cap = 0xFFFF;
        v.capacity = static_cast<std::uint16_t>(cap);
        v.index = new_handle(4 * cap);
        store();
        std::vector<std::uint32_t> index(n);
        if (fh_read(r.fh, index.data(), 4 * n) != 4 * n) return r.fail("view index");
        if (r.foreign) swap_words(index.data(), n);
        handle data = read_block_raw(r.fh, r.foreign, model_block_max_bytes);
        if (!data) return false;
        v.data = data;
        store();
        if (!check_view_block(r, data, index, scells)) return false;
        {
            handle_lock<std::uint32_t> ix(v.index);
            std::copy(index.begin(), index.end(), ix.get());
        }
        if (!has[vi].second) continue;
        v.attached = 1;
        store();
        if (!read_view_attachments(r, size, data, index)) return false;
    }
    store();
    return true;
}

// Whether the symbol block ahead is as large as the model header inside it
// says; looked at before the block is read, so a head claiming far more is
// refused without reading it. A head too damaged to tell is left to the block
// reader.
bool symbol_size_agrees(reader& r) {
    long at = fh_seek(r.fh, 0, 1);
    std::uint32_t head[first_symbol_cell];
    bool known = at >= 0 && fh_read(r.fh, head, sizeof head) == sizeof head;
    if (at >= 0) fh_seek(r.fh, at, 0);
    if (!known) return true;
    if (r.foreign) swap_words(head, first_symbol_cell);
    const auto* b = reinterpret_cast<const bhead*>(head);
    long size = fh_size(r.fh);
    std::uint64_t bytes = (std::uint64_t{b->size} - 5) * 4;
    // A head past the file or past any block's size the block reader refuses
    // itself, before it reads.
    if (b->guard != block_guard || b->size < first_symbol_cell || bytes > model_block_max_bytes ||
        size < at || bytes + sizeof(bhead) > static_cast<std::uint64_t>(size - at))
        return true;
    return head[model_header_cell + mh_sym_end] == b->size;
}

} // namespace

handle read_model_part(file_handle fh, bool foreign, const char* file_name, long* end) {
    reader r{fh, foreign, file_name ? file_name : block_file_name(fh)};
    if (!symbol_size_agrees(r)) {
        r.fail("symbol table size");
        return 0;
    }
    {
        owned_handle<std::uint32_t> symbols(read_stored(r, ct_symbols));
        std::uint32_t* s = symbols.lock();
        if (!s) return 0;
        if (reinterpret_cast<bhead*>(s)->cur < first_symbol_cell) {
            r.fail("symbol table");
            return 0;
        }
        std::memcpy(r.hdr, s + model_header_cell, sizeof r.hdr);
        // Clear every handle word: each is set again when its block is read.
        for (const stored_word& b : stored_blocks) s[model_header_cell + b.word] = 0;
        for (int m : memory_words) s[model_header_cell + m] = 0;
        s[model_header_cell + mh_views] = 0;
        s[model_header_cell + mh_view_count] = 0;
        // From here on the model's own release (free_model) gives it back.
        r.symbols = symbols.release();
    }
    auto give_up = [&]() {
        free_model(0, r.symbols);
        return handle{0};
    };
    for (const stored_word& b : stored_blocks) {
        if (!r.hdr[b.word]) continue;
        handle h = read_stored(r, b.kind);
        if (!h) return give_up();
        set_header_word(r.symbols, b.word, h);
    }
    {
        std::uint32_t h[mh_words];
        std::memcpy(h, r.hdr, sizeof h);
        h[mh_sym_end] = cells_of(r.symbols);
        bool ok = read_views(r, h);
        set_header_word(r.symbols, mh_views, h[mh_views]);
        set_header_word(r.symbols, mh_view_count, h[mh_views] ? (h[mh_view_count] & 0xFFFF) : 0);
        if (!ok) return give_up();
    }
    if (!check_model(r)) return give_up();
    if (end) *end = fh_seek(fh, 0, 1);
    // The stamp always describes the part as it is (a file of another writer
    // may carry none or a stale one).
    set_header_word(r.symbols, mh_stamp, model_part_stamp(r.symbols));
    rebuild_indexes(r.symbols);
    return r.symbols;
}

namespace {

// A model offset at or past the file's end (a damaged header word) is told
// as such, rather than as a block head the file ends inside far past its end.
bool model_offset_past_end(file_handle fh, std::uint32_t off, const char* name) {
    const long size = fh_size(fh);
    if (size < 0 || off < static_cast<std::uint64_t>(size)) return false;
    report(5, "Corrupted model in file %s: model offset %u is past the file's end (%ld bytes)",
           name, off, size);
    return true;
}

model_pair finish_read(file_handle fh, const kmf_header& h, const char* name) {
    model_pair m;
    if (h.version != kmf_version_300 && h.version != kmf_version_400) {
        report(5, "the file %s is not compatible with the current system", name);
        return m;
    }
    if (h.type != kmf_type_model) {
        report(5, "%s is not a binary model file", name);
        return m;
    }
    kmf_header copy = h;
    std::uint32_t off = kmf_word(copy, kmw_model_offset);
    if (model_offset_past_end(fh, off, name)) return m;
    if (off < sizeof(kmf_header) ||
        fh_seek(fh, static_cast<long>(off), 0) != static_cast<long>(off)) {
        report(5, "Corrupted model in file %s: model offset", name);
        return m;
    }
    handle s = read_model_part(fh, kmf_foreign, name);
    if (!s) return m;
    if (model_has_password(s)) {
        char typed[max_password_chars + 2] = {};
        int asked = ask_model_password(name, typed, sizeof typed);
        if (!asked) {
            report(8, "The model %s is protected by a password", name);
            free_model(0, s);
            return m;
        }
        if (!check_model_password(s, typed)) {
            report(8, "The password for the model %s is not correct", name);
            free_model(0, s);
            return m;
        }
        model_settings* ms = lock_model_settings(s);
        ms->password_edit = 1;
        unlock_model_settings(s);
    }
    m.symbols = s;
    m.header = new_handle(sizeof(kmf_header));
    handle_lock<kmf_header> hh(m.header);
    *hh.get() = h;
    return m;
}

} // namespace

model_pair read_model_file(const char* path) {
    kmf_header h{};
    file_handle fh = open_block_file(path, &h, 0);
    if (fh < 0) return {};
    model_pair m = finish_read(fh, h, path);
    fh_close(fh);
    return m;
}

model_pair read_model_bytes(const void* data, std::size_t bytes, const char* name) {
    file_handle fh = fh_open_bytes(data, bytes, name);
    if (fh < 0) return {};
    kmf_header h{};
    model_pair m;
    if (fh_read(fh, &h, sizeof h) != sizeof h || std::memcmp(h.magic, kmf_magic, 3) != 0) {
        report(5, "%s is not a binary model file", name);
    } else {
        int order = convert_kmf_header(&h);
        if (order == 0) {
            report(5, "the file %s is not compatible with the current system", name);
        } else {
            kmf_foreign = order == 2;
            m = finish_read(fh, h, name);
        }
    }
    fh_close(fh);
    return m;
}

handle read_binary_model(const char* name, int) {
    kmf_header h{};
    file_handle fh = open_block_file(name, &h, 0);
    if (fh < 0) return 0;
    if (h.version != kmf_version_300 && h.version != kmf_version_400) {
        report(5, "the file %s is not compatible with the current system", name);
        fh_close(fh);
        return 0;
    }
    bool foreign = kmf_foreign;
    handle info = 0, symbols = 0;
    bool model_file = h.type == kmf_type_model;
    if (model_file) {
        std::uint32_t off = kmf_word(h, kmw_model_offset);
        if (model_offset_past_end(fh, off, name)) {
            fh_close(fh);
            return 0;
        }
        if (off < sizeof h || fh_seek(fh, static_cast<long>(off), 0) < 0) {
            report(5, "Corrupted model in file %s: model offset", name);
            fh_close(fh);
            return 0;
        }
    } else if (kmf_word(h, kdf_word_info)) {
        // The information block holds text: only its length cell is a number.
        info = read_block_raw(fh, foreign, model_block_max_bytes);
        if (!info) {
            fh_close(fh);
            return 0;
        }
        owned_handle<std::uint32_t> owner(info);
        std::uint32_t* b = owner.lock();
        std::uint32_t cur = reinterpret_cast<const bhead*>(b)->cur;
        if (foreign && cur > 5) b[5] = swap32(b[5]);
        // The text and its NUL must lie inside the block.
        if (cur <= 6 || std::uint64_t{b[5]} >= 4ull * (cur - 6) ||
            reinterpret_cast<const char*>(b + 6)[b[5]] != '\0') {
            report(5, "Corrupted run information block in file %s", name);
            fh_close(fh);
            return 0;
        }
        info = owner.release();
    }
    symbols = read_model_part(fh, foreign, name);
    if (!symbols) {
        free_hblock_if(info);
        fh_close(fh);
        return 0;
    }
    if (model_file) {
        fh_close(fh);
        fh = -1;
        if (graph_set_hook_fn graph_hook = current_graph_set_hook()) {
            const char* text = embedded_graph_set_text(symbols);
            if (*text) graph_hook(text, 1);
        }
    } else {
        std::uint32_t flags = get_header_word(symbols, mh_flags);
        set_header_word(symbols, mh_flags, flags | mfl_from_run);
    }
    handle rec = new_handle(sizeof(kmf_header));
    handle_lock<kmf_header> r(rec);
    *r.get() = h;
    kmf_word(*r.get(), kdf_word_file) = static_cast<std::uint32_t>(fh);
    kmf_word(*r.get(), kdf_word_symbols) = symbols;
    kmf_word(*r.get(), kdf_word_info) = info;
    return rec;
}

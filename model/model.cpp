// The model in memory: publishing, building, names, slots and indexes.
#include "model/model.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "model/context.h"

std::uint32_t* model_syms = nullptr;
model_header* model_hdr = nullptr;
char* model_names = nullptr;
std::uint32_t* model_dims = nullptr;
std::uint32_t* model_units = nullptr;
std::uint32_t* model_elists = nullptr;
std::uint32_t* model_uses = nullptr;
char* model_comments = nullptr;
symbol_id* model_alpha = nullptr;
int model_alpha_count = 0;
std::uint32_t* model_lookups = nullptr;
float* model_lookup_data = nullptr;
std::uint8_t* model_slot_types = nullptr;
std::uint32_t* model_eqs = nullptr;
char* model_tokens = nullptr;

handle locked_model_symbols = 0;
int model_lock_flag = -1;
handle cur_model_header = 0;
handle cur_model_symbols = 0;
handle work_model_header = 0;
handle work_model_symbols = 0;
int work_model_ok = 0;

namespace {

// The blocks published by one lock, so that exactly those are unlocked.
struct published {
    handle symbols = 0;
    std::vector<handle> locked;
    bool alt = false;
};
published current_lock;
std::string cur_name, cur_dir;
close_model_hook_fn close_hook = nullptr;
model_switched_fn switch_listeners[max_switch_listeners] = {};
int switch_listener_count = 0;

// The publishable words: header word and the pointer it fills.
void* lock_word(published& p, int word) {
    handle h = model_hdr->w[word];
    if (!h || !handle_valid(h)) return nullptr;
    void* ptr = lock_handle(h);
    if (ptr) p.locked.push_back(h);
    return ptr;
}

void clear_pointers() {
    model_syms = nullptr;
    model_hdr = nullptr;
    model_names = nullptr;
    model_dims = model_units = model_elists = model_uses = nullptr;
    model_comments = nullptr;
    model_alpha = nullptr;
    model_alpha_count = 0;
    model_lookups = nullptr;
    model_lookup_data = nullptr;
    model_slot_types = nullptr;
    model_eqs = nullptr;
    model_tokens = nullptr;
}

bool publish(published& p, handle symbols, int with_nodes) {
    if (!symbols || !handle_valid(symbols)) return false;
    p.symbols = symbols;
    p.locked.clear();
    model_syms = static_cast<std::uint32_t*>(lock_handle(symbols));
    if (!model_syms) return false;
    p.locked.push_back(symbols);
    model_hdr = reinterpret_cast<model_header*>(model_syms + model_header_cell);
    model_names = static_cast<char*>(lock_word(p, mh_names));
    model_dims = static_cast<std::uint32_t*>(lock_word(p, mh_dims));
    model_units = static_cast<std::uint32_t*>(lock_word(p, mh_units));
    model_elists = static_cast<std::uint32_t*>(lock_word(p, mh_elists));
    model_uses = static_cast<std::uint32_t*>(lock_word(p, mh_uses));
    model_comments = static_cast<char*>(lock_word(p, mh_comments));
    auto* alpha = static_cast<std::uint32_t*>(lock_word(p, mh_alpha));
    model_alpha = alpha ? alpha + 5 : nullptr;
    model_alpha_count = alpha ? static_cast<int>(alpha[3] - 5) : 0;
    model_lookups = static_cast<std::uint32_t*>(lock_word(p, mh_lookup_list));
    model_lookup_data = static_cast<float*>(lock_word(p, mh_lookup_data));
    auto* types = static_cast<std::uint8_t*>(lock_word(p, mh_slot_types));
    model_slot_types = types ? types + 20 : nullptr;
    if (with_nodes) {
        model_eqs = static_cast<std::uint32_t*>(lock_word(p, mh_equations));
        model_tokens = static_cast<char*>(lock_word(p, mh_tokens));
    } else {
        model_eqs = nullptr;
        model_tokens = nullptr;
    }
    return true;
}

void unpublish(published& p) {
    for (handle h : p.locked)
        if (handle_valid(h)) unlock_handle(h);
    p.locked.clear();
    p.symbols = 0;
    clear_pointers();
}

struct saved_pointers {
    std::uint32_t* syms;
    model_header* hdr;
    char* names;
    std::uint32_t *dims, *units, *elists, *uses;
    char* comments;
    symbol_id* alpha;
    int alpha_count;
    std::uint32_t* lookups;
    float* lookup_data;
    std::uint8_t* slot_types;
    std::uint32_t* eqs;
    char* tokens;
};

saved_pointers save_pointers() {
    return {model_syms,    model_hdr,         model_names,      model_dims,  model_units,
            model_elists,  model_uses,        model_comments,   model_alpha, model_alpha_count,
            model_lookups, model_lookup_data, model_slot_types, model_eqs,   model_tokens};
}

void restore_pointers(const saved_pointers& s) {
    model_syms = s.syms;
    model_hdr = s.hdr;
    model_names = s.names;
    model_dims = s.dims;
    model_units = s.units;
    model_elists = s.elists;
    model_uses = s.uses;
    model_comments = s.comments;
    model_alpha = s.alpha;
    model_alpha_count = s.alpha_count;
    model_lookups = s.lookups;
    model_lookup_data = s.lookup_data;
    model_slot_types = s.slot_types;
    model_eqs = s.eqs;
    model_tokens = s.tokens;
}

int take_lock(handle symbols, int flag, bool alt, const char* who) {
    if (model_lock_flag != -1) {
        report(10, "MDL1010 %s(%d) while the model is locked (flag %d)", who, flag,
               model_lock_flag);
        return 0;
    }
    if (!symbols) return 0;
    if (!publish(current_lock, symbols, alt ? 1 : flag)) {
        unpublish(current_lock);
        report(10, "MDL1011 %s: the model's blocks are not valid", who);
        return 0;
    }
    current_lock.alt = alt;
    locked_model_symbols = symbols;
    model_lock_flag = flag;
    return 1;
}

int drop_lock(int flag, bool alt, const char* who) {
    if (model_lock_flag == -1) {
        report(10, "MDL1012 %s(%d) without a lock", who, flag);
        return 0;
    }
    if (current_lock.alt != alt)
        report(10, "MDL1013 %s(%d) closes a lock taken by %s", who, flag,
               current_lock.alt ? "lock_model_alt" : "lock_model");
    else if (flag != model_lock_flag)
        report(10, "MDL1014 %s(%d) after a lock with flag %d", who, flag, model_lock_flag);
    unpublish(current_lock);
    locked_model_symbols = 0;
    model_lock_flag = -1;
    return 1;
}

} // namespace

int lock_model(int with_nodes) {
    return take_lock(cur_model_symbols, with_nodes, false, "lock_model");
}
int unlock_model(int with_nodes) {
    return drop_lock(with_nodes, false, "unlock_model");
}
int lock_model_alt(int ok) {
    handle s = work_model_symbols ? work_model_symbols : cur_model_symbols;
    int r = take_lock(s, ok, true, "lock_model_alt");
    if (r) work_model_ok = ok;
    return r;
}
int unlock_model_alt(int ok) {
    return drop_lock(ok, true, "unlock_model_alt");
}

struct model_lock_guard::saved_state {
    saved_pointers pointers;
    published lock;
    handle locked_symbols;
    int flag;
};

model_lock_guard::model_lock_guard(handle symbols, int with_nodes) {
    if (!symbols || !handle_valid(symbols)) return;
    if (model_lock_flag != -1 && locked_model_symbols == symbols &&
        (with_nodes == 0 || model_eqs != nullptr)) {
        ok_ = true;
        return;
    }
    if (model_lock_flag != -1) {
        saved_ =
            new saved_state{save_pointers(), current_lock, locked_model_symbols, model_lock_flag};
        current_lock = published{};
    }
    published p;
    if (!publish(p, symbols, with_nodes)) {
        unpublish(p);
        if (saved_) {
            restore_pointers(saved_->pointers);
            current_lock = saved_->lock;
            delete saved_;
            saved_ = nullptr;
        }
        return;
    }
    current_lock = p;
    if (!saved_) {
        locked_model_symbols = symbols;
        model_lock_flag = with_nodes;
    }
    took_ = true;
    ok_ = true;
    flag_ = with_nodes;
}

model_lock_guard::~model_lock_guard() {
    if (!took_) return;
    unpublish(current_lock);
    if (saved_) {
        restore_pointers(saved_->pointers);
        current_lock = saved_->lock;
        locked_model_symbols = saved_->locked_symbols;
        model_lock_flag = saved_->flag;
        delete saved_;
    } else {
        locked_model_symbols = 0;
        model_lock_flag = -1;
    }
}

// ------------------------------------------------------------- accessors ---

namespace {
std::uint32_t block_cells(const void* block) {
    return block ? static_cast<const bhead*>(block)->cur : 0;
}
} // namespace

bool valid_symbol(symbol_id id, bool allow_deleted) {
    if (!model_syms || !model_hdr) return false;
    std::uint32_t end = std::min(model_hdr->w[mh_sym_end], block_cells(model_syms));
    if (id < first_symbol_cell || std::uint64_t{id} + symbol_cells > end) return false;
    if ((id - first_symbol_cell) % symbol_cells != 0) return false;
    return allow_deleted || sym(id)->type != st_deleted;
}

const element_list* range_elements(symbol_id range) {
    if (!model_elists || !valid_symbol(range)) return nullptr;
    std::uint32_t c = sym(range)->elems;
    if (!c || sym(range)->type != st_range) return nullptr;
    return reinterpret_cast<const element_list*>(model_elists + c);
}

const units_entry* sym_units(symbol_id id) {
    if (!model_units || !valid_symbol(id) || !sym(id)->units) return nullptr;
    return reinterpret_cast<const units_entry*>(model_units + sym(id)->units);
}

const token_text* tokens_at(std::uint32_t cell) {
    if (!model_tokens || !cell) return nullptr;
    return reinterpret_cast<const token_text*>(model_tokens + 4 * std::size_t{cell});
}

const char* sym_comment(symbol_id id) {
    if (!model_comments || !valid_symbol(id) || !sym(id)->comment) return "";
    return model_comments + 4 * std::size_t{sym(id)->comment};
}

const uses_list* sym_uses(symbol_id id) {
    if (!model_uses || !valid_symbol(id) || !sym(id)->uses) return nullptr;
    return reinterpret_cast<const uses_list*>(model_uses + sym(id)->uses);
}

const pair_entry* sym_pairs(symbol_id id) {
    if (!model_dims || !valid_symbol(id) || !sym(id)->pairs) return nullptr;
    return reinterpret_cast<const pair_entry*>(model_dims + sym(id)->pairs);
}

const pair_entry* next_pair(const pair_entry* p) {
    if (!p || !p->next) return nullptr;
    return reinterpret_cast<const pair_entry*>(model_dims + p->next);
}

const char* pair_text(const pair_entry* p) {
    if (!p || !p->text || !model_comments) return "";
    return model_comments + 4 * std::size_t{p->text};
}

const lookup_entry* lookup_at(int i) {
    if (!model_lookups || !model_hdr || i < 0 ||
        static_cast<std::uint32_t>(i) >= model_hdr->w[mh_lookups])
        return nullptr;
    return reinterpret_cast<const lookup_entry*>(model_lookups + 5 + lookup_entry_cells * i);
}
const float* lookup_x(const lookup_entry* e) {
    return e && model_lookup_data ? model_lookup_data + e->x : nullptr;
}
const float* lookup_y(const lookup_entry* e) {
    return e && model_lookup_data ? model_lookup_data + e->y : nullptr;
}

std::uint32_t sym_slot_count(symbol_id id) {
    if (!valid_symbol(id) || sym(id)->slot < 0) return 0;
    return sym_dims(id)->count;
}

int element_position(symbol_id range, symbol_id element) {
    const element_list* l = range_elements(range);
    if (!l) return -1;
    for (std::uint32_t i = 0; i < l->count; ++i)
        if (l->ids[i] == element) return static_cast<int>(i);
    return -1;
}

const char* node_text(const expr_node* n) {
    return reinterpret_cast<const char*>(n + 1);
}

expr_node* node_next(expr_node* n) {
    if (!n || n->next == 0) return nullptr;
    return n + n->next;
}

expr_node* node_child(expr_node* n) {
    if (!n || !node_has_children(n->code) || n->operand == 0) return nullptr;
    return n + n->operand;
}

expr_node* node_skip_comments(expr_node* n) {
    while (n && n->code == nc_comment) n = node_next(n);
    return n;
}

expr_node* node_skip(expr_node* root) {
    expr_node* lhs = node_skip_comments(node_child(root));
    if (!lhs) return nullptr;
    return node_skip_comments(node_next(lhs));
}

// ------------------------------------------------------------- building ---

namespace {

std::uint32_t header_word(handle symbols, int word) {
    handle_lock<std::uint32_t> s(symbols);
    return s ? s.get()[model_header_cell + word] : 0;
}
void put_header_word(handle symbols, int word, std::uint32_t v) {
    handle_lock<std::uint32_t> s(symbols);
    if (s) s.get()[model_header_cell + word] = v;
}

bool building_locked(handle symbols) {
    if (symbols && symbols == locked_model_symbols) {
        report(10, "MDL1020 the model is changed while it is locked");
        return true;
    }
    return false;
}

// The block of a header word, made when absent.
handle block_for(handle symbols, int word, std::uint32_t cells = 0, bool pieces = false) {
    handle h = header_word(symbols, word);
    if (!h) {
        h = pieces ? new_cblock(cells, 0, 0) : new_hblock(cells, 0, 0);
        put_header_word(symbols, word, h);
    }
    return h;
}

std::string normal_name(const char* name) {
    // Trimmed, runs of white space collapsed into one blank; underscores kept
    // as typed (compared as blanks).
    std::string out;
    bool blank = false;
    for (const char* p = name ? name : ""; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += static_cast<char>(c);
    }
    return out;
}

void hash_insert(handle symbols, symbol_id id, const char* name) {
    std::uint32_t buckets = header_word(symbols, mh_hash_buckets);
    handle heads = header_word(symbols, mh_hash_heads);
    handle over = header_word(symbols, mh_hash_overflow);
    if (!buckets || !heads || !over) return;
    std::uint32_t b = hash_name(name, buckets);
    std::uint32_t link_cell = 0; // 0: the head itself
    std::uint32_t cur;
    {
        handle_lock<std::uint32_t> hd(heads);
        cur = hd.get()[5 + b];
    }
    while (cur) {
        handle_lock<std::uint32_t> ov(over);
        auto* e = reinterpret_cast<hash_entry*>(ov.get() + cur);
        for (auto& slot : e->ids)
            if (slot == 0) {
                slot = id;
                return;
            }
        link_cell = cur;
        cur = e->next;
    }
    std::int32_t cell = hblock_alloc(over, sizeof(hash_entry), 0);
    if (cell < 0) return;
    {
        handle_lock<std::uint32_t> ov(over);
        reinterpret_cast<hash_entry*>(ov.get() + cell)->ids[0] = id;
        if (link_cell) reinterpret_cast<hash_entry*>(ov.get() + link_cell)->next = cell;
    }
    if (!link_cell) {
        handle_lock<std::uint32_t> hd(heads);
        hd.get()[5 + b] = static_cast<std::uint32_t>(cell);
    }
}

void make_hash(handle symbols, std::uint32_t buckets) {
    free_hblock_if(header_word(symbols, mh_hash_heads));
    free_hblock_if(header_word(symbols, mh_hash_overflow));
    handle heads = new_hblock(buckets + 5, 0, 0);
    hblock_alloc(heads, buckets * 4, 0);
    put_header_word(symbols, mh_hash_heads, heads);
    put_header_word(symbols, mh_hash_overflow, new_hblock(buckets * 5 + 5, 0, 0));
    put_header_word(symbols, mh_hash_buckets, buckets);
}

} // namespace

std::uint32_t get_header_word(handle symbols, int word) {
    return header_word(symbols, word);
}
void set_header_word(handle symbols, int word, std::uint32_t value) {
    put_header_word(symbols, word, value);
}

symbol_record get_symbol(handle symbols, symbol_id id) {
    symbol_record r{};
    handle_lock<std::uint32_t> s(symbols);
    if (s && id >= first_symbol_cell && std::uint64_t{id} + symbol_cells <= block_cells(s.get()))
        std::memcpy(&r, s.get() + id, sizeof r);
    return r;
}

void put_symbol(handle symbols, symbol_id id, const symbol_record& rec) {
    handle_lock<std::uint32_t> s(symbols);
    if (s && id >= first_symbol_cell && std::uint64_t{id} + symbol_cells <= block_cells(s.get()))
        std::memcpy(s.get() + id, &rec, sizeof rec);
}

symbol_id add_symbol(handle symbols, const char* name, int type) {
    if (building_locked(symbols)) return 0;
    std::string n = normal_name(name);
    handle names = block_for(symbols, mh_names);
    std::int32_t name_cell = hblock_add_string(names, n.c_str());
    std::int32_t cell = hblock_alloc(symbols, sizeof(symbol_record), 0);
    if (cell < 0 || name_cell < 0) return 0;
    symbol_record r{};
    r.name = static_cast<std::uint32_t>(name_cell);
    r.dims = scalar_dims;
    r.slot = -1;
    r.min = r.max = r.incr = float_bits(NA);
    r.type = static_cast<std::uint8_t>(type);
    put_symbol(symbols, static_cast<symbol_id>(cell), r);
    put_header_word(symbols, mh_sym_end, static_cast<std::uint32_t>(cell) + symbol_cells);
    put_header_word(symbols, mh_symbol_count, header_word(symbols, mh_symbol_count) + 1);
    hash_insert(symbols, static_cast<symbol_id>(cell), n.c_str());
    return static_cast<symbol_id>(cell);
}

std::uint32_t add_dims(handle symbols, const symbol_id* ranges, int ndims) {
    if (ndims <= 0) return scalar_dims;
    if (ndims > max_dims || building_locked(symbols)) return 0;
    dim_record d{};
    d.ndims = static_cast<std::uint32_t>(ndims);
    {
        model_lock_guard g(symbols, 0);
        if (!g.ok()) return 0;
        for (int i = 0; i < ndims; ++i) {
            const element_list* l = range_elements(ranges[i]);
            d.d[i].range = ranges[i];
            d.d[i].count = l ? l->count : 0;
        }
        std::uint32_t stride = 1;
        for (int i = ndims - 1; i >= 0; --i) {
            d.d[i].stride = stride;
            stride *= d.d[i].count;
        }
        d.count = stride;
        // Share an existing record of the same shape.
        std::uint32_t end = model_hdr->w[mh_sym_end];
        for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells) {
            std::uint32_t c = sym(s)->dims;
            if (c != scalar_dims && std::memcmp(dims_at(c), &d, sizeof d) == 0) return c;
        }
    }
    handle dims = block_for(symbols, mh_dims);
    std::int32_t cell = hblock_alloc(dims, sizeof d, 0);
    if (cell < 0 || cell > 0xFFFF - static_cast<std::int32_t>(sizeof d / 4)) {
        report(5, "Too many different subscript shapes in one model");
        return 0;
    }
    handle_lock<std::uint32_t> b(dims);
    std::memcpy(b.get() + cell, &d, sizeof d);
    return static_cast<std::uint32_t>(cell);
}

void set_range_elements(handle symbols, symbol_id range, const symbol_id* ids, int count) {
    if (building_locked(symbols) || count < 0) return;
    handle el = block_for(symbols, mh_elists);
    std::int32_t cell = hblock_alloc(el, 4u * (static_cast<std::uint32_t>(count) + 1), 0);
    if (cell < 0) return;
    {
        handle_lock<std::uint32_t> b(el);
        b.get()[cell] = static_cast<std::uint32_t>(count);
        std::memcpy(b.get() + cell + 1, ids, 4u * static_cast<std::uint32_t>(count));
    }
    symbol_record r = get_symbol(symbols, range);
    r.elems = static_cast<std::uint32_t>(cell);
    put_symbol(symbols, range, r);
}

std::uint32_t add_tokens(handle symbols, const char* bytes, std::uint32_t length) {
    if (building_locked(symbols) || !bytes) return 0;
    handle tk = block_for(symbols, mh_tokens);
    std::int32_t cell = hblock_alloc(tk, 4 + length + 1, 0);
    if (cell < 0) return 0;
    handle_lock<std::uint32_t> b(tk);
    b.get()[cell] = length;
    std::memcpy(reinterpret_cast<char*>(b.get() + cell + 1), bytes, length);
    return static_cast<std::uint32_t>(cell);
}

std::uint32_t add_units(handle symbols, std::uint32_t tokens, const symbol_id* num, int nnum,
                        const symbol_id* den, int nden) {
    if (building_locked(symbols) || nnum < 0 || nden < 0) return 0;
    handle un = block_for(symbols, mh_units);
    std::int32_t cell = hblock_alloc(
        un, 4u * (3 + static_cast<std::uint32_t>(nnum) + static_cast<std::uint32_t>(nden)), 0);
    if (cell < 0) return 0;
    handle_lock<std::uint32_t> b(un);
    std::uint32_t* e = b.get() + cell;
    e[0] = tokens;
    e[1] = static_cast<std::uint32_t>(nnum);
    e[2] = static_cast<std::uint32_t>(nden);
    if (nnum) std::memcpy(e + 3, num, 4u * static_cast<std::uint32_t>(nnum));
    if (nden) std::memcpy(e + 3 + nnum, den, 4u * static_cast<std::uint32_t>(nden));
    return static_cast<std::uint32_t>(cell);
}

void set_comment(handle symbols, symbol_id id, const char* text) {
    if (building_locked(symbols)) return;
    std::uint32_t cell = 0;
    if (text && *text) {
        std::int32_t c = hblock_add_string(block_for(symbols, mh_comments), text);
        if (c < 0) return;
        cell = static_cast<std::uint32_t>(c);
    }
    symbol_record r = get_symbol(symbols, id);
    r.comment = cell;
    put_symbol(symbols, id, r);
}

void add_pair(handle symbols, symbol_id id, symbol_id other, const char* text) {
    if (building_locked(symbols)) return;
    std::int32_t tcell = hblock_add_string(block_for(symbols, mh_comments), text ? text : "");
    handle dims = block_for(symbols, mh_dims);
    std::int32_t cell = hblock_alloc(dims, sizeof(pair_entry), 0);
    if (cell < 0 || tcell < 0) return;
    symbol_record r = get_symbol(symbols, id);
    handle_lock<std::uint32_t> b(dims);
    auto* p = reinterpret_cast<pair_entry*>(b.get() + cell);
    p->symbol = other;
    p->text = static_cast<std::uint32_t>(tcell);
    p->next = 0;
    if (!r.pairs) {
        r.pairs = static_cast<std::uint32_t>(cell);
        put_symbol(symbols, id, r);
        return;
    }
    std::uint32_t c = r.pairs;
    for (int guard = 0; guard < 1000000; ++guard) {
        auto* q = reinterpret_cast<pair_entry*>(b.get() + c);
        if (!q->next) {
            q->next = static_cast<std::uint32_t>(cell);
            return;
        }
        c = q->next;
    }
}

std::uint32_t add_equation(handle symbols, symbol_id id, const expr_node* nodes,
                           std::uint32_t nnodes, std::uint32_t tokens, std::int32_t order) {
    if (building_locked(symbols)) return 0;
    // Every equation has at least its root: an equation without a tree is
    // kept as text only (nc_unparsed), so node walkers always find node 0.
    const expr_node text_only{nc_unparsed, 0, 0};
    if (nnodes == 0) {
        nodes = &text_only;
        nnodes = 1;
    }
    handle eqs = block_for(symbols, mh_equations);
    std::int32_t cell =
        hblock_alloc(eqs, static_cast<std::uint32_t>(sizeof(equation_record) + 8u * nnodes), 0);
    if (cell < 0) return 0;
    symbol_record r = get_symbol(symbols, id);
    handle_lock<std::uint32_t> b(eqs);
    auto* e = reinterpret_cast<equation_record*>(b.get() + cell);
    e->next = 0;
    e->tokens = tokens;
    e->order = order;
    e->code = 0;
    e->nnodes = nnodes;
    if (nnodes) std::memcpy(eq_nodes(e), nodes, 8u * nnodes);
    if (!r.eqn) {
        r.eqn = static_cast<std::uint32_t>(cell);
        put_symbol(symbols, id, r);
    } else {
        std::uint32_t c = r.eqn;
        for (int guard = 0; guard < 1000000; ++guard) {
            auto* q = reinterpret_cast<equation_record*>(b.get() + c);
            if (!q->next) {
                q->next = static_cast<std::uint32_t>(cell);
                break;
            }
            c = q->next;
        }
    }
    return static_cast<std::uint32_t>(cell);
}

int add_lookup(handle symbols, symbol_id id, std::uint32_t element, const float* x, const float* y,
               std::uint32_t npoints) {
    if (building_locked(symbols)) return -1;
    handle list = block_for(symbols, mh_lookup_list);
    handle data = block_for(symbols, mh_lookup_data);
    std::int32_t xc = hblock_alloc(data, 4 * npoints, 0);
    std::int32_t yc = hblock_alloc(data, 4 * npoints, 0);
    std::int32_t cell = hblock_alloc(list, sizeof(lookup_entry), 0);
    if (xc < 0 || yc < 0 || cell < 0) return -1;
    if (npoints) { // a lookup without points may come with no arrays
        handle_lock<std::uint32_t> d(data);
        std::memcpy(d.get() + xc, x, 4 * npoints);
        std::memcpy(d.get() + yc, y, 4 * npoints);
    }
    int index = (cell - 5) / static_cast<int>(lookup_entry_cells);
    {
        handle_lock<std::uint32_t> l(list);
        auto* e = reinterpret_cast<lookup_entry*>(l.get() + cell);
        *e = {id, element, npoints, static_cast<std::uint32_t>(xc), static_cast<std::uint32_t>(yc)};
    }
    put_header_word(symbols, mh_lookups, static_cast<std::uint32_t>(index + 1));
    if (element == 0) {
        symbol_record r = get_symbol(symbols, id);
        r.slot = index;
        put_symbol(symbols, id, r);
    }
    return index;
}

void set_settings_text(handle symbols, const char* text) {
    if (building_locked(symbols)) return;
    free_hblock_if(header_word(symbols, mh_settings_text));
    put_header_word(symbols, mh_settings_text, 0);
    if (!text || !*text) return;
    handle h = new_hblock(static_cast<std::uint32_t>(std::strlen(text) / 4 + 8), 0, 0);
    hblock_add_string(h, text);
    put_header_word(symbols, mh_settings_text, h);
}

// --------------------------------------------------------------- new model ---

model_pair new_model(const char* name, int flags) {
    model_pair m;
    m.symbols = new_hblock(first_symbol_cell + 40 * symbol_cells, 0, 0);
    hblock_alloc(m.symbols, sizeof(model_header), 0);
    put_header_word(m.symbols, mh_sym_end, first_symbol_cell);
    handle dims = new_hblock(0, 0, 0);
    std::int32_t sc = hblock_alloc(dims, sizeof(dim_record), 0);
    {
        handle_lock<std::uint32_t> d(dims);
        reinterpret_cast<dim_record*>(d.get() + sc)->count = 1;
    }
    put_header_word(m.symbols, mh_dims, dims);
    put_header_word(m.symbols, mh_names, new_hblock(0, 0, 0));
    make_hash(m.symbols, 256);
    m.header = new_handle(164);
    {
        handle_lock<std::uint8_t> h(m.header);
        std::uint8_t* p = h.get();
        p[0] = 0x7F;
        p[1] = 0xF7;
        p[2] = 0x17;
        p[3] = kmf_type_model;
        if (name) std::strncpy(reinterpret_cast<char*>(p + 4), name, 75);
        std::uint16_t bom = kmf_byte_order_mark, ver = kmf_version_400;
        std::memcpy(p + 80, &bom, 2);
        std::memcpy(p + 82, &ver, 2);
    }
    symbol_id control = add_symbol(m.symbols, control_group_name, st_group);
    symbol_id time = add_symbol(m.symbols, "Time", st_level);
    put_header_word(m.symbols, mh_time_symbol, time);
    symbol_record t = get_symbol(m.symbols, time);
    t.group = control;
    put_symbol(m.symbols, time, t);
    if (!(flags & 1)) {
        const char* names[4] = {"INITIAL TIME", "FINAL TIME", "TIME STEP", "SAVEPER"};
        const float values[4] = {0, 100, 1, 1};
        for (int i = 0; i < 4; ++i) {
            symbol_id s = add_symbol(m.symbols, names[i], st_constant);
            symbol_record r = get_symbol(m.symbols, s);
            r.group = control;
            put_symbol(m.symbols, s, r);
            expr_node nodes[3] = {{nc_constant_eq, 0, 1}, {nc_ref, 1, s}, {nc_number, 0, 0}};
            nodes[2].operand = float_bits(values[i]);
            add_equation(m.symbols, s, nodes, 3, 0, i + 1);
        }
    }
    assign_value_slots(m.symbols);
    rebuild_indexes(m.symbols);
    return m;
}

void free_model(handle header, handle symbols) {
    if (header && handle_valid(header)) free_handle(header);
    if (!symbols || !handle_valid(symbols)) return;
    if (symbols == locked_model_symbols) {
        report(10, "MDL1030 free_model of a locked model");
        drop_lock(model_lock_flag, current_lock.alt, "free_model");
    }
    std::uint32_t w[mh_words];
    {
        handle_lock<std::uint32_t> s(symbols);
        std::memcpy(w, s.get() + model_header_cell, sizeof w);
    }
    const int blocks[] = {mh_lookup_list, mh_equations,     mh_tokens,     mh_names,
                          mh_dims,        mh_units,         mh_elists,     mh_comments,
                          mh_uses,        mh_alpha,         mh_hash_heads, mh_hash_overflow,
                          mh_lookup_data, mh_settings_text, mh_slot_types, mh_password};
    for (int b : blocks)
        if (w[b] && handle_valid(w[b])) free_hblock(w[b]);
    if (w[mh_settings] && handle_valid(w[mh_settings])) {
        {
            handle_lock<model_settings> ms(w[mh_settings]);
            if (ms->notes) free_handle(ms->notes);
            if (ms->refs) free_handle(ms->refs);
        }
        free_handle(w[mh_settings]);
    }
    if (w[mh_model_rec] && handle_valid(w[mh_model_rec])) free_model_context(w[mh_model_rec]);
    free_view_block(w[mh_views], w[mh_view_count] & 0xFFFF);
    free_hblock(symbols);
    if (symbols == cur_model_symbols) {
        cur_model_symbols = 0;
        cur_model_header = 0;
    }
    if (symbols == work_model_symbols) {
        work_model_symbols = 0;
        work_model_header = 0;
    }
}

void set_close_model_hook(close_model_hook_fn hook) {
    close_hook = hook;
}

void on_model_switched(model_switched_fn fn) {
    for (int i = 0; i < switch_listener_count; ++i)
        if (switch_listeners[i] == fn) return;
    if (switch_listener_count == max_switch_listeners) {
        report(10, "MDL1032 too many model switch listeners");
        return;
    }
    switch_listeners[switch_listener_count++] = fn;
}

void close_model(handle header, handle symbols, const char* dir, const char* name) {
    if (model_lock_flag != -1) {
        report(10, "MDL1031 close_model with the model locked");
        drop_lock(model_lock_flag, current_lock.alt, "close_model");
    }
    handle old_h = cur_model_header, old_s = cur_model_symbols;
    if (close_hook && (old_s || old_h)) close_hook(old_h, old_s);
    set_model_rec(0);
    if (old_s && old_s != symbols) free_model(old_h != header ? old_h : 0, old_s);
    cur_model_header = header;
    cur_model_symbols = symbols;
    work_model_header = header;
    work_model_symbols = symbols;
    cur_name = name ? name : "";
    cur_dir = dir ? dir : "";
    if (symbols) {
        handle ctx = header_word(symbols, mh_model_rec);
        if (ctx) set_model_rec(ctx);
    }
    for (int i = 0; i < switch_listener_count; ++i) switch_listeners[i]();
}

bool model_is_open() {
    return model_rec && model_rec->state != 2 && cur_model_symbols;
}

const char* current_model_name() {
    return cur_name.c_str();
}
const char* current_model_dir() {
    return cur_dir.c_str();
}

// ------------------------------------------------------------------ names ---

std::uint32_t hash_name(const char* name, std::uint32_t buckets) {
    std::uint32_t h = 0;
    bool pending_blank = false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name ? name : ""); *p;
         ++p) {
        unsigned char c = fold_upper[*p];
        if (c == '_' || c == ' ' || c == '\t') {
            pending_blank = h != 0;
            continue;
        }
        if (pending_blank) h = h * 31 + ' ';
        pending_blank = false;
        h = h * 31 + c;
    }
    return buckets ? h % buckets : h;
}

int scan_var_name(const char* text, char* out, std::size_t out_size) {
    std::string s = scan_var_name(text);
    std::size_t name_len = s.find('[');
    if (name_len == std::string::npos) name_len = s.size();
    if (out && out_size) {
        std::size_t n = std::min(s.size(), out_size - 1);
        std::memcpy(out, s.data(), n);
        out[n] = 0;
    }
    return static_cast<int>(name_len);
}

const char* read_name_part(const char* p, std::string& raw) {
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') raw += *p++;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != '[') raw += *p++;
    }
    return p;
}

std::string scan_var_name(const char* text) {
    const char* p = text ? text : "";
    while (*p == ' ' || *p == '\t') ++p;
    std::string raw;
    p = read_name_part(p, raw);
    for (char& c : raw)
        if (c == '_') c = ' ';
    std::string name = normal_name(raw.c_str());
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '[') {
        std::string sub;
        while (*p && *p != ']') sub += *p++;
        sub += ']';
        name += normal_name(sub.c_str());
    }
    return name;
}

symbol_id find_symbol_in(handle symbols, const char* name) {
    model_lock_guard g(symbols, 0);
    if (!g.ok() || !model_hdr) return 0;
    std::string n = scan_var_name(name);
    std::size_t br = n.find('[');
    if (br != std::string::npos) n.resize(br);
    while (!n.empty() && n.back() == ' ') n.pop_back();
    if (n.empty()) return 0;
    std::uint32_t buckets = model_hdr->w[mh_hash_buckets];
    handle heads = model_hdr->w[mh_hash_heads];
    handle over = model_hdr->w[mh_hash_overflow];
    if (!buckets || !heads || !over) return 0;
    handle_lock<std::uint32_t> hd(heads);
    handle_lock<std::uint32_t> ov(over);
    if (!hd || !ov) return 0;
    std::uint32_t hcells = block_cells(hd.get()), ocells = block_cells(ov.get());
    std::uint32_t b = hash_name(n.c_str(), buckets);
    if (5 + b >= hcells) return 0;
    std::uint32_t cur = hd.get()[5 + b];
    for (std::uint32_t guard = 0; cur && guard < ocells; ++guard) {
        if (cur < 5 || cur + 5 > ocells) return 0;
        auto* e = reinterpret_cast<const hash_entry*>(ov.get() + cur);
        for (symbol_id id : e->ids)
            if (id && valid_symbol(id) && name_cmp_us(sym_name(id), n.c_str()) == 0) return id;
        cur = e->next;
    }
    return 0;
}

symbol_id find_symbol(const char* name) {
    handle s = cur_model_symbols;
    if (model_lock_flag != -1 && locked_model_symbols) s = locked_model_symbols;
    return find_symbol_in(s, name);
}

const symbol_id* alpha_index(int* count) {
    if (count) *count = model_alpha ? model_alpha_count : 0;
    return model_alpha;
}

// ------------------------------------------------------------------ slots ---

void assign_value_slots(handle symbols) {
    if (building_locked(symbols)) return;
    std::vector<std::uint8_t> types;
    std::uint32_t level_slots = 0, other = 0, strings = 0;
    {
        model_lock_guard g(symbols, 0);
        if (!g.ok()) return;
        std::uint32_t end = model_hdr->w[mh_sym_end];
        symbol_id time = model_hdr->w[mh_time_symbol];
        std::vector<symbol_id> levels, dynamic, fixed;
        for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells) {
            int t = sym(s)->type;
            if (t == st_string) {
                sym(s)->slot = static_cast<std::int32_t>(strings);
                strings += sym_dims(s)->count;
            } else if (t == st_lookup || t == st_deleted) {
                continue;
            } else if (s == time) {
                continue;
            } else if (t == st_level) {
                levels.push_back(s);
            } else if (is_dynamic_type(t)) {
                dynamic.push_back(s);
            } else if (is_start_value_type(t)) {
                fixed.push_back(s);
            } else if (t < st_element) {
                sym(s)->slot = -1;
            }
        }
        std::uint32_t next = 0;
        if (time && valid_symbol(time)) {
            sym(time)->slot = 0;
            types.push_back(st_level);
            next = 1;
        }
        auto give = [&](const std::vector<symbol_id>& list) {
            for (symbol_id s : list) {
                sym(s)->slot = static_cast<std::int32_t>(next);
                std::uint32_t n = sym_dims(s)->count;
                next += n;
                types.insert(types.end(), n, sym(s)->type);
            }
        };
        give(levels);
        level_slots = next;
        give(dynamic);
        give(fixed);
        other = next - level_slots;
        model_hdr->w[mh_level_slots] = level_slots;
        model_hdr->w[mh_other_slots] = other;
        model_hdr->w[mh_string_slots] = strings;
    }
    free_hblock_if(header_word(symbols, mh_slot_types));
    handle st = new_hblock(static_cast<std::uint32_t>(types.size() / 4 + 8), 0, 0);
    std::int32_t cell = hblock_alloc(st, static_cast<std::uint32_t>(types.size() + 1), 0);
    if (cell == 5) {
        handle_lock<std::uint8_t> b(st);
        if (!types.empty()) std::memcpy(b.get() + 20, types.data(), types.size());
    }
    put_header_word(symbols, mh_slot_types, st);
}

// ---------------------------------------------------------------- indexes ---

void rebuild_indexes(handle symbols) {
    if (building_locked(symbols)) return;
    std::vector<std::pair<std::string, symbol_id>> names;
    std::vector<std::pair<symbol_id, std::vector<symbol_id>>> uses;
    {
        model_lock_guard g(symbols, 1);
        if (!g.ok()) return;
        std::uint32_t end = model_hdr->w[mh_sym_end];
        std::uint32_t eq_cells = model_eqs ? block_cells(model_eqs) : 0;
        std::vector<std::vector<symbol_id>> users((end + symbol_cells) / symbol_cells);
        for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells) {
            if (sym(s)->type == st_deleted) continue;
            names.emplace_back(sym_name(s), s);
            std::uint32_t c = sym(s)->eqn;
            for (std::uint32_t guard = 0; c && model_eqs && guard < eq_cells; ++guard) {
                if (c + 5 > eq_cells) break;
                equation_record* e = eq_at(c);
                if (c + 5 + 2ull * e->nnodes > eq_cells) break;
                expr_node* root = eq_nodes(e);
                // Every node below the root except the left-hand side.
                std::vector<expr_node*> stack;
                if (e->nnodes) {
                    expr_node* lhs = node_child(root);
                    for (expr_node* k = lhs ? node_next(lhs) : nullptr; k; k = node_next(k))
                        stack.push_back(k);
                }
                while (!stack.empty()) {
                    expr_node* n = stack.back();
                    stack.pop_back();
                    if (n->code == nc_ref || n->code == nc_symbol) {
                        symbol_id r = n->operand;
                        if (r != s && valid_symbol(r) && sym(r)->type <= st_last_variable) {
                            auto& u = users[(r - first_symbol_cell) / symbol_cells];
                            if (std::find(u.begin(), u.end(), s) == u.end()) u.push_back(s);
                        }
                    }
                    for (expr_node* k = node_child(n); k; k = node_next(k)) stack.push_back(k);
                }
                c = e->next;
            }
        }
        for (std::size_t i = 0; i < users.size(); ++i)
            if (!users[i].empty())
                uses.emplace_back(first_symbol_cell + static_cast<symbol_id>(i) * symbol_cells,
                                  std::move(users[i]));
    }
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) {
        int c = name_cmp_us(a.first.c_str(), b.first.c_str());
        return c != 0 ? c < 0 : a.second < b.second;
    });
    // Alphabetical index.
    free_hblock_if(header_word(symbols, mh_alpha));
    handle alpha = new_hblock(static_cast<std::uint32_t>(names.size()) + 8, 0, 0);
    if (!names.empty()) {
        std::int32_t cell = hblock_alloc(alpha, static_cast<std::uint32_t>(names.size() * 4), 0);
        handle_lock<std::uint32_t> a(alpha);
        for (std::size_t i = 0; i < names.size(); ++i) a.get()[cell + i] = names[i].second;
    }
    put_header_word(symbols, mh_alpha, alpha);
    put_header_word(symbols, mh_symbol_count, static_cast<std::uint32_t>(names.size()));
    // Hash.
    std::uint32_t buckets = 64;
    while (buckets < names.size()) buckets *= 2;
    make_hash(symbols, buckets);
    for (const auto& n : names) hash_insert(symbols, n.second, n.first.c_str());
    // Uses lists.
    free_hblock_if(header_word(symbols, mh_uses));
    handle ub = new_hblock(0, 0, 0);
    put_header_word(symbols, mh_uses, ub);
    handle_lock<std::uint32_t> sb(symbols);
    for (symbol_id s = first_symbol_cell; s + symbol_cells <= header_word(symbols, mh_sym_end);
         s += symbol_cells)
        reinterpret_cast<symbol_record*>(sb.get() + s)->uses = 0;
    for (auto& [s, list] : uses) {
        std::int32_t cell = hblock_alloc(ub, static_cast<std::uint32_t>(4 * (list.size() + 1)), 0);
        handle_lock<std::uint32_t> u(ub);
        u.get()[cell] = static_cast<std::uint32_t>(list.size());
        std::memcpy(u.get() + cell + 1, list.data(), 4 * list.size());
        reinterpret_cast<symbol_record*>(sb.get() + s)->uses = static_cast<std::uint32_t>(cell);
    }
}

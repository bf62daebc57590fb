// Causes and uses trees.
#include "model/trees.h"

#include <algorithm>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "foundation/memory.h"
#include "foundation/names.h"
#include "model/references.h"
#include "model/varnames.h"

std::uint8_t cause_opts[2] = {1, 1};
int tree_kind_flags[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};

namespace {

mem_pool* item_pool = nullptr;

} // namespace

void tree_node_keys(tree_node* n, symbol_id symbol, std::uint32_t element) {
    n->symbol = symbol;
    n->element = element;
    n->slot = -1;
    n->rank = 0;
    if (!valid_symbol(symbol)) return;
    const symbol_record* r = sym(symbol);
    switch (r->type) {
    case st_string:
    case st_test_input:
    case st_constraint:
    case st_lookup:
        n->rank = 1;
        break;
    default:
        break;
    }
    if (r->slot >= 0) n->slot = r->slot + static_cast<std::int32_t>(element);
}

tree_node* new_tree_node(symbol_id symbol, std::uint32_t element) {
    auto* n = new (scratch(sizeof(tree_node))) tree_node{};
    tree_node_keys(n, symbol, element);
    return n;
}

int tree_kind_shown(int type) {
    switch (type) {
    case 0:
    case st_element:
    case st_range:
        return 1;
    case st_level:
        return tree_kind_flags[0] != 0;
    case st_time_base:
    case st_aux:
    case st_game:
        return tree_kind_flags[1] != 0;
    case st_data:
        return tree_kind_flags[2] != 0;
    case st_initial:
        return tree_kind_flags[3] != 0;
    case st_constant:
    case st_data_constant:
        return tree_kind_flags[4] != 0;
    case st_lookup:
        return tree_kind_flags[5] != 0;
    case st_test_input:
        return tree_kind_flags[6] != 0;
    case st_constraint:
        return tree_kind_flags[7] != 0;
    default:
        return 1;
    }
}

// ----------------------------------------------------------- causes, uses ---

int symbol_causes(symbol_id id, symbol_id* out, int max) {
    if (!valid_symbol(id) || !model_eqs) return 0;
    std::vector<symbol_id> found;
    std::set<symbol_id> seen;
    int k = 0;
    for (equation_record* e = first_equation(id); e && k < max_equations_per_symbol;
         e = next_equation(e), ++k)
        for_each_reference(e, cause_opts[0] != 0, cause_opts[1] != 0, [&](int, symbol_id var) {
            if (seen.insert(var).second) found.push_back(var);
        });
    int n = std::min<int>(max, static_cast<int>(found.size()));
    for (int i = 0; i < n; ++i) out[i] = found[i];
    return n;
}

bool symbol_refers_to(symbol_id user, symbol_id id) {
    bool hit = false;
    int k = 0;
    for (equation_record* e = first_equation(user); e && !hit && k < max_equations_per_symbol;
         e = next_equation(e), ++k)
        for_each_reference(e, cause_opts[0] != 0, cause_opts[1] != 0,
                           [&](int, symbol_id var) { hit = hit || var == id; });
    return hit;
}

int symbol_uses(symbol_id id, symbol_id* out, int max) {
    if (!valid_symbol(id) || !model_hdr) return 0;
    std::vector<symbol_id> candidates;
    const std::uint32_t cell = sym(id)->uses;
    std::uint32_t used = block_used_cells(model_uses);
    if (model_uses) {
        if (cell >= bhead_cells && std::uint64_t{cell} + 1 <= used) {
            const auto* u = reinterpret_cast<const uses_list*>(model_uses + cell);
            if (std::uint64_t{cell} + 1 + u->count <= used)
                candidates.assign(u->ids, u->ids + u->count);
        }
    } else {
        // No uses lists: every symbol is a candidate.
        std::uint32_t end = std::min(model_hdr->w[mh_sym_end], block_used_cells(model_syms));
        for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells)
            candidates.push_back(s);
    }
    std::set<symbol_id> seen;
    int n = 0;
    for (symbol_id u : candidates) {
        if (n >= max) break;
        if (!valid_symbol(u) || !is_variable_type(sym(u)->type) || !seen.insert(u).second) continue;
        if (model_eqs && !symbol_refers_to(u, id)) continue;
        out[n++] = u;
    }
    return n;
}

namespace {

// The nodes at a depth below root (root at depth 0) that may grow.
void nodes_at(tree_node* root, int depth, std::vector<tree_node*>& out) {
    struct item {
        tree_node* n;
        int d;
    };
    std::vector<item> stack{{root, 0}};
    while (!stack.empty()) {
        item it = stack.back();
        stack.pop_back();
        if (it.d == depth) {
            out.push_back(it.n);
            continue;
        }
        // Children pushed in order, then reversed in place, so they pop in order.
        std::size_t first = stack.size();
        for (tree_node* c = it.n->child; c; c = c->next) stack.push_back({c, it.d + 1});
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    }
}

int grow(tree_node* root, int level, bool uses) {
    if (!root || level < 1 || level > max_tree_level || !model_hdr) return 0;
    int size = tree_size(root);
    if (size >= max_tree_nodes) return 0;
    std::vector<tree_node*> parents;
    nodes_at(root, level - 1, parents);
    // Reused between calls: the tools grow trees level by level for every
    // variable, and filling a fresh array each time cost more than the search.
    static std::vector<symbol_id> found;
    if (found.size() < 256) found.resize(256);
    int added = 0;
    for (tree_node* p : parents) {
        if (p->repeated || p->child || !valid_symbol(p->symbol)) continue;
        int n;
        for (;;) {
            n = uses ? symbol_uses(p->symbol, found.data(), static_cast<int>(found.size()))
                     : symbol_causes(p->symbol, found.data(), static_cast<int>(found.size()));
            if (n < static_cast<int>(found.size())) break;
            found.resize(found.size() * 2);
        }
        tree_node* tail = nullptr;
        for (int i = 0; i < n && size + added < max_tree_nodes; ++i) {
            symbol_id s = found[i];
            tree_node* c = new_tree_node(s);
            if (sym(s)->flags & sf_mark_10)
                c->repeated = 1;
            else
                sym(s)->flags = static_cast<std::uint16_t>(sym(s)->flags | sf_mark_10);
            if (tail)
                tail->next = c;
            else
                p->child = c;
            tail = c;
            ++added;
        }
    }
    return added;
}

} // namespace

int cause_tree(tree_node* root, int level) {
    return grow(root, level, false);
}

int uses_tree(tree_node* root, int level) {
    return grow(root, level, true);
}

int tree_size(const tree_node* root) {
    if (!root) return 0;
    int n = 0;
    std::vector<const tree_node*> stack{root};
    while (!stack.empty()) {
        const tree_node* t = stack.back();
        stack.pop_back();
        ++n;
        for (const tree_node* c = t->child; c; c = c->next) stack.push_back(c);
    }
    return n;
}

// ------------------------------------------------------- filter and sort ---

namespace {

bool shown(const tree_node* n) {
    if (!n->symbol) return true;
    if (!valid_symbol(n->symbol)) return false;
    return tree_kind_shown(sym(n->symbol)->type) != 0;
}

// Filters a sibling list (and everything below it); the new head.
tree_node* filter_list(tree_node* head, int depth) {
    tree_node* out_head = nullptr;
    tree_node* out_tail = nullptr;
    auto append = [&](tree_node* n) {
        n->next = nullptr;
        if (out_tail)
            out_tail->next = n;
        else
            out_head = n;
        out_tail = n;
    };
    for (tree_node* n = head; n;) {
        tree_node* next = n->next;
        if (depth < 2 * max_tree_level) n->child = filter_list(n->child, depth + 1);
        if (shown(n)) {
            append(n);
        } else {
            for (tree_node* c = n->child; c;) {
                tree_node* cn = c->next;
                c->lifted = 1;
                append(c);
                c = cn;
            }
        }
        n = next;
    }
    return out_head;
}

void sort_children(tree_node* n, int depth) {
    if (!n || depth > 2 * max_tree_level) return;
    std::vector<tree_node*> kids;
    for (tree_node* c = n->child; c; c = c->next) kids.push_back(c);
    std::stable_sort(kids.begin(), kids.end(), [](const tree_node* a, const tree_node* b) {
        if (!a->symbol || !b->symbol) return a->symbol < b->symbol;
        return name_cmp_us(safe_sym_name(a->symbol), safe_sym_name(b->symbol)) < 0;
    });
    n->child = nullptr;
    tree_node* tail = nullptr;
    for (tree_node* c : kids) {
        c->next = nullptr;
        if (tail)
            tail->next = c;
        else
            n->child = c;
        tail = c;
        sort_children(c, depth + 1);
    }
}

} // namespace

tree_node* filter_tree(tree_node* root) {
    if (root) root->child = filter_list(root->child, 1);
    return root;
}

tree_node* filter_tree_list(tree_node* head) {
    return filter_list(head, 0);
}

void sort_tree(tree_node* root) {
    sort_children(root, 0);
}

tree_node* sort_tree_list(tree_node* list, const tree_node* exclude) {
    std::set<std::pair<symbol_id, std::uint32_t>> drop;
    int guard = 0;
    for (const tree_node* x = exclude; x && guard < (1 << 24); x = x->next, ++guard)
        drop.insert({x->symbol, x->element});
    std::vector<tree_node*> nodes;
    std::set<std::pair<symbol_id, std::uint32_t>> seen;
    guard = 0;
    for (tree_node* n = list; n && guard < (1 << 24); n = n->next, ++guard) {
        std::pair<symbol_id, std::uint32_t> key{n->symbol, n->element};
        if (drop.count(key) || !seen.insert(key).second) continue;
        nodes.push_back(n);
    }
    std::stable_sort(nodes.begin(), nodes.end(), [](const tree_node* a, const tree_node* b) {
        if (a->rank != b->rank) return a->rank < b->rank;
        return a->slot < b->slot;
    });
    tree_node* head = nullptr;
    tree_node* tail = nullptr;
    for (tree_node* n : nodes) {
        n->next = nullptr;
        if (tail)
            tail->next = n;
        else
            head = n;
        tail = n;
    }
    return head;
}

// ------------------------------------------------------ cause element list ---

namespace {

tree_node* cause_head = nullptr;
tree_node* cause_tail = nullptr;
std::set<std::pair<symbol_id, std::uint32_t>> cause_seen;

} // namespace

void add_cause_element(symbol_id s, std::uint32_t element) {
    if (!cause_seen.insert({s, element}).second) return;
    auto* n = new (item_alloc(sizeof(tree_node))) tree_node{};
    tree_node_keys(n, s, element);
    if (cause_tail)
        cause_tail->next = n;
    else
        cause_head = n;
    cause_tail = n;
}

tree_node* cause_element_list() {
    return cause_head;
}

void clear_cause_element_list() {
    cause_head = cause_tail = nullptr;
    cause_seen.clear();
}

// -------------------------------------------------------------- item pool ---

void* item_alloc(std::size_t bytes) {
    if (!item_pool) item_pool = new_block(0);
    return block_alloc(item_pool, bytes, 0);
}

void reset_item_pool() {
    clear_cause_element_list();
    free_block(item_pool);
    item_pool = new_block(0);
}

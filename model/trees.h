// Causes and uses trees: the variables an equation refers to (causes) and the
// variables whose equations refer to a variable (uses), grown one level at a
// time under a tree node, filtered by the kinds a tool shows and sorted.
//
// Nodes live in scratch memory and hold symbol ids, never pointers into the
// model. The trees read the locked model (with nodes for the causes) and mark
// the symbols they have visited with flag sf_mark_10; a symbol met again is
// added as a repeated leaf and never grown, so a model with feedback loops
// gives a finite tree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/model.h"

struct tree_node {
    tree_node* next = nullptr;  // next sibling
    tree_node* child = nullptr; // first child
    symbol_id symbol = 0;       // 0: a symbol-less node (the root of a two-sided tree)
    std::int32_t slot = -1;     // sort key: value (or lookup, string) slot of the element
    std::int32_t rank = 0;      // sort key: 1 for string, test-input, constraint and lookup
    std::uint32_t element = 0;  // element offset (cause element lists)
    std::uint8_t repeated = 0;  // the symbol appears earlier in the tree
    std::uint8_t lifted = 0;    // hidden nodes were removed between this node and its parent
};

// A new node for a symbol (scratch memory), its keys set from the model.
tree_node* new_tree_node(symbol_id symbol, std::uint32_t element = 0);
// Sets a node's symbol, element and sort keys.
void tree_node_keys(tree_node* node, symbol_id symbol, std::uint32_t element);

// The two switches of the cause collection, both on by default: [0] follow
// the initial-value parts of equations (a level's initial value, the initial
// arguments of delays and smoothing); [1] list lookups used as functions.
extern std::uint8_t cause_opts[2];

// The kind switches that tree_kind_shown obeys, in the tools' order: levels
// (8), auxiliaries (15, 17, 19), data (5), initials (22), constants (23, 24),
// lookups (26), test inputs (28), constraints (29), and a ninth that the kind
// test does not read. The tools overwrite them before each build.
extern int tree_kind_flags[9];
// Whether a symbol type is shown (0, 131 and 132 always; types the switches do
// not name too).
int tree_kind_shown(int type);

// The direct causes and uses of a symbol under the cause options, each once,
// in the order met.
int symbol_causes(symbol_id id, symbol_id* out, int max);
int symbol_uses(symbol_id id, symbol_id* out, int max);
// Whether any equation of user refers to id (under the cause options); the
// reference test of the loop search. Needs the nodes locked.
bool symbol_refers_to(symbol_id user, symbol_id id);

// Adds the level-th level (1: the root's children) of causes, or of uses,
// under root. Nodes already at that level are left alone, so calling with 1,
// 2, ... depth grows the tree one level each time. Symbols met for the first
// time get flag sf_mark_10; symbols that had it become repeated leaves. The
// caller marks the root (and clears the marks before a new tree). Returns the
// number of nodes added. Levels above max_tree_level and trees above
// max_tree_nodes add nothing more.
int cause_tree(tree_node* root, int level);
int uses_tree(tree_node* root, int level);
inline constexpr int max_tree_level = 64;
inline constexpr int max_tree_nodes = 200000;

// Removes the nodes under root whose kind is not shown, lifting their children
// into their place (marked lifted); the root itself stays. Returns root.
tree_node* filter_tree(tree_node* root);
// The same for a sibling list (which has no root); the new head.
tree_node* filter_tree_list(tree_node* head);
// Sorts every child list under root by name (case ignored).
void sort_tree(tree_node* root);
// Sorts a sibling list by slot, string, test-input, constraint and lookup
// entries after the others; drops entries that repeat an earlier one and
// entries that name an element of the exclude list. The new head.
tree_node* sort_tree_list(tree_node* list, const tree_node* exclude);

// Counts the nodes of a tree (root included).
int tree_size(const tree_node* root);

// The cause elements collected by print_var_equation since the list was last
// cleared, as a chain of tree nodes (symbol, element, slot), in the order
// first named, each once.
tree_node* cause_element_list();
void clear_cause_element_list();
// Adds an element to the cause element list unless it is there already (the
// node comes from the item pool).
void add_cause_element(symbol_id s, std::uint32_t element);

// The small-item pool: memory for short lists that must outlive scratch
// memory until the next run (the cause element list). reset_item_pool frees
// everything in it and starts a fresh pool; called after a run.
void* item_alloc(std::size_t bytes);
void reset_item_pool();

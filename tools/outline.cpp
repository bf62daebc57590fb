// The outline of a causes or uses tree.
#include "tools/outline.h"

#include <algorithm>
#include <cstring>

#include "foundation/docwriter.h"
#include "model/eqtext.h"

namespace {

int write_node(const tree_node* n, int level) {
    const char* name = varformat(n->symbol, 0);
    // The indentation stops where the line would pass the report's line:
    // the old writer kept growing it and failed past 512 characters.
    int room = outline_line_chars - 2 - static_cast<int>(std::strlen(name));
    out_indent = std::max(0, std::min(5 * level, room));
    docprintf("%s%s", n->child ? "+ " : "- ", name);
    int lines = 1;
    for (const tree_node* c = n->child; c; c = c->next) {
        docprintf("\n");
        lines += write_node(c, level + 1);
    }
    return lines;
}

} // namespace

int outline_text(symbol_id var, const outline_options& options) {
    model_lock_guard lock(cur_model_symbols, 1);
    if (!lock.ok() || !valid_symbol(var)) return 0;
    for (int i = 0; i < 9; ++i) tree_kind_flags[i] = options.show[i];
    cause_opts[0] = options.cause_opts[0];
    cause_opts[1] = options.cause_opts[1];
    clear_var_flag(sf_mark_10 | sf_mark_04);
    tree_node* root = new_tree_node(var);
    sym(var)->flags |= sf_mark_10;
    for (int level = 1; level <= options.depth && level <= max_tree_level; ++level)
        options.direction == 1 ? uses_tree(root, level) : cause_tree(root, level);
    filter_tree(root);
    sort_tree(root);
    const int saved_indent = out_indent;
    int lines = write_node(root, 0);
    out_indent = saved_indent;
    docprintf("\n");
    return lines;
}

// Model documentation and the group skeleton.
#include "tools/document.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>

#include "foundation/docwriter.h"
#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/eqtext.h"
#include "model/units.h"
#include "runs/access.h"
#include "runs/select.h"
#include "shell/wip.h"
#include "tools/liveruns.h"

namespace {

constexpr const char* banner = "********************************\n";

bool line_open() {
    return doc_column() > 0;
}

bool is_documented_variable(symbol_id s) {
    const symbol_record* r = sym(s);
    if (r->type == st_string) return true;
    return r->eqn != 0 && r->type != st_group && (r->flags & sf_hidden) == 0;
}

// The tree services' cause options, restored on every way out.
class cause_opts_guard {
public:
    cause_opts_guard() : saved_{cause_opts[0], cause_opts[1]} {}
    ~cause_opts_guard() {
        cause_opts[0] = saved_[0];
        cause_opts[1] = saved_[1];
    }
    cause_opts_guard(const cause_opts_guard&) = delete;
    cause_opts_guard& operator=(const cause_opts_guard&) = delete;

private:
    std::uint8_t saved_[2];
};

// A comment written line by line, each stored line after two tabs and wrapped
// with continuation lines after two tabs.
void write_comment_lines(const char* text) {
    std::string rest = text;
    std::size_t at = 0;
    while (at <= rest.size()) {
        std::size_t nl = rest.find('\n', at);
        std::string line = rest.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        std::erase(line, '\r');
        docprintf("\t\t");
        write_wrapped(16, line.c_str(), 2, 0);
        docprintf("\n");
        if (nl == std::string::npos) break;
        at = nl + 1;
    }
}

// A comment collapsed into one paragraph, wrapped from column.
void write_collapsed(const char* text, int column) {
    char* copy = scratch_strdup(text);
    collapse_blanks(copy);
    write_wrapped(column, copy, 1, 0);
}

struct writer {
    const document_options& o;
    bool model_scope;
    const document_list* list = nullptr;
    std::string number_format;
    int level[3];

    writer(const document_options& options, bool model)
        : o(options), model_scope(model), level{model ? -1 : 0, model ? -2 : 5, model ? -3 : 10} {}

    std::unordered_map<symbol_id, int> numbers;

    void set_list(const document_list* l) {
        list = l;
        for (std::size_t i = 0; i < l->symbols.size(); ++i)
            if (l->numbers[i] > 0) numbers[l->symbols[i]] = l->numbers[i];
    }
    int number_of(symbol_id s) const {
        auto it = numbers.find(s);
        return it == numbers.end() ? 0 : it->second;
    }
    void number(symbol_id s) const {
        int n = o.numbering ? number_of(s) : 0;
        if (n > 0) docprintf(number_format.c_str(), n);
    }

    void equation(symbol_id s, equation_record* e) const {
        const symbol_record* r = sym(s);
        expr_node* first = e->nnodes ? eq_nodes(e) : nullptr;
        const bool parsed = first && first->code != nc_unparsed;
        if (o.check_units && r->type != st_macro && r->type != st_range) check_eq_units(e, 0);
        if (e->tokens && (r->type == st_macro || !(o.equation_form && parsed))) {
            write_tokens(e->tokens);
        } else if (o.equation_form == 2) {
            const int saved = out_indent;
            out_indent = level[1];
            doc_compact = model_scope ? 2 : 1;
            write_expr(e, 0);
            doc_compact = 0;
            out_indent = saved;
        } else {
            write_expr(e, 0);
        }
    }

    void entry(symbol_id s, const std::vector<equation_record*>* only) const {
        const symbol_record* r = sym(s);
        const int type = r->type;
        if (o.numbering && model_scope && number_of(s) > 0) {
            number(s);
            docprintf("\t");
        }
        out_indent = model_scope && o.numbering ? -1 : 0;
        if (!o.equations) {
            docprintf("%s - ", varformat(s, 0));
        } else {
            bool first = true;
            for (equation_record* e = first_equation(s); e; e = next_equation(e)) {
                if (only && std::find(only->begin(), only->end(), e) == only->end()) continue;
                if (!first) docprintf("\n");
                first = false;
                equation(s, e);
            }
        }
        out_indent = level[0];
        if (o.units && type != st_macro && type != st_string && type != st_range) {
            if (line_open()) docprintf("\n");
            docprintf("Units: ");
            const units_entry* u = sym_units(s);
            const bool parsed_units = u && (u->nnum || u->nden);
            if (u && u->tokens && !(o.equation_form && parsed_units))
                write_tokens(u->tokens);
            else if (parsed_units)
                write_units(r->units);
            else
                docprintf("**undefined**");
        }
        const float mn = as_float(r->min), mx = as_float(r->max), inc = as_float(r->incr);
        const bool has_min = !is_na(mn), has_max = !is_na(mx), has_inc = !is_na(inc) && inc > 0;
        if (o.range && type != st_range && (has_min || has_max || has_inc)) {
            docprintf(" [");
            has_min ? docprintf("%g,", mn) : docprintf("?,");
            has_max ? docprintf("%g", mx) : docprintf("?");
            if (has_inc) docprintf(",%g", inc);
            docprintf("]\n");
        } else if (line_open()) {
            docprintf("\n");
        }
        if (o.group_line && r->group && valid_symbol(r->group))
            docprintf(":GROUP %s\n", varformat(r->group, 0));
        if (o.pair_lines)
            for (const pair_entry* p = sym_pairs(s); p; p = next_pair(p))
                docprintf("%s %s\n", varformat(p->symbol, 0), pair_text(p));
        const char* comment = sym_comment(s);
        if (o.comment && comment && *comment) {
            if (o.wrapped_comment) {
                write_collapsed(comment, 10);
                docprintf("\n");
            } else {
                write_comment_lines(comment);
            }
        }
        const bool causes = model_scope ? o.cause_comments
                                        : (o.cause_constants || o.cause_comments || o.cause_values);
        if (!model_scope && o.values && run >= 0 && type != st_range && type != st_macro)
            values_of(s);
        if (causes && type != st_range && type != st_macro) related(s, false);
        if ((o.users || o.user_comments) && type != st_range) related(s, true);
        out_indent = 0;
        if (line_open()) docprintf("\n");
        docprintf("\n");
    }

    // The direct causes (each on a line of its own) or the users ("Used by:"
    // and the first on its line, the others below).
    void related(symbol_id s, bool uses) const {
        clear_var_flag(sf_mark_04 | sf_mark_10);
        sym(s)->flags |= sf_mark_10;
        tree_node* root = new_tree_node(s);
        uses ? uses_tree(root, 1) : cause_tree(root, 1);
        sort_tree(root);
        if (!root->child) return;
        const bool comments = uses ? o.user_comments : o.cause_comments;
        if (uses) {
            out_indent = level[0];
            if (line_open()) docprintf("\n");
            docprintf("Used by:%s", model_scope ? "\t" : "     ");
            out_indent = level[1];
        }
        for (const tree_node* c = root->child; c; c = c->next) {
            if (!uses) {
                out_indent = model_scope ? level[0] : level[1];
                if (line_open()) docprintf("\n");
            }
            number(c->symbol);
            const char* name = varformat(c->symbol, 0);
            docprintf("%s - ", name);
            const char* comment = sym_comment(c->symbol);
            if (comments && comment && *comment)
                write_collapsed(comment, static_cast<int>(std::strlen(name)) + 9);
            if (uses) docprintf("\n");
            // In the workbench scope a cause shows its values in the first
            // selected run: constants and lookups with cause constants,
            // levels, auxiliaries, data and initials with cause values.
            if (!uses && !model_scope && run >= 0 && valid_symbol(c->symbol)) {
                const int t = sym(c->symbol)->type;
                if (((t == st_constant || t == st_lookup) && o.cause_constants) ||
                    (t <= 22 && o.cause_values))
                    values_of(c->symbol);
            }
        }
    }

    // The run whose values the workbench scope shows (a loaded-run index),
    // -1 none.
    int run = -1;

    // The subscript part of an element name ("" for a scalar).
    static std::string subscript_part(const std::string& element) {
        const std::size_t b = element.find('[');
        return b == std::string::npos ? std::string() : element.substr(b);
    }

    // The values of a variable's selected elements in the run: a lookup's
    // points, one line per element; a single value or series at the special
    // time, all elements on one line.
    void values_of(symbol_id s) const {
        const char** list = nullptr;
        const int n = var_element_names(s, &list, 0);
        std::vector<std::string> names;
        for (int i = 0; i < n && list; ++i) names.emplace_back(list[i] ? list[i] : "");
        if (names.empty()) return;
        const int type = sym(s)->type;
        if (type == st_lookup) {
            for (const std::string& e : names) {
                out_indent = level[1];
                if (line_open()) docprintf("\n");
                const std::string sub = subscript_part(e);
                if (!sub.empty()) docprintf("%s ", sub.c_str());
                docprintf("( ");
                std::vector<float> x, y;
                if (read_run_lookup(e.c_str(), run, x, y) > 0) {
                    for (std::size_t k = 0; k < x.size() && k < y.size(); ++k)
                        docprintf("(%g,%g) ", static_cast<double>(x[k]), static_cast<double>(y[k]));
                    docprintf(")\n");
                } else {
                    docprintf(" -- )\n");
                }
            }
            return;
        }
        if (type > st_constant) return;
        out_indent = level[2];
        if (line_open()) docprintf("\n");
        const float at = model_rec ? static_cast<float>(model_rec->special) : NA;
        for (std::size_t i = 0; i < names.size(); ++i) {
            float v = NA;
            const bool got = live_value_at_time(names[i].c_str(), "Time", run, &v, &at, 1) != 0;
            if (i > 0) docprintf(",");
            const std::string sub = subscript_part(names[i]);
            if (got && !is_na(v))
                docprintf(" %s=%g", sub.c_str(), static_cast<double>(v));
            else
                docprintf(" %s=---", sub.c_str());
        }
        docprintf("\n");
    }

    void group_banner(symbol_id g) const {
        out_indent = 0;
        if (line_open()) docprintf("\n");
        docprintf("%s", banner);
        docprintf("   %s\n", varformat(g, 0));
        docprintf("%s", banner);
        const char* comment = sym_comment(g);
        if (comment && *comment) write_comment_lines(comment);
        docprintf("\n");
    }
};

int digits(int n) {
    int d = 1;
    while (n >= 10) n /= 10, ++d;
    return d;
}

} // namespace

int document_line_width(int requested) {
    return std::clamp(requested, document_min_width, document_max_width);
}

const char* document_number_format(int numbered) {
    int d = digits(numbered + 1);
    return scratch_printf("(%%%d.%dd)", d, d);
}

document_list document_symbols(const document_options& options) {
    document_list out;
    int count = 0;
    const symbol_id* alpha = alpha_index(&count);
    const symbol_id time = model_hdr ? model_hdr->w[mh_time_symbol] : 0;
    if (options.ordering == 0) {
        std::vector<std::pair<std::int32_t, symbol_id>> keyed;
        for (int i = 0; i < count; ++i) {
            symbol_id s = alpha[i];
            if (!valid_symbol(s) || s == time) continue;
            const symbol_record* r = sym(s);
            if (r->type == st_group || r->type == st_string) {
                keyed.emplace_back(r->order, s);
            } else if (is_documented_variable(s)) {
                equation_record* e = first_equation(s);
                keyed.emplace_back(e ? e->order : 0, s);
            }
        }
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& k : keyed) out.symbols.push_back(k.second);
    } else {
        // Macros and Time are never listed; each symbol is listed once.
        std::set<symbol_id> taken;
        auto listable = [&](symbol_id s) {
            return valid_symbol(s) && s != time && sym(s)->type != st_macro &&
                   sym(s)->type != st_group && is_documented_variable(s) && !taken.count(s);
        };
        if (options.ordering != 1) {
            for (int i = 0; i < count; ++i) {
                symbol_id g = alpha[i];
                if (!valid_symbol(g) || sym(g)->type != st_group) continue;
                out.symbols.push_back(g);
                for (int j = 0; j < count; ++j)
                    if (listable(alpha[j]) && sym(alpha[j])->group == g) {
                        taken.insert(alpha[j]);
                        out.symbols.push_back(alpha[j]);
                    }
            }
        }
        for (int i = 0; i < count; ++i)
            if (listable(alpha[i])) {
                taken.insert(alpha[i]);
                out.symbols.push_back(alpha[i]);
            }
    }
    out.numbers.assign(out.symbols.size(), 0);
    if (options.numbering)
        for (std::size_t i = 0; i < out.symbols.size(); ++i) {
            int type = sym(out.symbols[i])->type;
            if (type < 143 && type != st_group) out.numbers[i] = ++out.numbered;
        }
    return out;
}

bool document_selected(symbol_id s, const document_options& options, symbol_id group) {
    const symbol_record* r = sym(s);
    if (options.scope == 2) return s == group || r->group == group;
    if (options.scope != 3 || options.kind == 0) return true;
    if (options.kind >= 14) return false;
    const int want = symbol_type_table[options.kind].type;
    if (want < 0) return false; // "Orphan" matches no symbol
    if (r->type == want) return true;
    if (r->type <= st_last_with_slots && r->slot >= 0 && model_slot_types) {
        std::uint32_t n = 0;
        const std::uint8_t* kinds = per_slot_kinds(&n);
        if (kinds && static_cast<std::uint32_t>(r->slot) < n) return kinds[r->slot] == want;
    }
    return false;
}

int document_model(const document_options& options, symbol_id group) {
    model_lock_guard lock(cur_model_symbols, 1);
    if (!lock.ok()) return 0;
    cause_opts_guard keep_opts;
    cause_opts[0] = cause_opts[1] = 1;
    document_list list = document_symbols(options);
    writer w(options, true);
    w.set_list(&list);
    w.number_format = document_number_format(list.numbered);
    const int saved_indent = out_indent;
    int written = 0;
    for (symbol_id s : list.symbols) {
        if (!document_selected(s, options, group)) continue;
        if (sym(s)->type == st_group) {
            // The work-in-progress panel says which group is being written.
            if (wip_wnd) wip_message(2, "Formatting group %s", varformat(s, 0));
            if (options.ordering != 1) w.group_banner(s);
        } else {
            w.entry(s, nullptr);
            ++written;
        }
    }
    out_indent = saved_indent;
    doc_flush();
    return written;
}

int document_model_to_file(const char* path, const document_options& options, symbol_id group) {
    std::FILE* f = open_stream(path, "w");
    if (!f) {
        report(8, "Unable to open %s to write documentor", path);
        return 0;
    }
    const int width = document_line_width(options.line_width);
    text_report_stream(2 * width + 30, width, 0, f, 1);
    document_model(options, group);
    const bool failed = doc_write_failed();
    text_report(0, 0, 0, report_none, 0, 0);
    if (failed) {
        abandon_stream(f);
        report_write_failure(path, 0, "the documentation");
        return 0;
    }
    return close_stream(f) > 0 ? 1 : 0;
}

int document_variable(symbol_id var, const document_options& options) {
    model_lock_guard lock(cur_model_symbols, 1);
    if (!lock.ok() || !valid_symbol(var)) return 0;
    writer w(options, false);
    if ((options.values || options.cause_values || options.cause_constants) &&
        loaded_run_names(1) > 0 && model_rec)
        w.run = model_rec->runs[0].run;
    // Only the equations that compute the selected elements, all when none does.
    std::vector<equation_record*> only;
    for (std::uint32_t el : selected_element_offsets(var, 1)) {
        int pos = -1;
        equation_record* e = equation_for_element(var, el, &pos);
        if (e && std::find(only.begin(), only.end(), e) == only.end()) only.push_back(e);
    }
    for (equation_record* e = first_equation(var); e; e = next_equation(e)) {
        expr_node* n = e->nnodes ? eq_nodes(e) : nullptr;
        if (e->tokens && n && n->code == nc_unparsed && !only.empty() &&
            std::find(only.begin(), only.end(), e) == only.end())
            only.push_back(e);
    }
    const int saved_indent = out_indent;
    w.entry(var, only.empty() ? nullptr : &only);
    out_indent = 0;
    docprintf("**************************************************************\n");
    out_indent = saved_indent;
    return 1;
}

std::string skeleton_group_name(symbol_id group) {
    std::string name = valid_symbol(group) ? sym_name(group) : "";
    if (!name.empty()) name.erase(0, 1);
    std::replace(name.begin(), name.end(), '.', ' ');
    return "\"" + name + " sector\"";
}

int document_skeleton(const char* path) {
    std::FILE* f = open_stream(path, "w");
    if (!f) {
        report(8, "Unable to open %s", path);
        return 0;
    }
    model_lock_guard lock(cur_model_symbols, 1);
    if (!lock.ok()) {
        abandon_stream(f);
        return 0;
    }
    int count = 0;
    const symbol_id* alpha = alpha_index(&count);
    std::string text;
    // Variables taken by some group from another, for the closing lines. Each
    // group collects its own list: a variable used by two groups is listed in
    // both (the old shared mark dropped it from the second).
    std::set<symbol_id> referenced;
    for (int i = 0; i < count; ++i) {
        symbol_id g = alpha[i];
        if (!valid_symbol(g) || sym(g)->type != st_group) continue;
        std::vector<symbol_id> taken;
        for (int j = 0; j < count; ++j) {
            symbol_id v = alpha[j];
            if (!valid_symbol(v) || sym(v)->group != g || sym(v)->type == st_initial) continue;
            for (equation_record* e = first_equation(v); e; e = next_equation(e))
                for_each_reference(e, false, true, [&](int, symbol_id r) {
                    if (!valid_symbol(r)) return;
                    const symbol_record* rr = sym(r);
                    if (!rr->group || rr->group == g || rr->type == st_element ||
                        rr->type == st_range)
                        return;
                    if (std::find(taken.begin(), taken.end(), r) == taken.end()) taken.push_back(r);
                    referenced.insert(r);
                });
        }
        text += skeleton_group_name(g) + " = A FUNCTION OF(\n";
        for (std::size_t k = 0; k < taken.size(); ++k)
            text += std::string(varformat(taken[k], 0)) + (k + 1 < taken.size() ? ",\n" : "\n");
        text += ")~~|\n";
    }
    for (int i = 0; i < count; ++i)
        if (referenced.count(alpha[i]))
            text += std::string(varformat(alpha[i], 0)) + " = A FUNCTION OF(" +
                    skeleton_group_name(sym(alpha[i])->group) + ")~~|\n";
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
        const int error = errno;
        abandon_stream(f);
        report_write_failure(path, error, "the skeleton");
        return 0;
    }
    return close_stream(f) > 0 ? 1 : 0;
}

// Variable selection and the workbench variable (see varselect.h).
#include "shell/varselect.h"

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/units.h"
#include "model/varnames.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "resources/panel.h"
#include "resources/varselect.h"
#include "shell/controls/longlist.h"
#include "shell/dialogs.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/title.h"
#include "shell/toolset_hooks.h"
#include "shell/upcalls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_set>

std::uint8_t varsel_list_mode = lm_unhidden;
HWND varsel_page = nullptr;
HWND varsel_dialog = nullptr;

namespace {

// ------------------------------------------------------------------ state ---

// What the dialog was asked for, and its answer.
struct vs_request {
    const char* title = nullptr;
    std::string initial;
    int type_filter = 0; // entry index; -n: group mode with entry n
    int flags = 0;
    bool chosen = false;
    std::string result;
};

// One open page or dialog: the names its list shows (in list order), what
// the Subscripts box offers, and the request (dialog only).
struct vs_window {
    std::vector<std::string> names;
    bool setting_name = false; // the program writes the name box
    int sub_dim = -1;          // Subscripts box: -1 ranges of every dimension, else
                               // the dimension whose elements it lists
    std::string sub_name;      // the variable the box was filled for
    std::vector<std::string> sub_texts[max_dims];
    vs_request* request = nullptr;
};

vs_window page_state;
vs_window dialog_state;
std::string remembered_pattern;
selection_history_fn history_sink = nullptr;
bool following_models = false;

constexpr int grip_size = 16;

vs_window* state_of(HWND w) {
    if (w && w == varsel_dialog) return &dialog_state;
    if (w && w == varsel_page) return &page_state;
    return nullptr;
}

// The window listing goes to: the open dialog, else the open page.
HWND list_target() {
    if (varsel_dialog && IsWindow(varsel_dialog)) return varsel_dialog;
    if (varsel_page && IsWindow(varsel_page)) return varsel_page;
    return nullptr;
}

void varsel_model_switched() {
    workbench_var = workbench_selection{};
    if (varsel_page && IsWindow(varsel_page)) {
        page_state.setting_name = true;
        SetDlgItemText(varsel_page, idv_name, "*");
        page_state.setting_name = false;
        SendDlgItemMessage(varsel_page, idv_type, CB_SETCURSEL, 0, 0);
        if (model_is_open()) {
            std::vector<symbol_id> ids = symbols_matching("*", false);
            list_symbols(ids.data(), static_cast<int>(ids.size()), 0);
        } else {
            set_varsel_list(nullptr, 0, 0);
        }
    }
}

// The workbench variable belongs to the model it was chosen in.
void follow_models() {
    if (following_models) return;
    on_model_switched(varsel_model_switched);
    following_models = true;
}

// ------------------------------------------------------------------ texts ---

std::string trimmed(std::string s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool has_wildcard(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

// Whether a listed name begins with the typed text (case ignored, blank and
// underscore alike, a leading quote of a quoted name skipped).
bool begins_unquoted(const std::string& item, const std::string& typed) {
    const char* a = item.c_str();
    if (*a == '"' && typed.c_str()[0] != '"') ++a;
    return !typed.empty() && std::strlen(a) >= typed.size() &&
           name_ncmp_us(a, typed.c_str(), typed.size()) == 0;
}

// The display form of a symbol in the lists: a group as stored (with its
// marker, so that choosing it finds it), others as model text writes them.
std::string display_name(symbol_id id) {
    const char* n = safe_sym_name(id);
    if (sym(id)->type == st_group) return n;
    return model_text_name(n);
}

std::string window_text(HWND w) {
    int n = GetWindowTextLength(w);
    if (n <= 0) return {};
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    int got = GetWindowText(w, s.data(), n + 1);
    s.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return s;
}

// ------------------------------------------------------------- collecting ---

// Types listed by name and pattern.
bool listed_type(int t) {
    switch (t) {
    case st_level:
    case st_aux:
    case st_constant:
    case st_data_constant:
    case st_data:
    case st_initial:
    case st_lookup:
    case st_test_input:
    case st_constraint:
    case st_time_base:
    case st_game:
        return true;
    default:
        return false;
    }
}

bool hidden_by_mode(symbol_id id) {
    std::uint16_t f = sym(id)->flags;
    switch (varsel_list_mode) {
    case lm_all:
        return false;
    case lm_neither_hidden:
        return (f & (sf_hidden | sf_hidden_1)) != 0;
    default:
        return (f & sf_hidden) != 0;
    }
}

// Walks the locked model's alphabetical index.
template <class F> void each_symbol(F&& f) {
    int n = 0;
    const symbol_id* ids = alpha_index(&n);
    if (!ids) return;
    for (int i = 0; i < n; ++i)
        if (valid_symbol(ids[i])) f(ids[i]);
}

// The symbols named by a variable or valve of any view of the diagram.
std::unordered_set<symbol_id> symbols_on_views() {
    std::unordered_set<symbol_id> on;
    handle views = model_hdr ? model_hdr->w[mh_views] : 0;
    std::uint32_t count = model_hdr ? (model_hdr->w[mh_view_count] & 0xFFFF) : 0;
    if (!views || count == 0) return on;
    handle_lock<view_rec> vb(views);
    if (!vb || handle_size(views) / sizeof(view_rec) < count) return on;
    for (std::uint32_t v = 0; v < count; ++v) {
        const view_rec& rec = vb.get()[v];
        if (!rec.index || !rec.data) continue;
        handle_lock<std::uint32_t> ix(rec.index);
        handle_lock<std::uint8_t> data(rec.data);
        if (!ix || !data) continue;
        std::uint32_t cells = handle_size(rec.index) / 4;
        std::uint32_t bytes = handle_size(rec.data);
        std::uint32_t n = std::min<std::uint32_t>(rec.count, cells);
        for (std::uint32_t i = 1; i < n; ++i) {
            std::uint64_t at = 4ull * ix.get()[i];
            if (at + 8 > bytes) continue;
            const std::uint8_t* e = data.get() + at;
            std::uint16_t len;
            std::memcpy(&len, e, 2);
            auto kind = static_cast<std::int8_t>(e[2]);
            if ((kind != ek_variable && kind != ek_valve) || len < 8 || at + len > bytes) continue;
            symbol_id s;
            std::memcpy(&s, e + 4, 4);
            if (s) on.insert(s);
        }
    }
    return on;
}

bool in_range(symbol_id dim_range, symbol_id range) {
    // A dimension uses a range when it is that range or one of its sub-ranges.
    for (int depth = 0; dim_range && depth < 16; ++depth) {
        if (dim_range == range) return true;
        if (!valid_symbol(dim_range) || sym(dim_range)->type != st_range) return false;
        dim_range = sym(dim_range)->subref;
    }
    return false;
}

// Whether a typed subscript fits a dimension: an element of its range, the
// range itself, or a range all of whose elements are in it.
bool subscript_fits(symbol_id dim_range, symbol_id s) {
    if (!valid_symbol(s)) return false;
    if (sym(s)->type == st_element) return safe_element_position(dim_range, s) >= 0;
    if (sym(s)->type != st_range) return false;
    if (s == dim_range) return true;
    const element_list* l = safe_range_elements(s);
    if (!l || l->count == 0) return false;
    for (std::uint32_t i = 0; i < l->count; ++i)
        if (safe_element_position(dim_range, l->ids[i]) < 0) return false;
    return true;
}

// ---------------------------------------------------------------- windows ---

void show_note(HWND dialog, const std::string& name) {
    if (dialog != varsel_dialog) return;
    symbol_id id = find_symbol(name.c_str());
    SetDlgItemText(dialog, idv_note, id ? variable_note(id).c_str() : "");
}

void set_name_box(HWND w, vs_window& st, const std::string& text) {
    st.setting_name = true;
    SetDlgItemText(w, idv_name, text.c_str());
    st.setting_name = false;
}

// Typing: the name (without its subscripts) is looked for in the list, the
// same name first, else the first that begins with it; a hit is selected.
void find_typed(HWND w, vs_window& st) {
    std::string typed = trimmed(window_text(GetDlgItem(w, idv_name)));
    if (has_wildcard(typed)) return;
    std::size_t br = typed.find('[');
    if (br != std::string::npos) typed = trimmed(typed.substr(0, br));
    int hit = -1;
    if (!typed.empty()) {
        for (std::size_t i = 0; i < st.names.size() && hit < 0; ++i)
            if (name_cmp_unquoted(st.names[i].c_str(), typed.c_str()) == 0 ||
                name_cmp_us(st.names[i].c_str(), typed.c_str()) == 0)
                hit = static_cast<int>(i);
        for (std::size_t i = 0; i < st.names.size() && hit < 0; ++i)
            if (begins_unquoted(st.names[i], typed)) hit = static_cast<int>(i);
    }
    SendDlgItemMessage(w, idv_list, ll_select, static_cast<WPARAM>(hit), 0);
    if (hit >= 0) show_note(w, st.names[static_cast<std::size_t>(hit)]);
}

int du(HWND w, int units, bool vertical) {
    RECT r{0, 0, units, units};
    MapDialogRect(w, &r);
    return vertical ? r.bottom : r.right;
}

void layout(HWND w) {
    RECT c{};
    if (!GetClientRect(w, &c)) return;
    const bool dialog = w == varsel_dialog;
    const int cw = c.right, ch = c.bottom;
    const int m = du(w, dialog ? 7 : 4, false), my = du(w, dialog ? 7 : 4, true);
    const int gap = du(w, 4, false), vgap = du(w, 3, true);
    const int bw = du(w, 50, false), bh = du(w, 14, true);
    const int label_h = du(w, 8, true), box_h = du(w, 12, true);
    auto place = [](HWND item, int x, int y, int width, int height) {
        if (item) MoveWindow(item, x, y, std::max(0, width), std::max(0, height), TRUE);
    };
    const int buttons_y = ch - my - bh;
    int above = buttons_y - vgap;
    if (dialog) {
        above -= label_h;
        place(GetDlgItem(w, idv_note), m, above, cw - 2 * m, label_h);
        above -= vgap;
    }
    const int boxes_y = above - box_h;
    const int labels_y = boxes_y - du(w, 2, true) - label_h;
    place(GetDlgItem(w, idv_list), m, my, cw - 2 * m, labels_y - vgap - my);

    HWND subs = GetDlgItem(w, idv_subscripts);
    // The style, not IsWindowVisible: the dialog itself is not shown yet at
    // its first layout.
    const bool subs_shown = subs && (GetWindowLong(subs, GWL_STYLE) & WS_VISIBLE);
    const int type_w = du(w, dialog ? 72 : 70, false);
    const int subs_w = subs_shown ? du(w, 58, false) : 0;
    const int type_x = cw - m - type_w;
    const int name_w = type_x - gap - m - (subs_shown ? subs_w + gap : 0);
    place(GetDlgItem(w, idv_name_label), m, labels_y, name_w, label_h);
    place(GetDlgItem(w, idv_type_label), type_x, labels_y, type_w, label_h);
    place(GetDlgItem(w, idv_name), m, boxes_y, name_w, box_h);
    // Ten rows high when dropped.
    if (subs_shown) place(subs, m + name_w + gap, boxes_y, subs_w, box_h + 10 * du(w, 9, true));
    place(GetDlgItem(w, idv_type), type_x, boxes_y, type_w, box_h + 15 * du(w, 9, true));

    if (dialog) {
        place(GetDlgItem(w, IDOK), m, buttons_y, bw, bh);
        place(GetDlgItem(w, idv_exact), (cw - bw) / 2, buttons_y, bw, bh);
        place(GetDlgItem(w, IDCANCEL), cw - std::max(m, grip_size + 2) - bw, buttons_y, bw, bh);
        place(GetDlgItem(w, idv_size_grip), cw - grip_size, ch - grip_size, grip_size, grip_size);
    } else {
        place(GetDlgItem(w, idv_select), m, buttons_y, bw, bh);
        place(GetDlgItem(w, idv_exact), m + bw + gap, buttons_y, bw, bh);
    }
}

void remember_placement(HWND dialog) {
    RECT r{};
    if (!GetWindowRect(dialog, &r)) return;
    opts.var_dim[0] = r.left;
    opts.var_dim[1] = r.top;
    opts.var_dim[2] = r.right - r.left;
    opts.var_dim[3] = r.bottom - r.top;
}

// A saved placement is used when it lies on the screen; the dialog never
// becomes smaller than its template or larger than the screen.
void use_placement(HWND dialog) {
    const std::int32_t* p = opts.var_dim;
    if (!(p[0] > 0 && p[1] > 0 && p[0] < screen_right - 10 && p[1] < screen_bottom - 10 &&
          p[2] > 0 && p[3] > 0))
        return;
    RECT r{};
    GetWindowRect(dialog, &r);
    int w = std::clamp<int>(p[2], r.right - r.left, std::max<int>(r.right - r.left, screen_right));
    int h = std::clamp<int>(p[3], r.bottom - r.top, std::max<int>(r.bottom - r.top, screen_bottom));
    SetWindowPos(dialog, nullptr, p[0], p[1], w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void fill_type_combo(HWND w) {
    HWND combo = GetDlgItem(w, idv_type);
    SendMessage(combo, CB_RESETCONTENT, 0, 0);
    for (const symbol_type_entry& e : symbol_type_table)
        SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.name));
    SendMessage(combo, CB_SETCURSEL, 0, 0);
    HWND subs = GetDlgItem(w, idv_subscripts);
    SendMessage(subs, CB_RESETCONTENT, 0, 0);
    SendMessage(subs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Subscripts"));
    SendMessage(subs, CB_SETCURSEL, 0, 0);
}

// The Subscripts box, as it drops down: the ranges of the named variable's
// dimensions, or, when the name has subscripts already, the elements of the
// first one that is still a range.
void fill_subscripts(HWND w, vs_window& st) {
    HWND subs = GetDlgItem(w, idv_subscripts);
    SendMessage(subs, CB_RESETCONTENT, 0, 0);
    SendMessage(subs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Subscripts"));
    st.sub_dim = -1;
    st.sub_name.clear();
    for (auto& v : st.sub_texts) v.clear();
    std::vector<std::string> entries;
    parsed_name pn;
    std::string text = window_text(GetDlgItem(w, idv_name));
    if (parse_var_name(text.c_str(), &pn) && !(pn.flags & ~pn_unclosed)) {
        symbol_id var = find_symbol(pn.name.c_str());
        model_lock_guard g(cur_model_symbols, 0);
        const dim_record* d = g.ok() && valid_symbol(var) ? safe_dims(var) : nullptr;
        if (d && d->ndims > 0) {
            st.sub_name = model_text_name(safe_sym_name(var));
            for (std::uint32_t i = 0; i < d->ndims; ++i) {
                std::string r = model_text_name(safe_sym_name(d->d[i].range));
                st.sub_texts[i].push_back(i < static_cast<std::uint32_t>(pn.nsubs) ? pn.subs[i]
                                                                                   : r);
                if (pn.nsubs == 0) entries.push_back(r);
            }
            for (int i = 0; i < pn.nsubs && i < static_cast<int>(d->ndims) && st.sub_dim < 0; ++i) {
                symbol_id s = find_symbol(pn.subs[i].c_str());
                if (!valid_symbol(s) || sym(s)->type != st_range) continue;
                st.sub_dim = i;
                const element_list* l = safe_range_elements(s);
                for (std::uint32_t k = 0; l && k < l->count; ++k)
                    entries.push_back(model_text_name(safe_sym_name(l->ids[k])));
            }
            if (pn.nsubs > 0 && st.sub_dim < 0) entries.clear();
        }
    }
    for (const std::string& e : entries)
        SendMessage(subs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
}

// Writes the chosen entry of the Subscripts box into the name's brackets.
void take_subscript(HWND w, vs_window& st) {
    HWND subs = GetDlgItem(w, idv_subscripts);
    LRESULT i = SendMessage(subs, CB_GETCURSEL, 0, 0);
    if (i <= 0 || st.sub_name.empty()) return;
    LRESULT n = SendMessage(subs, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::string entry(static_cast<std::size_t>(std::max<LRESULT>(n, 0)) + 1, '\0');
    SendMessage(subs, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry.data()));
    entry.resize(std::strlen(entry.c_str()));
    if (st.sub_dim >= 0) st.sub_texts[st.sub_dim][0] = entry;
    std::string text = st.sub_name + "[";
    for (int d = 0; d < max_dims && !st.sub_texts[d].empty(); ++d) {
        if (d) text += ',';
        text += st.sub_texts[d][0];
    }
    text += "]";
    SetDlgItemText(w, idv_name, text.c_str()); // its change selects the variable
    SendMessage(subs, CB_SETCURSEL, 0, 0);
}

int type_index(HWND w) {
    auto i = static_cast<int>(SendDlgItemMessage(w, idv_type, CB_GETCURSEL, 0, 0));
    return i < 0 ? 0 : i;
}

bool no_model() {
    if (model_is_open()) return false;
    report(8, "Open or start a new model first.");
    return true;
}

// Lists the ids the list mode lets through, when there are any: a search
// that found nothing keeps the list the user was looking at. The count.
int list_if_any(std::vector<symbol_id> ids) {
    {
        model_lock_guard g(cur_model_symbols, 0);
        if (!g.ok()) return 0;
        std::erase_if(ids, [](symbol_id id) { return !valid_symbol(id) || hidden_by_mode(id); });
    }
    return ids.empty() ? 0 : list_symbols(ids.data(), static_cast<int>(ids.size()), 0);
}

int pattern_list(const char* pattern, bool with_ranges, bool quiet) {
    int n = list_if_any(symbols_matching(pattern, with_ranges));
    if (n == 0 && !quiet) report(8, "Sorry no matches for %s", pattern);
    return n;
}

// Select, OK or Exact.
void choose(HWND w, int id) {
    vs_window* st = state_of(w);
    if (!st) return;
    const bool dialog = w == varsel_dialog;
    vs_request* req = dialog ? st->request : nullptr;
    if (no_model()) return;
    std::string text = trimmed(window_text(GetDlgItem(w, idv_name)));
    const bool group_mode = req && req->type_filter < 0;
    if (has_wildcard(text) && text[0] != '#' && !group_mode) {
        SendDlgItemMessage(w, idv_type, CB_SETCURSEL, 0, 0);
        // Only a pattern that found something is worth offering next time.
        if (pattern_list(text.c_str(), req && (req->flags & cv_with_ranges), false) > 0 && dialog)
            remembered_pattern = text;
        return;
    }
    if (id != idv_exact && text.find('[') == std::string::npos && !find_symbol(text.c_str())) {
        auto sel = static_cast<int>(SendDlgItemMessage(w, idv_list, ll_selected, 0, 0));
        if (sel >= 0 && static_cast<std::size_t>(sel) < st->names.size() &&
            begins_unquoted(st->names[static_cast<std::size_t>(sel)], text)) {
            text = st->names[static_cast<std::size_t>(sel)];
            set_name_box(w, *st, text);
        }
    }
    if (!dialog) {
        select_var_text(text.c_str(), 0, static_cast<int>(text.size()));
        return;
    }
    if (text.empty()) {
        // Nothing to return: the dialog stays for a name.
        MessageBeep(0);
        return;
    }
    remember_placement(w);
    if (group_mode) {
        req->result = text;
    } else if (type_index(w) != group_type_entry()) {
        req->result = scan_var_name(text.c_str());
    } else {
        symbol_id g = find_symbol(text.c_str());
        std::vector<symbol_id> members;
        {
            model_lock_guard lock(cur_model_symbols, 0);
            if (lock.ok() && valid_symbol(g) && sym(g)->type == st_group)
                members = group_members(g);
        }
        int shown = list_if_any(members);
        if (shown == 0) report(8, "Nothing in the group %s", text.c_str());
        return;
    }
    req->chosen = true;
    EndDialog(w, 1);
}

void init_window(HWND w, LPARAM param) {
    const bool page = GetDlgItem(w, IDOK) == nullptr;
    follow_models();
    if (page) {
        fit_dialog(w, 1);
        varsel_page = w;
        page_state = vs_window{};
    } else {
        fit_dialog(w, 0);
        varsel_dialog = w;
        dialog_state = vs_window{};
        dialog_state.request = reinterpret_cast<vs_request*>(param);
    }
    vs_window& st = page ? page_state : dialog_state;
    fill_type_combo(w);
    if (page) {
        ShowWindow(GetDlgItem(w, idv_subscripts), SW_HIDE);
        set_name_box(w, st, "*");
        if (model_is_open()) pattern_list("*", false, true);
        return;
    }
    vs_request* req = st.request;
    const int flags = req ? req->flags : 0;
    CreateWindow(WC_SCROLLBAR, "", WS_CHILD | WS_VISIBLE | SBS_SIZEGRIP, 0, 0, grip_size, grip_size,
                 w, reinterpret_cast<HMENU>(static_cast<std::intptr_t>(idv_size_grip)), hinst,
                 nullptr);
    if (req && req->title) SetWindowText(w, req->title);
    std::string placeholder;
    const int filter = req ? req->type_filter : 0;
    if (filter < 0) {
        list_by_type(-filter);
    } else if (filter >= 1) {
        list_by_type(filter);
    } else {
        // A remembered pattern that lists nothing here (it was typed for
        // another model) gives way to every variable.
        const std::string all(1, '*');
        placeholder = remembered_pattern.empty() ? all : remembered_pattern;
        if (pattern_list(placeholder.c_str(), flags & cv_with_ranges, true) == 0 &&
            placeholder != all) {
            placeholder = all;
            pattern_list(all.c_str(), flags & cv_with_ranges, true);
        }
    }
    use_placement(w);
    if (req && !req->initial.empty()) {
        SetDlgItemText(w, idv_name, req->initial.c_str());
        show_note(w, trimmed(req->initial));
    } else {
        set_name_box(w, st, placeholder);
        if (!(flags & cv_subscripts)) ShowWindow(GetDlgItem(w, idv_subscripts), SW_HIDE);
    }
}

} // namespace

// ------------------------------------------------------------- type list ---

int type_entry_of(int type_code) {
    for (int i = 0; i < type_entry_count; ++i)
        if (symbol_type_table[i].type == type_code) return i;
    return -1;
}

int group_type_entry() {
    return type_entry_of(st_group);
}

// ------------------------------------------------------------- collecting ---

std::vector<symbol_id> symbols_of_type(int type_code) {
    std::vector<symbol_id> out;
    model_lock_guard g(cur_model_symbols, 0);
    if (!g.ok() || !model_hdr) return out;
    if (type_code == -2) {
        std::unordered_set<symbol_id> on = symbols_on_views();
        each_symbol([&](symbol_id id) {
            if (listed_type(sym(id)->type) && !on.count(id)) out.push_back(id);
        });
        return out;
    }
    each_symbol([&](symbol_id id) {
        int t = sym(id)->type;
        bool take = type_code == -1            ? listed_type(t)
                    : type_code == st_constant ? (t == st_constant || t == st_data_constant)
                                               : t == type_code;
        if (take) out.push_back(id);
    });
    return out;
}

std::vector<symbol_id> symbols_matching(const char* pattern, bool with_ranges) {
    std::vector<symbol_id> out;
    // Names are stored with single blanks; the pattern is compared the same way.
    std::string p = pattern ? pattern : "";
    for (char& c : p)
        if (c == '_') c = ' ';
    std::vector<char> buf(p.begin(), p.end());
    buf.push_back('\0');
    collapse_blanks(buf.data());
    str_upper(buf.data());
    std::string want = buf.data();
    if (want.size() >= 2 && want.front() == '"' && want.back() == '"')
        want = want.substr(1, want.size() - 2);
    const bool all = want.find_first_not_of('*') == std::string::npos && !want.empty();
    model_lock_guard g(cur_model_symbols, 0);
    if (!g.ok() || !model_hdr) return out;
    each_symbol([&](symbol_id id) {
        int t = sym(id)->type;
        if (!listed_type(t) && !(with_ranges && t == st_range)) return;
        if (all || wildcard_match(safe_sym_name(id), want.c_str())) out.push_back(id);
    });
    return out;
}

std::vector<symbol_id> group_members(symbol_id group) {
    std::vector<symbol_id> out;
    model_lock_guard g(cur_model_symbols, 0);
    if (!g.ok() || !model_hdr || !valid_symbol(group)) return out;
    each_symbol([&](symbol_id id) {
        if (sym(id)->group == group && is_variable_type(sym(id)->type)) out.push_back(id);
    });
    return out;
}

std::vector<symbol_id> range_users(symbol_id range) {
    std::vector<symbol_id> out;
    model_lock_guard g(cur_model_symbols, 0);
    if (!g.ok() || !model_hdr || !valid_symbol(range)) return out;
    each_symbol([&](symbol_id id) {
        if (!is_variable_type(sym(id)->type)) return;
        const dim_record* d = safe_dims(id);
        if (!d) return;
        for (std::uint32_t i = 0; i < d->ndims; ++i)
            if (in_range(d->d[i].range, range)) {
                out.push_back(id);
                return;
            }
    });
    return out;
}

// ----------------------------------------------------------------- listing ---

int set_varsel_list(const char* const* names, int count, int type_index) {
    HWND w = list_target();
    vs_window* st = state_of(w);
    if (!st) return 0;
    HWND list = GetDlgItem(w, idv_list);
    st->names.assign(names, names + (names && count > 0 ? count : 0));
    if (st->names.empty())
        longlist_clear(list);
    else
        longlist_set_items(list, names, count);
    if (type_index >= 0 && type_index < type_entry_count)
        SendDlgItemMessage(w, idv_type, CB_SETCURSEL, static_cast<WPARAM>(type_index), 0);
    return static_cast<int>(st->names.size());
}

int list_symbols(const symbol_id* ids, int count, int type_index) {
    std::vector<std::string> names;
    {
        model_lock_guard g(cur_model_symbols, 0);
        if (g.ok() && ids)
            for (int i = 0; i < count; ++i)
                if (valid_symbol(ids[i]) && !hidden_by_mode(ids[i]))
                    names.push_back(display_name(ids[i]));
    }
    std::vector<const char*> ptrs;
    ptrs.reserve(names.size());
    for (const std::string& n : names) ptrs.push_back(n.c_str());
    return set_varsel_list(ptrs.data(), static_cast<int>(ptrs.size()), type_index);
}

int list_by_type(int type_index) {
    if (type_index < 0 || type_index >= type_entry_count) return 0;
    std::vector<symbol_id> ids = symbols_of_type(symbol_type_table[type_index].type);
    return list_symbols(ids.data(), static_cast<int>(ids.size()), type_index);
}

int list_by_pattern(const char* pattern, bool with_ranges) {
    return pattern_list(pattern ? pattern : "", with_ranges, false);
}

// -------------------------------------------------------- the workbench var ---

int select_var_text(const char* text, int start, int end) {
    if (!text || start < 0 || end <= start) return 0;
    std::size_t length = std::strlen(text);
    if (static_cast<std::size_t>(start) >= length) return 0;
    std::string s = trimmed(std::string(text + start, std::min<std::size_t>(length, end) - start));
    if (s.size() >= 2 && s.front() == '(' && s.back() == ')')
        s = trimmed(s.substr(1, s.size() - 2));
    if (s.size() >= 2 && s.front() == '<' && s.back() == '>')
        s = trimmed(s.substr(1, s.size() - 2));
    if (s.empty() || std::count(s.begin(), s.end(), '"') % 2 != 0) return 0;
    parsed_name pn;
    if (!parse_var_name(s.c_str(), &pn, s[0] == '.' || s[0] == '#') || pn.flags) return 0;
    symbol_id id = find_symbol(pn.name.c_str());
    if (!id) return 0;
    symbol_id subs[max_dims] = {};
    int type = 0;
    {
        model_lock_guard g(cur_model_symbols, 0);
        if (!g.ok() || !valid_symbol(id)) return 0;
        type = sym(id)->type;
        if (listed_type(type) || type == st_string) {
            const dim_record* d = safe_dims(id);
            if (!d || (pn.nsubs != 0 && pn.nsubs != static_cast<int>(d->ndims))) return 0;
            for (int i = 0; i < pn.nsubs; ++i) {
                subs[i] = find_symbol(pn.subs[i].c_str());
                if (!subscript_fits(d->d[i].range, subs[i])) return 0;
            }
        }
    }
    if (listed_type(type) || type == st_string) {
        set_workbench_var(id, subs, pn.nsubs);
        return 1;
    }
    // A range or a group is shown by what it holds, where a list is open.
    if (pn.nsubs != 0 || !list_target() || (type != st_range && type != st_group)) return 0;
    std::vector<symbol_id> ids = type == st_range ? range_users(id) : group_members(id);
    int shown = list_if_any(ids);
    if (shown == 0)
        report(8, type == st_range ? "The subscript %s is not used" : "The group %s has no members",
               pn.name.c_str());
    return 0;
}

void set_workbench_var(symbol_id var, const symbol_id* subs, int nsubs) {
    follow_models();
    workbench_var = workbench_selection{};
    workbench_var.var = var;
    nsubs = std::clamp(nsubs, 0, static_cast<int>(max_dims));
    for (int i = 0; i < nsubs && subs; ++i) workbench_var.subs[i] = subs[i];
    workbench_var.nsubs = subs ? nsubs : 0;
    std::string text = workbench_var_text();
    set_main_title(text.c_str());
    if (history_sink) history_sink(text.c_str());
    rerun_locked_tools();
}

std::string workbench_var_text() {
    model_lock_guard g(cur_model_symbols, 0);
    if (!g.ok() || !valid_symbol(workbench_var.var)) return {};
    std::string s = model_text_name(safe_sym_name(workbench_var.var));
    if (workbench_var.nsubs <= 0) return s;
    s += '[';
    for (int i = 0; i < workbench_var.nsubs && i < max_dims; ++i) {
        if (i) s += ',';
        symbol_id e = workbench_var.subs[i];
        s += valid_symbol(e) ? model_text_name(safe_sym_name(e)) : "?";
    }
    return s + ']';
}

void set_selection_history_sink(selection_history_fn fn) {
    history_sink = fn;
}

void selection_history(int show, int x, int y, int w, int h) {
    if (tool_window_hooks.selection_history) {
        tool_window_hooks.selection_history(show, x, y, w, h);
        return;
    }
    const int given[4] = {x, y, w, h};
    for (int i = 0; i < 4; ++i)
        if (given[i] != -1) opts.sel_dim[i] = given[i];
}

std::string variable_note(symbol_id var) {
    model_lock_guard g(cur_model_symbols, 1);
    if (!g.ok() || !valid_symbol(var)) return {};
    std::string note;
    std::string units = name_units_label(nullptr, var, 2);
    if (!units.empty()) note = "Units: " + units;
    const int t = sym(var)->type;
    equation_record* e =
        (t == st_constant || t == st_data_constant) ? first_equation(var) : nullptr;
    const expr_node* body = e && e->nnodes > 1 ? node_skip(eq_nodes(e)) : nullptr;
    if (body && body->code == nc_number) {
        float v = as_float(body->operand);
        if (std::isfinite(v) && !is_na(v)) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "Base model value: %g", static_cast<double>(v));
            if (!note.empty()) note += "  ";
            note += buf;
        }
    }
    return note;
}

// ---------------------------------------------------------------- choosing ---

const char* choose_variable(const char* title, const char* pattern, int type_code,
                            int all_variables, int flags, const char* initial_name) {
    if (no_model()) return nullptr;
    if (varsel_dialog) return nullptr; // one at a time
    vs_request req;
    req.title = title;
    req.initial = initial_name ? initial_name : "";
    req.flags = flags;
    int entry = type_entry_of(type_code);
    if (type_code == st_group)
        req.type_filter = -entry;
    else if (entry >= 1)
        req.type_filter = entry;
    const std::string saved_pattern = remembered_pattern;
    const bool own_pattern = pattern && *pattern;
    if (own_pattern) remembered_pattern = pattern;
    const std::uint8_t saved_mode = varsel_list_mode;
    if (!all_variables) varsel_list_mode = lm_neither_hidden;
    run_dialog(dlg_variable_dialog, nullptr, variable_proc, reinterpret_cast<LPARAM>(&req));
    // A click that ended the dialog must not reach the window below it.
    MSG m;
    while (PeekMessage(&m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    varsel_list_mode = saved_mode;
    if (own_pattern) remembered_pattern = saved_pattern;
    return req.chosen ? scratch_strdup(req.result.c_str()) : nullptr;
}

INT_PTR variable_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        init_window(dialog, lparam);
        layout(dialog);
        SetFocus(GetDlgItem(dialog, idv_name));
        SendDlgItemMessage(dialog, idv_name, EM_SETSEL, 0, -1);
        return FALSE;
    case WM_SIZE:
        layout(dialog);
        return TRUE;
    case WM_COMMAND: {
        vs_window* st = state_of(dialog);
        if (!st) return FALSE;
        const int id = LOWORD(wparam), code = HIWORD(wparam);
        const bool page = dialog == varsel_page;
        switch (id) {
        case idv_name:
            if (code == EN_CHANGE && !st->setting_name) find_typed(dialog, *st);
            return TRUE;
        case idv_list: {
            if (code == ll_enter) {
                PostMessage(dialog, WM_COMMAND, page ? idv_select : IDOK, 0);
                return TRUE;
            }
            if (code != ll_sel_change) return TRUE;
            auto sel = static_cast<int>(SendDlgItemMessage(dialog, idv_list, ll_selected, 0, 0));
            if (sel < 0 || static_cast<std::size_t>(sel) >= st->names.size()) return TRUE;
            const std::string& name = st->names[static_cast<std::size_t>(sel)];
            set_name_box(dialog, *st, name);
            show_note(dialog, name);
            if (page) PostMessage(dialog, WM_COMMAND, idv_select, 0);
            return TRUE;
        }
        case idv_type:
            if (code == CBN_SELCHANGE) {
                if (no_model()) return TRUE;
                list_by_type(type_index(dialog));
                set_name_box(dialog, *st, "");
                SetDlgItemText(dialog, idv_note, "");
            }
            return TRUE;
        case idv_subscripts:
            if (code == CBN_DROPDOWN) fill_subscripts(dialog, *st);
            if (code == CBN_SELCHANGE) take_subscript(dialog, *st);
            return TRUE;
        case idv_select:
        case idv_exact:
        case IDOK:
            // On the page, Enter (IDOK, passed on by the panel) is Select.
            choose(dialog, id == IDOK && page ? idv_select : id);
            return TRUE;
        case IDCANCEL:
            if (!page) {
                remember_placement(dialog);
                EndDialog(dialog, 0);
            }
            return TRUE;
        default:
            return FALSE;
        }
    }
    case WM_DESTROY:
        if (dialog == varsel_page) {
            varsel_page = nullptr;
            page_state = vs_window{};
        }
        if (dialog == varsel_dialog) {
            varsel_dialog = nullptr;
            dialog_state = vs_window{};
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void reset_varselect_state() {
    remembered_pattern.clear();
    varsel_list_mode = lm_unhidden;
    history_sink = nullptr;
    varsel_page = nullptr;
    varsel_dialog = nullptr;
    page_state = vs_window{};
    dialog_state = vs_window{};
}

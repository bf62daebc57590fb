// The Tree Diagram tool: see tree.h.
#include "tools/tree.h"

#include "draw/drawing.h"
#include "draw/export.h"
#include "draw/printing.h"
#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "model/model.h"
#include "model/trees.h"
#include "model/varnames.h"
#include "platform/clip.h"
#include "platform/gdi.h"
#include "platform/global.h"
#include "platform/print.h"
#include "shell/filechoice.h"
#include "shell/fonts.h"
#include "shell/msgbox.h"
#include "shell/state.h"
#include "shell/toolset.h"
#include "shell/varselect.h"
#include "sim/simdata.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/toolrun.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* tree_class = "Kavrel_tree";
constexpr int tree_type = 1;

constexpr toptset_field tree_fields[] = {
    {0, tf_int},    {4, tf_byte},   {5, tf_byte},   {6, tf_byte},   {7, tf_byte},   {8, tf_byte},
    {9, tf_byte},   {10, tf_byte},  {11, tf_byte},  {12, tf_byte},  {13, tf_byte},  {14, tf_byte},
    {16, tf_font},  {56, tf_font},  {96, tf_font},  {136, tf_font}, {176, tf_font}, {216, tf_int},
    {220, tf_byte}, {221, tf_byte}, {222, tf_byte}, {-1, 0},
};

// What a tree record holds after its head.
struct tree_data {
    tree_diagram diagram;
    int chosen = 0;
    std::vector<tree_spot> spots;
    bool printing = false;
};

tree_data* data_of(handle record) {
    return static_cast<tree_data*>(outwin_data(record, tree_type));
}

void release_tree_data(handle record) {
    delete static_cast<tree_data*>(outwin_take_data(record));
}

void measure_node(tree_diagram& t, int i, const tree_font_metrics& m) {
    tree_draw_node& n = t.nodes[static_cast<std::size_t>(i)];
    n.name_width = m.width(n.name) + m.cw / 2;
    if (n.children.empty()) {
        n.subtree_width = n.name_width;
        n.height = m.lh + 2 * m.lh / 3;
        return;
    }
    long long h = 0, widest = 0;
    for (int c : n.children) {
        measure_node(t, c, m);
        const tree_draw_node& k = t.nodes[static_cast<std::size_t>(c)];
        h += k.height;
        widest = std::max(widest, k.subtree_width);
    }
    n.height = h;
    n.subtree_width = n.name_width + 3 * m.cw + widest;
}

// The variable's name as the tree shows it.
std::string shown_name(symbol_id s) {
    return valid_symbol(s) ? varformat(s, 0) : std::string();
}

int add_nodes(tree_diagram& t, const tree_node* n) {
    const int at = static_cast<int>(t.nodes.size());
    t.nodes.emplace_back();
    {
        tree_draw_node& d = t.nodes.back();
        d.symbol = n->symbol;
        d.var = shown_name(n->symbol);
        d.name = n->repeated ? "(" + d.var + ")" : d.var;
        d.lifted = n->lifted != 0;
    }
    for (const tree_node* c = n->child; c; c = c->next) {
        const int k = add_nodes(t, c);
        t.nodes[static_cast<std::size_t>(at)].children.push_back(k);
    }
    return at;
}

void grow(tree_node* root, int kind, int depth) {
    for (int level = 1; level <= depth && !stop_request; ++level)
        if (!(kind == 1 ? uses_tree(root, level) : cause_tree(root, level))) break;
}

// The links under node i: (child, parent) is (cause, effect) in a causes
// tree, (parent, child) in a uses tree; a lifted link skips variables, so it
// has no connector of its own.
void apply_link_looks(tree_diagram& t, int i, bool uses, const tree_tool_options& o) {
    const std::vector<int> children = t.nodes[static_cast<std::size_t>(i)].children;
    const std::uint32_t parent = t.nodes[static_cast<std::size_t>(i)].symbol;
    for (int c : children) {
        tree_draw_node& k = t.nodes[static_cast<std::size_t>(c)];
        tree_link_look look;
        if (parent && k.symbol && !k.lifted &&
            tree_link_style_hook(uses ? parent : k.symbol, uses ? k.symbol : parent, &look)) {
            if (o.link_colours) k.colour = look.colour;
            if (o.link_signs) k.sign = look.polarity;
            if (o.link_widths) k.style = tree_link_style(look.width);
        }
        apply_link_looks(t, c, uses, o);
    }
}

tree_node* one_side(symbol_id var, int kind, int depth) {
    clear_var_flag(sf_mark_10 | 0x04);
    tree_node* root = new_tree_node(var);
    if (valid_symbol(var))
        sym(var)->flags = static_cast<std::uint16_t>(sym(var)->flags | sf_mark_10);
    grow(root, kind, depth);
    filter_tree(root);
    sort_tree(root);
    return root;
}

// The metrics of font i of a diagram on a device.
tree_font_metrics device_metrics(HDC dc, const font_spec& f, HFONT* made) {
    *made = make_font(dc, f, 0);
    SelectObject(dc, *made);
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    tree_font_metrics m;
    m.cw = std::max(1, static_cast<int>(tm.tmAveCharWidth));
    m.lh = std::max(1, static_cast<int>(tm.tmHeight + tm.tmExternalLeading));
    HFONT f_made = *made;
    m.width = [dc, f_made](const std::string& s) {
        // Each font's widths with that font selected.
        SelectObject(dc, f_made);
        SIZE sz{0, 0};
        if (!s.empty()) GetTextExtentPoint32(dc, s.c_str(), static_cast<int>(s.size()), &sz);
        return static_cast<int>(sz.cx);
    };
    return m;
}

// Fits the diagram on a device of that size; the chosen font stays selected
// in dc (the caller deletes *font).
tree_fit_result fit_on(HDC dc, tree_diagram& t, int out_w, int out_h, HFONT* font,
                       tree_font_metrics* chosen) {
    std::vector<HFONT> made(5, nullptr);
    std::vector<tree_font_metrics> ms(5);
    HGDIOBJ old = GetCurrentObject(dc, OBJ_FONT);
    for (int i = 0; i < 5; ++i)
        ms[static_cast<std::size_t>(i)] =
            device_metrics(dc, t.fonts[i], &made[static_cast<std::size_t>(i)]);
    const tree_fit_result r = tree_fit(
        t, [&](int i) { return ms[static_cast<std::size_t>(i)]; }, out_w, out_h);
    SelectObject(dc, old);
    for (int i = 0; i < 5; ++i)
        if (i != r.font) DeleteObject(made[static_cast<std::size_t>(i)]);
    *font = made[static_cast<std::size_t>(r.font)];
    SelectObject(dc, *font);
    *chosen = ms[static_cast<std::size_t>(r.font)];
    tree_measure(t, *chosen, nullptr, nullptr);
    return r;
}

struct painter {
    HDC dc;
    const tree_diagram& t;
    const tree_font_metrics& m;
    double sx, sy;
    int cross; // half the cross line of a lifted link
    std::vector<tree_spot>* spots;

    int X(double x) const { return static_cast<int>(std::lround(x * sx)); }
    int Y(double y) const { return static_cast<int>(std::lround(y * sy)); }

    void line(const tree_draw_node& child, int x1, int y1, int x2, int y2) {
        HPEN pen = CreatePen(child.style > 0 ? PS_SOLID : -child.style,
                             child.style > 0 ? child.style - 1 : 0,
                             child.colour < 0 ? RGB(0, 0, 0) : static_cast<COLORREF>(child.colour));
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, x1, y1, nullptr);
        LineTo(dc, x2, y2);
        if (child.lifted) {
            const int mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
            MoveToEx(dc, mx, my - cross, nullptr);
            LineTo(dc, mx, my + cross + 1);
        }
        SelectObject(dc, old);
        DeleteObject(pen);
        if (child.sign) {
            const char s[2] = {child.sign, 0};
            TextOut(dc, (x1 + x2) / 2 - m.width(s) / 2, (y1 + y2) / 2 - m.lh / 2, s, 1);
        }
    }

    void name(const tree_draw_node& n, int left, int cy) {
        const int w = m.width(n.name);
        const int top = cy - m.lh / 2;
        TextOut(dc, left, top, n.name.c_str(), static_cast<int>(n.name.size()));
        if (spots && !n.var.empty())
            spots->push_back({RECT{left, top, left + w, top + m.lh}, n.var});
    }

    // Draws node i at (x, y) in tree units: causes grow left (dir -1), uses
    // right (dir 1).
    void node(int i, double x, double y, int dir, bool draw_name = true) {
        const tree_draw_node& n = t.nodes[static_cast<std::size_t>(i)];
        const double cw = m.cw;
        if (draw_name) {
            const int w = m.width(n.name);
            name(n, dir < 0 ? X(x - cw / 4) - w : X(x + cw / 4), Y(y));
        }
        double top = y - static_cast<double>(n.height) / 2;
        const double child_x = dir < 0 ? x - 3 * cw - static_cast<double>(n.name_width)
                                       : x + 3 * cw + static_cast<double>(n.name_width);
        const double from_x =
            dir < 0 ? x - static_cast<double>(n.name_width) : x + static_cast<double>(n.name_width);
        for (int c : n.children) {
            const tree_draw_node& k = t.nodes[static_cast<std::size_t>(c)];
            const double cy = top + static_cast<double>(k.height) / 2;
            line(k, X(from_x), Y(y), X(child_x), Y(cy));
            node(c, child_x, cy, dir);
            top += static_cast<double>(k.height);
        }
    }
};

// Draws the diagram on dc at that output size; names' rectangles go to spots.
int draw_tree(HDC dc, tree_diagram& t, int out_w, int out_h, std::vector<tree_spot>* spots) {
    if (t.nodes.empty()) return 0;
    HFONT font = nullptr;
    tree_font_metrics m;
    const tree_fit_result r = fit_on(dc, t, out_w, out_h, &font, &m);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    const int ppi = std::max(1, GetDeviceCaps(dc, LOGPIXELSY));
    painter p{dc, t, m, r.sx, r.sy, std::max(1, static_cast<int>(ppi * 0.15 / 2.54)), spots};
    if (spots) spots->clear();
    const double cw = m.cw;
    if (t.kind == 0) {
        p.node(0, static_cast<double>(r.need_w) - 1.5 * cw,
               static_cast<double>(t.nodes[0].height) / 2, -1);
    } else if (t.kind == 1) {
        p.node(0, 1.5 * cw, static_cast<double>(t.nodes[0].height) / 2, 1);
    } else {
        const tree_draw_node& causes = t.nodes[0];
        const double h = static_cast<double>(std::max(causes.height, t.nodes[1].height));
        const double x = static_cast<double>(causes.subtree_width) + 1.5 * cw;
        p.node(0, x, h / 2, -1);
        // The uses side starts at the name's right end; the name is drawn once.
        p.node(1, x - static_cast<double>(causes.name_width), h / 2, 1, false);
    }
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    return r.font + 1;
}

RECT container_area() {
    RECT c{0, 0, 800, 600};
    if (container_wnd) GetClientRect(container_wnd, &c);
    c.bottom = std::max<LONG>(1, c.bottom - caption_height);
    return c;
}

LRESULT tree_window_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    handle record = static_cast<handle>(GetWindowLongPtr(w, 0));
    tree_data* d = record ? data_of(record) : nullptr;
    if (!d) return DefWindowProc(w, m, wp, lp);
    switch (m) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        if (!dc) return 0;
        RECT rc;
        GetClientRect(w, &rc);
        d->chosen = draw_tree(dc, d->diagram, rc.right, rc.bottom, &d->spots) - 1;
        EndPaint(w, &ps);
        return 0;
    }
    case WM_SIZE:
        InvalidateRect(w, nullptr, TRUE);
        return 0;
    case WM_LBUTTONDOWN:
        outwin_notify_container(record, w, outwin_button_down, lp);
        return 0;
    case WM_LBUTTONUP: {
        const int x = static_cast<short>(LOWORD(lp)), y = static_cast<short>(HIWORD(lp));
        outwin_notify_container(record, w, outwin_button_up, lp);
        for (const tree_spot& s : d->spots)
            if (x >= s.rect.left && x <= s.rect.right && y >= s.rect.top && y <= s.rect.bottom) {
                const std::string var = s.var;
                select_var_text(var.c_str(), 0, static_cast<int>(var.size()));
                break;
            }
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == cmd_save_output || LOWORD(wp) == 494) {
            const char* path =
                file_dialog("File to save contents as", "", fd_save, ft_metafiles | ft_text, 0,
                            ft_metafiles, 0, nullptr, nullptr);
            if (path && *path) tree_save(record, path);
            return 0;
        }
        [[fallthrough]];
    default:
        return outwin_default_proc(w, record, m, wp, lp,
                                   {.copy = tree_copy,
                                    .print = tree_print,
                                    .release = release_tree_data,
                                    .busy = d->printing});
    }
}

} // namespace

bool (*tree_link_style_hook)(std::uint32_t cause, std::uint32_t effect,
                             tree_link_look* out) = nullptr;

int tree_link_style(int width_code) {
    if (width_code >= 20) return width_code - 19;
    if (width_code >= 11) return width_code - 10;
    if (width_code <= 0) return 1;
    return -width_code;
}

tree_tool_options tree_defaults() {
    tree_tool_options o{};
    o.depth = 2;
    o.second_depth = 2;
    o.cause_opts[0] = o.cause_opts[1] = 1;
    for (std::uint8_t& s : o.show) s = 1;
    o.ninth_show = 1;
    const int sizes[5] = {18, 12, 10, 8, 6};
    for (int i = 0; i < 5; ++i) {
        o.fonts[i].colour = 0xFFFFFFFFu;
        o.fonts[i].size = static_cast<std::uint8_t>(sizes[i]);
    }
    return o;
}

void tree_measure(tree_diagram& t, const tree_font_metrics& m, long long* need_w,
                  long long* need_h) {
    long long w = 0, h = 0;
    if (!t.nodes.empty()) {
        if (t.kind == 2 && t.nodes.size() >= 2) {
            measure_node(t, 0, m);
            measure_node(t, 1, m);
            const tree_draw_node& a = t.nodes[0];
            const tree_draw_node& b = t.nodes[1];
            h = std::max(a.height, b.height);
            w = a.subtree_width + b.subtree_width - a.name_width + 3 * m.cw;
        } else {
            measure_node(t, 0, m);
            h = t.nodes[0].height;
            w = t.nodes[0].subtree_width;
        }
    }
    if (need_w) *need_w = w + 3 * m.cw;
    if (need_h) *need_h = h + m.lh;
}

tree_fit_result tree_fit(tree_diagram& t, const std::function<tree_font_metrics(int)>& metrics,
                         int out_w, int out_h) {
    tree_fit_result r;
    for (int i = 0; i < 5; ++i) {
        const tree_font_metrics m = metrics(i);
        long long w = 1, h = 1;
        tree_measure(t, m, &w, &h);
        r.font = i;
        r.need_w = std::max(1LL, w);
        r.need_h = std::max(1LL, h);
        r.sx = static_cast<double>(out_w) / static_cast<double>(r.need_w);
        r.sy = static_cast<double>(out_h) / static_cast<double>(r.need_h);
        if (r.sx >= 0.9 && r.sy >= 0.9) break;
    }
    return r;
}

tree_diagram build_tree_diagram(std::uint32_t var, const tree_tool_options& o,
                                const std::string& tool_name) {
    tree_diagram t;
    if (!valid_symbol(var)) return t;
    t.kind = o.kind <= 2 ? o.kind : 0;
    std::memcpy(t.fonts, o.fonts, sizeof t.fonts);
    for (font_spec& f : t.fonts) f = sane_font_spec(f);
    cause_opts[0] = o.cause_opts[0];
    cause_opts[1] = o.cause_opts[1];
    for (int i = 0; i < 8; ++i) tree_kind_flags[i] = o.show[i];
    tree_kind_flags[8] = o.ninth_show;
    if (t.kind == 2) {
        // Nodes 0 and 1 are the two sides' roots, their subtrees after them.
        t.nodes.resize(2);
        const tree_node* sides[2] = {one_side(var, 0, o.depth), nullptr};
        for (int side = 0; side < 2; ++side) {
            if (side == 1) sides[1] = one_side(var, 1, o.second_depth);
            t.nodes[static_cast<std::size_t>(side)].var = shown_name(var);
            t.nodes[static_cast<std::size_t>(side)].name = shown_name(var);
            for (const tree_node* c = sides[side]->child; c; c = c->next) {
                const int k = add_nodes(t, c);
                t.nodes[static_cast<std::size_t>(side)].children.push_back(k);
            }
        }
    } else {
        add_nodes(t, one_side(var, t.kind, o.depth));
    }
    // Every link a plain line, unless the options ask for the sketch
    // connector's look and the sketch tells it.
    for (tree_draw_node& n : t.nodes) {
        n.colour = -1;
        n.style = 1;
        n.sign = 0;
    }
    if ((o.link_colours || o.link_widths || o.link_signs) && tree_link_style_hook) {
        for (std::size_t side = 0; side < (t.kind == 2 ? 2u : 1u); ++side)
            apply_link_looks(t, static_cast<int>(side), t.kind == 1 || side == 1, o);
    }
    t.title = shown_name(var) + ": " + tool_name;
    return t;
}

int tree_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    constexpr int size = static_cast<int>(sizeof(tree_tool_options));
    if (!tool) return size;
    if (mode == 0) {
        tool_record* r = lock_tool(tool);
        if (!r) return size;
        const tree_tool_options d = tree_defaults();
        if (tool_option_size(tool) >= sizeof d) std::memcpy(tool_options(r), &d, sizeof d);
        r->action = tool_action_id(tree_tool_run);
        r->aux = 0;
        unlock_tool(tool);
        if (text && read_line(0)) {
            r = lock_tool(tool);
            read_toptset(line_buf, tool_options(r), tool_option_size(tool), tree_fields);
            unlock_tool(tool);
        }
        r = lock_tool(tool);
        const std::uint8_t kind = static_cast<const tree_tool_options*>(tool_options(r))->kind;
        r->icon = kind == 2 ? 0x1E0090 : kind == 1 ? 0x2D0010 : 0x2D0000;
        unlock_tool(tool);
    } else if (mode == 1 && out) {
        if (tool_record* r = lock_tool(tool)) {
            write_toptset(out, tool_options(r), tool_option_size(tool), tree_fields);
            unlock_tool(tool);
        }
    }
    return size;
}

void tree_tool_run(handle tool) {
    const symbol_id var = workbench_var.var;
    if (!var) {
        report(8, "Tree Diagram: no workbench variable is chosen. Click a name on the diagram or "
                  "choose one on the Control Panel's Variable page.");
        return;
    }
    const tree_tool_options o = tool_options_or(tool, tree_defaults());
    tree_diagram t;
    {
        model_lock_guard lock(cur_model_symbols, 1);
        if (!lock.ok()) return;
        t = build_tree_diagram(var, o, tool_name(tool));
    }
    if (t.nodes.empty()) return;

    // Fitted to the room the container gives.
    const RECT area = container_area();
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HFONT font = nullptr;
    tree_font_metrics m;
    // The size the largest font needs, within the container.
    tree_fit_result fit = fit_on(dc, t, 1 << 24, 1 << 24, &font, &m);
    const int want_w = static_cast<int>(std::min<long long>(fit.need_w, area.right));
    const int want_h = static_cast<int>(std::min<long long>(fit.need_h, area.bottom));
    DeleteObject(font);
    fit = fit_on(dc, t, want_w, want_h, &font, &m);
    DeleteObject(font);
    DeleteDC(dc);
    if ((fit.sx < 0.5 || fit.sy < 0.5) &&
        !ask_yes_no("Tree too big - do you want to display it anyway?"))
        return; // nothing was made, so nothing names a record

    output_oneshots_guard oneshots;
    handle record = new_output_record(sizeof(tree_data*), tree_type);
    if (!record) return;
    auto* d = new tree_data;
    d->diagram = std::move(t);
    d->chosen = fit.font;
    outwin_set_data(record, d, release_tree_data);
    opening_tool = tool;
    HWND w = outwin_open(record, tree_class, d->diagram.title.c_str(), -1, -1, want_w, want_h, 0,
                         release_tree_data);
    opening_tool = 0;
    if (!w) return;
    InvalidateRect(w, nullptr, TRUE);
}

const tree_diagram* tree_of(handle record) {
    tree_data* d = data_of(record);
    return d ? &d->diagram : nullptr;
}

int tree_chosen_font(handle record) {
    tree_data* d = data_of(record);
    return d ? d->chosen : -1;
}

std::vector<tree_spot> tree_spots(handle record) {
    tree_data* d = data_of(record);
    return d ? d->spots : std::vector<tree_spot>{};
}

int tree_print(handle record) {
    tree_data* d = data_of(record);
    if (!d) return 0;
    HDC dc = open_printer_dc("L", nullptr, nullptr, false);
    if (!dc) return 0;
    int w = GetDeviceCaps(dc, HORZRES), h = GetDeviceCaps(dc, VERTRES);
    HFONT font = nullptr;
    tree_font_metrics m;
    const tree_fit_result fit = fit_on(dc, d->diagram, w, h, &font, &m);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    if (fit.need_h > fit.need_w) {
        // Taller than wide: the page stands upright.
        close_printer(-1);
        dc = open_printer_dc("P", nullptr, nullptr, false);
        if (!dc) return 0;
        w = GetDeviceCaps(dc, HORZRES);
        h = GetDeviceCaps(dc, VERTRES);
    }
    if (!start_print_doc()) return 0;
    d->printing = true;
    StartPage(dc);
    draw_tree(dc, d->diagram, w, h, nullptr);
    close_printer(1);
    if ((d = data_of(record)) != nullptr) d->printing = false;
    return 1;
}

namespace {

// The picture of a tree at a size, drawn on the drawing layer's device.
struct tree_picture {
    tree_diagram* diagram;
    SIZE size;
};

void draw_tree_picture(void* context) {
    auto* p = static_cast<tree_picture*>(context);
    if (drawing.cur_dc) draw_tree(drawing.cur_dc, *p->diagram, p->size.cx, p->size.cy, nullptr);
}

// The window's client size and a device to measure on; the caller releases
// the device.
struct tree_export {
    HWND window = nullptr;
    HDC reference = nullptr;
    SIZE size{1, 1};
    int ppi = 96;
    explicit tree_export(handle record) : window(outwin_window(record)) {
        RECT rc{0, 0, 1, 1};
        if (window) GetClientRect(window, &rc);
        size = SIZE{std::clamp<LONG>(rc.right, 1, 32767), std::clamp<LONG>(rc.bottom, 1, 32767)};
        reference = GetDC(window);
        if (reference) ppi = std::max(1, GetDeviceCaps(reference, LOGPIXELSX));
    }
    ~tree_export() {
        if (reference) ReleaseDC(window, reference);
    }
    tree_export(const tree_export&) = delete;
    tree_export& operator=(const tree_export&) = delete;
};

bool ends_with(const std::string& s, const char* tail) {
    const std::size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
    return true;
}

void outline_of(const tree_diagram& t, int i, int depth, std::string& out) {
    const tree_draw_node& n = t.nodes[static_cast<std::size_t>(i)];
    out.append(static_cast<std::size_t>(depth) * 4, ' ');
    out += n.name;
    out += '\n';
    for (int c : n.children) outline_of(t, c, depth + 1, out);
}

} // namespace

std::string tree_text(const tree_diagram& t) {
    std::string out = t.title + "\n";
    if (t.nodes.empty()) return out;
    if (t.kind == 2 && t.nodes.size() > 1) {
        out += "Causes:\n";
        outline_of(t, 0, 1, out);
        out += "Uses:\n";
        outline_of(t, 1, 1, out);
        return out;
    }
    outline_of(t, 0, 0, out);
    return out;
}

int tree_copy(handle record) {
    tree_data* d = data_of(record);
    if (!d) return 0;
    tree_export e(record);
    tree_picture p{&d->diagram, e.size};
    if (!copy_picture(e.window, e.size, e.reference, e.ppi, e.ppi, draw_tree_picture, &p)) return 0;
    // Beside the picture, the names as an indented outline for a text
    // editor, with Windows-style line ends.
    d = data_of(record);
    if (!d) return 1;
    std::string text;
    for (char c : tree_text(d->diagram)) {
        if (c == '\n') text += '\r';
        text += c;
    }
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    void* m = mem ? GlobalLock(mem) : nullptr;
    bool ok = false;
    if (m) {
        std::memcpy(m, text.c_str(), text.size() + 1);
        GlobalUnlock(mem);
        if (OpenClipboard(e.window)) {
            ok = SetClipboardData(CF_TEXT, mem) != nullptr;
            CloseClipboard();
        }
    }
    if (!ok && mem) GlobalFree(mem);
    return 1;
}

int tree_save(handle record, const char* path) {
    tree_data* d = data_of(record);
    if (!d || !path || !*path) return 0;
    const std::string name = path;
    if (ends_with(name, ".txt")) {
        const std::string text = tree_text(d->diagram);
        if (!write_whole_file(path, text.data(), text.size())) {
            report(8, "Cannot open %s to write output", path);
            return 0;
        }
        return 1;
    }
    tree_export e(record);
    tree_picture p{&d->diagram, e.size};
    if (ends_with(name, ".gtx")) return write_gtx(path, e.size, e.reference, draw_tree_picture, &p);
    return write_wmf(path, e.size, e.reference, e.ppi, draw_tree_picture, &p);
}

void install_tree_tool() {
    WNDCLASS wc{};
    wc.lpfnWndProc = tree_window_proc;
    wc.cbWndExtra = 8;
    wc.lpszClassName = tree_class;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    RegisterClass(&wc); // again on a second install: refused harmlessly
    set_tool_setup(find_tool_row("Tree Diagram"), tree_tool_setup);
}

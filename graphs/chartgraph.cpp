// The chart-control graph.
//
// The graph keeps its series as positions in the 0..10000 square (the layout
// of the line graph); the chart gets them back as values. The chart is a
// child window covering the graph window, which then paints nothing itself;
// the record's callbacks are wrapped so that printing and exporting draw the
// chart on the target device, a Livesweep update refills it, and releasing
// the record destroys it. The graph window is subclassed only to re-fit the
// chart when it is resized.
#include "graphs/chartgraph.h"

#include "chart/axis.h"
#include "chart/chart.h"
#include "chart/data.h"
#include "chart/services.h"
#include "draw/drawing.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "platform/messages.h"
#include "shell/upcalls.h"
#include "tools/output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

constexpr UINT chart_control_id = 101;

// The program's chart window: it holds the mouse while a button is down.
class graph_chart : public CChartCtrl {
protected:
    void OnLButtonDown(UINT flags, POINT point) override {
        if (m_hWnd) SetCapture(m_hWnd);
        CChartCtrl::OnLButtonDown(flags, point);
    }
    void OnLButtonUp(UINT flags, POINT point) override {
        ReleaseCapture();
        CChartCtrl::OnLButtonUp(flags, point);
    }
};

struct chart_entry {
    graph_chart* ctrl = nullptr;
    int dimension = 1;
    HWND parent = nullptr;
    WNDPROC parent_proc = nullptr;
    void (*draw)(output_record*) = nullptr;
    void (*release)(handle) = nullptr;
    void (*live_update)(handle) = nullptr;
    double left_margin = 10; // of the view, in per cent
    double top_margin = 16, legend_margin = 12;
    int y_chars = 0; // the longest line of the y numbers
};
std::map<handle, chart_entry> charts;

// The drawing state as the chart library asks for it.
class graph_services : public chart::Services {
public:
    bool printing() const override { return drawing.printing == 1; }
    bool graphics_file_output() const override { return drawing.gtx_mode != 0; }
    void device_res(int* x, int* y) const override {
        const int at = drawing.printing == 1 ? 2 : 0;
        *x = std::max(drawing.device_res[at], 1);
        *y = std::max(drawing.device_res[at + 1], 1);
    }
    void out_size(int* width, int* height) const override {
        *width = static_cast<int>(::out_size.cx);
        *height = static_cast<int>(::out_size.cy);
    }
};
graph_services services_in_use;

chart_entry* entry_of(handle record) {
    auto it = charts.find(record);
    return it == charts.end() ? nullptr : &it->second;
}

LOGFONT log_font_of(const font_spec& f) {
    LOGFONT lf{};
    lf.lfHeight = f.size ? f.size : default_font_points;
    lf.lfWeight = (f.style & font_bold) ? 700 : 400;
    lf.lfItalic = (f.style & font_italic) ? 1 : 0;
    lf.lfUnderline = (f.style & font_underline) ? 1 : 0;
    lf.lfStrikeOut = (f.style & font_strikeout) ? 1 : 0;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%.*s", static_cast<int>(sizeof f.face - 1),
                  f.face);
    return lf;
}

CChartColor series_colour(int i) {
    return CChartColor::FromRef(colour_table[i % 12]);
}

// The graph's units groups, each with its own y range.
std::vector<chart_group> groups_of(const line_graph& g) {
    std::vector<chart_group> out;
    for (int k = 0; k < group_count(g); ++k)
        out.push_back(chart_group{group_min(g, k), group_max(g, k), group_units(g, k)});
    return out;
}

int shown_series(const line_graph& g) {
    return std::clamp(g.series_count, 0, static_cast<int>(g.series.size()));
}

// Steps 2, 3 and 5 of filling: the points of every shown series as values,
// and each series' fill colour.
void add_points(CChartCtrl& c, const line_graph& g) {
    const std::vector<chart_group> groups = groups_of(g);
    const bool one = groups.size() == 1;
    const double y_lo = one ? groups[0].bottom : 0, y_hi = one ? groups[0].top : 10000;
    const double xs = (g.x_max - g.x_min) * 0.0001, ys = (y_hi - y_lo) * 0.0001;
    const int n = shown_series(g);
    for (int i = 0; i < n; ++i) {
        const graph_series& s = g.series[static_cast<std::size_t>(i)];
        const std::size_t m = std::min(s.xs.size(), s.ys.size());
        for (std::size_t k = 0; k < m; ++k)
            c.AddPoint(i + 1, g.x_min + s.xs[k] * xs, y_lo + (10000 - s.ys[k]) * ys);
        if (CChartStyle* st = c.GetSeriesStyle(i + 1)) st->SetFillColor(series_colour(i));
    }
}

// The character width of the chart's axis numbers in an area of this size:
// the chart sizes its 4-point axis font from the drawing area (height x 4/3
// x 4 / 400, 45 % of that wide; from the width when the area is taller than
// wide), made from an area in twips (15 to a screen pixel) and read as
// tenths of a point: twice as high in the area's own units; a digit with its
// spacing is about 0.7 of that height wide.
double axis_char_width(int width, int height) {
    const double w = width, h = height;
    const double ch =
        w < h ? 4.0 * w / (400.0 * 4.0 / 3.0) * 100.0 / 45.0 : h * 4.0 / 3.0 * 4.0 / 400.0;
    return 2 * ch * 0.7;
}

// Fills the chart for an area of this size; returns the view's left margin
// (per cent).
double fill_chart(chart_entry& e, const line_graph& g, int width, int height) {
    CChartCtrl& c = *e.ctrl;
    const int dimension = e.dimension;
    const LOGFONT title_font = log_font_of(g.fonts[3]), legend_font = log_font_of(g.fonts[0]),
                  axis_font = log_font_of(g.fonts[4]);
    const bool hide_legend = g.hide_flags & 1, hide_title = g.hide_flags & 2;
    if (!hide_title) {
        c.SetAxisTitle(g.caption.c_str(), 1);
        if (CChartTextStyle* t = c.GetAxisTitleTextStyle(1)) {
            t->SetPointSize(10.0);
            t->SetLogFont(&title_font);
        }
    }
    const std::vector<chart_group> groups = groups_of(g);
    add_points(c, g);
    const int n = shown_series(g);
    int widest = 0;
    const std::string y_title = chart_y_title(groups, &widest);
    const double left = chart_left_margin(widest, width, height);
    // A 2D chart whose x numbers take two rows starts its legend a line
    // lower, under the second row.
    const bool two_rows = dimension == 1 && chart_x_labels_crowd(g, dimension, left, width, height);
    const chart_legend_layout legend = chart_legend_columns(n);
    // The legend's font follows its point size (the log font sets the size).
    LOGFONT legend_face = legend_font;
    legend_face.lfHeight =
        std::max(1, static_cast<int>(std::lround(legend_font.lfHeight * legend.points / 7.5)));
    if (!hide_legend)
        for (int i = 0; i < n; ++i) {
            const graph_series& s = g.series[static_cast<std::size_t>(i)];
            std::string text = s.label.empty() ? s.name : s.label;
            const std::string& units = group_units(g, s.group);
            if (!units.empty()) text.append(" (").append(units).append(")");
            if (legend.max_chars > 3 && static_cast<int>(text.size()) > legend.max_chars)
                text = text.substr(0, static_cast<std::size_t>(legend.max_chars - 3)) + "...";
            const int column = i / legend.rows, row = i % legend.rows;
            c.AddLegend(text.c_str(), -117.0 + column * 217.0 / legend.columns,
                        chart_legend_y(dimension, row) - (two_rows ? 16.0 : 0.0), 100.0);
            if (CChartTextStyle* t = c.GetLegendTextStyle(i + 1)) {
                t->SetPointSize(legend.points);
                t->SetTextColor(series_colour(i));
                t->SetLogFont(&legend_face);
            }
        }
    const bool one = groups.size() == 1;
    c.SetYRange(one ? groups[0].bottom : 0, one ? groups[0].top : 10000);
    if (CChartTextStyle* t = c.GetTitleTextStyle(4)) {
        t->SetText(y_title.c_str());
        t->SetLogFont(&axis_font);
    }
    if (CChartTextStyle* t = c.GetTitleTextStyle(2)) t->SetLogFont(&axis_font);
    // The title sits an eighth of the box's height above it and the legend
    // items start 8.5 % of its width left of it: the top margin holds the
    // title's line besides, the left one at least that offset and the y
    // title's allowance.
    e.top_margin = hide_title ? 6.0 : 16.0;
    e.legend_margin = (hide_legend ? 12.0 : 12.0 + 3.5 * legend.rows) + (two_rows ? 4.0 : 0.0);
    e.y_chars = widest;
    c.SetViewRect(e.top_margin, e.legend_margin, left, 6.0);
    c.SetViewOption(1);
    c.SetXRange(g.x_min, g.x_max);
    c.SetAxis(2, g.x_divisions, 1, 5.0, 0);
    // Several scales are read at the bottom, middle and top of the axis: an
    // odd number of divisions is doubled so that the middle has its tick.
    const int y_divisions =
        groups.size() > 1 && g.y_divisions % 2 == 1 ? 2 * g.y_divisions : g.y_divisions;
    c.SetAxis(4, y_divisions, 1, 5.0, 0);
    return left;
}

// Crowded x numbers take two rows, every other one a line below the first;
// at a size where they fit, one row again. The x axis takes its text style
// from the x title's (style 2, anchored by its top edge).
void fit_x_rows(const chart_entry& e, const line_graph& g, int width, int height) {
    CChartTextStyle* t = e.ctrl->GetTitleTextStyle(2);
    if (!t) return;
    const bool crowded = chart_x_labels_crowd(g, e.dimension, e.left_margin, width, height);
    if (crowded == t->IsAlternating()) return;
    if (crowded)
        t->SetVAnchor4();
    else
        t->SetVAnchor2();
    if (CChart* chart = e.ctrl->GetChart()) chart->SetPrepared(0);
}

void draw_through_chart(output_record* record);
void live_through_chart(handle record);
void release_through_chart(handle record);

LRESULT subclassed_graph_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    handle record = 0;
    WNDPROC base = nullptr;
    for (auto& [h, e] : charts)
        if (e.parent == window) {
            record = h;
            base = e.parent_proc;
        }
    const LRESULT r = base ? CallWindowProc(base, window, message, wparam, lparam)
                           : DefWindowProc(window, message, wparam, lparam);
    if (message == WM_SIZE && record) resize_chart(record, LOWORD(lparam), HIWORD(lparam));
    return r;
}

} // namespace

chart_kind chart_kind_for(int chart_style, int line_kind) {
    switch (chart_style) {
    case 2:
        return {line_kind ? 6 : 4, 2};
    case 3:
        return {7, 2};
    case 4:
        return {1, 2};
    default:
        return {line_kind ? 6 : 4, 1};
    }
}

chart_legend_layout chart_legend_columns(int n) {
    // Six lines leave the plot half the window with the view's other
    // margins; more go into columns (up to three) of a smaller text.
    constexpr int most_rows = 6;
    chart_legend_layout l;
    if (n <= most_rows) {
        l.rows = std::max(n, 1);
        return l;
    }
    l.columns = std::min((n + most_rows - 1) / most_rows, 3);
    l.rows = (n + l.columns - 1) / l.columns;
    l.points = l.columns == 2 ? 6.0 : 5.5;
    l.max_chars = l.columns == 2 ? 44 : 28;
    return l;
}

double chart_legend_y(int dimension, int i) {
    return dimension == 2 ? -(175.0 + 20.0 * i) : -(130.0 + 11.0 * i);
}

std::string chart_y_title(const std::vector<chart_group>& groups, int* widest) {
    if (widest) *widest = 0;
    if (groups.size() < 2) return {};
    std::size_t longest = 0;
    auto add = [&longest](std::string& column, double v, const std::string& units) {
        if (!column.empty()) column.push_back('\n');
        std::string line = format_number_string(v, 0, nullptr);
        if (!units.empty()) line.append(" ").append(units);
        longest = std::max(longest, line.size());
        column.append(line);
    };
    std::string columns[3];
    for (const chart_group& g : groups) {
        add(columns[0], g.bottom, g.units);
        add(columns[1], (g.bottom + g.top) / 2, g.units);
        add(columns[2], g.top, g.units);
    }
    std::string text;
    for (const std::string& c : columns) text.append("\t").append(c);
    if (widest) *widest = static_cast<int>(longest);
    return text;
}

double chart_left_margin(int chars, int width, int height) {
    if (chars <= 0 || width <= 0 || height <= 0) return 10.0;
    // The numbers with a tenth to spare, and the tick mark (5 % of the
    // axis) with a little space, left of the axis.
    const double need = chars * axis_char_width(width, height) * 1.1 / width * 100.0 + 7.0;
    return std::clamp(need, 10.0, 50.0);
}

int init_chart_app() {
    CMfcApp& app = AfxGetApp();
    if (!app.initialised) {
        app.initialised = true;
        chart::set_services(&services_in_use);
    }
    return 1;
}

void exit_chart_app() {
    while (!charts.empty()) release_chart(charts.begin()->first);
    chart::set_services(nullptr);
    AfxGetApp().initialised = false;
}

CChartCtrl* chart_of(handle record) {
    chart_entry* e = entry_of(record);
    return e ? e->ctrl : nullptr;
}

bool chart_x_labels_crowd(const line_graph& g, int dimension, double left_margin, int width,
                          int height) {
    if (width <= 0 || height <= 0 || g.x_divisions < 1 || !(g.x_max > g.x_min)) return false;
    // The widest number along the axis, in characters, with one between.
    const double step = (g.x_max - g.x_min) / g.x_divisions;
    std::size_t chars = 0;
    for (int i = 0; i <= g.x_divisions; ++i)
        chars = std::max(chars, std::strlen(format_to_step(g.x_min + i * step, step)));
    const double w = width;
    const double cw = axis_char_width(width, height);
    // The x axis spans the area less its side margins (a 3D axis lies
    // foreshortened along its depth).
    double axis = w * (100.0 - left_margin - 6.0) / 100.0;
    if (dimension == 2) axis *= 0.6;
    return static_cast<double>(g.x_divisions + 1) * static_cast<double>(chars + 1) * cw > axis;
}

int build_chart_graph(handle record, int chart_style) {
    if (!AfxGetApp().initialised || !chart_style) return 0;
    line_graph* g = graph_of(record);
    auto* o = static_cast<output_record*>(lock_handle(record));
    if (!g || !o) {
        if (o) unlock_handle(record);
        return 0;
    }
    HWND window = o->window;
    unlock_handle(record);
    if (!window || !IsWindow(window)) return 0;
    const chart_kind kind = chart_kind_for(chart_style, g->line_kind);
    chart_entry* e = entry_of(record);
    const bool fresh = !e;
    if (fresh) {
        chart_entry made;
        made.ctrl = new graph_chart();
        made.dimension = kind.dimension;
        made.ctrl->CreateChart(kind.type, kind.dimension, 3);
        RECT client{};
        GetClientRect(window, &client);
        if (!made.ctrl->Create(WS_CHILD | WS_VISIBLE, client, window, chart_control_id)) {
            delete made.ctrl;
            return 0;
        }
        made.ctrl->SetBackgroundBrush(graph_background);
        made.parent = window;
        e = &charts.emplace(record, made).first->second;
    } else {
        e->ctrl->ClearData(0);
    }
    RECT area{};
    GetClientRect(window, &area);
    e->left_margin = fill_chart(*e, *g, area.right - area.left, area.bottom - area.top);
    fit_x_rows(*e, *g, area.right - area.left, area.bottom - area.top);
    o = static_cast<output_record*>(lock_handle(record));
    if (!o) return 0;
    o->chart = e->ctrl;
    if (fresh) {
        e->draw = o->draw;
        e->release = o->release;
        e->live_update = o->live_update;
        o->draw = draw_through_chart;
        o->release = release_through_chart;
        if (o->live_update) o->live_update = live_through_chart;
    }
    unlock_handle(record);
    if (fresh) {
        e->parent_proc = reinterpret_cast<WNDPROC>(GetWindowLongPtr(window, GWLP_WNDPROC));
        SetWindowLongPtr(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&subclassed_graph_proc));
    }
    e->ctrl->RedrawNow();
    InvalidateRect(e->ctrl->m_hWnd, nullptr, TRUE);
    return 1;
}

int refill_chart(handle record) {
    chart_entry* e = entry_of(record);
    line_graph* g = graph_of(record);
    if (!e || !g) return 0;
    e->ctrl->ClearData(0);
    add_points(*e->ctrl, *g);
    const bool one = groups_of(*g).size() == 1;
    e->ctrl->SetYRange(one ? g->y_min : 0, one ? g->y_max : 10000);
    e->ctrl->SetXRange(g->x_min, g->x_max);
    if (CDC* dc = e->ctrl->GetDC()) {
        e->ctrl->OnDraw(dc);
        e->ctrl->ReleaseDC(dc);
    }
    return 1;
}

int draw_chart_graph(handle record) {
    chart_entry* e = entry_of(record);
    if (!e || !drawing.cur_dc) return 0;
    // Printing and exporting lay the chart out at the output's size, which
    // the chart window takes for the while.
    RECT old{};
    GetClientRect(e->ctrl->m_hWnd, &old);
    const bool resized =
        out_size.cx > 0 && out_size.cy > 0 && (drawing.printing == 1 || drawing.gtx_mode != 0);
    const double window_left = e->left_margin;
    if (resized) {
        MoveWindow(e->ctrl->m_hWnd, 0, 0, static_cast<int>(out_size.cx),
                   static_cast<int>(out_size.cy), FALSE);
        e->ctrl->SetViewRect(e->top_margin, e->legend_margin,
                             chart_left_margin(e->y_chars, static_cast<int>(out_size.cx),
                                               static_cast<int>(out_size.cy)),
                             6.0);
    }
    if (drawing.gtx_mode < 0)
        report(8, "A chart graph cannot be written as graphics transfer text: the file "
                  "is empty. Save it as a metafile.");
    CDC dc;
    dc.Attach(drawing.cur_dc);
    dc.SetAttribDC(drawing.measure_dc ? drawing.measure_dc : drawing.cur_dc);
    e->ctrl->GetChart()->SetPrepared(0);
    e->ctrl->OnDraw(&dc);
    e->ctrl->GetChart()->SetPrepared(0);
    dc.ReleaseAttribDC();
    dc.Detach();
    if (resized) {
        MoveWindow(e->ctrl->m_hWnd, 0, 0, old.right, old.bottom, FALSE);
        e->ctrl->SetViewRect(e->top_margin, e->legend_margin, window_left, 6.0);
    }
    e->ctrl->RedrawNow();
    return 1;
}

void resize_chart(handle record, int width, int height) {
    chart_entry* e = entry_of(record);
    if (!e || !e->ctrl->m_hWnd) return;
    MoveWindow(e->ctrl->m_hWnd, 0, 0, std::max(width, 1), std::max(height, 1), TRUE);
    // The y numbers keep their room at the new size.
    const double left = chart_left_margin(e->y_chars, width, height);
    if (left != e->left_margin) {
        e->left_margin = left;
        e->ctrl->SetViewRect(e->top_margin, e->legend_margin, left, 6.0);
        if (CChart* chart = e->ctrl->GetChart()) chart->SetPrepared(0);
    }
    if (const line_graph* g = graph_of(record)) fit_x_rows(*e, *g, width, height);
    e->ctrl->RedrawNow();
    InvalidateRect(e->ctrl->m_hWnd, nullptr, TRUE);
}

void release_chart(handle record) {
    auto it = charts.find(record);
    if (it == charts.end()) return;
    chart_entry e = it->second;
    charts.erase(it);
    if (e.parent && IsWindow(e.parent) && e.parent_proc)
        SetWindowLongPtr(e.parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(e.parent_proc));
    if (auto* o = static_cast<output_record*>(lock_handle(record))) {
        o->chart = nullptr;
        o->draw = e.draw;
        o->release = e.release;
        o->live_update = e.live_update;
        unlock_handle(record);
    }
    delete e.ctrl;
}

namespace {

void draw_through_chart(output_record* record) {
    (void)record;
    draw_chart_graph(cur_output);
}

void live_through_chart(handle record) {
    chart_entry* e = entry_of(record);
    if (e && e->live_update) e->live_update(record);
    refill_chart(record);
}

void release_through_chart(handle record) {
    chart_entry* e = entry_of(record);
    void (*release)(handle) = e ? e->release : nullptr;
    release_chart(record);
    if (release) release(record);
}

} // namespace

void install_chart_graph_hooks() {
    chart_app.init = init_chart_app;
    chart_app.exit = exit_chart_app;
}

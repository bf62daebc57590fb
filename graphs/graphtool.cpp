// The Graph tool: see graphtool.h.
#include "graphs/graphtool.h"

#include "draw/ctext.h"
#include "draw/drawing.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "graphs/bargraph.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "graphs/strip.h"
#include "model/context.h"
#include "model/model.h"
#include "model/timebase.h"
#include "model/units.h"
#include "model/varnames.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/toolset.h"
#include "shell/wiring.h"
#include "sim/simdata.h"
#include "tools/output.h"
#include "tools/toolrun.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

constexpr int option_size = static_cast<int>(sizeof(graph_options));

#define GO(field) static_cast<std::int32_t>(offsetof(graph_options, field))
// The tool set line: width, height, five bytes, the eleven reserved bytes,
// the second reserved byte, the six fonts, hide_flags and hide_empty.
const toptset_field graph_fields[] = {
    {GO(width), tf_float},          {GO(height), tf_float},
    {GO(size_code), tf_byte},       {GO(graph_mode), tf_byte},
    {GO(line_kind), tf_byte},       {GO(labels_between), tf_byte},
    {GO(fixed_divisions), tf_byte}, {GO(reserved) + 0, tf_byte},
    {GO(reserved) + 1, tf_byte},    {GO(reserved) + 2, tf_byte},
    {GO(reserved) + 3, tf_byte},    {GO(reserved) + 4, tf_byte},
    {GO(reserved) + 5, tf_byte},    {GO(reserved) + 6, tf_byte},
    {GO(reserved) + 7, tf_byte},    {GO(reserved) + 8, tf_byte},
    {GO(reserved) + 9, tf_byte},    {GO(reserved) + 10, tf_byte},
    {GO(reserved2), tf_byte},       {GO(fonts) + 0 * 40, tf_font},
    {GO(fonts) + 1 * 40, tf_font},  {GO(fonts) + 2 * 40, tf_font},
    {GO(fonts) + 3 * 40, tf_font},  {GO(fonts) + 4 * 40, tf_font},
    {GO(fonts) + 5 * 40, tf_font},  {GO(hide_flags), tf_byte},
    {GO(hide_empty), tf_byte},      {-1, 0},
};
#undef GO

handle last_record = 0;

graph_options* options_of(tool_record* r) {
    return static_cast<graph_options*>(tool_options(r));
}

std::uint32_t icon_for(const graph_options& o) {
    if (o.line_kind != 0)
        return o.graph_mode == 1 ? 0xf0030 : o.graph_mode == 2 ? 0xf0040 : 0xf0020;
    return o.graph_mode == 1 ? 0xf0060 : o.graph_mode == 2 ? 0xf0070 : 0xf0050;
}

} // namespace

int graph_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    if (!tool) return option_size;
    if (tool_option_size(tool) < static_cast<std::uint32_t>(option_size)) return option_size;
    if (mode == 0) {
        tool_record* r = lock_tool(tool);
        if (!r) return option_size;
        graph_options* o = options_of(r);
        std::memset(o, 0, sizeof *o);
        const graph_settings& s = graph_defaults();
        for (int i = 0; i < 6; ++i) o->fonts[i] = s.fonts[i];
        o->width = 16.0f;
        o->height = 12.0f;
        o->size_code = 2;
        r->action = tool_action_id(graph_tool_run);
        unlock_tool(tool);
        if (text && read_line(0)) {
            r = lock_tool(tool);
            read_toptset(line_buf, tool_options(r), static_cast<std::uint32_t>(option_size),
                         graph_fields);
            graph_options* g = options_of(r);
            for (font_spec& f : g->fonts) f = sane_font_spec(f);
            unlock_tool(tool);
            // Title, footer, annotation; an empty line stores none.
            for (int i = 0; i < 3 && read_line(0); ++i) {
                std::string line = line_buf;
                while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                    line.pop_back();
                std::int32_t cell = line.empty() ? 0 : tool_add_text(tool, line.c_str());
                r = lock_tool(tool);
                graph_options* go = options_of(r);
                std::uint32_t* slot = i == 0 ? &go->title : i == 1 ? &go->footer : &go->annotation;
                *slot = static_cast<std::uint32_t>(cell > 0 ? cell : 0);
                unlock_tool(tool);
            }
        }
        r = lock_tool(tool);
        if (r) {
            r->icon = icon_for(*options_of(r));
            unlock_tool(tool);
        }
    } else if (mode == 1 && out) {
        tool_record* r = lock_tool(tool);
        if (!r) return option_size;
        write_toptset(out, tool_options(r), static_cast<std::uint32_t>(option_size), graph_fields);
        const graph_options o = *options_of(r);
        unlock_tool(tool);
        for (std::uint32_t cell : {o.title, o.footer, o.annotation}) {
            if (cell) *out += tool_text(tool, static_cast<std::int32_t>(cell));
            *out += '\n';
        }
    }
    return option_size;
}

handle last_graph_record() {
    return last_record;
}

namespace {

// The symbol whose units are the time basis's: the basis itself, or, for a
// time variable without units of its own, TIME STEP (the model's unit of
// time).
symbol_id time_units_symbol(symbol_id basis) {
    model_lock_guard guard(locked_model_symbols && model_lock_flag != -1 ? locked_model_symbols
                                                                         : cur_model_symbols,
                           0);
    if (!guard.ok() || !valid_symbol(basis) || sym(basis)->units) return basis;
    const symbol_id step = find_symbol("TIME STEP");
    return valid_symbol(step) && sym(step)->units ? step : basis;
}

// The units of a variable summed over time. A model that gives its time
// no units leaves the product unknown: then a rate's units ("people/year")
// lose their one unit of time, the usual reading of such a model.
std::string cumulative_units(symbol_id var, symbol_id time) {
    const std::string product = units_product_text(var, time);
    if (product.find("Bad Units") == std::string::npos) return product;
    model_lock_guard guard(locked_model_symbols && model_lock_flag != -1 ? locked_model_symbols
                                                                         : cur_model_symbols,
                           0);
    if (!guard.ok()) return product;
    units_value u = units_of_symbol(var);
    int below = 0;
    symbol_id per = 0;
    for (const auto& [id, e] : u.exp)
        if (e < 0) {
            below += -e;
            per = id;
        }
    if (!u.known || below != 1) return product;
    u.exp.erase(per);
    return units_value_text(u);
}

} // namespace

bool reuse_graph_ranges(line_graph& g, handle tool) {
    handle shown = 0;
    if (tool_record* t = lock_tool(tool)) {
        shown = t->output;
        unlock_tool(tool);
    }
    const line_graph* old = shown ? graph_of(shown) : nullptr;
    if (!old || old == &g || group_count(*old) != group_count(g)) return false;
    auto* rec = static_cast<output_record*>(lock_handle(shown));
    const bool open = rec && rec->window && IsWindow(rec->window);
    if (rec) unlock_handle(shown);
    if (!open) return false;
    // Ranges never found (an empty graph) are nothing to keep.
    if (!(old->x_max > old->x_min)) return false;
    // The game goes on past the shown end: that end follows the model's
    // times again, and kept y ranges widen to the data, so no new point of
    // the game is cut off by the scales it keeps.
    g.x_min = old->x_min;
    if (!model_rec || old->x_max >= model_rec->end) g.x_max = old->x_max;
    for (int k = 0; k < group_count(g); ++k) {
        group_min(g, k) = group_min(*old, k);
        group_max(g, k) = group_max(*old, k);
    }
    g.soft_bounds = true;
    return true;
}

void graph_tool_run(handle tool) {
    last_record = 0;
    if (!workbench_var.var) {
        report(8, "Graph: no workbench variable is chosen. Click a name on the diagram or choose "
                  "one on the Control Panel's Variable page.");
        return;
    }
    tool_run<graph_options> run(tool);
    if (!run.ok()) return;
    const graph_options& o = run.options;
    const symbol_id var = run.var;
    const char** elements = nullptr;
    const int element_count = var_element_names(var, &elements, 0);
    if (element_count <= 0 || !elements) return;
    std::vector<std::string> names(elements, elements + element_count);
    const int runs = loaded_run_names(0);
    if (runs <= 0 || !model_rec) return;

    handle h = new_line_graph_record();
    if (!h) return;
    line_graph* g = graph_of(h);
    for (int i = 0; i < 6; ++i) g->fonts[i] = sane_font_spec(o.fonts[i]);
    const std::string title = o.title ? tool_text(tool, static_cast<std::int32_t>(o.title)) : "";
    const char* shown_name = varformat(var, 1);
    g->title = !title.empty() ? title : tool_name(tool) + " for " + shown_name;
    g->caption = !title.empty() ? title : std::string(shown_name);
    if (o.footer) g->footer = tool_text(tool, static_cast<std::int32_t>(o.footer));
    if (o.annotation) g->annotation = tool_text(tool, static_cast<std::int32_t>(o.annotation));
    g->graph_mode = o.graph_mode <= 2 ? o.graph_mode : 0;
    // A negative kind (filled areas) read as a byte used to draw markers.
    g->line_kind = o.line_kind < 0 ? -1 : o.line_kind;
    g->labels_between = o.labels_between;
    g->hide_flags = o.hide_flags;
    g->hide_empty = o.hide_empty;
    const symbol_id basis = time_basis_symbol();
    g->x_var_name = basis ? varformat(basis, 0) : "Time";
    g->x_title = basis ? name_units_label(nullptr, basis, 0) : "Time";
    g->x_divisions = o.fixed_divisions ? graph_defaults().x_divisions : -1;
    // A cumulative graph sums the variable over time: its units times the
    // time basis's (births in people/year add up to people).
    if (g->graph_mode == 1)
        g->units = basis ? cumulative_units(var, time_units_symbol(basis)) : "?";
    else
        g->units = name_units_label(nullptr, var, 2);
    for (const std::string& n : names)
        for (int k = 0; k < runs && k < max_selected_runs; ++k) {
            graph_series s;
            s.name = n;
            s.run = model_rec->runs[k].run;
            s.label = n + " : " + (selected_run_names[k] ? selected_run_names[k] : "");
            g->series.push_back(std::move(s));
        }
    set_graph_size(*g, o.size_code, o.width, o.height);
    if (game_state) reuse_graph_ranges(*g, tool);

    opening_tool = tool;
    last_record = show_line_graph(h);
}

namespace {

// Before and after each Livesweep re-run: the line graphs, and before it the
// bars and strips of the shown run (also of windows opened before Livesweep
// started), which are asked of the value cache so the re-run fills them.
void livesweep_open_graphs(int phase) {
    if (phase == 0) {
        const std::vector<handle> records = open_windows; // a copy, as callbacks may change it
        for (handle record : records) {
            bar_prepare_live(record);
            strip_prepare_live(record);
        }
    }
    livesweep_graphs(phase);
}

} // namespace

void install_graph_hooks() {
    graphics_window_hook = graphics_proc;
    install_ctext_proc();
    portrait_page_of = [](handle record) {
        const line_graph* g = graph_of(record);
        return g && g->portrait;
    };
    livesweep_output_hook = livesweep_open_graphs;
    set_tool_setup(find_tool_row("Graph"), graph_tool_setup);
}

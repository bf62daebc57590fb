// The grid tools' common part: see gridtool.h.
#include "tools/gridtool.h"

#include "foundation/docwriter.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "model/model.h"
#include "model/timebase.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/toolset.h"
#include "shell/varselect.h"
#include "tools/grid_core.h"
#include "tools/gridwin.h"
#include "tools/output.h"

#include <cstring>

int grid_tool_setup(const grid_tool_kind& kind, int mode, handle tool, std::string* out,
                    const char* text) {
    const int size = static_cast<int>(kind.size);
    if (!tool) return size;
    if (mode == 0) {
        tool_record* r = lock_tool(tool);
        if (!r) return size;
        if (tool_option_size(tool) >= kind.size)
            std::memcpy(tool_options(r), kind.defaults, kind.size);
        r->action = tool_action_id(kind.run);
        r->aux = 0;
        unlock_tool(tool);
        if (text && read_line(0)) {
            r = lock_tool(tool);
            read_toptset(line_buf, tool_options(r), tool_option_size(tool), kind.fields);
            unlock_tool(tool);
        }
        // The picture follows the options just read.
        r = lock_tool(tool);
        r->icon = kind.icon(tool_options(r));
        unlock_tool(tool);
    } else if (mode == 1 && out) {
        if (tool_record* r = lock_tool(tool)) {
            write_toptset(out, tool_options(r), tool_option_size(tool), kind.fields);
            unlock_tool(tool);
        }
    }
    return size;
}

handle grid_tool_reusable(handle tool) {
    tool_record* r = lock_tool(tool);
    handle out = r ? r->output : 0;
    if (r) unlock_tool(tool);
    return out && spread_rows(out) ? out : 0;
}

handle grid_tool_window(handle tool, const font_spec* font, int first_tab, int tab_width,
                        int layout, bool* opened) {
    *opened = false;
    if (handle rec = grid_tool_reusable(tool)) {
        cur_output = rec;
        return rec;
    }
    opening_tool = tool;
    const std::string title = tool_name(tool);
    const handle rec =
        open_spread_window(title.c_str(), -1, -1, 0, 0, font, first_tab, tab_width, layout);
    opening_tool = 0;
    *opened = rec != 0;
    return rec;
}

grid_tool_report::grid_tool_report(handle record) {
    text_report(512, 0, 0, report_grid, static_cast<std::uintptr_t>(record), 0);
}

grid_tool_report::~grid_tool_report() {
    doc_flush();
    text_report(0, 0, 0, report_none, 0, 0);
}

grid_tool_runs grid_tool_selected_runs(int count) {
    grid_tool_runs out;
    for (int i = 0; i < count; ++i) {
        out.index.push_back(model_rec->runs[i].run);
        out.names.emplace_back(selected_run_names[i] ? selected_run_names[i] : "");
    }
    return out;
}

void grid_tool_print_runs(const grid_tool_runs& runs, bool in_columns) {
    if (!in_columns) {
        // One field: the names stay out of the value columns.
        docprintf("Runs: %s", runs.names[0].c_str());
        for (std::size_t i = 1; i < runs.names.size(); ++i)
            docprintf(", %s", runs.names[i].c_str());
        docprintf("\n");
        return;
    }
    docprintf("Runs:\t\\0\\%s", runs.names[0].c_str());
    for (std::size_t i = 1; i < runs.names.size(); ++i)
        docprintf("\t\\%c\\%s", run_colour_char(static_cast<int>(i)), runs.names[i].c_str());
    docprintf("\n");
}

bool grid_tool_main_run_present(const grid_tool_runs& runs) {
    if (run_time_count(runs.index[0]) > 0) return true;
    report(8, "Main run %s moved or changed - try unloading then reloading", runs.names[0].c_str());
    return false;
}

void grid_tool_no_variable(const char* tool_name) {
    report(8,
           "%s: no workbench variable is chosen. Click a name on the diagram or choose one on the "
           "Control Panel's Variable page.",
           tool_name);
}

void grid_tool_print_variable(int related, const char* alone) {
    docprintf("\"%s\" %s", workbench_var_text().c_str(),
              related == 0   ? "and its causes "
              : related == 1 ? "and its uses "
                             : alone);
}

symbol_id grid_tool_time_axis() {
    symbol_id axis = time_basis_symbol();
    if (!axis && model_hdr) axis = model_hdr->w[mh_time_symbol];
    return axis;
}

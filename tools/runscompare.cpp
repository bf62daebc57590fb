// The Runs Compare tool: see runscompare.h.
#include "tools/runscompare.h"

#include "foundation/docwriter.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "model/context.h"
#include "model/model.h"
#include "runs/compare.h"
#include "runs/select.h"
#include "shell/toolset.h"
#include "tools/output.h"
#include "tools/textwin.h"
#include "tools/toolrun.h"

#include <cstring>
#include <string>

namespace {

// The option fields in the tool set file's order.
constexpr toptset_field compare_fields[] = {
    {0, tf_float}, {4, tf_float}, {48, tf_byte}, {49, tf_byte}, {50, tf_byte},
    {51, tf_byte}, {52, tf_byte}, {53, tf_byte}, {54, tf_byte}, {55, tf_byte},
    {8, tf_font},  {57, tf_byte}, {-1, 0},
};

runs_compare_options compare_defaults() {
    runs_compare_options o{};
    o.constants = 1;
    o.lookups = 1;
    // The text windows' default font.
    o.font.colour = 0xFFFFFFFFu;
    o.font.size = 10;
    return o;
}

// Process-wide: the window written to, the font it opens with and the class
// heading still to print.
handle window = 0;
font_spec window_font{};
std::string pending_heading;

void (*previous_released)(handle record) = nullptr;

// A closing text window is forgotten only when it is the one the tool writes
// to: an older comparison window, left open, must not make the tool forget
// the new one.
void text_window_released(handle record) {
    if (record && record == window) window = 0;
    if (previous_released) previous_released(record);
}

const font_spec* font_or_default(const font_spec& f) {
    return f.size == 0 && f.face[0] == 0 ? nullptr : &f;
}

// Ends the tool's use of the report on every way out: the last partial line
// goes to the window, the header hook and the heading are cleared.
struct run_scope {
    run_scope() { compare_header_hook = compare_header; }
    ~run_scope() {
        compare_header_hook = nullptr;
        pending_heading.clear();
        if (window) {
            doc_flush();
            text_report(0, 0, 0, report_none, 0, 0);
        }
    }
    run_scope(const run_scope&) = delete;
    run_scope& operator=(const run_scope&) = delete;
};

} // namespace

handle compare_window() {
    return window;
}

int compare_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    constexpr int size = static_cast<int>(sizeof(runs_compare_options));
    if (!tool) return size;
    if (mode == 0) {
        tool_record* r = lock_tool(tool);
        if (!r) return size;
        const runs_compare_options defaults = compare_defaults();
        if (tool_option_size(tool) >= sizeof defaults)
            std::memcpy(tool_options(r), &defaults, sizeof defaults);
        r->icon = 32;
        r->aux = 0;
        r->action = tool_action_id(compare_tool_run);
        unlock_tool(tool);
        if (text && read_line(0)) {
            r = lock_tool(tool);
            read_toptset(line_buf, tool_options(r), tool_option_size(tool), compare_fields);
            unlock_tool(tool);
        }
    } else if (mode == 1 && out) {
        if (tool_record* r = lock_tool(tool)) {
            write_toptset(out, tool_options(r), tool_option_size(tool), compare_fields);
            unlock_tool(tool);
        }
    }
    return size;
}

void compare_header(const char* name1, const char* name2) {
    if (!window) {
        const std::string title = std::string("Comparing  ") + name1 + " and " + name2;
        handle rec = open_text_window(title.c_str(), -1, -1, 0, 0, 0, font_or_default(window_font));
        if (!rec) return;
        window = rec;
        doc_begin(256, 70, 0, doc_to_text, static_cast<std::uintptr_t>(rec), 0);
        // The printed first line keeps its line feed; the title has none.
        docprintf("Comparing  %s and %s\n", name1, name2);
    }
    if (!pending_heading.empty()) {
        docprintf("******%s differences between %s and %s******\n", pending_heading.c_str(), name1,
                  name2);
        pending_heading.clear();
    }
}

void compare_tool_run(handle tool) {
    const runs_compare_options o = tool_options_or(tool, compare_defaults());
    window_font = o.font;
    // A window of an earlier run stays open but is no longer written to.
    if (window) {
        unlist_output_window(window);
        window = 0;
    }
    if (loaded_run_names(1) < 2 || !model_rec || model_rec->run_count < 2) {
        report(8, "Must have two runs loaded to compare runs");
        return;
    }
    const std::string name1 = selected_run_names[0], name2 = selected_run_names[1];
    const int run1 = model_rec->runs[0].run, run2 = model_rec->runs[1].run;
    struct compared_class {
        std::uint8_t on;
        int cls;
        const char* heading;
    };
    const compared_class classes[] = {
        {o.constants, st_constant, "Constant"},
        {o.lookups, st_lookup, "Lookup"},
        {o.data, st_data, "Data"},
        {o.initials, st_initial, "Initial"},
        {o.levels, st_level, "Level"},
        {o.auxiliaries, st_aux, "Auxiliary"},
        {o.game_inputs, st_game, "Game Inputs"},
    };
    {
        run_scope scope;
        for (const compared_class& c : classes) {
            if (!c.on) continue;
            pending_heading = c.heading;
            // A refusal has said why; going on would repeat it for every class
            // and end in a claim that the runs do not differ.
            if (compare_runs(name1.c_str(), run1, name2.c_str(), run2, 0, c.cls, o.rel, o.abs) ==
                    -1 ||
                compare_runs(name2.c_str(), run2, name1.c_str(), run1, 1, c.cls, o.rel, o.abs) ==
                    -1)
                return;
        }
        if (window) return;
    }
    report(8, "%s and %s have no differences among selected variable types at tolerance %g,%g",
           name1.c_str(), name2.c_str(), static_cast<double>(o.rel), static_cast<double>(o.abs));
}

void install_runs_compare() {
    set_tool_setup(find_tool_row("Runs Compare"), compare_tool_setup);
    if (text_record_released != text_window_released) {
        previous_released = text_record_released;
        text_record_released = text_window_released;
    }
}

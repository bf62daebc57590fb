// The text tools of the palette: see texttools.h.
#include "tools/texttools.h"

#include "foundation/docwriter.h"
#include "foundation/ini.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "model/constants.h"
#include "model/model.h"
#include "model/varnames.h"
#include "shell/filechoice.h"
#include "shell/toolset.h"
#include "shell/varselect.h"
#include "shell/wip.h"
#include "tools/document.h"
#include "tools/gridwin.h"
#include "tools/loops.h"
#include "tools/outline.h"
#include "tools/output.h"
#include "tools/statstool.h"
#include "tools/table.h"
#include "tools/textwin.h"
#include "tools/toolrun.h"
#include "tools/tree.h"
#include "tools/units_tool.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr toptset_field outline_fields[] = {
    {0, tf_int},   {4, tf_byte},  {5, tf_byte},  {6, tf_byte},  {7, tf_byte},
    {8, tf_byte},  {9, tf_byte},  {10, tf_byte}, {11, tf_byte}, {12, tf_byte},
    {13, tf_byte}, {14, tf_byte}, {16, tf_font}, {-1, 0},
};
constexpr toptset_field document_fields[] = {
    {0, tf_byte},  {1, tf_byte},  {2, tf_byte},  {3, tf_byte},  {4, tf_byte},  {5, tf_byte},
    {6, tf_byte},  {7, tf_byte},  {8, tf_byte},  {9, tf_byte},  {10, tf_byte}, {11, tf_byte},
    {12, tf_byte}, {13, tf_byte}, {14, tf_byte}, {15, tf_byte}, {16, tf_byte}, {17, tf_byte},
    {18, tf_byte}, {19, tf_byte}, {20, tf_int},  {24, tf_font}, {-1, 0},
};

// The common part of a setup with an option block: defaults in mode 0, then
// the option line when a tool set gives one; mode 1 writes it back.
template <class Options>
int block_setup(int mode, handle tool, std::string* out, const char* text,
                const toptset_field* fields, const Options& defaults, std::uint32_t icon,
                tool_action action) {
    constexpr int size = static_cast<int>(sizeof(Options));
    if (!tool) return size;
    if (mode == 0) {
        tool_record* r = lock_tool(tool);
        if (!r) return size;
        if (tool_option_size(tool) >= sizeof(Options))
            std::memcpy(tool_options(r), &defaults, sizeof(Options));
        r->icon = icon;
        r->aux = 0;
        r->action = tool_action_id(action);
        unlock_tool(tool);
        if (text && read_line(0)) {
            r = lock_tool(tool);
            read_toptset(line_buf, tool_options(r), tool_option_size(tool), fields);
            unlock_tool(tool);
        }
    } else if (mode == 1 && out) {
        if (tool_record* r = lock_tool(tool)) {
            write_toptset(out, tool_options(r), tool_option_size(tool), fields);
            unlock_tool(tool);
        }
    }
    return size;
}

outline_tool_options outline_defaults() {
    outline_tool_options o{};
    o.depth = 2;
    o.cause_opts[0] = o.cause_opts[1] = 1;
    const std::uint8_t show[9] = {1, 1, 1, 1, 1, 1, 0, 0, 0};
    std::memcpy(o.show, show, sizeof show);
    return o;
}

document_tool_options document_defaults() {
    const document_options d;
    document_tool_options o{};
    const std::uint8_t sw[20] = {
        d.cause_constants, d.cause_comments,  d.cause_values,  d.check_units,
        d.numbering,       d.equations,       d.group_line,    d.pair_lines,
        d.range,           d.wrapped_comment, d.kind,          d.comment,
        d.to_file,         d.units,           d.user_comments, d.users,
        d.values,          d.scope,           d.ordering,      d.equation_form};
    std::memcpy(o.switches, sw, sizeof sw);
    o.line_width = d.line_width;
    o.font.colour = 0xFFFFFFFFu;
    o.font.size = 10;
    return o;
}

document_options document_options_of(const document_tool_options& o) {
    document_options d;
    std::uint8_t* fields[20] = {
        &d.cause_constants, &d.cause_comments,  &d.cause_values,  &d.check_units,
        &d.numbering,       &d.equations,       &d.group_line,    &d.pair_lines,
        &d.range,           &d.wrapped_comment, &d.kind,          &d.comment,
        &d.to_file,         &d.units,           &d.user_comments, &d.users,
        &d.values,          &d.scope,           &d.ordering,      &d.equation_form};
    for (int i = 0; i < 20; ++i) *fields[i] = o.switches[i];
    d.line_width = document_line_width(o.line_width);
    return d;
}

// A zeroed font means the text window's default font.
const font_spec* font_or_default(const font_spec& f) {
    return f.size == 0 && f.face[0] == 0 ? nullptr : &f;
}

// The window title of a tool's run: "variable : tool".
std::string tool_title(symbol_id var, handle tool) {
    return std::string(varformat(var, 0)) + " : " + tool_name(tool);
}

// The tool's text window as the report's destination: opened (or reused)
// and aimed at by open; on every way out (a fatal message unwinds too) the
// last partial line goes to the window and the report stops naming it, since
// the window may close at any time after.
class tool_text_window {
public:
    tool_text_window() = default;
    tool_text_window(const tool_text_window&) = delete;
    tool_text_window& operator=(const tool_text_window&) = delete;
    ~tool_text_window() {
        if (!open_) return;
        doc_flush();
        text_report(0, 0, 0, report_none, 0, 0);
    }
    bool open(handle tool, const std::string& title, const font_spec* font, int buffer, int width) {
        opening_tool = tool;
        handle rec = open_text_window(title.c_str(), -1, -1, 0, 0, 0, font);
        opening_tool = 0;
        if (!rec) return false;
        text_report(buffer, width, 0, report_text, static_cast<std::uintptr_t>(rec), 0);
        open_ = true;
        return true;
    }

private:
    bool open_ = false;
};

// The answers of a yes/no question.
constexpr int answer_yes = 6, answer_no = 7;

int ask_more_loops(int count) {
    const std::string q = "There are " + std::to_string(count) +
                          " loops - do you want to see more than the first 50??";
    return ask_question(question_yes_no, q.c_str(), answer_no) == answer_yes;
}

void text_sink_line(handle record, const char* line, int follow) {
    std::string l = line ? line : "";
    l += '\n';
    textwin_append(record, follow, l);
}

} // namespace

bool loops_show_all() {
    const char* v = ini_value(loops_show_all_key);
    return v && std::atoi(v) != 0;
}

int loops_tool_setup(int mode, handle tool, std::string*, const char*) {
    if (!tool || mode != 0) return 0;
    if (tool_record* r = lock_tool(tool)) {
        r->icon = 0xF0080;
        r->aux = 0;
        r->action = tool_action_id(loops_tool_run);
        unlock_tool(tool);
    }
    return 0;
}

void loops_tool_run(handle tool) {
    const symbol_id var = workbench_var.var;
    tool_text_window out;
    // The window opens once the loops are known: a refusal or an empty
    // result opens none.
    loops_text(var, loops_show_all(), ask_more_loops,
               [&] { return out.open(tool, tool_title(var, tool), nullptr, 512, 512); });
}

int outline_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    return block_setup(mode, tool, out, text, outline_fields, outline_defaults(), 0xF0090,
                       outline_tool_run);
}

void outline_tool_run(handle tool) {
    const symbol_id var = workbench_var.var;
    if (!var) {
        report(8, "Outline: no workbench variable is chosen. Click a name on the diagram or choose "
                  "one on the Control Panel's Variable page.");
        return;
    }
    const outline_tool_options o = tool_options_or(tool, outline_defaults());
    outline_options opts;
    opts.depth = o.depth;
    opts.direction = o.direction;
    opts.cause_opts[0] = o.cause_opts[0];
    opts.cause_opts[1] = o.cause_opts[1];
    std::memcpy(opts.show, o.show, sizeof opts.show);
    model_lock_guard lock(cur_model_symbols, 1);
    if (!lock.ok()) return;
    tool_text_window out;
    if (!out.open(tool, tool_title(var, tool), font_or_default(o.font), 512, 512)) return;
    outline_text(var, opts);
}

int document_tool_setup(int mode, handle tool, std::string* out, const char* text) {
    return block_setup(mode, tool, out, text, document_fields, document_defaults(), 48,
                       document_tool_run);
}

namespace {

// Clears the work-in-progress line however a model-scope run ends.
struct wip_line_guard {
    bool shown = false;
    void show() {
        wip_message(1, "Documenting model");
        shown = true;
    }
    ~wip_line_guard() {
        if (shown) wip_message(0, "%s", "");
    }
};

// The group of scope 2, asked for by name; 0 when none was given or it is no
// group (said).
symbol_id ask_document_group() {
    const char* name = choose_variable("Group to document", nullptr, st_group, 1, 0, nullptr);
    if (!name || !*name) return 0;
    const std::string chosen = name;
    // Groups are stored with their marker; the user may type the name
    // without it.
    auto group_named = [](const std::string& n) {
        const symbol_id g = find_symbol(n.c_str());
        return g && valid_symbol(g) && sym(g)->type == st_group ? g : symbol_id{0};
    };
    lock_model(0);
    symbol_id g = group_named(chosen);
    if (!g && chosen[0] != '.') g = group_named("." + chosen);
    const bool group = g != 0;
    unlock_model(0);
    if (!group) {
        report(8, "%s is not a group name", chosen.c_str());
        return 0;
    }
    return g;
}

char* ask_document_file() {
    return file_dialog("Document to", nullptr, fd_save, ft_text, 0, ft_text, 0, nullptr, "txt");
}

} // namespace

void document_tool_run(handle tool) {
    const document_tool_options o = tool_options_or(tool, document_defaults());
    const document_options opts = document_options_of(o);
    constexpr int group_kind = 7; // the kind entry of groups: the skeleton
    if (opts.scope == 3 && opts.kind == group_kind) {
        char* path = ask_document_file();
        if (path) document_skeleton(path);
        return;
    }
    if (opts.scope == 0) {
        const symbol_id var = workbench_var.var;
        if (!var) {
            report(8, "Document: no workbench variable is chosen. Click a name on the diagram or "
                      "choose one on the Control Panel's Variable page.");
            return;
        }
        model_lock_guard lock(cur_model_symbols, 1);
        if (!lock.ok()) return;
        const int width = opts.line_width;
        tool_text_window out;
        // Titled by the variable, as the other text tools are.
        if (!out.open(tool, tool_title(var, tool), font_or_default(o.font), 2 * width + 30, width))
            return;
        document_variable(var, opts);
        return;
    }
    // The model scopes: the whole model, a group, or a kind. Nothing is
    // changed before the questions are answered, so a cancelled dialog leaves
    // every option as it was (the core restores the cause options itself).
    symbol_id group = 0;
    if (opts.scope == 2 && !(group = ask_document_group())) return;
    if (opts.to_file) {
        char* path = ask_document_file();
        if (!path) return;
        const std::string file = path;
        wip_line_guard wip;
        wip.show();
        document_model_to_file(file.c_str(), opts, group);
        return;
    }
    model_lock_guard lock(cur_model_symbols, 1);
    if (!lock.ok()) return;
    const int width = opts.line_width;
    tool_text_window out;
    // A group's document is titled by the group.
    const std::string title = group ? tool_title(group, tool) : std::string(tool_name(tool));
    if (!out.open(tool, title, font_or_default(o.font), 2 * width + 30, width)) return;
    wip_line_guard wip;
    wip.show();
    document_model(opts, group);
}

void install_text_tools() {
    set_tool_setup(find_tool_row("Loops"), loops_tool_setup);
    set_tool_setup(find_tool_row("Outline"), outline_tool_setup);
    set_tool_setup(find_tool_row("Document"), document_tool_setup);
    set_tool_setup(find_tool_row("Table"), table_tool_setup);
    set_tool_setup(find_tool_row("Stats"), stats_tool_setup);
    set_tool_setup(find_tool_row("Units Check"), units_tool_setup);
    install_tree_tool();
    install_grid_window();
    const report_sink text_sink{text_sink_line};
    set_report_sink(report_text, &text_sink);
}

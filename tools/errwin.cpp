// The error window: see errwin.h.
#include "tools/errwin.h"

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/eqtext.h"
#include "shell/msgbox.h"
#include "shell/toolset_hooks.h"
#include "shell/winlist.h"
#include "sim/simdata.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/textwin.h"

#include <string>

handle err_window = 0;
handle msg_window = 0;
handle message_text_window = 0;

namespace {

// The error window belongs to no tool: the one-shots of a tool whose action
// is reporting are put aside while it opens, so it never takes over that
// tool's window, and the current output stays the tool's.
handle open_error_window() {
    const handle saved_output = cur_output;
    const handle saved_tool = opening_tool;
    const preset_rect_t saved_rect = preset_rect;
    HWND const saved_present = present_wnd;
    HWND const saved_parent = io_parent_wnd;
    opening_tool = 0;
    preset_rect = {};
    present_wnd = nullptr;
    io_parent_wnd = nullptr;
    const char* title = error_title();
    handle h = open_text_window(title && *title ? title : "Errors", -1, -1, 0, 0, 0, nullptr);
    cur_output = saved_output;
    opening_tool = saved_tool;
    preset_rect = saved_rect;
    present_wnd = saved_present;
    io_parent_wnd = saved_parent;
    return h;
}

// The window of an output record (null when it has none).
HWND record_window(handle record) {
    HWND w = outwin_window(record);
    return w && IsWindow(w) ? w : nullptr;
}

} // namespace

void show_error_window(int severity, const char* prefix, const char* text) {
    if (!text) text = "";
    if (err_window == err_window_truncated) {
        // Truncated: the rest goes to the log, which the reporter skipped
        // while the window collected.
        log_message(severity, text);
        return;
    }
    if (err_window == 0) {
        if (err_window_on == 0) {
            // Only a collecting run opens the error window.
            report(10, "Trying to show an error line for non-existant source");
            return;
        }
        if (game_state && msg_window) {
            // A game's messages go on in its one message window, brought
            // forward for each new turn's lines.
            err_window = msg_window;
            if (HWND w = record_window(msg_window)) activate_window(w, 0, 0);
        } else {
            err_window = open_error_window();
            if (!err_window) {
                report(8, "Unable to open error file");
                return;
            }
            if (game_state) msg_window = err_window;
        }
    }
    std::string line = prefix ? prefix : "";
    line += text;
    int bytes = textwin_append(err_window, 1, line);
    if (static_cast<std::size_t>(bytes) > error_window_limit) {
        // Truncated whether or not a log exists: the window must not grow
        // for ever.
        textwin_append(err_window, 1, error_truncated_line);
        err_window = err_window_truncated;
    }
}

bool error_window_sink(int severity, const char* prefix, const char* text) {
    // A message reported while the window is being opened or written goes to
    // the message list instead of opening a second window.
    static bool busy = false;
    if (busy) return false;
    struct busy_guard {
        busy_guard() { busy = true; }
        ~busy_guard() { busy = false; }
    } guard; // also on an unwind from a report inside
    if (err_window_on == 0) {
        if (err_window == err_window_truncated)
            err_window = 0; // collection ended: the next starts afresh
        if (!message_text_window) return false;
        // A tool whose findings are messages names its text window: the
        // lines go there, where the user looks, as well as to the history.
        std::string line = prefix ? prefix : "";
        line += text;
        line += '\n';
        textwin_append(message_text_window, 1, line);
        return false;
    }
    show_error_window(severity, prefix, text);
    return true;
}

void add_error_line_ref(equation_record* e) {
    if (!e || !err_window || err_window == err_window_truncated) return;
    doc_push();
    text_report(512, 60, 0, report_text, err_window, 0);
    write_expr(e);
    docprintf("\n");
    text_report(0, 0, 0, report_none, 0, 0);
    doc_pop();
}

void error_window_record_gone(handle record) {
    if (record && err_window == record) err_window = 0;
    if (record && message_text_window == record) message_text_window = 0;
    if (record && msg_window == record) msg_window = 0;
}

void install_text_hooks() {
    tool_window_hooks.text = text_window_proc;
    text_record_released = error_window_record_gone;
    set_low_message_sink(error_window_sink);
    set_error_equation_hook(add_error_line_ref);
}

// The Units Check tool: see units_tool.h.
#include "tools/units_tool.h"

#include "foundation/report.h"
#include "model/model.h"
#include "model/units.h"
#include "model/varnames.h"
#include "shell/toolset.h"
#include "tools/errwin.h"
#include "tools/output.h"
#include "tools/textwin.h"
#include "tools/toolrun.h"

#include <string>

int units_tool_setup(int mode, handle tool, std::string*, const char*) {
    if (!tool || mode != 0) return 0;
    tool_record* r = lock_tool(tool);
    if (!r) return 0;
    r->icon = 0x2D0050;
    r->action = tool_action_id(units_tool_run);
    unlock_tool(tool);
    return 0;
}

namespace {

// Names the tool's window as the one that shows the check's messages, and
// stops naming it on every way out (a fatal message unwinds too).
class message_window_scope {
public:
    explicit message_window_scope(handle record) : saved_(message_text_window) {
        message_text_window = record;
    }
    ~message_window_scope() { message_text_window = saved_; }
    message_window_scope(const message_window_scope&) = delete;
    message_window_scope& operator=(const message_window_scope&) = delete;

private:
    handle saved_;
};

} // namespace

void units_tool_run(handle tool) {
    const symbol_id var = workbench_var.var;
    if (!var) {
        report(8, "Units Check: no workbench variable is chosen. Click a name on the diagram or "
                  "choose one on the Control Panel's Variable page.");
        return;
    }
    const tool_model_lock lock;
    if (!lock.ok()) return;
    if (init_units_check(1) != 1) return;
    const std::string name = varformat(var, 0);
    const std::string units = name_units_label(nullptr, var, 2);
    // The result is shown in the tool's own text window (reused when it is
    // still open): the mismatches as the check reports them, then one line
    // that says how it ended, the agreement too.
    opening_tool = tool;
    const std::string title = name + " : " + tool_name(tool);
    handle out = open_text_window(title.c_str(), -1, -1, 0, 0, 0, nullptr);
    opening_tool = 0;
    if (!out) return;
    textwin_printf(0, out, 1, "Units of %s: %s\n", name.c_str(),
                   units.empty() ? "(none given)" : units.c_str());
    int checked = 0, mismatched = 0, unknown = 0;
    {
        message_window_scope scope(out);
        int guard = 0;
        for (equation_record* e = first_equation(var); e && guard < 100000; e = next_equation(e)) {
            ++guard;
            ++checked;
            int r = check_eq_units(e, 1); // naming the terms at fault
            if (r == 0) ++mismatched;
            if (r < 0) ++unknown;
        }
    }
    if (!checked)
        textwin_printf(0, out, 1, "%s has no equation to check.\n", name.c_str());
    else if (mismatched)
        textwin_printf(0, out, 1, "The units of %s do not agree (%d of %d equations).\n",
                       name.c_str(), mismatched, checked);
    else if (unknown)
        textwin_printf(0, out, 1,
                       "The units of %s cannot be told: a side of its equation has no units.\n",
                       name.c_str());
    else
        textwin_printf(0, out, 1, "The units of %s agree.\n", name.c_str());
}

// The Units Check tool: see units_tool.h.
#include "tools/units_tool.h"

#include "foundation/report.h"
#include "model/model.h"
#include "model/units.h"
#include "model/varnames.h"
#include "shell/toolset.h"

int units_tool_setup(int mode, handle tool, std::string*, const char*) {
    if (!tool || mode != 0) return 0;
    tool_record* r = lock_tool(tool);
    if (!r) return 0;
    r->icon = 0x2D0050;
    r->action = tool_action_id(units_tool_run);
    unlock_tool(tool);
    return 0;
}

void units_tool_run(handle) {
    const symbol_id var = workbench_var.var;
    if (!var) {
        report(8, "Units Check: no workbench variable is chosen. Click a name on the diagram or "
                  "choose one on the Control Panel's Variable page.");
        return;
    }
    if (lock_model(1) != 1) return;
    struct unlock_on_exit {
        ~unlock_on_exit() { unlock_model(1); }
    } unlock;
    if (init_units_check(1) != 1) return;
    int checked = 0, mismatched = 0, unknown = 0;
    int guard = 0;
    for (equation_record* e = first_equation(var); e && guard < 100000; e = next_equation(e)) {
        ++guard;
        ++checked;
        int r = check_eq_units(e, 0);
        if (r == 0) ++mismatched;
        if (r < 0) ++unknown;
    }
    const char* name = varformat(var, 0);
    if (!checked)
        report(5, "Units Check: %s has no equation to check", name);
    else if (!mismatched && !unknown)
        report(5, "Units Check: the units of %s agree", name);
    else if (!mismatched)
        report(5, "Units Check: the units of %s cannot be told (a side without units)", name);
}

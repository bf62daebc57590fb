// The palette's other graph tools: see moregraphs.h.
#include "graphs/moregraphs.h"

#include "graphs/bargraph.h"
#include "graphs/gantt.h"
#include "graphs/sensitivity.h"
#include "graphs/strip.h"
#include "shell/toolset.h"

void install_more_graphs() {
    set_tool_setup(find_tool_row("Bar Graph"), bar_tool_setup);
    set_tool_setup(find_tool_row("Gantt"), gantt_tool_setup);
    set_tool_setup(find_tool_row("Sensitivity Graph"), sens_tool_setup);
    set_tool_setup(find_tool_row("Strip Graph"), strip_tool_setup);
}

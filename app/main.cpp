// The program entry: start-up, the main loop and the teardown live in the
// application shell, which takes the arguments as they were given.
#include "datalinks/server.h"
#include "datalinks/sheet_data.h"
#include "graphs/chartgraph.h"
#include "graphs/customgraph.h"
#include "graphs/graphtool.h"
#include "graphs/lookupdlg.h"
#include "graphs/moregraphs.h"
#include "shell/startup.h"
#include "sim/native/native.h"
#include "sketch/barhook.h"
#include "sketch/sketchwin.h"
#include "sketch/sliders.h"
#include "tools/errwin.h"
#include "tools/output.h"
#include "tools/runscompare.h"
#include "tools/selhist.h"
#include "tools/texttools.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        if (argv[i]) arguments.emplace_back(argv[i]);
    install_tools_hooks();
    install_graph_hooks();
    install_more_graphs();
    install_graph_set_hooks();
    install_lookup_editor_hooks();
    install_text_hooks();
    install_text_tools();
    install_runs_compare();
    install_selection_history();
    install_sketch_hooks();
    install_sketch_bar_values();
    install_quick_sliders();
    install_chart_graph_hooks();
    install_spreadsheet_sources();
    install_dde_server();
    // A viewer mostly runs a model once and looks at it: passes get their
    // optimised code once they prove hot (or Livesweep is entered).
    set_native_tier1_when_hot(true);
    return kavrel_main(arguments);
}

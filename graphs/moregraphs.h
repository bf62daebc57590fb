// The palette's other graph tools (Bar Graph, Gantt, Sensitivity Graph, Strip
// Graph): their rows' setups.
#pragma once

// Installs the setups of the Bar Graph, Gantt, Sensitivity Graph and Strip
// Graph rows (call once at start-up, after the tools' hooks).
void install_more_graphs();

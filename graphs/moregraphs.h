// The palette's other graph tools (Bar Graph, Gantt): their rows' setups.
#pragma once

// Installs the setups of the Bar Graph and Gantt rows (call once at start-up,
// after the tools' hooks).
void install_more_graphs();

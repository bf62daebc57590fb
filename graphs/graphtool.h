// The Graph tool: its option block in the tool record, the row's setup (the
// option line and the title, footer and annotation lines of a tool set) and
// its action, which draws the workbench variable over time for every
// selected element and run in a line graph window.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"

#include <cstdint>
#include <string>

struct line_graph;

struct graph_options {
    font_spec fonts[6];
    std::uint32_t title, annotation, footer; // text cells in the tool's block, 0 none
    float width, height;
    std::uint8_t size_code, graph_mode;
    std::int8_t line_kind;
    std::uint8_t labels_between, fixed_divisions;
    std::uint8_t reserved[11];
    std::uint8_t unnamed, reserved2;
    std::uint8_t hide_flags, hide_empty;
};
static_assert(sizeof(graph_options) == 280);

int graph_tool_setup(int mode, handle tool, std::string* out, const char* text);
void graph_tool_run(handle tool);
// The graph record the last run of the tool made (0 none), for tests.
handle last_graph_record();

// Copies the x range and every units group's y range of the line graph the
// tool shows now into g, when that graph is still open and has as many
// groups; true when copied. During a game the Graph tool reopened over its
// graph keeps its scales, so interval after interval the lines grow on the
// same axes instead of the axes jumping with each interval's data.
bool reuse_graph_ranges(line_graph& g, handle tool);

// Installs the graphics window's procedure and the Graph row's setup.
void install_graph_hooks();

// The text tools of the palette: Loops, Outline and Document put their
// windowless cores into a text window of their own (reused on the next run).
// Each row's setup fills the option block's defaults and reads and writes its
// option line; the action works on the workbench variable.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"

#include <cstdint>
#include <string>

// The Outline tool's option block (56 bytes), in its saved order.
struct outline_tool_options {
    std::int32_t depth;
    std::uint8_t direction;
    std::uint8_t cause_opts[2];
    std::uint8_t show[9]; // the ninth is not saved
    font_spec font;
};
static_assert(sizeof(outline_tool_options) == 56);

// The Document tool's option block (64 bytes): the switches in their saved
// order (document_options' order, but the kind after the wrapped comment),
// the line width, the font.
struct document_tool_options {
    std::uint8_t switches[20];
    std::int32_t line_width;
    font_spec font;
};
static_assert(sizeof(document_tool_options) == 64);

// The Loops show-all option: a settings key of its own, off unless set to a
// non-zero number. On, loops keep their hidden members and repeats.
inline constexpr const char* loops_show_all_key = "LoopsShowAll";
bool loops_show_all();

int loops_tool_setup(int mode, handle tool, std::string* out, const char* text);
void loops_tool_run(handle tool);
int outline_tool_setup(int mode, handle tool, std::string* out, const char* text);
void outline_tool_run(handle tool);
int document_tool_setup(int mode, handle tool, std::string* out, const char* text);
void document_tool_run(handle tool);

// Installs the setups in the tool table (Loops, Outline, Document, Table,
// Stats, Units Check, Tree Diagram), the grid and tree windows, and the report sinks of
// the text and grid windows (a report aimed at a window appends its lines
// there).
void install_text_tools();

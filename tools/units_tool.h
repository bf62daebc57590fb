// The Units Check tool: checks the units of the workbench variable's
// equations and shows what it finds in its own text window.
#pragma once

#include "foundation/types.h"

#include <string>

// The row's setup (no option block) and its action.
int units_tool_setup(int mode, handle tool, std::string* out, const char* text);
void units_tool_run(handle tool);

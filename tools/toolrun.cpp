// The start every tool's run shares: its options read, the model locked.
#include "tools/toolrun.h"

#include "model/model.h"
#include "shell/toolset.h"

#include <cstring>

bool read_tool_options(handle tool, void* out, std::size_t size) {
    tool_record* r = lock_tool(tool);
    if (!r) return false;
    const bool whole = tool_option_size(tool) >= size;
    if (whole) std::memcpy(out, tool_options(r), size);
    unlock_tool(tool);
    return whole;
}

tool_model_lock::tool_model_lock() : locked_(lock_model(1) == 1) {}

tool_model_lock::~tool_model_lock() {
    if (locked_) unlock_model(1);
}

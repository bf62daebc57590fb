// What every tool's run begins with: a copy of the tool's option block (the
// block locked only while it is copied), and for the tools that read the
// model, the current model locked until the run ends.
#pragma once

#include "foundation/types.h"
#include "model/varnames.h"

#include <cstddef>
#include <optional>

// Copies the tool's option block into out when the block holds size bytes:
// true. False, out untouched, for a stale handle or a shorter block.
bool read_tool_options(handle tool, void* out, std::size_t size);

// A copy of the tool's options; the defaults when they cannot be read.
template <class Options> Options tool_options_or(handle tool, const Options& defaults) {
    Options o = defaults;
    read_tool_options(tool, &o, sizeof o);
    return o;
}

// The current model locked with its equations and tokens for the life of
// this object; ok() is false when the lock was refused.
class tool_model_lock {
public:
    tool_model_lock();
    ~tool_model_lock();
    tool_model_lock(const tool_model_lock&) = delete;
    tool_model_lock& operator=(const tool_model_lock&) = delete;
    bool ok() const { return locked_; }

private:
    bool locked_ = false;
};

// A run of a tool that reads the model: its options copied, then the model
// locked. ok() is false, and the run does nothing, when the tool is stale,
// its option block short or the model's lock refused; the model is not
// locked then. var is the workbench variable as the run began (0: none).
template <class Options> class tool_run {
public:
    explicit tool_run(handle tool) {
        if (!read_tool_options(tool, &options, sizeof options)) return;
        lock_.emplace();
        var = workbench_var.var;
    }
    bool ok() const { return lock_ && lock_->ok(); }

    Options options{};
    symbol_id var = 0;

private:
    std::optional<tool_model_lock> lock_;
};

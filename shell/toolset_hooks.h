// The tools framework sits above the shell: the shell's calls into the tool
// windows go through these hooks, which the tools install at start-up
// (install_tools_hooks). Unset, they do the least: nothing to close, the
// default window procedure, no data to free.
#pragma once

#include "foundation/types.h"
#include "platform/win.h"

struct tool_window_hooks_t {
    // Closes every framed tool window not kept (unlock: the kept ones too).
    void (*close_all)(int unlock) = nullptr;
    // The frame's window procedure ("Kavrel_toolwrap").
    WNDPROC toolwrapper = nullptr;
    // Frees the data of an output record of a kind without a release
    // callback (text windows), leaving its window alone.
    void (*release_data)(handle record) = nullptr;
    // Makes an output record's window (its frame) the active child.
    void (*activate)(handle record) = nullptr;
    // The text window's procedure ("Kavrel_text").
    WNDPROC text = nullptr;
    // Shows (or with open 0 only places) the Variable Selection History
    // window: selection_history's work.
    void (*selection_history)(int open, int x, int y, int w, int h) = nullptr;
    // How many graph windows are open (Print Options offers to print them
    // all when there is more than one).
    int (*graph_window_count)() = nullptr;
    // Whether a spreadsheet-style window has a row selected (Print Options
    // then offers and checks Selection).
    bool (*grid_has_selection)(handle record) = nullptr;
};
extern tool_window_hooks_t tool_window_hooks;

// The message pump under every wait: pump_messages, called by long
// computations, modal boxes and dialogs; the modal counter; and the filters
// (modeless dialogs and the like) that are offered every message before it is
// dispatched, by the pump and by the main loop alike.
#pragma once

#include "platform/win.h"

#include <cstdint>

// The modal counter: raised around every dialog and box, and by 1000 for the
// whole of a simulation run. The session end and tooltips are refused while it
// is non-zero.
extern std::int32_t modal_count;

// Raises the modal counter by n for the life of the guard.
struct modal_guard {
    explicit modal_guard(std::int32_t n = 1) : n_(n) { modal_count += n_; }
    ~modal_guard() { modal_count -= n_; }
    modal_guard(const modal_guard&) = delete;
    modal_guard& operator=(const modal_guard&) = delete;

private:
    std::int32_t n_;
};

// The filters: a filter answers true when it took the message. A null
// function means dialog-message handling (IsDialogMessage) for the window.
// add_loop_filter puts the window's filter at the front.
using loop_filter_fn = bool (*)(HWND window, MSG* msg);
void add_loop_filter(HWND window, loop_filter_fn fn);
// The same with the table's order kept: a registered window keeps its place
// (its filter replaced) unless `first`; a new one goes to the end, or to the
// front with `first`.
void add_loop_filter_at(HWND window, loop_filter_fn fn, bool first);
void remove_loop_filter(HWND window);
// Offers a message to every filter: true when one took it. Filters whose
// windows are gone are dropped.
bool run_loop_filters(MSG* msg);

// Dispatches what is pending, twice over, with busy_depth and the modal
// counter raised. During a simulation Esc, Ctrl+C and Ctrl+. set the
// engine's stop_request and are consumed.
void pump_messages();

// The current message, shared by the main loop and the pump.
extern MSG current_msg;

// Zeroes the modal counter and drops every filter (the program-level
// recovery, after the stack unwound).
void reset_pump_state();

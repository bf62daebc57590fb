// The main loop: maintain, a nested GetMessage loop entered again by every
// modal wait. It routes keys through the program's accelerators and the
// modeless filters (run_loop_filters of shell/pump.h) before dispatching;
// pump_messages (shell/pump.h) does the same for long computations.
#pragma once

#include "platform/win.h"

#include <cstdint>

inline constexpr int max_loop_depth = 9;

// Runs one loop level until end_maintain(id, ...) ends it. At the depth limit
// reports "SS.Nesting too deep in maintain" (severity 10) and returns at once.
// A level also ends when GetMessage fails (-1), so a broken queue cannot spin.
void maintain(std::int32_t id);
// Ends the innermost level when its id is `id`. When the level with that id
// is an outer one (a modal wait runs inside it), the request is kept and that
// level ends as soon as it regains control; an id no level has is ignored.
void end_maintain(std::int32_t id, std::int32_t result);
// The result given to the last end_maintain that ended a level.
extern std::int32_t maintain_result;
// The current depth (0 when no loop runs).
int maintain_depth();
// Forgets every level (the program-level recovery, after the stack unwound).
void reset_main_loop();

// Handles one message taken from the queue as the loop does (accelerators,
// tooltip and activation rules, filters, dispatch). Tests feed messages here.
void loop_handle_message(MSG* msg);
